#!/bin/sh
# Runs the window driver under Wine on a virtual display.
# Usage: gui_test.sh WINE_LOADER DRIVER.exe PROGRAM.exe
# Without a window manager, Wine waits two seconds whenever a window it manages is hidden or
# closed; told to manage no window, it does not.
set -eu
loader=$1
driver=$2
program=$3
"$loader" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
if [ -n "${DISPLAY:-}" ]; then
  exec "$loader" "$driver" "$program"
fi
exec xvfb-run -a -s "-screen 0 1024x768x24" "$loader" "$driver" "$program"
