#!/usr/bin/env python3
"""Checks that no 8-bit string literal of the product holds non-ASCII text.

The engine library's 8-bit texts are Shift-JIS; a Japanese text is written
as a UTF-16 literal (u"...") and converted with code page 932 where the
8-bit text is made (DebugLogW, AssertMessageW, the XML reader's error
text). A plain "..." literal with non-ASCII characters would put UTF-8
bytes into an 8-bit text. Usage: check_narrow_texts.py SOURCE_ROOT
"""
import pathlib
import sys

FOLDERS = ["app", "file", "image", "os", "system", "ui", "util", "xml"]


def narrow_literals(text):
    """Yields (line, literal) for every literal without a u, U, L or u8 prefix."""
    i, line, n = 0, 1, len(text)
    while i < n:
        c = text[i]
        if c == "\n":
            line += 1
        elif text.startswith("//", i):
            i = text.find("\n", i)
            if i < 0:
                return
            continue
        elif text.startswith("/*", i):
            end = text.find("*/", i + 2)
            line += text.count("\n", i, end)
            i = end + 2
            continue
        elif c == "'":
            end = i + 1
            while end < n and text[end] != "'":
                end += 2 if text[end] == "\\" else 1
            i = end + 1
            continue
        elif c == '"':
            prefix = text[max(0, i - 2):i]
            wide = prefix.endswith(("u", "U", "L")) or prefix.endswith("u8")
            end = i + 1
            while end < n and text[end] != '"':
                end += 2 if text[end] == "\\" else 1
            if not wide:
                yield line, text[i:end + 1]
            i = end + 1
            continue
        i += 1


def main():
    root = pathlib.Path(sys.argv[1])
    bad = 0
    for folder in FOLDERS:
        for path in sorted((root / folder).rglob("*")):
            if path.suffix not in (".cpp", ".h", ".inc"):
                continue
            for line, literal in narrow_literals(path.read_text(encoding="utf-8")):
                if any(ord(ch) > 0x7F for ch in literal):
                    print(f"{path.relative_to(root)}:{line}: 8-bit literal with non-ASCII text: {literal}")
                    bad += 1
    return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main())
