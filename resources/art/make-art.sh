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

# The wordmark is drawn on the dialog face grey so that its smoothed edges blend into the face;
# afterwards exactly that grey becomes the key colour, and nothing else does.
face='#F0F0F0'
convert -size 365x122 "xc:$face" \
    -fill '#1B3A6B' -draw 'polygon 18,92 60,22 112,22 70,92' \
    -fill '#C8102E' -draw 'polygon 52,92 94,22 120,22 78,92' \
    -font "$font" -pointsize 43 -fill '#1B3A6B' -annotate 0x0+124+74 'ORVALDA' \
    -fill '#C8102E' -draw 'rectangle 126,86 344,92' \
    -font "$font" -pointsize 13 -fill '#1B3A6B' -annotate 0x0+127+110 'MOTOR CONTROL' \
    "$work/logo-face.png"
convert "$work/logo-face.png" -fuzz 0 -fill '#00FF00' -opaque "$face" \
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
