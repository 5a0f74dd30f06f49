#!/bin/sh
# Installs the dependencies, builds the programs into build/bin and runs the
# server on a demo install folder in the foreground (see scripts/demo.sh).
#
#   scripts/run.sh [FOLDER]      default FOLDER: demo/ in the repository
set -eu
cd "$(dirname "$0")/.."
[ "${QUORVANE_SKIP_DEPS:-0}" = 1 ] || ./scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$(nproc)" --target Orbeline Notivo ledgerix QuorvaneServerConfig
exec ./scripts/demo.sh "$@"
