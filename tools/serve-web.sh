#!/usr/bin/env bash
# Serves the browser build on this machine: builds it first when it is missing, then runs Python's
# http.server over build/web on 127.0.0.1 and prints the address to open. Usage: tools/serve-web.sh [PORT]
set -euo pipefail
cd "$(dirname "$0")/.."

port=${1:-8080}
if [ ! -f build/web/doz-engine.wasm ] || [ ! -f build/web/index.html ]; then
    tools/install-deps.sh
    cmake --preset web
    cmake --build --preset web
fi
echo "doz-engine in the browser: http://127.0.0.1:$port/"
echo "  a moment, paused:     http://127.0.0.1:$port/?at=70&paused"
echo "(Ctrl+C stops the server)"
exec python3 -m http.server "$port" --bind 127.0.0.1 --directory build/web
