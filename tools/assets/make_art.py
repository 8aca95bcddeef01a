#!/usr/bin/env python3
"""Writes the SVG source of every image of the game into assets/art/.

One function per picture; sizes are the sizes the game draws them at (design
units = pixels). Run by build_assets.sh, which renders the SVGs to PNG."""

import math
import os
import random
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from svgkit import *  # noqa: E402,F401,F403

ART = {}  # relative png name -> (w, h, svg text)


def image(name, w, h):
    def deco(fn):
        ART[name] = (w, h, fn)
        return fn
    return deco


def add(name, w, h, body, defs=""):
    ART[name] = (w, h, svg_doc(w, h, body, defs))


# ---------------------------------------------------------------------------
# Backgrounds

def sky_background(w, h):
    rng = random.Random(1201)
    defs = ('<linearGradient id="sky" x1="0" y1="0" x2="0" y2="1">'
            '<stop offset="0" stop-color="#4fb8f0"/><stop offset="0.55" stop-color="#9fe0ff"/>'
            '<stop offset="1" stop-color="#d8f4ff"/></linearGradient>')
    b = ['<rect width="%d" height="%d" fill="url(#sky)"/>' % (w, h)]
    # soft sun glow behind the chest area
    b.append(circle(590, 150, 120, "#ffffff", None, extra='fill-opacity="0.18"'))
    b.append(circle(590, 150, 70, "#fff6c8", None, extra='fill-opacity="0.55"'))
    b.append(circle(590, 150, 46, "#fff3a6", "#ffe16b", 4))
    # clouds at a few depths
    for cx, cy, s, shade in ((120, 140, 30, "#e3f5ff"), (420, 90, 22, "#e3f5ff"), (300, 330, 18, "#e8f7ff"),
                             (660, 380, 26, "#e3f5ff"), (40, 600, 20, "#e8f7ff"), (540, 640, 16, "#e8f7ff")):
        b.append(cloud(cx, cy, s, WHITE, shade))
    # tiny twinkles
    for _ in range(14):
        x = rng.random() * w
        y = 40 + rng.random() * 600
        b.append(sparkle(x, y, 4 + rng.random() * 5, WHITE, 0.7))
    # sea of clouds at the bottom
    base = 800
    for i in range(12):
        cx = -30 + i * 70 + rng.random() * 20
        r = 55 + rng.random() * 25
        b.append(circle(cx, base + 40 + rng.random() * 30, r, "#c4e9ff", None))
    for i in range(12):
        cx = -10 + i * 68 + rng.random() * 20
        r = 48 + rng.random() * 20
        b.append(circle(cx, base + 95 + rng.random() * 30, r, WHITE, None))
    b.append('<rect x="0" y="%d" width="%d" height="%d" fill="#ffffff"/>' % (base + 120, w, h - base - 120))
    return svg_doc(w, h, "\n".join(b), defs)


def bonus_background(w, h):
    rng = random.Random(1202)
    cx, cy = 360, 318  # the chest's middle
    defs = ('<radialGradient id="bg" cx="%d" cy="%d" r="760" gradientUnits="userSpaceOnUse">'
            '<stop offset="0" stop-color="#ffd85e"/><stop offset="0.35" stop-color="#ff7ab6"/>'
            '<stop offset="1" stop-color="#7a3cc8"/></radialGradient>' % (cx, cy))
    b = ['<rect width="%d" height="%d" fill="url(#bg)"/>' % (w, h)]
    n = 18
    for i in range(n):
        a0 = math.radians(i * 360.0 / n)
        a1 = math.radians(i * 360.0 / n + 360.0 / n / 2)
        r = 1300
        b.append(poly([(cx, cy), (cx + r * math.cos(a0), cy + r * math.sin(a0)),
                       (cx + r * math.cos(a1), cy + r * math.sin(a1))], "#ffffff", None,
                      extra='fill-opacity="0.16"'))
    for _ in range(26):
        x = rng.random() * w
        y = rng.random() * 800
        r = 6 + rng.random() * 12
        b.append(sparkle(x, y, r, "#fff7c2", 0.9))
    for _ in range(16):
        x = rng.random() * w
        y = rng.random() * 780
        b.append(star(x, y, 7 + rng.random() * 6, 3.2, YELLOW, INK, 1.6, rot=rng.random() * 70,
                      extra='fill-opacity="0.9" stroke-opacity="0.6"'))
    # pink cloud floor
    base = 800
    for i in range(12):
        b.append(circle(-30 + i * 70 + rng.random() * 20, base + 45 + rng.random() * 30, 55 + rng.random() * 25,
                        "#ffb3d9", None))
    for i in range(12):
        b.append(circle(-10 + i * 68 + rng.random() * 20, base + 100 + rng.random() * 30, 48 + rng.random() * 20,
                        "#ffe0f0", None))
    b.append('<rect x="0" y="%d" width="%d" height="%d" fill="#ffe0f0"/>' % (base + 125, w, h - base - 125))
    return svg_doc(w, h, "\n".join(b), defs)


ART["main_bg1.png"] = (720, 960, sky_background(720, 960))
ART["main_bg2.png"] = (720, 960, bonus_background(720, 960))


# ---------------------------------------------------------------------------
# Stage: a floating island; its top edge is the floor the player walks on.

