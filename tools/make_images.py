#!/usr/bin/env python3
"""Generate the bitmap images in res/.

    python3 tools/make_images.py                  # writes the PNGs into res/
    python3 tools/make_images.py --preview /tmp/p # also writes 8x enlargements

Standard library only. The toolbar buttons are pixel art: one character per
pixel, looked up in PALETTE ('.' is transparent). Edit a grid, run the script
and commit the regenerated PNGs together with the change.

The application icon and the document icon are built from a few shapes in a
48 x 48 design space (the same coordinates as res/zx840.svg and
res/zx840-document.svg) and rendered with 4 x 4 supersampling, so they can be
produced at any size.
"""

import argparse
import math
import os
import struct
import zlib

RES_DIR = os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir, "res")

# --------------------------------------------------------------------------
# PNG output
# --------------------------------------------------------------------------


def write_png(path, pixels):
    """Write rows of (r, g, b, a) tuples as an 8-bit RGBA PNG."""
    height, width = len(pixels), len(pixels[0])
    raw = b"".join(b"\x00" + bytes(c for px in row for c in px) for row in pixels)

    def chunk(tag, data):
        body = tag + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    header = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n")
        f.write(chunk(b"IHDR", header))
        f.write(chunk(b"IDAT", zlib.compress(raw, 9)))
        f.write(chunk(b"IEND", b""))


def enlarged(pixels, factor):
    """Nearest-neighbour enlargement on a grey checkerboard, for looking at."""
    out = []
    for y, row in enumerate(pixels):
        for sy in range(factor):
            line = []
            for x, (r, g, b, a) in enumerate(row):
                for sx in range(factor):
                    cy, cx = (y * factor + sy) // 4, (x * factor + sx) // 4
                    bg = 236 if (cx + cy) % 2 else 212
                    line.append(tuple(round((c * a + bg * (255 - a)) / 255) for c in (r, g, b)) + (255,))
            out.append(line)
    return out


# --------------------------------------------------------------------------
# Toolbar: 16 x 15 pixel art
# --------------------------------------------------------------------------

PALETTE = {
    ".": (0, 0, 0, 0),  # transparent
    "k": (0, 0, 0, 255),  # black outline
    "K": (64, 64, 64, 255),  # dark grey
    "d": (128, 128, 128, 255),  # grey
    "s": (192, 192, 192, 255),  # silver
    "w": (255, 255, 255, 255),  # white
    "y": (200, 140, 0, 255),  # dark amber
    "Y": (255, 222, 90, 255),  # light yellow
    "r": (160, 0, 0, 255),  # dark red
    "R": (240, 40, 40, 255),  # red
    "P": (255, 150, 150, 255),  # light red
    "g": (0, 110, 0, 255),  # dark green
    "G": (40, 190, 40, 255),  # green
    "L": (150, 240, 150, 255),  # light green
    "b": (0, 0, 128, 255),  # navy
    "B": (40, 100, 230, 255),  # blue
    "C": (150, 230, 255, 255),  # light cyan
}

