#!/usr/bin/env bash
# demo.sh [BUILD_DIR]: Tapagent under Wine answering touches injected into the
# simulated panel, in a prefix of its own that is removed afterwards.
set -euo pipefail
cd "$(dirname "$0")/../../.."
build=${1:-build/win-x64}
conf=$build/tests/wine/harness.conf
export TP_WINE_WORK=$PWD/$build/tests/wine/agent-demo
trap 'bash tests/wine/harness.sh "$conf" teardown >/dev/null 2>&1 || true' EXIT
bash tests/wine/harness.sh "$conf" setup
bash tests/wine/harness.sh "$conf" run --timeout 60 "$build/tests/wine/workers/wine_agent_demo.exe"
