#!/usr/bin/env bash
# Start-up time and idle memory of Quillobrand under Xvfb.
#   - start-up: from starting the process to its main window being mapped, median of 5 cold starts;
#   - memory: resident memory of the program and all its browser processes together after 60 s idle, with the
#     home and banner pages unreachable.
# Usage: bench/startup.sh [idle seconds]   (builds first when needed)
set -euo pipefail
cd "$(dirname "$0")/.."
idle_seconds=${1:-60}

if [ -z "${QB_BENCH_INNER:-}" ]; then
    ./tools/install-deps.sh
    ./tools/build.sh >/dev/null
    export QB_BENCH_INNER=1
    exec xvfb-run -a -s "-screen 0 1280x1024x24 -noreset" "$0" "$@"
fi

export QTWEBENGINE_DISABLE_SANDBOX=1
export QTWEBENGINE_CHROMIUM_FLAGS="--disable-gpu"
title="Quillobrand - V1.0.171.1483"
work=$(mktemp -d)
trap 'pkill -KILL -f "$work/" 2>/dev/null || true; rm -rf "$work"' EXIT

prepare_folder() { # a program folder of its own, home and banner on a closed port
    local folder=$1
    mkdir -p "$folder"
    cp -r build/Quillobrand/. "$folder/"
    rm -f "$folder/Quillobrand.cfg" "$folder/Last Search.html"
    printf '[Settings]\nhomePageUrl=http://127.0.0.1:9/\nbannerUrl=http://127.0.0.1:9/banner.php\n' >"$folder/settings.ini"
}

now_ns() { date +%s%N; }

window_mapped() {
    xwininfo -name "$title" 2>/dev/null | grep -q "Map State: IsViewable"
}

process_tree() { # a process and all its descendants, one pid a line
    local child
    echo "$1"
    for child in $(pgrep -P "$1" || true); do
        process_tree "$child"
    done
}

# Sums a /proc field in kB over the process tree: "VmRSS" from status counts a page shared by two processes twice;
# "Pss" from smaps_rollup splits every shared page among its users, so the sum counts each page once.
tree_sum_kb() {
    local pid=$1 file=$2 field=$3 total=0 p value
    for p in $(process_tree "$pid" | sort -u); do
        value=$(awk -v f="$field:" '$1 == f {print $2}' "/proc/$p/$file" 2>/dev/null || true)
        total=$((total + ${value:-0}))
    done
    echo "$total"
}

times=()
for run in 1 2 3 4 5; do
    folder="$work/run$run/Quillobrand"
    prepare_folder "$folder"
    sync
    echo 3 >/proc/sys/vm/drop_caches 2>/dev/null || true # cold, where the machine allows it
    start=$(now_ns)
    TMPDIR="$work/run$run" "$folder/quillobrand" >/dev/null 2>&1 &
    pid=$!
    deadline=$((start + 30000000000))
    until window_mapped; do
        [ "$(now_ns)" -lt "$deadline" ] || { echo "run $run: no window within 30 s" >&2; exit 1; }
        sleep 0.01
    done
    end=$(now_ns)
    times+=($(((end - start) / 1000000)))
    kill -TERM "$pid"
    wait "$pid" 2>/dev/null || true
done
sorted=($(printf '%s\n' "${times[@]}" | sort -n))
echo "start-up to main window shown (ms), 5 runs: ${times[*]}"
echo "start-up median: ${sorted[2]} ms (target <= 1000 ms)"

folder="$work/idle/Quillobrand"
prepare_folder "$folder"
TMPDIR="$work/idle" "$folder/quillobrand" >/dev/null 2>&1 &
pid=$!
until window_mapped; do sleep 0.05; done
sleep "$idle_seconds"
pss_kb=$(tree_sum_kb "$pid" smaps_rollup Pss)
rss_kb=$(tree_sum_kb "$pid" status VmRSS)
processes=$(process_tree "$pid" | sort -u | wc -l)
echo "resident memory after ${idle_seconds} s idle, ${processes} processes together: $((pss_kb / 1024)) MB" \
     "(proportional set size, each page counted once; target <= 300 MB)"
echo "  sum of the processes' own resident sizes, shared pages counted in each: $((rss_kb / 1024)) MB"
kill -TERM "$pid"
wait "$pid" 2>/dev/null || true
