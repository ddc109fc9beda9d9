#!/usr/bin/env python3
"""Draws Quaverly's icon: a white quaver on a teal rounded square.

Writes quaverly-16.png, quaverly-32.png and quaverly-48.png next to this script,
quaverly.svg with the same shapes, and quaverly.ico, the Windows icon group: 32 x 32 and
16 x 16 in 16 colours (teal, white and the shades between them). Needs nothing but Python 3: the PNG files are written by
hand, each pixel the coverage of 8 x 8 samples.

    res/icons/make_icons.py
"""

import math
import os
import struct
import zlib

TEAL = (0x1E, 0x6F, 0x8C)
WHITE = (0xFF, 0xFF, 0xFF)

# Shapes in a 1 x 1 square, y downwards; the SVG uses the same numbers times 48.
INSET, RADIUS = 0.03, 0.2
HEAD_X, HEAD_Y, HEAD_RX, HEAD_RY, HEAD_TILT = 0.40, 0.72, 0.17, 0.115, -25.0
STEM_LEFT, STEM_RIGHT, STEM_TOP = 0.50, 0.575, 0.16
FLAG_START, FLAG_END, FLAG_THICK = 0.575, 0.80, 0.13


def in_background(x, y):
    lo, hi = INSET, 1 - INSET
    if not (lo <= x <= hi and lo <= y <= hi):
        return False
    cx = min(max(x, lo + RADIUS), hi - RADIUS)
    cy = min(max(y, lo + RADIUS), hi - RADIUS)
    return (x - cx) ** 2 + (y - cy) ** 2 <= RADIUS ** 2


def in_head(x, y):
    t = math.radians(HEAD_TILT)
    dx, dy = x - HEAD_X, y - HEAD_Y
    u = dx * math.cos(t) + dy * math.sin(t)
    v = -dx * math.sin(t) + dy * math.cos(t)
    return (u / HEAD_RX) ** 2 + (v / HEAD_RY) ** 2 <= 1


def flag_top(x):
    # A quarter sine from the stem's top, falling to the right.
    s = (x - FLAG_START) / (FLAG_END - FLAG_START)
    return STEM_TOP + 0.30 * math.sin(s * math.pi / 2)


def in_note(x, y):
    if in_head(x, y):
        return True
    if STEM_LEFT <= x <= STEM_RIGHT and STEM_TOP <= y <= HEAD_Y:
        return True
    if FLAG_START <= x <= FLAG_END:
        top = flag_top(x)
        thick = FLAG_THICK * (1 - 0.6 * (x - FLAG_START) / (FLAG_END - FLAG_START))
        return top <= y <= top + thick
    return False


def render(size, samples=8):
    rows = []
    for py in range(size):
        row = bytearray([0])  # filter: none
        for px in range(size):
            bg = note = 0
            for sy in range(samples):
                for sx in range(samples):
                    x = (px + (sx + 0.5) / samples) / size
                    y = (py + (sy + 0.5) / samples) / size
                    if in_background(x, y):
                        if in_note(x, y):
                            note += 1
                        else:
                            bg += 1
            total = samples * samples
            alpha = (bg + note) / total
            if bg + note == 0:
                row += bytes((0, 0, 0, 0))
                continue
            mix = note / (bg + note)
            colour = [round(TEAL[i] * (1 - mix) + WHITE[i] * mix) for i in range(3)]
            row += bytes(colour + [round(alpha * 255)])
        rows.append(bytes(row))
    return b"".join(rows)


def png(size, pixels):
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)  # 8-bit RGBA
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header)
            + chunk(b"IDAT", zlib.compress(pixels, 9)) + chunk(b"IEND", b""))


# The 16 colours of the Windows icon: black (unused) and 15 steps from teal to white.
ICO_PALETTE = [(0, 0, 0)] + [
    tuple(round(TEAL[i] + (WHITE[i] - TEAL[i]) * step / 14) for i in range(3)) for step in range(15)]


