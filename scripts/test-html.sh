#!/usr/bin/env bash
# The HTML report of tovik-diff, looked at in a real browser: takes two
# snapshots of a copy of the sample device with build/tovik, changing the
# device in between (a key and a value added, a value changed, a folder
# removed, a file grown, a file with an entity in its name added, a
# database changed), compares them with `tovik-diff --format html`, and has
# headless Chromium render the page to build/artefacts/diff-report.png.
# Checks: the exit status, that the page refers to nothing outside itself,
# that names with markup characters are escaped, and that the picture
# shows the colours of added, removed and changed rows.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$PWD
art=$repo/build/artefacts
[ -x build/tovik ] && [ -x build/tools/diff/tovik-diff ] || scripts/build.sh
mkdir -p "$art"
work=$(mktemp -d "${TMPDIR:-/tmp}/tovik-html.XXXXXX")
trap 'rm -rf "$work"' EXIT
passed=0
failed=0
pass() { echo "ok: $1"; passed=$((passed + 1)); }
fail() { echo "FAILED: $1"; failed=$((failed + 1)); }

device=$work/device
cp -r samples/device "$device"
mkdir -p "$device/root/My Documents"
printf 'Registry 1\r\nFiles 1\r\nFileInROM 1\r\ncrc32 1\r\nDatabases 1\r\nSetup 0\r\nExclude .TVK\r\nDefault_path \r\n' \
  >"$device/root/My Documents/tovik.cfg"
snap() { TOVIK_DEVICE=$device timeout 120 build/tovik "$1" </dev/null; }

snap '\before.tvk'
sed -i 's/^"Company"="Tovik Field Service"/"Company"="Tovik Field Service \& Repair"/' "$device/registry.reg"
printf '\r\n[HKEY_LOCAL_MACHINE\\Software\\<Tovik> & Co]\r\n"<b>Size</b>"=dword:0000002a\r\n' \
  >>"$device/registry.reg"
sed -i 's/^\(database\tContacts Database\t\)18432\t57/\120480\t58/' "$device/databases.txt"
printf 'one more line\r\n' >>"$device/root/My Documents/notes.txt"
printf 'tags' >"$device/root/My Documents/&amp;.txt"
rm -rf "$device/root/My Documents/Personal"
snap '\after.tvk'

html=$art/diff-report.html
status=0
build/tools/diff/tovik-diff --format html "$device/root/before.tvk" "$device/root/after.tvk" \
  >"$html" || status=$?
if [ $status = 1 ]; then pass "tovik-diff --format html: exit status 1"; else
  fail "tovik-diff --format html: exit status $status, not 1"; fi
# Self-contained: no script, no element that loads anything.
if grep -Eiq '<script|<link|<img|<iframe|src=|href=|url\(|@import' "$html"; then
  fail "the page refers to something outside itself"
else
  pass "the page refers to nothing outside itself"
fi
# (A device file name cannot hold < or >: the markup is in the registry.)
if grep -qF '>&amp;amp;.txt<' "$html" && grep -qF '"&lt;b&gt;Size&lt;/b&gt;"' "$html" &&
  ! grep -qF '<b>Size' "$html"; then
  pass "names escaped for HTML"
else
  fail "the file name &amp;.txt or the value name <b>Size</b> is not escaped"
fi

png=$art/diff-report.png
rm -f "$png"
# Chromium wants a home and a runtime folder it may write; --no-sandbox as
# root. The page is opened as a file; the network stays unused.
HOME=$work/home XDG_RUNTIME_DIR=$work timeout 120 chromium --headless --no-sandbox --disable-gpu \
  --no-first-run --hide-scrollbars --window-size=1100,900 --screenshot="$png" "file://$html" \
  >"$work/chromium.log" 2>&1 || true
if [ ! -s "$png" ]; then
  cat "$work/chromium.log"
  fail "Chromium rendered no picture"
else
  # The row colours of added, removed and changed items.
  missing=""
  for colour in '#E6FFEC' '#FFEBE9' '#FFF8C5'; do
    count=$(convert "$png" -fill black +opaque "$colour" -fill white -opaque "$colour" \
      -format '%[fx:int(mean*w*h)]' info:)
    [ "$count" -gt 100 ] || missing="$missing $colour"
  done
  if [ -z "$missing" ]; then pass "Chromium rendered diff-report.png with the added, removed and changed colours"
  else fail "diff-report.png lacks the colours$missing"; fi
fi

echo "html: $passed passed, $failed failed"
[ $failed = 0 ]