def stage():
    w, h = 420, 160
    rng = random.Random(1203)
    b = []
    # rock body tapering to a point
    pts = [(8, 18), (412, 18)]
    right = [(400, 60), (372, 92), (330, 112), (290, 134), (240, 150), (214, 157)]
    left = [(186, 148), (140, 128), (96, 112), (54, 90), (22, 58)]
    d = "M8,18 L412,18 " + " ".join("L%d,%d" % p for p in right + left) + " Z"
    b.append(path(d, "#c98a4b", INK, 3))
    # strata
    b.append(path("M24,62 C90,76 160,70 220,80 C280,88 340,74 398,62 L372,92 C320,104 260,116 214,118 "
                  "C160,112 110,104 54,90 Z", "#a8683a", None))
    b.append(path("M96,112 C150,126 200,132 250,128 C280,126 300,122 330,112 L290,134 L240,150 L214,157 "
                  "L186,148 L140,128 Z", "#8a5230", None))
    for _ in range(9):
        x = 50 + rng.random() * 320
        y = 40 + rng.random() * 50
        b.append(ellipse(x, y, 7 + rng.random() * 6, 4 + rng.random() * 3, "#e0a86c", None))
    # hanging roots
    for x, l in ((70, 26), (150, 34), (300, 30), (352, 20)):
        y0 = 100 if x < 120 else (118 if x < 200 else 112)
        b.append(path("M%d,%d C%d,%d %d,%d %d,%d" % (x, y0 - 12, x - 4, y0 + l / 2, x + 6, y0 + l * 0.7, x, y0 + l),
                      "none", "#6a8f2f", 3))
    # grass slab with scalloped lower edge
    scallop = "M2,10 C2,5 5,2 10,2 H410 C415,2 418,5 418,10 V24 "
    x = 418
    while x > 4:
        nx = max(2, x - 26)
        scallop += "C%d,%d %d,%d %d,24 " % (x - 4, 38, nx + 4, 38, nx)
        x = nx
    scallop += "Z"
    b.append(path(scallop, GREEN, INK, 3))
    b.append(rrect(10, 6, 400, 6, 3, "#9bef7a", None))
    # little flowers
    for fx in (40, 128, 262, 380):
        b.append(circle(fx, 14, 3.2, YELLOW, INK, 1.4))
    return svg_doc(w, h, "\n".join(b))


ART["main_stage.png"] = (420, 160, stage())


# ---------------------------------------------------------------------------
# Treasure chest (open, spilling treasure)

def treasure():
    w, h = 132, 136
    b = []
    # lid, tilted back
    b.append(path("M14,58 L22,14 C24,8 28,6 34,6 H98 C104,6 108,8 110,14 L118,58 Z", BROWN, INK, 3))
    b.append(path("M26,54 L32,20 H100 L106,54 Z", "#7a2233", None))  # lid inside
    b.append(path("M44,6 L40,58 M92,6 L96,58", "none", GOLD, 5))
    b.append(path("M44,6 L40,58 M92,6 L96,58", "none", INK, 1.2, extra='stroke-opacity="0.5"'))
    # glow
    b.append(ellipse(66, 60, 52, 16, "#fff3a0", None, extra='fill-opacity="0.9"'))
    # treasure heap
    coins = [(30, 62), (44, 56), (58, 60), (72, 55), (86, 60), (100, 58), (38, 66), (64, 66), (92, 66),
             (52, 50), (80, 50)]
    for cx, cy in coins:
        b.append(ellipse(cx, cy, 9, 5, GOLD, INK, 1.6))
        b.append(ellipse(cx, cy - 1, 5, 2.2, GOLD_LIGHT, None))
    b.append(poly([(60, 36), (70, 36), (75, 42), (65, 52), (55, 42)], "#4cc9f0", INK, 1.8))
    b.append(poly([(60, 36), (65, 42), (70, 36)], "#bdf0ff", None))
    b.append(poly([(84, 40), (92, 44), (90, 53), (81, 54), (78, 46)], RED, INK, 1.8))
    b.append(poly([(36, 44), (44, 42), (48, 50), (40, 55), (34, 51)], GREEN, INK, 1.8))
    # box
    b.append(rrect(8, 66, 116, 66, 8, BROWN, INK, 3))
    b.append(path("M11,84 H121", "none", BROWN_DARK, 2.4))
    b.append(path("M11,108 H121", "none", BROWN_DARK, 2.4))
    # gold bands and corners
    b.append(rrect(8, 66, 116, 10, 4, GOLD, INK, 2.4))
    b.append(rrect(24, 66, 12, 66, 3, GOLD, INK, 2.4))
    b.append(rrect(96, 66, 12, 66, 3, GOLD, INK, 2.4))
    # lock plate
    b.append(rrect(52, 78, 28, 30, 6, GOLD, INK, 2.6))
    b.append(circle(66, 89, 4, INK, None))
    b.append(path("M66,90 L66,99", "none", INK, 3.2))
    # shine
    b.append(rrect(14, 112, 6, 14, 3, "#ffffff", None, extra='fill-opacity="0.25"'))
    b.append(sparkle(106, 30, 9, WHITE))
    b.append(sparkle(24, 26, 6, WHITE))
    return svg_doc(w, h, "\n".join(b))


ART["main_treasure.png"] = (132, 136, treasure())


# ---------------------------------------------------------------------------
# Thrown items

def coin():
    w, h = 32, 36
    b = [ellipse(16, 18, 14, 16, GOLD_DARK, INK, 2.4),
         ellipse(14.5, 18, 12, 14.5, GOLD, None),
         ellipse(14.5, 18, 8.5, 10.5, "none", GOLD_DARK, 1.6),
         star(14.5, 18.5, 6, 2.6, GOLD_LIGHT, GOLD_DARK, 1.2),
         path("M7,10 C8,7 10,5.5 12,5", "none", "#ffffff", 2, extra='stroke-opacity="0.8"')]
    return svg_doc(w, h, "\n".join(b))