def ico_image(size):
    pixels = render(size)
    stride = 1 + 4 * size
    colour_rows, mask_rows = [], []
    for py in range(size):
        row = pixels[py * stride + 1:(py + 1) * stride]
        indices, mask = [], []
        for px in range(size):
            r, g, b, a = row[4 * px:4 * px + 4]
            if a < 128:
                indices.append(0)
                mask.append(1)
                continue
            mix = (r - TEAL[0]) / (WHITE[0] - TEAL[0])
            indices.append(1 + max(0, min(14, round(mix * 14))))
            mask.append(0)
        packed = bytes((indices[i] << 4) | indices[i + 1] for i in range(0, size, 2))
        colour_rows.append(packed.ljust((len(packed) + 3) // 4 * 4, b"\0"))
        bits = bytes(sum(mask[i + j] << (7 - j) for j in range(8)) for i in range(0, size, 8))
        mask_rows.append(bits.ljust((len(bits) + 3) // 4 * 4, b"\0"))
    # Bitmaps run bottom-up; the height counts the colour and the mask halves.
    body = b"".join(reversed(colour_rows)) + b"".join(reversed(mask_rows))
    header = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, 4, 0, len(body), 0, 0, 16, 0)
    palette = b"".join(bytes((b, g, r, 0)) for r, g, b in ICO_PALETTE)
    return header + palette + body


def ico():
    images = [ico_image(size) for size in (32, 16)]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, image in zip((32, 16), images):
        out += struct.pack("<BBBBHHII", size, size, 16, 0, 1, 4, len(image), offset)
        offset += len(image)
    return out + b"".join(images)


def svg():
    s = 48
    t = HEAD_TILT
    flag = " ".join(
        f"{x * s:.2f},{flag_top(x) * s:.2f}"
        for x in [FLAG_START + i * (FLAG_END - FLAG_START) / 12 for i in range(13)])
    back = " ".join(
        f"{x * s:.2f},{(flag_top(x) + FLAG_THICK * (1 - 0.6 * (x - FLAG_START) / (FLAG_END - FLAG_START))) * s:.2f}"
        for x in [FLAG_END - i * (FLAG_END - FLAG_START) / 12 for i in range(13)])
    teal = "#%02X%02X%02X" % TEAL
    return f"""<?xml version="1.0" encoding="UTF-8"?>
<svg xmlns="http://www.w3.org/2000/svg" width="{s}" height="{s}" viewBox="0 0 {s} {s}">
  <rect x="{INSET * s:.2f}" y="{INSET * s:.2f}" width="{(1 - 2 * INSET) * s:.2f}" height="{(1 - 2 * INSET) * s:.2f}" rx="{RADIUS * s:.2f}" fill="{teal}"/>
  <g fill="#FFFFFF">
    <ellipse cx="{HEAD_X * s:.2f}" cy="{HEAD_Y * s:.2f}" rx="{HEAD_RX * s:.2f}" ry="{HEAD_RY * s:.2f}" transform="rotate({t} {HEAD_X * s:.2f} {HEAD_Y * s:.2f})"/>
    <rect x="{STEM_LEFT * s:.2f}" y="{STEM_TOP * s:.2f}" width="{(STEM_RIGHT - STEM_LEFT) * s:.2f}" height="{(HEAD_Y - STEM_TOP) * s:.2f}"/>
    <polygon points="{flag} {back}"/>
  </g>
</svg>
"""


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    for size in (16, 32, 48):
        with open(os.path.join(here, f"quaverly-{size}.png"), "wb") as out:
            out.write(png(size, render(size)))
    with open(os.path.join(here, "quaverly.svg"), "w", encoding="utf-8") as out:
        out.write(svg())
    with open(os.path.join(here, "quaverly.ico"), "wb") as out:
        out.write(ico())


if __name__ == "__main__":
    main()
