#!/usr/bin/env python3
"""Draws the banner and background images of the program's pages and writes them as GIF
files into res/pages/. Pure Python (no imaging library): the shapes are computed with 4x4
supersampling, the colours reduced to one palette per image and the pixels LZW-coded.

Run from anywhere: python3 scripts/make_page_images.py
"""
import math
import os
import struct

OUT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "res", "pages")

NAVY_TOP = (0x13, 0x2F, 0x55)
NAVY_BOTTOM = (0x22, 0x55, 0x8E)
COLUMN = (0xEC, 0xF1, 0xF8)
COLUMN_EDGE = (0xB7, 0xC8, 0xDE)
WHITE = (0xFF, 0xFF, 0xFF)
GOLD = (0xE8, 0xB8, 0x4A)


def mix(a, b, t):
    t = max(0.0, min(1.0, t))
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(3))


def banner_colour(y, height=76):
    return mix(NAVY_TOP, NAVY_BOTTOM, y / (height - 1))


def render(width, height, shade, samples=4):
    """shade(x, y) -> RGB for a point in pixel coordinates; averaged over samples^2."""
    pixels = []
    for py in range(height):
        row = []
        for px in range(width):
            acc = [0.0, 0.0, 0.0]
            for sy in range(samples):
                for sx in range(samples):
                    c = shade(px + (sx + 0.5) / samples, py + (sy + 0.5) / samples)
                    for i in range(3):
                        acc[i] += c[i]
            n = samples * samples
            row.append(tuple(int(round(v / n)) for v in acc))
        pixels.append(row)
    return pixels


def quantise(pixels):
    """Palette of at most 256 colours: round channels until the colours fit."""
    for step in (1, 2, 4, 6, 8, 12, 16, 24, 32):
        def q(c):
            return tuple(min(255, int(round(v / step)) * step) for v in c)
        colours = {}
        for row in pixels:
            for c in row:
                colours.setdefault(q(c), len(colours))
        if len(colours) <= 256:
            palette = list(colours)
            indices = [[colours[q(c)] for c in row] for row in pixels]
            return palette, indices
    raise ValueError("too many colours")


def lzw(indices, min_code_size):
    clear = 1 << min_code_size
    end = clear + 1
    out = bytearray()
    bits = 0
    nbits = 0
    code_size = min_code_size + 1

    def emit(code):
        nonlocal bits, nbits
        bits |= code << nbits
        nbits += code_size
        while nbits >= 8:
            out.append(bits & 0xFF)
            bits >>= 8
            nbits -= 8

    table = {(i,): i for i in range(clear)}
    next_code = end + 1
    emit(clear)
    prefix = ()
    for index in indices:
        candidate = prefix + (index,)
        if candidate in table:
            prefix = candidate
            continue
        emit(table[prefix])
        if next_code < 4096:
            table[candidate] = next_code
            next_code += 1
            if next_code > (1 << code_size) and code_size < 12:
                code_size += 1
        else:
            emit(clear)
            table = {(i,): i for i in range(clear)}
            next_code = end + 1
            code_size = min_code_size + 1
        prefix = (index,)
    if prefix:
        emit(table[prefix])
    emit(end)
    if nbits:
        out.append(bits & 0xFF)
    return bytes(out)


def write_gif(name, pixels):
    height = len(pixels)
    width = len(pixels[0])
    palette, indices = quantise(pixels)
    depth = max(1, math.ceil(math.log2(max(2, len(palette)))))
    palette += [(0, 0, 0)] * ((1 << depth) - len(palette))
    data = bytearray(b"GIF89a")
    data += struct.pack("<HHBBB", width, height, 0x80 | (depth - 1), 0, 0)
    for c in palette:
        data += bytes(c)
    data += struct.pack("<BHHHHB", 0x2C, 0, 0, width, height, 0)
    min_code_size = max(2, depth)
    data.append(min_code_size)
    stream = lzw([i for row in indices for i in row], min_code_size)
    for start in range(0, len(stream), 255):
        chunk = stream[start:start + 255]
        data.append(len(chunk))
        data += chunk
    data += b"\x00;"
    with open(os.path.join(OUT, name), "wb") as f:
        f.write(data)


def ring(x, y, cx, cy, r, w):
    """Coverage of a ring of radius r and width w."""
    d = math.hypot(x - cx, y - cy)
    return 1.0 if abs(d - r) <= w / 2 else 0.0


def segment(x, y, x0, y0, x1, y1, w):
    dx, dy = x1 - x0, y1 - y0
    t = max(0.0, min(1.0, ((x - x0) * dx + (y - y0) * dy) / (dx * dx + dy * dy)))
    return 1.0 if math.hypot(x - (x0 + t * dx), y - (y0 + t * dy)) <= w / 2 else 0.0


def top(x, y):
    """131 x 76: the banner's left end with a clock face (the emblem of the program)."""
    c = banner_colour(y)
    cx, cy, r = 52.0, 38.0, 26.0
    d = math.hypot(x - cx, y - cy)
    if d < r - 2:
        c = mix(c, (0x2E, 0x6C, 0xB0), 0.55)
    for k in range(12):
        a = k * math.pi / 6
        inner = r - (7 if k % 3 == 0 else 5)
        if segment(x, y, cx + inner * math.sin(a), cy - inner * math.cos(a),
                   cx + (r - 3) * math.sin(a), cy - (r - 3) * math.cos(a),
                   2.2 if k % 3 == 0 else 1.3):
            c = WHITE
    if ring(x, y, cx, cy, r, 2.6):
        c = WHITE
    if segment(x, y, cx, cy, cx + 11 * math.sin(math.radians(300)),
               cy - 11 * math.cos(math.radians(300)), 3.0):
        c = WHITE
    if segment(x, y, cx, cy, cx + 18 * math.sin(math.radians(60)),
               cy - 18 * math.cos(math.radians(60)), 2.0):
        c = WHITE
    if d <= 2.6:
        c = GOLD
    # a thin gold line under the banner
    if y >= 73:
        c = GOLD
    return c


def line(x, y):
    """1 x 76: the banner's stretched middle."""
    return GOLD if y >= 73 else banner_colour(y)


def right(x, y):
    """107 x 76: the banner's right end, fine diagonal stripes fading in."""
    c = banner_colour(y)
    if y >= 73:
        return GOLD
    if (x + y) % 9 < 1.2:
        c = mix(c, WHITE, 0.18 * (x / 107))
    return c


def left(x, y):
    """131 x 195: the top of the left column, light with faint arcs of a dial."""
    c = mix((0xD6, 0xE2, 0xF1), COLUMN, y / 120)
    for r in (70, 95, 120):
        if ring(x, y, -10, -20, r, 1.2):
            c = mix(c, COLUMN_EDGE, 0.6)
    if x >= 130:
        c = COLUMN_EDGE
    return c


def background(x, y):
    """132 x 4, repeated downwards: the left column and its edge on white."""
    if x >= 131:
        return COLUMN_EDGE
    return COLUMN


def main():
    os.makedirs(OUT, exist_ok=True)
    write_gif("pruh_top.gif", render(131, 76, top))
    write_gif("pruh_line.gif", render(1, 76, line))
    write_gif("pruh_right.gif", render(107, 76, right))
    write_gif("pruh_left.gif", render(131, 195, left))
    write_gif("bck_line.gif", render(132, 4, background, samples=1))


if __name__ == "__main__":
    main()