def dollar_bill():
    w, h = 60, 70
    inner = [rrect(-17, -29, 34, 58, 4, "#8fdc7a", INK, 2.6),
             rrect(-13, -25, 26, 50, 3, "none", "#3f9e3a", 1.6),
             circle(0, 0, 9.5, "#c9f5b4", "#3f9e3a", 1.6),
             circle(-9, -19, 2.5, "#3f9e3a", None), circle(9, 19, 2.5, "#3f9e3a", None)]
    dollar = lettering("$", -7, -9, 14, 18, 3.0, 0.0, "#2f7d2c", outline="#2f7d2c")
    back = [rrect(-17, -29, 34, 58, 4, "#6cc45a", INK, 2.6)]
    g = ('<g transform="translate(33,36) rotate(16)">%s</g>' % "\n".join(back)
         + '<g transform="translate(28,35) rotate(-10)">%s\n%s</g>' % ("\n".join(inner), dollar))
    return svg_doc(w, h, g)


def gem_brilliant(w, h, body, light, dark, sw=2.4, spark=True):
    """A cut gem seen from the side: table on top, crown facets, pointed
    pavilion, filling the box (w, h)."""
    m = sw
    top = m + 1
    girdle = h * 0.36
    tw = w * 0.26
    pts = [(w / 2 - tw, top), (w / 2 + tw, top), (w - m, girdle), (w / 2, h - m - 1), (m, girdle)]
    b = [poly(pts, body, INK, sw)]
    b.append(poly([(w / 2 - tw, top), (w / 2 + tw, top), (w / 2 + tw * 0.55, girdle), (w / 2 - tw * 0.55, girdle)],
                  light, None))
    b.append(poly([(w - m, girdle), (w / 2, h - m - 1), (w / 2 + tw * 0.55, girdle)], dark, None))
    b.append(poly([(m, girdle), (w / 2 - tw * 0.55, girdle), (w / 2, h - m - 1)], light, None,
                  extra='fill-opacity="0.55"'))
    b.append(path("M%s,%s H%s" % (fmt(m), fmt(girdle), fmt(w - m)), "none", INK, 1.4, extra='stroke-opacity="0.6"'))
    b.append(path("M%s,%s L%s,%s L%s,%s M%s,%s L%s,%s L%s,%s" % (
        fmt(w / 2 - tw), fmt(top), fmt(w / 2 - tw * 0.55), fmt(girdle), fmt(w / 2), fmt(h - m - 1),
        fmt(w / 2 + tw), fmt(top), fmt(w / 2 + tw * 0.55), fmt(girdle), fmt(w / 2), fmt(h - m - 1)),
        "none", INK, 1.2, extra='stroke-opacity="0.45"'))
    b.append(poly(pts, "none", INK, sw))
    if spark:
        b.append(sparkle(w * 0.3, h * 0.2, min(w, h) * 0.14, WHITE))
    return "\n".join(b)


def jewel1():  # the bonus-time trigger: a pink star gem
    w, h = 60, 70
    b = [star(30, 37, 29, 14, PINK, INK, 2.6)]
    for i in range(5):
        a = math.radians(-90 + i * 72)
        b.append(path("M30,37 L%s,%s" % (fmt(30 + 27 * math.cos(a)), fmt(37 + 27 * math.sin(a))), "none",
                      "#c2367f", 1.4, extra='stroke-opacity="0.7"'))
    b += [star(30, 37, 17, 8.5, "#ffb3dc", None),
         star(30, 37, 8, 4, "#ffffff", None, extra='fill-opacity="0.8"'),
         sparkle(48, 12, 8, WHITE), sparkle(12, 58, 5, WHITE)]
    return svg_doc(w, h, "\n".join(b))


def jewel2():  # bonus jewels: aqua drop gems
    w, h = 56, 68
    return svg_doc(w, h, gem_brilliant(56, 68, "#38c6f4", "#b8f0ff", "#1a86c2"))


def jewel3():  # the big jewel: a wide ruby
    w, h = 70, 64
    g = gem_brilliant(70, 64, RED, "#ffb0c4", RED_DARK)
    g += sparkle(58, 50, 6, WHITE)
    return svg_doc(w, h, g)


def dumbbell():
    w, h = 68, 28
    b = [rrect(14, 11, 40, 6, 3, "#9aa3b5", INK, 2.2),
         rrect(4, 2, 12, 24, 4, "#5b5f78", INK, 2.4), rrect(52, 2, 12, 24, 4, "#5b5f78", INK, 2.4),
         rrect(14, 5, 6, 18, 2, RED, INK, 2), rrect(48, 5, 6, 18, 2, RED, INK, 2),
         rrect(6.5, 5, 3, 14, 1.5, "#ffffff", None, extra='fill-opacity="0.35"'),
         rrect(54.5, 5, 3, 14, 1.5, "#ffffff", None, extra='fill-opacity="0.35"')]
    return svg_doc(w, h, "\n".join(b))


ART["main_coin.png"] = (32, 36, coin())
ART["main_doller.png"] = (60, 70, dollar_bill())
ART["main_jewel1.png"] = (60, 70, jewel1())
ART["main_jewel2.png"] = (56, 68, jewel2())
ART["main_jewel3.png"] = (70, 64, jewel3())
ART["main_dumbbell.png"] = (68, 28, dumbbell())


# ---------------------------------------------------------------------------
# Player: a small treasure hunter with a red cap, 40 x 70, drawn facing right
# and mirrored for the left frames.

LEG_POSES = [(-7, 6), (-2, 2), (7, -6), (2, -2)]  # (front foot dx, back foot dx)


