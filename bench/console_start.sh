#!/usr/bin/env bash
# console_start.sh [RUNS]: the start time of Tapcon.exe against the bare
# two-page property sheet under Wine (win-x64 build, a prefix of its own,
# set up and removed here), then both programs' sizes in the win-x86 build.
# Not part of the test command.
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-15}
build=build/win-x64
conf=$build/tests/wine/harness.conf
program=$build/bench/bench_console_start.exe
bare=$build/bench/size/bare_sheet.exe
[ -f "$conf" ] && [ -f "$program" ] && [ -f "$bare" ] || { echo "build the win-x64 preset first" >&2; exit 2; }
export TP_WINE_WORK=$PWD/$build/bench-console
harness() { bash tests/wine/harness.sh "$conf" "$@"; }
trap 'harness teardown >/dev/null 2>&1 || true' EXIT
harness setup
harness run --timeout $((runs * 20 + 60)) "$program" "$runs" 'C:\Program Files\QTX\PNL\USBPNL\Tapcon.exe' \
  "$(harness wine winepath -w "$PWD/$bare" | tr -d '\r')"
for f in build/win-x86/console/Tapcon.exe build/win-x86/bench/size/bare_sheet.exe; do
  [ -f "$f" ] && printf '%-45s %8s bytes\n' "$f" "$(stat -c %s "$f")"
done
