"""Small anti-aliased rasteriser for the program's artwork.

Shapes are signed distance functions in image units (negative inside). A
pixel's coverage is estimated from the distance at its centre, which gives
smooth one-pixel edges without supersampling. Layers are composited
source-over in premultiplied floating point, so the result can be written
either premultiplied (the banner's sign) or straight (icon images).
"""
import math


def clamp01(v):
    return 0.0 if v < 0.0 else 1.0 if v > 1.0 else v


def coverage(distance):
    """Fraction of a one-unit pixel covered by a shape whose edge lies
    `distance` units from the pixel centre (negative: centre inside)."""
    return clamp01(0.5 - distance)


# Signed distance functions. Each returns a function of (x, y).

def circle(cx, cy, r):
    return lambda x, y: math.hypot(x - cx, y - cy) - r


def ring(cx, cy, r_outer, width):
    r_mid = r_outer - width / 2.0
    return lambda x, y: abs(math.hypot(x - cx, y - cy) - r_mid) - width / 2.0


def rounded_box(left, top, right, bottom, radius):
    cx, cy = (left + right) / 2.0, (top + bottom) / 2.0
    hx, hy = (right - left) / 2.0 - radius, (bottom - top) / 2.0 - radius

    def sdf(x, y):
        qx, qy = abs(x - cx) - hx, abs(y - cy) - hy
        outside = math.hypot(max(qx, 0.0), max(qy, 0.0))
        return outside + min(max(qx, qy), 0.0) - radius
    return sdf


def capsule(x0, y0, x1, y1, half_width):
    dx, dy = x1 - x0, y1 - y0
    length2 = dx * dx + dy * dy

    def sdf(x, y):
        t = clamp01(((x - x0) * dx + (y - y0) * dy) / length2)
        return math.hypot(x - x0 - t * dx, y - y0 - t * dy) - half_width
    return sdf


def convex_polygon(points):
    """Points in clockwise order on screen (y down). The distance is exact
    along the edges and slightly underestimated near outer corners, which is
    harmless for one-pixel anti-aliasing."""
    edges = []
    n = len(points)
    for i in range(n):
        (ax, ay), (bx, by) = points[i], points[(i + 1) % n]
        length = math.hypot(bx - ax, by - ay)
        # Outward normal of a clockwise (screen) polygon.
        nx, ny = (by - ay) / length, (ax - bx) / length
        edges.append((nx, ny, nx * ax + ny * ay))
    return lambda x, y: max(nx * x + ny * y - c for nx, ny, c in edges)


def union(*shapes):
    return lambda x, y: min(s(x, y) for s in shapes)


def grown(shape, amount):
    return lambda x, y: shape(x, y) - amount


class Canvas:
    """Premultiplied RGBA floats (0..1), rows top-down."""

    def __init__(self, width, height):
        self.width, self.height = width, height
        self.pixels = [[(0.0, 0.0, 0.0, 0.0)] * width for _ in range(height)]

    def fill(self, shape, colour, scale=1.0):
        """Paints `shape` (in units where one pixel is 1/scale) with `colour`:
        an (r, g, b, a) tuple of 0..1 straight values, or a function of the
        pixel centre (x, y) in shape units returning one."""
        for py in range(self.height):
            row = self.pixels[py]
            y = (py + 0.5) / scale
            for px in range(self.width):
                x = (px + 0.5) / scale
                cov = coverage(shape(x, y) * scale)
                if cov <= 0.0:
                    continue
                r, g, b, a = colour(x, y) if callable(colour) else colour
                sa = a * cov
                dr, dg, db, da = row[px]
                k = 1.0 - sa
                row[px] = (r * sa + dr * k, g * sa + dg * k, b * sa + db * k, sa + da * k)

    def rgba8(self, premultiplied):
        """Rows top-down of (r, g, b, a) byte tuples."""
        out = []
        for row in self.pixels:
            line = []
            for r, g, b, a in row:
                a8 = int(round(clamp01(a) * 255))
                if a8 == 0:
                    line.append((0, 0, 0, 0))
                    continue
                if premultiplied:
                    # Colour bytes never exceed alpha, as blending requires.
                    conv = [min(a8, int(round(clamp01(c) * 255))) for c in (r, g, b)]
                else:
                    conv = [int(round(clamp01(c / a) * 255)) for c in (r, g, b)]
                line.append((conv[0], conv[1], conv[2], a8))
            out.append(line)
        return out


def hex_colour(text, alpha=1.0):
    text = text.lstrip("#")
    return (int(text[0:2], 16) / 255.0, int(text[2:4], 16) / 255.0,
            int(text[4:6], 16) / 255.0, alpha)
