#!/usr/bin/env python3
"""Prints the size of the tests against the product code, per folder.

Counts non-blank, non-comment lines of .cpp and .h files. tools/ counts as
product; fuzz/ and bench/ count as neither. A test folder is matched with
the product folder of the same name; the rest of tests/ (shared support,
end-to-end runs) is listed on its own and counted in the total.

    scripts/test_ratio.py            # from the repository's top
    scripts/test_ratio.py --max 0.36 # exit status 1 above that ratio
"""
import argparse
import pathlib
import sys

PRODUCT = ["app", "base", "file", "image", "os", "system", "ui", "util", "xml", "tools"]
SOURCE_SUFFIXES = {".cpp", ".h"}


def code_lines(text):
    """Lines holding something besides blanks and comments."""
    count = 0
    in_block = False
    for line in text.splitlines():
        code = []
        i = 0
        in_string = None
        while i < len(line):
            if in_block:
                end = line.find("*/", i)
                if end < 0:
                    i = len(line)
                    continue
                in_block = False
                i = end + 2
                continue
            c = line[i]
            if in_string:
                code.append(c)
                if c == "\\":
                    code.append(line[i + 1:i + 2])
                    i += 2
                    continue
                if c == in_string:
                    in_string = None
            elif line.startswith("//", i):
                break
            elif line.startswith("/*", i):
                in_block = True
                i += 2
                continue
            elif c in "\"'":
                in_string = c
                code.append(c)
            else:
                code.append(c)
            i += 1
        if "".join(code).strip():
            count += 1
    return count


def folder_lines(folder):
    total = 0
    for path in sorted(folder.rglob("*")):
        if path.suffix in SOURCE_SUFFIXES and path.is_file():
            total += code_lines(path.read_text(encoding="utf-8", errors="replace"))
    return total


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--root", default=".", help="the repository (default: .)")
    parser.add_argument("--max", type=float, help="fail when tests/product exceeds this")
    args = parser.parse_args()
    root = pathlib.Path(args.root)
    tests = root / "tests"

    print(f"{'folder':<10} {'product':>8} {'tests':>7} {'ratio':>6}")
    product_total = test_total = 0
    matched = set()
    for name in PRODUCT:
        product = folder_lines(root / name) if (root / name).is_dir() else 0
        if not product:
            continue
        test = folder_lines(tests / name) if (tests / name).is_dir() else 0
        matched.add(name)
        product_total += product
        test_total += test
        print(f"{name:<10} {product:>8} {test:>7} {test / product:>6.2f}")
    other = sum(code_lines(p.read_text(encoding="utf-8", errors="replace"))
                for p in sorted(tests.rglob("*"))
                if p.suffix in SOURCE_SUFFIXES and p.is_file()
                and p.relative_to(tests).parts[0] not in matched)
    test_total += other
    print(f"{'tests/*':<10} {'':>8} {other:>7}   (test folders without a product folder, shared support)")
    ratio = test_total / product_total
    print(f"{'all':<10} {product_total:>8} {test_total:>7} {ratio:>6.2f}")
    if args.max is not None and ratio > args.max:
        print(f"tests are {ratio:.3f} of the product, above {args.max}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
