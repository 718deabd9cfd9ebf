#!/usr/bin/env bash
# console_start.sh [RUNS] [BUILD_DIR]: the start time of Tapcon.exe against the bare
# two-page property sheet under Wine (BUILD_DIR, default build/win-x64, in a prefix
# of its own and its bitness, set up and removed here), then both programs' sizes
# in the win-x86 build.
# Not part of the test command.
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-15}
build=${2:-build/win-x64}
conf=$build/tests/wine/harness.conf
program=$build/bench/bench_console_start.exe
bare=$build/bench/size/bare_sheet.exe
[ -f "$conf" ] && [ -f "$program" ] && [ -f "$bare" ] || { echo "build $build first" >&2; exit 2; }
export TP_WINE_WORK=$PWD/$build/bench-console
harness() { bash tests/wine/harness.sh "$conf" "$@"; }
trap 'harness teardown >/dev/null 2>&1 || true' EXIT
harness setup
harness run --timeout $((runs * 20 + 60)) "$program" "$runs" 'C:\Program Files\QTX\PNL\USBPNL\Tapcon.exe' \
  "$(harness wine winepath -w "$PWD/$bare" | tr -d '\r')"
for f in build/win-x86/console/Tapcon.exe build/win-x86/bench/size/bare_sheet.exe; do
  [ -f "$f" ] && printf '%-45s %8s bytes\n' "$f" "$(stat -c %s "$f")"
done
