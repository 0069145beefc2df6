#!/usr/bin/env python3
"""Draws the installer's icon, a gold coin with a rising green bar chart, and writes an .ico with
four images: 16 x 16 and 32 x 32, each in 16 colours (4 bits per pixel) and 256 colours (8).

Usage: icon.py [output.ico]   (default: resources/pelbrix.ico of this repository)"""

import os
import struct
import sys

sys.dont_write_bytecode = True  # keep the source tree free of __pycache__
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from raster import Canvas, ellipse, rect, minus, mix, nearest  # noqa: E402

# The standard 16-colour palette: what 4-bit icons are drawn in everywhere.
VGA16 = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128), (0, 128, 128),
    (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0), (0, 0, 255),
    (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
# Colours of the picture: (rim, face, face highlight, bar light, bar, bar shade, outline).
# In 16 colours the picture keeps to the standard palette, so each area maps to one colour.
COLOURS = {
    4: ((128, 128, 0), (255, 255, 0), (255, 255, 0), (0, 255, 0), (0, 128, 0), (0, 128, 0), (0, 0, 0)),
    8: ((150, 100, 10), (235, 180, 30), (255, 235, 110), (130, 225, 100), (40, 170, 60), (0, 90, 30), (20, 30, 40)),
}


def ramp(a, b, steps):
    return [tuple(round(a[k] + (b[k] - a[k]) * i / (steps - 1)) for k in range(3)) for i in range(steps)]


# 256 colours: the 16 standard ones, fine ramps through the picture's own colours (smooth shading
# of the coin and the bars, edges blended towards them), and a grey ramp to fill up.
RIM, FACE, LIGHT, BAR_LIGHT, BAR, BAR_SHADE, INK = COLOURS[8]
PALETTE256 = VGA16 + ramp(RIM, FACE, 48) + ramp(FACE, LIGHT, 48) + ramp(INK, RIM, 24) + \
    ramp(BAR_SHADE, BAR, 24) + ramp(BAR, BAR_LIGHT, 24) + ramp(INK, BAR_SHADE, 16) + ramp(INK, BAR, 16)
PALETTE256 += ramp((40, 40, 40), (250, 250, 250), 256 - len(PALETTE256))
assert len(PALETTE256) == 256


def draw(size, bits):
    """The picture in a 32-unit square, drawn at size pixels in the colours for bits."""
    rim, face, light, bar_light, bar, bar_shade, ink = COLOURS[bits]
    k = size / 32.0
    c = Canvas(size, size, samples=6, background=(0, 0, 0))

    def S(*v):
        return tuple(x * k for x in v)

    # Coin: dark rim, a face shaded from the upper left, an inner ring.
    cx, cy, r = 13.0, 13.5, 12.5
    c.shape(ellipse(*S(cx, cy), *S(r, r)), rim)
    c.shape(ellipse(*S(cx - 0.4, cy - 0.4), *S(r - 1.8, r - 1.8)),
            lambda x, y: mix(light, face, ((x - (cx - 8) * k) + (y - (cy - 8) * k)) / (22 * k)))
    if size >= 32:
        ring = minus(ellipse(*S(cx - 0.4, cy - 0.4), *S(r - 4.2, r - 4.2)),
                     ellipse(*S(cx - 0.4, cy - 0.4), *S(r - 5.4, r - 5.4)))
        c.shape(ring, rim)
    # Bars in front of the coin, lower right, each with a dark outline one pixel wide. At 16
    # pixels they sit on whole pixels (2 wide, outlines shared) so that they stay sharp.
    o = 1.0 / k
    bars = ((16.0, 10.0), (21.5, 15.0), (27.0, 21.0)) if size >= 32 else ((16.0, 10.0), (22.0, 16.0), (28.0, 22.0))
    split = (1.6, 3.0) if size >= 32 else (2.0, 4.0)
    for x0, h in bars:
        c.shape(rect(*S(x0 - o, 32 - h - o, x0 + 4 + o, 32)), ink)
        c.shape(rect(*S(x0, 32 - h, x0 + 4, 32)),
                lambda x, y, x0=x0: bar_light if x < (x0 + split[0]) * k else (bar if x < (x0 + split[1]) * k else bar_shade))
    return c


def image(size, bits):
    c = draw(size, bits)
    palette = VGA16 if bits == 4 else PALETTE256
    index, mask = [], []
    for y in range(size):
        row, mrow = [], []
        for x in range(size):
            a = c.alpha[y][x]
            if a < 0.5:
                row.append(0)
                mrow.append(1)  # transparent
                continue
            rgb = [v / a for v in c.rgb[y][x]]  # drawn over black: undo the blend at the edges
            row.append(nearest(palette, rgb))
            mrow.append(0)
        index.append(row)
        mask.append(mrow)

    used = 16  # the 4-bit images hold the whole standard palette
    if bits == 8:
        # Only the colours the picture uses (transparent pixels are 0): an 8-bit DIB lists as many
        # as biClrUsed says, which spares the file the rest of the 256.
        order = sorted({i for row in index for i in row})
        palette = [palette[i] for i in order]
        index = [[order.index(i) for i in row] for row in index]
        used = len(order)
    xor_stride = ((size * bits + 31) // 32) * 4
    and_stride = ((size + 31) // 32) * 4
    xor, and_ = bytearray(), bytearray()
    for y in range(size - 1, -1, -1):  # bottom-up
        row = bytearray(xor_stride)
        mrow = bytearray(and_stride)
        for x in range(size):
            if bits == 4:
                row[x // 2] |= index[y][x] << (4 if x % 2 == 0 else 0)
            else:
                row[x] = index[y][x]
            if mask[y][x]:
                mrow[x // 8] |= 0x80 >> (x % 8)
        xor += row
        and_ += mrow
    colours = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in palette)
    info = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, bits, 0, len(xor) + len(and_), 0, 0,
                       used if bits == 8 else 0, 0)
    return info + colours + bytes(xor) + bytes(and_)


def main():
    root = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(root, "resources", "pelbrix.ico")
    formats = ((32, 4), (16, 4), (32, 8), (16, 8))
    images = [image(size, bits) for size, bits in formats]
    data = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for (size, bits), img in zip(formats, images):
        data += struct.pack("<BBBBHHII", size, size, 16 if bits == 4 else 0, 0, 1, bits, len(img), offset)
        offset += len(img)
    with open(out, "wb") as f:
        f.write(data + b"".join(images))


if __name__ == "__main__":
    main()
