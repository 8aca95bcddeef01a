"""Small helpers for writing the game's SVG art: colours, a stroke lettering
face drawn with round pens, and common shapes. Everything here is plain
string building, so the same input always gives the same SVG text."""

import math
import re

# Palette: one outline colour for everything, bright flat fills.
INK = "#3b2b48"
WHITE = "#ffffff"
YELLOW = "#ffd23f"
GOLD = "#ffc21a"
GOLD_DARK = "#d98e04"
GOLD_LIGHT = "#fff0a0"
ORANGE = "#ff8c42"
ORANGE_DARK = "#d9621c"
RED = "#ef476f"
RED_DARK = "#b8264f"
PINK = "#ff6fb5"
GREEN = "#5cd65c"
GREEN_DARK = "#2f9e44"
TEAL = "#1fc7b6"
TEAL_DARK = "#12897d"
BLUE = "#3d8bff"
BLUE_DARK = "#1f5bc4"
PURPLE = "#9b5de5"
PURPLE_DARK = "#6a34b0"
SKY = "#7fd3ff"
BROWN = "#b8702e"
BROWN_DARK = "#82461a"


def fmt(v):
    """Numbers with at most two decimals and no trailing zeros."""
    s = "%.2f" % v
    s = s.rstrip("0").rstrip(".")
    return "0" if s in ("-0", "") else s


def svg_doc(w, h, body, defs=""):
    d = "<defs>%s</defs>" % defs if defs else ""
    return ('<?xml version="1.0" encoding="UTF-8"?>\n'
            '<svg xmlns="http://www.w3.org/2000/svg" '
            'xmlns:xlink="http://www.w3.org/1999/xlink" '
            'width="%d" height="%d" viewBox="0 0 %d %d">\n%s%s\n</svg>\n'
            % (w, h, w, h, d, body))


# ---------------------------------------------------------------------------
# Path transform for our own path syntax: absolute commands M L H V C A Z only.

_TOKEN = re.compile(r"[MLHVCAZ]|-?\d*\.?\d+(?:e-?\d+)?")


def transform_path(d, sx, sy, tx, ty):
    toks = _TOKEN.findall(d)
    out = []
    i = 0
    cx = cy = 0.0
    cmd = None
    argc = {"M": 2, "L": 2, "H": 1, "V": 1, "C": 6, "A": 7, "Z": 0}

    def X(x):
        return fmt(x * sx + tx)

    def Y(y):
        return fmt(y * sy + ty)

    while i < len(toks):
        t = toks[i]
        if t in argc:
            cmd = t
            i += 1
            if cmd == "Z":
                out.append("Z")
                continue
        n = argc[cmd]
        a = [float(v) for v in toks[i:i + n]]
        i += n
        if cmd in ("M", "L"):
            cx, cy = a
            out.append("%s%s,%s" % (cmd, X(cx), Y(cy)))
            if cmd == "M":
                cmd = "L"
        elif cmd == "H":
            cx = a[0]
            out.append("L%s,%s" % (X(cx), Y(cy)))
        elif cmd == "V":
            cy = a[0]
            out.append("L%s,%s" % (X(cx), Y(cy)))
        elif cmd == "C":
            out.append("C%s,%s %s,%s %s,%s" % (X(a[0]), Y(a[1]), X(a[2]), Y(a[3]), X(a[4]), Y(a[5])))
            cx, cy = a[4], a[5]
        elif cmd == "A":
            rx, ry, rot, large, sweep, ex, ey = a
            if sx * sy < 0:
                sweep = 1 - sweep
            out.append("A%s,%s 0 %d %d %s,%s" % (fmt(abs(rx * sx)), fmt(abs(ry * sy)), int(large), int(sweep), X(ex), Y(ey)))
            cx, cy = ex, ey
    return " ".join(out)


# ---------------------------------------------------------------------------
# Lettering: glyphs drawn as round-pen centre lines, cap height 10 units,
# y down. Each entry: (advance width in units, path).

