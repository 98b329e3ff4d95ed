#!/usr/bin/env bash
# The Windows build, checked under Wine:
#   - builds tovik.exe, tovik-diff.exe and tovik_conformance.exe with
#     mingw-w64 (build-windows/);
#   - runs the conformance tests under Wine;
#   - takes a registry snapshot with tovik.exe after importing a fixture into
#     Wine's registry, and one with the host build over a device whose
#     registry.reg is the same fixture: the fixture's keys must be the same,
#     byte for byte; likewise for a folder of files on both;
#   - exports Wine's own registry (three roots) with its registry editor and
#     snapshots it with tovik.exe and with the host build over that export:
#     the same keys in the same order, each key's values the same;
#   - compares two snapshots tovik.exe took with tovik-diff.exe;
#   - keeps screenshots of the configuration dialog, the progress window and
#     the "File creating error" message box in build-windows/artefacts/;
#   - sends the same keys to the terminal dialog of the host build (tmux)
#     and to the Win32 dialog of tovik.exe (xdotool): both must end alike.
# Wine runs in a prefix of its own in a temporary folder, under a virtual X
# server; every step waits for the thing itself (a window, a file, a
# process ending), never a fixed time, and has a generous time limit. TOVIK_KEEP_WORK=1 keeps the
# temporary folder (prefix, device, snapshots) for a look afterwards.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$PWD
out=$repo/build-windows
art=$out/artefacts

if [ "${1:-}" != "--under-x" ]; then
  scripts/setup-windows.sh
  echo "-- building tovik.exe and tovik-diff.exe (mingw-w64)"
  cmake -S . -B "$out" -G Ninja --no-warn-unused-cli -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake \
    -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build "$out" -j2
  [ -x build/tovik ] || scripts/build.sh
  rm -rf "$art" && mkdir -p "$art"
  work=$(mktemp -d "${TMPDIR:-/tmp}/tovik-wine.XXXXXX")
  status=0
  timeout 1800 xvfb-run -a -s "-screen 0 800x600x24" "$0" --under-x "$work" || status=$?
  [ -n "${TOVIK_KEEP_WORK:-}" ] || rm -rf "$work"
  exit $status
fi

# ---------------------------------------------------------------------------
# Under the virtual X server.
# ---------------------------------------------------------------------------
work=$2
export WINEPREFIX=$work/prefix HOME=$work/home
# No debug output, no Mono or Gecko installers; C.UTF-8 is a locale every
# Debian has, so Wine reads host file names as UTF-8 (with a locale the host
# lacks it falls back to ASCII) and takes the user for US English (ANSI
# code page 1252, English day and month names); times in UTC.
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" LANG=C.UTF-8 TZ=UTC
mkdir -p "$HOME"
passed=0
failed=0
pass() { echo "ok: $1"; passed=$((passed + 1)); }
fail() { echo "FAILED: $1"; failed=$((failed + 1)); }
cleanup() { timeout 30 wineserver -k >/dev/null 2>&1 || true; }
trap cleanup EXIT

echo "-- starting Wine"
if ! timeout 300 wineboot -i >"$work/wineboot.log" 2>&1; then
  cat "$work/wineboot.log"
  fail "wineboot"
  echo "windows: $passed passed, $failed failed"
  exit 1
fi
timeout 60 wineserver -w || true
drive=$WINEPREFIX/drive_c
docs=$(find "$drive/users" -mindepth 2 -maxdepth 2 -name Documents ! -path '*/Public/*' | head -n1)
[ -n "$docs" ] || { docs=$drive/users/${USER:-root}/Documents; mkdir -p "$docs"; }
# The program walks the current drive from its root: run it from C:.
cd "$drive"

echo "-- conformance tests under Wine"
if timeout 300 wine "$out/tovik_conformance.exe" >"$art/conformance.log" 2>&1; then
  pass "conformance tests ($(grep -c '^\[       OK' "$art/conformance.log") cases)"
else
  cat "$art/conformance.log"
  fail "conformance tests"
fi

# Writes a settings file: $1 = the file, $2 = "Registry Files crc32 Setup"
# as four 0/1 flags, then exclusion patterns.
settings() {
  local file=$1 flags=($2)
  shift 2
  {
    printf 'Registry %s\r\nFiles %s\r\nFileInROM 1\r\ncrc32 %s\r\nDatabases 0\r\nSetup %s\r\n' \
      "${flags[0]}" "${flags[1]}" "${flags[2]}" "${flags[3]}"
    printf 'Exclude .TVK\r\n'
    for pattern in "$@"; do printf 'Exclude %s\r\n' "$pattern"; done
    printf 'Default_path \r\n'
  } >"$file"
}

