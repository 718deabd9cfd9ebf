#!/usr/bin/env python3
"""Draws the console pages' icons from the pixel maps and shapes below.

    make_icons.py OUTDIR          write sun1-4.ico, moon1-4.ico, mouse_l.ico,
                                  mouse_r.ico and arrows.ico
    make_icons.py --check DIR     fail unless DIR holds exactly what would be written

Every icon is one 32x32 image in the 16 VGA colours, written by the agent's
art script (agent/art/make_art.py), whose palette letters the maps use; '.'
is transparent. The sun and moon frames play in a loop: the sun's rays turn
by a quarter of their spacing per frame, the moon's stars twinkle and its
cloud drifts.
"""
import math
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / 'agent' / 'art'))
import make_art  # noqa: E402

SIZE = 32
FRAMES = 4


def blank(fill='.'):
    return [[fill] * SIZE for _ in range(SIZE)]


def rows_of(canvas):
    return [''.join(r) for r in canvas]


def paint(canvas, test, colour):
    for y in range(SIZE):
        for x in range(SIZE):
            if test(x + 0.5, y + 0.5):
                canvas[y][x] = colour


def stamp(canvas, pixel_map, top, left):
    for dy, line in enumerate(pixel_map):
        for dx, c in enumerate(line):
            if c != '.' and 0 <= top + dy < SIZE and 0 <= left + dx < SIZE:
                canvas[top + dy][left + dx] = c


# ---------------------------------------------------------------- sun

def sun(frame):
    """A red sun with eight rays, long and short by turns, turned per frame."""
    c = blank()
    cx = cy = SIZE / 2
    turn = frame * (math.pi / 4) / FRAMES
    for k in range(8):
        angle = turn + k * math.pi / 4
        reach = 15.0 if k % 2 == 0 else 13.0
        dx, dy = math.cos(angle), math.sin(angle)

        def ray(x, y, dx=dx, dy=dy, reach=reach):
            along = (x - cx) * dx + (y - cy) * dy
            across = abs(-(x - cx) * dy + (y - cy) * dx)
            return 9.5 <= along <= reach and across <= 1.1 - 0.06 * (along - 9.5)

        paint(c, ray, 'R' if k % 2 == 0 else 'Y')
    paint(c, lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= 8.5 ** 2, 'M')
    paint(c, lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= 7.5 ** 2, 'R')
    paint(c, lambda x, y: (x - cx + 2.5) ** 2 + (y - cy + 2.5) ** 2 <= 2.2 ** 2, 'Y')
    return rows_of(c)


# ---------------------------------------------------------------- moon

CLOUD = [
    "......SSSS..........",
    "....SSWWWWSS...SSS..",
    "..SSWWWWWWWWSSSWWWS.",
    ".SWWWWWWWWWWWWWWWWWS",
    "SWWWWWWWWWWWWWWWWWWS",
    "SWSSWWWWWWWWWWWWWSSG",
    ".GSSSSSSSSSSSSSSSSG.",
    "..GGGGGGGGGGGGGGGG..",
]
# Star positions (x, y) and the frames in which each one shines.
STARS = [(4, 4, (0, 1, 2)), (26, 3, (1, 2, 3)), (22, 10, (0, 2, 3)), (29, 15, (0, 1, 3)),
         (8, 15, (0, 2)), (17, 3, (1, 3))]


def moon(frame):
    """A yellow crescent over a drifting grey cloud, stars twinkling, on dark blue."""
    c = blank('N')
    for x, y, lit in STARS:
        if frame in lit:
            c[y][x] = 'W'
            for ax, ay in ((x - 1, y), (x + 1, y), (x, y - 1), (x, y + 1)):
                if 0 <= ax < SIZE and 0 <= ay < SIZE:
                    c[ay][ax] = 'Y' if frame % 2 == 0 else 'S'
        else:
            c[y][x] = 'G'
    outer = (14.0, 13.0, 8.5)
    inner = (18.0, 10.5, 7.5)
    paint(c, lambda x, y: (x - outer[0]) ** 2 + (y - outer[1]) ** 2 <= outer[2] ** 2
          and (x - inner[0]) ** 2 + (y - inner[1]) ** 2 > inner[2] ** 2, 'Y')
    stamp(c, CLOUD, 22, 4 + frame * 2)
    return rows_of(c)


# ---------------------------------------------------------------- mice

