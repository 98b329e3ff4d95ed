#!/usr/bin/env bash
# Builds tovik and takes a snapshot of the bundled sample device. The sample
# is copied to build/sample-device first, so the repository's files are
# never written. Arguments are passed to tovik (for example a snapshot path).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh >/dev/null
device="$PWD/build/sample-device"
rm -rf "$device"
cp -r samples/device "$device"
status=0
TOVIK_DEVICE="$device" build/tovik "$@" || status=$?
echo "tovik exited with $status"
find "$device/root" -name "*.tvk" -print |
  while read -r snapshot; do
    echo "Snapshot: $snapshot"
    tr -d '\r' < "$snapshot"
  done
exit $status
