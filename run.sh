#!/usr/bin/env bash
# Installs the dependencies, builds, and starts the program.
# Raw drives need read access to their device nodes: run as root or as a
# member of the "disk" group to image drives (image files need neither).
set -euo pipefail
cd "$(dirname "$0")"
[ "${SKIP_DEPS:-0}" = 1 ] || tools/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default --target mdimager
exec build/app/mdimager "$@"
