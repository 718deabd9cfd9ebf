#!/usr/bin/env bash
# check_taphook.sh DLL EMPTY_DLL: what the hook DLL must be beyond the shared
# PE checks, because Windows maps it into every process with keyboard input:
# exactly the 20 zero bytes of shared data, no runtime start-up or
# thread-local data, and at most twice the size of an empty DLL built the
# same way.
set -euo pipefail
exec python3 - "$@" <<'PY'
import os, struct, sys

dll, empty = sys.argv[1], sys.argv[2]
data = open(dll, 'rb').read()
name = os.path.basename(dll)

def fail(msg):
    print(f"FAIL {name}: {msg}", file=sys.stderr)
    sys.exit(1)

pe = struct.unpack_from('<I', data, 0x3c)[0]
count = struct.unpack_from('<H', data, pe + 6)[0]
opt_size = struct.unpack_from('<H', data, pe + 20)[0]
opt = pe + 24
magic = struct.unpack_from('<H', data, opt)[0]
dirs = opt + (96 if magic == 0x10b else 112)
tls_rva, tls_size = struct.unpack_from('<II', data, dirs + 8 * 9)
if tls_size:
    fail("has a TLS directory")

sections = {}
for i in range(count):
    off = opt + opt_size + 40 * i
    sname = data[off:off + 8].rstrip(b'\0').decode()
    vsize, _, rawsize, rawptr = struct.unpack_from('<IIII', data, off + 8)
    flags = struct.unpack_from('<I', data, off + 36)[0]
    sections[sname] = (vsize, data[rawptr:rawptr + min(vsize, rawsize)], flags)

for bad in ('.tls', '.CRT', '.ctors', '.dtors', '.eh_fram'):
    if bad in sections:
        fail(f"has a {bad} section")
if '.shared' not in sections:
    fail("no .shared section")
vsize, raw, flags = sections['.shared']
if vsize != 20:
    fail(f".shared holds {vsize} bytes, want 20")
if raw.strip(b'\0'):
    fail(".shared is not zero at load")
if flags & 0xD0000000 != 0xD0000000:
    fail(f".shared is not shared, readable and writable ({flags:#x})")

size, empty_size = len(data), os.path.getsize(empty)
print(f"{name}: {size} bytes, empty DLL built the same way: {empty_size} bytes")
if size > 2 * empty_size:
    fail(f"{size} bytes is more than twice {empty_size}")
PY
