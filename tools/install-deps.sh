#!/usr/bin/env bash
# Installs, with apt-get, whatever the build, the demo and the tests need on Debian 12 and is missing.
set -euo pipefail

PACKAGES=(
    # toolchains and build
    cmake ninja-build g++ pkg-config curl ca-certificates python3
    g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
    # native platform: window, GL, sound, text
    libsdl2-dev libegl-dev libgl-dev libegl-mesa0 libgl1-mesa-dri
    libfreetype-dev libfontconfig-dev fonts-liberation libstb-dev
    # tests, tools and benchmarks
    libgtest-dev glslang-tools lame mpg123 ffmpeg
    wine wine64 xvfb xauth xdotool x11-utils pulseaudio-utils pulseaudio apitrace imagemagick
    openbox
)

missing=()
for package in "${PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
$SUDO apt-get update -q
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
