#!/usr/bin/env bash
# screenshots.sh [BUILD_DIR [OUT_DIR]]: the console pages scenarios in English
# and in Japanese, saving the sound, click and right-click pages as
# OUT_DIR/console_<page>_<en|ja>.png (default build/win-x64/screenshots), in a
# prefix of their own that is removed afterwards.
set -euo pipefail
cd "$(dirname "$0")/../../.."
build=${1:-build/win-x64}
out=$(realpath -m "${2:-$build/screenshots}")
conf=$build/tests/wine/harness.conf
harness() { bash tests/wine/harness.sh "$conf" "$@"; }
export TP_WINE_WORK=$PWD/$build/tests/wine/pages-shots
mkdir -p "$out"
trap 'harness teardown >/dev/null 2>&1 || true' EXIT
harness setup
scenarios=$build/tests/wine/console_pages
TP_CONSOLE_SHOTS=$out harness run --timeout 150 "$scenarios/wine_console_pages_en.exe" en
TP_CONSOLE_SHOTS=$out harness run --lang ja --timeout 150 "$scenarios/wine_console_pages_ja.exe" ja
ls "$out"/console_*.png
