#!/usr/bin/env bash
# Figures of the search run and the search builder, against the sample site on a free loopback port.
#   - run speed: 400 cities, pages of 300 lines with the ad line on line 40; the run's time against its floor
#     (the 1 ms pauses the scan makes plus the same 400 downloads fetched back to back by curl);
#   - memory: peak resident memory of a run over one 158 MB page of 5 MB lines (marker after 100 MB) against a
#     run over one page of about 20 KB;
#   - builder: opening the window with the full category file and 700 city codes, median of 5.
# Usage: bench/search.sh [cities]   (builds first)
set -euo pipefail
cd "$(dirname "$0")/.."
cities=${1:-400}
./tools/install-deps.sh
./tools/build.sh >/dev/null

work=$(mktemp -d)
server_pid=""
cleanup() {
    [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null && wait "$server_pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

/usr/bin/python3 tools/sample-site/sample_site.py --port-file "$work/port" --lines 300 --marker-line 40 --ads 100 \
    >/dev/null &
server_pid=$!
for _ in $(seq 100); do [ -s "$work/port" ] && break; sleep 0.1; done
port=$(cat "$work/port")
domain="localhost:$port"

echo "== Run over $cities cities (300 lines, marker on line 40)"
mkdir -p "$work/run"
# Warm-up: the server's first answers and the file cache.
build/qb_bench_run speed "$domain" 5 "$work/run" >/dev/null
run_seconds=$(build/qb_bench_run speed "$domain" "$cities" "$work/run" | awk '{print $4}')
page_bytes=$(curl -s "http://city1.$domain/search/sss?query=bench+words&srchType=A&minAsk=&maxAsk=" | wc -c)
: >"$work/curl.cfg"
for i in $(seq "$cities"); do
    printf 'url = "http://city%d.%s/search/sss?query=bench+words&srchType=A&minAsk=&maxAsk="\noutput = "%s/c.html"\n' \
        "$i" "$domain" "$work" >>"$work/curl.cfg"
done
curl_start=$(date +%s.%N)
curl -s -K "$work/curl.cfg"
curl_end=$(date +%s.%N)
awk -v run="$run_seconds" -v c0="$curl_start" -v c1="$curl_end" -v n="$cities" -v bytes="$page_bytes" 'BEGIN {
    downloads = c1 - c0; pauses = n * 40 / 1000; floor = downloads + pauses;
    printf "page size            %d bytes\n", bytes;
    printf "run                  %.3f s\n", run;
    printf "floor                %.3f s (pauses %.3f s + curl back to back %.3f s)\n", floor, pauses, downloads;
    printf "over the floor       %.2f %%\n", (run - floor) / floor * 100;
    printf "own time per city    %.0f us\n", (run - floor) / n * 1e6;
}'

echo "== Peak memory"
small=$(build/qb_bench_run memory "$domain" small "$work/run" | awk '{print $2}')
huge=$(build/qb_bench_run memory "$domain" huge "$work/run" | awk '{print $2}')
huge_bytes=$(curl -s -o /dev/null -w '%{size_download}' "http://huge.$domain/search/sss?query=x")
awk -v s="$small" -v h="$huge" -v hb="$huge_bytes" -v sb="$page_bytes" 'BEGIN {
    printf "page of %d bytes     peak %.1f MB\n", sb, s / 1024;
    printf "page of %d bytes peak %.1f MB\n", hb, h / 1024;
    printf "difference           %.1f MB (target at most 32 MB)\n", (h - s) / 1024;
}'

echo "== Builder opening (full category file, 700 city codes)"
folder="$work/builder"
mkdir -p "$folder/citydata" "$folder/savedsearch"
cp build/Quillobrand/CategoryTree.dat build/Quillobrand/search.bmp "$folder/"
cp build/Quillobrand/citydata/*.city "$folder/citydata/"
# The supplied codes, topped up to 700.
supplied=$(wc -l <"build/Quillobrand/citydata/all cities.city")
{ cat "build/Quillobrand/citydata/all cities.city"; for i in $(seq $((700 - supplied))); do printf 'city%d\r\n' "$i"; done; } \
    >"$folder/citydata/all cities.city"
echo "category lines: $(wc -l <"$folder/CategoryTree.dat"), city codes: $(wc -l <"$folder/citydata/all cities.city")"
QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1280x1024x24 -noreset" build/qb_bench_builder "$folder"
