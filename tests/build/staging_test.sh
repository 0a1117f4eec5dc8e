#!/usr/bin/env bash
# Re-staging into a used program folder refreshes the supplied files and never touches the user's own.
set -euo pipefail
source_dir=$1
image_dir=$2
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT

stage_once() {
    cmake -DSOURCE_DIR="$source_dir" -DSTAGE_DIR="$stage" -DIMAGE_DIR="$image_dir" -P "$source_dir/cmake/Stage.cmake"
}
fail() { echo "FAIL: $*" >&2; exit 1; }

stage_once
for folder in citydata savedsearch savedpages smtp sent seen watch about Help; do
    [ -d "$stage/$folder" ] || fail "folder $folder not staged"
done
for file in CategoryTree.dat back.bmp fwd.bmp search.bmp home2.bmp builder.bmp help.bmp "citydata/all cities.city" \
            "citydata/Major Cities.city" Help/index.html; do
    [ -s "$stage/$file" ] || fail "$file not staged"
done
[ -x "$stage/Help/Help" ] || fail "the help program is not executable"
[ -f "$stage/portable" ] || fail "the staged folder has no portable marker: its files would go to the XDG folders"

# The user works with the program...
printf '\1\0\0\0\0\0\0\0\2\0\0\0' >"$stage/Quillobrand.cfg"
echo "results" >"$stage/Last Search.html"
echo "mine" >"$stage/savedsearch/Cars.search"
echo "page" >"$stage/savedpages/Old.html"
echo "profile" >"$stage/smtp/Work.smtp"
echo "a@b" >"$stage/smtp/email.list"
echo "copy" >"$stage/sent/Hello.html"
printf 'abc\r\n' >"$stage/seen/0123456789abcdef.seen"
printf 'interval=30\r\nlastRun=2024-01-01T00:00:00Z\r\n' >"$stage/watch/Cars.watch"
printf 'boston\r\n' >"$stage/citydata/Major Cities.city"
printf 'east\r\n' >"$stage/citydata/East.city"
# ...and a supplied file goes stale.
echo "stale" >"$stage/CategoryTree.dat"
before=$(cd "$stage" && find . -type f ! -name CategoryTree.dat -print0 | sort -z | xargs -0 md5sum)

stage_once
after=$(cd "$stage" && find . -type f ! -name CategoryTree.dat -print0 | sort -z | xargs -0 md5sum)
[ "$before" = "$after" ] || fail "user files changed by re-staging: $(diff <(echo "$before") <(echo "$after"))"
cmp -s "$stage/CategoryTree.dat" "$source_dir/data/CategoryTree.dat" || fail "supplied file not refreshed"
echo "staging keeps the user's files"
