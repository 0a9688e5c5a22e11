#!/usr/bin/env bash
# Sets up, builds with warnings as errors, and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh -DVIDORLAN_WERROR=ON
cd build
ctest --output-on-failure -j2 --timeout 600 "$@"
