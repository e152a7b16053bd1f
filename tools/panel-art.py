#!/usr/bin/env python3
"""Draws the speedometer face and the program icon, deterministically.

Writes assets/dial.bmp (100 x 100, 24-bit Windows bitmap), assets/k58.ico
(32 x 32, an 8-bit palettised and a 32-bit image) and assets/k58.png (the
32-bit icon as PNG). Standard library only; run from anywhere:

    python3 tools/panel-art.py [--out FOLDER]     (default: assets/)
"""

import argparse
import math
import os
import struct
import zlib

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
ASSETS = os.path.join(ROOT, "assets")

# 5 x 7 digits, one string per row, '#' set.
FONT = {
    "0": [".###.", "#...#", "#...#", "#...#", "#...#", "#...#", ".###."],
    "1": ["..#..", ".##..", "..#..", "..#..", "..#..", "..#..", ".###."],
    "2": [".###.", "#...#", "....#", "...#.", "..#..", ".#...", "#####"],
    "3": ["#####", "...#.", "..#..", "...#.", "....#", "#...#", ".###."],
    "4": ["...#.", "..##.", ".#.#.", "#..#.", "#####", "...#.", "...#."],
    "5": ["#####", "#....", "####.", "....#", "....#", "#...#", ".###."],
    "6": ["..##.", ".#...", "#....", "####.", "#...#", "#...#", ".###."],
    "7": ["#####", "....#", "...#.", "..#..", ".#...", ".#...", ".#..."],
    "8": [".###.", "#...#", "#...#", ".###.", "#...#", "#...#", ".###."],
}
GLYPH_W, GLYPH_H, GLYPH_GAP = 5, 7, 1

SUPERSAMPLE = 4


def mix(a, b, t):
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(len(a)))


