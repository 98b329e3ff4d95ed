#!/usr/bin/env bash
# Installs the Debian packages that building, testing and benchmarking tovik
# need. Idempotent, and quiet when everything is already there.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  clang llvm libclang-rt-dev
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  libncurses-dev
  clang-format tmux python3
)

exec "$(dirname "$0")/install-packages.sh" "${packages[@]}"
