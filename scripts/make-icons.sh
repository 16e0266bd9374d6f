#!/usr/bin/env bash
# Renders the program's icon, app/resources/varimark.svg, at the sizes of the hicolor icon
# theme into app/resources/icons/varimark-SIZE.png (rsvg-convert, from librsvg2-bin). Run it
# after editing the SVG and commit the pictures; the packaging test checks they match.
set -euo pipefail
cd "$(dirname "$0")/.."
for size in 16 32 48 64 128 256; do
    rsvg-convert -w "$size" -h "$size" app/resources/varimark.svg \
        -o "app/resources/icons/varimark-$size.png"
done
