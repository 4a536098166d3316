#!/usr/bin/env bash
# Renders a QIRO HTML report in headless Chromium.
#
#   tests/html_screenshot.sh REPORT.html OUT.png [WIDTH,HEIGHT]   save a PNG screenshot
#   tests/html_screenshot.sh --dom PAGE.html                      print the page's DOM after
#                                                                 its scripts ran (for checks)
#
# Exit status 0 on success, 2 when no Chromium is installed (the caller may
# skip), 1 on any other failure. The browser runs with a fresh profile and
# without network or background services.
set -euo pipefail
usage() {
  echo "usage: $0 REPORT.html OUT.png [WIDTH,HEIGHT] | $0 --dom PAGE.html" >&2
  exit 1
}
mode=shot
if [ "${1:-}" = --dom ]; then
  mode=dom
  shift
  [ $# -eq 1 ] || usage
else
  [ $# -ge 2 ] || usage
fi
page=$(realpath "$1")

browser=""
for b in chromium chromium-browser google-chrome; do
  if command -v "$b" >/dev/null 2>&1; then browser=$b; break; fi
done
if [ -z "$browser" ]; then
  echo "html_screenshot: no Chromium found (make deps installs Debian's chromium)" >&2
  exit 2
fi

profile=$(mktemp -d)
trap 'rm -rf "$profile"' EXIT
flags=(--headless --no-sandbox --disable-gpu --disable-quic --no-first-run
  --disable-background-networking --disable-component-update --disable-sync
  --hide-scrollbars --user-data-dir="$profile")

if [ $mode = dom ]; then
  "$browser" "${flags[@]}" --dump-dom "file://$page" 2>"$profile/browser.log" || {
    cat "$profile/browser.log" >&2
    exit 1
  }
  exit 0
fi

out=$(realpath -m "$2")
size=${3:-1280,1600}
rm -f "$out"
"$browser" "${flags[@]}" --window-size="$size" --screenshot="$out" "file://$page" \
  >"$profile/browser.log" 2>&1 || true
if [ ! -s "$out" ]; then
  echo "html_screenshot: Chromium wrote no screenshot" >&2
  cat "$profile/browser.log" >&2
  exit 1
fi
echo "$out"
