#!/usr/bin/env bash
# Sets up, builds with warnings as errors, and runs every test. Then builds
# everything but the desktop app again with AddressSanitizer and
# UndefinedBehaviorSanitizer and runs the decoder, conversion, command-line
# and integration tests there, and runs the threaded job's tests under
# ThreadSanitizer. Arguments go to the first ctest run and leave out the
# sanitizer runs.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh -DVIDORLAN_WERROR=ON
(cd build && ctest --output-on-failure -j2 --timeout 600 "$@")
[ $# -eq 0 ] || exit 0

sanitized=(-G Ninja -DCMAKE_BUILD_TYPE=Release -DVIDORLAN_WERROR=ON -DVIDORLAN_BUILD_GUI=OFF)
cmake -S . -B build-asan "${sanitized[@]}" -DVIDORLAN_SANITIZE=ON >/dev/null
cmake --build build-asan
(cd build-asan && ctest --output-on-failure -j2 --timeout 900 -LE slow)

cmake -S . -B build-tsan "${sanitized[@]}" -DVIDORLAN_TSAN=ON >/dev/null
cmake --build build-tsan --target convert_tests avi_writer_tests
# The encoders' own threads live in libavcodec, which is not instrumented.
export TSAN_OPTIONS="suppressions=$PWD/tests/tsan.supp${TSAN_OPTIONS:+ $TSAN_OPTIONS}"
build-tsan/bin/convert_tests --gtest_brief=1
build-tsan/bin/avi_writer_tests --gtest_brief=1
