#!/usr/bin/env python3
"""Draws velkar.ico: a 16-colour 32 x 32 and 16 x 16 image of a box with an
arrow going into it. The images are plain 4-bit bitmaps with an AND mask, the
form every Windows version since 3.0 shows. Run it to remake the icon:

    python3 resources/draw_icon.py resources/velkar.ico
"""
import struct
import sys

# The standard 16-colour palette (blue, green, red, reserved).
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, DARK_YELLOW, YELLOW, BLUE, CYAN, WHITE = 0, 3, 11, 12, 14, 15
CLEAR = None


def shape(x, y):
    """The colour at a point of the unit square, y growing downwards."""
    # The box: an outlined body with a lid band.
    if 0.12 <= x <= 0.88 and 0.47 <= y <= 0.94:
        edge = 0.035
        if x < 0.12 + edge or x > 0.88 - edge or y < 0.47 + edge or y > 0.94 - edge:
            return BLACK
        if y < 0.60:
            return DARK_YELLOW
        if 0.46 <= x <= 0.54:
            return DARK_YELLOW
        return YELLOW
    # The arrow, pointing into the box.
    if 0.40 <= x <= 0.60 and 0.04 <= y <= 0.34:
        return BLUE if 0.43 <= x <= 0.57 else CYAN
    if 0.30 <= y <= 0.50:
        half = (0.50 - y) * 1.1
        if abs(x - 0.5) <= half:
            return BLUE if abs(x - 0.5) <= half - 0.05 else CYAN
    return CLEAR


def image(size):
    pixels = [[shape((col + 0.5) / size, (row + 0.5) / size) for col in range(size)] for row in range(size)]
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 4, 0, 0, 0, 0, 16, 0)
    palette = b''.join(struct.pack('<BBBB', b, g, r, 0) for r, g, b in PALETTE)
    xor = bytearray()
    mask = bytearray()
    mask_stride = ((size + 31) // 32) * 4
    for row in reversed(pixels):
        line = bytearray()
        for col in range(0, size, 2):
            high = row[col] if row[col] is not None else 0
            low = row[col + 1] if row[col + 1] is not None else 0
            line.append(high << 4 | low)
        xor += line + bytes(-len(line) % 4)
        bits = bytearray(mask_stride)
        for col, colour in enumerate(row):
            if colour is None:
                bits[col // 8] |= 0x80 >> (col % 8)
        mask += bits
    return header + palette + bytes(xor) + bytes(mask)


def main(path):
    sizes = [32, 16]
    images = [image(size) for size in sizes]
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in zip(sizes, images):
        out += struct.pack('<BBBBHHII', size, size, 16, 0, 1, 4, len(data), offset)
        offset += len(data)
    with open(path, 'wb') as f:
        f.write(out + b''.join(images))


if __name__ == '__main__':
    main(sys.argv[1])
