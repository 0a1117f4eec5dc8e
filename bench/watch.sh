#!/usr/bin/env bash
# Figures of the watched searches, against the sample site on a free loopback port:
#   - responsiveness: during a watch run over 100 cities the window's event loop ticks every 5 ms; its longest
#     stall (target under 50 ms);
#   - cost: the same search run as a watch and from the builder's side (target within 5 %);
#   - idle: ten watched searches, none due, the program's CPU time over 60 s, per hour (target under 1 s an hour).
# Usage: bench/watch.sh [cities]   (builds first)
cities=${1:-100}
source "$(dirname "$0")/common.sh"
start_sample_site site --list-line 280 --ads 120
domain=$site_domain
for mode in stall cost idle; do
    mkdir -p "$work/$mode/seen" "$work/$mode/watch"
    cp build/Quillobrand/CategoryTree.dat "$work/$mode/"
done

echo "== A watch run over $cities cities: the event loop"
QT_QPA_PLATFORM=offscreen build/qb_bench_watch stall "$domain" "$cities" "$work/stall" | awk '{
    printf "run                  %.3f s\nlongest stall        %.2f ms (target under 50 ms)\n", $4, $6 }'
echo "== The same search as a watch and from the builder"
QT_QPA_PLATFORM=offscreen build/qb_bench_watch cost "$domain" "$cities" "$work/cost" | awk '{
    printf "as a watch           %.3f s\nfrom the builder     %.3f s\ndifference           %+.2f %% (target within 5 %%)\n", $4, $6, $8 }'
echo "== Ten watched searches, none due"
QT_QPA_PLATFORM=offscreen build/qb_bench_watch idle "$work/idle" 60 | awk '{
    printf "CPU time             %.4f s in %d s: %.3f s an hour (target under 1 s)\n", $6, $4, $8 }'
