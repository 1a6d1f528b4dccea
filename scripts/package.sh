#!/usr/bin/env bash
# package.sh: builds the Debian package telvane_<version>_<arch>.deb in the top folder
# (a Release build in build/release, the one scripts/run.sh makes) and checks it with
# lintian, failing on any error or warning. Installs what is missing first, dpkg-shlibdeps
# among it, which finds the package's dependencies.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh dpkg-dev file lintian
scripts/build.sh build/release -DCMAKE_BUILD_TYPE=Release -DTELVANE_BUILD_TESTS=OFF

release="$PWD/build/release"
rm -f "$release"/telvane_*.deb
(cd "$release" && cpack -G DEB >/dev/null)
packages=("$release"/telvane_*.deb)
if ((${#packages[@]} != 1)) || [[ ! -f "${packages[0]}" ]]; then
    echo "cpack made no single telvane_*.deb in $release" >&2
    exit 1
fi
package=$(basename "${packages[0]}")
rm -f telvane_*.deb
mv "${packages[0]}" "$package"
dpkg-deb --field "$package" Package Version Architecture Depends
# Tags lintian only shows as information (hardening flags, .comment sections) do not fail.
if ! lintian --fail-on error,warning "$package"; then
    echo "lintian refuses $package" >&2
    exit 1
fi
echo "Package: $PWD/$package"
echo "Install it with: apt-get install ./$package   (remove it with: dpkg -r telvane)"
