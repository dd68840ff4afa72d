#!/usr/bin/env python3
"""Reads the labels back from figures that plot/system_diagram.gp drew (SVG)
and fails where two overlap: each label's box from its position, anchor and
font size as the SVG gives them, and its width from Helvetica's character
widths.

    label_boxes.py FIGURE.svg...
"""

import html
import re
import sys

# Helvetica's advance widths in thousandths of an em, from the space to the tilde.
WIDTHS = [
    278, 278, 355, 556, 556, 889, 667, 191, 333, 333, 389, 584, 278, 333, 278, 278,
    556, 556, 556, 556, 556, 556, 556, 556, 556, 556, 278, 278, 584, 584, 584, 556,
    1015, 667, 667, 722, 722, 667, 611, 778, 722, 278, 500, 667, 556, 833, 722, 778,
    667, 778, 722, 667, 611, 722, 667, 944, 667, 667, 611, 278, 278, 278, 469, 556,
    333, 556, 556, 500, 556, 556, 278, 556, 556, 222, 222, 500, 222, 833, 556, 556,
    556, 556, 333, 500, 278, 556, 500, 722, 500, 500, 500, 334, 260, 334, 584,
]
LABEL = re.compile(
    r'<g transform="translate\(([-0-9.]+),([-0-9.]+)\)"[^>]*font-size="([0-9.]+)"\s*'
    r'text-anchor="(start|middle|end)"[^>]*>\s*<text>([^<]*)</text>')
# The diagram's own labels are set smaller than the axes' and the key's.
LARGEST_LABEL = 10.0
# Boxes that share less than this (SVG units) are not counted as overlapping.
TOUCH = 0.5


def width(text, size):
    return sum(WIDTHS[ord(c) - 32] if 32 <= ord(c) < 127 else 556 for c in text) / 1000.0 * size


def boxes(svg):
    """The diagram's labels, once each, as (text, x_low, x_high, y_low, y_high)."""
    seen = set()
    out = []
    for x, y, size, anchor, text in LABEL.findall(svg):
        x, y, size, text = float(x), float(y), float(size), html.unescape(text)
        if size > LARGEST_LABEL or not text.strip() or (x, y, text) in seen:
            continue  # an opaque label's box is drawn as a second copy of it
        seen.add((x, y, text))
        w = width(text, size)
        low = {"start": x, "middle": x - w / 2, "end": x - w}[anchor]
        out.append((text, low, low + w, y - 0.75 * size, y + 0.25 * size))
    return out


def overlaps(labels):
    for i, a in enumerate(labels):
        for b in labels[i + 1:]:
            if min(a[2], b[2]) - max(a[1], b[1]) > TOUCH and min(a[4], b[4]) - max(a[3], b[3]) > TOUCH:
                yield a[0], b[0]


def main():
    failed = False
    for path in sys.argv[1:]:
        with open(path, encoding="utf-8") as f:
            labels = boxes(f.read())
        if not labels:
            print(f"{path}: no labels read")
            failed = True
        for a, b in overlaps(labels):
            print(f"{path}: '{a}' overlaps '{b}'")
            failed = True
        print(f"{path}: {len(labels)} labels")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
