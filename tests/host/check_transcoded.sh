#!/usr/bin/env bash
# Reads what the Windows transcoding tests wrote with ImageMagick, a decoder
# independent of the encoder under test: the format each file claims to be,
# its size, and its pixels against the pattern the sources were made from.
# Usage: check_transcoded.sh IMAGES OUTPUTS
set -uo pipefail
images=$1
out=$2
failed=0
# Wine 8's BMP encoder leaves the palette out of an 8-bit file's size field;
# the pixels are right, so read past that.
lenient=(-define bmp:ignore-filesize=true)

# file  format  pixels: exact | fuzz percentage for lossy JPEG
expect=(
  "from-png.bmp BMP 0"
  "from-gif.bmp BMP 0"
  "from-tiff.bmp BMP 0"
  "from-bmp.bmp BMP 0"
  "from-indexed.bmp BMP 0"
  "from-jpg.bmp BMP 15"
  "to.jpg JPEG 15"
  "to.tiff TIFF 0"
  "to.png PNG 0"
  "to.gif GIF 0"
  " captcha out.bmp BMP 0"
)
for line in "${expect[@]}"; do
  read -r -a fields <<<"$line"
  n=${#fields[@]}
  format=${fields[n - 2]}
  fuzz=${fields[n - 1]}
  name=${line% "$format $fuzz"}
  file=$out/$name
  if [ ! -f "$file" ]; then
    echo "missing: '$name'"
    failed=1
    continue
  fi
  got=$(identify "${lenient[@]}" -format '%m %w %h' "$file[0]" 2>&1)
  case "$got" in
    "$format 8 6" | "${format}3 8 6") ;;
    *) echo "'$name': identified as '$got', expected '$format 8 6'"; failed=1 ;;
  esac
  differing=$(compare "${lenient[@]}" -metric AE -fuzz "$fuzz%" "$images/pattern.ppm" "$file[0]" null: 2>&1)
  if [ "$differing" != 0 ]; then
    echo "'$name': $differing pixels differ from the pattern (fuzz $fuzz%)"
    failed=1
  fi
done
[ $failed -eq 0 ] && echo "all transcoded files read back as expected"
exit $failed
