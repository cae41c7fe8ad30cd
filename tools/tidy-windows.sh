#!/usr/bin/env bash
# Runs clang-tidy (the checks in .clang-tidy) over the C++ that only the Windows build compiles:
# the sources under a win32/ folder or named *_win32.cpp, the sources with Windows-only branches
# (_WIN32), and the headers they include. The Linux build checks the rest. It reads the compile
# commands of a MinGW-w64 build folder (made by tools/build-windows.sh) and lets clang parse them
# for the MinGW target with that compiler's C++ library; any finding fails.
# Usage: tools/tidy-windows.sh [build-folder]   (default: build/windows-x86_64)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/windows-x86_64}
database=$build/compile_commands.json
if [ ! -f "$database" ]; then
  echo "tidy-windows: no $database; build with tools/build-windows.sh first" >&2
  exit 2
fi

# The cross compiler of the build, and the project's sources it compiles.
mapfile -t listed < <(python3 - "$database" "$PWD" <<'EOF'
import json, sys
entries = json.load(open(sys.argv[1]))
root = sys.argv[2] + "/"
print(entries[0]["command"].split()[0])
for entry in entries:
    if entry["file"].startswith(root) and entry["file"].endswith(".cpp"):
        print(entry["file"][len(root):])
EOF
)
compiler=${listed[0]}
sources=()
for file in "${listed[@]:1}"; do
  case $file in
    */win32/* | *_win32.cpp) sources+=("$file") ;;
    *) if grep -q '_WIN32' "$file"; then sources+=("$file"); fi ;;
  esac
done

# clang finds the MinGW headers by the target alone, but not GCC's C++ library in its
# "12-posix"-style folder: those folders are given as the cross compiler lists them.
arguments=(--quiet "-p=$build" "--extra-arg=--target=$("$compiler" -dumpmachine)"
           --extra-arg=-Wno-unknown-warning-option)
while read -r folder; do
  arguments+=("--extra-arg=-isystem$folder")
done < <("$compiler" -xc++ -E -v - </dev/null 2>&1 | sed -n 's/^ \(.*\/include\/c++.*\)$/\1/p')

echo "clang-tidy over ${#sources[@]} Windows sources"
printf '%s\n' "${sources[@]}" | xargs -P "$(nproc)" -n 4 clang-tidy "${arguments[@]}"
