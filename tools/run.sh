#!/usr/bin/env bash
# Installs what is missing, builds the program and starts its window.
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/install-deps.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DQV_BUILD_TESTS=OFF \
  -DQV_WARNINGS_AS_ERRORS=OFF
cmake --build build/release -j "$(nproc)"

program=build/release/app/quorvane-insert
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display found. To start the window on a virtual display, run:"
  echo "  xvfb-run -a $program"
  exit 1
fi
exec "$program"
