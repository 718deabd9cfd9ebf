#!/usr/bin/env python3
"""Turns the 24-bit BMP screenshots the console_monitors scenarios leave in
TP_SHOTS into PNG files: shots_to_png.py SHOTS_DIR OUT_DIR."""
import pathlib
import struct
import sys
import zlib


def bmp_rows(data):
    offset, = struct.unpack_from("<I", data, 10)
    width, height, _, bits = struct.unpack_from("<iiHH", data, 18)
    if bits != 24:
        raise ValueError("not a 24-bit bitmap")
    stride = (width * 3 + 3) & ~3
    rows = []
    for y in range(abs(height)):
        src = height - 1 - y if height > 0 else y  # bottom-up unless the height is negative
        row = data[offset + src * stride: offset + src * stride + width * 3]
        rows.append(b"".join(row[x + 2:x + 3] + row[x + 1:x + 2] + row[x:x + 1] for x in range(0, width * 3, 3)))
    return width, abs(height), rows


def png(width, height, rows):
    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))
    raw = b"".join(b"\0" + r for r in rows)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def main():
    shots, out = pathlib.Path(sys.argv[1]), pathlib.Path(sys.argv[2])
    for bmp in sorted(shots.glob("*.bmp")):
        target = out / (bmp.stem + ".png")
        target.write_bytes(png(*bmp_rows(bmp.read_bytes())))
        print(target)


if __name__ == "__main__":
    main()
