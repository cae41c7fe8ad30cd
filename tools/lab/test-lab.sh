#!/usr/bin/env bash
# Runs the lab's guest suites (tests/lab/suites/*.sh) in the lab guest: builds or reuses the guest
# image, builds the programs the suites drive in BUILD_DIR, then boots the guest once per group of
# suites below (suites not written yet are skipped), prints how long each suite took, and fails
# when any suite fails or when no guest can start.
# Usage: tools/lab/test-lab.sh [BUILD_DIR]   (default build/ci)
#   QV_LAB_ONLY (a regular expression) runs only the cases whose names match it.
set -euo pipefail
cd "$(dirname "$0")/../.."

build=${1:-build/ci}
# One boot per line; the suites of a line run one after the other in the same guest. The 32-bit
# Windows suite runs the i686 build with its tests (tools/build-windows.sh, QV_WINDOWS_TESTS=ON).
boots=("storage-local storage-shares power-cut" "win32")
if [ ! -f build/windows-i686/tests/cli_tests.exe ]; then
  echo "test-lab.sh: build/windows-i686 lacks its tests; build them first:" \
    "QV_WINDOWS_TESTS=ON bash tools/build-windows.sh i686" >&2
  exit 1
fi

start=$SECONDS
img=$(bash tools/lab/build-image.sh) || {
  echo "test-lab.sh: no lab guest can start: the guest image could not be built" >&2
  exit 1
}
echo "lab image $img ready after $((SECONDS - start)) s"

if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build" --target quorvane-insert-cli quorvane-insert-cli-paused lab_window_run \
  qv-log-replay -j 2
build=$(cd "$build" && pwd)

failed=0
for boot in "${boots[@]}"; do
  present=()
  for suite in $boot; do
    [ -f "tests/lab/suites/$suite.sh" ] && present+=("$suite")
  done
  [ ${#present[@]} -gt 0 ] || continue
  boot_start=$SECONDS
  status=0
  # shellcheck disable=SC2016 # expanded in the guest
  bash tools/lab/guest-run.sh --timeout 3000 --mem 3072 -- \
    env QV_BUILD="$build" QV_CLI="$build/cli/quorvane-insert-cli" QV_LAB_ONLY="${QV_LAB_ONLY:-}" \
    QV_WINDOW_RUN="$build/tests/lab_window_run" bash -c '
      failed=0
      for suite in "$@"; do
        suite_start=$SECONDS
        if bash "tests/lab/suites/$suite.sh"; then result=passed; else result=FAILED; failed=1; fi
        echo "=== lab suite $suite: $result in $((SECONDS - suite_start)) s"
      done
      exit $failed' lab "${present[@]}" || status=$?
  echo "=== lab boot (${present[*]}): $((SECONDS - boot_start)) s, status $status"
  if [ "$status" -eq 125 ]; then
    echo "test-lab.sh: the lab guest could not start or stopped early (see the line above)" >&2
    exit 1
  fi
  [ "$status" -eq 0 ] || failed=1
done
echo "=== lab: $((SECONDS - start)) s in all"
exit $failed
