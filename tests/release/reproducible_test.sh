#!/bin/bash
# The release is byte-reproducible: a second checkout of the same commit, in another folder and at another
# time, rebuilds the Windows and Linux executables, and packs them with the rest of the released files into
# archives whose SHA-256 sums are those in dist/SHA256SUMS.
# Usage: reproducible_test.sh SOURCE_DIR
# Exits 77 (skipped) when dist/ is missing, of another commit, or from a working tree with changes.
set -euo pipefail
source=$(cd "$1" && pwd)
cd "$source"
sums=dist/SHA256SUMS
head=$(git rev-parse --short=12 HEAD)
if [ ! -f "$sums" ] || ! grep -q -- "-$head-windows-x64.zip\$" "$sums"; then
    echo "SKIPPED: no dist/ of commit $head (tools/release.sh makes it)"
    exit 77
fi
zip_name=$(awk '/windows-x64.zip$/ {print $2}' "$sums")
tgz_name=$(awk '/linux-x86_64.tar.gz$/ {print $2}' "$sums")
version=${zip_name#doz-engine-}
version=${version%-windows-x64.zip}
epoch=$(git log -1 --format=%ct)

# The second folder: a clone of the commit at another path (of another length), inside the build tree.
second=$source/build/release/second-folder-checkout
rm -rf "$second"
mkdir -p "$second"
git clone -q --shared --no-checkout "$source" "$second/doz"
git -C "$second/doz" checkout -q "$(git rev-parse HEAD)"
cd "$second/doz"
# The decoder's pinned headers as the first build fetched them (no second download; no path is compiled in).
minimp3=$(dirname "$(find "$source/build/release/windows/_deps" -path '*/include/minimp3.h' | head -n1)")
launcher=()
if command -v ccache > /dev/null; then
    # Paths under the base folder are hashed relative to it: the first build's objects serve this one.
    export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$source}
    launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
for preset in windows linux; do
    started=$(date +%s)
    cmake --preset "release-$preset" -DDOZ_SOURCE_DATE_EPOCH="$epoch" -DDOZ_MINIMP3_INCLUDE_DIR="$minimp3" \
        "${launcher[@]}" > "$second/$preset.log" 2>&1 || { tail -30 "$second/$preset.log"; exit 1; }
    cmake --build "build/release/$preset" -j "${DOZ_RELEASE_JOBS:-2}" --target doz-engine >> "$second/$preset.log" 2>&1 \
        || { tail -30 "$second/$preset.log"; exit 1; }
    echo "release-$preset rebuilt in the second folder in $(( $(date +%s) - started )) s"
done

# The other released files, as dist/ holds them, and the two new executables in their place.
mkdir -p "$second/files"
python3 - "$source/dist/$zip_name" "$source/dist/$tgz_name" "$second/files" <<'PY'
import sys, tarfile, zipfile
zipfile.ZipFile(sys.argv[1]).extractall(sys.argv[3] + "/zip")
with tarfile.open(sys.argv[2]) as t:
    t.extractall(sys.argv[3] + "/tgz")
PY
zip_dir=$second/files/zip/doz-engine-$version-windows-x64
tgz_dir=$second/files/tgz/doz-engine-$version-linux-x86_64
cmp build/release/windows/doz-engine.exe "$zip_dir/doz-engine.exe"
cmp build/release/linux/doz-engine "$tgz_dir/doz-engine"
echo "both executables are byte for byte the released ones"
# Executable, as the build leaves them (pack.py gives executables mode 0755; unzipping drops the mode).
install -m 755 build/release/windows/doz-engine.exe "$zip_dir/doz-engine.exe"
install -m 755 build/release/linux/doz-engine "$tgz_dir/doz-engine"
mkdir -p "$second/dist"
python3 tools/release/pack.py zip "$second/dist/$zip_name" "$epoch" "doz-engine-$version-windows-x64" \
    doz-engine.exe="$zip_dir/doz-engine.exe" doz-engine.txt="$zip_dir/doz-engine.txt" \
    doz-engine.png="$zip_dir/doz-engine.png"
entries=()
while IFS= read -r -d '' f; do entries+=("${f#"$tgz_dir"/}=$f"); done < <(find "$tgz_dir" -type f -print0)
python3 tools/release/pack.py tgz "$second/dist/$tgz_name" "$epoch" "doz-engine-$version-linux-x86_64" "${entries[@]}"
cd "$second/dist"
grep -e "$zip_name\$" -e "$tgz_name\$" "$source/$sums" | sha256sum -c -
rm -rf "$second"
