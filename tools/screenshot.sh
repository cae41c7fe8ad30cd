#!/usr/bin/env bash
# Renders the window, as it opens on a small sample site, into docs/window.png — no display
# needed (Qt's offscreen platform).
# Usage: tools/screenshot.sh [build-folder]   (default: build/screenshot, configured if needed)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=${1:-build/screenshot}

[ -f "$build/CMakeCache.txt" ] || cmake -S . -B "$build" -G Ninja -DQV_BUILD_TESTS=OFF
cmake --build "$build" --target quorvane-screenshot

# A fixed place, so that the folder lists show the same chain every time.
demo=${TMPDIR:-/tmp}/quorvane-demo
rm -rf "$demo"
trap 'rm -rf "$demo"' EXIT
mkdir -p "$demo/website/images" "$demo/website/scripts"
for page in framec-index framec-news framec-contact framec-about about; do
  printf '<html><body><p>%s</p></body></html>\n' "$page" >"$demo/website/$page.html"
done
printf '<script>var quorvaneSite = "demo";</script>\n' >"$demo/website/counter.txt"

(cd "$demo/website" && QT_QPA_PLATFORM=offscreen "$root/$build/app/quorvane-screenshot" \
  "$root/docs/window.png")
echo "wrote docs/window.png"
