#!/bin/sh
# Draws the project's artwork with ImageMagick: the icons of both programs
# (PNG per size and a multi-size .ico) and the about box's background.
# Run from anywhere; the outputs are committed beside this script.
set -eu
cd "$(dirname "$0")"
sizes="16 24 32 48 64 128 256"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# The panel: a sea-blue tile with a low sun and two white waves.
convert -size 256x256 xc:none \
    \( -size 232x232 gradient:'#3aa8e0-#0b3f73' \) -geometry +12+12 -composite \
    \( -size 256x256 xc:black -fill white -draw 'roundrectangle 12,12 243,243 44,44' \) \
    -alpha off -compose CopyOpacity -composite -compose Over \
    -fill '#ffd54a' -stroke none -draw 'circle 176,84 176,50' \
    -fill none -stroke white -strokewidth 16 -draw "path 'M 24,150 C 64,118 96,118 128,150 S 192,182 232,150'" \
    -stroke '#bfe6ff' -strokewidth 14 -draw "path 'M 24,196 C 64,164 96,164 128,196 S 192,228 232,196'" \
    "$tmp/tidepanel.png"

# The editor: the same tile with a pencil writing across it.
convert "$tmp/tidepanel.png" \
    -stroke none -fill '#f4a52c' -draw 'polygon 92,212 70,190 186,74 208,96' \
    -fill '#e0603a' -draw 'polygon 186,74 208,96 224,80 202,58' \
    -fill '#fbe3c0' -draw 'polygon 92,212 70,190 56,226' \
    -fill '#333333' -draw 'polygon 64,216 56,226 66,222' \
    -fill none -stroke '#7a4a12' -strokewidth 3 -draw 'line 81,201 197,85' \
    "$tmp/tideedit.png"

for name in tidepanel tideedit; do
    files=""
    for s in $sizes; do
        convert "$tmp/$name.png" -filter Lanczos -resize "${s}x${s}" -strip "PNG32:$name-$s.png"
        files="$files $name-$s.png"
    done
    # shellcheck disable=SC2086
    convert $files "$name.ico"
done

# The about box's picture, 800 x 600: a deep band for the title, a pale
# sky below it for the dark lettering, and a calm sea along the bottom.
convert -size 800x600 gradient:'#ffffff-#d6ecfa' \
    \( -size 800x76 gradient:'#0d4f86-#1b7cc0' \) -geometry +0+0 -composite \
    -fill '#ffffff' -stroke none -draw 'rectangle 0,76 800,79' \
    -fill '#bfe0f5' -draw "path 'M 0,250 C 120,222 220,222 340,250 S 560,278 800,250 L 800,600 L 0,600 Z'" \
    -fill '#9fd0ef' -draw "path 'M 0,290 C 120,262 220,262 340,290 S 560,318 800,290 L 800,600 L 0,600 Z'" \
    -fill '#ffd54a' -draw 'circle 430,40 430,18' \
    -quality 90 -strip about.jpg
