#!/usr/bin/env python3
"""Draws the agent's icons and cursor from the pixel maps below.

    make_art.py OUTDIR          write program.ico, left_button.ico,
                                right_button.ico and hidden.cur
    make_art.py --check DIR     fail unless DIR holds exactly what would be written

Every icon is 16 colours (4 bits per pixel, the standard VGA palette) in
32x32 and 16x16. In the maps '.' is transparent and each other letter is a
palette colour (see PALETTE). Mouse maps mark the two button areas with 'l'
and 'r'; the icon for the button the touch acts as paints its area red and
carries its letter in blue.
"""
import struct
import sys
from pathlib import Path

PALETTE = [  # (letter, r, g, b) in VGA order
    ('K', 0x00, 0x00, 0x00), ('M', 0x80, 0x00, 0x00), ('D', 0x00, 0x80, 0x00), ('O', 0x80, 0x80, 0x00),
    ('N', 0x00, 0x00, 0x80), ('P', 0x80, 0x00, 0x80), ('T', 0x00, 0x80, 0x80), ('S', 0xC0, 0xC0, 0xC0),
    ('G', 0x80, 0x80, 0x80), ('R', 0xFF, 0x00, 0x00), ('L', 0x00, 0xFF, 0x00), ('Y', 0xFF, 0xFF, 0x00),
    ('B', 0x00, 0x00, 0xFF), ('F', 0xFF, 0x00, 0xFF), ('C', 0x00, 0xFF, 0xFF), ('W', 0xFF, 0xFF, 0xFF),
]
INDEX = {letter: i for i, (letter, *_rgb) in enumerate(PALETTE)}

MOUSE_32 = [
    "................K...............",
    "................K...............",
    "...............K................",
    "...............K................",
    "................K...............",
    "................K...............",
    "................K...............",
    "............KKKKKKKK............",
    "...........KlllKKrrrK...........",
    "..........KllllKKrrrrK..........",
    ".........KlllllKKrrrrrK.........",
    "........KllllllKKrrrrrrK........",
    "........KllllllKKrrrrrrK........",
    "........KllllllKKrrrrrrK........",
    "........KllllllKKrrrrrrK........",
    ".......KlllllllKKrrrrrrrK.......",
    ".......KKKKKKKKKKKKKKKKKK.......",
    ".......KWSSSSSSSSSSSSSSGK.......",
    ".......KWSSSSSSSSSSSSSSGK.......",
    ".......KWSSSSSSSSSSSSSSGK.......",
    ".......KWSSSSSSSSSSSSSSGK.......",
    ".......KWSSSSSSSSSSSSSSGK.......",
    "........KWSSSSSSSSSSSSGK........",
    "........KWSSSSSSSSSSSSGK........",
    "........KWSSSSSSSSSSSSGK........",
    "........KWSSSSSSSSSSSSGK........",
    ".........KWSSSSSSSSSSGK.........",
    "..........KSSSSSSSSSGK..........",
    "...........KGGGGGGGGK...........",
    "............KKKKKKKK............",
    "................................",
    "................................",
]
MOUSE_16 = [
    "........K.......",
    ".......K........",
    "........K.......",
    "........K.......",
    ".....KKKKKK.....",
    "....KllKKrrK....",
    "....KllKKrrK....",
    "....KKKKKKKK....",
    "....KSSSSSSK....",
    "....KSSSSSSK....",
    "....KSSSSSSK....",
    "....KSSSSSSK....",
    "....KSSSSSGK....",
    "....KGSSSSGK....",
    ".....KKKKKK.....",
    "................",
]

LETTERS = {  # (map, row, column) per size; 'B' is blue, '.' leaves the body
    ('L', 32): ([
        "BB....",
        "BB....",
        "BB....",
        "BB....",
        "BB....",
        "BB....",
        "BBBBBB",
        "BBBBBB",
    ], 19, 13),
    ('R', 32): ([
        "BBBBB.",
        "BB..BB",
        "BB..BB",
        "BBBBB.",
        "BBBB..",
        "BB.BB.",
        "BB..BB",
        "BB..BB",
    ], 19, 13),
    ('L', 16): ([
        "B..",
        "B..",
        "B..",
        "B..",
        "BBB",
    ], 8, 6),
    ('R', 16): ([
        "BB.",
        "B.B",
        "BB.",
        "B.B",
        "B.B",
    ], 8, 6),
}

