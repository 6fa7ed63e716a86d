#!/bin/sh
# Renders the artwork in svg/ into the PNG files in png/ that the build embeds.
# The PNGs are committed, so a build never needs ImageMagick; run this after editing an SVG.
#
# ImageMagick's own SVG renderer draws thin strokes too wide at small sizes, so every
# picture is drawn at eight times its size and scaled down with a box filter, which
# gives each pixel the exact share of the shapes that cover it.
set -eu
cd "$(dirname "$0")"
mkdir -p png

# render SOURCE WIDTH HEIGHT OUTPUT
render() {
    src=$1 w=$2 h=$3 out=$4
    # The SVG's own width in user units fixes the density that yields 8 x the target.
    units=$(sed -n 's/.*<svg[^>]* width="\([0-9.]*\)".*/\1/p' "svg/$src" | head -n 1)
    density=$(awk -v w="$w" -v u="$units" 'BEGIN { printf "%d", 72 * 8 * w / u }')
    convert -background none -density "$density" "svg/$src" -filter box -resize "${w}x${h}!" \
        -define png:exclude-chunks=date,time "PNG32:png/$out"
}

render dirwise-16.svg 16 16 dirwise-16.png
for size in 32 48 64 128 256; do
    render dirwise.svg "$size" "$size" "dirwise-$size.png"
done
render master.svg 30 25 master.png
render compare.svg 35 32 compare.png
render match.svg 16 16 match.png
render different.svg 16 16 different.png
render notfound.svg 16 16 notfound.png
render extra.svg 16 16 extra.png
render about.svg 80 161 about.png
