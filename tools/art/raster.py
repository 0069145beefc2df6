"""Tiny stdlib-only raster helpers for the installer's art: shapes drawn with supersampling
into an RGB float canvas, then reduced to a fixed palette."""

import math


class Canvas:
    """An RGB canvas whose shapes are antialiased by sampling each pixel on an s x s grid."""

    def __init__(self, width, height, samples=4, background=(0, 0, 0)):
        self.width, self.height, self.samples = width, height, samples
        self.rgb = [[list(background) for _ in range(width)] for _ in range(height)]
        self.alpha = [[0.0] * width for _ in range(height)]  # coverage of everything drawn

    def fill(self, colour_at):
        """Paints every pixel with colour_at(x, y) (pixel centre coordinates), fully opaque."""
        for y in range(self.height):
            for x in range(self.width):
                self.rgb[y][x] = list(colour_at(x + 0.5, y + 0.5))
                self.alpha[y][x] = 1.0

    def shape(self, inside, colour, box=None):
        """Blends colour over the pixels covered by inside(x, y); colour is an RGB tuple or a
        function of (x, y). box = (x0, y0, x1, y1) limits the pixels examined."""
        x0, y0, x1, y1 = box if box else (0, 0, self.width, self.height)
        x0, y0 = max(0, int(math.floor(x0)) - 1), max(0, int(math.floor(y0)) - 1)
        x1, y1 = min(self.width, int(math.ceil(x1)) + 1), min(self.height, int(math.ceil(y1)) + 1)
        s = self.samples
        offsets = [(i + 0.5) / s for i in range(s)]
        for y in range(y0, y1):
            for x in range(x0, x1):
                hits = 0
                acc = [0.0, 0.0, 0.0]
                for oy in offsets:
                    for ox in offsets:
                        px, py = x + ox, y + oy
                        if inside(px, py):
                            c = colour(px, py) if callable(colour) else colour
                            acc[0] += c[0]
                            acc[1] += c[1]
                            acc[2] += c[2]
                            hits += 1
                if hits:
                    a = hits / (s * s)
                    dst = self.rgb[y][x]
                    for k in range(3):
                        dst[k] = dst[k] * (1 - a) + (acc[k] / hits) * a
                    self.alpha[y][x] = self.alpha[y][x] * (1 - a) + a


def ellipse(cx, cy, rx, ry):
    return lambda x, y: ((x - cx) / rx) ** 2 + ((y - cy) / ry) ** 2 <= 1.0


def rect(x0, y0, x1, y1):
    return lambda x, y: x0 <= x < x1 and y0 <= y < y1


def polygon(points):
    """Even-odd point-in-polygon test."""
    def inside(x, y):
        result = False
        n = len(points)
        for i in range(n):
            xa, ya = points[i]
            xb, yb = points[(i + 1) % n]
            if (ya > y) != (yb > y) and x < xa + (y - ya) * (xb - xa) / (yb - ya):
                result = not result
        return result
    return inside


def thick_line(xa, ya, xb, yb, width):
    """A segment with round caps."""
    dx, dy = xb - xa, yb - ya
    length2 = dx * dx + dy * dy

    def inside(x, y):
        t = ((x - xa) * dx + (y - ya) * dy) / length2 if length2 else 0.0
        t = max(0.0, min(1.0, t))
        px, py = xa + t * dx, ya + t * dy
        return (x - px) ** 2 + (y - py) ** 2 <= (width / 2) ** 2
    return inside


def union(*parts):
    return lambda x, y: any(p(x, y) for p in parts)


def minus(a, b):
    return lambda x, y: a(x, y) and not b(x, y)


def mix(c1, c2, t):
    t = max(0.0, min(1.0, t))
    return tuple(c1[k] + (c2[k] - c1[k]) * t for k in range(3))


def nearest(palette, c):
    best, best_d = 0, None
    for i, p in enumerate(palette):
        # Weighted distance: the eye is most sensitive to green, least to blue.
        d = 3 * (p[0] - c[0]) ** 2 + 4 * (p[1] - c[1]) ** 2 + 2 * (p[2] - c[2]) ** 2
        if best_d is None or d < best_d:
            best, best_d = i, d
    return best


def quantize(canvas, palette):
    """Maps every pixel to the nearest palette index, row by row."""
    return [[nearest(palette, canvas.rgb[y][x]) for x in range(canvas.width)] for y in range(canvas.height)]
