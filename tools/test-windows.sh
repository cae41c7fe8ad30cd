#!/usr/bin/env bash
# Runs a Windows build's tests under Wine: the portable suites and the GUI test of the real window
# (on a virtual display). One Wine prefix and one Wine server kept running for the whole run, since
# every cold start of the server costs seconds. Ends with one line naming the architecture and
# where it ran, with the counts.
# Each test runs once. A test that failed without its program ever reaching its own first line
# (Wine did not start it, or it hung before main) is run again, at most twice, and each such retry
# is printed with its reason; a test that failed after it started is a failure, never retried.
# Usage: tools/test-windows.sh [--prefix DIR] [--where TEXT] [--no-install] [build-folder]
#   build-folder   default build/windows-x86_64 (64-bit Wine here); build/windows-i686 needs
#                  32-bit Wine, which runs in the lab guest only (tests/lab/suites/win32.sh)
#   --prefix DIR   the Wine prefix (default: BUILD/wine); a 32-bit build needs a WINEARCH=win32 one
#   --where TEXT   where the tests run, for the closing line (default: "Wine on this machine")
#   --no-install   do not install missing packages (the lab guest has Wine and no network)
set -euo pipefail
cd "$(dirname "$0")/.."
prefix='' where='Wine on this machine' install=1
while [ $# -gt 0 ]; do
  case $1 in
    --prefix) prefix=$2 && shift 2 ;;
    --where) where=$2 && shift 2 ;;
    --no-install) install='' && shift ;;
    *) break ;;
  esac
done
build=${1:-build/windows-x86_64}
[ -z "$install" ] || bash tools/install-deps.sh --windows
export WINEPREFIX=${prefix:-$PWD/$build/wine} WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
mkdir -p "$WINEPREFIX"

wine wineboot -i >/dev/null 2>&1 || true
wineserver -p 2>/dev/null || true  # already running is fine
first_run=$(mktemp)  # the first ctest run's log, kept while single tests are run again
arch=$(sed -n 's/^CMAKE_TOOLCHAIN_FILE:[A-Z]*=.*mingw-\(.*\)\.cmake$/\1/p' "$build/CMakeCache.txt")
failures=''  # how many tests failed in the end, once known
finish() {   # and the closing line, once the tests ran
  local status=$? total
  wineserver -k 2>/dev/null || true
  rm -f "$first_run"
  if [ -z "$failures" ]; then
    [ "$status" -eq 0 ] || echo "$arch ($where): the tests stopped with status $status"
    return 0
  fi
  total=$(ctest --test-dir "$build" -N | sed -n 's/^Total Tests: //p')
  echo "$arch ($where): $((total - failures)) passed, $failures failed"
}
trap finish EXIT
# Without a window manager Wine otherwise waits two seconds each time a window is hidden.
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1 ||
  echo "note: Wine did not start reg (status $?): windows will close more slowly"

# The first line each test program writes: GoogleTest's banner, or the window driver's.
started='^\[==========\] Running |^window driver: '
results=$build/Testing/Temporary

# The output of a test (name) in a ctest log (file), as the log holds it.
test_output() {
  awk -v name="$1" '$0 ~ "^[0-9]+/[0-9]+ Test: " && $NF == name { on = 1; next }
                    on && /^Output:/ { out = 1; getline; next }
                    out && /^<end of output>/ { exit } out' "$2"
}

# Whether a test (name) failed, in a ctest log (file), before its program wrote its first line.
never_started() {
  ! test_output "$1" "$2" | tr -d '\r' | grep -E "$started" >/dev/null
}

# One test program holds a whole suite, and each of its program starts costs Wine seconds under
# load (the command-line suite took 190 s of a 300 s limit on a busy machine): 600 s each, as the
# Linux suites have.
status=0
ctest --test-dir "$build" --output-on-failure -j 2 --timeout 600 || status=$?
[ "$status" -ne 0 ] || { failures=0 && exit 0; }
[ -s "$results/LastTestsFailed.log" ] || exit "$status"  # ctest failed before any test
mapfile -t failed < <(cut -d: -f2- "$results/LastTestsFailed.log")
cp "$results/LastTest.log" "$first_run"

status=0 failures=0
for test in "${failed[@]}"; do
  attempt=0
  log=$first_run
  while never_started "$test" "$log" && [ "$attempt" -lt 2 ]; do
    attempt=$((attempt + 1))
    echo "=== retry $attempt of 2: $test failed before its program wrote a line (Wine did not" \
      "start it); its output was:"
    test_output "$test" "$log" | tail -n 5
    if ctest --test-dir "$build" --output-on-failure --timeout 600 -R "^$test\$"; then
      echo "=== $test passed on retry $attempt"
      continue 2
    fi
    log=$results/LastTest.log
  done
  status=1 failures=$((failures + 1))
done
exit "$status"
