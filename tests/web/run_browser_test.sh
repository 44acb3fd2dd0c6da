#!/bin/sh
# Runs one of the browser tests (tests/web/*_test.js) on the web build in headless Chromium. Exits 77 (a
# skip) when the web build or the test's packages are missing: tools/test-all.sh makes both.
# Usage: run_browser_test.sh TEST_FILE
set -eu
here=$(cd "$(dirname "$0")" && pwd)
web_build=${DOZ_WEB_BUILD:-$here/../../build/web}
if [ ! -f "$web_build/doz-engine.wasm" ] || [ ! -f "$web_build/index.html" ]; then
    echo "no web build in $web_build (cmake --preset web && cmake --build --preset web)"
    exit 77
fi
if [ ! -d "$here/node_modules/puppeteer-core" ]; then
    echo "no browser test packages (cd tests/web && npm ci)"
    exit 77
fi
exec node --test "$here/$1"
