#!/usr/bin/env python3
"""Draws the program's 32x32 printer icon (a grey printer with a sheet of paper)
and writes it as a 16-colour .ico with its own palette and an AND mask: the
drawing has six colours, and the shipped program is kept small."""
import struct, sys

W = H = 32
px = [[None] * W for _ in range(H)]  # None = transparent

def rect(x0, y0, x1, y1, colour):
    for y in range(y0, y1 + 1):
        for x in range(x0, x1 + 1):
            px[y][x] = colour

BLACK, DARK, GREY, LIGHT, WHITE, GREEN = (0, 0, 0), (64, 64, 64), (128, 128, 128), (192, 192, 192), (255, 255, 255), (0, 160, 0)
rect(9, 2, 22, 13, BLACK); rect(10, 3, 21, 13, WHITE)          # paper in the feeder
for y in (5, 7, 9, 11): rect(12, y, 19, y, GREY)                # printed lines
rect(3, 12, 28, 24, BLACK); rect(4, 13, 27, 23, LIGHT)         # body
rect(4, 13, 27, 14, WHITE)                                      # highlight
rect(6, 18, 25, 19, DARK)                                       # output slot
rect(23, 15, 25, 16, GREEN)                                     # power lamp
rect(5, 24, 26, 27, BLACK); rect(6, 24, 25, 26, GREY)          # base
rect(8, 20, 23, 29, BLACK); rect(9, 20, 22, 28, WHITE)          # sheet coming out
for y in (22, 24, 26): rect(11, y, 20, y, GREY)

colours = sorted({c for row in px for c in row if c})
assert len(colours) < 16
palette = [(0, 0, 0)] + colours           # index 0: the transparent pixels
xor = bytearray()
for y in range(H - 1, -1, -1):
    for x in range(0, W, 2):
        pair = [palette.index(px[y][x + i]) if px[y][x + i] else 0 for i in (0, 1)]
        xor.append(pair[0] << 4 | pair[1])
andmask = bytearray()
for y in range(H - 1, -1, -1):
    bits = 0
    for x in range(W):
        bits = (bits << 1) | (1 if px[y][x] is None else 0)
    andmask += struct.pack('>I', bits)
table = b''.join(bytes((c[2], c[1], c[0], 0)) for c in palette) + bytes(4 * (16 - len(palette)))
header = struct.pack('<IiiHHIIiiII', 40, W, H * 2, 1, 4, 0, len(xor) + len(andmask), 0, 0, 16, 0)
image = header + table + xor + andmask
ico = struct.pack('<HHH', 0, 1, 1) + struct.pack('<BBBBHHII', W, H, 16, 0, 1, 4, len(image), 22) + image
open(sys.argv[1] if len(sys.argv) > 1 else 'kxsetup.ico', 'wb').write(ico)