# A device folder for the host build.
device=$work/device
mkdir -p "$device/root/My Documents"
host_run() { TOVIK_DEVICE=$device timeout 300 "$repo/build/tovik" "$1" </dev/null; }
wine_run() { timeout 300 wine "$out/tovik.exe" "$1"; }
step() {  # $1 what, then the command: runs it and says which step failed
  local what=$1 rc=0
  shift
  "$@" || rc=$?
  [ $rc = 0 ] || echo "$what: exit status $rc"
  return $rc
}
compare() {  # $1 name, $2 wine snapshot, $3 host snapshot, then prefixes and options
  local name=$1 wsnap=$2 hsnap=$3
  shift 3
  python3 "$repo/tests/windows/fixture_blocks.py" "$wsnap" "$@" >"$art/$name.wine.txt"
  python3 "$repo/tests/windows/fixture_blocks.py" "$hsnap" "$@" >"$art/$name.host.txt"
  if [ ! -s "$art/$name.wine.txt" ]; then
    fail "$name: the fixture is missing from Wine's snapshot"
  elif cmp -s "$art/$name.wine.txt" "$art/$name.host.txt"; then
    pass "$name: fixture equal byte for byte ($(wc -l <"$art/$name.wine.txt") lines)"
  else
    diff -u "$art/$name.host.txt" "$art/$name.wine.txt" | head -n 40 || true
    fail "$name: fixture differs between the host build and Wine"
  fi
}

echo "-- registry snapshot: Wine against the host build"
python3 - "$repo/tests/windows/fixture.reg.utf8" "$drive/fixture.reg" <<'PY'
import sys
text = open(sys.argv[1], encoding="utf-8").read().replace("\n", "\r\n")
open(sys.argv[2], "wb").write(b"\xff\xfe" + text.encode("utf-16-le"))
PY
cp "$drive/fixture.reg" "$device/registry.reg"
settings "$docs/tovik.cfg" "1 0 1 0"
settings "$device/root/My Documents/tovik.cfg" "1 0 1 0"
if step "regedit" timeout 120 wine regedit /S 'C:\fixture.reg' &&
  step "tovik.exe" wine_run 'C:\registry.tvk' && step "host tovik" host_run '\registry.tvk'; then
  cp "$drive/registry.tvk" "$art/registry.wine.tvk"
  compare registry "$drive/registry.tvk" "$device/root/registry.tvk" \
    'HKEY_CURRENT_USER\Software\TovikFixture' 'HKEY_LOCAL_MACHINE\Software\TovikFixture' \
    'HKEY_CLASSES_ROOT\.tovikfixture'
else
  fail "registry snapshot runs"
fi

echo "-- whole registry both ways: Wine's export, tovik.exe and the host build"
# Wine's own registry, exported by its registry editor, is read by the host
# build without a report; its snapshot must agree with the one tovik.exe
# takes of Wine's live registry (registry_round_trip.py says what it skips).
exports=()
exported=1
for root in HKEY_CURRENT_USER HKEY_LOCAL_MACHINE HKEY_CLASSES_ROOT; do
  step "regedit /E $root" timeout 300 wine regedit /E "C:\\export-$root.reg" "$root" || exported=0
  exports+=("$drive/export-$root.reg")
done
if [ $exported = 1 ] &&
  step "joining the exports" python3 "$repo/tests/windows/registry_round_trip.py" join \
    "$device/registry.reg" "${exports[@]}" &&
  step "tovik.exe" wine_run 'C:\whole.tvk' &&
  step "host tovik" host_run '\whole.tvk' 2>"$art/whole-registry.host.err"; then
  if [ -s "$art/whole-registry.host.err" ]; then
    head -n 20 "$art/whole-registry.host.err"
    fail "whole registry: the host build reported lines of Wine's export"
  elif python3 "$repo/tests/windows/registry_round_trip.py" compare "$drive/whole.tvk" \
    "$device/root/whole.tvk" >"$art/whole-registry.txt"; then
    grep -v '^skipped' "$art/whole-registry.txt" || true
    pass "whole registry: $(tail -n 1 "$art/whole-registry.txt"), $(grep -c '^skipped' "$art/whole-registry.txt") skipped (see whole-registry.txt)"
  else
    cat "$art/whole-registry.txt"
    fail "whole registry: the snapshots of Wine and the host build differ"
  fi
