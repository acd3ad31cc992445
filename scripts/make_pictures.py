#!/usr/bin/python3
"""Draws the pictures of the main window into data/pictures/.

  background.png  514 x 331  the device-shaped frame behind every control
  map.png         357 x 266  Shikoku with the pilgrims' route
  marker.png       20 x  19  the yellow ball that marks the current temple
  button1..5.png   51 x  24  faces under リセット, 貼付, 設定, 札所, 変更
  pilgrim.png      64 x 257  the walking pilgrim: figures on white in the top
                             row (x 0 and 32), white-on-black masks 128 px below
  tool_*.png       16 x  16  the editor's toolbar: new, open, save, print, cut,
                             copy, paste, bold, italic, underline
  name@2x.png                every picture drawn at twice the size, for
                             high-density screens (the pilgrim's figures at x 0
                             and 64, their masks 256 px below)

Needs Pillow (Debian: python3-pil); run with /usr/bin/python3.
The map is checked: every temple's marker point, and the route between them,
must lie on land. --composite writes the pictures put together as the main
window shows them, with the marker at all 88 temples, for a look.

Usage: scripts/make_pictures.py [output folder] [--composite FILE]
"""

import math
import os
import random
import shutil
import subprocess
import sys

from PIL import Image, ImageChops, ImageDraw, ImageFilter

# --------------------------------------------------------------------------
# Where the main window puts things (twips, 15 to the pixel).

# Left and top of the temple number label of temples 1 to 88.
TEMPLE_LABELS = [
    (6280, 1880), (6240, 1900), (6200, 1880), (6160, 1840), (6120, 1880),
    (6080, 1920), (6040, 1880), (6000, 1840), (5980, 1880), (5940, 1840),
    (5980, 1920), (5900, 1880), (6000, 1920), (6040, 1880), (6000, 1840),
    (6040, 1800), (6080, 1760), (6320, 2300), (6400, 2340), (6200, 2300),
    (6200, 2340), (6280, 2380), (6080, 2440), (5360, 3100), (5320, 3020),
    (5320, 2960), (5260, 2860), (4960, 2660), (4900, 2620), (4720, 2580),
    (4600, 2620), (4680, 2680), (4500, 2680), (4300, 2680), (4120, 2600),
    (4020, 2780), (3220, 3180), (2900, 4000), (2700, 3400), (2300, 3300),
    (2500, 2800), (2500, 2700), (2400, 2600), (2900, 2500), (3000, 2600),
    (2900, 2300), (2900, 2220), (2980, 2160), (2900, 2100), (2980, 2020),
    (2980, 2140), (2900, 1880), (2980, 1800), (3280, 1600), (3420, 1520),
    (3380, 1640), (3300, 1740), (3460, 1740), (3460, 1640), (3560, 2040),
    (3460, 1940), (3560, 1940), (3660, 1940), (3860, 1940), (4560, 1940),
    (4760, 1840), (4760, 1740), (4700, 1700), (4800, 1500), (4880, 1600),
    (5080, 1400), (4980, 1480), (5080, 1580), (5180, 1280), (5180, 1380),
    (5280, 1280), (5180, 1180), (5280, 1180), (5380, 1280), (5480, 1380),
    (5380, 1180), (5480, 1180), (5580, 1180), (5680, 1280), (5780, 1380),
    (5880, 1480), (5880, 1520), (5880, 1620),
]

MAP_RECT = (1560, 720, 5325, 3495)      # where the map is shown, twips
MAP_SIZE = (357, 266)                   # the picture itself, stretched into MAP_RECT
MARKER_SIZE = (20, 19)
BACKGROUND_SIZE = (514, 331)
BACKGROUND_LEFT = 40                    # twips; the background starts here


def marker_twips(label_left, label_top):
    """Top-left of the marker ball for a temple label, twips."""
    return label_left - 40, label_top - 80


def ball_centre_twips(label_left, label_top):
    left, top = marker_twips(label_left, label_top)
    return left + 150, top + 142


def temple_points():
    """The centre of each temple's marker ball, as a pixel of the map picture
    (which is stretched from 357 x 266 into the 355 x 233 pixels of its place)."""
    mx, my, mw, mh = MAP_RECT
    pts = []
    for left, top in TEMPLE_LABELS:
        tx, ty = ball_centre_twips(left, top)
        pts.append(((tx - mx) / 15 * MAP_SIZE[0] / (mw / 15),
                    (ty - my) / 15 * MAP_SIZE[1] / (mh / 15)))
    return pts


# --------------------------------------------------------------------------
# Small helpers

def rgb(hexcode):
    hexcode = hexcode.lstrip("#")
    return tuple(int(hexcode[i:i + 2], 16) for i in (0, 2, 4))


def mix(a, b, t):
    t = max(0.0, min(1.0, t))
    return tuple(int(round(a[i] + (b[i] - a[i]) * t)) for i in range(len(a)))


def ramp(stops, t):
    """Colour at t along [(t0, colour), (t1, colour), ...]."""
    if t <= stops[0][0]:
        return stops[0][1]
    for (t0, c0), (t1, c1) in zip(stops, stops[1:]):
        if t <= t1:
            return mix(c0, c1, (t - t0) / (t1 - t0))
    return stops[-1][1]


def catmull_rom(points, steps=8, closed=True):
    """A smooth curve through the points."""
    out = []
    n = len(points)
    count = n if closed else n - 1
    for i in range(count):
        p0 = points[(i - 1) % n] if closed or i > 0 else points[0]
        p1 = points[i]
        p2 = points[(i + 1) % n]
        p3 = points[(i + 2) % n] if closed or i + 2 < n else points[-1]
        for s in range(steps):
            t = s / steps
            t2, t3 = t * t, t * t * t
            out.append(tuple(
                0.5 * (2 * p1[k] + (-p0[k] + p2[k]) * t
                       + (2 * p0[k] - 5 * p1[k] + 4 * p2[k] - p3[k]) * t2
                       + (-p0[k] + 3 * p1[k] - 3 * p2[k] + p3[k]) * t3)
                for k in range(2)))
    if not closed:
        out.append(points[-1])
    return out


def roughen(points, rng, amplitude, depth):
    """Midpoint displacement of a closed outline, for a natural coast."""
    pts = list(points)
    for level in range(depth):
        amp = amplitude / (1.7 ** level)
        new = []
        for i, p in enumerate(pts):
            q = pts[(i + 1) % len(pts)]
            dx, dy = q[0] - p[0], q[1] - p[1]
            length = math.hypot(dx, dy) or 1.0
            off = rng.uniform(-amp, amp)
            new.append(p)
            new.append(((p[0] + q[0]) / 2 - dy / length * off,
                        (p[1] + q[1]) / 2 + dx / length * off))
        pts = new
    return pts


