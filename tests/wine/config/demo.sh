#!/usr/bin/env bash
# demo.sh [BUILD_DIR]: one Tapcfg command as support would run it, under Wine
# with the simulated panel (two panels, a driver version, a calibration table),
# in a prefix of its own that is removed afterwards: "tapcfg report".
set -euo pipefail
cd "$(dirname "$0")/../../.."
build=${1:-build/win-x64}
conf=$build/tests/wine/harness.conf
harness() { bash tests/wine/harness.sh "$conf" "$@"; }
export TP_WINE_WORK=$PWD/$build/tests/wine/tapcfg-demo
# shellcheck source=/dev/null
source "$conf"
trap 'harness teardown >/dev/null 2>&1 || true' EXIT
harness setup >/dev/null
harness reset
harness wine "$TP_SIMCTL" panels 3 0 >/dev/null
harness wine reg add 'HKLM\SYSTEM\CurrentControlSet\Services\TAPTPU\Parameters' /v Version /t REG_SZ /d 'SIM 2.5' /f \
  >/dev/null
harness wine reg add 'HKCU\Software\Korvane Component\USB' /v 9Cal3 /t REG_BINARY /d "$(printf '07%.0s' {1..110})" /f \
  >/dev/null
echo '$ tapcfg report'
harness wine 'C:\Program Files\QTX\PNL\USBPNL\Tapcfg.exe' report | tr -d '\r'
