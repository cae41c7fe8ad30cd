#!/usr/bin/env bash
# Builds the window icon, window/qt/quorvane.ico, from the drawings in tools/icon/: three images,
# 32x32 in 2 colours, 32x32 in 16 colours and 16x16 in 16 colours. Also writes the installed
# desktop icons, packaging/icons/<size>.png: the drawings as they are (16, 32) and their pixels
# enlarged without smoothing (48 from the 16x16 drawing, 64 from the 32x32).
# Needs ImageMagick (convert) and icoutils (icotool).
set -euo pipefail
cd "$(dirname "$0")/.."

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The 2-colour image: the 32x32 drawing with each colour of its palette mapped to black or white.
sed -e 's/^"\([swy]\) c #[0-9A-F]*",/"\1 c #FFFFFF",/' \
    -e 's/^"\([gbr]\) c #[0-9A-F]*",/"\1 c #000000",/' tools/icon/quorvane.xpm >"$work/mono.xpm"

# Palette PNGs; icotool stores each at the smallest depth its colours fit in (1 or 4 bits).
convert "$work/mono.xpm" PNG8:"$work/32-2.png"
convert tools/icon/quorvane.xpm PNG8:"$work/32-16.png"
convert tools/icon/quorvane16.xpm PNG8:"$work/16-16.png"

icotool --create --output=window/qt/quorvane.ico "$work/32-2.png" "$work/32-16.png" \
  "$work/16-16.png"
icotool --list window/qt/quorvane.ico

convert tools/icon/quorvane16.xpm -strip PNG32:packaging/icons/16.png
convert tools/icon/quorvane.xpm -strip PNG32:packaging/icons/32.png
convert tools/icon/quorvane16.xpm -strip -filter point -resize 48x48 PNG32:packaging/icons/48.png
convert tools/icon/quorvane.xpm -strip -filter point -resize 64x64 PNG32:packaging/icons/64.png
