#!/usr/bin/env python3
"""Draws tovik's icon (a page with a tick, 16 colours) at 32x32 and 16x16
and writes res/tovik.ico. The .ico is committed; this records how it was made."""
import struct, sys

PALETTE = [(0,0,0),(128,0,0),(0,128,0),(128,128,0),(0,0,128),(128,0,128),(0,128,128),(192,192,192),
           (128,128,128),(255,0,0),(0,255,0),(255,255,0),(0,0,255),(255,0,255),(0,255,255),(255,255,255)]
BLACK, NAVY, GREY, GREEN, WHITE, BLUE = 0, 4, 8, 10, 15, 12

def draw(n):
    s = n / 32.0
    px = [[None] * n for _ in range(n)]
    x0, x1, y0, y1 = int(5*s), int(26*s), int(2*s), int(29*s)
    for y in range(y0, y1 + 1):
        for x in range(x0, x1 + 1):
            edge = x in (x0, x1) or y in (y0, y1)
            px[y][x] = BLACK if edge else WHITE
    for k in range(4):
        y = int((8 + 4*k) * s)
        for x in range(int(8*s), int(23*s)):
            px[y][x] = BLUE if k % 2 == 0 else NAVY
    for t in range(int(10*s)):  # the tick
        for w in range(max(1, int(2*s))):
            a = (int(11*s) + t, int(22*s) + t // 2 + w) if t < int(4*s) else None
            if a and a[1] < n: px[min(a[1], n-1)][a[0]] = GREEN
            bx, by = int(14*s) + t, int(26*s) - t + w
            if 0 <= by < n and bx < n: px[by][bx] = GREEN
    return px

def image(n):
    px = draw(n)
    header = struct.pack('<IiiHHIIiiII', 40, n, 2*n, 1, 4, 0, 0, 0, 0, 16, 0)
    pal = b''.join(struct.pack('BBBB', b, g, r, 0) for (r, g, b) in PALETTE)
    xor, andm = b'', b''
    for y in reversed(range(n)):
        row = bytearray()
        for x in range(0, n, 2):
            hi, lo = px[y][x] or 0, px[y][x+1] or 0
            row.append((hi << 4) | lo)
        row += b'\0' * (-len(row) % 4)
        xor += bytes(row)
        bits = bytearray((n + 7) // 8)
        for x in range(n):
            if px[y][x] is None:
                bits[x // 8] |= 0x80 >> (x % 8)
        bits += b'\0' * (-len(bits) % 4)
        andm += bytes(bits)
    return header + pal + xor + andm

imgs = [image(32), image(16)]
out = struct.pack('<HHH', 0, 1, len(imgs))
off = 6 + 16 * len(imgs)
for n, img in zip((32, 16), imgs):
    out += struct.pack('<BBBBHHII', n, n, 16, 0, 1, 4, len(img), off)
    off += len(img)
out += b''.join(imgs)
open(sys.argv[1] if len(sys.argv) > 1 else 'res/tovik.ico', 'wb').write(out)
