#!/usr/bin/env bash
# Installs the Debian 12 packages the project needs to build, test and run, when they are missing.
# Usage: tools/install-deps.sh [--windows] [--package] [--lab] [extra-package...]
#   --windows   also what the Windows programs need: the MinGW-w64 cross compilers, Wine, and
#               wixl for the installers
#   --package   also the checkers of the Debian package (lintian, desktop-file-validate,
#               appstreamcli)
#   --lab       also what builds and boots the lab guest (tools/lab): QEMU, debootstrap, a static
#               busybox and cpio for its initramfs, e2fsprogs for its disk image
set -euo pipefail

packages=(cmake ninja-build g++ pkg-config libgtest-dev libgmock-dev qt6-base-dev
          clang clang-tidy clang-format libclang-rt-14-dev libbenchmark-dev xvfb xauth python3
          dpkg-dev file help2man  # the .deb: Depends, its libraries, the manual page
          bash-completion patch   # the tests of the completion and of the diffs
          acl)  # setfacl, for the tests of pages with access control lists
while [ $# -gt 0 ]; do
  case $1 in
    --windows)
      # MinGW-w64 cross compilers (posix threads, for GoogleTest, built from Debian's sources),
      # 64-bit Wine with the X libraries and fonts its windows use (no 32-bit Wine: the 32-bit
      # programs are built here, and run on Windows only), and wixl, which writes the .msi files
      packages+=(g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix googletest wine wine64
                 fonts-wine libxrender1 libxrandr2 libxi6 libxcursor1 libxcomposite1 libxfixes3
                 libxinerama1 wixl msitools) ;;
    --package) packages+=(lintian desktop-file-utils appstream) ;;
    --lab) packages+=(qemu-system-x86 qemu-utils debootstrap busybox-static cpio e2fsprogs) ;;
    *) break ;;
  esac
  shift
done
packages+=("$@")

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -q
"${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
