#!/usr/bin/env bash
# Installs the Debian packages that building and running tovik need: the
# C++ compiler, CMake and Ninja, llvm-rc for the resources, ncurses for the
# terminal windows. scripts/setup-test.sh adds what the tests need.
# Idempotent, and silent when everything is already there.
set -euo pipefail

packages=(
  build-essential cmake ninja-build llvm-14 libncurses-dev
)

exec "$(dirname "$0")/install-packages.sh" "${packages[@]}"
