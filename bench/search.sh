#!/usr/bin/env bash
# Figures of the search run and the search builder, against the sample site on a free loopback port.
#   - run speed, old shape: 400 cities, pages of 300 lines with the ad line on line 40; the run's time against its
#     floor (the 1 ms pauses the scan makes plus the same 400 downloads fetched back to back by curl);
#   - run speed, today's shape: 400 cities, the list of 120 ads (11 lines each) starting on line 280; against its
#     floor as above; the same run with the ad store (a first run, then one with a memory of 50,000 ids: NEW marks)
#     against the run without a store; the store's size after the run, in bytes per ad;
#   - memory: peak resident memory of a run over one 158 MB page of 5 MB lines (marker after 100 MB), and over one
#     100 MB page of today's shape (400,000 ads; one ad per line, all on one line, and with a 100 MB JSON-LD line
#     in its head), against a run over one page of about 20 KB;
#   - builder: opening the window with the full category file and 700 city codes, median of 5.
# Usage: bench/search.sh [cities]   (builds first)
cities=${1:-400}
source "$(dirname "$0")/common.sh"
start_sample_site old --lines 300 --marker-line 40 --ads 100 --old-shape all
domain=$site_domain

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

echo "== Run over $cities cities in today's shape (list on line 280, 120 ads of 11 lines)"
start_sample_site today --list-line 280 --ads 120 --distinct-titles
domain2=$site_domain
mkdir -p "$work/today"
build/qb_bench_run speed "$domain2" 5 "$work/today" >/dev/null
# Without a store the run can neither read nor write a memory: nothing is marked, nothing kept.
plain_seconds=$(build/qb_bench_run speed "$domain2" "$cities" "$work/today" nostore | awk '{print $4}')
page2=$(curl -s "http://city1.$domain2/search/sss?query=bench+words&srchType=A&minAsk=&maxAsk=")
page2_bytes=$(printf '%s' "$page2" | wc -c)
page2_lines=$(printf '%s\n' "$page2" | wc -l)
sed "s/$domain/$domain2/" "$work/curl.cfg" >"$work/curl2.cfg"
curl_start=$(date +%s.%N)
curl -s -K "$work/curl2.cfg"
curl_end=$(date +%s.%N)
awk -v run="$plain_seconds" -v c0="$curl_start" -v c1="$curl_end" -v n="$cities" -v bytes="$page2_bytes" \
    -v lines="$page2_lines" 'BEGIN {
    downloads = c1 - c0; pauses = n * 280 / 1000; floor = downloads + pauses;
    printf "page size            %d bytes, %d lines\n", bytes, lines;
    printf "run                  %.3f s\n", run;
    printf "floor                %.3f s (pauses %.3f s + curl back to back %.3f s)\n", floor, pauses, downloads;
    printf "over the floor       %.2f %%\n", (run - floor) / floor * 100;
    printf "own time per city    %.0f us\n", (run - floor) / n * 1e6;
    unpaced = (lines < 2000 ? lines : 2000);
    printf "without the list line ending the scan, the pauses alone would be %.1f s (%d a page)\n", \
        n * unpaced / 1000 + downloads, unpaced;
}'
# A memory of 50,000 ids: this run's ads but every tenth (those come out NEW), topped up with ids of other ads.
stored=$(build/qb_bench_run speed "$domain2" "$cities" "$work/today")
stored_seconds=$(echo "$stored" | awk '{print $4}')
store_bytes=$(echo "$stored" | awk '{print $6}')
store_ads=$(echo "$stored" | awk '{print $8}')
/usr/bin/python3 - "$work/today/Last Search.html" "$work/today/memory" <<'PY'
import re, sys
page = open(sys.argv[1], newline="").read()
ad = re.compile(r'<p class="ad">(?:<img [^>]*> )?<a href="[^"]*/([^/"]+?)(?:\.html)?">')
cities = {}
for block in page.split("<h2>")[1:]:
    city = re.match(r"<a href=[^>]*>([^<]+)</a>", block).group(1).lower()
    cities[city] = sorted(set(m.group(1) for m in ad.finditer(block)))