def player(frame, facing_left):
    w, h = 40, 70
    f, bk = LEG_POSES[frame]
    bob = -1.5 if frame % 2 == 1 else 0.0
    b = []
    # back leg and arm
    b.append(path("M18,52 L%s,65" % fmt(18 + bk), "none", INK, 7.5))
    b.append(path("M18,52 L%s,65" % fmt(18 + bk), "none", "#2d4a8a", 4.5))
    b.append(rrect(12 + bk, 63, 11, 6, 3, BROWN_DARK, INK, 1.8))
    b.append(path("M16,%s L%s,%s" % (fmt(38 + bob), fmt(14 - f * 0.6), fmt(49 + bob)), "none", INK, 6.5))
    b.append(path("M16,%s L%s,%s" % (fmt(38 + bob), fmt(14 - f * 0.6), fmt(49 + bob)), "none", "#ffcfa0", 3.5))
    # body: blue overalls
    b.append(rrect(10, 33 + bob, 20, 21, 7, "#3d7be0", INK, 2.2))
    b.append(rrect(13, 33 + bob, 14, 8, 3, YELLOW, None))
    b.append(circle(15, 43 + bob, 1.4, INK, None))
    b.append(circle(25, 43 + bob, 1.4, INK, None))
    # front leg
    b.append(path("M22,52 L%s,65" % fmt(22 + f), "none", INK, 7.5))
    b.append(path("M22,52 L%s,65" % fmt(22 + f), "none", "#3d7be0", 4.5))
    b.append(rrect(17 + f, 63, 12, 6, 3, BROWN, INK, 1.8))
    # head
    hy = 20 + bob
    b.append(circle(20, hy, 12.5, "#ffd9b0", INK, 2.2))
    b.append(circle(28.5, hy + 5.5, 2.4, "#ff9f9f", None, extra='fill-opacity="0.8"'))
    b.append(ellipse(25.8, hy + 1.6, 1.9, 2.7, INK, None))
    b.append(circle(26.4, hy + 0.6, 0.75, WHITE, None))
    b.append(path("M25.5,%s C26.8,%s 28.6,%s 29.8,%s" % (fmt(hy + 7.2), fmt(hy + 8.8), fmt(hy + 8.6), fmt(hy + 7.2)),
                  "none", INK, 1.5))
    # cap with brim towards the front
    b.append(path("M7.8,%s C7.8,%s 13,%s 20,%s C27,%s 32.2,%s 32.2,%s Z" % (
        fmt(hy - 3.5), fmt(hy - 12), fmt(hy - 15.5), fmt(hy - 15.5), fmt(hy - 15.5), fmt(hy - 12), fmt(hy - 3.5)),
        RED, INK, 2.2))
    b.append(path("M25,%s H38 C38,%s 36.5,%s 34,%s H25 Z" % (fmt(hy - 5), fmt(hy - 3.2), fmt(hy - 2.4), fmt(hy - 2.4)),
                  RED_DARK, INK, 2))
    b.append(circle(17, hy - 10, 2.3, WHITE, None))
    # front arm
    b.append(path("M22,%s L%s,%s" % (fmt(38 + bob), fmt(25 + f * 0.6), fmt(49 + bob)), "none", INK, 6.5))
    b.append(path("M22,%s L%s,%s" % (fmt(38 + bob), fmt(25 + f * 0.6), fmt(49 + bob)), "none", "#ffd9b0", 3.5))
    g = "\n".join(b)
    if facing_left:
        g = '<g transform="translate(40,0) scale(-1,1)">%s</g>' % g
    return svg_doc(w, h, g)


for i in range(4):
    ART["main_player_walk_right_%02d.png" % (i + 1)] = (40, 70, player(i, False))
    ART["main_player_walk_left_%02d.png" % (i + 1)] = (40, 70, player(i, True))


# ---------------------------------------------------------------------------
# Pick-up effects, 106 x 106, centred on the player

def burst(frame, kind):
    w = h = 106
    c = 53
    t = (frame + 1) / 4.0
    b = []
    op = 1.0 - 0.22 * frame
    ring_r = 12 + 34 * t
    col = GOLD if kind == "coin" else GREEN
    col2 = GOLD_LIGHT if kind == "coin" else "#d9ffc8"
    b.append(circle(c, c, ring_r, "none", col, 6 - frame, extra='stroke-opacity="%s"' % fmt(op * 0.9)))
    b.append(circle(c, c, ring_r, "none", WHITE, 2, extra='stroke-opacity="%s"' % fmt(op * 0.8)))
    n = 8
    for i in range(n):
        a = math.radians(i * 360.0 / n + (22.5 if kind == "coin" else 0) + frame * 6)
        r = 16 + 30 * t
        size = (8 - frame * 1.2) if i % 2 == 0 else (5.5 - frame)
        if size <= 1:
            continue
        x, y = c + r * math.cos(a), c + r * math.sin(a)
        if kind == "coin":
            b.append(sparkle(x, y, size + 2, col2, op, INK, 1.2))
        else:
            b.append(star(x, y, size + 1.5, (size + 1.5) * 0.45, col2, INK, 1.2,
                          extra='fill-opacity="%s" stroke-opacity="%s"' % (fmt(op), fmt(op))))
    if frame < 2:
        b.append(sparkle(c, c, 14 - 5 * frame, WHITE, 0.9))
    if kind == "dollar" and frame < 3:
        b.append(lettering("$", c - 9, c - 36 - frame * 6, 18, 24, 3.4, 1.4, "#bff5a8", shadow=0))
    return svg_doc(w, h, "\n".join(b))


for i in range(4):
    ART["eff_coin/eff_coin_%d.png" % (i + 1)] = (106, 106, burst(i, "coin"))
    ART["eff_doller/eff_doller_%d.png" % (i + 1)] = (106, 106, burst(i, "dollar"))


