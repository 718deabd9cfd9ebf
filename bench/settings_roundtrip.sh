#!/usr/bin/env bash
# settings_roundtrip.sh [BUILD_DIR] [RUNS]: how long one application of
# settings holds the agent's main thread without the multi-monitor driver key,
# timed from outside under Wine (a prefix of its own, set up and removed
# here). BUILD_DIR is a win-x64 build (default build/win-x64). Not part of
# the test command.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/win-x64}
runs=${2:-50}
conf=$build/tests/wine/harness.conf
program=$build/bench/bench_settings_roundtrip.exe
[ -f "$conf" ] && [ -f "$program" ] || { echo "build $build first (win-x64 preset)" >&2; exit 2; }
export TP_WINE_WORK=$PWD/$build/bench-settings
harness() { bash tests/wine/harness.sh "$conf" "$@"; }
trap 'harness teardown >/dev/null 2>&1 || true' EXIT
harness setup
harness run --timeout $((runs * 2 * 6 + 60)) "$program" "$runs"
