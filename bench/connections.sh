#!/usr/bin/env bash
# What one download handle for the whole run saves. The sample site redirects every city to one www host, as the
# real site does, and adds 20 ms to each new connection and to each answer, for a real network's round trips.
# Over 100 cities: the run's downloads (one handle for the run) against curl fetching the same URLs in one process
# (connections reused), and the same downloads with a new handle per city.
# Usage: bench/connections.sh [cities]   (builds first)
cities=${1:-100}
source "$(dirname "$0")/common.sh"
start_sample_site site --canonical --delay-ms 20 --ads 120
domain=$site_domain

: >"$work/curl.cfg"
for i in $(seq "$cities"); do
    printf 'url = "http://city%d.%s/search/sss?query=bench+words&srchType=A&minAsk=&maxAsk="\noutput = "%s/c.html"\n' \
        "$i" "$domain" "$work" >>"$work/curl.cfg"
done
build/qb_bench_run downloads "$domain" 3 "$work" shared >/dev/null # warm-up
curl_start=$(date +%s.%N)
curl -s -L -K "$work/curl.cfg"
curl_end=$(date +%s.%N)
shared=$(build/qb_bench_run downloads "$domain" "$cities" "$work" shared | awk '{print $4}')
fresh=$(build/qb_bench_run downloads "$domain" "$cities" "$work" fresh | awk '{print $4}')
awk -v c0="$curl_start" -v c1="$curl_end" -v shared="$shared" -v fresh="$fresh" -v n="$cities" 'BEGIN {
    curl = c1 - c0;
    printf "cities                          %d (each redirected to one www host, 20 ms a connection and an answer)\n", n;
    printf "curl -K, connections reused     %.3f s\n", curl;
    printf "the run, one handle             %.3f s  (%+.1f %% against curl; target within 10 %%)\n", shared, (shared - curl) / curl * 100;
    printf "a new handle per city           %.3f s  (%+.1f %%)\n", fresh, (fresh - curl) / curl * 100;
}'
