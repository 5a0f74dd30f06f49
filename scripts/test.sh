#!/bin/sh
# Installs the dependencies, builds, and runs every test: once in a normal
# build, once under AddressSanitizer and UndefinedBehaviorSanitizer, and the
# fuzz targets (with the code they test instrumented) for 20 seconds each.
set -eu
cd "$(dirname "$0")/.."
[ "${QUORVANE_SKIP_DEPS:-0}" = 1 ] || ./scripts/install-deps.sh
JOBS=$(nproc)

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$JOBS"
ctest --test-dir build --output-on-failure -j"$JOBS"

cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DQUORVANE_SANITIZE=ON -DQUORVANE_BENCH=OFF
cmake --build build-asan -j"$JOBS"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build-asan --output-on-failure -j"$JOBS"

CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DQUORVANE_FUZZ=ON -DQUORVANE_BENCH=OFF
cmake --build build-fuzz -j"$JOBS" --target fuzzers
ctest --test-dir build-fuzz --output-on-failure -j"$JOBS" -R '^fuzz_'
echo "All tests passed."
