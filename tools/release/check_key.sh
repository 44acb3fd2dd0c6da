#!/bin/sh
# Prints the key a release check's pass is kept under: the hash of the archive's bytes and of every file the
# checks load (their scripts, the end-to-end harness they import, the browser harness and its pinned
# packages), so that a pass is never shown for bytes or checks that changed since.
# Usage: check_key.sh ARCHIVE SOURCE_DIR
set -eu
archive=$1 source=$2
cat "$archive" "$source"/tools/release/*.py "$source"/tools/release/*.js "$source"/tests/e2e/*.py \
    "$source"/tests/web/harness.js "$source"/tests/web/package-lock.json | sha256sum | cut -c1-64
