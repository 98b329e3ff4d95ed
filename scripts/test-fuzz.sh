#!/usr/bin/env bash
# Builds the fuzz targets with clang (fuzz/ and tovik-diff's snapshot reader)
# and runs each for a bounded time (TOVIK_FUZZ_SECONDS, 20 by default) from
# its seed corpus in fuzz/corpus/NAME where there is one;
# ends with "fuzz: P passed, F failed", a target that found nothing passing.
set -euo pipefail
cd "$(dirname "$0")/.."
ls fuzz/*_fuzz.cpp >/dev/null 2>&1 || { echo "no fuzz targets"; exit 0; }
scripts/build.sh fuzz
seconds="${TOVIK_FUZZ_SECONDS:-20}"
passed=0
failed=0
for source in fuzz/*_fuzz.cpp tools/diff/*_fuzz.cpp; do
  name=$(basename "$source" .cpp)
  binary="build-fuzz/$(dirname "$source")/$name"
  work=$(mktemp -d)
  [ -d "fuzz/corpus/$name" ] && cp -r "fuzz/corpus/$name/." "$work/"
  echo "fuzzing $name for ${seconds}s"
  if ! "$binary" -max_total_time="$seconds" -rss_limit_mb=2048 -print_final_stats=0 \
      "$work" >"$work.log" 2>&1; then
    tail -50 "$work.log"
    echo "FAILED: $name"
    failed=$((failed + 1))
  else
    passed=$((passed + 1))
  fi
  rm -rf "$work" "$work.log"
done
echo "fuzz: $passed passed, $failed failed"
[ $failed = 0 ]
