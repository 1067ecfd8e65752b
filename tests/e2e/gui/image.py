"""Pictures as rows of RGB bytes, read from PPM and written as PNG."""
import struct
import zlib


class Image:
    """Pixels as (red, green, blue), rows top first, 3 bytes a pixel."""

    def __init__(self, width, height, rows):
        self.width, self.height = width, height
        self.rows = rows

    def pixel(self, x, y):
        row = self.rows[y]
        return tuple(row[3 * x:3 * x + 3])

    def crop(self, left, top, width, height):
        """The part inside the picture of the rectangle (left, top, width, height)."""
        right, bottom = min(left + width, self.width), min(top + height, self.height)
        left, top = max(0, left), max(0, top)
        return Image(max(0, right - left), max(0, bottom - top),
                     [self.rows[y][3 * left:3 * right] for y in range(top, bottom)])


def from_pixels(width, height, pixel):
    """A picture from a function (x, y) -> (r, g, b)."""
    return Image(width, height,
                 [bytes(c for x in range(width) for c in pixel(x, y)) for y in range(height)])


def read_ppm(path):
    """A binary PPM (P6, maximum 255) such as the demo generator writes."""
    with open(path, 'rb') as f:
        data = f.read()
    fields, at = [], 0
    while len(fields) < 4:
        while at < len(data) and data[at:at + 1].isspace():
            at += 1
        start = at
        while at < len(data) and not data[at:at + 1].isspace():
            at += 1
        if start == at:
            raise ValueError('%s: short header' % path)
        fields.append(data[start:at])
    if fields[0] != b'P6' or fields[3] != b'255':
        raise ValueError('%s: not an 8-bit P6 picture' % path)
    width, height = int(fields[1]), int(fields[2])
    # One blank ends the header; the pixels may begin with blank bytes.
    body = data[at + 1:]
    if len(body) < width * height * 3:
        raise ValueError('%s: short picture' % path)
    return Image(width, height,
                 [body[y * width * 3:(y + 1) * width * 3] for y in range(height)])


def write_png(path, image):
    raw = b''.join(b'\0' + row for row in image.rows)

    def chunk(kind, body):
        return (struct.pack('>I', len(body)) + kind + body +
                struct.pack('>I', zlib.crc32(kind + body) & 0xFFFFFFFF))

    with open(path, 'wb') as f:
        f.write(b'\x89PNG\r\n\x1a\n')
        f.write(chunk(b'IHDR', struct.pack('>IIBBBBB', image.width, image.height, 8, 2, 0, 0, 0)))
        f.write(chunk(b'IDAT', zlib.compress(raw, 9)))
        f.write(chunk(b'IEND', b''))
