#!/usr/bin/env bash
# Installs what is missing, builds Telvane with its tests and runs them twice:
# once in a plain build, once under AddressSanitizer + UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

export QT_QPA_PLATFORM=offscreen
jobs=$(nproc)

echo "== build and test (RelWithDebInfo)"
scripts/build.sh build/release-tests -DCMAKE_BUILD_TYPE=RelWithDebInfo
ctest --test-dir build/release-tests --output-on-failure --parallel "$jobs"

echo "== build and test (AddressSanitizer + UndefinedBehaviorSanitizer)"
scripts/build.sh build/asan -DCMAKE_BUILD_TYPE=Debug -DTELVANE_SANITIZE=ON
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --test-dir build/asan --output-on-failure --parallel "$jobs"
