#!/usr/bin/env bash
# Configures and builds one configuration of tovik, saying which, with the
# build's own progress.
#   scripts/build.sh            plain build with the tests in build/ (Debug)
#   scripts/build.sh release    optimised build without the tests in build-release/
#   scripts/build.sh sanitize   AddressSanitizer + UndefinedBehaviorSanitizer in build-sanitize/
#   scripts/build.sh bench      optimised build with the benchmarks in build-bench/
#   scripts/build.sh fuzz       libFuzzer targets (clang) in build-fuzz/
set -euo pipefail
cd "$(dirname "$0")/.."
kind="${1:-plain}"
case "$kind" in
  plain) dir=build; flags=(-DCMAKE_BUILD_TYPE=Debug) ;;
  release) dir=build-release; flags=(-DCMAKE_BUILD_TYPE=Release -DTOVIK_TESTS=OFF) ;;
  sanitize) dir=build-sanitize; flags=(-DCMAKE_BUILD_TYPE=Debug -DTOVIK_SANITIZE=ON) ;;
  bench) dir=build-bench; flags=(-DCMAKE_BUILD_TYPE=Release -DTOVIK_BENCH=ON -DTOVIK_TESTS=OFF) ;;
  fuzz) dir=build-fuzz; flags=(-DCMAKE_BUILD_TYPE=Debug -DTOVIK_FUZZ=ON -DTOVIK_TESTS=OFF
                               -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++) ;;
  *) echo "unknown build kind: $kind" >&2; exit 2 ;;
esac
echo "-- configure: $dir/ ($kind)"
cmake -S . -B "$dir" -G Ninja "${flags[@]}" >/dev/null
echo "-- build: $dir/"
cmake --build "$dir"
