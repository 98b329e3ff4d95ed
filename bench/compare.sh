#!/usr/bin/env bash
# Installs what the benchmarks need, builds the optimised programs and
# compares them, as whole processes, with cksum, cat, find, mtree, AIDE,
# iconv and GNU diff (bench/compare.py says how).
#   bench/compare.sh [--work FOLDER] [--large-files N] [--runs N] [ROW ...]
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup-bench.sh
scripts/build.sh bench
exec python3 bench/compare.py "$@"
