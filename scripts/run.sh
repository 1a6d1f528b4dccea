#!/usr/bin/env bash
# Installs what is missing, builds Telvane and starts the window with the
# simulated instrument. Where there is no display it records a short simulated
# multi-channel run with telvane-cli instead and exports it as CSV.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh build/release -DCMAKE_BUILD_TYPE=Release -DTELVANE_BUILD_TESTS=OFF
release="$PWD/build/release"

if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" ]]; then
    echo "No display found (DISPLAY and WAYLAND_DISPLAY are unset): recording a short simulated run with telvane-cli instead."
    mkdir -p "$release/simulated-run"
    cd "$release/simulated-run"
    "$release/recorder/telvane-cli" record --simulate --mode multi --rate 150 --time 5 \
        --v1 1 --v2 -1 --csv simulated-run.csv
    echo "CSV file: $PWD/simulated-run.csv"
    echo "Its run table is in $PWD/telvane-cli.db; list it with: $release/recorder/telvane-cli tables --db $PWD/telvane-cli.db"
    echo "To open the window, run scripts/run.sh in a desktop session (it starts $release/app/telvane --simulate)."
    exit 0
fi
cd "$release"
exec ./app/telvane --simulate "$@"
