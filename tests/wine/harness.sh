#!/usr/bin/env bash
# The Wine side of the end-to-end tests: one prefix per test run with the
# simulated panel driver, Xvfb and the suite's programs of one build. The
# build decides the prefix (TP_WINE_ARCH in CONF): win32, run by the 32-bit
# loader, for the x86 build; win64 for the x64 build.
#
#   harness.sh CONF setup                  make the prefix (removes an old one)
#   harness.sh CONF run [--lang ja] [--timeout S] [--wow64] PROGRAM [ARGS]
#                                          reset, then run a scenario program
#                                          (--wow64: it runs 32-bit code in the 64-bit prefix)
#   harness.sh CONF reset                  suite programs, keys and simulator back to the start
#   harness.sh CONF wine COMMAND [ARGS]    any command in the prefix (wine64 or wine COMMAND ...)
#   harness.sh CONF teardown               end everything, remove the prefix
#   harness.sh CONF demo                   setup, Tapapi and Tapport against the panel, teardown
#
# CONF is harness.conf, written by CMake beside the build's tests/wine. The
# work folder is $TP_WINE_WORK (default: work/ beside CONF). TP_WINE_KEEP=1
# keeps the prefix at teardown.
#
# Where this machine runs no 32-bit code (build/wine32.probe, written by
# scripts/setup.sh), every command of a win32 CONF and every --wow64 run
# ends with exit code 77 after one line saying why: CTest reports them as
# skipped (SKIP_RETURN_CODE), never as passed.
set -euo pipefail
readonly kSkipped=77

conf=$(realpath "$1")
cmd=$2
shift 2
# shellcheck source=/dev/null
source "$conf"

work=$TP_WINE_WORK
prefix=$work/prefix
logs=$work/logs
statefile=$work/state

arch=${TP_WINE_ARCH:-win64}
case $arch in
  win32) WINE=/usr/lib/wine/wine ;;
  win64) WINE=/usr/lib/wine/wine64 ;;
  *) echo "harness: unknown TP_WINE_ARCH $arch" >&2; exit 1 ;;
esac
export WINEPREFIX=$prefix WINEARCH=$arch
export WINEDEBUG=${WINEDEBUG:--all}
# No Mono or Gecko: the prefix is offline and needs neither.
export WINEDLLOVERRIDES="mscoree,mshtml="
unset WINESERVER WINELOADER
WINESERVER=/usr/lib/wine/wineserver
DESKTOP=1024x768
INSTALL_DIR="$prefix/drive_c/Program Files/QTX/PNL/USBPNL"

# English runs get code page 1252; ja_JP.UTF-8 (made by scripts/setup.sh) gives 932.
english_locale() {
  if locale -a 2>/dev/null | grep -qix 'en_US\.utf8'; then echo en_US.UTF-8; else echo C.UTF-8; fi
}
export LANG
LANG=$(english_locale)
unset LC_ALL LANGUAGE

die() { echo "harness: $*" >&2; exit 1; }

