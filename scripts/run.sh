#!/usr/bin/env bash
# Sets up, builds and runs the converter. Without arguments it converts the
# bundled sample; otherwise the arguments go to vidorlan-convert.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh
if [ $# -gt 0 ]; then
  exec build/bin/vidorlan-convert "$@"
fi
mkdir -p out
build/bin/vidorlan-convert --info samples/sample.mpg
build/bin/vidorlan-convert -o out/sample.avi samples/sample.mpg
echo "The sample was converted into $(pwd)/out/sample.avi"
