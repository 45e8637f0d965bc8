#!/usr/bin/env python3
"""Draws the maker's logo for the About rollups: 125 x 62 pixels, 16 colours.

Writes a Windows bitmap (BITMAPINFOHEADER, 4 bits a pixel, uncompressed, rows
bottom-up) that the resource script embeds as bitmap 102. The drawing is plain
arithmetic, so the file comes out byte for byte the same on every run:

    python3 make_logo.py logo.bmp
"""
import struct
import sys

WIDTH, HEIGHT = 125, 62

# Our own 16-colour palette, as (r, g, b).
PALETTE = [
    (0, 0, 0),        # 0 black
    (16, 24, 64),     # 1 night
    (24, 40, 104),    # 2 navy
    (36, 64, 150),    # 3 blue
    (70, 110, 200),   # 4 sky
    (150, 200, 240),  # 5 ice
    (255, 255, 255),  # 6 white
    (64, 64, 64),     # 7 dark grey
    (128, 128, 128),  # 8 grey
    (192, 192, 192),  # 9 light grey
    (160, 70, 10),    # 10 rust
    (230, 120, 20),   # 11 orange
    (250, 200, 40),   # 12 gold
    (30, 110, 60),    # 13 moss
    (80, 180, 90),    # 14 leaf
    (170, 60, 140),   # 15 plum
]

# A 5 x 7 pixel face for the letters we need, one string per row.
GLYPHS = {
    "Q": ["01110", "10001", "10001", "10001", "10101", "10010", "01101"],
    "U": ["10001", "10001", "10001", "10001", "10001", "10001", "01110"],
    "O": ["01110", "10001", "10001", "10001", "10001", "10001", "01110"],
    "R": ["11110", "10001", "10001", "11110", "10100", "10010", "10001"],
    "L": ["10000", "10000", "10000", "10000", "10000", "10000", "11111"],
    "S": ["01111", "10000", "10000", "01110", "00001", "00001", "11110"],
    "T": ["11111", "00100", "00100", "00100", "00100", "00100", "00100"],
    "D": ["11100", "10010", "10001", "10001", "10001", "10010", "11100"],
    "I": ["01110", "00100", "00100", "00100", "00100", "00100", "01110"],
}


def draw():
    img = [[0] * WIDTH for _ in range(HEIGHT)]

    # Background: night to blue from top to bottom, ordered-dithered between
    # neighbouring palette entries so the 16 colours read as a ramp.
    bayer = [[0, 8, 2, 10], [12, 4, 14, 6], [3, 11, 1, 9], [15, 7, 13, 5]]
    ramp = [1, 2, 3]
    for y in range(HEIGHT):
        pos = y * (len(ramp) - 1) / (HEIGHT - 1)
        lo = int(pos)
        frac = pos - lo
        for x in range(WIDTH):
            hi = min(lo + 1, len(ramp) - 1)
            img[y][x] = ramp[hi] if frac * 16 > bayer[y % 4][x % 4] else ramp[lo]

    # The mark: a ring with a tail, warm colours from the outside in.
    cx, cy = 24, 29
    for y in range(HEIGHT):
        for x in range(WIDTH):
            d2 = (x - cx) ** 2 + (y - cy) ** 2
            if 11 ** 2 <= d2 <= 19 ** 2:
                img[y][x] = 10 if d2 > 17 ** 2 else (11 if d2 > 14 ** 2 else 12)
    for i in range(14):
        for w in range(-2, 3):
            x, y = cx + 8 + i, cy + 8 + i + w
            if 0 <= x < WIDTH and 0 <= y < HEIGHT:
                img[y][x] = 12 if w == 0 else 11

    def text(s, x0, y0, scale, colour, shadow=None):
        x = x0
        for ch in s:
            rows = GLYPHS[ch]
            for gy, row in enumerate(rows):
                for gx, bit in enumerate(row):
                    if bit != "1":
                        continue
                    for sy in range(scale):
                        for sx in range(scale):
                            px, py = x + gx * scale + sx, y0 + gy * scale + sy
                            if shadow is not None and px + 1 < WIDTH and py + 1 < HEIGHT:
                                img[py + 1][px + 1] = shadow
                            img[py][px] = colour
            x += 6 * scale

    text("QUORL", 52, 10, 2, 6, shadow=0)
    text("STUDIO", 62, 38, 1, 5)
    for x in range(52, 120):
        img[33][x] = 12
    for x in range(62, 97):
        img[47][x] = 14

    # A one-pixel frame.
    for x in range(WIDTH):
        img[0][x] = img[HEIGHT - 1][x] = 9
    for y in range(HEIGHT):
        img[y][0] = img[y][WIDTH - 1] = 9
    return img


def encode(img):
    stride = ((WIDTH * 4 + 31) // 32) * 4
    rows = []
    for y in range(HEIGHT - 1, -1, -1):  # bottom-up
        row = bytearray(stride)
        for x in range(WIDTH):
            if x % 2 == 0:
                row[x // 2] |= img[y][x] << 4
            else:
                row[x // 2] |= img[y][x]
        rows.append(bytes(row))
    pixels = b"".join(rows)
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in PALETTE)
    info = struct.pack("<IiiHHIIiiII", 40, WIDTH, HEIGHT, 1, 4, 0, len(pixels), 2835, 2835, 16, 16)
    offset = 14 + len(info) + len(palette)
    header = struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset)
    return header + info + palette + pixels


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else "logo.bmp"
    with open(out, "wb") as f:
        f.write(encode(draw()))


if __name__ == "__main__":
    main()
