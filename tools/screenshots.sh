#!/usr/bin/env bash
# Takes the README's picture (docs/screenshot-results.png) and the user guide's main-window picture
# (data/Help/main-window.png) again, from a real run of the program against the sample site under Xvfb.
set -euo pipefail
cd "$(dirname "$0")/.."
./tools/install-deps.sh
./tools/build.sh >/dev/null
cmake --build build --target qb_screenshots >/dev/null

work=$(mktemp -d)
server_pid=""
cleanup() {
    [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null && wait "$server_pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

/usr/bin/python3 tools/sample-site/sample_site.py --port-file "$work/port" --ads 5 >/dev/null &
server_pid=$!
for _ in $(seq 100); do [ -s "$work/port" ] && break; sleep 0.1; done
port=$(cat "$work/port")

# A fresh program folder: the staged one without anybody's own files.
cp -r build/Quillobrand "$work/program"
rm -f "$work/program/Last Search.html" "$work/program/Quillobrand.cfg" "$work/program/savedsearch/"* \
    "$work/program/seen/"*
printf '[Settings]\nsiteDomain=localhost:%s\nsiteScheme=http\nhomePageUrl=http://localhost:%s/\nbannerUrl=http://localhost:%s/banner.html\n' \
    "$port" "$port" "$port" >"$work/program/settings.ini"

QTWEBENGINE_DISABLE_SANDBOX=1 QTWEBENGINE_CHROMIUM_FLAGS=--disable-gpu QT_QPA_PLATFORM=xcb \
    xvfb-run -a -s "-screen 0 1000x770x24 -noreset" \
    build/qb_screenshots "$work/program" docs/screenshot-results.png data/Help/main-window.png
