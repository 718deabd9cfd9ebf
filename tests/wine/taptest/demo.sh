#!/usr/bin/env bash
# demo.sh [BUILD_DIR]: Taptest's accuracy check as the main job's story runs
# it, under Wine in a prefix of its own that is removed afterwards: every
# target touched 6 px right of and 4 px above its centre (xdotool), then the
# verdict and what "tapcfg report" prints of it.
set -euo pipefail
cd "$(dirname "$0")/../../.."
build=${1:-build/win-x64}
conf=$build/tests/wine/harness.conf
harness() { bash tests/wine/harness.sh "$conf" "$@"; }
export TP_WINE_WORK=$PWD/$build/tests/wine/taptest-demo
trap 'harness teardown >/dev/null 2>&1 || true' EXIT
harness setup >/dev/null
harness run --timeout 120 "$PWD/$build/tests/wine/taptest/wine_taptest_demo.exe" demo |
  tr -d '\r'