GLYPHS = {
    "A": (6.4, "M0,10 L3.2,0 L6.4,10 M1.3,6.6 L5.1,6.6"),
    "B": (5.6, "M0,5 H3.1 A2.5,2.5 0 0 0 3.1,0 H0 V10 H3.3 A2.5,2.5 0 0 0 3.3,5"),
    "C": (5.8, "M5.6,1.7 A3.4,5 0 1 0 5.6,8.3"),
    "D": (6.0, "M0,0 V10 H1.8 A4.2,5 0 0 0 1.8,0 Z"),
    "E": (5.0, "M5,0 H0 V10 H5 M0,5 H4"),
    "F": (5.0, "M5,0 H0 V10 M0,5 H4"),
    "G": (6.2, "M5.7,1.7 A3.4,5 0 1 0 6.2,6.4 V5.6 H3.6"),
    "H": (5.6, "M0,0 V10 M5.6,0 V10 M0,5 H5.6"),
    "I": (0.0, "M0,0 V10"),
    "K": (5.4, "M0,0 V10 M5.2,0 L0,6.2 M1.9,4.1 L5.4,10"),
    "L": (4.6, "M0,0 V10 H4.6"),
    "M": (7.4, "M0,10 V0 L3.7,7 L7.4,0 V10"),
    "N": (5.8, "M0,10 V0 L5.8,10 V0"),
    "O": (6.8, "M3.4,0 A3.4,5 0 1 1 3.4,10 A3.4,5 0 1 1 3.4,0 Z"),
    "P": (5.6, "M0,10 V0 H3 A2.6,2.6 0 0 1 3,5.2 H0"),
    "R": (5.8, "M0,10 V0 H3 A2.6,2.6 0 0 1 3,5.2 H0 M2.8,5.2 L5.8,10"),
    "S": (5.6, "M5.3,1.7 C4.6,0.5 3.6,0 2.7,0 C1.2,0 0.1,0.9 0.1,2.5 C0.1,4.3 1.8,4.7 2.8,5 "
               "C4.3,5.4 5.6,5.9 5.6,7.6 C5.6,9.2 4.3,10 2.8,10 C1.8,10 0.8,9.6 0,8.3"),
    "T": (6.2, "M0,0 H6.2 M3.1,0 V10"),
    "U": (5.8, "M0,0 V6.8 A2.9,3.2 0 0 0 5.8,6.8 V0"),
    "V": (6.2, "M0,0 L3.1,10 L6.2,0"),
    "W": (8.6, "M0,0 L2.1,10 L4.3,3.2 L6.5,10 L8.6,0"),
    "Y": (6.2, "M0,0 L3.1,5.2 L6.2,0 M3.1,5.2 V10"),
    "0": (6.0, "M3,0 A3,5 0 1 1 3,10 A3,5 0 1 1 3,0 Z"),
    "1": (4.0, "M0.2,2.2 L2.8,0 V10"),
    "2": (5.8, "M0.3,2.4 C0.6,0.8 1.8,0 3,0 C4.5,0 5.6,1 5.6,2.7 C5.6,4.6 3.6,6 0,10 H5.8"),
    "3": (5.8, "M0.3,1.5 C1.1,0.5 2,0 3,0 C4.4,0 5.4,1 5.4,2.5 C5.4,4 4.2,4.8 2.5,4.8 "
               "C4.6,4.8 5.8,5.9 5.8,7.4 C5.8,9 4.4,10 3,10 C1.8,10 0.8,9.4 0.1,8.4"),
    "4": (6.0, "M4.3,10 V0 L0,6.9 H6"),
    "5": (5.8, "M5.4,0 H1 L0.6,4.4 C1.3,3.9 2.1,3.7 3,3.7 C4.7,3.7 5.8,5 5.8,6.8 "
               "C5.8,8.7 4.5,10 2.8,10 C1.6,10 0.7,9.5 0.1,8.6"),
    "6": (6.0, "M5,0.7 C4.4,0.2 3.7,0 3.1,0 C1.2,0 0,2.3 0,6.2 C0,8.6 1.3,10 3,10 "
               "C4.7,10 6,8.7 6,6.9 C6,5.1 4.7,3.9 3,3.9 C1.6,3.9 0.4,4.8 0.1,6"),
    "7": (5.8, "M0,0 H5.8 L2.2,10"),
    "8": (6.0, "M3,4.7 C1.6,4.7 0.5,3.8 0.5,2.4 C0.5,1 1.6,0 3,0 C4.4,0 5.5,1 5.5,2.4 "
               "C5.5,3.8 4.4,4.7 3,4.7 C1.3,4.7 0,5.8 0,7.35 C0,8.9 1.3,10 3,10 "
               "C4.7,10 6,8.9 6,7.35 C6,5.8 4.7,4.7 3,4.7 Z"),
    "9": (6.0, "M1,9.3 C1.6,9.8 2.3,10 2.9,10 C4.8,10 6,7.7 6,3.8 C6,1.4 4.7,0 3,0 "
               "C1.3,0 0,1.3 0,3.1 C0,4.9 1.3,6.1 3,6.1 C4.4,6.1 5.6,5.2 5.9,4"),
    "$": (5.6, "M5.1,2.3 C4.5,1.3 3.6,0.9 2.8,0.9 C1.4,0.9 0.4,1.7 0.4,3.1 C0.4,4.7 1.9,5 2.8,5.3 "
               "C4.1,5.7 5.2,6.1 5.2,7.6 C5.2,8.9 4.1,9.7 2.8,9.7 C1.9,9.7 1,9.3 0.3,8.3 "
               "M2.8,-0.5 V10.9"),
    ",": (1.0, "M0.6,9.2 L0.6,9.3 L0,10.9"),
    ".": (1.0, "M0.5,9.5 L0.5,9.6"),
    ":": (1.0, "M0.5,3.6 L0.5,3.7 M0.5,9.5 L0.5,9.6"),
    "!": (1.0, "M0.5,0 V6.2 M0.5,9.5 L0.5,9.6"),
    "-": (3.6, "M0,5.6 H3.6"),
    " ": (2.6, ""),
}


