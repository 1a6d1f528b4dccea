#!/usr/bin/env bash
# bench.sh [--quick]: builds the benchmarks (Release, build/bench) and runs them all,
# printing their figures. --quick shortens the long ones (end to end 5 s per rate
# instead of 60 s, memory over 3 instead of 30 minutes of run time, a tenth of the
# rows for browsing and export, 5 instead of 5 and 50 million rows for zooming out, an hour
# instead of a day of the write-ahead journal).
# Figures are only printed, never checked. The zoom-out runs are filled once and kept in
# build/bench/bench/zoomcache (about 14 GB for the full set).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh libbenchmark-dev
quick=()
[[ "${1:-}" == "--quick" ]] && quick=(--quick)

scripts/build.sh build/bench -DCMAKE_BUILD_TYPE=Release -DTELVANE_BUILD_BENCH=ON -DTELVANE_BUILD_TESTS=OFF
root="$PWD"
bin="$root/build/bench/bench"
export QT_QPA_PLATFORM=offscreen
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

echo "== cutting and decoding (bytes in memory)"
"$bin/bench_frames" --benchmark_repetitions=5 --benchmark_report_aggregates_only=true \
    --benchmark_counters_tabular=true 2>/dev/null
echo "== live plot"
"$bin/bench_plot" "${quick[@]}" 2>/dev/null
echo "== pipeline"
"$bin/bench_pipeline" "${quick[@]}" 2>/dev/null
echo "== browsing and CSV export"
"$bin/bench_storage" "${quick[@]}" 2>/dev/null
echo "== write-ahead journal over a day with a reader"
"$bin/bench_wal" "${quick[@]}" 2>/dev/null
echo "== statistics and CSV read-in"
if ((${#quick[@]})); then
    "$bin/bench_statistics" --rows=1000000 2>/dev/null
else
    "$bin/bench_statistics" --rows=50000000 2>/dev/null
    "$bin/bench_statistics" --rows=5000000 --channels=16 2>/dev/null
fi
echo "== recorder: 30 s of one channel at 5000 points/s sent 128 times faster, one core busy"
"$root/bench/recordburst.sh" "$root/build/bench" 128 3 || true
echo "== window: idle CPU"
"$bin/bench_window" idle 2>/dev/null
echo "== window: GUI stalls around a run"
"$bin/bench_window" stalls "${quick[@]}" 2>/dev/null
echo "== window: start-up"
"$bin/bench_window" startup 2>/dev/null
echo "== window: live replot"
"$bin/bench_window" replot "${quick[@]}" 2>/dev/null
echo "== zooming out over long runs"
"$bin/bench_zoom" "${quick[@]}" 2>/dev/null
echo "== window: memory"
"$bin/bench_window" memory "${quick[@]}" 2>/dev/null
