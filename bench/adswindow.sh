#!/usr/bin/env bash
# Figures of the Ads window with one search of 100,000 ads in the store, under Xvfb:
#   - opening the window, list filled and shown (target at most 500 ms);
#   - the longest re-filter of a keystroke, and a re-sort by price (targets at most 100 ms each);
#   - exporting every row as CSV (target at most 1 s);
#   - the memory the open window adds to a program whose browsers are running (target at most +60 MB).
# Usage: bench/adswindow.sh [ads]   (builds first)
ads=${1:-100000}
source "$(dirname "$0")/common.sh"
QTWEBENGINE_CHROMIUM_FLAGS=--disable-gpu xvfb-run -a -s "-screen 0 1280x1024x24" \
    build/qb_bench_adswindow "$work" "$ads"