else
  fail "whole registry runs"
fi
cp "$device/registry.reg" "$art/whole-registry.reg" 2>/dev/null || true

echo "-- file system snapshot: Wine against the host build"
fixture=$work/files/tovikfs
# Listings show times to the minute: make the files well inside one.
while [ "$(date +%S)" -ge 50 ]; do sleep 1; done
mkdir -p "$fixture/Data/Sub Folder" "$fixture/Empty Folder"
printf 'hello\r\n' >"$fixture/readme.txt"
: >"$fixture/empty.dat"
python3 -c 'import sys; sys.stdout.buffer.write(bytes(range(256)) * 300)' >"$fixture/Data/numbers.bin"
printf 'deep' >"$fixture/Data/Sub Folder/deep.txt"
printf 'caf\xc3\xa9' >"$fixture/café.txt"
printf 'old' >"$fixture/old.TVK"
# One character beyond U+FFFF: two UTF-16 units, so two '?' on both.
printf 'smile' >"$fixture/smile$(printf '\xf0\x9f\x98\x80').txt"
# A link back up the tree: listed as an entry on both, entered by neither
# (Wine shows it as a reparse point).
ln -s .. "$fixture/Data/up"
# Hard links: the same files, with the same times, under both drives. (Wine
# gives a file's modification time as its creation time, the host layer its
# birth time; a file written once at its creation has both the same.)
cp -al "$fixture" "$drive/tovikfs"
cp -al "$fixture" "$device/root/tovikfs"
excludes=('\PROGRAM' '\USERS' '\WINDOWS' '\MY DOCUMENTS')
settings "$docs/tovik.cfg" "0 1 1 0" "${excludes[@]}"
settings "$device/root/My Documents/tovik.cfg" "0 1 1 0" "${excludes[@]}"
if step "tovik.exe" wine_run 'C:\files.tvk' && step "host tovik" host_run '\files.tvk'; then
  cp "$drive/files.tvk" "$art/files.wine.tvk"
  # Wine lists a folder's entries in name order, as NTFS does; the host
  # layer in the host's directory order. The lines are compared in any
  # order, byte for byte; whether the order agreed too is told.
  compare files "$drive/files.tvk" "$device/root/files.tvk" '\tovikfs' --any-order
  python3 "$repo/tests/windows/fixture_blocks.py" "$drive/files.tvk" '\tovikfs' >"$work/w.txt"
  python3 "$repo/tests/windows/fixture_blocks.py" "$device/root/files.tvk" '\tovikfs' >"$work/h.txt"
  cmp -s "$work/w.txt" "$work/h.txt" && echo "files: in the same order too" ||
    echo "files: listed in another order (host directory order against name order)"
else
  fail "file system snapshot runs"
fi

# tovik-diff.exe under Wine, on two snapshots tovik.exe took there of the
# file system fixture, one before and one after a file was added: the
# comparison names the file (exit status 1), and a snapshot compared with
# itself gives an empty report (exit status 0).
diff_check() {
  local before='C:\diff-before.tvk' after='C:\diff-after.tvk' rc=0
  settings "$docs/tovik.cfg" "0 1 1 0" "${excludes[@]}"
  if ! step "tovik.exe" wine_run "$before"; then
    fail "tovik-diff.exe: the first snapshot"
    return
  fi
  printf 'new\r\n' >"$drive/tovikfs/Data/added.txt"
  if ! step "tovik.exe" wine_run "$after"; then
    fail "tovik-diff.exe: the second snapshot"
    return
  fi
  timeout 120 wine "$out/tovik-diff.exe" "$before" "$after" >"$art/diff.wine.txt" 2>&1 || rc=$?
  if [ $rc = 1 ] && grep -q '^+ .* added\.txt' "$art/diff.wine.txt" &&
    grep -q '1 file added' "$art/diff.wine.txt"; then
    pass "tovik-diff.exe: the added file reported"
  else
    cat "$art/diff.wine.txt"
    fail "tovik-diff.exe: exit status $rc, the added file not reported"
  fi
  rc=0
  timeout 120 wine "$out/tovik-diff.exe" "$after" "$after" >"$work/same.txt" 2>&1 || rc=$?
  if [ $rc = 0 ] && [ ! -s "$work/same.txt" ]; then
    pass "tovik-diff.exe: a snapshot equals itself"
  else
    cat "$work/same.txt"
    fail "tovik-diff.exe: a snapshot compared with itself gave exit status $rc"
  fi
  rm -f "$drive/tovikfs/Data/added.txt" "$drive/diff-before.tvk" "$drive/diff-after.tvk"
}
echo "-- tovik-diff.exe under Wine"
diff_check

