#!/bin/sh
# Runs clang-tidy with the checks in .clang-tidy over the project's sources,
# or over the files given (paths or patterns), with the compile commands of
# the normal build. Exits non-zero when a check fires.
#   ./scripts/tidy.sh                          # the whole tree (slow: minutes)
#   ./scripts/tidy.sh server/db/ platform/registry.cpp
# BUILD names another build folder (default: build).
set -eu
cd "$(dirname "$0")/.."
BUILD=${BUILD:-build}
if [ ! -f "$BUILD/compile_commands.json" ]; then
  echo "tidy.sh: $BUILD/compile_commands.json is missing; configure first:" \
       "cmake -S . -B $BUILD" >&2
  exit 2
fi
if [ $# -eq 0 ]; then
  set -- "$(pwd)/(platform|common|server|notifier|tools|bench|packaging)/"
fi
# The build may be gcc's: clang-tidy is told to let gcc-only warning options pass.
exec run-clang-tidy -p "$BUILD" -j"$(nproc)" -quiet \
  -extra-arg=-Wno-unknown-warning-option "$@"
