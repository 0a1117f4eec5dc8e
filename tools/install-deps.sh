#!/usr/bin/env bash
# Installs the Debian packages Quillobrand needs to build, run and test.
# Quiet when everything is already there; uses sudo when not run as root.
set -euo pipefail

packages=(
    build-essential cmake pkg-config
    qt6-base-dev qt6-declarative-dev qt6-webengine-dev qt6-qpa-plugins libgl-dev
    libcurl4-openssl-dev libssl-dev openssl
    libgtest-dev googletest
    nlohmann-json3-dev libsqlite3-dev
    xvfb xauth x11-utils xdg-utils shared-mime-info fonts-dejavu-core fonts-liberation2 twm
    python3 python3-aiosmtpd python3-dbus python3-gi dbus
    procps
    desktop-file-utils appstream python3-xlib lintian dpkg-dev
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing Debian packages: ${missing[*]}"
sudo_cmd=()
[ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
export DEBIAN_FRONTEND=noninteractive
if ! "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/tmp/quillobrand-apt.log 2>&1; then
    "${sudo_cmd[@]}" apt-get update -qq >>/tmp/quillobrand-apt.log 2>&1 || true
    if ! "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >>/tmp/quillobrand-apt.log 2>&1; then
        echo "Package installation failed; see /tmp/quillobrand-apt.log" >&2
        tail -n 20 /tmp/quillobrand-apt.log >&2
        exit 1
    fi
fi
