#!/usr/bin/env python3
"""Writes assets/contact_sheet.svg: mock-ups of the game's screens built from
the rendered bundle images (placed as the scenes place them), then every
image of the bundle on a checkerboard. build_assets.sh renders it to PNG."""

import os
import sys

BUNDLE = "Assets.bundle"


def img(name, x, y, w, h, extra=""):
    return ('<image xlink:href="%s/%s" x="%g" y="%g" width="%d" height="%d" %s/>'
            % (BUNDLE, name, x, y, w, h, extra))


class Screen:
    def __init__(self, sizes):
        self.sizes = sizes
        self.parts = []

    def draw(self, name, x, y, extra=""):
        w, h = self.sizes[name]
        self.parts.append(img(name, x, y, w, h, extra))

    def mid(self, name, x, y, extra=""):
        """Anchor 0x10: left edge at x, vertical middle at y."""
        w, h = self.sizes[name]
        self.draw(name, x, y - h // 2, extra)

    def veil(self, rgb="25,25,25", a=0.4):
        self.parts.append('<rect width="640" height="1000" fill="rgb(%s)" fill-opacity="%g"/>' % (rgb, a))

    def label(self, text, x, y, size):
        # the game draws its labels with the bundle font at natural size / 1.5
        self.parts.append('<text x="%g" y="%g" font-family="DejaVu Sans" font-weight="bold" font-size="%g" '
                          'fill="#ffffff">%s</text>' % (x, y + size * 0.93, size, text))

    def digits(self, text, right, y, folder, step, mark_step, shift):
        names = {":": "colon", ",": "comma", "$": "dollar", ".": "period"}
        d = m = 0
        x_dollar = right
        for ch in reversed(text):
            x = right - step * d - mark_step * m
            if ch.isdigit():
                self.draw("%s/%s_%s.png" % (folder, folder, ch), x, y)
                d += 1
            else:
                if ch == "$":
                    self.draw("%s/%s_dollar.png" % (folder, folder), x, y)
                    x_dollar = x
                else:
                    self.draw("%s/%s_%s.png" % (folder, folder, names[ch]), x + shift, y)
                m += 1
        return x_dollar

    def row(self, text, right, y, folder="num_m"):
        """Right-to-left placement with widths 21/11 (result, ranking)."""
        names = {":": "colon", ",": "comma", "$": "dollar", ".": "period"}
        edge = right
        left_dollar = right
        for ch in reversed(text):
            wide = ch.isdigit() or ch == "$"
            edge -= 21 if wide else 11
            stem = ch if ch.isdigit() else names[ch]
            self.draw("%s/%s_%s.png" % (folder, folder, stem), edge, y)
            if ch == "$":
                left_dollar = edge
        return left_dollar

    def svg(self, ox, oy, scale):
        return ('<g transform="translate(%g,%g) scale(%g)"><svg width="540" height="960" viewBox="0 0 540 960">'
                '%s</svg></g>' % (ox, oy, scale, "\n".join(self.parts)))


def backdrop(s):
    s.draw("main_bg1.png", -90, 0)
    s.draw("main_treasure.png", 204, 250)
    s.draw("main_stage.png", 60, 700)


def screens(sizes):
    out = []
    # main play
    s = Screen(sizes)
    s.draw("main_bg1.png", -90, 0)
    s.draw("main_treasure.png", 219, 250)
    for x, y in ((230, 160), (262, 120), (300, 200), (190, 300), (340, 420), (150, 520)):
        s.draw("main_coin.png", x, y)
    s.draw("main_doller.png", 330, 300)
    s.draw("main_jewel1.png", 120, 390)
    s.mid("main_dumbbell.png", 250, 520, 'transform="rotate(-30 284 520)"')
    s.mid("main_dumbbell.png", 380, 600, 'transform="rotate(40 414 600)"')
    s.draw("main_stage.png", 60, 700)
    s.mid("main_player_walk_right_02.png", 200, 665)
    s.draw("eff_coin/eff_coin_2.png", 167, 612)
    s.draw("main_taptoturn.png", 110, 700)
    xd = s.digits("$1,234,567.50", 500, 110, "num_s", 13, 7, 6)
    s.draw("hiscore_s.png", xd - 126, 110)
    s.digits("$12,345.05", 500, 150, "num_m", 21, 11, 10)
    s.mid("main_btn_pause_off.png", 21, 220)
    s.label("$1,000.oo", 190, 600, 25)
    out.append(s)
    # bonus time and countdown
    s = Screen(sizes)
    s.draw("main_bg1.png", -90, 0)
    s.draw("main_bg2.png", -90, 0)
    s.draw("main_treasure.png", 204, 250)
    s.draw("main_countdown_go.png", 119, 230)
    s.draw("main_bonustime.png", -30, 300)
    for x, y in ((120, 200), (360, 160), (420, 460)):
        s.draw("main_jewel2.png", x, y)
    s.draw("main_jewel3.png", 200, 480)
    s.draw("main_doller.png", 300, 520)
    s.draw("main_stage.png", 60, 700)
    s.mid("main_player_walk_left_03.png", 300, 665)
    s.draw("eff_doller/eff_doller_2.png", 267, 612)
    xd = s.digits("$1,234,567.50", 500, 110, "num_y_s", 13, 7, 6)
    s.draw("hiscore_s.png", xd - 126, 110)
    s.digits("$1,234,567,890.12", 500, 150, "num_y_m", 21, 11, 10)
    out.append(s)
    # title
    s = Screen(sizes)
    backdrop(s)
    s.veil()
    s.draw("title_logo.png", 0, 200)
    s.mid("title_btn_gamestart_off.png", 5, 540)
    for name, x in (("ranking", 30), ("achievement", 160), ("setting", 290), ("ruvo", 420)):
        s.mid("title_btn_%s_off.png" % name, x, 760)
    s.label("Version 1.0.0", 410, 100, 20 / 1.5 * 1.0)
    s.label("© 2026 the mekko developers", 180, 820, 20 / 1.5)
    out.append(s)
    # result
    s = Screen(sizes)
    backdrop(s)
    s.draw("result_title.png", 43, 180)
    text = "$123,456,789,012.34"
    w = sum(21 if (c.isdigit() or c == "$") else 11 for c in text)
    left = s.row(text, w + (540 - w) // 2, 290)
    s.mid("medal/result_medal_2.png", left - 48, 306)
    rows = ["$123,456,789,012.34", "$98,765.43", "$1,000.00", "$0.00", "$0.00"]
    for i, t in enumerate(rows):
        s.row(t, 510, 370 + 80 * i, "num_y_m" if i == 0 else "num_m")
        s.row("%d:" % (i + 1), 71, 370 + 80 * i)
    for name, y, lx in (("Restart", 800, 190), ("Main Menu", 900, 170)):
        s.mid("btn_frame_l_off.png", 70, y)
        s.label(name, lx, y - 35, 40)
    s.mid("button_twitter.png", 340, 130)
    s.mid("button_facebook.png", 440, 130)
    out.append(s)
    # pause panel over play
    s = Screen(sizes)
    s.draw("main_bg1.png", -90, 0)
    s.draw("main_treasure.png", 204, 250)
    s.draw("main_stage.png", 60, 700)
    s.mid("main_player_walk_right_01.png", 250, 665)
    s.veil("0,0,0", 0.6)
    s.mid("btn_frame_l_off.png", 70, 330)
    s.label("Restart", 190, 295, 40)
    s.mid("btn_frame_l_on.png", 70, 530)
    s.label("Main Menu", 170, 495, 40)
    s.mid("btn_frame_xl_off.png", 70, 764)
    s.label("Resume", 190, 729, 40)
    s.draw("pause_title.png", 135, 150)
    out.append(s)
    # settings
    s = Screen(sizes)
    backdrop(s)
    s.veil()
    s.draw("config_title.png", 90, 120)
    s.mid("btn_back_off.png", 25, 170)
    s.mid("btn_frame_m_off.png", 270, 390)
    s.label("ON", 345, 355, 40)
    s.label("BGM", 70, 345, 50)
    s.mid("btn_frame_m_on.png", 270, 510)
    s.label("OFF", 335, 475, 40)
    s.label("SE", 70, 465, 50)
    s.mid("btn_frame_l_off.png", 70, 630)
    s.label("Credit", 200, 595, 40)
    s.mid("btn_frame_l_off.png", 70, 750)
    s.label("Copyright", 170, 712, 40)
    out.append(s)
    # achievements
    s = Screen(sizes)
    backdrop(s)
    s.veil()
    s.draw("achievement_title.png", 110, 120)
    s.mid("btn_back_off.png", 25, 170)
    s.label("Total", 220, 220, 40)
    text = "$98,765,432.10"
    w = sum(21 if (c.isdigit() or c == "$") else 11 for c in text)
    s.row(text, w + (540 - w) // 2, 300)
    for n, y, count in ((1, 400, "3"), (2, 550, "27"), (3, 700, "1024")):
        s.draw("medal/achievement_medal_%d.png" % n, 120, y)
        for k, ch in enumerate(reversed(count)):
            s.draw("num_l/num_l_%s.png" % ch, 350 - 21 * k, y + 40)
    out.append(s)
    # ranking
    s = Screen(sizes)
    backdrop(s)
    s.parts.append('<rect width="720" height="1000" fill="rgb(25,25,25)" fill-opacity="0.4"/>')
    s.mid("btn_back_on.png", 25, 170)
    s.draw("ranking_title.png", 110, 120)
    for i in range(10):
        s.row("$%d,%03d.%02d" % (900 - i * 80, 123 * i % 1000, i * 7), 521, 250 + 50 * i)
        s.row("%d:" % (i + 1), 71, 250 + 50 * i)
    out.append(s)
    return out


def main(assets_dir):
    sizes = {}
    with open(os.path.join(assets_dir, "art", "sizes.txt"), encoding="utf-8") as f:
        for line in f:
            name, w, h = line.split()
            sizes[name] = (int(w), int(h))
    parts = []
    scale = 0.5
    sw, sh = 540 * scale, 960 * scale
    mock = screens(sizes)
    cols = 4
    for i, s in enumerate(mock):
        x = 20 + (i % cols) * (sw + 20)
        y = 20 + (i // cols) * (sh + 20)
        parts.append('<rect x="%g" y="%g" width="%g" height="%g" fill="#000"/>' % (x - 2, y - 2, sw + 4, sh + 4))
        parts.append(s.svg(x, y, scale))
    width = 20 + cols * (sw + 20)
    y = 20 + ((len(mock) + cols - 1) // cols) * (sh + 20) + 10
    # every image, shelf-packed, large ones at half size
    x = 20
    shelf = 0
    for name in sorted(sizes):
        w, h = sizes[name]
        k = 0.5 if w > 300 or h > 300 else 1.0
        dw, dh = w * k, h * k
        if x + dw + 20 > width:
            x = 20
            y += shelf + 16
            shelf = 0
        parts.append('<rect x="%g" y="%g" width="%g" height="%g" fill="url(#check)" stroke="#888" stroke-width="1"/>'
                     % (x - 1, y - 1, dw + 2, dh + 2))
        parts.append(img(name, x, y, w, h, 'transform="translate(%g,%g) scale(%g) translate(%g,%g)"'
                         % (x, y, k, -x, -y) if k != 1.0 else ""))
        x += dw + 14
        shelf = max(shelf, dh)
    height = y + shelf + 20
    defs = ('<pattern id="check" width="16" height="16" patternUnits="userSpaceOnUse">'
            '<rect width="16" height="16" fill="#d0d0d0"/><rect width="8" height="8" fill="#f4f4f4"/>'
            '<rect x="8" y="8" width="8" height="8" fill="#f4f4f4"/></pattern>')
    svg = ('<?xml version="1.0" encoding="UTF-8"?>\n<svg xmlns="http://www.w3.org/2000/svg" '
           'xmlns:xlink="http://www.w3.org/1999/xlink" width="%d" height="%d" viewBox="0 0 %d %d">'
           '<defs>%s</defs><rect width="100%%" height="100%%" fill="#5a5a66"/>\n%s\n</svg>\n'
           % (width, height, width, height, defs, "\n".join(parts)))
    with open(os.path.join(assets_dir, "contact_sheet.svg"), "w", encoding="utf-8", newline="\n") as f:
        f.write(svg)


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "assets")
