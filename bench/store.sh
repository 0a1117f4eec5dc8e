#!/usr/bin/env bash
# Figures of the ad store on the page shown: how soon a page of 40,000 ads follows a star or a hide from the link
# menu (median of 5, ads in the middle of the page; target within 300 ms). The run's figures with the store (its
# time against a run without one, its size per ad, its peak memory) are in bench/search.sh.
# Usage: bench/store.sh [ads]   (builds first)
ads=${1:-40000}
source "$(dirname "$0")/common.sh"
mkdir -p "$work/page"
echo "== Star and hide on a shown page of $ads ads"
QTWEBENGINE_CHROMIUM_FLAGS="${QTWEBENGINE_CHROMIUM_FLAGS:-} --disable-gpu" QT_QPA_PLATFORM=xcb \
    xvfb-run -a -s "-screen 0 1280x1024x24 -noreset" build/qb_bench_admenu "$work/page" "$ads" |
    awk '{printf "star                 %.1f ms (target within 300 ms)\nhide                 %.1f ms (target within 300 ms)\n", $4, $6}'
