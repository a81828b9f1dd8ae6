#!/usr/bin/env python3
"""Draws the program's main icon (a database cylinder with a green check badge) and writes
resources/MainIcon.ico: 12 images, 16/24/32/48 px in 8-bit and 32-bit colour, 16/32/48 px in 4-bit
colour, and 256 px as PNG; an 8-bit image's palette holds only the colours it uses. Run it again after
changing the drawing; commit the .ico it writes."""

import math
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))

# Each layer: (test(x, y) -> bool in unit coordinates, RGB). Later layers paint over earlier ones.
CYL_LEFT, CYL_RIGHT, CYL_TOP, CYL_BOTTOM = 0.14, 0.70, 0.20, 0.78
CYL_CX, CYL_RX, CYL_RY = (CYL_LEFT + CYL_RIGHT) / 2, (CYL_RIGHT - CYL_LEFT) / 2, 0.09
BADGE_X, BADGE_Y, BADGE_R = 0.70, 0.70, 0.25


def in_ellipse(x, y, cx, cy, rx, ry):
    return ((x - cx) / rx) ** 2 + ((y - cy) / ry) ** 2 <= 1.0


def in_body(x, y):
    if CYL_LEFT <= x <= CYL_RIGHT and CYL_TOP <= y <= CYL_BOTTOM:
        return True
    return in_ellipse(x, y, CYL_CX, CYL_BOTTOM, CYL_RX, CYL_RY)


def in_band(x, y, level):
    # The lower rim of a ring around the cylinder at `level`, drawn as a thin arc.
    if not CYL_LEFT <= x <= CYL_RIGHT:
        return False
    t = (x - CYL_CX) / CYL_RX
    rim = level + CYL_RY * math.sqrt(max(0.0, 1 - t * t))
    return abs(y - rim) <= 0.022


def segment_distance(x, y, ax, ay, bx, by):
    dx, dy = bx - ax, by - ay
    t = max(0.0, min(1.0, ((x - ax) * dx + (y - ay) * dy) / (dx * dx + dy * dy)))
    return math.hypot(x - (ax + t * dx), y - (ay + t * dy))


def in_check(x, y):
    d = min(segment_distance(x, y, 0.58, 0.71, 0.67, 0.80), segment_distance(x, y, 0.67, 0.80, 0.83, 0.60))
    return d <= 0.045


def body_colour(x, y):
    # Lighter towards the left: a round surface lit from the left.
    t = (x - CYL_LEFT) / (CYL_RIGHT - CYL_LEFT)
    return (int(70 + 60 * (1 - t)), int(120 + 60 * (1 - t)), int(190 + 50 * (1 - t)))


def sample(x, y):
    """RGBA of one point, alpha 0 or 255."""
    colour = None
    if in_body(x, y):
        colour = body_colour(x, y)
        if in_band(x, y, 0.39) or in_band(x, y, 0.58):
            colour = (40, 70, 130)
    if in_ellipse(x, y, CYL_CX, CYL_TOP, CYL_RX, CYL_RY):
        colour = (40, 70, 130) if not in_ellipse(x, y, CYL_CX, CYL_TOP, CYL_RX - 0.03, CYL_RY - 0.025) else (170, 205, 245)
    r = math.hypot(x - BADGE_X, y - BADGE_Y)
    if r <= BADGE_R:
        colour = (20, 110, 40) if r > BADGE_R - 0.03 else (50, 170, 70)
        if in_check(x, y):
            colour = (255, 255, 255)
    return (0, 0, 0, 0) if colour is None else (*colour, 255)


