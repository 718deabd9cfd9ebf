#!/usr/bin/env bash
# The suite's main job: build both Windows builds, show what they produced,
# then start the simulated panel under Wine and run Tapapi and Tapport
# against it, printing what the driver saw.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh win-x86 win-x64
for p in win-x86 win-x64; do
  echo "== $p"
  find "build/$p" -maxdepth 3 \( -name '*.exe' -o -name '*.dll' -o -name '*.sys' \) -not -path '*/CMakeFiles/*' -not -path '*/tests/*' \
    -printf '%-40P %8s bytes\n' | sort
done

echo "== the simulated panel under Wine (x64 build)"
TP_WINE_WORK="$PWD/build/win-x64/tests/wine/demo" \
  bash tests/wine/harness.sh build/win-x64/tests/wine/harness.conf demo

echo "== Tapagent answering touches injected into the simulated panel (x64 build)"
bash tests/wine/workers/demo.sh build/win-x64

echo "== Tapcon, the settings console, in English and in Japanese (x64 build)"
bash tests/wine/console_frame/screenshots.sh build/win-x64
echo "== Tapcon's sound, click and right-click pages driven under Wine, in English and in Japanese (x64 build)"
bash tests/wine/console_pages/screenshots.sh build/win-x64
