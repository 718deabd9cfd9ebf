#!/usr/bin/env python3
"""check_resources.py EXE: asserts the agent's resources in a built Tapagent.exe.

Icons 101, 103 and 104 with 16x16 and 32x32 images of 16 colours, cursor
102 (32x32, monochrome, transparent, hot spot 0,0), dialog 105 as the
floating icon window needs it, a version resource and a manifest.
"""
import struct
import sys

RT_CURSOR, RT_ICON, RT_DIALOG, RT_GROUP_CURSOR, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 1, 3, 5, 12, 14, 16, 24


def resources(data):
    """{(type, id): bytes} for the first language of every resource."""
    pe = struct.unpack_from('<I', data, 0x3C)[0]
    count = struct.unpack_from('<H', data, pe + 6)[0]
    opt_size = struct.unpack_from('<H', data, pe + 20)[0]
    magic = struct.unpack_from('<H', data, pe + 24)[0]
    dirs = pe + 24 + (96 if magic == 0x10B else 112)
    rva = struct.unpack_from('<I', data, dirs + 2 * 8)[0]  # the resource directory
    if rva == 0:
        fail('no resources at all')
    sections = []
    for i in range(count):
        off = pe + 24 + opt_size + 40 * i
        vsize, vaddr, rsize, raddr = struct.unpack_from('<IIII', data, off + 8)
        sections.append((vaddr, max(vsize, rsize), raddr))

    def at(r):
        for vaddr, size, raddr in sections:
            if vaddr <= r < vaddr + size:
                return raddr + r - vaddr
        raise ValueError(f'rva {r:#x} outside the sections')

    base = at(rva)

    def entries(off):
        named, ids = struct.unpack_from('<HH', data, base + off + 12)
        for i in range(named + ids):
            name, target = struct.unpack_from('<II', data, base + off + 16 + 8 * i)
            yield name, target

    out = {}
    for rtype, t in entries(0):
        for rid, n in entries(t & 0x7FFFFFFF):
            _lang, leaf = next(entries(n & 0x7FFFFFFF))
            drva, size = struct.unpack_from('<II', data, base + leaf)
            out[(rtype, rid)] = data[at(drva):at(drva) + size]
    return out


def fail(message):
    print('FAIL ' + message)
    sys.exit(1)


def check_icon_group(res, gid):
    group = res.get((RT_GROUP_ICON, gid))
    if group is None:
        fail(f'icon {gid} missing')
    _r, _t, count = struct.unpack_from('<HHH', group, 0)
    sizes = set()
    for i in range(count):
        w, h, colours, _res, _planes, bits, _size, iid = struct.unpack_from('<BBBBHHIH', group, 6 + 14 * i)
        image = res.get((RT_ICON, iid))
        if image is None:
            fail(f'icon {gid} image {iid} missing')
        hdr_w, hdr_h, _p, hdr_bits = struct.unpack_from('<iiHH', image, 4)
        if (hdr_w, hdr_h // 2) != (w or 256, h or 256) or hdr_bits != 4 or colours != 16:
            fail(f'icon {gid}: image {w}x{h} is not 16 colours ({hdr_w}x{hdr_h}, {hdr_bits} bits)')
        sizes.add(w)
    if sizes != {16, 32}:
        fail(f'icon {gid} sizes {sorted(sizes)}, want 16 and 32')


def check_cursor(res):
    group = res.get((RT_GROUP_CURSOR, 102))
    if group is None:
        fail('cursor 102 missing')
    _r, _t, count = struct.unpack_from('<HHH', group, 0)
    if count != 1:
        fail(f'cursor 102 has {count} images')
    _w, _h, _planes, bits, _size, cid = struct.unpack_from('<HHHHIH', group, 6)
    image = res[(RT_CURSOR, cid)]
    hot_x, hot_y = struct.unpack_from('<HH', image, 0)
    dib = image[4:]
    width, height, _p, bpp = struct.unpack_from('<iiHH', dib, 4)
    if (hot_x, hot_y) != (0, 0) or (width, height, bpp) != (32, 64, 1):
        fail(f'cursor 102: hot spot {hot_x},{hot_y}, {width}x{height // 2}x{bpp}')
    pixels = dib[40 + 8:]
    xor, mask = pixels[:128], pixels[128:256]
    if any(xor) or any(b != 0xFF for b in mask):
        fail('cursor 102 is not wholly transparent')


def check_dialog(res):
    dlg = res.get((RT_DIALOG, 105))
    if dlg is None:
        fail('dialog 105 missing')
    ver, sig = struct.unpack_from('<HH', dlg, 0)
    if (ver, sig) != (1, 0xFFFF):
        fail('dialog 105 is not a DIALOGEX')
    _help, exstyle, style, items, x, y, cx, cy = struct.unpack_from('<IIIHhhhh', dlg, 4)
    want_style = 0x80000000 | 0x10000000 | 0x00C00000 | 0x80 | 0x40  # POPUP VISIBLE CAPTION MODALFRAME SETFONT
    if style != want_style:
        fail(f'dialog 105 style {style:#x}, want {want_style:#x}')
    if exstyle & 0x08000080 != 0x08000080:  # NOACTIVATE TOOLWINDOW
        fail(f'dialog 105 extended style {exstyle:#x}')
    if (x, y, cx, cy, items) != (0, 0, 34, 31, 1):
        fail(f'dialog 105 at {x},{y} {cx}x{cy} with {items} controls')
    text = dlg.decode('utf-16-le', 'replace')
    for want in ('P_NL', 'MS Sans Serif'):
        if want not in text:
            fail(f'dialog 105 lacks "{want}"')


def main(path):
    res = resources(open(path, 'rb').read())
    for gid in (101, 103, 104):
        check_icon_group(res, gid)
    check_cursor(res)
    check_dialog(res)
    if (RT_VERSION, 1) not in res:
        fail('no version resource')
    manifest = res.get((RT_MANIFEST, 1), b'')
    if b'asInvoker' not in manifest:
        fail('no manifest')
    print('ok resources of ' + path)


if __name__ == '__main__':
    main(sys.argv[1])