# One entry per toolbar button, in toolbar order: (file suffix, grid).
TOOLBAR = [
    ("open", [  # an opening folder
        "................",
        "................",
        ".kkkk...........",
        "kyyyyk..........",
        "kyyyyykkkkkkk...",
        "kyyyyyyyyyyyk...",
        "kyyyyyyyyyyyk...",
        "kyyyykkkkkkkkkkk",
        "kyyykYYYYYYYYYk.",
        "kyykYYYYYYYYYk..",
        "kykYYYYYYYYYk...",
        "kkYYYYYYYYYk....",
        "kkkkkkkkkkk.....",
        "................",
        "................",
    ]),
    ("save", [  # a floppy disk
        "kkkkkkkkkkkkkkk.",
        "kBkwwwwwwwwwkBk.",
        "kBkwwwwwwwwwkBk.",
        "kBkwddddddwwkBk.",
        "kBkwwwwwwwwwkBk.",
        "kBkwddddddwwkBk.",
        "kBkwwwwwwwwwkBk.",
        "kBBkkkkkkkkkBBk.",
        "kBBBBBBBBBBBBBk.",
        "kBBBsssssssBBBk.",
        "kBBBsskksssBBBk.",
        "kBBBsskksssBBBk.",
        "kBBBsskksssBBBk.",
        "kBBBsssssssBBBk.",
        "kkkkkkkkkkkkkkk.",
    ]),
    ("comm", [  # computer <-> meter
        "................",
        "...........kkkkk",
        "kkkkkk..B..kbbbk",
        "kCCCCk..BB.kbGbk",
        "kCwCCkBBBBBkGbGk",
        "kCCCCk..BB.kbbbk",
        "kCCCCk..B..kkkkk",
        "kCCCCk.....ksssk",
        "kkkkkk..B..ksssk",
        "..kk...BB..ksssk",
        ".kkkk.BBBBBksssk",
        ".......BB..kRsKk",
        "........B..ksssk",
        "...........kkkkk",
        "................",
    ]),
    ("continuous", [  # a clockwise circular arrow
        ".........g......",
        "........gGg.....",
        ".....ggggGGg....",
        "...gGGGGGGGGg...",
        "..gGGGGGGGGg....",
        "..gGGGgggGg.....",
        "..gGGg...g......",
        "..gGGg..........",
        "..gGGg.....gg...",
        "..gGGg....gGGg..",
        "..gGGGggggGGGg..",
        "...gGGGGGGGGg...",
        "....gGGGGGGg....",
        ".....gggggg.....",
        "................",
    ]),
    ("stop", [  # a red stop square
        "................",
        "................",
        "..rrrrrrrrrrrr..",
        "..rPPPPPPPPPRr..",
        "..rPRRRRRRRRRr..",
        "..rPRRRRRRRRRr..",
        "..rPRRRRRRRRRr..",
        "..rPRRRRRRRRRr..",
        "..rPRRRRRRRRRr..",
        "..rPRRRRRRRRRr..",
        "..rPRRRRRRRRRr..",
        "..rRRRRRRRRRRr..",
        "..rrrrrrrrrrrr..",
        "................",
        "................",
    ]),
    ("number", [  # "+1": next test number
        "................",
        "..........bb....",
        ".........bbb....",
        "........bbbb....",
        "..........bb....",
        "...gg.....bb....",
        "...gg.....bb....",
        ".gggggg...bb....",
        ".gggggg...bb....",
        "...gg.....bb....",
        "...gg.....bb....",
        "..........bb....",
        "........bbbbbb..",
        "........bbbbbb..",
        "................",
    ]),
    ("print", [  # a printer
        "....kkkkkkkk....",
        "....kwwwwwwk....",
        "....kwddddwk....",
        "....kwwwwwwk....",
        "..kkkwddddwkkk..",
        ".kssskkkkkkksssk",
        ".kwwwwwwwwwwwwsk",
        ".kssssssssssGGsk",
        ".kssssssssssssdk",
        ".kddddddddddddKk",
        ".kkkkwwwwwwkkkkk",
        "....kwddddwk....",
        "....kwwwwwwk....",
        "....kkkkkkkk....",
        "................",
    ]),
    ("preview", [  # a page under a magnifying glass
        "kkkkkkkk........",
        "kwwwwwwkk.......",
        "kwddddwkwk......",
        "kwwwwwwkkkk.....",
        "kwddddwwkkk.....",
        "kwwwwwwkCCCk....",
        "kwddddkCwCCCk...",
        "kwwwwwkCCCCCk...",
        "kwddddkCCCCCk...",
        "kwwwwwwkCCCk....",
        "kwdddwwwkkkkk...",
        "kwwwwwwwwwkkkk..",
        "kwddddwwwwk.kkk.",
        "kwwwwwwwwwk..kkk",
        "kkkkkkkkkkk...kk",
    ]),
    ("about", [  # an "i" in a blue circle
        "......bbbb......",
        "....bbBBBBbb....",
        "...bBBBwwBBBb...",
        "..bBBBBwwBBBBb..",
        ".bBBBBBBBBBBBBb.",
        ".bBBBBwwwBBBBBb.",
        "bBBBBBBwwBBBBBBb",
        "bBBBBBBwwBBBBBBb",
        "bBBBBBBwwBBBBBBb",
        ".bBBBBBwwBBBBBb.",
        ".bBBBBBwwBBBBBb.",
        "..bBBBwwwwBBBb..",
        "...bBBBBBBBBb...",
        "....bbBBBBbb....",
        "......bbbb......",
    ]),
]

BUTTON_W, BUTTON_H = 16, 15


def grid_pixels(name, grid):
    assert len(grid) == BUTTON_H, f"{name}: {len(grid)} rows, want {BUTTON_H}"
    for i, row in enumerate(grid):
        assert len(row) == BUTTON_W, f"{name} row {i}: {len(row)} columns, want {BUTTON_W}"
    return [[PALETTE[ch] for ch in row] for row in grid]


# --------------------------------------------------------------------------
# Icons: shapes in a 48 x 48 design space, antialiased by supersampling
# --------------------------------------------------------------------------

