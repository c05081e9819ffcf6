#!/usr/bin/env bash
# Draws the program's icon (resource 100) and the logo bitmap of the dialogs
# (resource 101) with ImageMagick. The results are committed; run this again
# only to change the art. The bitmap keeps a 16-colour palette: every byte of
# the stub is downloaded with every installer.
set -euo pipefail
cd "$(dirname "$0")/../resources"

# Icon: a juniper-green disc with a white sprig-shaped "Z", at 16 and 32 px.
for s in 16 32; do
  w=$((s * 8 / 100 + 1))
  convert -size ${s}x${s} xc:none \
    -fill '#2e7d4f' -stroke '#1b4d30' -strokewidth $((s / 16 + 1)) \
    -draw "circle $((s / 2)),$((s / 2)) $((s / 2)),1" \
    -stroke white -strokewidth $((s / 8 + 1)) -fill none \
    -draw "polyline $((s * 3 / 10)),$((s * 3 / 10)) $((s * 7 / 10)),$((s * 3 / 10)) $((s * 3 / 10)),$((s * 7 / 10)) $((s * 7 / 10)),$((s * 7 / 10))" \
    -stroke none -fill '#a5d6a7' -draw "circle $((s * 7 / 10)),$((s * 3 / 10)) $((s * 7 / 10 + w)),$((s * 3 / 10))" \
    "/tmp/zimbro-icon-$s.png"
done
convert /tmp/zimbro-icon-16.png /tmp/zimbro-icon-32.png zimbro.ico
rm -f /tmp/zimbro-icon-*.png

# Logo: a tall strip for the left of the dialogs (61 x 186 dialog units at
# the dialog font is about 92 x 302 pixels): a deep green gradient, juniper
# berries and the product name written upwards.
convert -size 92x302 gradient:'#2e7d4f'-'#0b2416' \
  -fill '#5c8fd6' -draw 'circle 30,60 38,60' -draw 'circle 52,48 59,48' -draw 'circle 60,72 67,72' \
  -fill '#9fc2ee' -draw 'circle 27,57 29,57' -draw 'circle 49,45 51,45' -draw 'circle 57,69 59,69' \
  -stroke '#a5d6a7' -strokewidth 3 -draw 'line 20,100 72,30' -stroke none \
  -fill white -font DejaVu-Sans-Bold -pointsize 22 \
  -gravity south -annotate 270x270+8+70 'Zimbro SFX' \
  -colors 16 -type Palette -compress none BMP3:logo.bmp
ls -l zimbro.ico logo.bmp
