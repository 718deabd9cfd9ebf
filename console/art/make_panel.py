#!/usr/bin/env python3
"""Draws the console's artwork: panel.bmp, the picture on its touch panel
page, and program.ico, its program icon (icon 128).

    make_panel.py OUTDIR          write panel.bmp and program.ico
    make_panel.py --check DIR     fail unless DIR holds exactly what would be written

The picture is a flat-panel monitor with its touch glass, a finger touching
it and the USB cable it hangs on: 8 bits per pixel, bottom-up, the palette
made of exactly the colours the shapes below use. The icon shows the same
monitor and touch in 32x32 and 16x16, 16 colours of the VGA palette.
"""
import struct
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / 'agent' / 'art'))
import make_art  # noqa: E402

WIDTH, HEIGHT = 320, 224

BACKGROUND = (236, 236, 236)
BEZEL, BEZEL_EDGE, BEZEL_LIGHT = (52, 56, 62), (24, 26, 30), (92, 98, 106)
STAND, STAND_DARK = (120, 124, 130), (84, 88, 94)
CABLE, PLUG, PLUG_METAL = (40, 40, 44), (70, 72, 78), (200, 200, 206)
SKIN, SKIN_DARK, NAIL = (236, 190, 150), (196, 146, 110), (248, 222, 204)
RIPPLE = (255, 255, 255)
LED = (60, 220, 90)
ICON_COLOURS = [(250, 200, 60), (90, 200, 120), (230, 100, 90), (120, 160, 240)]


class Canvas:
    def __init__(self, w, h, colour):
        self.w, self.h = w, h
        self.px = [[colour] * w for _ in range(h)]

    def put(self, x, y, colour):
        if 0 <= x < self.w and 0 <= y < self.h:
            self.px[y][x] = colour

    def rect(self, x0, y0, x1, y1, colour):
        for y in range(max(y0, 0), min(y1, self.h)):
            for x in range(max(x0, 0), min(x1, self.w)):
                self.px[y][x] = colour

    def round_rect(self, x0, y0, x1, y1, r, colour):
        for y in range(y0, y1):
            for x in range(x0, x1):
                cx = min(max(x, x0 + r), x1 - 1 - r)
                cy = min(max(y, y0 + r), y1 - 1 - r)
                if (x - cx) ** 2 + (y - cy) ** 2 <= r * r:
                    self.put(x, y, colour)

    def ellipse(self, cx, cy, rx, ry, colour, inner=0.0):
        for y in range(int(cy - ry) - 1, int(cy + ry) + 2):
            for x in range(int(cx - rx) - 1, int(cx + rx) + 2):
                d = ((x - cx) / rx) ** 2 + ((y - cy) / ry) ** 2
                if inner * inner <= d <= 1.0:
                    self.put(x, y, colour)

    def polygon(self, points, colour):
        ys = [p[1] for p in points]
        for y in range(int(min(ys)), int(max(ys)) + 1):
            xs = []
            for (xa, ya), (xb, yb) in zip(points, points[1:] + points[:1]):
                if (ya <= y < yb) or (yb <= y < ya):
                    xs.append(xa + (y - ya) * (xb - xa) / (yb - ya))
            xs.sort()
            for a, b in zip(xs[0::2], xs[1::2]):
                for x in range(round(a), round(b)):
                    self.put(x, y, colour)

    def thick_path(self, points, radius, colour):
        for (xa, ya), (xb, yb) in zip(points, points[1:]):
            steps = max(abs(xb - xa), abs(yb - ya), 1)
            for i in range(steps + 1):
                self.ellipse(xa + (xb - xa) * i / steps, ya + (yb - ya) * i / steps, radius, radius, colour)


def bezier(p0, p1, p2, p3, n=40):
    out = []
    for i in range(n + 1):
        t = i / n
        a, b, c, d = (1 - t) ** 3, 3 * t * (1 - t) ** 2, 3 * t * t * (1 - t), t ** 3
        out.append((round(a * p0[0] + b * p1[0] + c * p2[0] + d * p3[0]),
                    round(a * p0[1] + b * p1[1] + c * p2[1] + d * p3[1])))
    return out


def draw():
    c = Canvas(WIDTH, HEIGHT, BACKGROUND)
    # Stand and foot behind the monitor.
    c.polygon([(138, 170), (182, 170), (192, 204), (128, 204)], STAND)
    c.ellipse(160, 208, 62, 9, STAND_DARK)
    c.ellipse(160, 206, 58, 7, STAND)
    # USB cable from the back of the monitor down to its plug.
    c.thick_path(bezier((84, 160), (70, 200), (60, 206), (34, 206)), 2, CABLE)
    c.round_rect(14, 198, 40, 214, 3, PLUG)
    c.rect(2, 201, 16, 211, PLUG_METAL)
    c.rect(5, 204, 11, 208, PLUG)
    # The bezel and the screen under its touch glass.
    c.round_rect(20, 8, 300, 178, 10, BEZEL_EDGE)
    c.round_rect(22, 10, 298, 176, 9, BEZEL)
    c.rect(30, 12, 290, 13, BEZEL_LIGHT)
    x0, y0, x1, y1 = 34, 20, 286, 160
    for y in range(y0, y1):  # a desktop fading from deep to light blue
        t = (y - y0) // 5
        c.rect(x0, y, x1, y + 1, (20 + 3 * t, 60 + 4 * t, 140 + 3 * t))
    for x in range(x0 + 60, x1):  # the glass's sheen, a diagonal band
        for y in range(y0, y1):
            if 0 <= (x - x0) - (y - y0) * 1.6 - 150 < 26:
                r, g, b = c.px[y][x]
                c.px[y][x] = (min(r + 24, 255), min(g + 24, 255), min(b + 24, 255))
    for i, colour in enumerate(ICON_COLOURS):  # icons on the desktop
        c.round_rect(46, 30 + 30 * i, 66, 50 + 30 * i, 3, colour)
    c.rect(x0, y1 - 12, x1, y1, (200, 204, 212))  # task bar
    c.rect(x0 + 4, y1 - 10, x0 + 34, y1 - 2, (90, 200, 120))
    c.ellipse(270, 168, 2.5, 2.5, LED)
    # The touch: rings spreading from the fingertip.
    tip = (178, 88)
    for r in (30, 21, 12):
        c.ellipse(tip[0], tip[1], r, r * 0.8, RIPPLE, inner=(r - 2.2) / r)
    # The finger and the back of the hand, coming in from the lower right.
    c.thick_path([(tip[0] + 2, tip[1] + 4), (226, 150)], 9, SKIN_DARK)
    c.thick_path([(tip[0], tip[1] + 2), (224, 148)], 8, SKIN)
    c.polygon([(206, 136), (250, 122), (300, 160), (300, 224), (232, 224), (214, 176)], SKIN_DARK)
    c.polygon([(208, 140), (248, 126), (298, 162), (298, 224), (234, 224), (216, 176)], SKIN)
    for k in range(3):  # folded fingers
        c.ellipse(236 + 10 * k, 150 + 14 * k, 15, 8, SKIN_DARK, inner=0.85)
    c.ellipse(tip[0] + 3, tip[1] + 6, 4, 5, NAIL)
    return c