SUB = 4  # samples per pixel along each axis


def hex_color(text, alpha=255):
    text = text.lstrip("#")
    return tuple(int(text[i:i + 2], 16) for i in (0, 2, 4)) + (alpha,)


class Canvas:
    def __init__(self, size, design=48.0):
        self.size = size
        self.k = size / design  # design units -> pixels
        self.px = [[[0.0, 0.0, 0.0, 0.0] for _ in range(size)] for _ in range(size)]

    def _fill(self, bbox, inside, color):
        """Composite `color` (or color(x, y)) wherever inside(x, y) holds."""
        x0, y0, x1, y1 = bbox
        k = self.k
        for py in range(max(0, int(y0 * k) - 1), min(self.size, int(y1 * k) + 2)):
            for px in range(max(0, int(x0 * k) - 1), min(self.size, int(x1 * k) + 2)):
                hits = 0
                for sy in range(SUB):
                    y = (py + (sy + 0.5) / SUB) / k
                    for sx in range(SUB):
                        if inside((px + (sx + 0.5) / SUB) / k, y):
                            hits += 1
                if not hits:
                    continue
                c = color((px + 0.5) / k, (py + 0.5) / k) if callable(color) else color
                a = c[3] / 255.0 * hits / (SUB * SUB)
                dst = self.px[py][px]
                out_a = a + dst[3] * (1 - a)
                for i in range(3):
                    dst[i] = (c[i] * a + dst[i] * dst[3] * (1 - a)) / out_a
                dst[3] = out_a

    def rect(self, x0, y0, x1, y1, color, radius=0.0):
        cx, cy, hw, hh = (x0 + x1) / 2, (y0 + y1) / 2, (x1 - x0) / 2, (y1 - y0) / 2

        def inside(x, y):
            qx = max(abs(x - cx) - (hw - radius), 0.0)
            qy = max(abs(y - cy) - (hh - radius), 0.0)
            return abs(x - cx) <= hw and abs(y - cy) <= hh and qx * qx + qy * qy <= radius * radius

        self._fill((x0, y0, x1, y1), inside, color)

    def circle(self, cx, cy, r, color):
        self._fill((cx - r, cy - r, cx + r, cy + r),
                   lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r, color)

    def polygon(self, points, color):
        xs, ys = [p[0] for p in points], [p[1] for p in points]
        edges = list(zip(points, points[1:] + points[:1]))

        def inside(x, y):
            result = False
            for (ax, ay), (bx, by) in edges:
                if (ay > y) != (by > y) and x < ax + (y - ay) * (bx - ax) / (by - ay):
                    result = not result
            return result

        self._fill((min(xs), min(ys), max(xs), max(ys)), inside, color)

    def polyline(self, points, width, color):
        half = width / 2
        segments = list(zip(points, points[1:]))

        def inside(x, y):
            for (ax, ay), (bx, by) in segments:
                dx, dy = bx - ax, by - ay
                t = max(0.0, min(1.0, ((x - ax) * dx + (y - ay) * dy) / (dx * dx + dy * dy)))
                if (x - ax - t * dx) ** 2 + (y - ay - t * dy) ** 2 <= half * half:
                    return True
            return False

        xs, ys = [p[0] for p in points], [p[1] for p in points]
        self._fill((min(xs) - half, min(ys) - half, max(xs) + half, max(ys) + half), inside, color)

    def pixels(self):
        return [[tuple(round(c) for c in p[:3]) + (round(p[3] * 255),) for p in row] for row in self.px]


def vertical_gradient(y0, top, y1, bottom):
    def color(x, y):
        t = max(0.0, min(1.0, (y - y0) / (y1 - y0)))
        return tuple(a + (b - a) * t for a, b in zip(top, bottom))

    return color


def sine(x0, x1, cy, amplitude, steps=48):
    """One full period of a sine between x0 and x1 (y grows downwards)."""
    return [(x0 + (x1 - x0) * i / steps, cy - amplitude * math.sin(2 * math.pi * i / steps))
            for i in range(steps + 1)]


def screen(c, x0, y0, x1, y1):
    """The dark measurement screen with a faint grid and a voltage sine."""
    c.rect(x0, y0, x1, y1, hex_color("#0f3a2c"), radius=1.0)
    cy = (y0 + y1) / 2
    grid = hex_color("#2f7a5c")
    c.rect(x0 + 1, cy - 0.25, x1 - 1, cy + 0.25, grid)
    for gx in (x0 + (x1 - x0) / 4, (x0 + x1) / 2, x0 + 3 * (x1 - x0) / 4):
        c.rect(gx - 0.25, y0 + 1, gx + 0.25, y1 - 1, grid)
    c.polyline(sine(x0 + 1.5, x1 - 1.5, cy, (y1 - y0) / 2 - 2.5), 1.8, hex_color("#7dff9c"))


