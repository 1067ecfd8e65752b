"""The screen checks on pictures drawn here: each check must fail on the
fault it is there to catch."""
import os
import random
import struct
import sys
import tempfile
import unittest
import zlib

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import image  # noqa: E402
import pixels  # noqa: E402
from screens import centring_problems  # noqa: E402

FACE, INK, FRAME, FILL = (245, 245, 245), (0, 0, 0), (48, 150, 250), (51, 153, 255)


def canvas(width, height, colour=FACE):
    return [[colour] * width for _ in range(height)]


def to_image(grid):
    return image.Image(len(grid[0]), len(grid),
                       [bytes(c for rgb in row for c in rgb) for row in grid])


def draw(grid, left, top, bitmap):
    for y, line in enumerate(bitmap):
        for x, bit in enumerate(line):
            if bit == '#':
                grid[top + y][left + x] = INK


def square():
    return ['#######'] + ['#.....#'] * 8 + ['#######']


def random_glyph(generator):
    rows = [''.join(generator.choice('#.') for _ in range(7)) for _ in range(10)]
    # Ink in the first and last column keeps each glyph one piece wide.
    return ['#' + row[1:6] + '#' for row in rows]


def box(glyphs, with_button=True):
    """A message box: a line of glyphs, and a button frame below it."""
    grid = canvas(max(100, 20 + 10 * len(glyphs)), 60)
    for i, glyph in enumerate(glyphs):
        draw(grid, 10 + 10 * i, 8, glyph)
    if with_button:
        for x in range(30, 90):
            grid[30][x] = grid[50][x] = FRAME
    return to_image(grid)


class PaintedTest(unittest.TestCase):
    def test_a_black_hole_or_the_background_is_not_a_box(self):
        self.assertTrue(pixels.is_painted(box([square()])))
        self.assertFalse(pixels.is_painted(to_image(canvas(40, 20, (0, 0, 0)))))
        gradient = [[(x * 3, 100, 200) for x in range(40)] for _ in range(20)]
        self.assertFalse(pixels.is_painted(to_image(gradient)))
        # A light picture whose commonest colour is light but rare.
        sky = [[FACE if x % 3 == 0 else (200 + x, 220 + y, 240) for x in range(40)]
               for y in range(20)]
        self.assertFalse(pixels.is_painted(to_image(sky)))
        self.assertFalse(pixels.is_painted(to_image([[FACE] * 4] * 2).crop(0, 0, 0, 0)))


class TextAreaTest(unittest.TestCase):
    def test_text_stops_at_the_button_frame(self):
        picture = box([square(), square()])
        areas = pixels.text_areas(picture)
        self.assertEqual(areas[0], (0, 30))
        self.assertEqual(len(pixels.ink(picture, *areas[0])), 2 * 30)
        # The focus frame's dotted line is no frame.
        grid = canvas(60, 20)
        for x in range(0, 60, 2):
            grid[5][x] = INK
        self.assertEqual(pixels.text_areas(to_image(grid)), [(0, 20)])


class DrawnBoxTest(unittest.TestCase):
    def test_a_box_has_text_at_its_margin_above_a_button(self):
        self.assertTrue(pixels.is_drawn_box(box([square(), square()])))
        self.assertFalse(pixels.is_drawn_box(box([square(), square()], with_button=False)))
        self.assertFalse(pixels.is_drawn_box(to_image(canvas(100, 60))))

    def test_what_lies_under_a_box_not_drawn_yet_is_no_box(self):
        # An earlier, narrower box centred on the same owner: its text
        # begins further in.
        grid = canvas(160, 60)
        draw(grid, 40, 8, square())
        for x in range(55, 105):
            grid[30][x] = grid[50][x] = FRAME
        self.assertFalse(pixels.is_drawn_box(to_image(grid)))
        # The progress dialog: the bar's frame reaches the box's sides.
        grid = canvas(100, 60)
        draw(grid, 10, 8, square())
        for x in range(100):
            grid[30][x] = grid[50][x] = FRAME
        self.assertFalse(pixels.is_drawn_box(to_image(grid)))
        # A bar inside the box is lower than a button.
        grid = canvas(100, 60)
        draw(grid, 10, 8, square())
        for x in range(30, 90):
            grid[30][x] = grid[44][x] = FRAME
        self.assertFalse(pixels.is_drawn_box(to_image(grid)))


class LegibleTest(unittest.TestCase):
    text = '空灯籠をバージョンに更新します。よろしいですか'

    def test_empty_squares_are_not_text(self):
        picture = box([square()] * len(self.text))
        ink = pixels.ink(picture, *pixels.text_areas(picture)[0])
        self.assertIn('empty squares', pixels.legible(ink, self.text))

    def test_distinct_glyphs_are_text(self):
        generator = random.Random(7)
        picture = box([random_glyph(generator) for _ in self.text])
        ink = pixels.ink(picture, *pixels.text_areas(picture)[0])
        self.assertIsNone(pixels.legible(ink, self.text))
        # Too few of them for the text is not.
        self.assertIsNotNone(pixels.legible(
            pixels.ink(box([random_glyph(generator) for _ in range(4)])), self.text))

    def test_no_ink_is_no_text(self):
        self.assertEqual(pixels.legible(set(), self.text), 'no text pixels')

    def test_pieces_are_cut_at_blank_columns_and_lines(self):
        ink = {(0, 0), (1, 0), (3, 0), (3, 1), (0, 5)}
        shapes = pixels.glyph_shapes(ink)
        self.assertEqual(sorted(len(shape) for shape in shapes), [1, 2, 2])


