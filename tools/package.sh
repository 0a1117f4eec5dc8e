#!/usr/bin/env bash
# Builds the Debian package build/quillobrand_VERSION_amd64.deb from the Release build in build/ (CPack's DEB
# generator; dependencies found from the binaries by dpkg-shlibdeps), then checks it with lintian and prints what
# lintian says. Exit status 0 when the package was made and lintian reports no error.
# Install it with: sudo apt install ./build/quillobrand_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."
./tools/install-deps.sh

./tools/build.sh
rm -f build/quillobrand_*.deb
echo "Packing ..."
if ! (cd build && cpack -G DEB >cpack.log 2>&1); then
    cat build/cpack.log >&2
    exit 1
fi
package=$(ls build/quillobrand_*_amd64.deb)
echo "Built $package"

echo "Checking it with lintian ..."
status=0
lintian --tag-display-limit 0 "$package" >build/lintian.log 2>&1 || status=$?
cat build/lintian.log
if grep -q '^E: ' build/lintian.log || [ "$status" -gt 1 ]; then
    echo "lintian reports errors on $package" >&2
    exit 1
fi
echo "lintian: no errors ($(grep -c '^W: ' build/lintian.log || true) warnings)"
