#!/usr/bin/env bash
# Builds tovik optimised (build-release/, without the tests) and takes a
# snapshot of the bundled sample device. The sample is copied to
# build-release/sample-device first, so the repository's files are
# never written. Arguments are passed to tovik (for example a snapshot path).
#
# In a terminal, the first run shows tovik's configuration dialog ("Save and
# run" takes the snapshot). Without one (input or output redirected, as in
# CI) the dialog cannot be shown, so the copy gets the default settings with
# "Setup 0" and the snapshot is taken at once.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh release
echo "-- run: tovik over a copy of samples/device"
device="$PWD/build-release/sample-device"
rm -rf "$device"
cp -r samples/device "$device"
if ! { [ -t 0 ] && [ -t 1 ]; }; then
  mkdir -p "$device/root/My Documents"
  printf 'Registry 1\r\nFiles 1\r\nFileInROM 1\r\ncrc32 1\r\nDatabases 1\r\nSetup 0\r\nExclude .TVK\r\nDefault_path \r\n' \
    > "$device/root/My Documents/tovik.cfg"
fi
status=0
TOVIK_DEVICE="$device" build-release/tovik "$@" || status=$?
echo "tovik exited with $status"
find "$device/root" -name "*.tvk" -print |
  while read -r snapshot; do
    echo "Snapshot: $snapshot"
    tr -d '\r' < "$snapshot"
  done
exit $status
