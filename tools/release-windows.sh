#!/usr/bin/env bash
# Makes the Windows release, one folder, one zip and one installer per architecture, from the
# builds of tools/build-windows.sh (made when missing): dist/quorvane-insert-VERSION-windows-ARCH/
# holds the window program, the command line, a sample quorvane.ini and a short read-me (CR LF);
# the .zip is that folder, the .msi installs it for the current user (tools/make-msi.sh).
# Each zip is proven before it is written (tools/prove-windows-zip.sh: unpacked, its command line
# run on a page, its window started and closed): the x86_64 one under Wine here, the i686 one
# under 32-bit Wine in the lab guest (one boot; tools/lab/guest-run.sh).
# Usage: tools/release-windows.sh [i686|x86_64...]   (default: both)
set -euo pipefail
cd "$(dirname "$0")/.."

architectures=("$@")
[ ${#architectures[@]} -gt 0 ] || architectures=(i686 x86_64)
version=$(sed -n 's/^project(quorvane_insert VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)

for arch in "${architectures[@]}"; do
  build=build/windows-$arch
  if [ ! -f "$build/app/quorvane-insert.exe" ] || [ ! -f "$build/cli/quorvane-insert-cli.exe" ]; then
    QV_WINDOWS_TESTS=OFF bash tools/build-windows.sh "$arch"
  fi
  name=quorvane-insert-$version-windows-$arch
  rm -rf "dist/$name" "dist/$name.zip" dist/unproven
  mkdir -p "dist/$name"
  cp "$build/app/quorvane-insert.exe" "$build/cli/quorvane-insert-cli.exe" "dist/$name/"
  sed 's/$/\r/' packaging/quorvane.ini >"dist/$name/quorvane.ini"
  sed 's/$/\r/' packaging/windows/README.txt >"dist/$name/README.txt"
  mkdir -p dist/unproven
  (cd dist && cmake -E tar cf "unproven/$name.zip" --format=zip "$name")
  if [ "$arch" = i686 ]; then
    bash tools/lab/guest-run.sh -- bash tools/prove-windows-zip.sh "dist/unproven/$name.zip"
  else
    bash tools/prove-windows-zip.sh "dist/unproven/$name.zip"
  fi
  mv "dist/unproven/$name.zip" "dist/$name.zip"
  rm -rf dist/unproven
  bash tools/make-msi.sh "dist/$name" "$arch" "dist/$name.msi"
  echo "wrote dist/$name.zip and dist/$name.msi"
done