echo "-- screenshots"
# Polls `$@` every tenth of a second until it succeeds or $1 seconds have
# passed: checks wait for the thing itself, never for a fixed time.
wait_for() {
  local limit=$1
  shift
  local until=$((SECONDS + limit))
  until "$@"; do
    [ $SECONDS -lt $until ] || return 1
    sleep 0.1
  done
}
ended() { ! kill -0 "$1" 2>/dev/null; }
desktop_up() { xwininfo -root -tree 2>/dev/null | grep -qF '"tovik - Wine desktop"'; }
# Takes a picture of the desktop into $1; true when a window is on it: a
# picture of the desktop alone has a few colours, with a window, text and
# icon, many more. With $2 = still, true only once the picture no longer
# changes (the window is drawn whole).
window_drawn() {
  local picture=$1 still=${2:-} before=
  [ -s "$picture" ] && before=$(identify -format '%#' "$picture" 2>/dev/null)
  import -window root -crop 640x480+0+0 "$picture" 2>/dev/null || return 1
  [ "$(convert "$picture" -format %k info: 2>/dev/null || echo 0)" -gt 8 ] || return 1
  [ -z "$still" ] || [ "$(identify -format '%#' "$picture")" = "$before" ]
}
# Runs tovik.exe in a Wine virtual desktop (there Wine draws the window
# frames and captions itself; Xvfb has no window manager), waits for the
# desktop and then for its window to be drawn on it, keeps that picture,
# then ends Wine's processes. (In the virtual desktop the program's windows
# are no X windows, so they are found on the picture.)
shot() {  # $1 picture name, $2 snapshot path, $3 = still for a window that stays as it is
  local name=$1 target=$2 still=${3:-} seen=0 drawn=0
  wine explorer /desktop=tovik,640x480 "$out/tovik.exe" "$target" >/dev/null 2>&1 &
  local pid=$!
  wait_for 300 desktop_up && seen=1
  [ $seen = 1 ] && wait_for 300 window_drawn "$art/$name.png" "$still" && drawn=1
  timeout 30 wineserver -k >/dev/null 2>&1 || true
  wait $pid 2>/dev/null || true
  if [ $drawn = 1 ]; then
    pass "screenshot $name.png"
  else
    fail "screenshot $name.png (no window seen: desktop $seen)"
  fi
}
settings "$docs/tovik.cfg" "1 1 1 1" '\TEMP'
shot config-dialog 'C:\dialog.tvk' still
# The progress window is repainted for every folder of the file system
# walk: twelve thousand empty folders, walked first, keep it up for seconds.
settings "$docs/tovik.cfg" "0 1 0 0"
mkdir -p "$drive/0progress"
(cd "$drive/0progress" && mkdir $(seq -f 'folder%05g' 1 12000))
shot progress-window 'C:\progress.tvk'
rm -rf "$drive/0progress"
settings "$docs/tovik.cfg" "1 0 1 0"
shot file-creating-error 'C:\missing\folder\x.tvk' still

