#!/usr/bin/env bash
# Installs what the tests, the sanitizer and fuzz builds, the benchmarks and
# the formatting check need on top of scripts/setup.sh: GoogleTest, Google
# Benchmark, clang with its sanitizer and fuzzer runtimes, clang-format,
# tmux for the terminal tests, Chromium and ImageMagick to render and check
# tovik-diff's HTML report. Idempotent, and silent when everything is there.
set -euo pipefail

packages=(
  clang llvm libclang-rt-dev
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  clang-format tmux python3
  chromium imagemagick
)

"$(dirname "$0")/setup.sh"
exec "$(dirname "$0")/install-packages.sh" "${packages[@]}"