# Icon 101: a sheet of paper with a quill pen.
PROGRAM_32 = [
    "................................",
    "............................YYN.",
    "....KKKKKKKKKKKKK..........YYNO.",
    "....KWWWWWWWWWWWSK.........YYNO.",
    "....KWWWWWWWWWWWSSK.......YYNO..",
    "....KWWWWWWWWWWWSSSK....YYYNOO..",
    "....KWWWWWWWWWWWSSSSK..YYYNOO...",
    "....KWWWWWWWWWWWSSSSSK.YYYNO....",
    "....KWWWWWWWWWWWWWWWWKYYYNOO....",
    "....KWWWWWWWWWWWWWWWWYYYNOO.....",
    "....KWWGGGGGGGGGGGGWWYYYNOO.....",
    "....KWWWWWWWWWWWWWWWYYYNOOK.....",
    "....KWWWWWWWWWWWWWWYYYNOOWK.....",
    "....KWWGGGGGGGGGGGYYYNOOWWK.....",
    "....KWWWWWWWWWWWWWYYYNOOWWK.....",
    "....KWWWWWWWWWWWWWYYNOOWWWK.....",
    "....KWWGGGGGGGGGGYYNOOWWWWK.....",
    "....KWWWWWWWWWWWYYNOOWWWWWK.....",
    "....KWWWWWWWWWWWYYNOWWWWWWK.....",
    "....KWWGGGGGGGGGGNOWWGGWWWK.....",
    "....KWWWWWWWWWWWNWOWWWWWWWK.....",
    "....KWWWWWWWWWWWNWWWWWWWWWK.....",
    "....KWWGGGGGGGGNGGGGGGGWWWK.....",
    "....KWWWWWWWWWKWWWWWWWWWWWK.....",
    "....KWWWWWWWWKWWWWWWWWWWWWK.....",
    "....KWWGGGGGGKGGGGGGGGGWWWK.....",
    "....KWWWWWWWKWWWWWWWWWWWWWK.....",
    "....KWWWWWWWWWWWWWWWWWWWWWK.....",
    "....KWWWWWWWWWWWWWWWWWWWWWK.....",
    "....KKKKKKKKKKKKKKKKKKKKKKK.....",
    "................................",
    "................................",
]
PROGRAM_16 = [
    "................",
    "..KKKKKKK....YN.",
    "..KWWWWWSK..YNO.",
    "..KWWWWWSSK.YN..",
    "..KGGGGGGGKYNO..",
    "..KWWWWWWWYNOK..",
    "..KGGGGGGGYNWK..",
    "..KWWWWWWYNOWK..",
    "..KGGGGGYNOGWK..",
    "..KWWWWWYNWWWK..",
    "..KGGGGGNOGGWK..",
    "..KWWWWNWWWWWK..",
    "..KGGGGKGGGGWK..",
    "..KWWWKWWWWWWK..",
    "..KKKKKKKKKKKK..",
    "................",
]


def mouse_icon(size, armed):
    """The mouse with the armed button ('l' or 'r') red and its letter."""
    rows = [list(r) for r in (MOUSE_32 if size == 32 else MOUSE_16)]
    for row in rows:
        for x, c in enumerate(row):
            if c in 'lr':
                row[x] = 'R' if c == armed else 'S'
    glyph, top, left = LETTERS[('L' if armed == 'l' else 'R', size)]
    for dy, line in enumerate(glyph):
        for dx, c in enumerate(line):
            if c != '.':
                rows[top + dy][left + dx] = c
    return [''.join(r) for r in rows]


def check_map(rows, size):
    assert len(rows) == size, f"{len(rows)} rows, want {size}"
    for r in rows:
        assert len(r) == size, f"row {r!r} is not {size} wide"
        for c in r:
            assert c == '.' or c in INDEX, f"unknown colour {c!r}"


def dib_4bpp(rows):
    """BITMAPINFOHEADER, palette, XOR bitmap and AND mask, rows bottom-up."""
    size = len(rows)
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 4, 0, 0, 0, 0, 16, 0)
    palette = b''.join(struct.pack('BBBB', b, g, r, 0) for _l, r, g, b in PALETTE)
    xor = bytearray()
    mask = bytearray()
    for r in reversed(rows):
        idx = [0 if c == '.' else INDEX[c] for c in r]
        line = bytes((idx[i] << 4) | idx[i + 1] for i in range(0, size, 2))
        xor += line + b'\0' * (-len(line) % 4)
        bits = 0
        for c in r:
            bits = (bits << 1) | (1 if c == '.' else 0)
        mline = bits.to_bytes(size // 8, 'big')
        mask += mline + b'\0' * (-len(mline) % 4)
    return header + palette + bytes(xor) + bytes(mask)


def icon_file(images):
    """An .ico with one 16-colour image per pixel map, larger first."""
    count = len(images)
    out = struct.pack('<HHH', 0, 1, count)
    offset = 6 + 16 * count
    blobs = []
    for rows in images:
        size = len(rows)
        check_map(rows, size)
        blob = dib_4bpp(rows)
        out += struct.pack('<BBBBHHII', size, size, 16, 0, 1, 4, len(blob), offset)
        offset += len(blob)
        blobs.append(blob)
    return out + b''.join(blobs)


def hidden_cursor():
    """32x32 monochrome cursor: every AND bit 1, every XOR bit 0, hot spot 0,0."""
    header = struct.pack('<IiiHHIIiiII', 40, 32, 64, 1, 1, 0, 0, 0, 0, 2, 0)
    palette = struct.pack('BBBB', 0, 0, 0, 0) + struct.pack('BBBB', 255, 255, 255, 0)
    blob = header + palette + b'\0' * (4 * 32) + b'\xff' * (4 * 32)
    return struct.pack('<HHH', 0, 2, 1) + struct.pack('<BBBBHHII', 32, 32, 0, 0, 0, 0, len(blob), 22) + blob


def artwork():
    return {
        'program.ico': icon_file([PROGRAM_32, PROGRAM_16]),
        'left_button.ico': icon_file([mouse_icon(32, 'l'), mouse_icon(16, 'l')]),
        'right_button.ico': icon_file([mouse_icon(32, 'r'), mouse_icon(16, 'r')]),
        'hidden.cur': hidden_cursor(),
    }


def run(argv, artwork, usage):
    """The command line of every artwork script: OUTDIR writes the files,
    --check DIR fails unless DIR holds exactly what would be written."""
    script = Path(argv[0]).name
    if len(argv) == 3 and argv[1] == '--check':
        folder = Path(argv[2])
        stale = [name for name, data in artwork().items()
                 if not (folder / name).is_file() or (folder / name).read_bytes() != data]
        if stale:
            print('out of date: ' + ' '.join(stale) + f' (run {script} {argv[2]})')
            return 1
        print(f'{script}: artwork up to date')
        return 0
    if len(argv) == 2:
        for name, data in artwork().items():
            (Path(argv[1]) / name).write_bytes(data)
        return 0
    print(usage)
    return 2


if __name__ == '__main__':
    sys.exit(run(sys.argv, artwork, __doc__))
