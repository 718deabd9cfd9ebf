#!/usr/bin/env bash
# probe32.sh [--record]: does this machine run 32-bit programs? Prints "yes"
# or "no: REASON" and, with --record, writes it to build/wine32.probe (read by
# harness.sh and scripts/test.sh). The 32-bit Wine loader answering --version
# is the cheap test: the kernel either executes it or refuses it.
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
loader=/usr/lib/wine/wine
if [ ! -x "$loader" ]; then
  answer="no: $loader missing (wine32:i386 not installed)"
elif out=$("$loader" --version 2>&1 </dev/null); then
  answer=yes
else
  answer="no: the kernel refuses 32-bit code ($loader --version: $(tail -n1 <<<"$out" | sed 's/^.*: //'))"
fi
if [ "${1:-}" = --record ]; then
  mkdir -p "$root/build"
  echo "$answer" >"$root/build/wine32.probe"
  echo "setup: 32-bit code: $answer"
else
  echo "$answer"
fi
