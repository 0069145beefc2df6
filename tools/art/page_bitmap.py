#!/usr/bin/env python3
"""Draws the picture at the left of the installer's pages: a rising bar chart under a blue sky,
a stack of gold coins and a piggy bank on the grass. Writes a 115 x 232 BMP, 4 bits per pixel,
16-colour palette, uncompressed.

Areas of one colour and no dither: a page shows the picture through a bordered static control
that may squeeze it by a few pixels, and squeezing merges neighbouring pixels (AND in the
default stretch mode), which turns a dither pattern into stray lines.

Usage: page_bitmap.py [output.bmp]   (default: resources/page.bmp of this repository)"""

import os
import struct
import sys

sys.dont_write_bytecode = True  # keep the source tree free of __pycache__
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from raster import Canvas, ellipse, rect, polygon, thick_line, union, minus, mix, quantize  # noqa: E402

WIDTH, HEIGHT = 115, 232

PALETTE = [
    (18, 22, 56),     # 0 ink
    (24, 52, 136),    # 1 deep blue
    (48, 96, 192),    # 2 blue
    (100, 150, 226),  # 3 sky
    (172, 206, 246),  # 4 light sky
    (255, 255, 255),  # 5 white
    (128, 78, 20),    # 6 bronze
    (214, 158, 28),   # 7 gold
    (250, 214, 72),   # 8 bright gold
    (255, 246, 184),  # 9 pale gold
    (24, 96, 46),     # 10 dark green
    (64, 160, 70),    # 11 green
    (150, 214, 108),  # 12 light green
    (208, 48, 38),    # 13 red
    (242, 152, 172),  # 14 pink
    (184, 84, 116),   # 15 dark pink
]
P = PALETTE
GROUND_Y = 150


def sky(x, y):
    t = y / GROUND_Y
    return mix(P[1], P[4], t ** 0.9)


def ground(x, y):
    t = (y - GROUND_Y) / (HEIGHT - GROUND_Y)
    return mix(P[11], P[10], t)


