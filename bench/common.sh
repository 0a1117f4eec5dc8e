# Sourced by the benchmark scripts: installs and builds, makes a work folder that goes at the end together with
# every server started here, and starts the sample site.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[1]}")/.."
./tools/install-deps.sh
./tools/build.sh >/dev/null

work=$(mktemp -d)
server_pids=()
cleanup() {
    for pid in "${server_pids[@]}"; do
        kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
    done
    rm -rf "$work"
}
trap cleanup EXIT

# start_sample_site NAME [ARG...]: the sample site with these arguments on a free port; sets site_domain to
# "localhost:PORT". NAME keeps the port files of several sites apart.
start_sample_site() {
    local port_file="$work/$1.port"
    shift
    /usr/bin/python3 tools/sample-site/sample_site.py --port-file "$port_file" "$@" >/dev/null &
    server_pids+=($!)
    for _ in $(seq 100); do
        [ -s "$port_file" ] && break
        sleep 0.1
    done
    if [ ! -s "$port_file" ]; then
        echo "The sample site did not start within 10 seconds." >&2
        exit 1
    fi
    site_domain="localhost:$(cat "$port_file")"
}
