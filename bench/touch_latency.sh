#!/usr/bin/env bash
# touch_latency.sh [BUILD_DIR] [TOUCHES] [IDLE_SECONDS]: the agent's touch
# latency and idle CPU under Wine against the simulated panel, in a prefix of
# its own (BUILD_DIR/bench-wine), set up and removed here. BUILD_DIR is a
# win-x64 build (default build/win-x64). Not part of the test command.
#
# The idle CPU is read twice: by the program (GetProcessTimes) and here, from
# the agent's Linux process (/proc/PID/stat utime + stime) at the program's
# "idle: start" and "idle: end" marks. At the same marks the script sums the
# context switches (voluntary and not) of every thread of that process
# (/proc/PID/task/*/status): the agent's wake-ups, Wine's own threads of the
# process included.
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
rm -f "$out"  # the marks of an earlier run must not be taken for this one's

agent_pid() {
  local p
  for p in $(pgrep -f 'Tapagent\.exe' || true); do
    tr '\0' '\n' <"/proc/$p/environ" 2>/dev/null | grep -qx "WINEPREFIX=$TP_WINE_WORK/prefix" && { echo "$p"; return; }
  done
}
ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }
# Context switches of every thread of the process, one "TID NAME COUNT" line each.
switches() {
  local t
  for t in /proc/"$1"/task/*; do
    awk -v tid="${t##*/}" '/^Name:/ { n = $2 } /ctxt_switches/ { c += $2 } END { print tid, n, c }' "$t/status" 2>/dev/null || true
  done
}
wait_mark() { until grep -q "$1" "$out" 2>/dev/null; do kill -0 "$2" 2>/dev/null || return 1; sleep 0.2; done; }

bash tests/wine/harness.sh "$conf" run --timeout $((idle + touches / 10 + 120)) "$program" "$touches" "$idle" \
  >"$TP_WINE_WORK/bench.out" 2>&1 &
runner=$!
status=0
if wait_mark 'idle: start' $runner; then
  pid=$(agent_pid)
  start=$(ticks "$pid") t0=$(date +%s.%N)
  switches "$pid" >"$TP_WINE_WORK/switches.start"
  wait_mark 'idle: end' $runner
  end=$(ticks "$pid") t1=$(date +%s.%N)
  switches "$pid" >"$TP_WINE_WORK/switches.end"
  hz=$(getconf CLK_TCK)
  wait $runner || status=$?
  cat "$TP_WINE_WORK/bench.out"
  awk -v a="$start" -v b="$end" -v hz="$hz" -v t0="$t0" -v t1="$t1" 'BEGIN {
    printf "agent CPU from /proc over %.1f s idle: %.2f s (%.3f %% of one core)\n", t1 - t0, (b - a) / hz,
           100 * (b - a) / hz / (t1 - t0) }'
  # Threads present at both marks; one that came or went in between is named.
  awk -v secs="$(awk -v a="$t0" -v b="$t1" 'BEGIN { print b - a }')" '
    NR == FNR { before[$1] = $3; next }
    { if ($1 in before) { d = $3 - before[$1]; total += d; if (d > 0) printf "  thread %s (%s): %d switches\n", $1, $2, d }
      else printf "  thread %s (%s) started during the idle time\n", $1, $2; seen[$1] = 1 }
    END { for (t in before) if (!(t in seen)) printf "  thread %s ended during the idle time\n", t
          printf "agent wake-ups from /proc over %.1f s idle: %d context switches (%.2f per second)\n", secs, total, total / secs }
  ' "$TP_WINE_WORK/switches.start" "$TP_WINE_WORK/switches.end"
else
  wait $runner || status=$?
  cat "$TP_WINE_WORK/bench.out"
fi
exit $status
