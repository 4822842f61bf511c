#!/usr/bin/env python3
"""Draws the tray icon: a 64x64, 24-bit Windows icon (colour bitmap plus a 1-bit
transparency mask). A round dark-teal badge with a light ring, four sight marks and a
gold "V". Writes tray.ico beside this script, or to the path given.

    python3 src/res/tray/make_tray_icon.py [OUTPUT.ico]
"""
import math
import os
import struct
import sys

SIZE = 64
CENTRE = (SIZE - 1) / 2.0


def distance_to_segment(px, py, ax, ay, bx, by):
    dx, dy = bx - ax, by - ay
    t = max(0.0, min(1.0, ((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy)))
    return math.hypot(px - (ax + t * dx), py - (ay + t * dy))


def pixel(x, y):
    """Colour (r, g, b) of a pixel, or None where the icon is transparent."""
    r = math.hypot(x - CENTRE, y - CENTRE)
    if r > 31.0:
        return None
    if r > 28.0:
        return (222, 236, 240)  # light ring
    # Sight marks: short strokes from the ring towards the centre, on the four axes.
    if 20.0 < r <= 28.0 and (abs(x - CENTRE) < 1.6 or abs(y - CENTRE) < 1.6):
        return (222, 236, 240)
    # The "V": two thick strokes meeting low in the badge.
    stroke = min(distance_to_segment(x, y, 17, 17, 31.5, 47),
                 distance_to_segment(x, y, 46, 17, 31.5, 47))
    if stroke < 4.2:
        shade = 1.0 - 0.25 * (y / SIZE)
        return (int(250 * shade), int(196 * shade), int(40 * shade))
    # Badge: dark teal, lighter towards the top left.
    light = max(0.0, 1.0 - math.hypot(x - 20, y - 18) / 44.0)
    return (int(18 + 40 * light), int(84 + 60 * light), int(104 + 60 * light))


def build_icon():
    colour_rows = []
    mask_rows = []
    for y in range(SIZE - 1, -1, -1):  # bitmaps are stored bottom-up
        colour = bytearray()
        mask_bits = 0
        for x in range(SIZE):
            rgb = pixel(x, y)
            if rgb is None:
                colour += b"\0\0\0"
                mask_bits |= 1 << (SIZE - 1 - x)
            else:
                colour += bytes((rgb[2], rgb[1], rgb[0]))  # BGR
        colour_rows.append(bytes(colour))  # 192 bytes: already 4-byte aligned
        mask_rows.append(mask_bits.to_bytes(SIZE // 8, "big"))  # 8 bytes: aligned
    colour_data = b"".join(colour_rows)
    mask_data = b"".join(mask_rows)
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE * 2, 1, 24, 0,
                         len(colour_data) + len(mask_data), 0, 0, 0, 0)
    image = header + colour_data + mask_data
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", SIZE, SIZE, 0, 0, 1, 24, len(image), 6 + 16)
    return directory + entry + image


def main():
    output = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
        os.path.dirname(os.path.abspath(__file__)), "tray.ico")
    with open(output, "wb") as f:
        f.write(build_icon())


if __name__ == "__main__":
    main()
