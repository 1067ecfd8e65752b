"""The X screen as pixels, read with one XGetImage of the root window.

`xwd -root` is not used: when windows carry a colormap other than the
screen's default (Wine gives each of its windows its own), xwd reads all
windows of one colormap through the first of them, so a box or dialog
over the main window comes out as the main window's hidden part: black.
"""
import ctypes
import ctypes.util

from image import Image


class _XImage(ctypes.Structure):
    # The leading fields of Xlib's XImage, up to the colour masks.
    _fields_ = [('width', ctypes.c_int), ('height', ctypes.c_int),
                ('xoffset', ctypes.c_int), ('format', ctypes.c_int),
                ('data', ctypes.POINTER(ctypes.c_ubyte)),
                ('byte_order', ctypes.c_int), ('bitmap_unit', ctypes.c_int),
                ('bitmap_bit_order', ctypes.c_int), ('bitmap_pad', ctypes.c_int),
                ('depth', ctypes.c_int), ('bytes_per_line', ctypes.c_int),
                ('bits_per_pixel', ctypes.c_int), ('red_mask', ctypes.c_ulong),
                ('green_mask', ctypes.c_ulong), ('blue_mask', ctypes.c_ulong)]


_ALL_PLANES = 0xFFFFFFFF
_Z_PIXMAP = 2
_lib = None


def _xlib():
    global _lib
    if _lib:
        return _lib
    lib = ctypes.CDLL(ctypes.util.find_library('X11') or 'libX11.so.6')
    lib.XOpenDisplay.restype = ctypes.c_void_p
    lib.XOpenDisplay.argtypes = [ctypes.c_char_p]
    lib.XDefaultRootWindow.restype = ctypes.c_ulong
    lib.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
    lib.XGetImage.restype = ctypes.POINTER(_XImage)
    lib.XGetImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int,
                              ctypes.c_uint, ctypes.c_uint, ctypes.c_ulong, ctypes.c_int]
    lib.XFree.argtypes = [ctypes.c_void_p]
    lib.XCloseDisplay.argtypes = [ctypes.c_void_p]
    lib.XGetGeometry.argtypes = [ctypes.c_void_p, ctypes.c_ulong] + [ctypes.c_void_p] * 7
    lib.XQueryTree.argtypes = [ctypes.c_void_p, ctypes.c_ulong] + [ctypes.c_void_p] * 4
    _lib = lib
    return lib


class Connection:
    """One connection to an X display, kept for the whole test."""

    def __init__(self, display):
        self.lib = _xlib()
        self.connection = self.lib.XOpenDisplay(display.encode())
        if not self.connection:
            raise OSError('cannot open display %s' % display)
        self.root = self.lib.XDefaultRootWindow(self.connection)

    def close(self):
        self.lib.XCloseDisplay(self.connection)

    def top_level_windows(self):
        """The root window's children, topmost first."""
        root, parent = ctypes.c_ulong(), ctypes.c_ulong()
        children = ctypes.POINTER(ctypes.c_ulong)()
        count = ctypes.c_uint()
        if not self.lib.XQueryTree(self.connection, self.root, ctypes.byref(root),
                                   ctypes.byref(parent), ctypes.byref(children),
                                   ctypes.byref(count)):
            raise OSError('XQueryTree failed')
        # XQueryTree lists them bottommost first.
        windows = [children[i] for i in reversed(range(count.value))]
        if children:
            self.lib.XFree(children)
        return windows

    def grab(self):
        """The whole screen."""
        width, height = self._root_size()
        pointer = self.lib.XGetImage(self.connection, self.root, 0, 0, width, height,
                                     _ALL_PLANES, _Z_PIXMAP)
        if not pointer:
            raise OSError('XGetImage failed')
        image = pointer.contents
        try:
            return Image(width, height, _rgb_rows(image))
        finally:
            self.lib.XFree(image.data)
            self.lib.XFree(pointer)

    def _root_size(self):
        unused_root = ctypes.c_ulong()
        x, y = ctypes.c_int(), ctypes.c_int()
        width, height, border, depth = (ctypes.c_uint() for _ in range(4))
        if not self.lib.XGetGeometry(self.connection, self.root, ctypes.byref(unused_root),
                                     ctypes.byref(x), ctypes.byref(y), ctypes.byref(width),
                                     ctypes.byref(height), ctypes.byref(border),
                                     ctypes.byref(depth)):
            raise OSError('XGetGeometry failed on the root window')
        return width.value, height.value


def _rgb_rows(image):
    if image.bits_per_pixel != 32 or image.depth != 24:
        raise OSError('only 24-bit true colour in 32-bit pixels is read (depth %d, %d bits)'
                      % (image.depth, image.bits_per_pixel))
    raw = ctypes.string_at(image.data, image.bytes_per_line * image.height)
    rows = []
    for y in range(image.height):
        line = raw[y * image.bytes_per_line:y * image.bytes_per_line + 4 * image.width]
        rgb = bytearray(3 * image.width)
        if image.byte_order == 0:  # least significant byte first: blue, green, red, pad
            rgb[0::3], rgb[1::3], rgb[2::3] = line[2::4], line[1::4], line[0::4]
        else:
            rgb[0::3], rgb[1::3], rgb[2::3] = line[1::4], line[2::4], line[3::4]
        rows.append(bytes(rgb))
    return rows
