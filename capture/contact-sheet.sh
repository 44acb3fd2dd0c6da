#!/bin/sh
# Renders doz-engine's contact sheet with no display (EGL) and prints its path and the command that makes
# the video. Usage: capture/contact-sheet.sh [OUTPUT.png]; builds doz-capture first if needed, or
# takes the one named by DOZ_CAPTURE.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build/linux"
capture=${DOZ_CAPTURE:-"$build/doz-capture"}
output=${1:-"$build/doz-engine-contact-sheet.png"}

if [ ! -x "$capture" ]; then
    (cd "$root" && cmake --preset linux >/dev/null && cmake --build --preset linux --target doz-capture) >&2
fi

sheet=$("$capture" --sheet 8x4 --size 240x135 -o "$output")
echo "Contact sheet (32 stills, one every 4 s): $sheet"
echo "To make the video: $capture --video --size 1280x720 --fps 30 -o $(dirname "$sheet")/doz-engine.mp4"
