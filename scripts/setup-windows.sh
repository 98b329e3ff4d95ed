#!/usr/bin/env bash
# Installs what the Windows build and its checks under Wine need: the
# 64-bit mingw-w64 C++ cross compiler with the posix thread model (the one
# cmake/mingw-w64.cmake takes; the mingw-w64 metapackage would add the
# 32-bit and win32-thread compilers too), Wine (64-bit), a virtual X server,
# the screenshot tools, and tmux and xdotool to drive the dialog with keys.
# Idempotent, and silent when everything is there.
set -euo pipefail

packages=(
  g++-mingw-w64-x86-64-posix googletest cmake ninja-build python3
  wine wine64 xvfb xauth x11-utils imagemagick xdotool tmux
)

exec "$(dirname "$0")/install-packages.sh" "${packages[@]}"