def render(size, supersample):
    """Rows of RGBA tuples, top row first, each pixel the average of supersample^2 points."""
    rows = []
    n = supersample * supersample
    for py in range(size):
        row = []
        for px in range(size):
            r = g = b = a = 0
            for sy in range(supersample):
                for sx in range(supersample):
                    x = (px + (sx + 0.5) / supersample) / size
                    y = (py + (sy + 0.5) / supersample) / size
                    cr, cg, cb, ca = sample(x, y)
                    r, g, b, a = r + cr * ca, g + cg * ca, b + cb * ca, a + ca
            if a == 0:
                row.append((0, 0, 0, 0))
            else:
                row.append((round(r / a), round(g / a), round(b / a), round(a / n)))
        rows.append(row)
    return rows


def vga_palette():
    return [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128), (0, 128, 128),
            (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0), (0, 0, 255),
            (255, 0, 255), (0, 255, 255), (255, 255, 255)]


def cube_palette():
    levels = [0, 51, 102, 153, 204, 255]
    palette = [(r, g, b) for r in levels for g in levels for b in levels]
    palette += [(v, v, v) for v in range(8, 248, 6)][: 256 - len(palette)]
    return palette


def nearest(palette, rgb, cache):
    if rgb not in cache:
        cache[rgb] = min(range(len(palette)),
                         key=lambda i: sum((palette[i][k] - rgb[k]) ** 2 for k in range(3)))
    return cache[rgb]


def bmp_image(rows, bits):
    """An icon image in BMP form: header, palette, colour bitmap and AND mask, both bottom-up."""
    size = len(rows)
    palette = vga_palette() if bits == 4 else cube_palette() if bits == 8 else []
    cache = {}
    if bits == 8:
        # The colours of the cube this image uses, and black first for its transparent pixels: a
        # palette of a few dozen entries (biClrUsed) in place of 256, each pixel the same colour.
        used = {nearest(palette, px[:3], cache) for row in rows for px in row if px[3] >= 128}
        palette = [palette[0]] + [palette[i] for i in sorted(used - {0})]
        cache = {}
    colours_used = len(palette) if bits == 8 else 0
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, bits, 0, 0, 0, 0, colours_used, 0)
    colour = bytearray()
    mask = bytearray()
    for row in reversed(rows):
        line = bytearray()
        if bits == 32:
            for r, g, b, a in row:
                line += bytes((b, g, r, a))
        else:
            indices = [nearest(palette, px[:3], cache) if px[3] >= 128 else 0 for px in row]
            if bits == 8:
                line += bytes(indices)
            else:
                for i in range(0, size, 2):
                    line.append((indices[i] << 4) | (indices[i + 1] if i + 1 < size else 0))
        line += b"\0" * (-len(line) % 4)
        colour += line
        bitsline = bytearray((size + 7) // 8)
        for x, px in enumerate(row):
            transparent = px[3] < 128 if bits != 32 else False
            if transparent:
                bitsline[x // 8] |= 0x80 >> (x % 8)
        bitsline += b"\0" * (-len(bitsline) % 4)
        mask += bitsline
    table = b"".join(bytes((b, g, r, 0)) for r, g, b in palette)
    return header + table + bytes(colour) + bytes(mask)


def png_image(rows):
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

    size = len(rows)
    raw = b"".join(b"\0" + b"".join(bytes(px) for px in row) for row in rows)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def main():
    images = []  # (size, bits, data)
    renders = {}
    for size in (16, 24, 32, 48, 256):
        renders[size] = render(size, 4 if size <= 48 else 2)
    for bits, sizes in ((4, (16, 32, 48)), (8, (16, 24, 32, 48)), (32, (16, 24, 32, 48))):
        for size in sizes:
            images.append((size, bits, bmp_image(renders[size], bits)))
    images.append((256, 32, png_image(renders[256])))
    assert len(images) == 12

    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    data = b""
    for size, bits, image in images:
        directory += struct.pack("<BBBBHHII", size % 256, size % 256, 16 if bits == 4 else 0, 0, 1, bits,
                                 len(image), offset + len(data))
        data += image
    with open(os.path.join(HERE, "MainIcon.ico"), "wb") as f:
        f.write(directory + data)


if __name__ == "__main__":
    main()