def text_layout(s, sx, gap_px):
    """Glyph positions in px from the left ink centre line: list of
    (path, x offset in px), total width in px."""
    x = 0.0
    parts = []
    for i, ch in enumerate(s):
        w, d = GLYPHS[ch]
        if d:
            parts.append((d, x))
        x += w * sx
        if i + 1 < len(s):
            x += gap_px
    return parts, x


def lettering(s, x, y, w, h, sw, ow, fill, outline=INK, shadow=0.0, gap=None,
              max_aspect=1.3, highlight=None, align="center", fills=None):
    """Draws s fitted into the box (x, y, w, h): round pen of width sw px,
    outline ow px on each side, an optional drop shadow of `shadow` px.
    Letters may be condensed (never stretched) to fit the width; the gap
    between letters is in px (default: clear of both pens)."""
    if gap is None:
        gap = sw + ow + 1.0
    pad = sw / 2.0 + ow
    avail_h = h - 2 * pad - shadow
    units = sum(GLYPHS[c][0] for c in s)
    sy = avail_h / 10.0
    gaps = gap * (len(s) - 1)
    sx = min(sy, (w - 2 * pad - gaps) / units) if units > 0 else sy
    if sy > sx * max_aspect:
        sy = sx * max_aspect
    parts, ink_w = text_layout(s, sx, gap)
    if align == "center":
        ox = x + (w - ink_w) / 2.0
    else:
        ox = x + pad
    oy = y + pad + (avail_h - 10 * sy) / 2.0
    paths = []
    for d, gx in parts:
        paths.append(transform_path(d, sx, sy, ox + gx, oy))
    allp = " ".join(paths)
    out = []
    common = 'fill="none" stroke-linecap="round" stroke-linejoin="round"'
    if shadow > 0:
        out.append('<path d="%s" %s stroke="%s" stroke-width="%s" transform="translate(0,%s)"/>'
                   % (allp, common, outline, fmt(sw + 2 * ow), fmt(shadow)))
    out.append('<path d="%s" %s stroke="%s" stroke-width="%s"/>' % (allp, common, outline, fmt(sw + 2 * ow)))
    if fills:
        for i, p in enumerate(paths):
            out.append('<path d="%s" %s stroke="%s" stroke-width="%s"/>' % (p, common, fills[i % len(fills)], fmt(sw)))
    else:
        out.append('<path d="%s" %s stroke="%s" stroke-width="%s"/>' % (allp, common, fill, fmt(sw)))
    if highlight:
        out.append('<path d="%s" %s stroke="%s" stroke-width="%s" stroke-opacity="0.6" transform="translate(%s,%s)"/>'
                   % (allp, common, highlight, fmt(sw * 0.25), fmt(-sw * 0.1), fmt(-sw * 0.16)))
    return "\n".join(out)


def glyph_in_box(ch, box_w, box_h, cap_top, cap_h, sx, sw, ow, fill, outline=INK):
    """One character centred horizontally in a box, its cap line at cap_top,
    cap height cap_h px: used for the digit sets so that every glyph of a set
    shares one baseline."""
    w, d = GLYPHS[ch]
    sy = cap_h / 10.0
    ox = (box_w - w * sx) / 2.0
    p = transform_path(d, sx, sy, ox, cap_top)
    common = 'fill="none" stroke-linecap="round" stroke-linejoin="round"'
    return ('<path d="%s" %s stroke="%s" stroke-width="%s"/>\n<path d="%s" %s stroke="%s" stroke-width="%s"/>'
            % (p, common, outline, fmt(sw + 2 * ow), p, common, fill, fmt(sw)))


# ---------------------------------------------------------------------------
# Shapes

def star_points(cx, cy, r_out, r_in, n=5, rot=-90.0):
    pts = []
    for i in range(2 * n):
        r = r_out if i % 2 == 0 else r_in
        a = math.radians(rot + i * 180.0 / n)
        pts.append("%s,%s" % (fmt(cx + r * math.cos(a)), fmt(cy + r * math.sin(a))))
    return " ".join(pts)


def star(cx, cy, r_out, r_in, fill, stroke=INK, sw=2.0, n=5, rot=-90.0, extra=""):
    return ('<polygon points="%s" fill="%s" stroke="%s" stroke-width="%s" stroke-linejoin="round" %s/>'
            % (star_points(cx, cy, r_out, r_in, n, rot), fill, stroke, fmt(sw), extra))


