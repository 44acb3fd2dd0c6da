#!/bin/sh
# tools/serve-web.sh on an existing web build: it prints the address, and the server there hands out the
# page and the module with the type browsers need to compile it while it downloads. ctest: web.ServeScript.
# Usage: serve_script_test.sh SOURCE_DIR
set -eu
source_dir=$1
[ -f "$source_dir/build/web/doz-engine.wasm" ] || { echo "no web build"; exit 77; }
port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
out=$(mktemp -d)
"$source_dir/tools/serve-web.sh" "$port" > "$out/said" 2>&1 &
server=$!
trap 'kill $server 2>/dev/null; rm -rf "$out"' EXIT
for _ in $(seq 50); do
    python3 - "$port" > "$out/got" 2>/dev/null <<'PY' && break
import sys, urllib.request
base = f"http://127.0.0.1:{sys.argv[1]}/"
page = urllib.request.urlopen(base).read().decode()
module = urllib.request.urlopen(base + "doz-engine.wasm")
print("page links loader", 'src="doz-engine.js"' in page)
print("module type", module.headers["Content-Type"])
PY
    sleep 0.2
done
cat "$out/got"
grep -q "^doz-engine in the browser: http://127.0.0.1:$port/$" "$out/said" || { cat "$out/said"; exit 1; }
grep -q "page links loader True" "$out/got"
grep -q "module type application/wasm" "$out/got"