def app_icon(size):
    """A meter front panel: screen with a waveform, keys, knob and terminals."""
    c = Canvas(size)
    c.rect(4, 5, 46, 46, hex_color("#000000", 50), radius=5)  # shadow
    c.rect(2.5, 3, 44.5, 44, hex_color("#2b323c"), radius=5)  # case
    c.rect(4, 4.5, 43, 42.5, vertical_gradient(4.5, hex_color("#eef1f4"), 42.5, hex_color("#b4bcc6")), radius=3.8)
    c.rect(7, 8, 40, 27, hex_color("#2b323c"), radius=2)  # screen bezel
    screen(c, 8.5, 9.5, 38.5, 25.5)
    for x in (8, 15, 22):  # keys
        c.rect(x, 30.5, x + 5.5, 34, hex_color("#4f5b6b"), radius=1)
    c.circle(11.5, 39, 2.6, hex_color("#2b323c"))  # terminals
    c.circle(11.5, 39, 1.7, hex_color("#d8262b"))
    c.circle(19, 39, 2.6, hex_color("#2b323c"))
    c.circle(19, 39, 1.7, hex_color("#5f6a78"))
    c.circle(35, 36, 5.6, hex_color("#2b323c"))  # knob
    c.circle(35, 36, 4.4, vertical_gradient(31.6, hex_color("#8b96a5"), 40.4, hex_color("#505b69")))
    c.polyline([(35, 36), (35, 32.2)], 1.3, hex_color("#ffffff"))
    return c.pixels()


PAGE = [(8, 2.5), (31, 2.5), (40.5, 12), (40.5, 45.5), (8, 45.5)]
PAGE_INNER = [(9.5, 4), (30.4, 4), (39, 12.6), (39, 44), (9.5, 44)]
FOLD = [(30.4, 4), (30.4, 12.6), (39, 12.6)]


def document_icon(size):
    """A page carrying a small waveform screen and lines of text."""
    c = Canvas(size)
    c.polygon([(x + 1.5, y + 1.5) for x, y in PAGE], hex_color("#000000", 45))  # shadow
    c.polygon(PAGE, hex_color("#4a5562"))
    c.polygon(PAGE_INNER, vertical_gradient(4, hex_color("#ffffff"), 44, hex_color("#e6eaef")))
    c.polygon(FOLD, hex_color("#c5ccd5"))
    c.polyline([(30.4, 4), (30.4, 12.6), (39, 12.6)], 1.2, hex_color("#4a5562"))
    for y, x1 in ((9, 25), (13, 29)):
        c.rect(13, y - 0.75, x1, y + 0.75, hex_color("#8a95a3"))
    c.rect(12.5, 17.5, 36, 33.5, hex_color("#2b323c"), radius=1.6)
    screen(c, 13.7, 18.7, 34.8, 32.3)
    for y, x1 in ((37.5, 35), (41, 28)):
        c.rect(13, y - 0.75, x1, y + 0.75, hex_color("#8a95a3"))
    return c.pixels()


# --------------------------------------------------------------------------


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--out", default=RES_DIR, help="output folder (default: res/)")
    parser.add_argument("--preview", metavar="DIR", help="also write 8x enlargements into DIR")
    args = parser.parse_args()

    images = {}
    strip = [[] for _ in range(BUTTON_H)]
    for name, grid in TOOLBAR:
        pixels = grid_pixels(name, grid)
        images[f"toolbar-{name}.png"] = pixels
        for y in range(BUTTON_H):
            strip[y].extend(pixels[y])
    images["toolbar.png"] = strip
    images["zx840.png"] = app_icon(48)
    images["zx840-32.png"] = app_icon(32)
    images["zx840-document.png"] = document_icon(48)

    os.makedirs(args.out, exist_ok=True)
    for file_name, pixels in images.items():
        write_png(os.path.join(args.out, file_name), pixels)
        print(os.path.normpath(os.path.join(args.out, file_name)))
    if args.preview:
        os.makedirs(args.preview, exist_ok=True)
        for file_name, pixels in images.items():
            factor = 8 if len(pixels[0]) <= 48 else 6
            write_png(os.path.join(args.preview, file_name), enlarged(pixels, factor))


if __name__ == "__main__":
    main()
