#!/usr/bin/env bash
# Installs the Debian packages that only the benchmarks need: the tools
# tovik is compared with (mtree, AIDE) and strace to count host calls.
# Idempotent, and quiet when everything is already there.
set -euo pipefail

packages=(mtree-netbsd aide strace time diffutils coreutils python3)

exec "$(dirname "$0")/install-packages.sh" "${packages[@]}"
