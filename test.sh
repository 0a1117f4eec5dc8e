#!/usr/bin/env bash
# Installs what is missing, builds and stages build/Quillobrand/, and runs every test: unit tests, integration
# tests and window tests under Xvfb. Exit status 0 only when all pass.
set -euo pipefail
cd "$(dirname "$0")"
./tools/install-deps.sh
./tools/build.sh

echo "Running the tests ..."
export QTWEBENGINE_DISABLE_SANDBOX=1
export QTWEBENGINE_CHROMIUM_FLAGS="--disable-gpu"
cd build
status=0
# -noreset: Xvfb otherwise resets whenever its last client leaves, and a test connecting
# at that moment fails to open the display.
xvfb-run -a -s "-screen 0 1280x1024x24 -noreset" \
    ctest --parallel "$(nproc)" --timeout 300 --output-on-failure >ctest.log 2>&1 || status=$?
grep -E "^\s*[0-9]+/[0-9]+ Test +#[0-9]+: .*\*\*\*|^The following tests FAILED|^\s+[0-9]+ - " ctest.log || true
grep -E "tests passed|tests failed" ctest.log | tail -n 1
if [ "$status" -ne 0 ]; then
    echo "Details of the failures are in build/ctest.log" >&2
fi
exit "$status"
