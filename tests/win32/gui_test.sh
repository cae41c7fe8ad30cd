#!/bin/sh
# Runs the window driver under Wine on a virtual display (Xvfb unless DISPLAY is set).
# Usage: gui_test.sh WINE_LOADER DRIVER.exe PROGRAM.exe
# The driver and the window run in a Wine desktop of their own: the default desktop may have been
# opened by an earlier program without any display (a Wine server kept running for console tests),
# and windows on it are never shown. Wine's explorer does not pass on the driver's exit status, so
# the driver's last line tells.
set -eu
loader=$1
driver=$2
program=$3
# A desktop of this run's own: one left by a run that was stopped would belong to its display.
run="$loader explorer /desktop=quorvane-test-$$,1024x768"
if [ -z "${DISPLAY:-}" ]; then
  run="xvfb-run -a -s '-screen 0 1024x768x24' $run"
fi
output=$(eval "$run" '"$driver"' '"$program"' 2>&1) || true
printf '%s\n' "$output"
printf '%s\n' "$output" | tr -d '\r' | grep -qx passed