# ---------------------------------------------------------------------------
# Countdown, bonus banner, tap hint, high score label

def countdown(text, fill):
    w, h = 302, 200
    b = []
    b.append(circle(151, 100, 92, "#ffffff", None, extra='fill-opacity="0.35"'))
    for i in range(12):
        a = math.radians(i * 30 + 15)
        b.append(sparkle(151 + 96 * math.cos(a), 100 + 86 * math.sin(a), 7 if i % 2 else 10, WHITE, 0.9))
    if text == "GO!":
        b.append(lettering(text, 6, 22, 290, 160, 26, 8, fill, shadow=8, highlight=WHITE))
    else:
        b.append(lettering(text, 76, 8, 150, 184, 30, 8, fill, shadow=8, highlight=WHITE))
    return svg_doc(w, h, "\n".join(b))


ART["main_countdown_3.png"] = (302, 200, countdown("3", ORANGE))
ART["main_countdown_2.png"] = (302, 200, countdown("2", YELLOW))
ART["main_countdown_1.png"] = (302, 200, countdown("1", PINK))
ART["main_countdown_go.png"] = (302, 200, countdown("GO!", GREEN))


def bonustime():
    w, h = 600, 110
    b = []
    # ribbon tails
    b.append(poly([(8, 34), (70, 34), (70, 96), (8, 96), (30, 65)], RED_DARK, INK, 3))
    b.append(poly([(592, 34), (530, 34), (530, 96), (592, 96), (570, 65)], RED_DARK, INK, 3))
    b.append(rrect(44, 18, 512, 74, 14, RED, INK, 3.5))
    b.append(rrect(54, 25, 492, 10, 5, "#ffffff", None, extra='fill-opacity="0.3"'))
    b.append(lettering("BONUS TIME!", 80, 16, 440, 80, 12, 4, YELLOW, shadow=4, highlight=WHITE))
    b.append(star(60, 20, 16, 7, YELLOW, INK, 2.4))
    b.append(star(540, 92, 14, 6, YELLOW, INK, 2.4))
    b.append(sparkle(570, 16, 10, WHITE))
    b.append(sparkle(28, 96, 8, WHITE))
    return svg_doc(w, h, "\n".join(b))


ART["main_bonustime.png"] = (600, 110, bonustime())


def taptoturn():
    w, h = 320, 56
    b = [rrect(2, 4, 316, 48, 24, INK, None, extra='fill-opacity="0.72"'),
         lettering("TAP TO TURN", 52, 10, 216, 36, 5, 2.2, WHITE, shadow=0),
         poly([(40, 28), (20, 15), (20, 41)], YELLOW, INK, 2),
         poly([(280, 28), (300, 15), (300, 41)], YELLOW, INK, 2)]
    return svg_doc(w, h, "\n".join(b))


ART["main_taptoturn.png"] = (320, 56, taptoturn())


# ---------------------------------------------------------------------------
# Digit glyph sets. Every glyph of a set has the set's height and its cap
# line and baseline at the same rows, so a row of them reads as one line.

GLYPH_SETS = {
    # name: (height, wide width, narrow width, cap top, cap height, x scale, pen, outline)
    "m": (32, 21, 11, 5.6, 20.8, 2.0, 4.2, 1.8),
    "s": (22, 13, 7, 3.6, 14.4, 1.2, 2.8, 1.3),
    "l": (40, 21, 11, 6.4, 26.0, 1.95, 4.6, 2.0),
}
NAMES = {":": "colon", ",": "comma", "$": "dollar", ".": "period"}


def glyph(ch, setname, fill):
    h, ww, nw, top, cap, sx, pen, ow = GLYPH_SETS[setname]
    wide = ch.isdigit() or ch == "$"
    bw = ww if wide else nw
    if ch == "$":
        # keep the bars inside the box
        g = glyph_in_box(ch, bw, h, top + cap * 0.03, cap * 0.92, sx, pen, ow, fill)
    else:
        g = glyph_in_box(ch, bw, h, top, cap, sx if wide else 1.0, pen, ow, fill)
    return bw, h, svg_doc(bw, h, g)


def glyph_set(folder, setname, chars, fill):
    for ch in chars:
        stem = ch if ch.isdigit() else NAMES[ch]
        w, h, s = glyph(ch, setname, fill)
        ART["%s/%s_%s.png" % (folder, folder, stem)] = (w, h, s)


glyph_set("num_m", "m", "0123456789:,$.", WHITE)
glyph_set("num_y_m", "m", "0123456789:,$.", YELLOW)
glyph_set("num_s", "s", "0123456789,$.", WHITE)
glyph_set("num_y_s", "s", "0123456789,$.", YELLOW)
glyph_set("num_l", "l", "0123456789,$.", WHITE)


def hiscore_label():
    w, h = 120, 22
    _, _, _, top, cap, _, pen, ow = GLYPH_SETS["s"]
    # same cap line and pen as the small digits
    pad = pen / 2 + ow
    return svg_doc(w, h, lettering("HI SCORE", 0, top - pad, w, cap + 2 * pad, pen, ow, YELLOW, gap=pen + ow + 0.8))


ART["hiscore_s.png"] = (120, 22, hiscore_label())


# ---------------------------------------------------------------------------
# Buttons. Off: raised face over a darker lip; on: the face pressed down.

