#!/usr/bin/env bash
# Installs what is needed, then builds and runs every test: once plain and
# once under AddressSanitizer and UndefinedBehaviorSanitizer, then checks the
# formatting of the sources.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh

status=0
for kind in plain sanitize; do
  echo "== tests ($kind)"
  scripts/build.sh "$kind"
  dir=build; [ "$kind" = sanitize ] && dir=build-sanitize
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --test-dir "$dir" --output-on-failure -j2 || status=1
done

for extra in scripts/test-*.sh; do
  [ -e "$extra" ] || continue
  echo "== $(basename "$extra")"
  "$extra" || status=1
done

echo "== formatting"
if ! scripts/format.sh --check; then
  echo "clang-format: the files above need formatting (run scripts/format.sh)"
  status=1
fi
exit $status
