#!/usr/bin/env bash
# Builds the Release build into build/ and stages build/Quillobrand/. Quiet on success: the compiler's output is
# shown only when the build fails.
set -euo pipefail
cd "$(dirname "$0")/.."
log=build/build.log
mkdir -p build
echo "Configuring and building (Release) into build/ ..."
if ! { cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >"$log" 2>&1 \
       && cmake --build build --parallel "$(nproc)" >>"$log" 2>&1; }; then
    grep -E "error|Error" "$log" | head -n 40 >&2 || true
    echo "Build failed; the whole log is in $log" >&2
    exit 1
fi
echo "Staged build/Quillobrand/"
