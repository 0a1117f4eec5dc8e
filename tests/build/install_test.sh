#!/usr/bin/env bash
# The installed program: cmake --install into a temporary prefix, the files where a desktop looks for them, the
# command line, and real starts of the installed program with HOME and the XDG folders in a temporary folder: its
# files go to the data folder and nothing under the prefix changes; the portable marker keeps them beside it.
set -euo pipefail
build=$1
here=$(cd "$(dirname "$0")" && pwd)
title="Quillobrand - V1.0.171.1483"
work=$(mktemp -d)
program_pid=""
# shellcheck disable=SC2317 # runs from the trap
cleanup() {
    [ -n "$program_pid" ] && kill -9 "$program_pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
[ -n "${DISPLAY:-}" ] || fail "needs an X display (the test suite runs under xvfb-run)"

prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null

# Where a Linux desktop looks for each file.
library=$(cd "$prefix" && find lib* -path '*/quillobrand/cryptlib32.so')
[ -n "$library" ] || fail "the security library is not in a private library folder: $(find "$prefix" -name '*.so')"
for file in bin/quillobrand "$library" share/quillobrand/CategoryTree.dat \
            "share/quillobrand/citydata/Major Cities.city" "share/quillobrand/citydata/all cities.city" \
            share/quillobrand/search.bmp share/quillobrand/help.bmp share/quillobrand/about/about.html \
            share/quillobrand/about/logo.bmp share/quillobrand/Help/index.html share/applications/quillobrand.desktop \
            share/metainfo/com.tarnwick.quillobrand.metainfo.xml share/icons/hicolor/scalable/apps/quillobrand.svg \
            share/man/man1/quillobrand.1.gz share/doc/quillobrand/copyright share/doc/quillobrand/changelog.gz; do
    [ -s "$prefix/$file" ] || fail "$file not installed"
done
for size in 48 128 256; do
    png="$prefix/share/icons/hicolor/${size}x${size}/apps/quillobrand.png"
    got=$(/usr/bin/python3 -c 'import struct,sys; d=open(sys.argv[1],"rb").read(24); print("%dx%d" % struct.unpack(">II", d[16:24]) if d[:8]==b"\x89PNG\r\n\x1a\n" else "no PNG")' "$png")
    [ "$got" = "${size}x${size}" ] || fail "icon $png is $got"
done
[ -x "$prefix/bin/quillobrand" ] && [ -x "$prefix/share/quillobrand/Help/Help" ] || fail "programs not executable"
[ -z "$(find "$prefix" -name portable)" ] || fail "a portable marker was installed"
[ -z "$(find "$prefix" -perm /022)" ] || fail "group- or world-writable files: $(find "$prefix" -perm /022)"

desktop=$prefix/share/applications/quillobrand.desktop
report=$(desktop-file-validate "$desktop" 2>&1) || fail "desktop-file-validate: $report"
! grep -qiE "error|warning" <<<"$report" || fail "desktop-file-validate: $report"
appstreamcli validate --no-net "$prefix/share/metainfo/com.tarnwick.quillobrand.metainfo.xml" >"$work/appstream" 2>&1 \
    || fail "appstreamcli: $(cat "$work/appstream")"
grep -qx "Exec=quillobrand" "$desktop" && grep -qx "Icon=quillobrand" "$desktop" || fail "launcher names"

# The command line, with no display needed.
out=$(env -u DISPLAY "$prefix/bin/quillobrand" --version) || fail "--version exit status"
[ "$out" = "Quillobrand 1.0.171.1483" ] || fail "--version printed: $out"
env -u DISPLAY "$prefix/bin/quillobrand" --help >"$work/out" 2>"$work/err" || fail "--help exit status"
head -n 1 "$work/out" | grep -q "^Usage: quillobrand" && [ ! -s "$work/err" ] || fail "--help output"
status=0
env -u DISPLAY "$prefix/bin/quillobrand" --in-tray --frobnicate >"$work/out" 2>"$work/err" || status=$?
[ "$status" -eq 2 ] && [ ! -s "$work/out" ] && grep -q "^Usage: quillobrand" "$work/err" || fail "unknown argument: $status"

# With no home folder there is nowhere to keep the user's files: one line, status 1.
status=0
env -u HOME -u XDG_DATA_HOME "$prefix/bin/quillobrand" >"$work/out" 2>"$work/err" || status=$?
[ "$status" -eq 1 ] && grep -q "no home folder" "$work/err" && [ "$(wc -l <"$work/err")" -eq 1 ] \
    || fail "without a home folder: status $status, $(cat "$work/err")"

# Real starts. Home and banner on a closed loopback port, through a supplied settings.ini: nothing leaves the machine.
printf '[Settings]\nhomePageUrl=http://127.0.0.1:9/\nbannerUrl=http://127.0.0.1:9/banner\n' \
    >"$prefix/share/quillobrand/settings.ini"
home=$work/home
data=$home/.local/share/quillobrand
mkdir -p "$home"
export HOME=$home XDG_CONFIG_HOME=$home/.config XDG_CACHE_HOME=$home/.cache
unset XDG_DATA_HOME
export QT_QPA_PLATFORM=xcb
# A temporary folder of its own: the single-instance socket lies there, apart from any other Quillobrand running.
export TMPDIR=$work/tmp
mkdir -p "$TMPDIR"

window() { /usr/bin/python3 "$here/x11_window.py" "$1" "$program_pid" "$title"; }
window_shown() { window shown 2>/dev/null; }
start_program() { # the program file; waits (bounded) until its window is shown
    "$1" >>"$work/program.log" 2>&1 &
    program_pid=$!
    for _ in $(seq 600); do
        window_shown >/dev/null && return 0
        kill -0 "$program_pid" 2>/dev/null || fail "$1 ended at start: $(cat "$work/program.log")"
        sleep 0.1
    done
    fail "$1 showed no window within 60 s"
}
wait_end() { # waits (bounded) for the program to end; its exit status
    for _ in $(seq 300); do
        kill -0 "$program_pid" 2>/dev/null || break
        sleep 0.1
    done
    kill -0 "$program_pid" 2>/dev/null && { kill -9 "$program_pid"; echo "the program did not end within 30 s" >&2; }
    local status=0
    wait "$program_pid" || status=$?
    program_pid=""
    return "$status"
}
close_program() { # asks the window to close until the program ends (bounded); its exit status
    # The browser engine may make the top-level window anew once its first page comes, and a request sent to the
    # window it replaced is lost: so the request goes again every two seconds to the window there is.
    for _ in $(seq 15); do
        kill -0 "$program_pid" 2>/dev/null || break
        window close 2>/dev/null || true
        for _ in $(seq 20); do
            kill -0 "$program_pid" 2>/dev/null || break
            sleep 0.1
        done
    done
    wait_end
}
prefix_state() { find "$prefix" -printf '%p %s %m %T@\n' | sort; }
before=$(prefix_state)

start_program "$prefix/bin/quillobrand"
[ "$(window_shown)" = "quillobrand Quillobrand" ] || fail "WM_CLASS $(window_shown) does not match StartupWMClass"
grep -qx "StartupWMClass=Quillobrand" "$desktop" || fail "StartupWMClass"
expected=$'citydata\nsavedpages\nsavedsearch\nseen\nsent\nsmtp\nwatch'
# Besides the folders, only the ad store, which the start-up's housekeeping opens.
[ "$(ls "$data" | grep -v '^ads\.db\(-wal\|-shm\)\?$')" = "$expected" ] || fail "the first start made: $(ls "$data")"
[ -z "$(find "$data" ! -type d ! -name "ads.db*")" ] || fail "supplied files were copied: $(find "$data" ! -type d)"
modes=$(find "$home/.local" -type d -printf '%m\n' | sort -u)
[ "$modes" = 700 ] || fail "the user's folders are not owner-only: $modes"
timeout 30 "$prefix/bin/quillobrand" || fail "a second start did not end at once"
kill "$program_pid" # log-off: ends at once, saving nothing
wait_end || true

# Tray mode Never and a 13-byte configuration: a close ends the program, which writes exactly 12 bytes back.
printf '\0\0\0\0\0\0\0\0\1\0\0\0\7' >"$data/Quillobrand.cfg"
start_program "$prefix/bin/quillobrand"
close_program || fail "the orderly exit's status"
[ "$(stat -c %s "$data/Quillobrand.cfg")" = 12 ] || fail "the configuration was not written in the data folder"
[ "$(prefix_state)" = "$before" ] || fail "written under the prefix: $(diff <(echo "$before") <(prefix_state))"
strays=$(find "$home" -mindepth 1 -path "$data" -prune -o -path "$XDG_CACHE_HOME" -prune -o -type f -print)
[ -z "$strays" ] || fail "files outside the data folder: $strays"

# Portable: the same program with the marker beside it keeps its files there and makes nothing in the home folder.
portable=$work/Quillobrand
mkdir -p "$portable"
cp -r "$prefix/share/quillobrand/." "$portable/"
cp "$prefix/bin/quillobrand" "$prefix/$library" "$portable/"
touch "$portable/portable"
printf '\0\0\0\0\0\0\0\0\1\0\0\0\7' >"$portable/Quillobrand.cfg"
rm -rf "$home"
mkdir -p "$home"
start_program "$portable/quillobrand"
close_program || fail "the portable program's exit status"
[ "$(stat -c %s "$portable/Quillobrand.cfg")" = 12 ] || fail "the portable configuration was not written beside it"
[ ! -e "$data" ] || fail "the portable program made $data"
echo "installed and portable programs keep their files where they belong"
