#!/usr/bin/env bash
# Installs the Debian packages named on the command line that are not
# installed yet (as root, or through sudo), saying what it does: a line per
# step, then apt's own lines for what it downloads and sets up. Silent when
# all are there.
set -euo pipefail
missing=()
for p in "$@"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
((${#missing[@]})) || exit 0
sudo=()
if [ "$(id -u)" -ne 0 ]; then
  if ! command -v sudo >/dev/null 2>&1; then
    echo "These Debian packages are needed and not installed: ${missing[*]}" >&2
    echo "Installing them needs root, and this machine has no sudo. Either run this command" >&2
    echo "as root, or install sudo as root (apt-get install sudo), allow your user to use it," >&2
    echo "and run it again." >&2
    exit 1
  fi
  sudo=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
echo "-- packages: installing ${#missing[@]}: ${missing[*]}"
echo "-- packages: updating the package lists"
"${sudo[@]}" apt-get update -qq
# apt's "Need to get", "After this operation" and one "Setting up" line per
# package (with the packages pulled in) show the download and its progress.
echo "-- packages: downloading and setting up (with what they depend on)"
"${sudo[@]}" apt-get install -y -q --no-install-recommends -o Dpkg::Use-Pty=0 "${missing[@]}" |
  grep --line-buffered -E '^(Need to get|After this operation|Setting up) ' || true
for p in "${missing[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    echo "-- packages: $p could not be installed" >&2
    exit 1
  fi
done
echo "-- packages: done"
