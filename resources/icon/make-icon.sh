#!/bin/sh
# Draws the window icon: a sheet of vellum with one highlighted paragraph and a pen.
# Writes vellumet.png beside this script (48 x 48, 256 colours). Needs ImageMagick.
set -eu
cd "$(dirname "$0")"
convert -size 192x192 xc:none \
    -fill '#00000030' -stroke none -draw 'roundrectangle 42,22 162,186 10,10' \
    -fill '#F6EBCB' -stroke '#7A5A2A' -strokewidth 5 \
    -draw 'polygon 34,14 128,14 158,44 158,176 34,176' \
    -fill '#E2CC96' -draw 'polygon 128,14 128,44 158,44' \
    -fill '#CFE2FA' -stroke '#2F6DB5' -strokewidth 4 -draw 'roundrectangle 50,74 142,118 8,8' \
    -stroke '#4A4A58' -strokewidth 7 -fill none \
    -draw 'line 56,48 118,48' -draw 'line 56,62 138,62' \
    -stroke '#1F4F8A' -draw 'line 60,88 132,88' -draw 'line 60,104 112,104' \
    -stroke '#4A4A58' -draw 'line 56,134 138,134' -draw 'line 56,148 104,148' \
    -stroke '#3B1E08' -strokewidth 4 -fill '#B8322A' \
    -draw 'polygon 176,86 190,100 124,166 106,176 114,156' \
    -fill '#E8C15A' -draw 'polygon 114,156 124,166 106,176' \
    -resize 48x48 PNG8:vellumet.png