def bmp(canvas):
    colours = sorted({p for row in canvas.px for p in row})
    assert len(colours) <= 256, f"{len(colours)} colours, at most 256 fit"
    index = {p: i for i, p in enumerate(colours)}
    palette = b''.join(struct.pack('BBBB', b, g, r, 0) for r, g, b in colours)
    palette += b'\0' * (1024 - len(palette))
    stride = (canvas.w + 3) // 4 * 4
    pixels = b''.join(bytes(index[p] for p in row) + b'\0' * (stride - canvas.w) for row in reversed(canvas.px))
    offset = 14 + 40 + 1024
    header = struct.pack('<2sIHHI', b'BM', offset + len(pixels), 0, 0, offset)
    info = struct.pack('<IiiHHIIiiII', 40, canvas.w, canvas.h, 1, 8, 0, len(pixels), 2835, 2835, len(colours), 0)
    return header + info + palette + pixels


VGA = [(0x00, 0x00, 0x00), (0x80, 0x00, 0x00), (0x00, 0x80, 0x00), (0x80, 0x80, 0x00), (0x00, 0x00, 0x80),
       (0x80, 0x00, 0x80), (0x00, 0x80, 0x80), (0xC0, 0xC0, 0xC0), (0x80, 0x80, 0x80), (0xFF, 0x00, 0x00),
       (0x00, 0xFF, 0x00), (0xFF, 0xFF, 0x00), (0x00, 0x00, 0xFF), (0xFF, 0x00, 0xFF), (0x00, 0xFF, 0xFF),
       (0xFF, 0xFF, 0xFF)]
BLACK, NAVY, SILVER, GREY, BLUE, WHITE, YELLOW = 0, 4, 7, 8, 12, 15, 11
CLEAR = None


def draw_icon(size):
    """The monitor, a ring where it is touched and the finger, scaled from 32."""
    c = Canvas(size, size, CLEAR)
    k = size / 32
    box = lambda x0, y0, x1, y1, colour: c.rect(round(x0 * k), round(y0 * k), round(x1 * k), round(y1 * k), colour)
    box(1, 3, 31, 25, BLACK)  # bezel
    box(2, 4, 30, 24, GREY)
    box(4, 6, 28, 22, NAVY)  # screen
    box(4, 14, 28, 22, BLUE)
    box(13, 25, 19, 28, GREY)  # stand and foot
    box(8, 28, 24, 30, BLACK)
    c.ellipse(15 * k, 12 * k, 5 * k, 4 * k, WHITE, inner=0.6)  # the touch
    c.thick_path([(round(16 * k), round(13 * k)), (round(26 * k), round(29 * k))], 2.6 * k, BLACK)  # finger
    c.thick_path([(round(16 * k), round(13 * k)), (round(26 * k), round(29 * k))], 1.6 * k, YELLOW)
    return c


def icon(canvases):
    out = struct.pack('<HHH', 0, 1, len(canvases))
    offset = 6 + 16 * len(canvases)
    blobs = []
    for c in canvases:
        n = c.w
        header = struct.pack('<IiiHHIIiiII', 40, n, n * 2, 1, 4, 0, 0, 0, 0, 16, 0)
        palette = b''.join(struct.pack('BBBB', b, g, r, 0) for r, g, b in VGA)
        xor, mask = b'', b''
        for row in reversed(c.px):
            idx = [0 if p is CLEAR else p for p in row]
            line = bytes(idx[i] << 4 | idx[i + 1] for i in range(0, n, 2))
            xor += line + b'\0' * (-len(line) % 4)
            bits = int(''.join('1' if p is CLEAR else '0' for p in row), 2).to_bytes(n // 8, 'big')
            mask += bits + b'\0' * (-len(bits) % 4)
        blob = header + palette + xor + mask
        out += struct.pack('<BBBBHHII', n, n, 16, 0, 1, 4, len(blob), offset)
        offset += len(blob)
        blobs.append(blob)
    return out + b''.join(blobs)


def artwork():
    return {'panel.bmp': bmp(draw()), 'program.ico': icon([draw_icon(32), draw_icon(16)])}


if __name__ == '__main__':
    sys.exit(make_art.run(sys.argv, artwork, __doc__))
