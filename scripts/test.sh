#!/usr/bin/env bash
# Every test: native unit tests under ASan/UBSan, checks on both Windows
# builds, and the end-to-end scenarios under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh native win-x86 win-x64
status=0
for p in native win-x86 win-x64; do
  echo "== tests: $p"
  ctest --preset "$p" -j"$(nproc)" || status=1
done
exit $status