def raised_rect(w, h, face, lip, pressed, r=None, lip_h=None):
    lip_h = lip_h if lip_h is not None else max(8, round(h * 0.15))
    r = r if r is not None else min(h * 0.42, 30)
    drop = lip_h - 3 if pressed else 0
    b = [rrect(2, 2, w - 4, h - 4, r, lip, INK, 3)]
    fy = 2 + drop
    fh = h - 4 - lip_h
    b.append(rrect(2, fy, w - 4, fh, r, face, INK, 3))
    b.append(rrect(10, fy + 5, w - 20, max(4, fh * 0.22), min(r, fh * 0.11), "#ffffff", None,
                   extra='fill-opacity="%s"' % ("0.22" if pressed else "0.32")))
    return "\n".join(b), fy, fh


def frame_button(w, h, pressed):
    g, _, _ = raised_rect(w, h, "#2f7fe0" if pressed else BLUE, BLUE_DARK, pressed)
    return svg_doc(w, h, g)


for name, (w, h) in (("btn_frame_m", (200, 90)), ("btn_frame_l", (400, 90)), ("btn_frame_xl", (400, 130))):
    ART[name + "_off.png"] = (w, h, frame_button(w, h, False))
    ART[name + "_on.png"] = (w, h, frame_button(w, h, True))


def round_button(size, face, lip, pressed, icon_fn):
    """A round raised button with an icon drawn by icon_fn(cx, cy, r)."""
    s = size
    lip_h = max(6, round(s * 0.1))
    drop = lip_h - 2 if pressed else 0
    r = (s - 6) / 2.0
    cx = s / 2.0
    b = [ellipse(cx, cx + lip_h / 2.0, r, r - lip_h / 2.0 + 0.5, lip, INK, 3)]
    cy = 3 + r - lip_h / 2.0 + drop
    fr = r - lip_h / 2.0
    b.append(circle(cx, cy, fr, face, INK, 3))
    b.append(ellipse(cx, cy - fr * 0.55, fr * 0.62, fr * 0.24, "#ffffff", None,
                     extra='fill-opacity="%s"' % ("0.2" if pressed else "0.3")))
    b.append(icon_fn(cx, cy, fr))
    return svg_doc(s, s, "\n".join(b))


def icon_pause(cx, cy, r):
    return (rrect(cx - r * 0.38, cy - r * 0.42, r * 0.26, r * 0.84, r * 0.1, WHITE, INK, 2.4)
            + rrect(cx + r * 0.12, cy - r * 0.42, r * 0.26, r * 0.84, r * 0.1, WHITE, INK, 2.4))


def icon_back(cx, cy, r):
    d = "M%s,%s L%s,%s L%s,%s M%s,%s H%s" % (
        fmt(cx - r * 0.1), fmt(cy - r * 0.42), fmt(cx - r * 0.5), fmt(cy), fmt(cx - r * 0.1), fmt(cy + r * 0.42),
        fmt(cx - r * 0.46), fmt(cy), fmt(cx + r * 0.48))
    return (path(d, "none", INK, r * 0.34) + path(d, "none", WHITE, r * 0.2))


def icon_crown(cx, cy, r):
    pts = [(cx - r * 0.55, cy + r * 0.35), (cx - r * 0.6, cy - r * 0.3), (cx - r * 0.28, cy - r * 0.02),
           (cx, cy - r * 0.45), (cx + r * 0.28, cy - r * 0.02), (cx + r * 0.6, cy - r * 0.3),
           (cx + r * 0.55, cy + r * 0.35)]
    return (poly(pts, YELLOW, INK, 2.6)
            + rrect(cx - r * 0.58, cy + r * 0.3, r * 1.16, r * 0.22, r * 0.08, GOLD, INK, 2.4)
            + circle(cx, cy + r * 0.1, r * 0.09, RED, INK, 1.4)
            + circle(cx, cy - r * 0.5, r * 0.08, WHITE, INK, 1.4))


def icon_medal(cx, cy, r):
    return (poly([(cx - r * 0.34, cy - r * 0.62), (cx - r * 0.08, cy - r * 0.62), (cx + r * 0.12, cy - r * 0.05),
                   (cx - r * 0.12, cy - r * 0.05)], BLUE, INK, 2.2)
            + poly([(cx + r * 0.34, cy - r * 0.62), (cx + r * 0.08, cy - r * 0.62), (cx - r * 0.12, cy - r * 0.05),
                    (cx + r * 0.12, cy - r * 0.05)], "#4cc9f0", INK, 2.2)
            + circle(cx, cy + r * 0.2, r * 0.36, GOLD, INK, 2.6)
            + star(cx, cy + r * 0.2, r * 0.22, r * 0.1, GOLD_LIGHT, GOLD_DARK, 1.4))


def icon_gear(cx, cy, r):
    n = 8
    pts = []
    for i in range(n * 4):
        a = math.radians(i * 360.0 / (n * 4) + 5.6)
        rr = r * (0.56 if (i % 4) in (0, 1) else 0.42)
        pts.append((cx + rr * math.cos(a), cy + rr * math.sin(a)))
    return poly(pts, WHITE, INK, 2.6) + circle(cx, cy, r * 0.17, GREEN, INK, 2.4)


def icon_apps(cx, cy, r):
    s = r * 0.34
    g = r * 0.07
    cols = [YELLOW, PINK, "#4cc9f0", GREEN]
    out = []
    for i, (dx, dy) in enumerate(((-1, -1), (0, -1), (-1, 0), (0, 0))):
        out.append(rrect(cx + dx * (s + g) + (g / 2 if dx == 0 else -g / 2), cy + dy * (s + g) + (g / 2 if dy == 0 else -g / 2),
                         s, s, s * 0.28, cols[i], INK, 2.2))
    return "\n".join(out)


