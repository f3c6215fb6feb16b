#!/usr/bin/env python3
"""Draws the main window's toolbar images (16 x 15 pixels each) as PNG files.

Pure Python (zlib only), so the images can be remade anywhere:
    python3 scripts/make_toolbar_images.py [output folder, default res/toolbar]
Each image is pixel art below ('.' is transparent); the round ones are drawn from geometry.
"""
import math
import os
import struct
import sys
import zlib

WIDTH, HEIGHT = 16, 15

PALETTE = {
    '.': (0, 0, 0, 0),
    'k': (45, 52, 64, 255),      # outline
    'w': (255, 255, 255, 255),
    'l': (228, 232, 238, 255),   # paper shade
    'g': (150, 156, 166, 255),
    's': (200, 205, 212, 255),   # metal
    'y': (246, 204, 72, 255),
    'o': (196, 138, 40, 255),
    'd': (150, 96, 34, 255),     # wood
    'b': (38, 96, 196, 255),
    'c': (150, 190, 240, 255),
    'r': (206, 44, 40, 255),
    'G': (36, 150, 60, 255),
}

ART = {
    # 57600: a new page with a seal
    'new': [
        "..kkkkkkkk......",
        "..kwwwwwwkk.....",
        "..kwwwwwwklk....",
        "..kwwwwwwkkkk...",
        "..kwwwwwwwwwk...",
        "..kwwwwyywwwk...",
        "..kwwwyyyywwk...",
        "..kwwyyooyywk...",
        "..kwwyyooyywk...",
        "..kwwwyyyywwk...",
        "..kwwwwyywwwk...",
        "..kwwwwwwwwwk...",
        "..kwwwwwwwwwk...",
        "..kkkkkkkkkkk...",
        "................",
    ],
    # 57601: an open folder
    'open': [
        "................",
        "................",
        ".kkkk...........",
        "kyyyyk..........",
        "kyyyyykkkkkkk...",
        "kyyyyyyyyyyyk...",
        "kyyyyyyyyyyyk...",
        "kyykkkkkkkkkkkkk",
        "kyykoooooooooook",
        "kykoooooooooook.",
        "kykooooooooook..",
        "kkoooooooooook..",
        "kkooooooooook...",
        "kkkkkkkkkkkk....",
        "................",
    ],
    # 32773: a page with a check mark
    'verify': [
        "kkkkkkkk........",
        "kwwwwwwkk.......",
        "kwggggwklk......",
        "kwwwwwwkkkk.....",
        "kwgggggggwk.....",
        "kwwwwwwwwwk....G",
        "kwgggggggwk...GG",
        "kwwwwwwwwwk..GGG",
        "kwggggggwwk.GGG.",
        "kwwwwwwwwwkGGG..",
        "kwgggggGGwGGG...",
        "kwwwwwwGGGGG....",
        "kwwwwwwwGGG.....",
        "kkkkkkkkkG......",
        "................",
    ],
    # 32772: remove from the list
    'delete': [
        "................",
        ".rr.........rr..",
        ".rrr.......rrr..",
        "..rrr.....rrr...",
        "...rrr...rrr....",
        "....rrr.rrr.....",
        ".....rrrrr......",
        "......rrr.......",
        ".....rrrrr......",
        "....rrr.rrr.....",
        "...rrr...rrr....",
        "..rrr.....rrr...",
        ".rrr.......rrr..",
        ".rr.........rr..",
        "................",
    ],
    # 57608: print the page
    'print': [
        "................",
        "....kkkkkkkk....",
        "....kwwwwwwk....",
        "....kwggggwk....",
        "....kwwwwwwk....",
        ".kkkkkkkkkkkkkk.",
        "kssssssssssssssk",
        "ksssssssssssGGsk",
        "kssssssssssssssk",
        "kggggggggggggggk",
        "kgkkkkkkkkkkkkgk",
        ".kkwwwwwwwwwwkk.",
        "...kwggggggwk...",
        "...kwwwwwwwwk...",
        "...kkkkkkkkkk...",
    ],
    # 57665: leave through the door
    'exit': [
        "kkkkkkkkk.......",
        "kdddddddk.......",
        "kdoooooodk......",
        "kdoooooodk......",
        "kdoooooodk...r..",
        "kdoooooodk...rr.",
        "kdoooyoodrrrrrrr",
        "kdoooyoodrrrrrrr",
        "kdoooooodk...rr.",
        "kdoooooodk...r..",
        "kdoooooodk......",
        "kdoooooodk......",
        "kdddddddk.......",
        "kkkkkkkkk.......",
        "................",
    ],
}

