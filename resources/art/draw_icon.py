#!/usr/bin/env python3
"""Draws the program's icon, a USB stick with an eject sign on its body, and
writes it as an icon file with the sizes the window class, the notification
area and Explorer ask for:

    16 x 16 and 32 x 32 in 8-bit and 32-bit colour, 48 x 48 in 32-bit colour,
    256 x 256 in 32-bit colour stored as PNG (keeps the executable small).

    python3 draw_icon.py [OUTPUT.ico]    (default: ../tarnwick.ico)

Run by hand after changing the drawing; the build uses the committed file.
"""
import os
import struct
import sys
import zlib

import raster

# The drawing is laid out on a unit square; every size is rendered from it
# directly rather than scaled down from a larger image, so small sizes stay
# sharp.
METAL = raster.hex_colour("D9DEE3")
METAL_EDGE = raster.hex_colour("5F6973")
SLOT = raster.hex_colour("3E4650")
BODY_TOP = raster.hex_colour("4A90E2")
BODY_BOTTOM = raster.hex_colour("1C56A0")
BODY_EDGE = raster.hex_colour("123B70")
SIGN = raster.hex_colour("FFFFFF")


def body_colour(x, y):
    t = raster.clamp01((y - 0.27) / 0.68)
    return tuple(a + (b - a) * t for a, b in zip(BODY_TOP, BODY_BOTTOM))


def draw(size):
    # Outlines are at least one pixel wide at every size.
    edge = max(1.0 / size, 0.03)
    connector = raster.rounded_box(0.33, 0.04, 0.67, 0.32, 0.02)
    slots = raster.union(raster.rounded_box(0.40, 0.12, 0.46, 0.19, 0.005),
                         raster.rounded_box(0.54, 0.12, 0.60, 0.19, 0.005))
    body = raster.rounded_box(0.20, 0.27, 0.80, 0.96, 0.11)
    eject = raster.union(
        raster.convex_polygon([(0.50, 0.40), (0.69, 0.62), (0.31, 0.62)]),
        raster.rounded_box(0.31, 0.68, 0.69, 0.77, 0.015))

    canvas = raster.Canvas(size, size)
    canvas.fill(raster.grown(connector, edge), METAL_EDGE, size)
    canvas.fill(connector, METAL, size)
    canvas.fill(slots, SLOT, size)
    canvas.fill(raster.grown(body, edge), BODY_EDGE, size)
    canvas.fill(body, body_colour, size)
    canvas.fill(eject, SIGN, size)
    return canvas.rgba8(premultiplied=False)


# Image encodings inside the icon file.

def and_mask(rows):
    """1 bit per pixel, set where the pixel is transparent; rows bottom-up,
    each padded to 32 bits."""
    width = len(rows[0])
    stride = (width + 31) // 32 * 4
    out = bytearray()
    for row in reversed(rows):
        line = bytearray(stride)
        for x, (_, _, _, a) in enumerate(row):
            if a < 128:
                line[x // 8] |= 0x80 >> (x % 8)
        out += line
    return bytes(out)


def dib_header(size, bits, image_bytes, colours):
    # The height counts the colour image and the mask together.
    return struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, bits, 0, image_bytes, 0, 0,
                       colours, 0)


def dib32(rows):
    size = len(rows)
    pixels = bytearray()
    for row in reversed(rows):
        for r, g, b, a in row:
            pixels += bytes((b, g, r, a))
    mask = and_mask(rows)
    return dib_header(size, 32, len(pixels) + len(mask), 0) + bytes(pixels) + mask


def median_cut(colours, count):
    """Up to `count` palette entries for a list of (r, g, b) colours."""
    boxes = [list(set(colours))]
    while len(boxes) < count:
        splittable = [b for b in boxes if len(b) > 1]
        if not splittable:
            break

        def extent(box):
            return max(max(c[i] for c in box) - min(c[i] for c in box) for i in range(3))
        box = max(splittable, key=extent)
        channel = max(range(3), key=lambda i: max(c[i] for c in box) - min(c[i] for c in box))
        box.sort(key=lambda c: c[channel])
        half = len(box) // 2
        boxes.remove(box)
        boxes += [box[:half], box[half:]]
    return [tuple(sum(c[i] for c in b) // len(b) for i in range(3)) for b in boxes]


def dib8(rows):
    """256-colour image for displays and systems without alpha: pixels below
    half opacity are left to the mask, the others keep their straight colour
    mapped to a palette made from the image itself."""
    size = len(rows)
    opaque = [(r, g, b) for row in rows for r, g, b, a in row if a >= 128]
    palette = median_cut(opaque, 255)
    palette = [(0, 0, 0)] + palette  # index 0: the masked pixels
    nearest = {}

    def index_of(colour):
        if colour not in nearest:
            nearest[colour] = min(range(1, len(palette)), key=lambda i: sum(
                (p - c) ** 2 for p, c in zip(palette[i], colour)))
        return nearest[colour]
    stride = (size + 3) // 4 * 4
    pixels = bytearray()
    for row in reversed(rows):
        line = bytearray(stride)
        for x, (r, g, b, a) in enumerate(row):
            line[x] = index_of((r, g, b)) if a >= 128 else 0
        pixels += line
    table = bytearray()
    for r, g, b in palette + [(0, 0, 0)] * (256 - len(palette)):
        table += bytes((b, g, r, 0))
    mask = and_mask(rows)
    return (dib_header(size, 8, len(pixels) + len(mask), 256) + bytes(table) + bytes(pixels)
            + mask)


def png(rows):
    """RGBA PNG; each row takes the filter that leaves the smallest sum of
    residues, which compresses this kind of flat artwork well."""
    size = len(rows)
    raw = bytearray()
    prev = bytes(size * 4)
    for row in rows:
        line = bytes(v for px in row for v in px)
        candidates = []
        for kind in range(5):
            out = bytearray(len(line))
            for i, v in enumerate(line):
                a = line[i - 4] if i >= 4 else 0
                b = prev[i]
                c = prev[i - 4] if i >= 4 else 0
                if kind == 0:
                    pred = 0
                elif kind == 1:
                    pred = a
                elif kind == 2:
                    pred = b
                elif kind == 3:
                    pred = (a + b) // 2
                else:
                    p = a + b - c
                    pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                    pred = a if pa <= pb and pa <= pc else b if pb <= pc else c
                out[i] = (v - pred) & 0xFF
            cost = sum(x if x < 128 else 256 - x for x in out)
            candidates.append((cost, kind, out))
        _, kind, out = min(candidates)
        raw += bytes((kind,)) + out
        prev = line

    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data
                + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))
    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header)
            + chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + chunk(b"IEND", b""))


def ico_bytes(images):
    """images: (size, bits, encoded bytes) in directory order."""
    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = len(directory) + 16 * len(images)
    entries, data = b"", b""
    for size, bits, encoded in images:
        side = 0 if size == 256 else size  # 0 stands for 256
        entries += struct.pack("<BBBBHHII", side, side, 0, 0, 1, bits, len(encoded), offset)
        data += encoded
        offset += len(encoded)
    return directory + entries + data


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "tarnwick.ico")
    drawn = {size: draw(size) for size in (16, 32, 48, 256)}
    images = [
        (256, 32, png(drawn[256])),
        (48, 32, dib32(drawn[48])),
        (32, 32, dib32(drawn[32])),
        (16, 32, dib32(drawn[16])),
        (32, 8, dib8(drawn[32])),
        (16, 8, dib8(drawn[16])),
    ]
    with open(out, "wb") as f:
        f.write(ico_bytes(images))


if __name__ == "__main__":
    main()
