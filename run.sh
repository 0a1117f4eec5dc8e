#!/usr/bin/env bash
# Installs what is missing, builds and stages build/Quillobrand/ and starts Quillobrand.
# ./run.sh --demo does the same, but points the program at the offline sample site (tools/sample-site) on a free
# local port for as long as it runs; build/Quillobrand/settings.ini is put back as it was afterwards.
# For checking the demo plumbing without the lead's build folder (not for normal use):
#   QB_SKIP_BUILD=1      skip ./tools/build.sh
#   QB_STAGE=DIR         use DIR instead of build/Quillobrand for settings.ini (demo only)
#   QB_DEMO_PROGRAM=PATH run PATH instead of DIR/quillobrand (demo only)
set -euo pipefail
cd "$(dirname "$0")"

usage() {
    echo "Usage: $0 [--demo]" >&2
}
demo=0
if [ $# -gt 1 ]; then
    usage
    exit 2
elif [ $# -eq 1 ]; then
    case "$1" in
        --demo) demo=1 ;;
        *) usage; exit 2 ;;
    esac
fi

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "No display available: Quillobrand needs a graphical desktop (DISPLAY is not set)." >&2
    exit 1
fi
./tools/install-deps.sh
if [ -n "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && ! xdpyinfo >/dev/null 2>&1; then
    echo "No display available: the X display $DISPLAY can't be reached." >&2
    exit 1
fi
if [ "${QB_SKIP_BUILD:-}" != 1 ]; then
    ./tools/build.sh
fi
if [ "$demo" -eq 0 ]; then
    echo "Starting Quillobrand"
    exec build/Quillobrand/quillobrand
fi

stage="${QB_STAGE:-build/Quillobrand}"
program="${QB_DEMO_PROGRAM:-$stage/quillobrand}"
settings="$stage/settings.ini"
# Kept beside settings.ini rather than in /tmp, so a demo killed hard still leaves the user's file findable.
backup="$stage/settings.ini.before-demo"
mark="; Written by ./run.sh --demo; the previous settings.ini comes back when the demo ends."
if [ ! -d "$stage" ]; then
    echo "No program folder $stage; build first." >&2
    exit 1
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/quillobrand-demo.XXXXXX")
server_pid=""
wrote_settings=0
# shellcheck disable=SC2317 # runs from the trap
stop_demo() {
    if [ -n "$server_pid" ]; then
        kill "$server_pid" 2>/dev/null || true
        for _ in $(seq 20); do
            kill -0 "$server_pid" 2>/dev/null || break
            sleep 0.1
        done
        kill -9 "$server_pid" 2>/dev/null || true
        wait "$server_pid" 2>/dev/null || true
    fi
    if [ "$wrote_settings" -eq 1 ]; then
        if [ -e "$backup" ]; then
            mv -f -- "$backup" "$settings"
        else
            rm -f -- "$settings"
        fi
    fi
    rm -rf -- "$work"
}
trap stop_demo EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

/usr/bin/python3 tools/sample-site/sample_site.py --port-file "$work/port" >/dev/null &
server_pid=$!
port=""
for _ in $(seq 100); do
    if [ -s "$work/port" ]; then
        port=$(cat "$work/port")
        break
    fi
    kill -0 "$server_pid" 2>/dev/null || break
    sleep 0.1
done
if ! [[ "$port" =~ ^[0-9]+$ ]]; then
    echo "The sample site (tools/sample-site/sample_site.py) did not start within 10 seconds." >&2
    exit 1
fi

# A backup left by a demo that was killed is the user's file; the settings.ini beside it is the old demo one.
if [ ! -e "$backup" ] && [ -e "$settings" ] && [ "$(head -n 1 -- "$settings")" != "$mark" ]; then
    cp -p -- "$settings" "$backup"
fi
wrote_settings=1
printf '%s\n[Settings]\nsiteDomain = localhost:%s\nsiteScheme = http\nurlForm = area\nhomePageUrl = http://localhost:%s/\nbannerUrl = http://localhost:%s/banner.html\n' \
    "$mark" "$port" "$port" "$port" >"$work/settings.ini"
mv -f -- "$work/settings.ini" "$settings"

echo "Demo: sample site on http://localhost:$port/"
status=0
"$program" || status=$?
exit "$status"
