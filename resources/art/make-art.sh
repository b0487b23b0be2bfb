#!/usr/bin/env bash
# Makes the program's pictures from scratch with Debian's ImageMagick and DejaVu fonts:
#   logo.bmp  bitmap 121: 365 x 122, 24 bpp, bottom-up, 2835 px/m, the ORVALDA wordmark on the
#             key colour (pure green), which the dialog keys out when it paints the logo
#   app.ico   icon group 123: eight 32-bit images with alpha, 32, 16, 48, 32, 16, 48, 32, 16 px
# Then checks both files byte by byte (check-art.py). Run from anywhere; writes beside itself.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
font=/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf
[ -f "$font" ] || { echo "missing $font (package fonts-dejavu-core)" >&2; exit 1; }

# The wordmark is drawn with hard edges straight on the key colour: the dialog shows the logo at
# about half size, and a shrinking blit that ANDs neighbouring pixels would turn smoothed edges
# (blends of the key colour) into a bright green seam; hard edges leave at most a dark one.
convert -size 365x122 xc:'#00FF00' +antialias \
    -fill '#1B3A6B' -draw 'polygon 14,100 62,22 116,22 68,100' \
    -fill '#C8102E' -draw 'polygon 50,100 98,22 124,22 76,100' \
    -font "$font" -pointsize 42 -fill '#1B3A6B' -annotate 0x0+128+78 'ORVALDA' \
    -fill '#C8102E' -draw 'rectangle 130,88 346,99' \
    -alpha off -type TrueColor -compress None \
    -units PixelsPerCentimeter -density 28.35 "BMP3:$here/logo.bmp"

# The icon: a blue rounded tile with a red stroke and a white "O", transparent around the tile.
convert -size 256x256 xc:none \
    -fill '#1B3A6B' -draw 'roundrectangle 8,8 247,247 44,44' \
    -fill '#C8102E' -draw 'polygon 40,214 150,42 196,42 86,214' \
    -fill white -stroke white -strokewidth 2 -font "$font" -pointsize 150 \
    -gravity center -annotate 0x0+0+4 'O' \
    "$work/icon-256.png"
for size in 16 32 48; do
    convert "$work/icon-256.png" -filter Lanczos -resize "${size}x${size}" \
        -define png:color-type=6 "PNG32:$work/icon-$size.png"
done
# Windows picks the image nearest in size; the order is the one the program ships with.
convert "$work/icon-32.png" "$work/icon-16.png" "$work/icon-48.png" \
        "$work/icon-32.png" "$work/icon-16.png" "$work/icon-48.png" \
        "$work/icon-32.png" "$work/icon-16.png" "$here/app.ico"

python3 "$here/check-art.py" "$here/logo.bmp" "$here/app.ico"
