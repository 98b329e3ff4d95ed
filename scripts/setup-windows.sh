#!/usr/bin/env bash
# Installs what the Windows build and its checks under Wine need: the
# mingw-w64 cross compiler, Wine (64-bit), a virtual X server and the
# screenshot tools. Idempotent, and quiet when everything is already there.
set -euo pipefail

packages=(
  mingw-w64 googletest cmake ninja-build python3
  wine wine64 xvfb xauth x11-utils imagemagick
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update -qq
  $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