for state, pressed in (("off", False), ("on", True)):
    ART["main_btn_pause_%s.png" % state] = (80, 80, round_button(80, TEAL, TEAL_DARK, pressed, icon_pause))
    ART["btn_back_%s.png" % state] = (80, 80, round_button(80, ORANGE, ORANGE_DARK, pressed, icon_back))
    ART["title_btn_ranking_%s.png" % state] = (96, 96, round_button(96, PURPLE, PURPLE_DARK, pressed, icon_crown))
    ART["title_btn_achievement_%s.png" % state] = (96, 96, round_button(96, RED, RED_DARK, pressed, icon_medal))
    ART["title_btn_setting_%s.png" % state] = (96, 96, round_button(96, GREEN, GREEN_DARK, pressed, icon_gear))
    ART["title_btn_ruvo_%s.png" % state] = (96, 96, round_button(96, BLUE, BLUE_DARK, pressed, icon_apps))


def start_button(pressed):
    w, h = 530, 120
    g, fy, fh = raised_rect(w, h, "#ff9a52" if not pressed else "#f08540", ORANGE_DARK, pressed, r=40, lip_h=16)
    g += lettering("GAME START", 60, fy + 12, 410, fh - 22, 13, 4.5, WHITE, shadow=4)
    g += star(42, fy + fh / 2, 18, 8, YELLOW, INK, 2.4)
    g += star(488, fy + fh / 2, 18, 8, YELLOW, INK, 2.4)
    return svg_doc(w, h, g)


ART["title_btn_gamestart_off.png"] = (530, 120, start_button(False))
ART["title_btn_gamestart_on.png"] = (530, 120, start_button(True))


def share_button(label, face, lip, pressed):
    """A plain labelled share button: a generic share mark and the service
    name in our own lettering."""
    w, h = 90, 80
    g, fy, fh = raised_rect(w, h, face, lip, pressed, r=16, lip_h=9)
    cx, cy = 45, fy + 24
    # generic "share" mark: three linked dots
    d = "M%s,%s L%s,%s L%s,%s" % (fmt(cx + 11), fmt(cy - 8), fmt(cx - 10), fmt(cy), fmt(cx + 11), fmt(cy + 8))
    g += path(d, "none", INK, 6) + path(d, "none", WHITE, 2.6)
    for x, y in ((cx + 11, cy - 8), (cx - 10, cy), (cx + 11, cy + 8)):
        g += circle(x, y, 5.2, WHITE, INK, 2)
    g += lettering(label, 7, fy + 40, 76, 20, 2.6, 1.3, WHITE, gap=2.6 + 1.3 + 0.9)
    return svg_doc(w, h, g)


ART["button_twitter.png"] = (90, 80, share_button("TWITTER", TEAL, TEAL_DARK, False))
ART["button_twitter_down.png"] = (90, 80, share_button("TWITTER", "#18b0a1", TEAL_DARK, True))
ART["button_facebook.png"] = (90, 80, share_button("FACEBOOK", "#5a67d8", "#3c46a6", False))
ART["button_facebook_down.png"] = (90, 80, share_button("FACEBOOK", "#4c58c8", "#3c46a6", True))


def bg_button():
    # the turn area: only its rectangle matters, it is never drawn
    return svg_doc(720, 480, "")


ART["bg_button.png"] = (720, 480, bg_button())


# ---------------------------------------------------------------------------
# Titles

def title_plate(w, h, text, fill, text_h=72, margin=6, max_aspect=1.3):
    """A screen title: yellow outlined lettering; every title uses the same
    letter height so the screens match."""
    y = (h - text_h) / 2.0
    body = lettering(text, margin, y, w - 2 * margin, text_h, 11, 4.2, fill, shadow=5, highlight=WHITE,
                     max_aspect=max_aspect)
    return svg_doc(w, h, body)


ART["pause_title.png"] = (270, 100, title_plate(270, 100, "PAUSE", YELLOW, text_h=84))
ART["result_title.png"] = (454, 96, title_plate(454, 96, "RESULT", YELLOW, text_h=84))
ART["ranking_title.png"] = (320, 80, title_plate(320, 80, "RANKING", YELLOW))
# drawn 15 units left of the back button's right edge: keep clear of it
ART["config_title.png"] = (360, 80, title_plate(360, 80, "SETTINGS", YELLOW, margin=24))
ART["achievement_title.png"] = (320, 80, title_plate(320, 80, "ACHIEVEMENT", YELLOW, margin=2, max_aspect=2.0))

# lower-case logo letters, x-height 10 units, ascender to -6
LOGO_GLYPHS = {
    "m": (9.6, "M0,10 V0 M0,3.4 C0,1.2 1.2,0 2.4,0 C3.7,0 4.8,1.2 4.8,3.4 V10 M4.8,3.4 C4.8,1.2 6,0 7.2,0 "
               "C8.5,0 9.6,1.2 9.6,3.4 V10"),
    "e": (7.4, "M0.4,5.2 H7.2 C7.2,2.2 5.6,0 3.7,0 C1.6,0 0,2.2 0,5 C0,8 1.7,10 3.9,10 C5.2,10 6.3,9.4 7,8.3"),
    "k": (6.4, "M0,-6 V10 M6,0 L0.6,6 M2.4,4.3 L6.4,10"),
    "o": (7.6, "M3.8,0 A3.8,5 0 1 1 3.8,10 A3.8,5 0 1 1 3.8,0 Z"),
}