# The probe's answer as setup recorded it, or asked now when setup has not run.
runs_32bit_code() {
  local probe=${TP_WINE32_PROBE:-} answer
  if [ -n "$probe" ] && [ -f "$probe" ]; then answer=$(<"$probe"); else answer=$(bash "$TP_WINE_PROBE32"); fi
  [ "$answer" = yes ] && return 0
  why_no_32bit=${answer#no: }
  return 1
}

skip_without_32bit_code() {
  runs_32bit_code && return 0
  echo "harness: SKIPPED ($1): this machine runs no 32-bit code: $why_no_32bit"
  exit "$kSkipped"
}

now() { date +%s.%N; }
elapsed() { awk -v a="$1" -v b="$(now)" 'BEGIN { printf "%.1f", b - a }'; }

# TP_WINE_SLOW=N stretches every deadline N times, for an emulated machine (tests/wine/vm32.sh).
slow=${TP_WINE_SLOW:-1}

# Polls a command until it succeeds or the deadline (seconds) passes.
wait_for() {
  local deadline=$(( $(date +%s) + $1 * slow )); shift
  until "$@" >/dev/null 2>&1; do
    [ "$(date +%s)" -lt "$deadline" ] || return 1
    sleep 0.1
  done
}

load_state() {
  [ -f "$statefile" ] || die "no prefix set up in $work (run setup first)"
  # shellcheck source=/dev/null
  source "$statefile"
  export DISPLAY
}

# Every Wine process started here gets files, never our stdout: a Wine
# process that outlives its command would otherwise hold CTest's pipe open.
w() { "$WINE" "$@" </dev/null; }

server_start() { "$WINESERVER" -p </dev/null >>"$logs/wineserver.log" 2>&1; }

# With a deadline of its own: a request the driver never completes would hold wait_for forever.
simulator_up() { timeout -k 2 $((10 * slow)) "$WINE" "$TP_SIMCTL" state </dev/null >/dev/null 2>&1; }

xvfb_alive() { [ -n "${XVFB_PID:-}" ] && [ "$(cat "/proc/$XVFB_PID/comm" 2>/dev/null)" = Xvfb ]; }

start_xvfb() {
  local displayfile=$work/display
  : >"$displayfile"
  Xvfb -displayfd 3 -screen 0 "${DESKTOP}x24" -nolisten tcp -noreset 3>"$displayfile" \
    </dev/null >"$logs/xvfb.log" 2>&1 &
  XVFB_PID=$!
  wait_for 15 grep -q '[0-9]' "$displayfile" || die "Xvfb did not start (see $logs/xvfb.log)"
  DISPLAY=:$(tr -dc 0-9 <"$displayfile")
  export DISPLAY
  printf 'XVFB_PID=%s\nDISPLAY=%s\n' "$XVFB_PID" "$DISPLAY" >"$statefile"
}

# UTF-16LE with a byte-order mark: regedit reads the Japanese names right only so.
write_reg() {
  {
    printf '\xff\xfe'
    iconv -f UTF-8 -t UTF-16LE <<REG
Windows Registry Editor Version 5.00

[HKEY_CURRENT_USER\\Software\\Wine\\Fonts\\Replacements]
"ＭＳ Ｐゴシック"="IPAPGothic"
"ＭＳ ゴシック"="IPAGothic"
"MS UI Gothic"="IPAPGothic"

[HKEY_CURRENT_USER\\Software\\Wine\\Explorer]
"Desktop"="Default"

[HKEY_CURRENT_USER\\Software\\Wine\\Explorer\\Desktops]
"Default"="$DESKTOP"

; A crash writes its backtrace to the program's output and ends, instead
; of a dialog nobody answers holding the run until its deadline.
[HKEY_CURRENT_USER\\Software\\Wine\\WineDbg]
"ShowCrashDialog"=dword:00000000
REG
    # TP_WINE_DPI: the screen's DPI (96 unless set), for layout screenshots.
    if [ -n "${TP_WINE_DPI:-}" ]; then
      iconv -f UTF-8 -t UTF-16LE <<REG

[HKEY_CURRENT_USER\\Control Panel\\Desktop]
"LogPixels"=dword:$(printf '%08x' "$TP_WINE_DPI")

[HKEY_CURRENT_CONFIG\\Software\\Fonts]
"LogPixels"=dword:$(printf '%08x' "$TP_WINE_DPI")
REG
    fi
  } >"$1"
}

# Processes still running with this prefix in their environment.
leftovers() {
  local env pid
  for env in /proc/[0-9]*/environ; do
    pid=${env#/proc/}; pid=${pid%/environ}
    [ "$pid" != $$ ] || continue
    tr '\0' '\n' <"$env" 2>/dev/null | grep -qxF "WINEPREFIX=$prefix" && echo "$pid"
  done
  return 0
}

no_leftovers() { [ -z "$(leftovers)" ]; }

do_teardown() {
  local quiet=${1:-}
  if [ -f "$statefile" ]; then
    # shellcheck source=/dev/null
    source "$statefile"
  fi
  if [ -d "$prefix" ]; then
    "$WINESERVER" -k </dev/null >/dev/null 2>&1 || true
    timeout 30 "$WINESERVER" -w </dev/null >/dev/null 2>&1 || die "wineserver of $prefix did not end"
  fi
  if xvfb_alive; then
    kill "$XVFB_PID"
    wait_for 10 bash -c "! [ \"\$(cat /proc/$XVFB_PID/comm 2>/dev/null)\" = Xvfb ]" || kill -9 "$XVFB_PID" 2>/dev/null || true
  fi
  rm -f "$statefile" "$work/display"
  if ! wait_for 10 no_leftovers; then
    echo "harness: still running with this prefix:" >&2
    for pid in $(leftovers); do echo "  $pid $(tr '\0' ' ' <"/proc/$pid/cmdline" 2>/dev/null)" >&2; done
    exit 1
  fi
  [ "${TP_WINE_KEEP:-0}" = 1 ] || rm -rf "$prefix"
  [ -n "$quiet" ] || echo "harness: torn down, nothing left running"
}

do_setup() {
  local start
  start=$(now)
  mkdir -p "$work"
  do_teardown quiet
  rm -rf "$prefix" "$logs"
  mkdir -p "$logs" "$prefix"
  trap 'do_teardown quiet' EXIT  # a failed setup leaves nothing running
  command -v Xvfb >/dev/null || die "Xvfb missing: run scripts/setup.sh"
  [ -x "$WINE" ] || die "$WINE missing: run scripts/setup.sh"
  locale -a 2>/dev/null | grep -qix 'ja_JP\.utf8' || die "locale ja_JP.UTF-8 missing: run scripts/setup.sh"

  start_xvfb
  server_start
  w wineboot -i >"$logs/wineboot-init.log" 2>&1 || die "wineboot -i failed (see $logs/wineboot-init.log)"
  local booted
  booted=$(elapsed "$start")

  compgen -G '/usr/share/wine/fonts/*' >/dev/null || die "Wine's fonts missing (fonts-wine): run scripts/setup.sh"
  cp /usr/share/wine/fonts/* "$prefix/drive_c/windows/Fonts/"
  write_reg "$work/prefix-settings.reg"
  w regedit /S "$(w winepath -w "$work/prefix-settings.reg" 2>/dev/null)" >>"$logs/setup.log" 2>&1 ||
    die "regedit failed"
  cp "$TP_SIM_SYS" "$prefix/drive_c/windows/system32/drivers/tpsim.sys"
  w sc create tpsim type= kernel start= auto binPath= 'C:\windows\system32\drivers\tpsim.sys' \
    >>"$logs/setup.log" 2>&1 || die "sc create failed (see $logs/setup.log)"
  mkdir -p "$INSTALL_DIR"
  local program installed=()
  for program in "${TP_PROGRAMS[@]}"; do
    [ -n "$program" ] || continue
    [ -f "$program" ] || { echo "harness: not built, not installed: $program"; continue; }
    cp "$program" "$INSTALL_DIR/"
    installed+=("$(basename "$program")")
  done
  local data
  for data in "${TP_DATA_FILES[@]+"${TP_DATA_FILES[@]}"}"; do
    [ -f "$data" ] || die "not built: $data"
    cp "$data" "$INSTALL_DIR/"
    installed+=("$(basename "$data")")
  done

  # A second boot, as at logon: the driver starts as an auto-start service
  # and the virtual desktop comes up with its size.
  "$WINESERVER" -k </dev/null >/dev/null 2>&1 || true
  timeout 30 "$WINESERVER" -w </dev/null || die "wineserver did not end for the reboot"
  server_start
  w wineboot >"$logs/wineboot.log" 2>&1 || die "wineboot failed (see $logs/wineboot.log)"
  wait_for 30 simulator_up || die "the simulated panel did not come up (see $logs/)"
  trap - EXIT
  echo "harness: prefix ready in $(elapsed "$start") s (wineboot -i ${booted} s), display $DISPLAY,"\
       "installed: ${installed[*]:-nothing}"
}

do_reset() {
  w "$TP_TPRESET" >"$work/reset.out" 2>&1 || { cat "$work/reset.out"; die "reset failed"; }
}

do_run() {
  local lang=$LANG limit=100
  while [ $# -gt 0 ]; do
    case $1 in
      --lang) [ "$2" = ja ] && lang=ja_JP.UTF-8 || lang=$(english_locale); shift 2 ;;
      --timeout) limit=$2; shift 2 ;;
      --wow64) skip_without_32bit_code "a 32-bit program in the 64-bit prefix"; shift ;;
      *) break ;;
    esac
  done
  [ $# -gt 0 ] || die "run: no program"
  load_state
  wait_for 10 simulator_up || die "the simulated panel is not running (did setup fail?)"
  do_reset
  local out=$work/run.out status=0
  limit=$((limit * slow))
  LANG=$lang timeout -k 5 "$limit" "$WINE" "$@" </dev/null >"$out" 2>&1 || status=$?
  cat "$out"
  [ "$status" -ne 124 ] || echo "harness: $(basename "$1") did not finish in $limit s"
  return "$status"
}

do_wine() {
  load_state
  local out=$work/wine.out status=0
  "$WINE" "$@" </dev/null >"$out" 2>&1 || status=$?
  cat "$out"
  return "$status"
}

do_demo() {
  do_setup
  trap 'do_teardown quiet' EXIT
  load_state
  do_reset
  local reg_enum='HKLM\SYSTEM\CurrentControlSet\Services\TAPTPU\Enum'
  echo "== the simulated panel answers SpinTop 42 and reports switch 2 disabled"
  do_wine "$TP_SIMCTL" spintop 42
  do_wine "$TP_SIMCTL" disabled 2 1
  echo "== Tapapi.dll, called by a client program"
  do_wine "$TP_TAPAPI_CALL" GetSpinTop SetSpinTop=7 GetSpinTop GetUSBTPEnable=1 GetUSBTPEnable=2 \
    SetUSBTPEnable=2,1 GetUSBTPEnable=2 GetUSBTPEnable=3
  echo "== Tapport.exe with two panels listed under the driver's Enum key"
  do_wine reg add "$reg_enum" /v 0 /t REG_SZ /d 'USB\VID_0EEF&PID_0001\5&1' /f >/dev/null
  do_wine reg add "$reg_enum" /v 1 /t REG_SZ /d 'USB\VID_0EEF&PID_0001\5&2' /f >/dev/null
  do_wine "C:\\Program Files\\QTX\\PNL\\USBPNL\\Tapport.exe"
  do_wine reg query 'HKLM\SYSTEM\CurrentControlSet\Services\TAPTPU\Parameters' | tr -d '\r' | sed '/^$/d'
  do_wine reg query 'HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\RunOnce' /v TAPPORTCHK | tr -d '\r' | sed '/^$/d'
  echo "== what the driver saw"
  do_wine "$TP_SIMCTL" log
  echo "== the driver's state"
  do_wine "$TP_SIMCTL" state
}

[ "$arch" != win32 ] || skip_without_32bit_code "the x86 build in a 32-bit prefix"
case $cmd in
  setup) do_setup ;;
  run) do_run "$@" ;;
  reset) load_state; do_reset ;;
  wine) do_wine "$@" ;;
  teardown) do_teardown ;;
  demo) do_demo ;;
  *) die "unknown command $cmd" ;;
esac
