#!/usr/bin/env bash
# Proves a Windows release zip the way a user meets it: unpacks it into an empty folder, runs its
# command line on a page (the page's new bytes are checked, with the zip's own quorvane.ini
# beside the program), then starts its window and asks it to close (it must come up, and end with
# status 0). Under the Wine of the machine it runs on, in a fresh prefix: 64-bit Wine for the
# x86_64 zip (this machine), 32-bit Wine for the i686 one (the lab guest).
# Usage: tools/prove-windows-zip.sh ZIP
set -euo pipefail

# --window FOLDER WORKING_FOLDER: starts the window and asks it to close (WM_CLOSE through
# taskkill) until it has a window to close; fails unless it then ends with status 0.
if [ "$1" = --window ]; then
  cd "$3"
  wine "$2/quorvane-insert.exe" &
  window=$!
  for _ in $(seq 60); do
    sleep 1
    kill -0 "$window" 2>/dev/null || break
    wine taskkill /im quorvane-insert.exe >/dev/null 2>&1 || true
  done
  if kill -0 "$window" 2>/dev/null; then
    kill "$window"
    echo "the window did not close when asked" >&2
    exit 1
  fi
  status=0
  wait "$window" || status=$?
  [ "$status" -eq 0 ] || { echo "the window ended with status $status" >&2 && exit 1; }
  exit 0
fi

zip=$(realpath "$1")
work=$(mktemp -d)
trap 'wineserver -k 2>/dev/null || true; rm -rf "$work"' EXIT
export WINEPREFIX=$work/wine WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
case $zip in *-i686.zip) export WINEARCH=win32 ;; esac
started=$SECONDS
wine wineboot -i >/dev/null 2>&1 || true
echo "prefix made in $((SECONDS - started)) s"

mkdir "$work/unpacked" "$work/site"
(cd "$work/unpacked" && cmake -E tar xf "$zip")
folder=$(find "$work/unpacked" -mindepth 1 -maxdepth 1 -type d)
for file in quorvane-insert.exe quorvane-insert-cli.exe quorvane.ini README.txt; do
  [ -f "$folder/$file" ] || { echo "the zip lacks $file" >&2 && exit 1; }
done

# The command line, from the site's folder as a user would.
printf '<html><body>\r\n<p>x</p>\r\n</body></html>\r\n' >"$work/site/page.html"
printf 'var quorvaneSite = 7;' >"$work/site/text.txt"
# Status 53 is Wine's, not the program's: it could not start the process (kernel32.dll not
# loaded), as on a heavily loaded emulated processor; such a start is tried again, once.
status=0
(cd "$work/site" && wine "$folder/quorvane-insert-cli.exe" text.txt page.html) || status=$?
if [ "$status" -eq 53 ]; then
  echo "Wine could not start the command line (status 53); starting it again"
  status=0
  (cd "$work/site" && wine "$folder/quorvane-insert-cli.exe" text.txt page.html) || status=$?
fi
[ "$status" -eq 0 ] || { echo "the command line ended with status $status" >&2 && exit 1; }
printf '<html><body>\r\n<p>x</p>\r\n\r\nvar quorvaneSite = 7;\r\n</body></html>\r\n' \
  >"$work/expected.html"
cmp "$work/expected.html" "$work/site/page.html"
echo "the command line inserted the text"

# The window, on the display that the close request must reach too; under a new Wine server,
# since the one that made the prefix opened its desktop without a display.
wineserver -k 2>/dev/null || true
if [ -n "${DISPLAY:-}" ]; then
  bash "$0" --window "$folder" "$work/site"
else
  xvfb-run -a -s '-screen 0 1024x768x24' bash "$0" --window "$folder" "$work/site"
fi
echo "the window started and closed"