def value_noise(size, rng, octaves, out=1):
    """Smooth noise in 0..1 as a list of rows, from up-scaled random grids.
    size is in pixels of the picture at its plain size; out=2 samples the same
    noise (the same random grids) at twice the density."""
    w, h = size
    total = [[0.0] * (w * out) for _ in range(h * out)]
    weight_sum = 0.0
    for cells, weight in octaves:
        gw = max(2, int(w / cells) + 2)
        gh = max(2, int(h / cells) + 2)
        grid = Image.new("L", (gw, gh))
        grid.putdata([rng.randrange(256) for _ in range(gw * gh)])
        big = grid.resize((int(gw * cells * out), int(gh * cells * out)), Image.BICUBIC)
        data = big.load()
        for y in range(h * out):
            row = total[y]
            for x in range(w * out):
                row[x] += data[x, y] / 255.0 * weight
        weight_sum += weight
    return [[v / weight_sum for v in row] for row in total]


def seg_distance(px, py, ax, ay, bx, by):
    dx, dy = bx - ax, by - ay
    length2 = dx * dx + dy * dy
    t = 0.0 if length2 == 0 else max(0.0, min(1.0, ((px - ax) * dx + (py - ay) * dy) / length2))
    return math.hypot(px - ax - t * dx, py - ay - t * dy)


# --------------------------------------------------------------------------
# The map

# Coast of Shikoku in map pixels, clockwise from the Naruto strait. The temple
# positions of the program are a free sketch of the real places, so the coast
# follows them: Kagawa along the top, Tokushima on the right, the long coast of
# Kochi with Cape Muroto and Cape Ashizuri below, Ehime on the left with the
# Sadamisaki peninsula reaching west.
SHIKOKU = [
    (347, 80), (344, 88), (340, 96), (342, 104), (344, 112), (341, 120),
    (344, 127), (351, 133), (345, 139), (335, 143), (326, 146), (318, 148),
    (310, 153), (300, 160), (291, 166), (283, 173), (276, 180), (271, 188),
    (268, 196), (265, 199), (261, 195), (256, 187), (251, 178), (245, 172),
    (237, 167), (228, 165), (220, 164), (212, 164), (204, 163), (196, 164),
    (188, 165), (181, 165), (178, 168), (172, 170), (165, 172), (157, 177),
    (150, 183), (143, 190), (137, 197), (131, 204), (124, 211), (117, 218),
    (112, 226), (109, 234), (107, 243), (105, 253), (102, 261), (97, 265),
    (92, 262), (89, 253), (86, 244), (81, 237), (79, 230), (75, 224),
    (70, 220), (64, 222), (58, 225), (52, 221), (47, 214), (45, 206),
    (43, 198), (42, 190), (40, 182), (43, 175), (46, 168), (50, 162),
    (47, 156), (44, 150), (46, 144), (41, 140), (32, 139), (22, 138),
    (12, 137.5), (5, 137), (7, 134), (16, 133.5), (28, 133), (40, 131),
    (50, 127), (58, 121), (66, 115), (73, 109), (79, 103), (84, 98),
    (87, 92), (89, 85), (91, 78), (95, 72), (101, 66), (107, 60),
    (113, 55), (120, 53), (127, 55), (134, 56), (140, 58), (142, 63),
    (144, 70), (148, 78), (154, 84), (162, 86), (170, 86), (178, 85),
    (186, 84), (194, 84), (201, 83), (207, 80), (210, 74), (212, 66),
    (214, 58), (216, 50), (219, 42), (224, 36), (230, 33), (236, 32),
    (243, 31), (250, 30.5), (257, 30.5), (263, 29.5), (268, 28.5), (273, 29.5),
    (278, 32), (281, 34), (283, 28), (287, 27), (289, 33), (291, 40),
    (295, 45), (301, 49), (309, 55), (317, 59), (325, 63), (333, 69),
    (340, 74),
]

# Neighbouring land for orientation: Honshu along the top, Awaji at the
# right edge, Shodoshima and the islands of the Seto Inland Sea.
OTHER_LAND = [
    [(160, -5), (357 + 5, -5), (357 + 5, 4), (330, 6), (300, 3), (260, 5),
     (220, 2), (190, 4)],
    [(357 + 5, 18), (352, 28), (349, 42), (350, 56), (353, 68), (357 + 5, 74)],
    [(292, 12), (298, 8), (306, 9), (313, 7), (316, 12), (311, 17), (302, 18),
     (295, 17)],
    [(120, 40), (125, 37), (129, 40), (126, 44), (121, 44)],
    [(133, 33), (139, 31), (142, 35), (137, 38)],
    [(108, 43), (112, 41), (114, 45), (109, 47)],
    [(150, 26), (158, 24), (162, 28), (155, 31)],
    [(67, 60), (72, 58), (74, 63), (69, 65)],
]

# Mountain ridges (polyline, height, width in px).
RIDGES = [
    # the spine of the island: Ishizuchi in Ehime, Tsurugi in Tokushima
    ([(60, 165), (95, 150), (130, 118), (150, 112), (180, 118), (215, 120),
      (250, 122), (285, 118), (315, 128), (330, 140)], 1.0, 26.0),
    # the Sanuki mountains between Kagawa and Tokushima
    ([(215, 92), (245, 82), (275, 78), (305, 72), (330, 76)], 0.55, 12.0),
    # the hills of south-western Kochi and Ashizuri
    ([(70, 200), (100, 200), (125, 190), (145, 178)], 0.5, 16.0),
    ([(95, 215), (99, 240), (97, 258)], 0.35, 8.0),
    # the Muroto peninsula
    ([(285, 150), (270, 168), (262, 190)], 0.45, 10.0),
    # Takanawa hills north of Matsuyama
    ([(100, 80), (115, 65), (130, 62)], 0.3, 10.0),
]

# Valleys cut into the relief: the Yoshino river in Tokushima and the plains
# of Kochi and Matsuyama.
VALLEYS = [
    ([(230, 96), (260, 93), (290, 92), (320, 92), (345, 95)], 0.6, 9.0),
    ([(195, 158), (215, 158), (235, 160)], 0.5, 9.0),
    ([(90, 98), (100, 104)], 0.4, 8.0),
]