echo "-- the configuration dialog by keys: terminal against Win32"
# Each sequence of keys goes, from fresh default settings, to the terminal
# dialog of the host build in a tmux pane and to the Win32 dialog of
# tovik.exe (xdotool); both must end alike: the same settings file, and a
# snapshot written or not. Keys: Tab Down Up Right End Space Enter Esc Alt+s,
# and text=... for typed characters.
dialog_sequences=(
  "Alt+s Enter"
  "Down Enter"
  "Tab Tab Tab Down Space Enter"
  "Up Space Enter"
  "Tab Tab Tab Tab Tab Tab Tab Tab Tab Tab Tab text=. Tab Space Tab Tab Tab Tab Enter"
  "Tab Tab Tab Tab Tab Tab Tab Tab Tab text=.LOG Tab Space Tab text=. Tab Space Tab Tab Tab Tab Enter"
  "Tab Tab Tab Tab Tab Tab Tab Tab Tab text=.LOG Tab Space Tab End Tab Space Tab Tab Tab Tab Enter"
  "Tab Tab Tab Tab Tab Tab Tab Tab text=\\Snaps\\ Tab Esc"
)
# What a run left: the settings file, then whether the snapshot is there.
dialog_outcome() {  # $1 settings file, $2 snapshot
  cat "$1" 2>/dev/null || echo "(no settings file)"
  [ -e "$2" ] && echo "snapshot: written" || echo "snapshot: none"
}
# The terminal: the host build in a tmux pane of its own server.
tmux_dialog() {  # $1 keys; the outcome on standard output
  local dev=$work/dialog-device sock=tovik-dialog-$$ key
  rm -rf "$dev" && mkdir -p "$dev/root/My Documents"
  tmux -L "$sock" -f /dev/null new-session -d -x 100 -y 40 \
    "TOVIK_DEVICE='$dev' '$repo/build/tovik' '\\snap.tvk'; echo \$? >'$dev/status'; exec cat"
  tmux_shows() { tmux -L "$sock" capture-pane -p -t 0 | grep -qF 'Save and run'; }
  if wait_for 120 tmux_shows; then
    for key in $1; do
      case $key in
        text=*) tmux -L "$sock" send-keys -t 0 -l "${key#text=}" ;;
        Alt+s) tmux -L "$sock" send-keys -t 0 M-s ;;
        Esc) tmux -L "$sock" send-keys -t 0 Escape ;;
        *) tmux -L "$sock" send-keys -t 0 "$key" ;;
      esac
    done
    wait_for 300 test -s "$dev/status" || echo "(the dialog did not end)"
  else
    echo "(no dialog seen)"
  fi
  tmux -L "$sock" kill-server 2>/dev/null || true
  dialog_outcome "$dev/root/My Documents/tovik.cfg" "$dev/root/snap.tvk"
}
# Win32: tovik.exe under Wine, run from a drive of its own (D:) so that a
# snapshot walks a small folder, not the whole prefix.
win32_dialog() {  # $1 keys; the outcome on standard output
  local ddrive=$work/dialog-drive key window pid
  rm -rf "$ddrive" "$docs/tovik.cfg" && mkdir -p "$ddrive"
  ln -sfn "$ddrive" "$WINEPREFIX/dosdevices/d:"
  (cd "$ddrive" && exec wine "$out/tovik.exe" 'D:\snap.tvk') >/dev/null 2>&1 &
  pid=$!
  window=$(timeout 120 xdotool search --sync --onlyvisible --name '^tovik configuration$' |
    head -n1) || true
  if [ -n "$window" ] && xdotool windowfocus --sync "$window"; then
    for key in $1; do
      case $key in
        text=*) xdotool type --delay 20 "${key#text=}" ;;
        Alt+s) xdotool key alt+s ;;
        Space) xdotool key space ;;
        Enter) xdotool key Return ;;
        Esc) xdotool key Escape ;;
        *) xdotool key "$key" ;;
      esac
    done
  else
    echo "(no dialog seen)"
  fi
  wait_for 300 ended "$pid" || { echo "(the dialog did not end)"; kill "$pid" 2>/dev/null || true; }
  wait $pid 2>/dev/null || true
  dialog_outcome "$docs/tovik.cfg" "$ddrive/snap.tvk"
}
dialog_by_keys() {
  local keys n=0
  for keys in "${dialog_sequences[@]}"; do
    n=$((n + 1))
    tmux_dialog "$keys" >"$art/dialog-$n.terminal.txt"
    win32_dialog "$keys" >"$art/dialog-$n.win32.txt"
    if cmp -s "$art/dialog-$n.terminal.txt" "$art/dialog-$n.win32.txt"; then
      pass "dialog keys $n ($keys): $(tail -n1 "$art/dialog-$n.win32.txt")"
    else
      diff -u "$art/dialog-$n.win32.txt" "$art/dialog-$n.terminal.txt" | sed 's/\r$//' || true
      fail "dialog keys $n ($keys): the terminal ends otherwise than Win32"
    fi
  done
}
dialog_by_keys

echo "windows: $passed passed, $failed failed"
[ $failed = 0 ]
