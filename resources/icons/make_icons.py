#!/usr/bin/env python3
"""Draws the agent's two icons (a telephone handset on a blue disc) as 32-bit ICO files.

Run from this folder to regenerate agent.ico (32 and 48 px) and small.ico (16 px).
"""
import math
import struct


def pixel(x, y, size):
    c = (size - 1) / 2.0
    r = math.hypot(x - c, y - c) / (size / 2.0)
    if r > 0.98:
        return (0, 0, 0, 0)
    # Handset: a thick arc on the lower-left to upper-right diagonal, with two ear/mouth pieces.
    u, v = (x - c) / size, (y - c) / size
    d = (u + v) / math.sqrt(2)          # along the handset
    e = (v - u) / math.sqrt(2)          # across it
    arc = e - 0.55 * d * d + 0.05
    body = abs(d) < 0.30 and abs(arc) < 0.07
    ends = abs(abs(d) - 0.27) < 0.08 and -0.02 < arc < 0.16
    if body or ends:
        return (255, 255, 255, 255)
    return (200, 110, 30, 255)  # BGRA: a calm blue


def image(size):
    rows = []
    for y in range(size - 1, -1, -1):  # bottom-up
        rows.append(b"".join(bytes(pixel(x, y, size)) for x in range(size)))
    xor = b"".join(rows)
    mask_row = ((size + 31) // 32) * 4
    and_mask = b"\0" * (mask_row * size)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(xor) + len(and_mask), 0, 0, 0, 0)
    return header + xor + and_mask


def write_icon(path, sizes):
    images = [image(s) for s in sizes]
    out = struct.pack("<HHH", 0, 1, len(sizes))
    offset = 6 + 16 * len(sizes)
    for s, data in zip(sizes, images):
        out += struct.pack("<BBBBHHII", s % 256, s % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    out += b"".join(images)
    with open(path, "wb") as f:
        f.write(out)


write_icon("agent.ico", [32, 48])
write_icon("small.ico", [16])
