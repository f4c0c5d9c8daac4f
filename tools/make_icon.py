#!/usr/bin/env python3
"""Draws the stub's icon (icon 103) and writes it as src/shell/stub.ico.

The icon file holds two 16-colour (4 bits per pixel) images, 32x32 and
16x16. Each image is a BITMAPINFOHEADER with doubled height, the 16-entry
palette, the colour bitmap (rows bottom-up, padded to 4 bytes) and the
1-bit transparency mask (same row order and padding). The artwork is a
brown box with a green arrow pointing down into it: files going in.
Uses the Python standard library only; run it again after changing it.
"""
import os
import struct
import sys

# The standard 16-colour palette (index: (red, green, blue)).
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
TRANSPARENT, BLACK, BROWN, LIGHT_BROWN, GREEN, DARK_GREEN = None, 0, 3, 11, 10, 2


def draw(size):
    """Returns size x size palette indices (None = transparent), top row first."""
    s = size / 32.0
    pixels = [[TRANSPARENT] * size for _ in range(size)]

    def rect(x0, y0, x1, y1, colour):
        for y in range(int(y0 * s), int(y1 * s)):
            for x in range(int(x0 * s), int(x1 * s)):
                pixels[y][x] = colour

    # The box: outline, front and a lighter lid band.
    rect(3, 14, 29, 31, BLACK)
    rect(4, 15, 28, 30, BROWN)
    rect(4, 15, 28, 18, LIGHT_BROWN)
    # The arrow: shaft and head, outlined in dark green.
    rect(12, 1, 20, 12, DARK_GREEN)
    rect(13, 1, 19, 12, GREEN)
    for row in range(8):
        y0, half = 11 + row, 9 - row
        rect(16 - half, y0, 16 + half, y0 + 1, DARK_GREEN)
        if half > 1:
            rect(16 - half + 1, y0, 16 + half - 1, y0 + 1, GREEN)
    return pixels


def image_bytes(size):
    pixels = draw(size)
    colour_row = ((size * 4 + 31) // 32) * 4
    mask_row = ((size + 31) // 32) * 4
    colour = bytearray()
    mask = bytearray()
    for y in reversed(range(size)):  # bottom-up
        row = bytearray(colour_row)
        bits = bytearray(mask_row)
        for x in range(size):
            index = pixels[y][x]
            value = 0 if index is None else index
            row[x // 2] |= value << (4 if x % 2 == 0 else 0)
            if index is None:
                bits[x // 8] |= 0x80 >> (x % 8)
        colour += row
        mask += bits
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 4, 0, len(colour) + len(mask), 0, 0, 16, 0)
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in PALETTE)
    return header + palette + bytes(colour) + bytes(mask)


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(root, "src", "shell", "stub.ico")
    images = [(32, image_bytes(32)), (16, image_bytes(16))]
    data = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, body in images:
        data += struct.pack("<BBBBHHII", size, size, 16, 0, 1, 4, len(body), offset)
        offset += len(body)
    for _, body in images:
        data += body
    with open(out, "wb") as f:
        f.write(data)


if __name__ == "__main__":
    main()
