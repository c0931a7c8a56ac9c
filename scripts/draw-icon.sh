#!/usr/bin/env bash
# draw-icon.sh: redraws the application icon, res/icons/velkor-32.png and
# velkor-16.png: a stepper motor seen from its shaft end (square flange with four
# mounting holes, round boss, shaft with its flat), in six colours of the classic
# 16-colour palette, without anti-aliasing. Needs ImageMagick's convert.
set -euo pipefail
cd "$(dirname "$0")/../res/icons"

# Classic 16-colour palette entries used here.
BLACK='#000000' GREY='#808080' SILVER='#C0C0C0' WHITE='#FFFFFF' NAVY='#000080'

# 32 x 32
convert -size 32x32 xc:none +antialias \
  -stroke "$BLACK" -strokewidth 1 -fill "$GREY" -draw 'roundrectangle 1,1 30,30 4,4' \
  -stroke none -fill "$SILVER" -draw 'line 2,2 29,2' -draw 'line 2,2 2,29' \
  -stroke "$BLACK" -fill "$NAVY" \
  -draw 'circle 5,5 7,5' -draw 'circle 26,5 28,5' -draw 'circle 5,26 7,26' -draw 'circle 26,26 28,26' \
  -fill "$SILVER" -draw 'circle 15.5,15.5 15.5,6' \
  -stroke "$GREY" -fill none -draw 'circle 15.5,15.5 15.5,9' \
  -stroke "$BLACK" -fill "$WHITE" -draw 'circle 15.5,15.5 15.5,12' \
  -stroke none -fill "$SILVER" -draw 'rectangle 12,11 19,12' \
  -stroke "$BLACK" -draw 'line 13,13 18,13' \
  -define png:color-type=3 PNG8:velkor-32.png

# 16 x 16
convert -size 16x16 xc:none +antialias \
  -stroke "$BLACK" -strokewidth 1 -fill "$GREY" -draw 'roundrectangle 0,0 15,15 2,2' \
  -stroke none -fill "$NAVY" \
  -draw 'point 2,2' -draw 'point 13,2' -draw 'point 2,13' -draw 'point 13,13' \
  -stroke "$BLACK" -fill "$SILVER" -draw 'circle 7.5,7.5 7.5,3' \
  -fill "$WHITE" -draw 'circle 7.5,7.5 7.5,6' \
  -define png:color-type=3 PNG8:velkor-16.png
