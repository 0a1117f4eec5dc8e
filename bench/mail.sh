#!/usr/bin/env bash
# Figures of the mail engine:
#   - base64Encode throughput, composing a message with a 20 MB attachment (time, extra memory) and composing
#     1 MB of text outside ASCII, which goes as quoted-printable;
#   - sending that message through the security library to a scripted TLS peer on this machine that reads and
#     discards it: total time against the floor of one 100 ms wait per reply read.
# Usage: bench/mail.sh   (builds first)
set -euo pipefail
cd "$(dirname "$0")/.."
./tools/install-deps.sh
./tools/build.sh >/dev/null

work=$(mktemp -d)
peer_pid=""
cleanup() {
    [ -n "$peer_pid" ] && kill "$peer_pid" 2>/dev/null && wait "$peer_pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

echo "== Composition"
build/qb_bench_mail "$work"

echo "== Sending a 20 MB attachment"
bash tools/tls-peer/make-certs.sh "$work/certs"
head -c 20000000 /dev/urandom >"$work/page.bin"
r() { printf '{"recv": "line"}, {"send": "%s\\r\\n"}' "$1"; }
printf '[{"send": "220 ready\\r\\n"}, %s, %s, %s, %s, %s, %s, %s, {"recv": "data"}, {"send": "250 ok\\r\\n"}, %s]' \
    "$(r '250 AUTH LOGIN')" "$(r '334 VXNlcm5hbWU6')" "$(r '334 UGFzc3dvcmQ6')" "$(r '235 ok')" "$(r '250 ok')" \
    "$(r '250 ok')" "$(r '354 go')" "$(r '221 bye')" >"$work/script.json"
/usr/bin/python3 tools/tls-peer/scripted_tls.py --port-file "$work/port" --cert "$work/certs/server.pem" \
    --key "$work/certs/server.key" --script "$work/script.json" >/dev/null &
peer_pid=$!
for _ in $(seq 100); do [ -s "$work/port" ] && break; sleep 0.1; done
SSL_CERT_FILE="$work/certs/ca.pem" build/qb_bench_send build/Quillobrand/cryptlib32.so "$(cat "$work/port")" \
    "$work/page.bin" | awk '{ printf "total %.3f s, floor %.3f s (10 replies x 100 ms), over the floor %.3f s\n", $4, $6 * 0.1, $4 - $6 * 0.1 }'