total = sum(len(ids) for ids in cities.values())
kept = {city: [i for n, i in enumerate(ids) if n % 10] for city, ids in cities.items()}
others = 50000 - sum(len(ids) for ids in kept.values())
kept["other"] = ["other%017d" % n for n in range(others)]
with open(sys.argv[2], "w", newline="") as out:
    for city in sorted(kept):
        out.write("[%s]\r\n" % city + "".join(i + "\r\n" for i in sorted(kept[city])))
print("memory               %d ids (%d of this run's %d ads left out)"
      % (sum(len(ids) for ids in kept.values()), total - sum(len(kept[c]) for c in cities), total))
PY
marked_seconds=$(build/qb_bench_run speed "$domain2" "$cities" "$work/today" "$work/today/memory" | awk '{print $4}')
new_marks=$(grep -o '<b>NEW</b>' "$work/today/Last Search.html" | wc -l)
awk -v a="$plain_seconds" -v s="$stored_seconds" -v b="$marked_seconds" -v marks="$new_marks" \
    -v bytes="$store_bytes" -v ads="$store_ads" 'BEGIN {
    printf "without a store      %.3f s\n", a;
    printf "with the store       %.3f s, %+.2f %% (first run: every ad written; target within 2 %%)\n", s, (s - a) / a * 100;
    printf "with store + memory  %.3f s, %+.2f %% (%d ads marked NEW; target within 2 %%)\n", b, (b - a) / a * 100, marks;
    printf "store size           %d bytes for %d ads: %.0f bytes an ad, indexes included (target at most 400)\n", \
        bytes, ads, bytes / ads;
}'

for ids in 10000 50000; do
    build/qb_bench_run store "$ids" "$work" | awk '{printf "reading a memory     %d ids: %.2f ms\n", $2, $4}'
done

echo "== Peak memory"
small=$(build/qb_bench_run memory "$domain" small "$work/run" | awk '{print $2}')
huge=$(build/qb_bench_run memory "$domain" huge "$work/run" | awk '{print $2}')
huge_bytes=$(curl -s -o /dev/null -w '%{size_download}' "http://huge.$domain/search/sss?query=x")
# With the ad store, as in the program folder: the run reads all 400,000 ads and keeps the city's first 5,000. Each
# page starts from a fresh store, so that no run carries the memory of the one before.
peak_with_memory() {
    build/qb_bench_run memory "$domain2" "$1" "$work/run" | awk '{print $2}'
}
list=$(peak_with_memory hugelist)
list_bytes=$(curl -s -o /dev/null -w '%{size_download}' "http://hugelist.$domain2/search/sss?query=x")
line=$(peak_with_memory hugelistline)
pictures=$(peak_with_memory hugepictures)
pictures_bytes=$(curl -s -o /dev/null -w '%{size_download}' "http://hugepictures.$domain2/search/sss?query=x")
awk -v s="$small" -v h="$huge" -v hb="$huge_bytes" -v sb="$page_bytes" -v l="$list" -v lb="$list_bytes" \
    -v o="$line" -v p="$pictures" -v pb="$pictures_bytes" 'BEGIN {
    printf "page of %d bytes     peak %.1f MB\n", sb, s / 1024;
    printf "page of %d bytes peak %.1f MB, %.1f MB more (target at most 32 MB)\n", hb, h / 1024, (h - s) / 1024;
    printf "today'"'"'s shape, %d bytes peak %.1f MB, %.1f MB more (target at most 32 MB)\n", lb, l / 1024, (l - s) / 1024;
    printf "the same ads on one line         peak %.1f MB, %.1f MB more (target at most 32 MB)\n", o / 1024, (o - s) / 1024;
    printf "with a JSON-LD line, %d bytes peak %.1f MB, %.1f MB more (target at most 32 MB)\n", pb, p / 1024, (p - s) / 1024;
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
