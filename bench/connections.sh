#!/usr/bin/env bash
# What asking the site's own address saves. The sample site adds 20 ms to each new connection and to each answer,
# for a real network's round trips; its city hosts redirect to the www host, as the real site's do.
# Over 100 cities: the run's downloads of the site's own addresses (one handle for the run) against curl asking the
# same addresses in one process (connections reused), and against curl asking the cities' hosts and following
# their redirects. The run's downloads of the cities' hosts (urlForm=city) for comparison.
# Usage: bench/connections.sh [cities]   (builds first)
cities=${1:-100}
source "$(dirname "$0")/common.sh"
start_sample_site site --canonical --delay-ms 20 --ads 120
domain=$site_domain

: >"$work/area.cfg"
: >"$work/city.cfg"
for i in $(seq "$cities"); do
    printf 'url = "http://www.%s/search/area/city%d?cat=sss&query=bench+words"\noutput = "%s/c.html"\n' \
        "$domain" "$i" "$work" >>"$work/area.cfg"
    printf 'url = "http://city%d.%s/search/sss?query=bench+words&srchType=A&minAsk=&maxAsk="\noutput = "%s/c.html"\n' \
        "$i" "$domain" "$work" >>"$work/city.cfg"
done
seconds() { # COMMAND...: the wall time it takes
    local start end
    start=$(date +%s.%N)
    "$@"
    end=$(date +%s.%N)
    awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f", b - a }'
}
build/qb_bench_run downloads "$domain" 3 "$work" shared >/dev/null # warm-up
curl_area=$(seconds curl -s -K "$work/area.cfg")
curl_city=$(seconds curl -s -L -K "$work/city.cfg")
run_area=$(build/qb_bench_run downloads "$domain" "$cities" "$work" shared area | awk '{print $4}')
run_city=$(build/qb_bench_run downloads "$domain" "$cities" "$work" shared city | awk '{print $4}')
awk -v ca="$curl_area" -v cc="$curl_city" -v ra="$run_area" -v rc="$run_city" -v n="$cities" 'BEGIN {
    printf "cities                                      %d (20 ms a connection and an answer)\n", n;
    printf "curl -K, the site'"'"'s own addresses            %.3f s\n", ca;
    printf "the run, the site'"'"'s own addresses            %.3f s  (%+.1f %% against curl; target within 10 %%)\n", ra, (ra - ca) / ca * 100;
    printf "curl -L -K, the cities'"'"' hosts, redirected     %.3f s  (the run takes %.1fx less)\n", cc, cc / ra;
    printf "the run, the cities'"'"' hosts (urlForm=city)    %.3f s\n", rc;
}'
