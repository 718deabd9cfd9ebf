#!/usr/bin/env bash
# touch_latency.sh [BUILD_DIR] [TOUCHES] [IDLE_SECONDS]: the agent's touch
# latency and idle CPU under Wine against the simulated panel, in a prefix of
# its own (BUILD_DIR/bench-wine), set up and removed here. BUILD_DIR is a
# win-x64 build (default build/win-x64). Not part of the test command.
#
# The idle CPU is read twice: by the program (GetProcessTimes) and here, from
# the agent's Linux process (/proc/PID/stat utime + stime) at the program's
# "idle: start" and "idle: end" marks.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/win-x64}
touches=${2:-1000}
idle=${3:-60}
conf=$build/tests/wine/harness.conf
program=$build/bench/bench_touch_latency.exe
[ -f "$conf" ] && [ -f "$program" ] || { echo "build $build first (win-x64 preset)" >&2; exit 2; }
export TP_WINE_WORK=$PWD/$build/bench-wine
out=$TP_WINE_WORK/run.out
trap 'bash tests/wine/harness.sh "$conf" teardown >/dev/null 2>&1 || true' EXIT
bash tests/wine/harness.sh "$conf" setup

agent_pid() {
  local p
  for p in $(pgrep -f 'Tapagent\.exe' || true); do
    tr '\0' '\n' <"/proc/$p/environ" 2>/dev/null | grep -qx "WINEPREFIX=$TP_WINE_WORK/prefix" && { echo "$p"; return; }
  done
}
ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }
wait_mark() { until grep -q "$1" "$out" 2>/dev/null; do kill -0 "$2" 2>/dev/null || return 1; sleep 0.2; done; }

bash tests/wine/harness.sh "$conf" run --timeout $((idle + touches / 10 + 120)) "$program" "$touches" "$idle" \
  >"$TP_WINE_WORK/bench.out" 2>&1 &
runner=$!
status=0
if wait_mark 'idle: start' $runner; then
  pid=$(agent_pid)
  start=$(ticks "$pid") t0=$(date +%s.%N)
  wait_mark 'idle: end' $runner
  end=$(ticks "$pid") t1=$(date +%s.%N)
  hz=$(getconf CLK_TCK)
  wait $runner || status=$?
  cat "$TP_WINE_WORK/bench.out"
  awk -v a="$start" -v b="$end" -v hz="$hz" -v t0="$t0" -v t1="$t1" 'BEGIN {
    printf "agent CPU from /proc over %.1f s idle: %.2f s (%.3f %% of one core)\n", t1 - t0, (b - a) / hz,
           100 * (b - a) / hz / (t1 - t0) }'
else
  wait $runner || status=$?
  cat "$TP_WINE_WORK/bench.out"
fi
exit $status