def segment_distance(px, py, ax, ay, bx, by):
    dx, dy = bx - ax, by - ay
    t = ((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy)
    t = max(0.0, min(1.0, t))
    return math.hypot(px - (ax + t * dx), py - (ay + t * dy))


def render(size, sample):
    """Averages sample(x, y) -> (r, g, b, a) over a grid inside each pixel."""
    n = SUPERSAMPLE
    image = []
    for j in range(size):
        row = []
        for i in range(size):
            acc = [0.0, 0.0, 0.0, 0.0]
            for sj in range(n):
                for si in range(n):
                    r, g, b, a = sample(i + (si + 0.5) / n, j + (sj + 0.5) / n)
                    acc[0] += r * a
                    acc[1] += g * a
                    acc[2] += b * a
                    acc[3] += a
            if acc[3] > 0:
                colour = [acc[k] / acc[3] for k in range(3)]
            else:
                colour = [0.0, 0.0, 0.0]
            row.append([round(c) for c in colour] + [round(255 * acc[3] / (n * n))])
        image.append(row)
    return image


def put_text(image, text, cx, cy, colour, shadow):
    """Draws text centred on (cx, cy) in the pixel font, with a drop shadow."""
    width = len(text) * GLYPH_W + (len(text) - 1) * GLYPH_GAP
    left = round(cx - width / 2)
    top = round(cy - GLYPH_H / 2)
    for offset, ink in ((1, shadow), (0, colour)):
        x0 = left + offset
        for ch in text:
            for gy, line in enumerate(FONT[ch]):
                for gx, bit in enumerate(line):
                    if bit == "#":
                        px = image[top + offset + gy][x0 + gx]
                        px[0:3] = [round(c) for c in mix(px[0:3], ink[0:3], ink[3])]
            x0 += GLYPH_W + GLYPH_GAP


# ---------------------------------------------------------------- dial face

DIAL_SIZE = 100
DIAL_BACKGROUND = (0, 13, 142)
# The needle is drawn from pixel (50, 50); pixel centres sit at +0.5.
DIAL_CX = DIAL_CY = 50.5
FACE_RADIUS = 49.0
FACE_DARK = (0, 0, 0)
FACE_LIGHT = (200, 200, 200)
RIM_WIDTH = 1.2
MARK_INNER, MARK_OUTER, MARK_HALF_WIDTH = 37.0, 46.5, 1.0
LABEL_RADIUS = 30.0
HUB_RADIUS = 7.5
WHITE = (255, 255, 255)
# Scale marks every 30 degrees clockwise from 8 o'clock (150 degrees, with y
# pointing down) for displayed speeds 0, 10, ... 80.
MARK_ANGLES = [math.radians(150 + 30 * k) for k in range(9)]


def dial_sample(x, y):
    dx, dy = x - DIAL_CX, y - DIAL_CY
    r = math.hypot(dx, dy)
    if r > FACE_RADIUS:
        return DIAL_BACKGROUND + (1.0,)
    if r <= HUB_RADIUS:
        return WHITE + (1.0,)
    if MARK_INNER <= r <= MARK_OUTER + MARK_HALF_WIDTH:
        for a in MARK_ANGLES:
            c, s = math.cos(a), math.sin(a)
            d = segment_distance(dx, dy, c * MARK_INNER, s * MARK_INNER,
                                 c * MARK_OUTER, s * MARK_OUTER)
            if d <= MARK_HALF_WIDTH:
                return WHITE + (1.0,)
    # Shaded along the diagonal: black at the upper left, light grey at the
    # lower right, with a slightly lighter rim.
    t = ((dx + dy) / math.sqrt(2) + FACE_RADIUS) / (2 * FACE_RADIUS)
    colour = mix(FACE_DARK, FACE_LIGHT, max(0.0, min(1.0, t)))
    if r > FACE_RADIUS - RIM_WIDTH:
        colour = mix(colour, (110, 120, 170), 0.6)
    return colour + (1.0,)


def make_dial():
    image = render(DIAL_SIZE, dial_sample)
    for k, a in enumerate(MARK_ANGLES):
        put_text(image, str(10 * k), DIAL_CX + math.cos(a) * LABEL_RADIUS,
                 DIAL_CY + math.sin(a) * LABEL_RADIUS, WHITE + (1.0,), (0, 0, 0, 0.7))
    return image


def bmp24(image):
    size = len(image)
    row_bytes = size * 3
    assert row_bytes % 4 == 0
    pixels = bytearray()
    for row in reversed(image):  # bottom-up
        for r, g, b, _ in row:
            pixels += bytes((b, g, r))
    header = struct.pack("<2sIHHI", b"BM", 54 + len(pixels), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, size, size, 1, 24, 0, len(pixels), 7874, 7874, 0, 0)
    return header + info + bytes(pixels)


# -------------------------------------------------------------------- icon

ICON_SIZE = 32
ICON_C = 16.0
ICON_R = 15.5
ICON_RIM = 2.2
ICON_NEEDLE_ANGLE = math.radians(300)  # towards the upper right


def icon_sample(x, y):
    dx, dy = x - ICON_C, y - ICON_C
    r = math.hypot(dx, dy)
    if r > ICON_R:
        return (0, 0, 0, 0.0)
    if r > ICON_R - ICON_RIM:
        return (40, 60, 170, 1.0)
    if r <= 2.6:
        return WHITE + (1.0,)
    # The needle, red, from the hub to near the rim.
    c, s = math.cos(ICON_NEEDLE_ANGLE), math.sin(ICON_NEEDLE_ANGLE)
    if segment_distance(dx, dy, 0, 0, c * 11.5, s * 11.5) <= 1.2:
        return (235, 30, 20, 1.0)
    for a in MARK_ANGLES:
        c, s = math.cos(a), math.sin(a)
        if segment_distance(dx, dy, c * 9.5, s * 9.5, c * 12.6, s * 12.6) <= 0.75:
            return WHITE + (1.0,)
    t = ((dx + dy) / math.sqrt(2) + ICON_R) / (2 * ICON_R)
    return mix((10, 10, 20), (190, 190, 195), max(0.0, min(1.0, t))) + (1.0,)


def palette_256():
    """A 6 x 6 x 6 colour cube and 40 greys."""
    colours = [(r * 51, g * 51, b * 51) for r in range(6) for g in range(6) for b in range(6)]
    colours += [(round(255 * k / 41),) * 3 for k in range(1, 41)]
    return colours


def nearest(palette, colour):
    return min(range(len(palette)),
               key=lambda k: sum((palette[k][i] - colour[i]) ** 2 for i in range(3)))


def ico_entry_8bit(image):
    palette = palette_256()
    size = len(image)
    xor = bytearray()
    mask = bytearray()
    for row in reversed(image):
        bits = 0
        for x, (r, g, b, a) in enumerate(row):
            xor.append(nearest(palette, (r, g, b)) if a >= 128 else 0)
            if a < 128:
                bits |= 1 << (31 - x)
        mask += struct.pack(">I", bits)
    info = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, 8, 0, len(xor) + len(mask), 0, 0,
                       256, 0)
    pal = b"".join(bytes((b, g, r, 0)) for r, g, b in palette)
    return info + pal + bytes(xor) + bytes(mask)


def ico_entry_32bit(image):
    size = len(image)
    xor = bytearray()
    mask = bytearray()
    for row in reversed(image):
        bits = 0
        for x, (r, g, b, a) in enumerate(row):
            xor += bytes((b, g, r, a))
            if a == 0:
                bits |= 1 << (31 - x)
        mask += struct.pack(">I", bits)
    info = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, 32, 0, len(xor) + len(mask), 0, 0,
                       0, 0)
    return info + bytes(xor) + bytes(mask)


def ico(image):
    entries = [(8, ico_entry_8bit(image)), (32, ico_entry_32bit(image))]
    out = struct.pack("<HHH", 0, 1, len(entries))
    offset = 6 + 16 * len(entries)
    for bits, data in entries:
        out += struct.pack("<BBBBHHII", ICON_SIZE, ICON_SIZE, 0, 0, 1, bits, len(data), offset)
        offset += len(data)
    return out + b"".join(data for _, data in entries)


def png(image):
    raw = bytearray()
    for row in image:
        raw.append(0)  # no filter
        for r, g, b, a in row:
            raw += bytes((r, g, b, a))

    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data +
                struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))

    size = len(image)
    return (b"\x89PNG\r\n\x1a\n" +
            chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + chunk(b"IEND", b""))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--out", default=ASSETS)
    out = parser.parse_args().out
    os.makedirs(out, exist_ok=True)
    dial = bmp24(make_dial())
    assert len(dial) == 30054
    icon = render(ICON_SIZE, icon_sample)
    for name, data in (("dial.bmp", dial), ("k58.ico", ico(icon)), ("k58.png", png(icon))):
        with open(os.path.join(out, name), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
