#!/usr/bin/env bash
# Starts the built program under Xvfb and saves a screenshot of the window
# after start-up: shots/startup.png.
set -euo pipefail
cd "$(dirname "$0")/.."
mkdir -p shots
export DISPLAY=:77
Xvfb :77 -screen 0 1024x700x24 >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null || true' EXIT
sleep 1
build/app/mdimager &
app=$!
sleep "${WAIT:-3}"
import -window root shots/startup.png
kill $app 2>/dev/null || true
echo "shots/startup.png"
