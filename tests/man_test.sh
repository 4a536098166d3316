#!/usr/bin/env bash
# The man pages against the programs: every option the usage text (-h) of qiro
# and of qiro-freq prints is an entry of its page's OPTIONS, is offered by the
# bash completion and (qiro) has its row in docs/reference/options.md; each page renders without a groff warning and names the
# version the programs print.
#   tests/man_test.sh <qiro> <qiro-freq> <source dir>
# Exits 77 (skipped) without groff.
set -uo pipefail
qiro=$1
freq=$2
src=$3
command -v groff >/dev/null 2>&1 || { echo "groff is not installed"; exit 77; }
status=0
fail() { echo "$*"; status=1; }

# The options of a usage text: the first word of each line that starts, after a
# tab and an optional "[", with "-".
options() { sed -n 's/^\t\[\{0,1\}\(-[a-z]*\).*/\1/p' | sort -u; }

check() {  # <program> <page> <completion function>
  local program=$1 page=$2 fn=$3 name opts rendered listed
  name=$(basename "$page")
  opts=$("$program" -h | options)
  [ "$(wc -l <<<"$opts")" -ge 5 ] || fail "$name: too few options read from $program -h: $opts"
  warnings=$(groff -ww -z -man "$page" 2>&1) || fail "$name: groff failed"
  [ -z "$warnings" ] || fail "$name: groff warnings: $warnings"
  # The page as man shows it: the OPTIONS section, one entry a line.
  rendered=$(groff -man -Tascii -P-cbou "$page" 2>/dev/null |
    sed -n '/^OPTIONS/,/^[A-Z]/p' | sed -n 's/^       \(-[a-z]*\).*/\1/p' | sort -u)
  listed=$(bash -c "source '$src/completions/qiro'; declare -f $fn")
  for o in $opts; do
    grep -qx -- "$o" <<<"$rendered" || fail "$name: $o (in $(basename "$program") -h) has no entry in OPTIONS"
    grep -q -- "[ \"(]$o[ \"]" <<<"$listed" || fail "completion: $fn does not offer $o"
    if [ "$fn" = _qiro ]; then
      grep -q -- "^| \`$o[ \`]" "$src/docs/reference/options.md" || fail "docs/reference/options.md: no row for $o"
    fi
  done
  version=$("$program" -version | awk '{print $2}')
  head -1 "$page" | grep -q "\"qiro $version\"" || fail "$name: .TH does not name version $version"
}

check "$qiro" "$src/man/qiro.1" _qiro
check "$freq" "$src/man/qiro-freq.1" _qiro_freq
[ $status -eq 0 ] && echo "man pages: every option present, no warnings"
exit $status