MOUSE = [
    "................................",
    "................................",
    "...............KK...............",
    "..............K..K..............",
    "..............K...KK............",
    "...............K....K...........",
    "................KK...K..........",
    "................K...............",
    "..........KKKKKKKKKKKK..........",
    ".........KlllllKKrrrrrK.........",
    "........KllllllKKrrrrrrK........",
    ".......KlllllllKKrrrrrrrK.......",
    ".......KlllllllKKrrrrrrrK.......",
    ".......KlllllllKKrrrrrrrK.......",
    ".......KlllllllKKrrrrrrrK.......",
    ".......KKKKKKKKKKKKKKKKKK.......",
    ".......KWSSSSSSSSSSSSSSGK.......",
    ".......KWSSSSSSSSSSSSSSGK.......",
    ".......KWSSSSSSSSSSSSSSGK.......",
    ".......KWSSSSSSSSSSSSSSGK.......",
    ".......KWSSSSSSSSSSSSSSGK.......",
    ".......KWSSSSSSSSSSSSSSGK.......",
    "........KWSSSSSSSSSSSSGK........",
    "........KWSSSSSSSSSSSSGK........",
    "........KWSSSSSSSSSSSSGK........",
    ".........KWSSSSSSSSSSGK.........",
    "..........KSSSSSSSSSGK..........",
    "...........KGGGGGGGGK...........",
    "............KKKKKKKK............",
    "................................",
    "................................",
    "................................",
]
LETTER = {
    'L': ["BB....", "BB....", "BB....", "BB....", "BB....", "BBBBBB", "BBBBBB"],
    'R': ["BBBBB.", "BB..BB", "BB..BB", "BBBBB.", "BB.BB.", "BB..BB", "BB..BB"],
}


def mouse(side):
    """The mouse with one button lit red and its letter on the body."""
    c = [list(r) for r in MOUSE]
    for row in c:
        for x, ch in enumerate(row):
            if ch in 'lr':
                row[x] = 'R' if ch == side else 'W'
    stamp(c, LETTER['L' if side == 'l' else 'R'], 18, 13)
    return rows_of(c)


# ---------------------------------------------------------------- arrows

def arrows():
    """Two green arrows chasing each other round a circle, clockwise."""
    c = blank()
    cx = cy = SIZE / 2

    def arc(start, end):
        def test(x, y):
            r = math.hypot(x - cx, y - cy)
            a = math.degrees(math.atan2(y - cy, x - cx)) % 360
            return 8.0 <= r <= 11.0 and start <= a <= end
        return test

    def head(tip_deg):
        # A triangle ahead of the arc's end, pointing along the turn.
        t = math.radians(tip_deg)
        tip = (cx + 9.5 * math.cos(t + 0.55), cy + 9.5 * math.sin(t + 0.55))
        out = (cx + 14.5 * math.cos(t - 0.12), cy + 14.5 * math.sin(t - 0.12))
        inn = (cx + 4.5 * math.cos(t - 0.12), cy + 4.5 * math.sin(t - 0.12))

        def side(p, q, x, y):
            return (q[0] - p[0]) * (y - p[1]) - (q[1] - p[1]) * (x - p[0])

        def test(x, y):
            s1, s2, s3 = side(out, tip, x, y), side(tip, inn, x, y), side(inn, out, x, y)
            return (s1 >= 0 and s2 >= 0 and s3 >= 0) or (s1 <= 0 and s2 <= 0 and s3 <= 0)
        return test

    for start in (200, 20):
        paint(c, arc(start, start + 130), 'D')
    # A light edge on the outside of each band, then the heads over it.
    for y in range(SIZE):
        for x in range(SIZE):
            if c[y][x] == 'D' and math.hypot(x + 0.5 - cx, y + 0.5 - cy) >= 10.2:
                c[y][x] = 'L'
    for start in (200, 20):
        paint(c, head(start + 130), 'D')
    return rows_of(c)


def artwork():
    images = {}
    for f in range(FRAMES):
        images[f'sun{f + 1}.ico'] = sun(f)
        images[f'moon{f + 1}.ico'] = moon(f)
    images['mouse_l.ico'] = mouse('l')
    images['mouse_r.ico'] = mouse('r')
    images['arrows.ico'] = arrows()
    return {name: make_art.icon_file([rows]) for name, rows in images.items()}


if __name__ == '__main__':
    sys.exit(make_art.run(sys.argv, artwork, __doc__))