class ProgressBarTest(unittest.TestCase):
    def test_filled_width_is_the_longest_coloured_run(self):
        grid = canvas(100, 12)
        for x in range(5, 95):
            grid[3][x] = grid[9][x] = INK  # the bar's frame
        for y in range(4, 9):
            for x in range(6, 63):
                grid[y][x] = FILL
        self.assertEqual(pixels.filled_width(to_image(grid)), 57)
        self.assertEqual(pixels.filled_width(to_image(canvas(100, 12))), 0)


class BackgroundTest(unittest.TestCase):
    def test_differences_outside_the_covered_rectangles_are_found(self):
        def colour(x, y):
            return (x * 37 % 256, y * 53 % 256, 50)
        picture = to_image([[colour(x, y) for x in range(64)] for y in range(48)])
        screen = [[(0, 0, 0)] * 100 for _ in range(80)]
        for y in range(48):
            for x in range(64):
                screen[10 + y][20 + x] = colour(x, y)
        self.assertEqual(pixels.background_mismatches(to_image(screen), picture, 20, 10, []), [])
        # A black hole under a closed box.
        for y in range(20, 30):
            for x in range(40, 60):
                screen[y][x] = (0, 0, 0)
        bad = pixels.background_mismatches(to_image(screen), picture, 20, 10, [])
        self.assertTrue(bad)
        self.assertEqual(pixels.background_mismatches(to_image(screen), picture, 20, 10,
                                                      [(40, 20, 20, 10)]), [])
        # Only the covered rectangle is skipped, not what lies beside it.
        for y in range(20, 30):
            for x in range(68, 73):
                screen[y][x] = (0, 0, 0)
        self.assertEqual(len(pixels.background_mismatches(to_image(screen), picture, 20, 10,
                                                          [(40, 20, 20, 10)])), 1)
        for y in range(20, 30):
            for x in range(68, 73):
                screen[y][x] = colour(x - 20, y - 10)
        # One pixel off places the whole picture wrong.
        self.assertTrue(pixels.background_mismatches(to_image(screen), picture, 21, 10,
                                                     [(40, 20, 20, 10)]))


class CentringTest(unittest.TestCase):
    owner = (319, 271, 642, 482)

    def test_a_box_sits_on_its_owner_up_to_half_a_hidden_caption_lower(self):
        self.assertEqual(centring_problems((517, 485, 246, 72), self.owner, captioned=True), [])
        self.assertTrue(centring_problems((527, 485, 246, 72), self.owner, captioned=True))
        self.assertTrue(centring_problems((517, 500, 246, 72), self.owner, captioned=True))
        # A dialog has no caption to hide.
        self.assertEqual(centring_problems((520, 474, 239, 75), self.owner, captioned=False), [])
        self.assertTrue(centring_problems((520, 480, 239, 75), self.owner, captioned=False))
        self.assertTrue(centring_problems((520, 474, 239, 75), None, captioned=False))


class ImageFileTest(unittest.TestCase):
    def test_png_layout(self):
        picture = to_image([[(1, 2, 3), (4, 5, 6)], [(7, 8, 9), (10, 11, 12)]])
        with tempfile.TemporaryDirectory() as folder:
            path = os.path.join(folder, 'p.png')
            image.write_png(path, picture)
            with open(path, 'rb') as f:
                data = f.read()
        self.assertEqual(data[:8], b'\x89PNG\r\n\x1a\n')
        self.assertEqual(data[12:16], b'IHDR')
        self.assertEqual(struct.unpack('>IIBBBBB', data[16:29]), (2, 2, 8, 2, 0, 0, 0))
        length = struct.unpack('>I', data[33:37])[0]
        self.assertEqual(data[37:41], b'IDAT')
        self.assertEqual(zlib.decompress(data[41:41 + length]),
                         b'\0\1\2\3\4\5\6\0\7\10\11\12\13\14')

    def test_ppm_is_read_and_bad_ones_refused(self):
        with tempfile.TemporaryDirectory() as folder:
            path = os.path.join(folder, 'p.ppm')
            with open(path, 'wb') as f:
                f.write(b'P6\n2 1\n255\n\1\2\3\4\5\6')
            picture = image.read_ppm(path)
            self.assertEqual((picture.width, picture.height), (2, 1))
            self.assertEqual(picture.pixel(1, 0), (4, 5, 6))
            # Pixel bytes that look like blanks are pixels.
            with open(path, 'wb') as f:
                f.write(b'P6\n1 1\n255\n\n\x20\x09')
            self.assertEqual(image.read_ppm(path).pixel(0, 0), (10, 32, 9))
            for bad in (b'P3\n2 1\n255\n1 2 3 4 5 6', b'P6\n2 1\n255\n\1\2\3', b'P6 2'):
                with open(path, 'wb') as f:
                    f.write(bad)
                with self.assertRaises(ValueError):
                    image.read_ppm(path)

    def test_crop_stays_inside_the_picture(self):
        picture = to_image(canvas(10, 8))
        part = picture.crop(-3, 6, 5, 5)
        self.assertEqual((part.width, part.height), (2, 2))
        self.assertEqual(picture.crop(20, 20, 5, 5).width, 0)


if __name__ == '__main__':
    unittest.main()