def draw(c):
    c.fill(lambda x, y: sky(x, y) if y < GROUND_Y else ground(x, y))

    # Sun.
    c.shape(ellipse(92, 26, 14, 14), P[9], (76, 10, 108, 42))
    c.shape(ellipse(92, 26, 12, 12), P[8], (78, 12, 106, 40))
    c.shape(ellipse(88, 22, 5, 4), P[9], (82, 17, 94, 27))

    # Clouds.
    for cx, cy, s in ((28, 44, 1.0), (70, 76, 0.8)):
        cloud = union(ellipse(cx - 10 * s, cy + 3 * s, 10 * s, 6 * s), ellipse(cx, cy - 2 * s, 11 * s, 9 * s),
                      ellipse(cx + 11 * s, cy + 2 * s, 10 * s, 7 * s), rect(cx - 18 * s, cy + 2 * s, cx + 19 * s, cy + 9 * s))
        c.shape(cloud, lambda x, y, cy=cy, s=s: mix(P[5], P[4], (y - cy + 8 * s) / (20 * s)),
                (cx - 25 * s, cy - 14 * s, cx + 25 * s, cy + 12 * s))

    # Grass horizon: a gentle hill line.
    hill = lambda x, y: y >= GROUND_Y - 6 + 5 * ((x - 60) / 60) ** 2
    c.shape(hill, lambda x, y: mix(P[12], P[11], (y - GROUND_Y + 6) / 10), (0, GROUND_Y - 8, WIDTH, GROUND_Y + 4))

    # Bar chart standing on a base, each bar lit from the left.
    base = 160
    bars = ((10, 22), (30, 40), (50, 58), (70, 80))
    for i, (x0, h) in enumerate(bars):
        x1 = x0 + 15
        c.shape(rect(x0 + 2, base - h + 2, x1 + 2, base + 1), P[1], (x0, base - h, x1 + 3, base + 2))  # shadow
        c.shape(rect(x0, base - h, x1, base), lambda x, y, x0=x0: P[12] if x < x0 + 4 else (P[11] if x < x0 + 11 else P[10]),
                (x0, base - h, x1, base))
        c.shape(rect(x0, base - h, x1, base - h + 2), P[12], (x0, base - h, x1, base - h + 2))
    c.shape(ellipse(53, base + 1, 50, 3), P[10], (2, base - 3, 104, base + 5))

    # Rising arrow over the bars.
    pts = [(8, 142), (30, 124), (48, 130), (70, 102), (86, 90)]
    arrow = union(*[thick_line(*pts[i], *pts[i + 1], 4.2) for i in range(len(pts) - 1)])
    c.shape(arrow, P[13], (4, 76, 100, 148))
    c.shape(polygon([(101, 76), (80, 82), (93, 97)]), P[13], (78, 74, 104, 100))

    # Stack of coins on the grass, left.
    for i in range(5):
        cy = 214 - i * 6
        dx = (-1, 1, 0, 2, -1)[i]
        cx = 27 + dx
        side = union(rect(cx - 17, cy - 3, cx + 17, cy + 3), ellipse(cx, cy + 3, 17, 5))
        c.shape(side, lambda x, y, cx=cx: mix(P[8], P[6], (x - cx + 17) / 34),
                (cx - 18, cy - 4, cx + 18, cy + 9))
        c.shape(ellipse(cx, cy - 3, 17, 5), lambda x, y, cx=cx, cy=cy: mix(P[9], P[8], (x - cx + 17) / 28),
                (cx - 18, cy - 9, cx + 18, cy + 3))
        c.shape(minus(ellipse(cx, cy - 3, 12, 3.3), ellipse(cx, cy - 3, 10, 2.4)), P[7], (cx - 13, cy - 7, cx + 13, cy + 1))

    # Piggy bank, right.
    px, py = 82, 204
    for lx in (-13, -4, 7, 15):
        c.shape(rect(px + lx - 3, py + 8, px + lx + 3, py + 20), P[15], (px + lx - 4, py + 7, px + lx + 4, py + 21))
    c.shape(polygon([(px - 21, py - 4), (px - 28, py - 10), (px - 25, py - 2)]), P[15], (px - 30, py - 12, px - 20, py))  # tail
    c.shape(ellipse(px, py, 24, 16), lambda x, y: mix(P[14], P[15], max(0.0, (y - py) / 16 + (x - px) / 60)),
            (px - 25, py - 17, px + 25, py + 17))
    c.shape(polygon([(px + 8, py - 12), (px + 12, py - 23), (px + 18, py - 10)]), P[15], (px + 6, py - 24, px + 20, py - 9))  # ear
    c.shape(ellipse(px + 24, py + 1, 5, 6.5), P[15], (px + 18, py - 6, px + 30, py + 8))  # snout
    c.shape(ellipse(px + 23, py - 1, 1.2, 1.5), P[0], (px + 21, py - 3, px + 25, py + 1))
    c.shape(ellipse(px + 23, py + 3.5, 1.2, 1.5), P[0], (px + 21, py + 1, px + 25, py + 6))
    c.shape(ellipse(px + 13, py - 5, 2.2, 2.4), P[0], (px + 10, py - 8, px + 16, py - 2))  # eye
    c.shape(ellipse(px + 13.6, py - 5.8, 0.8, 0.8), P[5], (px + 12, py - 7, px + 15, py - 4))
    c.shape(ellipse(px - 8, py - 8, 8, 3.5), mix(P[14], P[5], 0.55), (px - 17, py - 12, px + 1, py - 4))  # shine
    c.shape(rect(px - 6, py - 16.5, px + 6, py - 14), P[0], (px - 7, py - 17, px + 7, py - 13))  # slot
    # A coin dropping into the slot.
    c.shape(ellipse(px, py - 27, 6.5, 7.5), P[6], (px - 8, py - 36, px + 8, py - 18))
    c.shape(ellipse(px - 0.6, py - 27.5, 5, 6), lambda x, y: mix(P[9], P[8], (x - px + 5) / 9), (px - 7, py - 35, px + 6, py - 20))
    c.shape(rect(px - 0.8, py - 31, px + 0.8, py - 24), P[7], (px - 2, py - 32, px + 2, py - 23))


def write_bmp(path, indices):
    stride = ((WIDTH * 4 + 31) // 32) * 4
    rows = []
    for y in range(HEIGHT - 1, -1, -1):  # bottom-up
        row = bytearray(stride)
        for x in range(WIDTH):
            v = indices[y][x]
            row[x // 2] |= (v << 4) if x % 2 == 0 else v
        rows.append(bytes(row))
    pixels = b"".join(rows)
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in PALETTE)
    info = struct.pack("<IiiHHIIiiII", 40, WIDTH, HEIGHT, 1, 4, 0, len(pixels), 2835, 2835, 16, 0)
    offset = 14 + len(info) + len(palette)
    header = struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset)
    with open(path, "wb") as f:
        f.write(header + info + palette + pixels)


def main():
    root = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(root, "resources", "page.bmp")
    canvas = Canvas(WIDTH, HEIGHT, samples=4)
    draw(canvas)
    write_bmp(out, quantize(canvas, PALETTE))


if __name__ == "__main__":
    main()
