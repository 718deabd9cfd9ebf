#!/usr/bin/env bash
# screenshots.sh [BUILD_DIR [OUT_DIR]]: Tapcon under Wine in English and in
# Japanese, its first and last pages saved as OUT_DIR/tapcon_<en|ja>_<first|last>.bmp
# (default build/win-x64/screenshots), in a prefix of its own that is removed afterwards.
set -euo pipefail
cd "$(dirname "$0")/../../.."
build=${1:-build/win-x64}
out=$(realpath -m "${2:-$build/screenshots}")
conf=$build/tests/wine/harness.conf
harness() { bash tests/wine/harness.sh "$conf" "$@"; }
export TP_WINE_WORK=$PWD/$build/tests/wine/console-shots
mkdir -p "$out"
trap 'harness teardown >/dev/null 2>&1 || true' EXIT
harness setup
shots=$(harness wine winepath -w "$out" | tr -d '\r')
scenarios=$build/tests/wine/console_frame
harness run --timeout 60 "$scenarios/wine_console_frame.exe" en --shots "$shots"
harness run --lang ja --timeout 60 "$scenarios/wine_console_frame_ja.exe" ja --shots "$shots"
ls "$out"/tapcon_*.bmp
