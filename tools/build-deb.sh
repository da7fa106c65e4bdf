#!/usr/bin/env bash
# Installs the build dependencies (SKIP_DEPS=1 skips that), then builds the
# program alone as a packager would, Release with Debian's own compiler and
# linker flags (dpkg-buildflags), and packs it into
# build-release/mdimager_<version>_<arch>.deb. Prints the .deb's path last.
set -euo pipefail
cd "$(dirname "$0")/.."
[ "${SKIP_DEPS:-0}" = 1 ] || tools/install-deps.sh
# CMake reads CXXFLAGS/LDFLAGS only when it first configures a folder, so
# the folder is configured afresh; it holds the program only (no tests).
export CXXFLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)"
export LDFLAGS="$(dpkg-buildflags --get LDFLAGS)"
cmake --preset release --fresh >/dev/null
cmake --build --preset release
rm -f build-release/mdimager_*.deb
cpack --preset release >/dev/null
ls build-release/mdimager_*.deb
