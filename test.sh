#!/usr/bin/env bash
# Installs the dependencies, builds, and runs every test; ends with CTest's
# summary. SANITIZE=1 builds and runs under AddressSanitizer + UBSan.
set -euo pipefail
cd "$(dirname "$0")"
[ "${SKIP_DEPS:-0}" = 1 ] || tools/install-deps.sh
preset=default
[ "${SANITIZE:-0}" = 1 ] && preset=sanitize
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset"
export QT_QPA_PLATFORM=offscreen
# Only read by the sanitizer build.
export LSAN_OPTIONS="suppressions=$PWD/tools/lsan.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
ctest --preset "$preset" -j2
