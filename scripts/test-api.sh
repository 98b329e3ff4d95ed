#!/usr/bin/env bash
# Checks that the program calls only functions the device has: every
# external function the program's own object files (src/, the library
# tovik_program of the plain build) call must be named in
# platform/device-api.txt. Prints the ones that are not and fails.
set -euo pipefail
cd "$(dirname "$0")/.."
list=platform/device-api.txt
archive=build/libtovik_program.a
scripts/build.sh >/dev/null  # brings the objects up to date with src/

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Names are demangled and cut before their argument list; a name defined in
# one of the program's own objects is no call to the device.
names() { sed -e 's/^ *//' -e 's/(.*//' | sort -u; }
nm -C --defined-only "$archive" 2>/dev/null | awk 'NF >= 3 { $1 = ""; $2 = ""; print }' |
  names >"$work/defined"
nm -C -u "$archive" 2>/dev/null | awk '$1 == "U" { $1 = ""; print }' | names |
  comm -23 - "$work/defined" >"$work/called"

# On the host the device's C runtime functions that share a name with the
# host's C library are compiled as ce_NAME (see platform.h): they are the
# device's NAME. Names that begin with two underscores or _Unwind, and the
# linker's _GLOBAL_OFFSET_TABLE_, are put in by the compiler (stack
# protection, processor feature tests, sanitizers, position-independent
# code), not called by the program's source, and are left out.
sed -e 's/^ce_//' "$work/called" |
  grep -v -e '^__' -e '^_Unwind' -e '^_GLOBAL_OFFSET_TABLE_$' | sort -u >"$work/device"
grep -v -e '^#' -e '^ *$' "$list" | sort -u >"$work/allowed"

missing=$(comm -23 "$work/device" "$work/allowed")
if [ -n "$missing" ]; then
  echo "the program calls functions that are not in $list:"
  echo "$missing" | sed 's/^/  /'
  exit 1
fi
echo "api: the program calls $(wc -l <"$work/device") device functions, all in $list"