def sparkle(cx, cy, r, fill=WHITE, opacity=1.0, stroke=None, sw=1.5):
    """A four-pointed twinkle."""
    k = r * 0.28
    d = ("M%s,%s C%s,%s %s,%s %s,%s C%s,%s %s,%s %s,%s C%s,%s %s,%s %s,%s C%s,%s %s,%s %s,%s Z" % (
        fmt(cx), fmt(cy - r),
        fmt(cx + k * 0.3), fmt(cy - k), fmt(cx + k), fmt(cy - k * 0.3), fmt(cx + r), fmt(cy),
        fmt(cx + k), fmt(cy + k * 0.3), fmt(cx + k * 0.3), fmt(cy + k), fmt(cx), fmt(cy + r),
        fmt(cx - k * 0.3), fmt(cy + k), fmt(cx - k), fmt(cy + k * 0.3), fmt(cx - r), fmt(cy),
        fmt(cx - k), fmt(cy - k * 0.3), fmt(cx - k * 0.3), fmt(cy - k), fmt(cx), fmt(cy - r)))
    st = ' stroke="%s" stroke-width="%s" stroke-linejoin="round"' % (stroke, fmt(sw)) if stroke else ""
    return '<path d="%s" fill="%s" fill-opacity="%s"%s/>' % (d, fill, fmt(opacity), st)


def rrect(x, y, w, h, r, fill, stroke=INK, sw=3.0, extra=""):
    st = 'stroke="%s" stroke-width="%s"' % (stroke, fmt(sw)) if stroke else 'stroke="none"'
    return ('<rect x="%s" y="%s" width="%s" height="%s" rx="%s" fill="%s" %s %s/>'
            % (fmt(x), fmt(y), fmt(w), fmt(h), fmt(r), fill, st, extra))


def circle(cx, cy, r, fill, stroke=INK, sw=3.0, extra=""):
    st = 'stroke="%s" stroke-width="%s"' % (stroke, fmt(sw)) if stroke else 'stroke="none"'
    return '<circle cx="%s" cy="%s" r="%s" fill="%s" %s %s/>' % (fmt(cx), fmt(cy), fmt(r), fill, st, extra)


def ellipse(cx, cy, rx, ry, fill, stroke=INK, sw=3.0, extra=""):
    st = 'stroke="%s" stroke-width="%s"' % (stroke, fmt(sw)) if stroke else 'stroke="none"'
    return ('<ellipse cx="%s" cy="%s" rx="%s" ry="%s" fill="%s" %s %s/>'
            % (fmt(cx), fmt(cy), fmt(rx), fmt(ry), fill, st, extra))


def path(d, fill, stroke=INK, sw=3.0, extra=""):
    st = 'stroke="%s" stroke-width="%s" stroke-linejoin="round" stroke-linecap="round"' % (stroke, fmt(sw)) \
        if stroke else 'stroke="none"'
    return '<path d="%s" fill="%s" %s %s/>' % (d, fill, st, extra)


def poly(points, fill, stroke=INK, sw=3.0, extra=""):
    pts = " ".join("%s,%s" % (fmt(a), fmt(b)) for a, b in points)
    st = 'stroke="%s" stroke-width="%s" stroke-linejoin="round"' % (stroke, fmt(sw)) if stroke else 'stroke="none"'
    return '<polygon points="%s" fill="%s" %s %s/>' % (pts, fill, st, extra)


def cloud(cx, cy, s, fill=WHITE, shade="#d6f0ff", stroke=None, sw=0.0):
    """A flat puffy cloud built from circles, width about 4 * s."""
    bumps = [(-1.2, 0.25, 0.75), (-0.45, -0.2, 1.0), (0.45, -0.05, 0.85), (1.2, 0.3, 0.65)]
    out = []
    if stroke:
        for bx, by, br in bumps:
            out.append(circle(cx + bx * s, cy + by * s, br * s + sw, stroke, None))
        out.append(rrect(cx - 1.9 * s - sw, cy + 0.1 * s - sw, 3.8 * s + 2 * sw, 0.85 * s + 2 * sw,
                         0.42 * s + sw, stroke, None))
    for bx, by, br in bumps:
        out.append(circle(cx + bx * s, cy + by * s + 0.12 * s, br * s, shade, None))
    out.append(rrect(cx - 1.9 * s, cy + 0.22 * s, 3.8 * s, 0.73 * s, 0.36 * s, shade, None))
    for bx, by, br in bumps:
        out.append(circle(cx + bx * s, cy + by * s, br * s * 0.96, fill, None))
    out.append(rrect(cx - 1.85 * s, cy + 0.1 * s, 3.7 * s, 0.6 * s, 0.3 * s, fill, None))
    return "\n".join(out)
