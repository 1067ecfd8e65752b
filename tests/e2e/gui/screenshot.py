#!/usr/bin/env python3
"""Turns an X window dump into a PNG and compares pixels with a picture.

    screenshot.py DUMP.xwd OUT.png PICTURE.ppm LEFT TOP

LEFT, TOP: where the picture's top left pixel should be on the screen.
Compares a few pixels away from the middle (where boxes stand) and exits 1
when one differs by more than a small tolerance.
"""
import struct
import sys
import zlib


def read_xwd(path):
    data = open(path, 'rb').read()
    fields = struct.unpack('>25I', data[:100])
    header_size, depth = fields[0], fields[3]
    width, height = fields[4], fields[5]
    byte_order, bits_per_pixel, bytes_per_line = fields[7], fields[11], fields[12]
    ncolors = fields[19]
    # True colour with 24 significant bits, in 3 or 4 bytes a pixel.
    step = bits_per_pixel // 8
    if depth != 24 or bits_per_pixel not in (24, 32):
        raise SystemExit('screenshot.py: only 24-bit true colour is read (depth %d)' % depth)
    pixels = data[header_size + ncolors * 12:]

    def pixel(x, y):
        at = y * bytes_per_line + x * step
        b = pixels[at:at + step]
        # Least significant byte first: blue, green, red.
        return (b[2], b[1], b[0]) if byte_order == 0 else tuple(b[step - 3:step])

    return width, height, pixel


def read_ppm(path):
    data = open(path, 'rb').read()
    parts = data.split(maxsplit=4)
    width, height = int(parts[1]), int(parts[2])
    body = parts[4]

    def pixel(x, y):
        at = (y * width + x) * 3
        return tuple(body[at:at + 3])

    return width, height, pixel


def write_png(path, width, height, pixel):
    rows = b''.join(b'\0' + bytes(c for x in range(width) for c in pixel(x, y))
                    for y in range(height))

    def chunk(kind, body):
        return (struct.pack('>I', len(body)) + kind + body +
                struct.pack('>I', zlib.crc32(kind + body) & 0xFFFFFFFF))

    with open(path, 'wb') as f:
        f.write(b'\x89PNG\r\n\x1a\n')
        f.write(chunk(b'IHDR', struct.pack('>IIBBBBB', width, height, 8, 2, 0, 0, 0)))
        f.write(chunk(b'IDAT', zlib.compress(rows, 6)))
        f.write(chunk(b'IEND', b''))


def main():
    dump, out, ppm, left, top = sys.argv[1:6]
    left, top = int(left), int(top)
    width, height, shot = read_xwd(dump)
    write_png(out, width, height, shot)
    pw, ph, picture = read_ppm(ppm)
    points = [(4, 4), (pw - 5, 4), (4, ph - 5), (pw - 5, ph - 5),
              (60, 70), (pw // 2, 20), (pw // 2, ph - 20), (100, 200), (pw - 40, 120)]
    bad = 0
    for x, y in points:
        want, got = picture(x, y), shot(left + x, top + y)
        if max(abs(a - b) for a, b in zip(want, got)) > 8:
            print('pixel (%d, %d): picture %s, screen %s' % (x, y, want, got))
            bad += 1
    print('screenshot %s: %d of %d pixels match the flattened picture'
          % (out, len(points) - bad, len(points)))
    return 1 if bad else 0


if __name__ == '__main__':
    sys.exit(main())
