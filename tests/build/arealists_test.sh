#!/usr/bin/env bash
# The area lists staged from the site's list of areas: every list counted against areas.tsv, the supplied lists
# left as they are, a list the user edited kept on re-staging.
set -euo pipefail
source_dir=$1
image_dir=$2
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
stage_once() {
    cmake -DSOURCE_DIR="$source_dir" -DSTAGE_DIR="$stage" -DIMAGE_DIR="$image_dir" -P "$source_dir/cmake/Stage.cmake"
}
tsv="$source_dir/data/areas.tsv"

stage_once
cmp -s "$tsv" "$stage/areas.tsv" || fail "areas.tsv not staged byte for byte"
[ "$(head -1 "$tsv")" = "$(printf 'code\tname\tsection\tsubsection')" ] || fail "areas.tsv header"
[ "$(tail -n +2 "$tsv" | wc -l)" -eq 707 ] || fail "areas.tsv does not hold 707 areas"

# Each list as awk makes it from areas.tsv: "LIST<TAB>CODE" in the file's order.
expected=$(awk -F'\t' 'NR > 1 {
    short = $3
    if ($3 == "Asia, Pacific and Middle East") short = "Asia"
    if ($3 == "Latin America and Caribbean") short = "Latin America"
    print short " - " $4 "\t" $1
    if ($3 != "US" && $3 != "Canada") print short "\t" $1
}' "$tsv")
lists=$(cut -f1 <<<"$expected" | sort -u)
[ "$(wc -l <<<"$lists")" -eq 142 ] || fail "expected 142 lists, awk made $(wc -l <<<"$lists")"
while IFS= read -r list; do
    file="$stage/citydata/$list.city"
    [ -f "$file" ] || fail "list $list not made"
    want=$(awk -F'\t' -v l="$list" '$1 == l { printf "%s\r\n", $2 }' <<<"$expected" | od -An -c)
    [ "$(od -An -c <"$file")" = "$want" ] || fail "list $list differs from areas.tsv"
done <<<"$lists"
[ "$(find "$stage/citydata" -name '*.city' | wc -l)" -eq 144 ] || fail "not 142 lists and the two supplied ones"

# Counts of the site's sections as it published them.
count() { tr -d '\r' <"$stage/citydata/$1.city" | grep -c .; }
for row in "Europe 106" "Asia 64" "Latin America 40" "Oceania 16" "Africa 10" "US - California 28" \
           "US - District of Columbia 1" "US - Territories 3" "Canada - Ontario 20" "Europe - Germany 15" \
           "Asia - Japan 8" "Latin America - Mexico 16" "Oceania - Australia 12" "Africa - Egypt 1"; do
    name=${row% *}
    [ "$(count "$name")" -eq "${row##* }" ] || fail "$name holds $(count "$name") codes, not ${row##* }"
done

# The supplied lists stay as they are; all cities is exactly the US and Canada.
cmp -s "$source_dir/data/citydata/all cities.city" "$stage/citydata/all cities.city" || fail "all cities changed"
cmp -s "$source_dir/data/citydata/Major Cities.city" "$stage/citydata/Major Cities.city" || fail "Major Cities changed"
[ "$(tr -d '\r' <"$stage/citydata/all cities.city" | sort)" = \
  "$(awk -F'\t' 'NR > 1 && ($3 == "US" || $3 == "Canada") { print $1 }' "$tsv" | sort)" ] ||
    fail "all cities is not the US and Canada of areas.tsv"

# A list the user edited, and one of their own, survive a re-staging.
printf 'tokyo\r\n' >"$stage/citydata/Asia - Japan.city"
printf 'paris\r\n' >"$stage/citydata/Trips.city"
rm "$stage/citydata/Africa.city"
stage_once
[ "$(cat "$stage/citydata/Asia - Japan.city")" = "$(printf 'tokyo\r\n')" ] || fail "an edited list was replaced"
[ -f "$stage/citydata/Trips.city" ] || fail "the user's own list is gone"
[ "$(count Africa)" -eq 10 ] || fail "a missing list was not made again"
echo "area lists: 142 made from areas.tsv, the user's kept"
