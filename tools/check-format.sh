#!/usr/bin/env bash
# Fails, naming the files, when a tracked C++ file is not laid out as
# .clang-format says. `tools/check-format.sh --fix` lays them out.
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t files < <(git ls-files '*.cpp' '*.h')
if [ "${1:-}" = --fix ]; then
  clang-format -i "${files[@]}"
  exit 0
fi
clang-format --dry-run -Werror "${files[@]}"
