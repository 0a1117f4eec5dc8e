#!/usr/bin/env bash
# Takes the README's picture (docs/screenshot-results.png), the user guide's main-window picture
# (data/Help/main-window.png), its picture of the ad items of the link menu (data/Help/ad-menu.png), its picture of
# the Ads window (data/Help/ads-window.png) and its pictures of a watch's notification and mail
# (data/Help/watch-notification.png, data/Help/watch-mail.png) again, from a real run of the program against the
# sample site under Xvfb: a private session bus with a real notification service (dunst) on the display, and
# aiosmtpd over TLS as the mail server.
set -euo pipefail
cd "$(dirname "$0")/.."
./tools/install-deps.sh
if ! command -v dunst >/dev/null; then
    sudo_cmd=()
    [ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends dunst >/dev/null
fi
./tools/build.sh >/dev/null
cmake --build build --target qb_screenshots >/dev/null

work=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null; done
    rm -rf "$work"
}
trap cleanup EXIT

wait_for_file() {
    for _ in $(seq 100); do [ -s "$1" ] && return 0; sleep 0.1; done
    echo "$2 did not start" >&2
    exit 1
}

/usr/bin/python3 tools/sample-site/sample_site.py --port-file "$work/port" --ads 5 >/dev/null &
pids+=($!)
wait_for_file "$work/port" "The sample site"
port=$(cat "$work/port")

tools/tls-peer/make-certs.sh "$work/certs"
mkdir -p "$work/maildir"
/usr/bin/python3 tools/smtp-peer/smtp_server.py --port-file "$work/smtp-port" --cert "$work/certs/server.pem" \
    --key "$work/certs/server.key" --maildir "$work/maildir" --user ann --password secret >/dev/null &
pids+=($!)
wait_for_file "$work/smtp-port" "The mail server"

# A fresh program folder: the staged one without anybody's own files.
cp -r build/Quillobrand "$work/program"
rm -f "$work/program/Last Search.html" "$work/program/Quillobrand.cfg" "$work/program/savedsearch/"* \
    "$work/program/seen/"* "$work/program/watch/"* "$work/program/ads.db"*
printf '[Settings]\nsiteDomain=localhost:%s\nsiteScheme=http\nurlForm=area\nhomePageUrl=http://localhost:%s/\nbannerUrl=http://localhost:%s/banner.html\n' \
    "$port" "$port" "$port" >"$work/program/settings.ini"
printf 'Ann\r\nann@example.com\r\nlocalhost\r\nann\r\nsecret\r\n%s\r\n' "$(cat "$work/smtp-port")" \
    >"$work/program/smtp/Ann.smtp"
cat >"$work/dunstrc" <<'DUNST'
[global]
    font = Liberation Sans 11
    width = 380
    origin = top-right
    offset = 20x20
    frame_width = 1
    frame_color = "#8a8a8a"
    padding = 10
    horizontal_padding = 12
    format = "<b>%s</b>\n%b"
    show_indicators = no
[urgency_normal]
    background = "#f7f7f7"
    foreground = "#202020"
    timeout = 0
DUNST

# Runs under the display: the bus, the notification service on it, then the program's pictures.
cat >"$work/under-display.sh" <<'INNER'
set -euo pipefail
work=$1
shift
dbus-daemon --session --nofork --address="unix:path=$work/bus" >/dev/null &
bus_pid=$!
export DBUS_SESSION_BUS_ADDRESS="unix:path=$work/bus"
for _ in $(seq 50); do [ -S "$work/bus" ] && break; sleep 0.1; done
dunst -config "$work/dunstrc" >/dev/null 2>&1 &
dunst_pid=$!
trap 'kill $dunst_pid $bus_pid 2>/dev/null' EXIT
for _ in $(seq 50); do
    dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
        org.freedesktop.DBus.NameHasOwner string:org.freedesktop.Notifications 2>/dev/null | grep -q true && break
    sleep 0.1
done
"$@"
INNER

SSL_CERT_FILE="$work/certs/ca.pem" QTWEBENGINE_DISABLE_SANDBOX=1 QTWEBENGINE_CHROMIUM_FLAGS=--disable-gpu \
    QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1000x770x24 -noreset" \
    bash "$work/under-display.sh" "$work" \
    build/qb_screenshots "$work/program" docs/screenshot-results.png data/Help/main-window.png \
    data/Help/watch-notification.png data/Help/watch-mail.png "$work/maildir"
