#!/usr/bin/env bash
# Takes a screenshot of the X display $DISPLAY into a PNG (for looking at windows under Xvfb).
set -euo pipefail
out=${1:-/tmp/screenshot.png}
xwd -root -silent | python3 "$(dirname "$0")/xwd2png.py" > "$out"
