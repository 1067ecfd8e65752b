#!/usr/bin/env python3
"""Draws the updater's icons and writes them as .ico files.

The program's icon groups (103 large, 104 small) show a blue tile with a
white arrow pointing down into a tray; the demo patch's icon.ico shows the
same arrow on a green tile, so a run with the demo visibly uses it.

    make_icons.py <output folder>

writes updater_large.ico (32 and 48 pixels), updater_small.ico (16 pixels)
and demo_icon.ico (16, 32 and 48 pixels).
"""
import os
import struct
import sys

BLUE = ((0x2B, 0x6C, 0xD8), (0x12, 0x3C, 0x8C))
GREEN = ((0x3C, 0xB4, 0x5A), (0x1C, 0x6E, 0x32))


def inside_rounded(x, y, size, radius):
    """Whether the pixel centre lies inside a rounded square."""
    cx, cy = x + 0.5, y + 0.5
    r = radius
    nx = min(max(cx, r), size - r)
    ny = min(max(cy, r), size - r)
    return (cx - nx) ** 2 + (cy - ny) ** 2 <= r * r


def on_arrow(x, y, size):
    """A down arrow over a tray, scaled to the icon."""
    u, v = (x + 0.5) / size, (y + 0.5) / size
    shaft = 0.43 <= u <= 0.57 and 0.18 <= v <= 0.52
    head = 0.50 <= v <= 0.72 and abs(u - 0.5) <= (0.72 - v) * 1.1
    tray = 0.78 <= v <= 0.86 and 0.22 <= u <= 0.78
    sides = 0.64 <= v <= 0.86 and (0.22 <= u <= 0.30 or 0.70 <= u <= 0.78)
    return shaft or head or tray or sides


def draw(size, colours):
    """Rows of (b, g, r, a) from the top."""
    top, bottom = colours
    rows = []
    for y in range(size):
        t = y / max(size - 1, 1)
        tile = tuple(round(top[i] + (bottom[i] - top[i]) * t) for i in range(3))
        row = []
        for x in range(size):
            if not inside_rounded(x, y, size, size * 0.18):
                row.append((0, 0, 0, 0))
            elif on_arrow(x, y, size):
                row.append((255, 255, 255, 255))
            else:
                row.append((tile[2], tile[1], tile[0], 255))
        rows.append(row)
    return rows


def icon_image(size, colours):
    """One 32-bit icon image: header, bottom-up pixels, empty AND mask."""
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = b''.join(bytes(p) for row in reversed(draw(size, colours)) for p in row)
    mask_row = ((size + 31) // 32) * 4
    return header + pixels + bytes(mask_row * size)


def write_ico(path, sizes, colours):
    images = [icon_image(s, colours) for s in sizes]
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, image in zip(sizes, images):
        out += struct.pack('<BBBBHHII', size % 256, size % 256, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
    with open(path, 'wb') as f:
        f.write(out + b''.join(images))


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else '.'
    os.makedirs(folder, exist_ok=True)
    write_ico(os.path.join(folder, 'updater_large.ico'), [32, 48], BLUE)
    write_ico(os.path.join(folder, 'updater_small.ico'), [16], BLUE)
    write_ico(os.path.join(folder, 'demo_icon.ico'), [16, 32, 48], GREEN)


if __name__ == '__main__':
    main()
