#!/usr/bin/env bash
# Every test: native unit tests under ASan/UBSan, checks on both Windows
# builds, and the end-to-end scenarios under Wine (the x86 build in a 32-bit
# prefix, the x64 build in a 64-bit one). The last line says how many tests
# were skipped and why: on a machine that runs no 32-bit code, the x86
# build's Wine scenarios and the x64 build's WoW64 one.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh native win-x86 win-x64
status=0
skipped=0
where=()
for p in native win-x86 win-x64; do
  echo "== tests: $p"
  log=build/$p/ctest.log
  ctest --preset "$p" -j"$(nproc)" 2>&1 | tee "$log" || status=1
  n=$(grep -cE '^[[:space:]]+[0-9]+ - .* \(Skipped\)$' "$log" || true)
  if [ "$n" -gt 0 ]; then
    skipped=$((skipped + n))
    where+=("$n of $p")
  fi
done
probe=$(cat build/wine32.probe 2>/dev/null || echo "no answer (scripts/setup.sh did not probe)")
if [ "$skipped" -eq 0 ]; then
  echo "== skipped: none (32-bit code: $probe)"
else
  list=$(printf '%s, ' "${where[@]}")
  echo "== skipped: $skipped tests (${list%, }), not passed: they run 32-bit code under Wine and this machine cannot (32-bit code: $probe)"
fi
exit $status