# Glyphs written over a round badge.
QUESTION = [
    "................",
    "................",
    "................",
    "......wwww......",
    ".....ww..ww.....",
    ".........ww.....",
    "........ww......",
    ".......ww.......",
    ".......ww.......",
    "................",
    ".......ww.......",
    ".......ww.......",
    "................",
    "................",
    "................",
]
INFO = [
    "................",
    "................",
    "................",
    ".......ww.......",
    ".......ww.......",
    "................",
    "......www.......",
    ".......ww.......",
    ".......ww.......",
    ".......ww.......",
    ".......ww.......",
    "......wwww......",
    "................",
    "................",
    "................",
]


def blank():
    return [[PALETTE['.'] for _ in range(WIDTH)] for _ in range(HEIGHT)]


def from_art(rows):
    assert len(rows) == HEIGHT, rows
    image = blank()
    for y, row in enumerate(rows):
        assert len(row) == WIDTH, (y, row)
        for x, ch in enumerate(row):
            image[y][x] = PALETTE[ch]
    return image


def overlay(image, rows):
    for y, row in enumerate(rows):
        for x, ch in enumerate(row):
            if ch != '.':
                image[y][x] = PALETTE[ch]
    return image


def badge(fill):
    """A disc with a dark rim, centred in the image."""
    image = blank()
    cx, cy, radius = 7.5, 7.0, 6.9
    for y in range(HEIGHT):
        for x in range(WIDTH):
            d = math.hypot(x + 0.5 - cx - 0.5, y + 0.5 - cy - 0.5)
            if d <= radius - 1.2:
                image[y][x] = PALETTE[fill]
            elif d <= radius:
                image[y][x] = PALETTE['k']
    return image


def gear():
    """32771: a cog wheel with eight teeth and a hole."""
    image = blank()
    cx, cy = 7.5, 7.0
    for y in range(HEIGHT):
        for x in range(WIDTH):
            dx, dy = x + 0.5 - cx - 0.5, y + 0.5 - cy - 0.5
            d = math.hypot(dx, dy)
            tooth = (math.atan2(dy, dx) + math.pi) % (2 * math.pi / 8) < (math.pi / 8)
            if d < 2.0:
                continue
            if d < 4.8 or (tooth and d < 6.8):
                image[y][x] = PALETTE['s']
    # A dark rim wherever the metal meets transparency.
    rim = [row[:] for row in image]
    for y in range(HEIGHT):
        for x in range(WIDTH):
            if image[y][x][3] == 0:
                continue
            for nx, ny in ((x - 1, y), (x + 1, y), (x, y - 1), (x, y + 1)):
                if not (0 <= nx < WIDTH and 0 <= ny < HEIGHT) or image[ny][nx][3] == 0:
                    rim[y][x] = PALETTE['k']
                    break
    return rim


def png(image):
    raw = b''.join(b'\x00' + b''.join(bytes(p) for p in row) for row in image)

    def chunk(kind, data):
        body = kind + data
        return struct.pack('>I', len(data)) + body + struct.pack('>I', zlib.crc32(body) & 0xFFFFFFFF)

    header = struct.pack('>IIBBBBB', WIDTH, HEIGHT, 8, 6, 0, 0, 0)  # 8-bit RGBA
    return (b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', header) +
            chunk(b'IDAT', zlib.compress(raw, 9)) + chunk(b'IEND', b''))


def images():
    result = {name: from_art(rows) for name, rows in ART.items()}
    result['settings'] = gear()
    result['help'] = overlay(badge('b'), QUESTION)
    result['about'] = overlay(badge('G'), INFO)
    return result


def main():
    top = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(top, 'res', 'toolbar')
    os.makedirs(out, exist_ok=True)
    for name, image in sorted(images().items()):
        with open(os.path.join(out, name + '.png'), 'wb') as f:
            f.write(png(image))
    print('%d images in %s' % (len(ART) + 3, out))


if __name__ == '__main__':
    main()
