#!/usr/bin/env bash
# check_pe.sh OBJDUMP FILE [checks...]: asserts facts about a PE binary.
#   --exports "1:Name 2:Name"   exactly these exports with these ordinals
#   --no-runtime-dlls           imports no MinGW runtime DLL
#   --imports-only "a.dll b.dll" imports from no DLL outside this list
#   --gui                       Windows GUI subsystem
#   --console                   Windows console (character) subsystem
#   --native                    native subsystem (a kernel driver)
#   --entry MAP SYMBOL          the entry point is SYMBOL as the linker's MAP places it
#                               (the binary itself is stripped); an x86 stdcall SYMBOL
#                               is decorated, _DriverEntry@8
#   --shared-section NAME       section NAME exists and is marked shared
#   --no-terminate-handler      without libstdc++'s verbose terminate handler, which
#                               drags in the demangler and printf (some 100 KB)
set -euo pipefail
objdump=$1 file=$2
shift 2
dump=$("$objdump" -p "$file")
fail() { echo "FAIL $(basename "$file"): $*" >&2; exit 1; }
imports() { sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$dump" | tr 'A-Z' 'a-z' | sort -u; }

while [ $# -gt 0 ]; do
  case $1 in
    --exports)
      want=$(tr ' ' '\n' <<<"$2" | sort)
      # The name table lists [ordinal - base] name.
      base=$(sed -n 's/.*Ordinal Base[[:space:]]*\([0-9][0-9]*\).*/\1/p' <<<"$dump" | head -1)
      have=$(sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/s/^[[:space:]]*\[ *\([0-9]*\)\] \(.*\)$/\1 \2/p' <<<"$dump" |
             while read -r idx name; do echo "$((idx + base)):$name"; done | sort)
      [ "$want" = "$have" ] || fail "exports are [$(echo $have)], want [$(echo $want)]"
      shift 2 ;;
    --no-runtime-dlls)
      bad=$(imports | grep -E '^(libstdc\+\+|libgcc_s|libwinpthread|msvcp|libssp)' || true)
      [ -z "$bad" ] || fail "imports runtime DLLs: $bad"
      shift ;;
    --imports-only)
      allowed=$(tr 'A-Z ' 'a-z\n' <<<"$2")
      for dll in $(imports); do grep -qxF "$dll" <<<"$allowed" || fail "unexpected import $dll"; done
      shift 2 ;;
    --gui)
      grep -qE '^Subsystem[[:space:]]+0*2[[:space:]]' <<<"$dump" || fail "not a GUI-subsystem program"
      shift ;;
    --console)
      grep -qE '^Subsystem[[:space:]]+0*3[[:space:]]' <<<"$dump" || fail "not a console-subsystem program"
      shift ;;
    --native)
      grep -qE '^Subsystem[[:space:]]+0*1[[:space:]]' <<<"$dump" || fail "not a native-subsystem driver"
      shift ;;
    --entry)
      entry=$(sed -n 's/^AddressOfEntryPoint[[:space:]]*\([0-9a-fA-F]*\).*/\1/p' <<<"$dump")
      base=$(sed -n 's/^ImageBase[[:space:]]*\([0-9a-fA-F]*\).*/\1/p' <<<"$dump")
      # ld's map drops the leading underscore of x86 symbols.
      sym=$(awk -v s="$3" '($2 == s || "_" $2 == s) && $1 ~ /^0x/ { print $1; exit }' "$2")
      [ -n "$sym" ] || fail "no symbol $3 in $(basename "$2")"
      (( 0x$entry != 0 && 0x$base + 0x$entry == sym )) ||
        fail "entry point 0x$entry (image base 0x$base) is not $3 ($sym)"
      shift 3 ;;
    --shared-section)
      # Section headers: find NAME's characteristics and test IMAGE_SCN_MEM_SHARED (0x10000000).
      flags=$(python3 - "$file" "$2" <<'PY'
import struct, sys
data = open(sys.argv[1], 'rb').read()
pe = struct.unpack_from('<I', data, 0x3c)[0]
count = struct.unpack_from('<H', data, pe + 6)[0]
opt = struct.unpack_from('<H', data, pe + 20)[0]
base = pe + 24 + opt
for i in range(count):
    off = base + 40 * i
    name = data[off:off + 8].rstrip(b'\0').decode()
    if name == sys.argv[2]:
        print(hex(struct.unpack_from('<I', data, off + 36)[0]))
PY
)
      [ -n "$flags" ] || fail "no section $2"
      (( flags & 0x10000000 )) || fail "section $2 not shared (characteristics $flags)"
      shift 2 ;;
    --no-terminate-handler)
      ! grep -qa 'terminate called after throwing' "$file" ||
        fail "carries the C++ runtime's terminate handler (link tp_runtime_win32, format without printf)"
      shift ;;
    *) fail "unknown check $1" ;;
  esac
done
echo "ok $(basename "$file")"
