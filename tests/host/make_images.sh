#!/usr/bin/env bash
# Writes the test images with ImageMagick, an encoder independent of the one
# under test: an 8x6 pattern whose pixel (x, y) is (32x, 40y, 255-20x), in
# true colour except where a palette is the point (GIF, PNG8).
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
convert "$ppm" PNG24:"$out/pattern.png"
convert "$ppm" -quality 95 "$out/pattern.jpg"
convert "$ppm" -type TrueColor BMP3:"$out/pattern.bmp"
convert "$ppm" -type TrueColor "$out/pattern.tiff"
convert "$ppm" "$out/pattern.gif"
convert "$ppm" PNG8:"$out/indexed.png"
