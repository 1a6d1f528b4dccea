#!/usr/bin/env bash
# build.sh <build-dir> [cmake options...]: configures once, then builds incrementally.
set -euo pipefail
cd "$(dirname "$0")/.."
dir="$1"
shift
if [[ ! -f "$dir/CMakeCache.txt" ]]; then
    cmake -S . -B "$dir" "$@" >/dev/null
fi
cmake --build "$dir" --parallel "$(nproc)"
