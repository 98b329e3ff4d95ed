#!/usr/bin/env bash
# Installs what the Windows build and its checks under Wine need: the
# mingw-w64 cross compiler, Wine (64-bit), a virtual X server, the
# screenshot tools, and tmux and xdotool to drive the dialog with keys.
# Idempotent, and quiet when everything is already there.
set -euo pipefail

packages=(
  mingw-w64 googletest cmake ninja-build python3
  wine wine64 xvfb xauth x11-utils imagemagick xdotool tmux
)

exec "$(dirname "$0")/install-packages.sh" "${packages[@]}"
