#!/bin/sh
# Runs the release's own check of one archive in dist/ (tools/release/check_*), as tools/release.sh does.
# Usage: archive_check.sh windows|linux|web SOURCE_DIR DOZ_CAPTURE
# Exits 77 (skipped) when dist/ holds no such archive: tools/release.sh makes them.
set -eu
kind=$1 source=$2 capture=$3
case $kind in
    windows) pattern='*-windows-x64.zip' ;;
    linux) pattern='*-linux-x86_64.tar.gz' ;;
    web) pattern='*-web.html' ;;
    *) echo "archive_check.sh: unknown kind $kind"; exit 2 ;;
esac
archive=$(find "$source/dist" -maxdepth 1 -name "$pattern" 2>/dev/null | head -n1)
if [ -z "$archive" ]; then
    echo "SKIPPED: no $pattern in $source/dist (tools/release.sh makes it)"
    exit 77
fi
# tools/release.sh keeps each check's result under the hash of the archive's bytes and of every file the
# checks load (tools/release/check_key.sh, build/release/checks): a check already passed on these same bytes
# by these same scripts is not run again (DOZ_RECHECK=1 runs it anyway).
key=$("$source/tools/release/check_key.sh" "$archive" "$source")
passed=$source/build/release/checks/$kind-$key
if [ -s "$passed" ] && [ -z "${DOZ_RECHECK:-}" ]; then
    echo "$archive: passed in tools/release.sh on these same bytes, with these same check scripts:"
    cat "$passed"
    exit 0
fi
echo "checking $archive"
case $kind in
    windows) exec python3 "$source/tools/release/check_windows.py" "$archive" ;;
    linux) exec python3 "$source/tools/release/check_linux.py" "$archive" --capture "$capture" ;;
    web)
        if [ ! -d "$source/tests/web/node_modules/puppeteer-core" ]; then
            echo "SKIPPED: no browser test packages (cd tests/web && npm ci)"
            exit 77
        fi
        DOZ_CAPTURE=$capture exec node "$source/tools/release/check_web.js" "$archive" ;;
esac
