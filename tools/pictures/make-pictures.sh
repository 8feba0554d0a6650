#!/usr/bin/env bash
# Makes Bilder/pic2x.jpg, pic5x.jpg, pic6x.jpg (450 x 450 JPEG) and the looping animated
# Bilder/Corvana.gif from our drawings. Usage: tools/pictures/make-pictures.sh [build dir]
set -euo pipefail
here="$(cd "$(dirname "$0")/../.." && pwd)"
build="${1:-$here/build}"
frames=12
cmake --build "$build" --target corvana_make_pictures
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
QT_QPA_PLATFORM=offscreen "$build/bin/corvana_make_pictures" "$work" "$frames"
for pic in pic2x pic5x pic6x; do
  convert "$work/$pic.png" -strip -sampling-factor 4:2:0 -quality 85 "$here/Bilder/$pic.jpg"
done
# One palette for all frames, so that what does not move stays the same pixels and the
# optimiser can leave it out of the later frames; 100 ms a frame, looping for ever.
convert "$work"/busy-*.png +append -dither None -colors 48 -unique-colors "$work/palette.png"
convert -delay 10 -loop 0 "$work"/busy-*.png -strip -dither None -remap "$work/palette.png" \
  -layers Optimize "$here/Bilder/Corvana.gif"
ls -l "$here"/Bilder/*.jpg "$here"/Bilder/Corvana.gif
