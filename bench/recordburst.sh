#!/usr/bin/env bash
# recordburst.sh BUILD_DIR [SPEED] [ROUNDS]: the recorder against the simulator sending 30 s
# of one channel at 5000 points/s SPEED times faster than the instrument (default 128), while
# another process keeps one core busy; prints each round's exit code and stored samples.
set -uo pipefail
build=$(cd "$1" && pwd)
speed="${2:-128}"
rounds="${3:-3}"
python3 -c 'while 1: pass' &
busy=$!
trap 'kill $busy 2>/dev/null' EXIT
for round in $(seq "$rounds"); do
    work=$(mktemp -d)
    (cd "$work" && exec "$build/simulator/telvane-sim" --speed "$speed" --link "$work/port" \
        >sim.out 2>&1) &
    sim=$!
    for _ in $(seq 50); do [[ -e "$work/port" ]] && break; sleep 0.1; done
    (cd "$work" && TELVANE_FREE_SPACE_RESERVE=0 "$build/recorder/telvane-cli" record \
        --port "$work/port" --mode single --rate 5000 --time 30 --vout 1 --db run.db \
        >out.txt 2>err.txt)
    code=$?
    kill "$sim" 2>/dev/null
    wait "$sim" 2>/dev/null
    stored=$(sqlite3 "$work/run.db" "SELECT count(*) FROM $(head -n 1 "$work/out.txt")" 2>/dev/null)
    echo "round $round, ${speed}x, one core busy: exit $code, ${stored:-0} of 150000 samples stored" \
        "(load average $(cut -d ' ' -f 1 /proc/loadavg))"
    grep -a "dropped" "$work/err.txt" | tr '\r' '\n' | tail -n 1
    grep -ah "失败" "$work"/Logs/* 2>/dev/null | sed 's/.*\] //; s/size = .*/size = .../' | sort | uniq -c
    rm -rf "$work"
done
