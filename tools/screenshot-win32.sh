#!/usr/bin/env bash
# Photographs the Windows window, as it opens on a small sample site, into docs/window-win32.png:
# the 64-bit program under Wine on a virtual display (Xvfb).
# Usage: tools/screenshot-win32.sh [build-folder]   (default: build/windows-x86_64, built if needed)
# Needs wine64, xvfb, xdotool and imagemagick.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=${1:-build/windows-x86_64}
export WINEDEBUG=-all

if [ -z "${QV_ON_VIRTUAL_DISPLAY:-}" ]; then
  [ -f "$build/app/quorvane-insert.exe" ] || QV_WINDOWS_TESTS=OFF bash tools/build-windows.sh x86_64
  exec xvfb-run -a -s "-screen 0 1024x768x24" env QV_ON_VIRTUAL_DISPLAY=1 bash "$0" "$build"
fi

# The sample site on drive C: of the Wine prefix, as a Windows user would keep it.
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
demo=${WINEPREFIX:-$HOME/.wine}/drive_c/Sites
rm -rf "$demo"
mkdir -p "$demo/website/images" "$demo/website/scripts"
for page in framec-index framec-news framec-contact framec-about about; do
  printf '<html><body><p>%s</p></body></html>\r\n' "$page" >"$demo/website/$page.html"
done
printf '<script>var quorvaneSite = "demo";</script>\r\n' >"$demo/website/counter.txt"

cd "$demo/website"
wine "$root/$build/app/quorvane-insert.exe" >/dev/null 2>&1 &
program=$!
window=$(xdotool search --sync --name '^Insert text in HTML files$' | head -n 1)
sleep 1  # let the lists paint
import -window "$window" "$root/docs/window-win32.png"
kill "$program"
wait "$program" 2>/dev/null || true
rm -rf "$demo"
echo "wrote docs/window-win32.png"
