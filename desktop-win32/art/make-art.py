#!/usr/bin/env python3
"""Draws velmar.exe's icon (velmar.ico) and product picture (product.bmp), a tyre with a
green service tool in front of it, and the caution box's three key pictures (key1-3.bmp). Run it again after a change; the files are committed."""
import math
import struct


def tyre_pixel(x, y, size):
    """RGBA of the icon at pixel (x, y): a dark tyre, a grey rim, a green tool."""
    c = (size - 1) / 2
    r = math.hypot(x - c, y - c) / (size / 2)
    tool = size * 0.42 <= x <= size * 0.92 and size * 0.30 <= y <= size * 0.95
    if tool:
        screen = size * 0.50 <= x <= size * 0.84 and size * 0.38 <= y <= size * 0.60
        return (200, 240, 200, 255) if screen else (20, 150, 40, 255)
    if r <= 0.42:
        return (170, 170, 178, 255)
    if r <= 0.95:
        tread = int(math.degrees(math.atan2(y - c, x - c)) // 15) % 2
        return (45, 45, 48, 255) if tread else (30, 30, 32, 255)
    return (0, 0, 0, 0)


def ico(sizes):
    images = []
    for size in sizes:
        rows = []
        for y in reversed(range(size)):  # bottom-up
            row = b""
            for x in range(size):
                r, g, b, a = tyre_pixel(x, y, size)
                row += bytes((b, g, r, a))
            rows.append(row)
        mask_stride = ((size + 31) // 32) * 4
        data = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
        data += b"".join(rows) + bytes(mask_stride * size)
        images.append((size, data))
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in images:
        out += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    return out + b"".join(data for _, data in images)


def key_pixel(which, x, y, size):
    """RGB of key picture `which` (0: the power key, 1: the key to hold, 2: the key to press)
    on the magenta that the caution box draws as transparent."""
    c = (size - 1) / 2
    inside = abs(x - c) <= size * 0.42 and abs(y - c) <= size * 0.42
    if not inside:
        return (255, 0, 255)
    r = math.hypot(x - c, y - c) / (size / 2)
    if which == 0:
        ring = 0.42 <= r <= 0.56 and not (y < c and abs(x - c) < size * 0.08)
        bar = abs(x - c) < size * 0.05 and c - size * 0.32 <= y <= c
        return (230, 40, 40) if ring or bar else (70, 70, 76)
    if which == 1:  # an arrow up
        arrow = y >= c - size * 0.28 and abs(x - c) <= (y - (c - size * 0.28)) * 0.8 and y <= c + size * 0.05
        stem = abs(x - c) < size * 0.07 and c <= y <= c + size * 0.28
        return (240, 240, 240) if arrow or stem else (70, 70, 76)
    dot = r <= 0.3  # a round confirm key
    return (40, 170, 60) if dot else (70, 70, 76)


def key_bmp(which, size):
    stride = (size * 3 + 3) & ~3
    pixels = b""
    for y in reversed(range(size)):
        row = b"".join(bytes(reversed(key_pixel(which, x, y, size))) for x in range(size))
        pixels += row + bytes(stride - size * 3)
    header = struct.pack("<IiiHHIIiiII", 40, size, size, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    return struct.pack("<2sIHHI", b"BM", 14 + 40 + len(pixels), 0, 0, 54) + header + pixels


def bmp(width, height):
    stride = (width * 3 + 3) & ~3
    pixels = b""
    for y in reversed(range(height)):
        row = b""
        for x in range(width):
            r, g, b, a = tyre_pixel(x * 128 // width, y * 100 // height * 128 // 100, 128)
            if a == 0:
                r, g, b = 240, 240, 240
            row += bytes((b, g, r))
        pixels += row + bytes(stride - width * 3)
    header = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    return struct.pack("<2sIHHI", b"BM", 14 + 40 + len(pixels), 0, 0, 54) + header + pixels


if __name__ == "__main__":
    with open("velmar.ico", "wb") as f:
        f.write(ico([16, 32, 48]))
    with open("product.bmp", "wb") as f:
        f.write(bmp(150, 118))
    for which in range(3):
        with open("key%d.bmp" % (which + 1), "wb") as f:
            f.write(key_bmp(which, 48))