# Prefecture borders, drawn as dotted lines: Kagawa / Ehime and Tokushima
# (from the coast west of Kan'onji over Unpenji and the Sanuki mountains),
# Ehime / Tokushima, Ehime / Kochi, Kochi / Tokushima.
BORDERS = [
    [(208, 77), (215, 85), (222, 92), (245, 86), (270, 82), (297, 79), (306, 76), (316, 66), (320, 60)],
    [(222, 92), (215, 108)],
    [(215, 108), (195, 116), (165, 121), (140, 130), (126, 148), (110, 170), (95, 185), (72, 204), (66, 221)],
    [(215, 108), (250, 114), (275, 131), (289, 150), (294, 163)],
]

SEA_DEEP = rgb("#2f6fc0")
SEA_SHALLOW = rgb("#6ea9e6")
LAND_STOPS = [(0.0, rgb("#8fcf68")), (0.25, rgb("#63b04a")), (0.55, rgb("#3f8e37")),
              (0.8, rgb("#3a7430")), (1.0, rgb("#7d8a55"))]
ROUTE = rgb("#d8301e")
SCALE = 4                                # supersampling for smooth edges


def land_alpha(size, outlines, rng, out=1):
    """Coverage of the land (0..255) for each pixel, drawn supersampled
    (out=2: at twice the size, the same outlines)."""
    w, h = size
    k = SCALE * out
    big = Image.new("L", (w * k, h * k), 0)
    draw = ImageDraw.Draw(big)
    for outline, rough in outlines:
        pts = catmull_rom(outline, steps=6)
        if rough:
            pts = roughen(pts, rng, 0.9, 2)
        draw.polygon([(x * k, y * k) for x, y in pts], fill=255)
    return big.resize((w * out, h * out), Image.BOX)


def heights(size, land, rng, out=1):
    """Relief height 0..1 for each land pixel (land is out times size)."""
    noise = value_noise(size, rng, [(40, 1.0), (16, 0.6), (7, 0.35), (3, 0.15)], out)
    fine = value_noise(size, rng, [(4, 1.0), (2, 0.5)], out)
    w, h = size[0] * out, size[1] * out
    # distance from the coast, roughly: blur the land and keep the inner part
    inland = land.filter(ImageFilter.GaussianBlur(6 * out)).load()
    hmap = [[0.0] * w for _ in range(h)]
    for y in range(h):
        for x in range(w):
            # the ridges and valleys are laid out in pixels of the plain size
            fx, fy = (x + 0.5) / out - 0.5, (y + 0.5) / out - 0.5
            r = 0.0
            for line, height, width in RIDGES:
                d = min(seg_distance(fx, fy, *a, *b) for a, b in zip(line, line[1:]))
                r = max(r, height * math.exp(-(d / width) ** 2))
            for line, depth, width in VALLEYS:
                d = min(seg_distance(fx, fy, *a, *b) for a, b in zip(line, line[1:]))
                r *= 1.0 - depth * math.exp(-(d / width) ** 2)
            coast = inland[x, y] / 255.0
            base = 0.15 * coast + r * (0.55 + 0.6 * noise[y][x]) * coast
            hmap[y][x] = max(0.0, base + 0.05 * (fine[y][x] - 0.5) * coast)
    top = max(max(row) for row in hmap) or 1.0
    # soften the grain of the noise a little before it is shaded
    kernel = [(-out, 1), (0, 2), (out, 1)]
    soft = [[0.0] * w for _ in range(h)]
    for y in range(h):
        for x in range(w):
            total = 0.0
            for dy, wy in kernel:
                row = hmap[min(h - 1, max(0, y + dy))]
                for dx, wx in kernel:
                    total += row[min(w - 1, max(0, x + dx))] * wx * wy
            soft[y][x] = total / 16.0 / top
    return soft


