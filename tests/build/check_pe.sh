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
#   --max-size BYTES            the file is at most BYTES long
#   --version-resource          a version resource whose OriginalFilename is this file's
#                               name and whose FileVersion text matches its fixed version
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
    --max-size)
      size=$(stat -c %s "$file")
      [ "$size" -le "$2" ] || fail "$size bytes, more than $2"
      shift 2 ;;
    --version-resource)
      problem=$(python3 - "$file" <<'PY'
import os, struct, sys
path = sys.argv[1]
data = open(path, 'rb').read()
pe = struct.unpack_from('<I', data, 0x3c)[0]
count = struct.unpack_from('<H', data, pe + 6)[0]
opt_size = struct.unpack_from('<H', data, pe + 20)[0]
opt = pe + 24
dirs = opt + (96 if struct.unpack_from('<H', data, opt)[0] == 0x10b else 112)
rsrc_rva, rsrc_size = struct.unpack_from('<II', data, dirs + 8 * 2)
sections = []
for i in range(count):
    off = opt + opt_size + 40 * i
    vsize, va, rawsize, rawptr = struct.unpack_from('<IIII', data, off + 8)
    sections.append((va, max(vsize, rawsize), rawptr))
def at(rva):
    for va, size, raw in sections:
        if va <= rva < va + size:
            return raw + rva - va
    sys.exit(print("an address outside every section") or 0)
if not rsrc_size:
    sys.exit(print("no resources at all") or 0)
base = at(rsrc_rva)
def entries(offset):
    named, ids = struct.unpack_from('<HH', data, base + offset + 12)
    for k in range(named + ids):
        name, target = struct.unpack_from('<II', data, base + offset + 16 + 8 * k)
        yield name, target
def first_leaf(target):
    while target & 0x80000000:
        target = next(entries(target & 0x7FFFFFFF))[1]
    return struct.unpack_from('<II', data, base + target)
version = [t for n, t in entries(0) if n == 16]
if not version:
    sys.exit(print("no version resource") or 0)
rva, size = first_leaf(version[0])
blob = data[at(rva):at(rva) + size]
sig = blob.find(struct.pack('<I', 0xFEEF04BD))
if sig < 0:
    sys.exit(print("no fixed file information") or 0)
ms, ls = struct.unpack_from('<II', blob, sig + 8)
fixed = f"{ms >> 16}.{ms & 0xFFFF}.{ls >> 16}.{ls & 0xFFFF}"
def text(key):
    k = blob.find((key + '\0').encode('utf-16-le'))
    if k < 0:
        return None
    v = k + 2 * (len(key) + 1)
    v += (-v) % 4
    end = v
    while blob[end:end + 2] != b'\0\0':
        end += 2
    return blob[v:end].decode('utf-16-le')
name, shown = text('OriginalFilename'), text('FileVersion')
if (name or '').lower() != os.path.basename(path).lower():
    print(f"OriginalFilename {name!r} is not the file's name")
elif shown != fixed:
    print(f"FileVersion text {shown!r} differs from the fixed version {fixed}")
PY
)
      [ -z "$problem" ] || fail "version resource: $problem"
      shift ;;
    --no-terminate-handler)
      ! grep -qa 'terminate called after throwing' "$file" ||
        fail "carries the C++ runtime's terminate handler (link tp_runtime_win32, format without printf)"
      shift ;;
    *) fail "unknown check $1" ;;
  esac
done
echo "ok $(basename "$file")"
