#!/bin/bash
# Makes the release from this checkout into dist/: the Windows and Linux archives, the single-file web page,
# SHA256SUMS and release-report.txt, after checking each archive as a party checks an entry. Byte for byte
# the same from any clean checkout of the same commit, in any folder, at any time. Installs what is missing
# first (tools/install-deps.sh).
#
#   tools/release.sh [--allow-dirty]
#
# Exit codes: 0 done; 1 a build, a check or a tool failed (dist/ is left as it was); 2 the working tree has
# changes to tracked files (--allow-dirty releases them anyway, as VERSION-dirty, with no claim of
# reproducibility).
set -euo pipefail

usage() { sed -n '2,11s/^# \{0,1\}//p' "$0"; }
allow_dirty=0
for arg in "$@"; do
    case $arg in
        --allow-dirty) allow_dirty=1 ;;
        -h|--help) usage; exit 0 ;;
        *) echo "tools/release.sh: unknown option $arg" >&2; usage >&2; exit 2 ;;
    esac
done

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
release_tools=$root/tools/release
jobs=${DOZ_RELEASE_JOBS:-2}
# ccache where it is installed: it gives the compiler's own output, and a second checkout under this one
# (the reproducibility test's) finds the objects already made.
if command -v ccache > /dev/null; then
    export CMAKE_C_COMPILER_LAUNCHER=${CMAKE_C_COMPILER_LAUNCHER:-ccache}
    export CMAKE_CXX_COMPILER_LAUNCHER=${CMAKE_CXX_COMPILER_LAUNCHER:-ccache}
    export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$root}
fi
started=$(date +%s)

fail() { echo "tools/release.sh: FAILED: $*" >&2; exit 1; }
say() { echo "[release $(( $(date +%s) - started )) s] $*"; }

# --- Tools: installed where missing, as the run and test commands do (a fresh clone has no browser test
# packages), then every one the builds and the checks need named if still missing, before anything is built.
tools/install-deps.sh || fail "tools/install-deps.sh could not install what the release needs"
missing=()
for tool in git cmake ninja python3 node x86_64-w64-mingw32-g++-posix emcc wine Xvfb xdotool xwininfo import \
            convert chromium unshare readelf objdump sha256sum; do
    command -v "$tool" > /dev/null || missing+=("$tool")
