#!/usr/bin/env python3
"""Draws the Windows runtime's icons and writes them as .ico files beside this script:
key.ico (the password prompt's key, 16 and 32 pixels) and velmora.ico (the default app icon,
16, 32 and 48 pixels). Run it again after changing a drawing; the outputs are committed."""
import math
import os
import struct


def ico(images):
    """An .ico file of 32-bit BGRA images given as (size, pixel function) pairs."""
    header = struct.pack("<HHH", 0, 1, len(images))
    entries = b""
    blobs = b""
    offset = 6 + 16 * len(images)
    for size, pixel in images:
        rows = b""
        for y in range(size - 1, -1, -1):  # bottom-up
            for x in range(size):
                r, g, b, a = pixel(x + 0.5, y + 0.5, size)
                rows += bytes((b, g, r, a))
        mask_row = ((size + 31) // 32) * 4
        blob = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(rows), 0, 0, 0, 0) + rows
        blob += b"\0" * (mask_row * size)
        entries += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(blob), offset)
        blobs += blob
        offset += len(blob)
    return header + entries + blobs


def coverage(inside, x, y, samples=4):
    """Fraction of a pixel's area for which inside(x, y) holds."""
    hits = 0
    for i in range(samples):
        for j in range(samples):
            if inside(x - 0.5 + (i + 0.5) / samples, y - 0.5 + (j + 0.5) / samples):
                hits += 1
    return hits / (samples * samples)


def key(x, y, size):
    s = size / 16.0
    cx, cy, ro, ri = 5 * s, 8 * s, 4.2 * s, 1.6 * s

    def inside(px, py):
        d = math.hypot(px - cx, py - cy)
        if ri <= d <= ro:
            return True  # the ring
        if 8.5 * s <= px <= 15 * s and 7 * s <= py <= 9 * s:
            return True  # the shaft
        return (11 * s <= px <= 12.5 * s or 13.5 * s <= px <= 15 * s) and 9 * s <= py <= 11.5 * s  # the teeth

    a = coverage(inside, x, y)
    return (196, 150, 30, int(255 * a))


def logo(x, y, size):
    s = size / 16.0

    def disc(px, py):
        return math.hypot(px - 8 * s, py - 8 * s) <= 7.5 * s

    def vee(px, py):
        t = (py - 4 * s) / (8.5 * s)
        if not 0 <= t <= 1:
            return False
        half = 1.3 * s
        left = 4.2 * s + t * 3.8 * s
        right = 11.8 * s - t * 3.8 * s
        return abs(px - left) <= half or abs(px - right) <= half

    a = coverage(disc, x, y)
    if coverage(vee, x, y) > 0.5:
        return (255, 255, 255, int(255 * a))
    return (63, 94, 251, int(255 * a))


here = os.path.dirname(os.path.abspath(__file__))
with open(os.path.join(here, "key.ico"), "wb") as f:
    f.write(ico([(16, key), (32, key)]))
with open(os.path.join(here, "velmora.ico"), "wb") as f:
    f.write(ico([(16, logo), (32, logo), (48, logo)]))
