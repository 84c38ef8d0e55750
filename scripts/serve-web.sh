#!/bin/sh
# SPDX-License-Identifier: MIT
# Serves the web build (build/web) on 127.0.0.1 and prints its address.
#   scripts/serve-web.sh [PORT [FOLDER]]   (PORT 0: any free one; default 8000)
# Any static file host does as well: the site is plain files, and needs
# only .wasm served as application/wasm and .mjs as JavaScript.
set -e
dir=${2:-"$(dirname "$0")/../build/web"}
cd "$dir" 2>/dev/null && [ -f orvo.wasm ] || { echo "serve-web: no web build in $dir; run: sh scripts/build.sh web" >&2; exit 1; }
exec python3 -u - "${1:-8000}" <<'PY'
import http.server, sys
class Handler(http.server.SimpleHTTPRequestHandler):
    extensions_map = {**http.server.SimpleHTTPRequestHandler.extensions_map,
                      ".wasm": "application/wasm", ".mjs": "text/javascript", ".js": "text/javascript"}
    def log_message(self, *args):
        pass
server = http.server.ThreadingHTTPServer(("127.0.0.1", int(sys.argv[1])), Handler)
print(f"http://127.0.0.1:{server.server_address[1]}/", flush=True)
server.serve_forever()
PY
