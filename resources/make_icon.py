#!/usr/bin/env python3
"""Draws program.ico: one 32 x 32 image with 8 bits per pixel (a 256-entry palette).

A sheet of paper with a block of punched-card rows on the left, an arrow, and text lines on
the right: bytes going in one form and coming out in another. Run it again only to change
the picture; the build uses the committed program.ico.
"""
import os
import struct

SIZE = 32
PALETTE = [
    (0, 0, 0),        # 0 transparent (masked)
    (40, 40, 40),     # 1 outline
    (255, 255, 255),  # 2 paper
    (30, 80, 170),    # 3 EBCDIC block
    (230, 160, 30),   # 4 arrow
    (40, 140, 60),    # 5 ASCII lines
    (190, 190, 190),  # 6 paper shade
]


def draw():
    pixels = [[0] * SIZE for _ in range(SIZE)]

    def rect(x0, y0, x1, y1, colour):
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                pixels[y][x] = colour

    rect(3, 2, 28, 29, 1)    # sheet outline
    rect(4, 3, 27, 28, 2)    # paper
    rect(22, 3, 27, 8, 6)    # folded corner
    for row in range(6, 25, 3):
        rect(6, row, 12, row + 1, 3)
    rect(14, 14, 17, 16, 4)  # arrow shaft
    for d in range(5):       # arrow head, pointing right
        rect(18 + d, 11 + d, 18 + d, 19 - d, 4)
    for row in range(11, 26, 3):
        rect(23, row, 26 if row % 2 else 25, row + 1, 5)
    return pixels


def ico(pixels):
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in PALETTE)
    palette += b"\0" * (4 * 256 - len(palette))
    xor = b"".join(bytes(pixels[y]) for y in reversed(range(SIZE)))
    and_rows = []
    for y in reversed(range(SIZE)):
        bits = 0
        for x in range(SIZE):
            if pixels[y][x] == 0:
                bits |= 1 << (31 - x)
        and_rows.append(struct.pack(">I", bits))
    mask = b"".join(and_rows)
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, 2 * SIZE, 1, 8, 0, len(xor) + len(mask), 0, 0, 256, 0)
    image = header + palette + xor + mask
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", SIZE, SIZE, 0, 0, 1, 8, len(image), 6 + 16)
    return directory + entry + image


if __name__ == "__main__":
    here = os.path.dirname(os.path.abspath(__file__))
    with open(os.path.join(here, "program.ico"), "wb") as out:
        out.write(ico(draw()))
