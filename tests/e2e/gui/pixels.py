"""Pixel checks of the updater's screens, on xscreen.Image pictures.

A box or dialog is a light face colour with black text on it; Wine draws
text without smoothing, so a pixel is ink or not. Buttons and the progress
bar have frames: long horizontal runs of one colour that text never makes.
"""
from collections import Counter

INK_LUMINANCE = 110      # darker than this is text
FACE_LUMINANCE = 200     # a box's face is at least this light
FACE_SHARE = 0.5         # and covers at least this share of it
RULE_LENGTH = 24         # a frame's edge: a run this long of non-face pixels
BUTTON_HEIGHT = 16       # a button's frame is at least this tall, a progress bar's less
TEXT_MARGIN = (8, 24)    # a box's text begins this many pixels from its left side


def luminance(rgb):
    return (rgb[0] * 299 + rgb[1] * 587 + rgb[2] * 114) // 1000


def face_colour(image):
    """The most common colour and its share of the picture."""
    counts = Counter(image.rows[y][3 * x:3 * x + 3]
                     for y in range(image.height) for x in range(image.width))
    colour, count = counts.most_common(1)[0]
    return tuple(colour), count / (image.width * image.height)


def is_painted(image):
    """True when the picture looks like a box drawn on the screen: mostly
    one light colour (not a black hole, not the background picture)."""
    if image.width == 0 or image.height == 0:
        return False
    colour, share = face_colour(image)
    return luminance(colour) >= FACE_LUMINANCE and share >= FACE_SHARE


def _differs(a, b, tolerance):
    return max(abs(a[0] - b[0]), abs(a[1] - b[1]), abs(a[2] - b[2])) > tolerance


def _rules(image, face, y):
    """The runs of RULE_LENGTH or more pixels unlike the face in row y, as
    (first, last) columns."""
    rules = []
    start = None
    for x in range(image.width + 1):
        unlike = x < image.width and _differs(image.pixel(x, y), face, 32)
        if unlike and start is None:
            start = x
        elif not unlike and start is not None:
            if x - start >= RULE_LENGTH:
                rules.append((start, x - 1))
            start = None
    return rules


def rule_rows(image):
    """Rows that hold a run of RULE_LENGTH or more pixels unlike the face."""
    face, _ = face_colour(image)
    return [y for y in range(image.height) if _rules(image, face, y)]


def is_drawn_box(image):
    """True when the picture is a message box as drawn: text that begins at
    the box's margin above a button. A box that is mapped but not drawn yet
    shows what lies under it: the progress dialog, whose bar reaches the
    box's sides, or an earlier, narrower box centred on the same owner,
    whose text begins further in."""
    areas = text_areas(image)
    text = ink(image, *areas[0]) if areas else set()
    return (bool(text) and TEXT_MARGIN[0] <= min(x for x, _ in text) <= TEXT_MARGIN[1]
            and has_button(image))


def has_button(image):
    """True when the picture holds a button: a frame whose top and bottom
    edges are runs with the same ends, inside the picture, at least
    BUTTON_HEIGHT rows apart (a progress bar's are closer)."""
    face, _ = face_colour(image)
    tops = {}
    for y in range(image.height):
        for first, last in _rules(image, face, y):
            if first == 0 or last == image.width - 1:
                continue
            if y - tops.setdefault((first, last), y) >= BUTTON_HEIGHT:
                return True
    return False


def text_areas(image):
    """The bands of rows between frames (above the buttons, or above and
    below the progress bar) as (top, bottom) pairs, bottom exclusive."""
    rules = rule_rows(image)
    edges = [-1] + rules + [image.height]
    areas = []
    for above, below in zip(edges, edges[1:]):
        if below - above > 1:
            areas.append((above + 1, below))
    return areas


def ink(image, top=0, bottom=None):
    """Ink pixels of rows top..bottom as a set of (x, y)."""
    bottom = image.height if bottom is None else bottom
    return {(x, y) for y in range(top, bottom) for x in range(image.width)
            if luminance(image.pixel(x, y)) < INK_LUMINANCE}


def glyph_shapes(points):
    """The distinct shapes among the text's pieces: each line of ink is cut
    at blank columns, and each piece's bitmap (trimmed to its ink) is one
    shape. Characters drawn as empty squares all give the same shape."""
    shapes = []
    for top, bottom in _bands(sorted({y for _, y in points})):
        columns = sorted({x for x, y in points if top <= y <= bottom})
        for left, right in _bands(columns):
            piece = frozenset((x - left, y) for x, y in points
                              if left <= x <= right and top <= y <= bottom)
            low = min(y for _, y in piece)
            shapes.append(frozenset((x, y - low) for x, y in piece))
    return shapes


def _bands(values):
    """Runs of consecutive integers in a sorted list, as (first, last)."""
    bands = []
    for value in values:
        if bands and value == bands[-1][1] + 1:
            bands[-1][1] = value
        else:
            bands.append([value, value])
    return [tuple(band) for band in bands]


def legible(points, text):
    """Why the ink cannot be `text`, or None when it can: it must have
    about as many distinct shapes as the text has distinct characters."""
    if not points:
        return 'no text pixels'
    distinct_characters = len(set(text) - set(' \n'))
    distinct_shapes = len(set(glyph_shapes(points)))
    needed = max(2, distinct_characters // 2)
    if distinct_shapes < needed:
        return ('%d distinct glyph shapes for %d distinct characters: drawn as empty squares?'
                % (distinct_shapes, distinct_characters))
    return None


def filled_width(image):
    """The progress bar's filled width: the longest run of strongly
    coloured (not grey) pixels in any row."""
    best = 0
    for y in range(image.height):
        run = 0
        for x in range(image.width):
            r, g, b = image.pixel(x, y)
            run = run + 1 if max(r, g, b) - min(r, g, b) > 96 else 0
            best = max(best, run)
    return best


def background_mismatches(screen, picture, left, top, covered, step=16, tolerance=8):
    """Sample points of `picture` (a grid `step` apart) that the screen
    does not show at (left, top), skipping points inside the `covered`
    screen rectangles (x, y, width, height) of boxes and dialogs."""
    bad = []
    for py in range(2, picture.height, step):
        for px in range(2, picture.width, step):
            x, y = left + px, top + py
            if any(cx - 2 <= x < cx + cw + 2 and cy - 2 <= y < cy + ch + 2
                   for cx, cy, cw, ch in covered):
                continue
            if _differs(picture.pixel(px, py), screen.pixel(x, y), tolerance):
                bad.append((px, py, picture.pixel(px, py), screen.pixel(x, y)))
    return bad
