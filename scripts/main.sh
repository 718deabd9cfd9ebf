#!/usr/bin/env bash
# The suite's main job, the user's whole story: build both Windows builds and
# both packages, then, under Wine in a fresh prefix with the simulated panel
# (the x86 package in a 32-bit prefix where this machine runs 32-bit code,
# then the x64 package in a 64-bit one), install the previous build of the
# package, log on (Run starts Tapstart, which starts the agent), upgrade to this build with the agent running (it
# comes back), open the console from the Start-menu shortcut's target, take
# screenshots, touch the panel, show what the driver saw, repair (the agent
# comes back again), uninstall and show that nothing is left.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh win-x86 win-x64
for p in win-x86 win-x64; do
  echo "== $p"
  find "build/$p" -maxdepth 3 \( -name '*.exe' -o -name '*.dll' -o -name '*.sys' -o -name '*.msi' \) \
    -not -path '*/CMakeFiles/*' -not -path '*/tests/*' -not -path '*.stage/*' -not -path '*/older/*' -not -path '*/rebuild/*' \
    -printf '%-48P %8s bytes\n' | sort
done
echo "== the deliverables: $(echo build/win-x86/installer/USB-TouchPanel-*-x86.msi build/win-x64/installer/USB-TouchPanel-*-x64.msi)"

# The shipping build first: the x86 package in a 32-bit prefix, where this machine runs 32-bit code.
if [ "$(cat build/wine32.probe 2>/dev/null)" = yes ]; then
  echo "== the user's story under Wine (x86 package, 32-bit prefix)"
  bash tests/wine/installer/story.sh build/win-x86
else
  echo "== the x86 package's story is left out, the x64 package's follows: this machine runs no 32-bit code ($(sed 's/^no: //' build/wine32.probe 2>/dev/null))"
fi
echo "== the user's story under Wine (x64 package, 64-bit prefix)"
bash tests/wine/installer/story.sh build/win-x64

echo "== Tapcon, the settings console, in English and in Japanese (x64 build)"
bash tests/wine/console_frame/screenshots.sh build/win-x64
echo "== Tapcon's sound, click and right-click pages driven under Wine, in English and in Japanese (x64 build)"
bash tests/wine/console_pages/screenshots.sh build/win-x64
echo "== Tapcfg, the settings from the command line: the support report under Wine (x64 build)"
bash tests/wine/config/demo.sh build/win-x64
echo "== Taptest, the touch test: one accuracy check with a known offset and its verdict under Wine (x64 build)"
bash tests/wine/taptest/demo.sh build/win-x64
