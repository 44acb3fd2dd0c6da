#!/bin/sh
# Renders the soundtrack with the synthesizer and encodes it into resources/soundtrack.mp3:
# MPEG-1 Layer III, 44,100 Hz, joint stereo, constant 192 kbit/s, no ID3 tag and no Xing/Info frame
# (lame's -t), 5,723 MPEG frames. Then reports the decoded length and the beat onsets the demo will see.
#
# Usage: tools/make-soundtrack.sh [BUILD_DIR]   (default build/linux, configured with the linux preset)
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-"$root/build/linux"}
out="$root/resources/soundtrack.mp3"
expected_bytes=3587970

cmake --build "$build" --target synth_soundtrack soundtrack_report -j2

wav=$(mktemp --suffix=.wav)
mp3=$(mktemp --suffix=.mp3)
trap 'rm -f "$wav" "$mp3"' EXIT

"$build/tools/soundtrack/synth_soundtrack" "$wav"
lame --quiet -m j -b 192 --cbr -q 3 -t "$wav" "$mp3"

bytes=$(wc -c < "$mp3")
if [ "$bytes" -ne "$expected_bytes" ]; then
    echo "make-soundtrack: encoded $bytes bytes, expected $expected_bytes" >&2
    exit 1
fi
cp "$mp3" "$out"
"$build/tools/soundtrack/soundtrack_report" "$out"
