#!/bin/sh
# Builds the Debian package quorvane-server_<version>_<arch>.deb into the
# repository folder (or OUT_DIR): a release build of the programs in
# build-package/ without tests or benchmarks, then CPack's DEB generator
# (dependencies from the programs' shared libraries via dpkg-shlibdeps).
#
#   scripts/package.sh [OUT_DIR]
set -eu
cd "$(dirname "$0")/.."
OUT_DIR=$(realpath "${1:-.}")
[ "${QUORVANE_SKIP_DEPS:-0}" = 1 ] || ./scripts/install-deps.sh
# Debian's build flags with every hardening feature (fortified functions,
# stack protector, read-only relocations bound at start); the source folder
# is mapped away so that no build path ends up in the programs. A warning of
# a newer compiler does not stop the package.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
eval "$(dpkg-buildflags --export=sh)"
export CXXFLAGS="$CXXFLAGS $CPPFLAGS"
cmake -S . -B build-package -DCMAKE_BUILD_TYPE=Release \
  -DQUORVANE_TESTS=OFF -DQUORVANE_BENCH=OFF -DQUORVANE_WERROR=OFF
cmake --build build-package -j"$(nproc)"
cpack --config build-package/CPackConfig.cmake -B "$OUT_DIR/.cpack"
mv "$OUT_DIR"/.cpack/quorvane-server_*.deb "$OUT_DIR"/
rm -rf "$OUT_DIR/.cpack"
ls "$OUT_DIR"/quorvane-server_*.deb