def logo():
    w, h = 540, 260
    b = []
    # a burst of rays behind the name
    for i in range(16):
        a0 = math.radians(i * 22.5)
        a1 = math.radians(i * 22.5 + 11)
        b.append(poly([(270, 140), (270 + 300 * math.cos(a0), 140 + 150 * math.sin(a0)),
                       (270 + 300 * math.cos(a1), 140 + 150 * math.sin(a1))], YELLOW, None,
                      extra='fill-opacity="0.35"'))
    word = "mekko"
    sw, ow = 22, 7
    gap = sw + ow + 4
    units = sum(LOGO_GLYPHS[c][0] for c in word)
    s = (w - 24 - gap * (len(word) - 1) - sw - 2 * ow) / units  # px per unit, fitted to the width
    total = units * s + gap * (len(word) - 1)
    x0 = (w - total) / 2.0
    y0 = (h - 16 * s - 2 * (sw / 2 + ow) - 8) / 2.0 + sw / 2 + ow + 6 * s
    cols = [ORANGE, YELLOW, GREEN, "#4cc9f0", PINK]
    paths = []
    x = x0
    for c in word:
        gw, d = LOGO_GLYPHS[c]
        paths.append(transform_path(d, s, s, x, y0))
        x += gw * s + gap
    allp = " ".join(paths)
    common = 'fill="none" stroke-linecap="round" stroke-linejoin="round"'
    b.append('<path d="%s" %s stroke="%s" stroke-width="%s" transform="translate(0,8)"/>' % (allp, common, INK, sw + 2 * ow))
    b.append('<path d="%s" %s stroke="%s" stroke-width="%s"/>' % (allp, common, INK, sw + 2 * ow))
    b.append('<path d="%s" %s stroke="%s" stroke-width="%s"/>' % (allp, common, WHITE, sw + 5))
    for i, p in enumerate(paths):
        b.append('<path d="%s" %s stroke="%s" stroke-width="%s"/>' % (p, common, cols[i], sw))
    b.append('<path d="%s" %s stroke="#ffffff" stroke-opacity="0.6" stroke-width="5" transform="translate(-2,-4)"/>'
             % (allp, common))
    # treasure sparkles around it
    b.append(star(42, 60, 26, 11, YELLOW, INK, 3))
    b.append(star(500, 214, 22, 9.5, YELLOW, INK, 3))
    b.append(sparkle(496, 52, 16, WHITE, 1.0, INK, 2))
    b.append(sparkle(52, 218, 12, WHITE, 1.0, INK, 2))
    # coin under the last letter
    b.append(ellipse(440, 236, 15, 17, GOLD_DARK, INK, 2.6) + ellipse(438, 236, 12, 14.5, GOLD, None))
    b.append(star(438, 236.5, 6, 2.6, GOLD_LIGHT, GOLD_DARK, 1.2))
    return svg_doc(w, h, "\n".join(b))


ART["title_logo.png"] = (540, 260, logo())


# ---------------------------------------------------------------------------
# Medals: 1 gold, 2 silver, 3 bronze

MEDAL_COLOURS = {
    1: (GOLD, GOLD_DARK, GOLD_LIGHT, RED, RED_DARK),
    2: ("#dfe6ee", "#9aa7b8", "#ffffff", BLUE, BLUE_DARK),
    3: ("#e8955a", "#a85a2c", "#ffd0a8", GREEN, GREEN_DARK),
}


def medal(n, w, h):
    body, dark, light, rib, rib_dark = MEDAL_COLOURS[n]
    k = w / 44.0
    sw = 2.2 * max(1.0, k * 0.8)
    g = []
    cx = w / 2.0
    r = w * 0.38
    cy = h - r - sw
    g.append(poly([(cx - r * 0.95, sw), (cx - r * 0.35, sw), (cx + r * 0.2, cy - r * 0.4), (cx - r * 0.3, cy - r * 0.2)],
                  rib, INK, sw))
    g.append(poly([(cx + r * 0.95, sw), (cx + r * 0.35, sw), (cx - r * 0.2, cy - r * 0.4), (cx + r * 0.3, cy - r * 0.2)],
                  rib_dark, INK, sw))
    g.append(circle(cx, cy, r, dark, INK, sw))
    g.append(circle(cx - r * 0.06, cy - r * 0.04, r * 0.86, body, None))
    g.append(circle(cx, cy, r * 0.64, "none", dark, sw * 0.7))
    g.append(star(cx, cy + r * 0.04, r * 0.44, r * 0.19, light, dark, sw * 0.6))
    g.append(sparkle(cx + r * 0.55, cy - r * 0.62, r * 0.28, WHITE))
    return svg_doc(w, h, "\n".join(g))


for n in (1, 2, 3):
    ART["medal/result_medal_%d.png" % n] = (44, 48, medal(n, 44, 48))
    ART["medal/achievement_medal_%d.png" % n] = (130, 142, medal(n, 130, 142))


# ---------------------------------------------------------------------------
# The interstitial pop-up's close button (37 x 33 points)

def close_button():
    w, h = 37, 33
    g = [circle(18.5, 16.5, 14.5, RED, INK, 2.4),
         path("M12.5,10.5 L24.5,22.5 M24.5,10.5 L12.5,22.5", "none", WHITE, 3.4)]
    return svg_doc(w, h, "\n".join(g))


ART["adksinters_close.png"] = (37, 33, close_button())


def main(out_dir):
    for name in sorted(ART):
        w, h, svg = ART[name]
        p = os.path.join(out_dir, name[:-4] + ".svg")
        os.makedirs(os.path.dirname(p), exist_ok=True)
        with open(p, "w", encoding="utf-8", newline="\n") as f:
            f.write(svg)
    with open(os.path.join(out_dir, "sizes.txt"), "w", encoding="utf-8", newline="\n") as f:
        for name in sorted(ART):
            f.write("%s %d %d\n" % (name, ART[name][0], ART[name][1]))


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "assets/art")