def draw_map(rng, out=1):
    """The map and its land coverage; out=2 draws it at twice the size, from a
    generator in the same state: the same coast, relief and sea."""
    w, h = MAP_SIZE[0] * out, MAP_SIZE[1] * out
    land = land_alpha(MAP_SIZE, [(SHIKOKU, True)] + [(o, True) for o in OTHER_LAND], rng, out)
    hmap = heights(MAP_SIZE, land, rng, out)
    near = land.filter(ImageFilter.GaussianBlur(5 * out)).load()
    alpha = land.load()
    img = Image.new("RGB", (w, h))
    px = img.load()
    sea_noise = value_noise(MAP_SIZE, rng, [(30, 1.0), (10, 0.4)], out)
    light = (-1 / math.sqrt(3), -1 / math.sqrt(3), 1 / math.sqrt(3))  # from the north-west
    for y in range(h):
        for x in range(w):
            shallow = min(1.0, near[x, y] / 255.0 * 2.2)
            sea = mix(SEA_DEEP, SEA_SHALLOW, 0.85 * shallow + 0.15 * sea_noise[y][x])
            a = alpha[x, y] / 255.0
            if a > 0:
                x0, x1 = max(0, x - 1), min(w - 1, x + 1)
                y0, y1 = max(0, y - 1), min(h - 1, y + 1)
                dzdx = (hmap[y][x1] - hmap[y][x0]) * 9.0 * out
                dzdy = (hmap[y1][x] - hmap[y0][x]) * 9.0 * out
                n = (-dzdx, -dzdy, 1.0)
                nl = math.sqrt(n[0] ** 2 + n[1] ** 2 + 1.0)
                shade = (n[0] * light[0] + n[1] * light[1] + n[2] * light[2]) / nl
                shade = 0.55 + 0.75 * (shade - light[2])  # flat ground keeps its colour
                colour = ramp(LAND_STOPS, hmap[y][x])
                colour = tuple(max(0, min(255, int(c * (0.45 + 0.55 * shade) + 18 * (shade - 0.55))))
                               for c in colour)
                px[x, y] = mix(sea, colour, a)
            else:
                px[x, y] = sea
    # a thin darker line along the coast
    edge = land.filter(ImageFilter.FIND_EDGES).point(lambda v: min(255, v * 2))
    img = Image.composite(Image.new("RGB", (w, h), rgb("#2d5a2a")), img,
                          edge.point(lambda v: v * 90 // 255))
    return img, land


def draw_borders(img, land, out=1):
    """Dotted lines, on land only (out=2: dots of 2 x 2 pixels on the map drawn
    at twice the size)."""
    alpha = land.load()
    px = img.load()
    for line in BORDERS:
        curve = catmull_rom(line, steps=10, closed=False)
        travelled, next_dot = 0.0, 0.0
        for (x0, y0), (x1, y1) in zip(curve, curve[1:]):
            length = math.hypot(x1 - x0, y1 - y0)
            while next_dot <= travelled + length:
                t = (next_dot - travelled) / length if length else 0.0
                x, y = int(round(x0 + (x1 - x0) * t)), int(round(y0 + (y1 - y0) * t))
                if out > 1:
                    x = int(round((x0 + (x1 - x0) * t) * out - (out - 1) / 2))
                    y = int(round((y0 + (y1 - y0) * t) * out - (out - 1) / 2))
                for dot in [(x + i, y + j) for j in range(out) for i in range(out)]:
                    if 0 <= dot[0] < img.width and 0 <= dot[1] < img.height and alpha[dot] > 200:
                        px[dot] = mix(px[dot], rgb("#f4f0c0"), 0.6)
                next_dot += 3.0
            travelled += length
    return img


def draw_route(img, points, out=1):
    """The route through the temples (points in pixels of the plain size; img
    is out times that size)."""
    w, h = img.size
    big = img.resize((w * SCALE, h * SCALE), Image.BICUBIC)
    draw = ImageDraw.Draw(big)
    k = SCALE * out
    scaled = [(x * k, y * k) for x, y in points]
    draw.line(scaled, fill=rgb("#fff4d0"), width=int(2.6 * k), joint="curve")
    draw.line(scaled, fill=ROUTE, width=int(1.3 * k), joint="curve")
    for x, y in scaled:
        r = 1.7 * k
        draw.ellipse((x - r, y - r, x + r, y + r), fill=rgb("#fff4d0"), outline=ROUTE,
                     width=int(0.6 * k))
    return big.resize((w, h), Image.LANCZOS)


def check_on_land(land, points, margin=2):
    """Every temple point, and the pixels around it, must be land."""
    alpha = land.load()
    w, h = land.size
    bad = []
    for n, (x, y) in enumerate(points, 1):
        cx, cy = int(round(x)), int(round(y))
        for dy in range(-margin, margin + 1):
            for dx in range(-margin, margin + 1):
                if dx * dx + dy * dy > margin * margin:
                    continue
                qx, qy = cx + dx, cy + dy
                if not (0 <= qx < w and 0 <= qy < h) or alpha[qx, qy] < 200:
                    bad.append(n)
                    break
            else:
                continue
            break
    assert not bad, "temples off the land: %s" % sorted(set(bad))
    # the route between two temples keeps to the land as well
    for n, (p, q) in enumerate(zip(points, points[1:]), 1):
        for k in range(41):
            x = p[0] + (q[0] - p[0]) * k / 40
            y = p[1] + (q[1] - p[1]) * k / 40
            assert alpha[int(round(x)), int(round(y))] >= 128, \
                "the route from temple %d to %d crosses the sea" % (n, n + 1)


# --------------------------------------------------------------------------
# The marker ball

def draw_ball(size, centre, radius, base, light, dark, scale=8):
    w, h = size
    big = Image.new("RGBA", (w * scale, h * scale), (0, 0, 0, 0))
    px = big.load()
    cx, cy, r = centre[0] * scale, centre[1] * scale, radius * scale
    hx, hy = cx - 0.35 * r, cy - 0.4 * r
    for y in range(h * scale):
        for x in range(w * scale):
            d = math.hypot(x + 0.5 - cx, y + 0.5 - cy)
            if d > r:
                continue
            if d > r - 0.9 * scale:
                px[x, y] = dark + (255,)
                continue
            t = math.hypot(x - hx, y - hy) / (1.5 * r)
            colour = ramp([(0.0, (255, 255, 255)), (0.12, light), (0.55, base), (1.0, dark)], t)
            px[x, y] = colour + (255,)
    return big.resize(size, Image.LANCZOS)


def draw_marker():
    w, h = MARKER_SIZE
    return draw_ball(MARKER_SIZE, (w / 2, h / 2), 8.8, rgb("#f7d418"), rgb("#fff58a"),
                     rgb("#8a6400"))


# --------------------------------------------------------------------------
# The background

LAUNCHER_TOPS = [840, 1200, 1600, 2000, 2380, 2720, 3080]      # twips
LAUNCHER_LEFTS = [120, 120, 120, 120, 60, 60, 60]


def to_bg(tx):
    """Window twips (x) to a background pixel."""
    return (tx - BACKGROUND_LEFT) / 15


def rounded(draw, box, radius, **kw):
    draw.rounded_rectangle([int(round(v)) for v in box], radius=radius, **kw)


def vertical_gradient(size, top, bottom):
    w, h = size
    img = Image.new("RGB", size)
    draw = ImageDraw.Draw(img)
    for y in range(h):
        draw.line([(0, y), (w, y)], fill=mix(top, bottom, y / max(1, h - 1)))
    return img


def paste_rounded(dest, src, box, radius):
    mask = Image.new("L", dest.size, 0)
    rounded(ImageDraw.Draw(mask), box, radius, fill=255)
    layer = Image.new(dest.mode, dest.size)
    layer.paste(src, (int(box[0]), int(box[1])))
    dest.paste(layer, (0, 0), mask)


def bevel(img, box, radius, light, dark, width=1):
    """A raised edge: light on top and left, dark on bottom and right."""
    x0, y0, x1, y1 = box
    hi = Image.new("L", img.size, 0)
    lo = Image.new("L", img.size, 0)
    rounded(ImageDraw.Draw(hi), box, radius, outline=255, width=width)
    lo.paste(hi)
    # split the outline along the diagonal from bottom left to top right
    cut = Image.new("L", img.size, 0)
    ImageDraw.Draw(cut).polygon([(x0, y1), (x0, y0), (x1, y0)], fill=255)
    hi = ImageChops.multiply(hi, cut)
    lo = ImageChops.subtract(lo, hi)
    img.paste(Image.new("RGB", img.size, light), (0, 0), hi)
    img.paste(Image.new("RGB", img.size, dark), (0, 0), lo)


def ribbed_bar(size, k=1):
    """A launcher bar: silver, with fine vertical ribs and a bead at its left end."""
    w, h = size
    bar = vertical_gradient(size, rgb("#f1efea"), rgb("#b9b4aa"))
    px = bar.load()
    for x in range(w):
        if (x // k) % 3 == 0:
            for y in range(h):
                px[x, y] = mix(px[x, y], rgb("#8c857a"), 0.18)
        elif (x // k) % 3 == 1:
            for y in range(h):
                px[x, y] = mix(px[x, y], (255, 255, 255), 0.15)
    # the middle of the bar, where the caption lies, stays calm
    calm = vertical_gradient((w - 28 * k, h - 6 * k), rgb("#f4f2ed"), rgb("#d9d5cc"))
    bar.paste(calm, (24 * k, 3 * k))
    return bar


def draw_background(k=1):
    """The frame; k=2 draws it at twice the size for high-density screens."""
    W, H = BACKGROUND_SIZE[0] * k, BACKGROUND_SIZE[1] * k
    size = (W, H)

    def sc(*values):
        return tuple(v * k for v in values)

    img = Image.new("RGBA", size, (0, 0, 0, 0))
    body = vertical_gradient(size, rgb("#9a1f26"), rgb("#5c0b12"))
    # a little grain in the body colour
    rng = random.Random(7)
    grain = value_noise(BACKGROUND_SIZE, rng, [(6, 1.0), (2, 0.6)])
    bpx = body.load()
    for y in range(H):
        for x in range(W):
            f = 0.94 + 0.1 * grain[y // k][x // k]
            bpx[x, y] = tuple(min(255, int(c * f)) for c in bpx[x, y])
    mask = Image.new("L", (W * SCALE, H * SCALE), 0)
    rounded(ImageDraw.Draw(mask), (0, 0, W * SCALE - 1, H * SCALE - 1), 18 * k * SCALE, fill=255)
    mask = mask.resize(size, Image.LANCZOS)
    img.paste(body, (0, 0), mask)
    rgbimg = img.convert("RGB")
    bevel(rgbimg, (0, 0, W - 1, H - 1), 18 * k, rgb("#d0575c"), rgb("#33060a"), 2 * k)
    bevel(rgbimg, (3 * k, 3 * k, W - 1 - 3 * k, H - 1 - 3 * k), 16 * k, rgb("#b3373d"), rgb("#4a080e"), k)
    draw = ImageDraw.Draw(rgbimg)

    # status window along the top (the status line is written there)
    status = sc(43, 10, 493, 38)
    rounded(draw, (status[0] - 2 * k, status[1] - 2 * k, status[2] + 2 * k, status[3] + 2 * k), 7 * k,
            fill=rgb("#3a0509"))
    paste_rounded(rgbimg, vertical_gradient((status[2] - status[0], status[3] - status[1]),
                                            rgb("#b9cfa3"), rgb("#dcebc9")), status, 6 * k)
    draw.line([(status[0] + 5 * k, status[1] + k), (status[2] - 5 * k, status[1] + k)], fill=rgb("#8fa57c"),
              width=k)

    # the green screen around the map
    screen = sc(93, 41, 463, 288)
    rounded(draw, (screen[0] - 3 * k, screen[1] - 3 * k, screen[2] + 3 * k, screen[3] + 3 * k), 10 * k,
            fill=rgb("#2a0307"))
    bevel(rgbimg, (screen[0] - 4 * k, screen[1] - 4 * k, screen[2] + 4 * k, screen[3] + 4 * k), 11 * k,
          rgb("#3a0509"), rgb("#c04a50"), k)
    paste_rounded(rgbimg, vertical_gradient((screen[2] - screen[0], screen[3] - screen[1]),
                                            rgb("#4f9a4a"), rgb("#2f6e33")), screen, 8 * k)
    # the map's own place, a shade darker so a thin frame shows round it
    mx0, my0 = to_bg(1560) * k, 720 / 15 * k
    mx1, my1 = to_bg(1560 + 5325) * k, (720 + 3495) / 15 * k
    draw.rectangle((mx0 - 2 * k, my0 - 2 * k, mx1 + 1 * k, my1 + 1 * k), outline=rgb("#1f4f23"), width=2 * k)

    # seven ribbed bars behind the launchers
    for left, top in zip(LAUNCHER_LEFTS, LAUNCHER_TOPS):
        x0 = 3
        y0 = top / 15 - 3
        box = sc(x0, y0, 88, y0 + 21)
        rounded(draw, (box[0] - k, box[1] - k, box[2] + k, box[3] + k), 6 * k, fill=rgb("#33050a"))
        paste_rounded(rgbimg, ribbed_bar((int(box[2] - box[0]), int(box[3] - box[1]) + k), k), box, 5 * k)
        bead = draw_ball(sc(12, 12), sc(6, 6), 4.6 * k, rgb("#c22a2a"), rgb("#ff9a8a"), rgb("#5a0a0a"),
                         scale=8 // k)
        rgbimg.paste(bead, (int((x0 + 6) * k), int((y0 + 4.5) * k)), bead)
        draw = ImageDraw.Draw(rgbimg)

    # two small bars on the right, behind "HP" and "Small"
    for top in (3540, 3880):
        y0 = top / 15 - 2.5
        box = sc(461, y0, 512, y0 + 20)
        rounded(draw, (box[0] - k, box[1] - k, box[2] + k, box[3] + k), 6 * k, fill=rgb("#33050a"))
        paste_rounded(rgbimg, vertical_gradient(sc(52, 21), rgb("#f1efea"), rgb("#bdb8ae")), box, 5 * k)
        draw = ImageDraw.Draw(rgbimg)

    # the red ball at the bottom left
    ball = draw_ball(sc(34, 34), sc(17, 17), 15 * k, rgb("#e0241e"), rgb("#ff9d8c"), rgb("#4a0505"),
                     scale=8 // k)
    shadow = Image.new("L", sc(50, 50), 0)
    ImageDraw.Draw(shadow).ellipse(sc(9, 11, 43, 45), fill=110)
    shadow = shadow.filter(ImageFilter.GaussianBlur(2 * k))
    rgbimg.paste(Image.new("RGB", sc(50, 50), rgb("#2a0306")), sc(21, 276), shadow)
    rgbimg.paste(ball, sc(26, 279), ball)

    # name plate under the screen, behind the product name and version
    plate = sc(178, 291, 388, 322)
    draw = ImageDraw.Draw(rgbimg)
    rounded(draw, (plate[0] - 2 * k, plate[1] - 2 * k, plate[2] + 2 * k, plate[3] + 2 * k), 8 * k,
            fill=rgb("#3a0509"))
    paste_rounded(rgbimg, vertical_gradient((plate[2] - plate[0], plate[3] - plate[1]),
                                            rgb("#f3ead8"), rgb("#cdbf9f")), plate, 7 * k)

    # the dark bar along the bottom
    draw = ImageDraw.Draw(rgbimg)
    rounded(draw, sc(60, 325, 454, 329), 2 * k, fill=rgb("#1e0205"))
    for x in range(64, 452, 6):
        draw.line([(x * k, 326 * k), (x * k, 328 * k)], fill=rgb("#4a0a10"), width=k)

    out = rgbimg.convert("RGBA")
    out.putalpha(mask)
    return out


# --------------------------------------------------------------------------
# Button faces

FACE_TINTS = ["#f3e2e0", "#eef0e2", "#e6edf3", "#f3efdc", "#ece4f1"]


def draw_face(tint, scale=4, out=1):
    """A small bar with rounded ends, drawn large and scaled down for soft edges
    (out=2: the picture for screens of twice the density)."""
    w, h = 51 * scale, 24 * scale
    img = Image.new("RGBA", (w, h), (0, 0, 0, 0))
    mask = Image.new("L", (w, h), 0)
    rounded(ImageDraw.Draw(mask), (0, 2 * scale, w - 1, 22 * scale - 1), 7 * scale, fill=255)
    img.paste(Image.new("RGB", (w, h), rgb("#3a0509")), (0, 0), mask)
    inner = Image.new("L", (w, h), 0)
    rounded(ImageDraw.Draw(inner), (scale, 3 * scale, w - 1 - scale, 21 * scale - 1), 6 * scale, fill=255)
    grad = vertical_gradient((w, h), mix(rgb(tint), (255, 255, 255), 0.5),
                             mix(rgb(tint), rgb("#9a948a"), 0.45))
    img.paste(grad, (0, 0), inner)
    draw = ImageDraw.Draw(img)
    draw.rectangle((6 * scale, 4 * scale, 45 * scale, 5 * scale - 1), fill=(255, 255, 255, 200))
    draw.rectangle((6 * scale, 19 * scale, 45 * scale, 20 * scale - 1),
                   fill=mix(rgb(tint), rgb("#5a544a"), 0.6) + (255,))
    return img.resize((51 * out, 24 * out), Image.LANCZOS)


# --------------------------------------------------------------------------
# The editor's toolbar pictures, 16 x 16 (and 32 x 32 for twice the density),
# drawn on a 16-unit grid and scaled down for soft edges.

TOOL_SS = 8
DEJAVU_BOLD = "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf"
DEJAVU_OBLIQUE = "/usr/share/fonts/truetype/dejavu/DejaVuSerif-BoldItalic.ttf"


class Grid:
    def __init__(self, out):
        self.k = out * TOOL_SS
        self.img = Image.new("RGBA", (16 * self.k, 16 * self.k), (0, 0, 0, 0))
        self.draw = ImageDraw.Draw(self.img)
        self.out = out

    def box(self, x0, y0, x1, y1):
        k = self.k
        return [x0 * k, y0 * k, x1 * k - 1, y1 * k - 1]

    def rect(self, x0, y0, x1, y1, fill, outline=None, width=1, radius=0):
        if radius:
            self.draw.rounded_rectangle(self.box(x0, y0, x1, y1), radius=radius * self.k, fill=fill,
                                        outline=outline, width=int(width * self.k))
        else:
            self.draw.rectangle(self.box(x0, y0, x1, y1), fill=fill, outline=outline, width=int(width * self.k))

    def poly(self, points, fill, outline=None, width=1):
        pts = [(x * self.k, y * self.k) for x, y in points]
        self.draw.polygon(pts, fill=fill)
        if outline:
            self.draw.line(pts + [pts[0]], fill=outline, width=int(width * self.k), joint="curve")

    def line(self, points, fill, width=1):
        self.draw.line([(x * self.k, y * self.k) for x, y in points], fill=fill, width=int(width * self.k))

    def ellipse(self, x0, y0, x1, y1, fill=None, outline=None, width=1):
        self.draw.ellipse(self.box(x0, y0, x1, y1), fill=fill, outline=outline, width=int(width * self.k))

    def text(self, x, y, glyph, path, size, fill):
        from PIL import ImageFont
        font = ImageFont.truetype(path, int(size * self.k))
        self.draw.text((x * self.k, y * self.k), glyph, font=font, fill=fill, anchor="mm")

    def done(self):
        return self.img.resize((16 * self.out, 16 * self.out), Image.LANCZOS)


INK = rgb("#2e3440")
PAPER = (255, 255, 255)


def page(g, x0, y0, x1, y1, fold=3):
    g.poly([(x0, y0), (x1 - fold, y0), (x1, y0 + fold), (x1, y1), (x0, y1)], PAPER, INK, 0.9)
    g.poly([(x1 - fold, y0), (x1 - fold, y0 + fold), (x1, y0 + fold)], rgb("#d8dee9"), INK, 0.7)


def text_lines(g, x0, x1, ys):
    for y in ys:
        g.line([(x0, y), (x1, y)], rgb("#81a1c1"), 0.8)


def tool_new(g):
    page(g, 3, 1, 13, 15)
    g.ellipse(9.5, 9.5, 15.5, 15.5, fill=rgb("#ebcb8b"), outline=rgb("#a07c2c"), width=0.8)
    g.line([(12.5, 10.8), (12.5, 14.2)], rgb("#5a4510"), 1.1)
    g.line([(10.8, 12.5), (14.2, 12.5)], rgb("#5a4510"), 1.1)


def tool_open(g):
    g.poly([(1, 3), (6, 3), (7.5, 4.5), (14, 4.5), (14, 13.5), (1, 13.5)], rgb("#e5b94e"), rgb("#8a6414"), 0.9)
    g.poly([(3, 7), (15.5, 7), (13.5, 13.5), (1, 13.5)], rgb("#f7d57a"), rgb("#8a6414"), 0.9)


def tool_save(g):
    g.rect(1.5, 1.5, 14.5, 14.5, rgb("#4c7fc0"), rgb("#1f3f6e"), 0.9, radius=1.2)
    g.rect(4, 1.5, 12, 6.5, rgb("#eceff4"), rgb("#1f3f6e"), 0.7)
    g.rect(9.5, 2.5, 11, 5.5, rgb("#4c7fc0"))
    g.rect(4, 9, 12, 14.5, PAPER, rgb("#1f3f6e"), 0.7)
    text_lines(g, 5, 11, [11, 12.8])


def tool_print(g):
    page(g, 4, 1, 12, 7, fold=2)
    g.rect(1, 6, 15, 12, rgb("#a3a9b5"), INK, 0.9, radius=1.5)
    g.ellipse(12, 7.5, 13.5, 9, fill=rgb("#a3be8c"))
    g.rect(4, 10, 12, 15, PAPER, INK, 0.9)
    text_lines(g, 5.5, 10.5, [12, 13.5])


def tool_cut(g):
    g.line([(4, 1.5), (10.5, 10)], rgb("#8d96a3"), 1.6)
    g.line([(12, 1.5), (5.5, 10)], rgb("#5e6673"), 1.6)
    g.ellipse(1.5, 9.5, 7, 15, outline=rgb("#bf3b3b"), width=1.5)
    g.ellipse(9, 9.5, 14.5, 15, outline=rgb("#bf3b3b"), width=1.5)


def tool_copy(g):
    page(g, 1.5, 1, 10, 11, fold=2.5)
    text_lines(g, 3, 7.5, [4.5, 6.5, 8.5])
    page(g, 6, 5, 14.5, 15, fold=2.5)
    text_lines(g, 7.5, 12.5, [8.5, 10.5, 12.5])


def tool_paste(g):
    g.rect(2, 2.5, 12, 15, rgb("#c08a4e"), rgb("#6b4420"), 0.9, radius=1)
    g.rect(4.5, 1, 9.5, 4, rgb("#a3a9b5"), INK, 0.8, radius=0.8)
    page(g, 7, 6, 15, 15.5, fold=2.5)
    text_lines(g, 8.5, 13, [9.5, 11.5, 13.5])


def tool_bold(g):
    g.text(8, 8.3, "B", DEJAVU_BOLD, 14, INK)


def tool_italic(g):
    g.text(8, 8.3, "I", DEJAVU_OBLIQUE, 14, INK)


def tool_underline(g):
    g.text(8, 7.2, "U", DEJAVU_BOLD, 12, INK)
    g.rect(2.5, 13.5, 13.5, 15, INK)


TOOLS = [("new", tool_new), ("open", tool_open), ("save", tool_save), ("print", tool_print),
         ("cut", tool_cut), ("copy", tool_copy), ("paste", tool_paste), ("bold", tool_bold),
         ("italic", tool_italic), ("underline", tool_underline)]


def draw_tool(painter, out):
    g = Grid(out)
    painter(g)
    return g.done()


# --------------------------------------------------------------------------
# The pilgrim

# 32 x 32 cells, facing right. '.' (and the rest of a short row) is outside
# the figure.
PALETTE = {
    "K": rgb("#2a2118"),   # outline
    "H": rgb("#dcb75e"),   # straw hat
    "h": rgb("#a98238"),   # hat in shadow
    "r": rgb("#7a5a22"),   # hat ribs
    "S": rgb("#efc49a"),   # skin
    "W": rgb("#f7f7f3"),   # white robe
    "w": rgb("#c9cbd3"),   # robe in shadow
    "P": rgb("#7b3f9b"),   # stole (wagesa)
    "B": rgb("#b58a52"),   # staff
    "b": rgb("#7e5a2e"),   # staff, dark side
    "G": rgb("#d8c9a2"),   # shoulder bag
    "F": rgb("#8b6a3b"),   # straw sandals
    "L": rgb("#e9e9e2"),   # leggings
}

UPPER = [
    "",
    "",
    "...............KK",
    ".............KKHHKK",
    "...........KKHHrHHHKK",
    ".........KKHHHHrHHHHHKK",
    ".......KKHHHHHHrHHHHHHHKK...KPK",
    ".....KKHHHHHHHHrHHHHHHHHHKK.KPK",
    "....KhhhhhhhhhhhhhhhhhhhhhhKKBK",
    ".....KKKKKKKKKKKKKKKKKKKKKK.KBK",
    "...........KSSSSSK..........KBK",
    "...........KSSSSKSK.........KBK",
    "..........KWPPSSSPWK........KBK",
    ".........KWWWPPPPPWWK.......KBK",
    "........KWWWWWWPWWWWWK......KBK",
    "........KGGWWWWPWWWWWWKKKKKKSBK",
    "........KGGGWWWPWWWWWWWWWWWWSBK",
    "........KGGGWWWWWWWWWKKKKKKKSBK",
    "........KwGGWWWWWWWWWK......KBK",
    "........KwwWWWWWWWWWWK......KBK",
    "........KwwWWWWWWWWWWWK.....KBK",
    ".......KwwwWWWWWWWWWWWK.....KBK",
    ".......KwwwWWWWWWWWWWWWK....KBK",
    ".......KKKKKKKKKKKKKKKKK....KBK",
]

# step picture 0: striding
STEP0 = UPPER + [
    ".........KLLK....KLLLK......KBK",
    "........KLLLK.....KLLLK.....KBK",
    ".......KLLLK.......KLLLK....KBK",
    "......KLLLK.........KLLLK...KBK",
    ".....KFFFFK.........KFFFFK..KBK",
    ".....KKKKKK.........KKKKKK..KBK",
    "............................KKK",
    "",
]

# step picture 1: legs passing each other
STEP1 = UPPER + [
    "..........KLLLKLLLK.........KBK",
    "..........KLLLKLLLK.........KBK",
    "..........KLLLKKLLLK........KBK",
    ".........KLLLK.KLLLK........KBK",
    "........KFFFFK.KFFFFK.......KBK",
    "........KKKKKK.KKKKKK.......KBK",
    "............................KKK",
    "",
]


def cells(rows):
    """A step picture as a full 32 x 32 grid of palette letters."""
    return [list(row.ljust(32, ".")) for row in rows]


def twice(grid):
    """The grid at twice the size, the way pixel art is redrawn for a denser
    screen: every cell becomes four, and where two of its neighbours meet it
    at a corner the quarter in that corner takes their letter, so slopes and
    rounds run in half steps instead of doubled stairs (Scale2x). Lines keep
    their width, single cells and straight edges stay as they are."""
    h, w = len(grid), len(grid[0])

    def at(x, y):
        return grid[min(h - 1, max(0, y))][min(w - 1, max(0, x))]

    big = [["."] * (2 * w) for _ in range(2 * h)]
    for y in range(h):
        for x in range(w):
            p = grid[y][x]
            up, left, right, down = at(x, y - 1), at(x - 1, y), at(x + 1, y), at(x, y + 1)
            if up != down and left != right:
                corners = (left if left == up else p, up if up == right else p,
                           left if down == left else p, right if down == right else p)
            else:
                corners = (p, p, p, p)
            for (dx, dy), ch in zip(((0, 0), (1, 0), (0, 1), (1, 1)), corners):
                big[2 * y + dy][2 * x + dx] = ch
    return big


def draw_sprites(out=1):
    """The sheet: both step pictures side by side on white, their masks (white
    figure on black) 128 pixels below; out=2 draws it at twice the size."""
    for rows in (STEP0, STEP1):
        assert len(rows) == 32 and all(len(r) <= 32 for r in rows), rows
    cell = 32 * out
    sheet = Image.new("RGB", (2 * cell, 257 * out), (0, 0, 0))
    sheet.paste(Image.new("RGB", (2 * cell, 4 * cell), (255, 255, 255)), (0, 0))
    px = sheet.load()
    for frame, rows in enumerate((STEP0, STEP1)):
        grid = cells(rows)
        if out == 2:
            grid = twice(grid)
        for y, row in enumerate(grid):
            for x, ch in enumerate(row):
                if ch == ".":
                    continue
                colour = PALETTE[ch]
                assert colour != (255, 255, 255)
                px[frame * cell + x, y] = colour
                px[frame * cell + x, 4 * cell + y] = (255, 255, 255)
    return sheet


def check_sprites(sheet, out=1):
    """Figure pixels outside the silhouette are pure white, the mask is pure
    black and white, and the two agree pixel for pixel."""
    px = sheet.load()
    cell = 32 * out
    for frame in (0, 1):
        for y in range(cell):
            for x in range(frame * cell, frame * cell + cell):
                m = px[x, y + 4 * cell]
                f = px[x, y]
                assert m in ((0, 0, 0), (255, 255, 255)), (x, y, m)
                if m == (0, 0, 0):
                    assert f == (255, 255, 255), (x, y, f)
                else:
                    assert f != (255, 255, 255), (x, y, f)


# --------------------------------------------------------------------------

def composite(background, map_img, marker, faces, sprites, points):
    """The main window's pictures put together, with the marker at every temple."""
    win = Image.new("RGBA", (520, 333), rgb("#efefef") + (255,))
    win.alpha_composite(background, (int(round(BACKGROUND_LEFT / 15)), 0))
    shown = map_img.resize((355, 233), Image.BICUBIC).convert("RGBA")
    win.alpha_composite(shown, (104, 48))
    for (left, top) in TEMPLE_LABELS:
        mx, my = marker_twips(left, top)
        win.alpha_composite(marker, (int(round(mx / 15)), int(round(my / 15))))
    for face, (x, y) in zip(faces, [(7040, 1900), (7030, 2220), (7020, 2540), (7020, 2860), (7020, 3200)]):
        win.alpha_composite(face, (int(round(x / 15)), int(round(y / 15))))
    # the pilgrim, drawn with OR (mask) then AND (figure) at 120, 90
    target = win.convert("RGB")
    area = target.crop((120, 90, 152, 122))
    area = ImageChops.lighter(area, sprites.crop((0, 128, 32, 160)))   # OR with white-or-black
    area = ImageChops.multiply(area, sprites.crop((0, 0, 32, 32)))     # AND with figure-on-white
    target.paste(area, (120, 90))
    return target


def main():
    args = sys.argv[1:]
    comp_path = None
    if "--composite" in args:
        i = args.index("--composite")
        comp_path = args[i + 1]
        del args[i:i + 2]
    here = os.path.dirname(os.path.abspath(__file__))
    out = args[0] if args else os.path.join(here, "..", "data", "pictures")
    os.makedirs(out, exist_ok=True)

    rng = random.Random(88)
    points = temple_points()
    map_img, land = draw_map(rng)
    check_on_land(land, points)
    map_img = draw_route(draw_borders(map_img, land), points)
    marker = draw_marker()
    background = draw_background()
    faces = [draw_face(t) for t in FACE_TINTS]
    sprites = draw_sprites()
    check_sprites(sprites)

    assert map_img.size == MAP_SIZE and marker.size == MARKER_SIZE
    assert background.size == BACKGROUND_SIZE and sprites.size == (64, 257)
    map_img.save(os.path.join(out, "map.png"), optimize=True)
    marker.save(os.path.join(out, "marker.png"), optimize=True)
    background.save(os.path.join(out, "background.png"), optimize=True)
    # The two large pictures of the first frame are decoded at every start:
    # stored with the "Sub" filter on every row they decode in about half the
    # time of the filters Pillow picks row by row (the pixels are the same).
    for name, kind in (("map.png", "PNG24"), ("background.png", "PNG32")):
        path = os.path.join(out, name)
        if shutil.which("convert"):
            subprocess.run(["convert", path, "-strip", "-define", "png:compression-filter=1",
                            "-define", "png:compression-level=9", kind + ":" + path], check=True)
    for n, face in enumerate(faces, 1):
        assert face.size == (51, 24)
        face.save(os.path.join(out, "button%d.png" % n), optimize=True)
    # name@2x.png beside name.png: Qt takes it on screens of twice the density.
    draw_background(2).save(os.path.join(out, "background@2x.png"), optimize=True)
    for n, tint in enumerate(FACE_TINTS, 1):
        draw_face(tint, out=2).save(os.path.join(out, "button%d@2x.png" % n), optimize=True)
    w, h = MARKER_SIZE
    draw_ball((2 * w, 2 * h), (w, h), 17.6, rgb("#f7d418"), rgb("#fff58a"),
              rgb("#8a6400"), scale=4).save(os.path.join(out, "marker@2x.png"), optimize=True)
    for name, painter in TOOLS:
        draw_tool(painter, 1).save(os.path.join(out, "tool_%s.png" % name), optimize=True)
        draw_tool(painter, 2).save(os.path.join(out, "tool_%s@2x.png" % name), optimize=True)
    sprites.save(os.path.join(out, "pilgrim.png"), optimize=True)
    # The map at twice the size from a generator in the state the plain one
    # started from, so both show the same land; the plain pictures above keep
    # their own sequence.
    map2, land2 = draw_map(random.Random(88), out=2)
    map2 = draw_route(draw_borders(map2, land2, out=2), points, out=2)
    assert map2.size == (2 * MAP_SIZE[0], 2 * MAP_SIZE[1])
    map2.save(os.path.join(out, "map@2x.png"), optimize=True)
    sprites2 = draw_sprites(2)
    check_sprites(sprites2, 2)
    assert sprites2.size == (128, 514)
    sprites2.save(os.path.join(out, "pilgrim@2x.png"), optimize=True)
    if comp_path:
        composite(background, map_img, marker, faces, sprites, points).save(comp_path)
    print("wrote the pictures to %s; all 88 temples and the route lie on land" % out)


if __name__ == "__main__":
    main()
