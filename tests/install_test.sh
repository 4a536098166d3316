#!/usr/bin/env bash
# Installs the build into a temporary DESTDIR and prefix, as `make install`
# does, and checks the files that land there: the two programs (which run and
# find the installed examples), the man pages, the documents, the examples and
# the bash completion, the Python package when the build made it, and nothing else.
#   tests/install_test.sh <build dir>
set -euo pipefail
build=$1
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
# The manifest of an earlier `make install` is kept apart (installed-files.txt),
# so this install may rewrite CMake's own.
DESTDIR="$tmp/dest" cmake --install "$build" --prefix /opt/qiro >"$tmp/log" 2>&1 || { cat "$tmp/log"; exit 1; }
root="$tmp/dest/opt/qiro"

expected="bin/qiro
bin/qiro-freq
share/bash-completion/completions/qiro
share/bash-completion/completions/qiro-freq
share/doc/qiro/CITATION.cff
share/doc/qiro/LICENSE
share/doc/qiro/README.md
share/man/man1/qiro-freq.1
share/man/man1/qiro.1"
# The Python package, where the interpreter it was built for looks under the prefix.
python=$(sed -n 's/^Python3_EXECUTABLE:[A-Z]*=//p' "$build/CMakeCache.txt")
site=$(sed -n 's/^QIRO_PYTHON_INSTALL_DIR:[A-Z]*=//p' "$build/CMakeCache.txt")
if [ -n "$site" ]; then
  for f in "$build"/python/qiro/*.py "$build"/python/qiro/_engine*.so; do expected+=$'\n'"$site/qiro/$(basename "$f")"; done
fi
examples=$(cd "$(dirname "$0")/../examples" && ls | grep -v '\.out$')  # make demo leaves *.out there
for f in $examples; do expected+=$'\n'"share/doc/qiro/examples/$f"; done
found=$(cd "$root" && find . -type f | sed 's|^\./||' | LC_ALL=C sort)
expected=$(LC_ALL=C sort <<<"$expected")
if [ "$found" != "$expected" ]; then
  echo "installed files differ from the expected ones (< expected, > installed):"
  diff <(echo "$expected") <(echo "$found") || true
  exit 1
fi
for p in qiro qiro-freq; do
  [ -x "$root/bin/$p" ] || { echo "$p is not executable"; exit 1; }
done

# The installed programs run from anywhere, on the installed example, without -freq.
cd "$tmp"
"$root/bin/qiro" -version | grep -qx 'qiro [0-9][0-9.]*' || { echo "qiro -version"; exit 1; }
"$root/bin/qiro-freq" -version | grep -qx 'qiro-freq [0-9][0-9.]*' || { echo "qiro-freq -version"; exit 1; }
"$root/bin/qiro" -i "$root/share/doc/qiro/examples/crp0.fasta" -k 16 -g 5 -p 20 -seed 1 -threads 1 -o run.out \
  >run.log || { cat run.log; echo "the installed qiro failed"; exit 1; }
grep -q '^Background: counted from the input sequences' run.log || { echo "no background line"; exit 1; }
grep -q '^Motif Rank #1' run.out || { echo "no motif in the result file"; exit 1; }
if [ -n "$site" ]; then
  PYTHONPATH="$root/$site" "$python" -B -c "import qiro; r = qiro.discover('$root/share/doc/qiro/examples/crp0.fasta', width=16, evalue=None, g=5, p=20, seed=1, threads=1); assert r.motifs, r" ||
    { echo "the installed Python module failed"; exit 1; }
fi
echo "install: $(wc -l <<<"$found") files, programs run"
