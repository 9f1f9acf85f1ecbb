#!/usr/bin/env bash
# Renders the committed PNG icons from the one SVG drawing (needs rsvg-convert from librsvg2-bin);
# run it after changing packaging/icons/vestrum.svg and commit the PNGs, so the build needs no converter.
set -euo pipefail
icons=$(cd "$(dirname "$0")/../packaging/icons" && pwd)
for size in 48 128; do
  rsvg-convert -w "$size" -h "$size" "$icons/vestrum.svg" -o "$icons/vestrum-$size.png"
done
