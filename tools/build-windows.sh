#!/usr/bin/env bash
# Cross-builds the Windows programs with MinGW-w64, 32-bit and 64-bit, statically linked, warnings
# as errors, each in its own build folder (build/windows-i686, build/windows-x86_64).
# Usage: tools/build-windows.sh [i686|x86_64...]   (default: both)
#   QV_WINDOWS_TESTS=ON|OFF   build the test programs too (default ON for x86_64, which run under
#                             Wine here; OFF for i686, whose tests need 32-bit Wine and so run in
#                             the lab guest: tests/lab/suites/win32.sh)
set -euo pipefail
cd "$(dirname "$0")/.."

architectures=("$@")
[ ${#architectures[@]} -gt 0 ] || architectures=(i686 x86_64)
jobs=$(nproc)
bash tools/install-deps.sh --windows

for arch in "${architectures[@]}"; do
  default_tests=OFF
  [ "$arch" = x86_64 ] && default_tests=ON
  folder=build/windows-$arch
  echo "=== Windows $arch build in $folder"
  cmake -S . -B "$folder" -G Ninja -DCMAKE_TOOLCHAIN_FILE="cmake/mingw-$arch.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DQV_BUILD_GUI=OFF -DQV_WARNINGS_AS_ERRORS=ON \
    -DQV_BUILD_TESTS="${QV_WINDOWS_TESTS:-$default_tests}" >/dev/null
  cmake --build "$folder" -j "$jobs"
done
