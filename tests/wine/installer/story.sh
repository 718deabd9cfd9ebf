#!/usr/bin/env bash
# story.sh [BUILD_DIR]: the user's story under Wine in a fresh prefix of its
# own, removed afterwards (32-bit for the x86 build, 64-bit for the x64
# one): the previous build of the build's package installed, a
# logon, this build installed over the running agent (which comes back), the
# console from the Start menu, touches, a repair (the agent comes back again),
# the removal. Screenshots go to BUILD_DIR/story/.
set -euo pipefail
cd "$(dirname "$0")/../../.."
build=${1:-build/win-x64}
conf=$PWD/$build/tests/wine/installer/msi.conf
# shellcheck source=/dev/null
source "$conf"
export TP_CONSOLE_FILES
shots=$PWD/$build/story
export TP_WINE_WORK=$PWD/$build/tests/wine/story
rm -rf "$shots"
mkdir -p "$shots"
trap 'bash tests/wine/harness.sh "$conf" teardown >/dev/null 2>&1 || true' EXIT
bash tests/wine/harness.sh "$conf" setup
bash tests/wine/harness.sh "$conf" run --timeout 240 "$TP_STORY" "$TP_PACKAGE" "$shots" "$TP_PACKAGE_OLDER"
for shot in "$shots"/*.bmp; do
  convert "$shot" "${shot%.bmp}.png" && rm "$shot"
done
echo "== screenshots"
ls "$shots"/*.png | sed 's|^|   |'
