#!/usr/bin/env bash
# Installs what is missing, builds Telvane and starts the window.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh build/release -DCMAKE_BUILD_TYPE=Release -DTELVANE_BUILD_TESTS=OFF

if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" ]]; then
    echo "No display found (DISPLAY and WAYLAND_DISPLAY are unset): start build/release/app/telvane from a desktop session."
    exit 0
fi
cd build/release
exec ./app/telvane "$@"
