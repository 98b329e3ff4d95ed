#!/usr/bin/env bash
# Installs what is needed, then builds and runs every test: once plain and
# once under AddressSanitizer and UndefinedBehaviorSanitizer, then the
# stage scripts scripts/test-*.sh (fuzz targets, tovik-diff's HTML report in
# Chromium, the Windows build under Wine), then checks the formatting.
#
# It ends with one line over all stages, "N passed, M failed", with the
# stages that failed listed above it, and exits non-zero when anything
# failed. What is counted: every test ctest runs in the plain and in the
# sanitizer build (each GoogleTest case is one), every check a stage script
# counts on its last line ("NAME: P passed, F failed": each fuzz target,
# each check of the HTML report, each Windows check), and the formatting
# check as one. A stage that breaks before it counts (a build that fails,
# a script that says no count) counts as one failure.
set -uo pipefail
cd "$(dirname "$0")/.."
logs=$(mktemp -d "${TMPDIR:-/tmp}/tovik-test.XXXXXX")
trap 'rm -rf "$logs"' EXIT

passed=0
failed=0
failures=()
# $1 stage, $2 checks passed, $3 checks failed, $4 the stage's exit status.
tally() {
  local p=$2 f=$3
  [ "$4" = 0 ] || [ "$f" -gt 0 ] || f=1
  passed=$((passed + p))
  failed=$((failed + f))
  [ "$f" = 0 ] || failures+=("$1 ($f failed)")
}
finish() {
  echo
  if ((${#failures[@]})); then
    echo "Failed stages:"
    printf '  %s\n' "${failures[@]}"
  fi
  echo "$passed passed, $failed failed"
  [ "$failed" = 0 ]
  exit
}

echo "== packages"
status=0
scripts/setup-test.sh || status=$?
tally packages 0 0 $status
((status == 0)) || finish

for kind in plain sanitize; do
  echo "== tests ($kind)"
  dir=build; [ "$kind" = sanitize ] && dir=build-sanitize
  status=0
  scripts/build.sh "$kind" || status=$?
  if ((status != 0)); then
    tally "build ($kind)" 0 1 $status
    continue
  fi
  echo "-- tests: ctest in $dir/"
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --test-dir "$dir" --output-on-failure -j2 2>&1 | tee "$logs/ctest-$kind.txt"
  status=${PIPESTATUS[0]}
  # ctest's summary: "97% tests passed, 3 tests failed out of 120".
  p=0 f=0
  summary=$(grep -E 'tests failed out of [0-9]+' "$logs/ctest-$kind.txt" | tail -n1)
  if [[ $summary =~ ([0-9]+)\ tests\ failed\ out\ of\ ([0-9]+) ]]; then
    f=${BASH_REMATCH[1]}
    p=$((BASH_REMATCH[2] - f))
  fi
  tally "tests ($kind)" $p $f $status
done

for extra in scripts/test-*.sh; do
  [ -e "$extra" ] || continue
  name=$(basename "$extra" .sh)
  echo "== $name"
  "$extra" 2>&1 | tee "$logs/$name.txt"
  status=${PIPESTATUS[0]}
  p=0 f=0
  last=$(grep -E '^[a-z]+: [0-9]+ passed, [0-9]+ failed$' "$logs/$name.txt" | tail -n1)
  if [[ $last =~ ([0-9]+)\ passed,\ ([0-9]+)\ failed ]]; then
    p=${BASH_REMATCH[1]}
    f=${BASH_REMATCH[2]}
  elif ((status == 0)); then
    p=1
  fi
  tally "$name" $p $f $status
done

echo "== formatting"
if scripts/format.sh --check; then
  tally formatting 1 0 0
else
  echo "clang-format: the files above need formatting (run scripts/format.sh)"
  tally formatting 0 1 1
fi
finish
