#!/usr/bin/env bash
# Installs what is missing, checks that the C++ sources are formatted, then builds twice — normally (with clang-tidy) and with AddressSanitizer
# and UndefinedBehaviorSanitizer, warnings as errors — and runs every test in both builds; then runs
# each fuzzer for a minute (tools/fuzz.sh). The normal build also makes the Debian package and
# proves it and the install layout (tools/package.sh). Between the two, the Windows programs are
# cross-built for both architectures with their tests, clang-tidy checks the code only they
# compile, the 64-bit build's tests run under Wine, and the release (zips and installers, each
# zip proven first) is made, the 64-bit installer installed, upgraded and removed under Wine; then
# the lab's suites run in a Debian guest under QEMU (tools/lab/test-lab.sh: the file systems,
# shares and power cuts this machine's kernel lacks, and the 32-bit build's tests and programs
# under 32-bit Wine).
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/install-deps.sh --windows --package
jobs=$(nproc)

run_build() {  # folder, extra cmake arguments...
  local folder=$1
  shift
  cmake -S . -B "$folder" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQV_WARNINGS_AS_ERRORS=ON "$@"
  cmake --build "$folder" -j "$jobs"
  QT_QPA_PLATFORM=offscreen ctest --test-dir "$folder" --output-on-failure -j "$jobs" --timeout 600
}

echo "=== formatting (.clang-format)"
git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run -Werror
echo "=== normal build"
run_build build/ci -DQV_CLANG_TIDY=ON
echo "=== package"
bash tools/package.sh build/ci
echo "=== Windows: 32-bit and 64-bit programs with their tests, clang-tidy over the Windows-only code, the 64-bit tests under Wine"
QV_WINDOWS_TESTS=ON bash tools/build-windows.sh
bash tools/tidy-windows.sh build/windows-x86_64
bash tools/test-windows.sh build/windows-x86_64
echo "=== Windows: the zips and installers; the 64-bit installer's round trip under Wine"
bash tools/release-windows.sh
bash tools/test-msi.sh
echo "=== lab (after the Windows programs: the guest runs the 32-bit ones too)"
bash tools/lab/test-lab.sh build/ci
echo "=== sanitizer build"
export ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
run_build build/ci-sanitize -DQV_SANITIZE=ON
echo "=== fuzzing"
bash tools/fuzz.sh
