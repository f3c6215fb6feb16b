#!/usr/bin/env python3
"""Draws the application icon: a clock face on a blue tile with a red seal carrying a
check mark. Writes res/icons/mivoklient-<size>.png for the usual sizes and the same
picture as res/icons/mivoklient.svg. Plain Python (zlib for the PNG data), no imaging
library; the output is byte-for-byte the same on every run.

    python3 scripts/make_icons.py [output folder]
"""
import math
import os
import struct
import sys
import zlib

SIZES = (16, 32, 48, 64, 128, 256)

# The picture in a 0..1 square, drawn in this order (later shapes cover earlier ones).
TILE = (0.06, 0.06, 0.94, 0.94, 0.16)        # left, top, right, bottom, corner radius
TILE_COLOUR = (0x1F, 0x4E, 0x79, 0xFF)
FACE = (0.46, 0.45, 0.29)                    # centre x, y, radius
RIM_COLOUR = (0xDC, 0xE6, 0xF0, 0xFF)
FACE_COLOUR = (0xFF, 0xFF, 0xFF, 0xFF)
RIM_WIDTH = 0.035
HANDS = (  # (angle in degrees from twelve o'clock, length, width)
    (0.0, 0.21, 0.045),
    (300.0, 0.14, 0.055),
)
HAND_COLOUR = (0x1F, 0x4E, 0x79, 0xFF)
SEAL = (0.72, 0.72, 0.19)
SEAL_COLOUR = (0xC0, 0x1F, 0x2E, 0xFF)
SEAL_RIM_COLOUR = (0xFF, 0xFF, 0xFF, 0xFF)
SEAL_RIM_WIDTH = 0.03
CHECK = ((0.625, 0.725), (0.69, 0.79), (0.815, 0.655))
CHECK_WIDTH = 0.055
CHECK_COLOUR = (0xFF, 0xFF, 0xFF, 0xFF)


def in_rounded_rect(x, y, rect):
    left, top, right, bottom, radius = rect
    if x < left or x > right or y < top or y > bottom:
        return False
    cx = min(max(x, left + radius), right - radius)
    cy = min(max(y, top + radius), bottom - radius)
    return (x - cx) ** 2 + (y - cy) ** 2 <= radius * radius


def in_circle(x, y, circle, grow=0.0):
    cx, cy, r = circle
    return (x - cx) ** 2 + (y - cy) ** 2 <= (r + grow) ** 2


def near_segment(x, y, a, b, width):
    (ax, ay), (bx, by) = a, b
    dx, dy = bx - ax, by - ay
    t = max(0.0, min(1.0, ((x - ax) * dx + (y - ay) * dy) / (dx * dx + dy * dy)))
    px, py = ax + t * dx, ay + t * dy
    return (x - px) ** 2 + (y - py) ** 2 <= (width / 2) ** 2


def hand_end(angle, length):
    rad = math.radians(angle)
    return (FACE[0] + length * math.sin(rad), FACE[1] - length * math.cos(rad))


def colour_at(x, y):
    """The colour of the picture at (x, y), or None outside it."""
    colour = None
    if in_rounded_rect(x, y, TILE):
        colour = TILE_COLOUR
    if in_circle(x, y, FACE, RIM_WIDTH):
        colour = RIM_COLOUR
    if in_circle(x, y, FACE):
        colour = FACE_COLOUR
    for angle, length, width in HANDS:
        if near_segment(x, y, FACE[:2], hand_end(angle, length), width):
            colour = HAND_COLOUR
    if in_circle(x, y, SEAL, SEAL_RIM_WIDTH):
        colour = SEAL_RIM_COLOUR
    if in_circle(x, y, SEAL):
        colour = SEAL_COLOUR
    for a, b in zip(CHECK, CHECK[1:]):
        if near_segment(x, y, a, b, CHECK_WIDTH):
            colour = CHECK_COLOUR
    return colour


def render(size, samples=4):
    """RGBA rows of the picture at size x size pixels, samples x samples per pixel."""
    rows = []
    step = 1.0 / (size * samples)
    for py in range(size):
        row = bytearray()
        for px in range(size):
            r = g = b = a = 0
            for sy in range(samples):
                y = (py * samples + sy + 0.5) * step
                for sx in range(samples):
                    x = (px * samples + sx + 0.5) * step
                    c = colour_at(x, y)
                    if c is not None:
                        # Premultiplied sums, so that edges blend with transparency.
                        r += c[0] * c[3]
                        g += c[1] * c[3]
                        b += c[2] * c[3]
                        a += c[3]
            n = samples * samples
            if a == 0:
                row += b"\0\0\0\0"
            else:
                row += bytes((round(r / a), round(g / a), round(b / a), round(a / n)))
        rows.append(bytes(row))
    return rows


def png(size, rows):
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    raw = b"".join(b"\0" + row for row in rows)  # filter type 0 on every row
    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)  # 8-bit RGBA
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def svg():
    def hexcolour(c):
        return "#%02x%02x%02x" % c[:3]

    def s(v):
        return "%g" % round(v * 256, 3)

    left, top, right, bottom, radius = TILE
    parts = [
        '<?xml version="1.0" encoding="UTF-8"?>',
        '<svg xmlns="http://www.w3.org/2000/svg" width="256" height="256" '
        'viewBox="0 0 256 256">',
        '  <rect x="%s" y="%s" width="%s" height="%s" rx="%s" fill="%s"/>'
        % (s(left), s(top), s(right - left), s(bottom - top), s(radius),
           hexcolour(TILE_COLOUR)),
        '  <circle cx="%s" cy="%s" r="%s" fill="%s"/>'
        % (s(FACE[0]), s(FACE[1]), s(FACE[2] + RIM_WIDTH), hexcolour(RIM_COLOUR)),
        '  <circle cx="%s" cy="%s" r="%s" fill="%s"/>'
        % (s(FACE[0]), s(FACE[1]), s(FACE[2]), hexcolour(FACE_COLOUR)),
    ]
    for angle, length, width in HANDS:
        x, y = hand_end(angle, length)
        parts.append('  <line x1="%s" y1="%s" x2="%s" y2="%s" stroke="%s" '
                     'stroke-width="%s" stroke-linecap="round"/>'
                     % (s(FACE[0]), s(FACE[1]), s(x), s(y), hexcolour(HAND_COLOUR), s(width)))
    parts += [
        '  <circle cx="%s" cy="%s" r="%s" fill="%s"/>'
        % (s(SEAL[0]), s(SEAL[1]), s(SEAL[2] + SEAL_RIM_WIDTH), hexcolour(SEAL_RIM_COLOUR)),
        '  <circle cx="%s" cy="%s" r="%s" fill="%s"/>'
        % (s(SEAL[0]), s(SEAL[1]), s(SEAL[2]), hexcolour(SEAL_COLOUR)),
        '  <polyline points="%s" fill="none" stroke="%s" stroke-width="%s" '
        'stroke-linecap="round" stroke-linejoin="round"/>'
        % (" ".join("%s,%s" % (s(x), s(y)) for x, y in CHECK), hexcolour(CHECK_COLOUR),
           s(CHECK_WIDTH)),
        "</svg>",
        "",
    ]
    return "\n".join(parts)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "res", "icons")
    os.makedirs(out, exist_ok=True)
    for size in SIZES:
        with open(os.path.join(out, "mivoklient-%d.png" % size), "wb") as f:
            f.write(png(size, render(size)))
    with open(os.path.join(out, "mivoklient.svg"), "w", encoding="utf-8") as f:
        f.write(svg())


if __name__ == "__main__":
    main()
