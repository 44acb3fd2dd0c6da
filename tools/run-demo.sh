#!/usr/bin/env bash
# Builds the Linux-native demo and runs it. Without a display it renders the contact sheet headless
# instead, and says how to make the video.
set -euo pipefail
cd "$(dirname "$0")/.."

tools/install-deps.sh
cmake --preset linux >/dev/null
cmake --build --preset linux

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
    exec build/linux/doz-engine
fi
echo "No display: rendering the contact sheet headless instead."
exec capture/contact-sheet.sh
