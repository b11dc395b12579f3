#!/usr/bin/env python3
"""Draws the banner's sign: a white "no" sign (a ring with a bar from its
upper left to its lower right), 18 x 18 pixels, anti-aliased.

Writes a 32-bit BMP (BITMAPINFOHEADER, BI_RGB) whose pixels are blue, green,
red, alpha, premultiplied, rows bottom-up: the layout AlphaBlend expects from
a section loaded with LR_CREATEDIBSECTION, so the banner can blend it as is.

    python3 draw_sign.py [OUTPUT.bmp]    (default: ../no_sign.bmp)

Run by hand after changing the drawing; the build uses the committed file.
"""
import math
import os
import struct
import sys

import raster

SIZE = 18
RING_WIDTH = 2.0
BAR_HALF_WIDTH = 1.0


def draw():
    centre = SIZE / 2.0
    outer = SIZE / 2.0
    # The bar's ends sit inside the ring's band, so its rounded caps never
    # reach past the ring's outer edge.
    reach = (outer - RING_WIDTH / 2.0) / math.sqrt(2.0)
    sign = raster.union(
        raster.ring(centre, centre, outer, RING_WIDTH),
        raster.capsule(centre - reach, centre - reach, centre + reach, centre + reach,
                       BAR_HALF_WIDTH))
    canvas = raster.Canvas(SIZE, SIZE)
    canvas.fill(sign, (1.0, 1.0, 1.0, 1.0))
    return canvas.rgba8(premultiplied=True)


def bmp_bytes(rows):
    height, width = len(rows), len(rows[0])
    pixels = bytearray()
    for row in reversed(rows):  # bottom-up
        for r, g, b, a in row:
            pixels += bytes((b, g, r, a))
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 32, 0, len(pixels),
                       2835, 2835, 0, 0)
    offset = 14 + len(info)
    header = struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset)
    return header + info + bytes(pixels)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "no_sign.bmp")
    with open(out, "wb") as f:
        f.write(bmp_bytes(draw()))


if __name__ == "__main__":
    main()
