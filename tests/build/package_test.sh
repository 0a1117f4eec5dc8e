#!/usr/bin/env bash
# The Debian package of the build: CPack's DEB generator into a temporary folder, its dependencies and files, and
# lintian with no error or warning on it.
set -euo pipefail
build=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

(cd "$build" && cpack -G DEB -B "$work" >"$work/cpack.log" 2>&1) || fail "cpack: $(tail -n 20 "$work/cpack.log")"
package=$(ls "$work"/quillobrand_*_amd64.deb)
depends=$(dpkg-deb -f "$package" Depends)
for needed in qt6-qpa-plugins libqt6webenginecore6-bin libqt6webenginewidgets6 libssl3 xdg-utils; do
    grep -q "\b$needed\b" <<<"$depends" || fail "Depends lacks $needed: $depends"
done
contents=$(dpkg-deb -c "$package")
for file in ./usr/bin/quillobrand ./usr/share/quillobrand/CategoryTree.dat ./usr/share/applications/quillobrand.desktop \
            ./usr/share/icons/hicolor/scalable/apps/quillobrand.svg ./usr/share/doc/quillobrand/copyright; do
    grep -q " $file\$" <<<"$contents" || fail "$file not in the package"
done
! grep -qE " \./(usr/local|home|root|tmp)/| portable\$" <<<"$contents" || fail "stray files in the package"
lintian --tag-display-limit 0 "$package" >"$work/lintian.log" 2>&1 || true
! grep -qE "^[EW]: " "$work/lintian.log" || fail "lintian: $(grep -E "^[EW]: " "$work/lintian.log")"
echo "$(basename "$package"): lintian reports no error and no warning"
