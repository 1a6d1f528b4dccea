#!/usr/bin/env bash
# Installs what is missing, builds Telvane with its tests and runs them twice:
# once in a plain build, once under AddressSanitizer + UndefinedBehaviorSanitizer.
# Then runs the threaded tests under ThreadSanitizer and fuzzes the protocol
# code for a minute per target from the committed starting corpus.
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

echo "== build and test the threaded parts (ThreadSanitizer)"
tsan_tests=(
    tst_boundedqueue tst_dataqueues tst_workerthreads tst_sampledatabaseconcurrency
    tst_voltageplotlive tst_voltageplotbrowse tst_serialmanager tst_logmanager
)
if [[ ! -f build/tsan/CMakeCache.txt ]]; then
    cmake -S . -B build/tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTELVANE_TSAN=ON >/dev/null
fi
cmake --build build/tsan --parallel "$jobs" --target "${tsan_tests[@]}"
tsan_regex="^($(IFS='|'; echo "${tsan_tests[*]}"))\$"
TSAN_OPTIONS="suppressions=$PWD/tests/tsan.supp:second_deadlock_stack=1:history_size=4" \
    ctest --test-dir build/tsan --output-on-failure --parallel "$jobs" -R "$tsan_regex"

echo "== fuzz the frame cutter, the status reply and the slot decoding (libFuzzer, 60 s each)"
if [[ ! -f build/fuzz/CMakeCache.txt ]]; then
    CC=clang-14 CXX=clang++-14 cmake -S . -B build/fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DTELVANE_FUZZ=ON -DTELVANE_BUILD_TESTS=OFF >/dev/null
fi
cmake --build build/fuzz --parallel "$jobs" --target fuzz_targets
mkdir -p build/fuzz/findings
for target in fuzz_framecutter fuzz_statusreply fuzz_slotmillivolts; do
    # New inputs go to the build's own corpus; the committed starting inputs are only read.
    mkdir -p "build/fuzz/corpus/$target"
    log="build/fuzz/findings/$target.log"
    if ! "build/fuzz/fuzz/$target" -max_total_time=60 -print_final_stats=1 \
        -artifact_prefix="build/fuzz/findings/$target-" \
        "build/fuzz/corpus/$target" "fuzz/corpus/$target" >"$log" 2>&1; then
        tail -n 60 "$log"
        echo "$target: finding saved under build/fuzz/findings/"
        exit 1
    fi
    grep -E '^(Done|stat::number_of_executed_units|stat::peak_rss_mb)' "$log" | sed "s/^/$target: /"
done

echo "== faults: a 2-minute soak at the fastest class, more lost ports and killed runs"
# The suites above run these briefly; here longer, on the plain build (about 3 minutes).
# Each run's full output is kept; a failure prints it. (A subshell under || would
# ignore set -e, so every step is checked explicitly.)
fault_dir=build/release-tests/tests/faults
run_fault_test() {
    local name="$1"
    shift
    if ! (cd "$fault_dir" && env "$@" "./$name" >"$name.long.log" 2>&1); then
        grep -E '^(FAIL|   |QINFO|Totals)' "$fault_dir/$name.long.log" | tail -n 60 || true
        echo "fault stage failed: $name"
        exit 1
    fi
    grep -E '^(QINFO|Totals)' "$fault_dir/$name.long.log"
}
run_fault_test tst_soak TELVANE_SOAK_RUN_SECONDS=480 TELVANE_SOAK_SPEED=4
run_fault_test tst_lostport TELVANE_LOST_PORT_MOMENTS=24
run_fault_test tst_killedrun TELVANE_KILL_MOMENTS=8
