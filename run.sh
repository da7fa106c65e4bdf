#!/usr/bin/env bash
# Installs the dependencies, builds, and starts the program, as the user
# who runs it: drives the user may not open are opened through udisks2,
# which asks for the administrator's password once. Only disks read through
# SCSI pass-through (520-byte sectors) need root or the "disk" group.
set -euo pipefail
cd "$(dirname "$0")"
[ "${SKIP_DEPS:-0}" = 1 ] || tools/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default --target mdimager
exec build/app/mdimager "$@"
