#!/bin/sh
# Installs everything the build and the tests need, from Debian's packages.
set -eu
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends \
  g++ make cmake pkg-config git ca-certificates \
  libgtest-dev libgmock-dev libbenchmark-dev \
  libsqlite3-dev libsqlitecpp-dev sqlite3 \
  postgresql libpq-dev openssl libssl-dev \
  libcurl4-openssl-dev libsystemd-dev libmicrohttpd-dev prometheus \
  faketime libfaketime python3 chromium \
  clang libclang-rt-dev clang-format clang-tidy \
  dpkg-dev fakeroot lintian systemd man-db groff-base adduser >/dev/null
