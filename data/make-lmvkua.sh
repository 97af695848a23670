#!/usr/bin/env bash
# Makes lmvkua.iva, the upload window's animation: an animated GIF (QMovie
# plays it) of a page with an arrow rising from it towards a globe.
# Needs ImageMagick. Run from anywhere; writes next to this script.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT

frames=()
for i in 0 1 2 3 4 5 6 7; do
  y=$((40 - i * 4))
  convert -size 64x64 xc:'#d4d0c8' \
    -fill white -stroke black -draw 'rectangle 6,34 26,58' \
    -stroke '#808080' -draw 'line 10,40 22,40' -draw 'line 10,45 22,45' -draw 'line 10,50 22,50' \
    -fill '#3c78c8' -stroke '#1e3c64' -draw 'circle 48,16 48,4' \
    -stroke '#1e3c64' -draw 'line 38,16 58,16' -draw 'ellipse 48,16 5,12 0,360' \
    -fill '#ffb400' -stroke '#805a00' \
    -draw "polygon 30,$((y)) 36,$((y + 7)) 33,$((y + 7)) 33,$((y + 14)) 27,$((y + 14)) 27,$((y + 7)) 24,$((y + 7))" \
    "$tmp/f$i.png"
  frames+=("$tmp/f$i.png")
done
convert -delay 12 -loop 0 "${frames[@]}" -layers Optimize "gif:$here/lmvkua.iva"
echo "wrote $here/lmvkua.iva"
