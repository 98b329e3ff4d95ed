#!/usr/bin/env bash
# Configures and builds one configuration of tovik.
#   scripts/build.sh            plain build in build/
#   scripts/build.sh sanitize   AddressSanitizer + UndefinedBehaviorSanitizer in build-sanitize/
#   scripts/build.sh bench      optimised build with the benchmarks in build-bench/
set -euo pipefail
cd "$(dirname "$0")/.."
kind="${1:-plain}"
case "$kind" in
  plain) dir=build; flags=(-DCMAKE_BUILD_TYPE=Debug) ;;
  sanitize) dir=build-sanitize; flags=(-DCMAKE_BUILD_TYPE=Debug -DTOVIK_SANITIZE=ON) ;;
  bench) dir=build-bench; flags=(-DCMAKE_BUILD_TYPE=Release -DTOVIK_BENCH=ON -DTOVIK_TESTS=OFF) ;;
  fuzz) dir=build-fuzz; flags=(-DCMAKE_BUILD_TYPE=Debug -DTOVIK_FUZZ=ON -DTOVIK_TESTS=OFF
                               -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++) ;;
  *) echo "unknown build kind: $kind" >&2; exit 2 ;;
esac
cmake -S . -B "$dir" -G Ninja "${flags[@]}" >/dev/null
cmake --build "$dir"
