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
    # the page's sync test: a WebSocket bridge to the test editor's TCP port
    websockify
    # the sync parsers' libFuzzer programs (fuzz/build.sh, bench/sync_fuzz.sh): Debian's clang and its runtime
    clang libclang-rt-14-dev
    # capture jobs: GNU parallel runs the chunks, over ssh (rsync sends and returns them); the tests start
    # their own sshd and one-node Slurm (Debian's services, if started, can be disabled: tests don't use them)
    parallel openssh-client rsync openssh-server munge slurmctld slurmd slurm-client
    # capture jobs' plans: the JSON reader and writer
    nlohmann-json3-dev
    # the browser build and its tests
    emscripten chromium nodejs
    # the release (tools/release.sh): FreeType's decoders as static archives, ELF and PE inspection, the
    # mount namespaces of its checks, the XFixes cursor it reads
    libpng-dev zlib1g-dev libbrotli-dev libbz2-dev binutils util-linux libxfixes3
    # a second checkout's rebuild of the release reuses the first one's compiles
    ccache
)
# npm comes with nodejs builds from outside Debian; Debian's own nodejs needs Debian's npm.
command -v npm >/dev/null 2>&1 || PACKAGES+=(npm)

# The browser tests' packages (puppeteer-core, pngjs) and the page's editor (CodeMirror, and esbuild, which
# bundles it into the browser build), as pinned by their package-lock.json files.
install_web_test_packages() {
    local dir
    for dir in "$(dirname "$0")/../tests/web" "$(dirname "$0")/../programs/page/editor"; do
        if [ ! -d "$dir/node_modules" ] || [ "$dir/package-lock.json" -nt "$dir/node_modules" ]; then
            (cd "$dir" && npm ci --no-audit --no-fund --loglevel=error && touch node_modules)
        fi
    done
}

missing=()
for package in "${PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || missing+=("$package")
done
if [ ${#missing[@]} -eq 0 ]; then
    install_web_test_packages
    exit 0
fi

echo "Installing: ${missing[*]}"
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
$SUDO apt-get update -q
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
install_web_test_packages
