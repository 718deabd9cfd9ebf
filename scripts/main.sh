#!/usr/bin/env bash
# The suite's main job: build both Windows builds and show what they produced.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh win-x86 win-x64
for p in win-x86 win-x64; do
  echo "== $p"
  find "build/$p" -maxdepth 3 \( -name '*.exe' -o -name '*.dll' -o -name '*.sys' \) -not -path '*/CMakeFiles/*' \
    -printf '%-40P %8s bytes\n' | sort
done
