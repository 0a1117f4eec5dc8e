#!/usr/bin/env bash
# Figures of the reader of today's list of ads: 32,000 ads one per line against the same ads on one line (best of
# 5 reads each, and their ratio; the target is within 2x), and parsing the pictures' JSON-LD of as many ads.
# Usage: bench/adlist.sh [ads]   (builds the benchmark first)
set -euo pipefail
cd "$(dirname "$0")/.."
./tools/install-deps.sh
[ -f build/CMakeCache.txt ] || cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j2 --target qb_bench_adlist >/dev/null
echo "== Reading a list of ${1:-32000} ads"
build/qb_bench_adlist "${1:-32000}"
