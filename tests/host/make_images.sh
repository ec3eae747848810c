#!/usr/bin/env bash
# Writes the test images with ImageMagick, an encoder independent of the one
# under test: an 8x6 pattern whose pixel (x, y) is (32x, 40y, 255-20x).
set -euo pipefail
out=$1
mkdir -p "$out"
ppm=$out/pattern.ppm
{
  echo "P3 8 6 255"
  for y in 0 1 2 3 4 5; do
    for x in 0 1 2 3 4 5 6 7; do echo "$((32 * x)) $((40 * y)) $((255 - 20 * x))"; done
  done
} >"$ppm"
for f in png jpg bmp tiff; do convert "$ppm" "$out/pattern.$f"; done
convert "$ppm" -colors 256 "$out/pattern.gif"
convert "$ppm" -type Palette PNG8:"$out/indexed.png"