done
[ -d tests/web/node_modules/puppeteer-core ] || missing+=("tests/web/node_modules (cd tests/web && npm ci)")
[ -x programs/page/editor/node_modules/.bin/esbuild ] || missing+=("programs/page/editor/node_modules (cd programs/page/editor && npm ci)")
[ -f /usr/share/doc/fonts-liberation/copyright ] || missing+=("fonts-liberation")
[ ${#missing[@]} -eq 0 ] || fail "missing tools: ${missing[*]} (tools/install-deps.sh installs them)"

# --- What is released: VERSION and the commit, as the executables name them (cmake/Version.cmake). ---
git rev-parse --git-dir > /dev/null 2>&1 || fail "not a git checkout: the release names its commit"
commit=$(git rev-parse --short=12 HEAD)
if [ -n "$(git status --porcelain --untracked-files=no)" ]; then
    if [ $allow_dirty -eq 0 ]; then
        echo "tools/release.sh: the working tree has changes to tracked files; commit them, or release them" \
             "anyway with --allow-dirty (VERSION then says -dirty and the build is not reproducible)" >&2
        git status --short --untracked-files=no >&2
        exit 2
    fi
    commit=$commit-dirty
fi
version=$(head -n1 VERSION | tr -d '[:space:]')-$commit
epoch=$(git log -1 --format=%ct)
export SOURCE_DATE_EPOCH=$epoch
say "doz-engine $version, commit date $(date -u -d "@$epoch" +%Y-%m-%dT%H:%M:%SZ)"

# --- Builds: one folder per release preset; ninja redoes only what changed. ---
build() {
    local preset=$1 dir=build/release/$1
    # Configure when the folder is new or was set up for another commit date.
    if ! grep -qx "DOZ_SOURCE_DATE_EPOCH:STRING=$epoch" "$dir/CMakeCache.txt" 2> /dev/null; then
        cmake --preset "release-$preset" -DDOZ_SOURCE_DATE_EPOCH="$epoch" > "build/release/$preset.configure.log" 2>&1 \
            || { tail -30 "build/release/$preset.configure.log" >&2; fail "configuring release-$preset"; }
    fi
    cmake --build --preset "release-$preset" -j "$jobs" > "build/release/$preset.build.log" 2>&1 \
        || { tail -40 "build/release/$preset.build.log" >&2; fail "building release-$preset"; }
    say "built release-$preset"
}
mkdir -p build/release
build linux
build windows
build web
for dir in linux windows web; do
    grep -q "PROGRAM_COMMIT\[\] = \"$commit\"" "build/release/$dir/generated/version.cpp" \
        || fail "build/release/$dir names another commit than $commit"
done

linux_exe=build/release/linux/doz-engine
capture=$root/build/release/linux/doz-capture
windows_exe=build/release/windows/doz-engine.exe

# --- Staging: everything is made in a fresh folder, which becomes dist/ only when every check passed. ---
stage=$(mktemp -d "$root/build/release/stage.XXXXXX")
trap 'rm -rf "$stage"' EXIT
files=$stage/files
mkdir -p "$files/lib" "$files/licenses"

glibc=$(objdump -T "$linux_exe" build/release/linux/lib/* | grep -o 'GLIBC_[0-9.]*' | sed 's/GLIBC_//' \
        | sort -uV | tail -n1)
python3 "$release_tools/info_file.py" resources/release.manifest write "$files/doz-engine.txt" --source . \
    --version "$version" --commit "$commit" --epoch "$epoch" --glibc "$glibc" || fail "writing the info file"

# The screenshot: redrawn only when doz-capture (which carries the code, stages and font) or the moment changed.
at=$(python3 "$release_tools/info_file.py" resources/release.manifest key screenshot-at)
size=$(python3 "$release_tools/info_file.py" resources/release.manifest key screenshot-size)
shot_key="$(sha256sum < "$capture" | cut -d' ' -f1) $at $size"
if [ "$(cat build/release/screenshot.key 2> /dev/null)" != "$shot_key" ]; then
    say "drawing the screenshot at $at s, $size"
    "$capture" --at "$at" --size "$size" -o build/release/screenshot.png > build/release/screenshot.log 2>&1 \
        || { cat build/release/screenshot.log >&2; fail "doz-capture screenshot"; }
    echo "$shot_key" > build/release/screenshot.key
fi
cp build/release/screenshot.png "$files/doz-engine.png"

# Licences of what the Linux archive carries: the font, the bundled libraries, those linked in.
{ cat /usr/share/doc/fonts-liberation/copyright; echo; echo "----- /usr/share/common-licenses/GPL-2 -----";
  cat /usr/share/common-licenses/GPL-2; } > "$files/licenses/fonts-liberation.txt"
for package in libsdl2-2.0-0 libsamplerate0 libdecor-0-0 libxss1 libfreetype6 libpng16-16 zlib1g libbrotli1 \
               libbz2-1.0 libstdc++6; do
    [ -f "/usr/share/doc/$package/copyright" ] || fail "no licence file for $package"
    cp "/usr/share/doc/$package/copyright" "$files/licenses/$package.txt"
done
cp build/release/linux/lib/* "$files/lib/"

windows_zip=doz-engine-$version-windows-x64.zip
linux_tgz=doz-engine-$version-linux-x86_64.tar.gz
web_page=doz-engine-$version-web.html
mkdir -p "$stage/dist"
python3 "$release_tools/pack.py" zip "$stage/dist/$windows_zip" "$epoch" "doz-engine-$version-windows-x64" \
    doz-engine.exe="$windows_exe" doz-engine.txt="$files/doz-engine.txt" doz-engine.png="$files/doz-engine.png" \
    || fail "packing $windows_zip"
linux_entries=(doz-engine="$linux_exe" doz-engine.txt="$files/doz-engine.txt" doz-engine.png="$files/doz-engine.png")
for f in "$files"/lib/* "$files"/licenses/*; do linux_entries+=("${f#"$files"/}=$f"); done
python3 "$release_tools/pack.py" tgz "$stage/dist/$linux_tgz" "$epoch" "doz-engine-$version-linux-x86_64" \
    "${linux_entries[@]}" || fail "packing $linux_tgz"
python3 "$release_tools/inline_page.py" build/release/web "$stage/dist/$web_page" || fail "making $web_page"
(cd "$stage/dist" && sha256sum "$windows_zip" "$linux_tgz" "$web_page" > SHA256SUMS)
say "packed: $(cd "$stage/dist" && du -b "$windows_zip" "$linux_tgz" "$web_page" | awk '{printf "%s %s B; ", $2, $1}')"

# --- Checks on the packed files. A result is kept per archive hash: unchanged bytes are not checked twice. ---
checks_dir=build/release/checks
mkdir -p "$checks_dir"
results=()
run_check() {
    local name=$1 file=$2
    shift 2
    local key
    # The same bytes checked by the same check scripts.
    key=$checks_dir/$name-$(tools/release/check_key.sh "$stage/dist/$file" .)
    if [ -f "$key" ]; then
        results+=("$(sed 's/$/ (passed before on these same bytes)/' "$key")")
        say "check $name: passed before on these bytes"
        return
    fi
    say "check $name ..."
    local log=$stage/check-$name.log
    if ! "$@" "$stage/dist/$file" > "$log" 2>&1; then
        cat "$log" >&2
        fail "check $name ($(grep -h '^CHECK FAILED' "$log" | head -3 | tr '\n' ' '))"
    fi
    grep -h '^CHECK PASSED' "$log" > "$key"
    results+=("$(cat "$key")")
}
run_check windows "$windows_zip" python3 "$release_tools/check_windows.py" --epoch "$epoch"
run_check linux "$linux_tgz" python3 "$release_tools/check_linux.py" --capture "$capture"
run_check web "$web_page" env DOZ_CAPTURE="$capture" node "$release_tools/check_web.js"

# --- The report. ---
{
    echo "doz-engine $version"
    echo "commit $(git rev-parse HEAD)$([ "${commit%-dirty}" != "$commit" ] && echo ' with uncommitted changes')"
    echo "date $(date -u -d "@$epoch" +%Y-%m-%dT%H:%M:%SZ) (SOURCE_DATE_EPOCH=$epoch, the commit's date)"
    echo
    echo "Files (bytes, SHA-256):"
    for f in "$windows_zip" "$linux_tgz" "$web_page"; do
        printf '  %-48s %10d  %s\n' "$f" "$(stat -c %s "$stage/dist/$f")" "$(sha256sum < "$stage/dist/$f" | cut -d' ' -f1)"
    done
    echo
    echo "Linux executable: glibc $glibc or later; needs libGL.so.1 and the libraries in lib/"
    echo "Screenshot: doz-capture --at $at --size $size (resources/release.manifest)"
    echo
    echo "Checks, run on the packed files unpacked into a read-only folder:"
    for r in "${results[@]}"; do echo "$r" | sed 's/^/  /'; done
    echo
    if [ "${commit%-dirty}" != "$commit" ]; then
        echo "Reproducibility: NOT claimed: built from a working tree with uncommitted changes."
    else
        echo "Reproducibility: any clean checkout of this commit gives these same bytes (tools/release.sh)."
    fi
    echo "Toolchains: $(gcc --version | head -1); $(x86_64-w64-mingw32-g++-posix --version | head -1);" \
         "$(emcc --version 2> /dev/null | head -1)"
} > "$stage/dist/release-report.txt"

# --- dist/ is replaced whole. ---
rm -rf dist.previous
[ -d dist ] && mv dist dist.previous
mv "$stage/dist" dist
rm -rf dist.previous
say "dist/ written in $(( $(date +%s) - started )) s:"
cat dist/SHA256SUMS
