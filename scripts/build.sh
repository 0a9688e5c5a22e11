#!/usr/bin/env bash
# Configures and builds into build/ (executables in build/bin/).
#   scripts/build.sh [extra cmake options]
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release "$@" >/dev/null
cmake --build build
