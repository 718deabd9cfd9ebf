#!/usr/bin/env bash
# build.sh PRESET...: configure and build the given presets (default: all three).
set -euo pipefail
cd "$(dirname "$0")/.."
presets=("$@")
[ ${#presets[@]} -gt 0 ] || presets=(native win-x86 win-x64)
for p in "${presets[@]}"; do
  cmake --preset "$p" >/dev/null
  cmake --build --preset "$p" -- -j"$(nproc)" | grep -vE '^\[[0-9]+/[0-9]+\] ' || true
  [ "${PIPESTATUS[0]}" -eq 0 ] || { echo "build of $p failed" >&2; exit 1; }
done
