#!/usr/bin/python3
"""Draws Korvane's application icon into packaging/icons/: the pilgrim in
straw hat and white robe, staff in hand, standing on the yellow marker ball
of the main window's map, at the sizes of the hicolor icon theme.

  packaging/icons/NxN/org.korvane.Korvane.png   N = 16 24 32 48 64 128 256

Needs Pillow (Debian: python3-pil); run with /usr/bin/python3. The ball and
the pilgrim come from the drawing helpers of make_pictures.py.

Usage: scripts/make_icons.py [output folder]
"""

import os
import sys

from PIL import Image

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import make_pictures as pictures  # noqa: E402

APP_ID = "org.korvane.Korvane"
SIZES = [16, 24, 32, 48, 64, 128, 256]
BIG = 256


def pilgrim_figure(rows, cell):
    """The figure of one step picture, each pixel drawn as a cell x cell block."""
    width = max(len(r) for r in rows)
    img = Image.new("RGBA", (width * cell, len(rows) * cell), (0, 0, 0, 0))
    for y, row in enumerate(rows):
        for x, ch in enumerate(row):
            if ch == ".":
                continue
            colour = pictures.PALETTE[ch] + (255,)
            img.paste(colour, (x * cell, y * cell, (x + 1) * cell, (y + 1) * cell))
    return img.crop(img.getbbox())


def draw_icon():
    icon = Image.new("RGBA", (BIG, BIG), (0, 0, 0, 0))
    # The marker ball fills the lower part of the square.
    ball = pictures.draw_ball((BIG, BIG), (BIG / 2, BIG * 0.56), BIG * 0.43,
                              pictures.rgb("#f7d418"), pictures.rgb("#fff58a"),
                              pictures.rgb("#8a6400"), scale=2)
    icon.alpha_composite(ball)
    # The pilgrim stands on it, striding, head above the ball's rim.
    figure = pilgrim_figure(pictures.STEP0, 7)
    left = (BIG - figure.width) // 2
    top = BIG - figure.height - 8
    icon.alpha_composite(figure, (left, top))
    return icon


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "packaging", "icons")
    big = draw_icon()
    for size in SIZES:
        folder = os.path.join(out, "%dx%d" % (size, size))
        os.makedirs(folder, exist_ok=True)
        img = big if size == BIG else big.resize((size, size), Image.LANCZOS)
        img.save(os.path.join(folder, APP_ID + ".png"), optimize=True)
    print("wrote the icon at %s pixels to %s" % (", ".join(map(str, SIZES)), out))


if __name__ == "__main__":
    main()
