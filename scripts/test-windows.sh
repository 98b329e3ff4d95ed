#!/usr/bin/env bash
# The Windows build, checked under Wine:
#   - builds tovik.exe and tovik_conformance.exe with mingw-w64 (build-windows/);
#   - runs the conformance tests under Wine;
#   - takes a registry snapshot with tovik.exe after importing a fixture into
#     Wine's registry, and one with the host build over a device whose
#     registry.reg is the same fixture: the fixture's keys must be the same,
#     byte for byte; likewise for a folder of files on both;
#   - keeps screenshots of the configuration dialog, the progress window and
#     the "File creating error" message box in build-windows/artefacts/.
# Wine runs in a prefix of its own in a temporary folder, under a virtual X
# server; every step has a time limit. TOVIK_KEEP_WORK=1 keeps the
# temporary folder (prefix, device, snapshots) for a look afterwards.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$PWD
out=$repo/build-windows
art=$out/artefacts

if [ "${1:-}" != "--under-x" ]; then
  scripts/setup-windows.sh
  echo "-- building tovik.exe (mingw-w64)"
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

echo "-- screenshots"
# Runs tovik.exe in a Wine virtual desktop (there Wine draws the window
# frames and captions itself; Xvfb has no window manager), waits for its
# window, takes a picture of the screen, then ends Wine's processes.
shot() {  # $1 picture name, $2 snapshot path, $3 seconds to wait (5)
  local name=$1 target=$2 wait=${3:-5} seen=0
  wine explorer /desktop=tovik,640x480 "$out/tovik.exe" "$target" >/dev/null 2>&1 &
  local pid=$!
  for _ in $(seq 1 300); do
    if xwininfo -root -tree 2>/dev/null | grep -qF '"tovik - Wine desktop"'; then
      seen=1
      break
    fi
    sleep 0.1
  done
  sleep "$wait"
  [ $seen = 1 ] && import -window root -crop 640x480+0+0 "$art/$name.png"
  timeout 30 wineserver -k >/dev/null 2>&1 || true
  wait $pid 2>/dev/null || true
  # A picture of the desktop alone has a few colours; with a window, text
  # and icon, many more.
  local colours=0
  [ -s "$art/$name.png" ] && colours=$(convert "$art/$name.png" -format %k info:)
  if [ $seen = 1 ] && [ "$colours" -gt 8 ]; then
    pass "screenshot $name.png"
  else
    fail "screenshot $name.png (no window seen: desktop $seen, $colours colours)"
  fi
}
settings "$docs/tovik.cfg" "1 1 1 1" '\TEMP'
shot config-dialog 'C:\dialog.tvk'
# The progress window is repainted for every folder of the file system
# walk: twelve thousand empty folders, walked first, keep it up for seconds.
settings "$docs/tovik.cfg" "0 1 0 0"
mkdir -p "$drive/0progress"
(cd "$drive/0progress" && mkdir $(seq -f 'folder%05g' 1 12000))
shot progress-window 'C:\progress.tvk' 1
rm -rf "$drive/0progress"
settings "$docs/tovik.cfg" "1 0 1 0"
shot file-creating-error 'C:\missing\folder\x.tvk'

echo "windows: $passed passed, $failed failed"
[ $failed = 0 ]
