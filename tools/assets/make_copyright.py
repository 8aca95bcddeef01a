#!/usr/bin/env python3
"""Assembles assets/src/copyright.txt: the game's own notice, the credits and
the notices of the libraries and the font, wrapped so that every line fits
the copyright viewer (13-unit text from x 2 on the 540-unit design), using
the advance widths of the bundled font.

Not part of the regular build: run it when a notice changes and commit the
result (the full licence texts come from /usr/share/common-licenses, so the
output would otherwise follow the machine's base-files package)."""

import os
import struct
import sys
import textwrap

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
FONT = os.path.join(ROOT, "assets", "Assets.bundle", "GenShinGothic-Medium.ttf")
MAX_UNITS = 520.0   # design units available to a line
TEXT_SIZE = 13.0    # the viewer's font size in design units


class Widths:
    """Advance widths from a TrueType file (cmap format 4 and hmtx)."""

    def __init__(self, path):
        d = open(path, "rb").read()
        n, = struct.unpack(">H", d[4:6])
        tables = {}
        for i in range(n):
            tag, _, off, ln = struct.unpack(">4sIII", d[12 + 16 * i:28 + 16 * i])
            tables[tag.decode()] = (off, ln)
        head = tables["head"][0]
        self.upem, = struct.unpack(">H", d[head + 18:head + 20])
        hhea = tables["hhea"][0]
        n_hm, = struct.unpack(">H", d[hhea + 34:hhea + 36])
        hmtx = tables["hmtx"][0]
        self.adv = [struct.unpack(">H", d[hmtx + 4 * i:hmtx + 4 * i + 2])[0] for i in range(n_hm)]
        cmap = tables["cmap"][0]
        nsub, = struct.unpack(">H", d[cmap + 2:cmap + 4])
        self.map = {}
        for i in range(nsub):
            pid, eid, off = struct.unpack(">HHI", d[cmap + 4 + 8 * i:cmap + 12 + 8 * i])
            sub = cmap + off
            fmt, = struct.unpack(">H", d[sub:sub + 2])
            if pid == 3 and eid == 1 and fmt == 4:
                segx2, = struct.unpack(">H", d[sub + 6:sub + 8])
                seg = segx2 // 2
                ends = struct.unpack(">%dH" % seg, d[sub + 14:sub + 14 + segx2])
                starts = struct.unpack(">%dH" % seg, d[sub + 16 + segx2:sub + 16 + 2 * segx2])
                deltas = struct.unpack(">%dh" % seg, d[sub + 16 + 2 * segx2:sub + 16 + 3 * segx2])
                ro_pos = sub + 16 + 3 * segx2
                ros = struct.unpack(">%dH" % seg, d[ro_pos:ro_pos + segx2])
                for s in range(seg):
                    for c in range(starts[s], min(ends[s], 0x3000) + 1):
                        if ros[s] == 0:
                            g = (c + deltas[s]) & 0xFFFF
                        else:
                            p = ro_pos + 2 * s + ros[s] + 2 * (c - starts[s])
                            g, = struct.unpack(">H", d[p:p + 2])
                            if g:
                                g = (g + deltas[s]) & 0xFFFF
                        self.map[c] = g

    def units(self, text):
        total = 0
        for ch in text:
            g = self.map.get(ord(ch), 0)
            total += self.adv[min(g, len(self.adv) - 1)]
        return total * TEXT_SIZE / self.upem


def wrap(paragraph, widths, indent=""):
    words = paragraph.split()
    lines = []
    cur = indent
    for w in words:
        trial = (cur + " " + w) if cur.strip() else indent + w
        if widths.units(trial) <= MAX_UNITS:
            cur = trial
        else:
            if cur.strip():
                lines.append(cur)
            cur = indent + w
    if cur.strip():
        lines.append(cur)
    return lines


def licence_text(path):
    """Paragraphs of a plain licence file (blank-line separated)."""
    text = open(path, encoding="utf-8").read()
    paras = [p for p in text.split("\n\n")]
    return [" ".join(p.split()) for p in paras if p.strip()]


HEAD = [
    "mekko",
    "Version 1.0.0",
    "",
    "\u00a9 2026 the mekko developers. All rights reserved.",
    "",
    "Game design, programming, pictures, music and sound effects: the mekko developers. "
    "All pictures and sounds were made for this game.",
    "",
    "This game uses the following free software. Their copyright and licence notices follow.",
    "",
    "- DejaVu Sans Bold typeface, bundled as GenShinGothic-Medium.ttf (Bitstream Vera licence; "
    "DejaVu changes are in the public domain)",
    "- FreeType (The FreeType Project License)",
    "- libpng (PNG Reference Library License version 2)",
    "- zlib (zlib License)",
    "- OpenAL Soft (GNU Lesser General Public License version 2 or later)",
    "- libcurl (curl licence)",
    "- OpenSSL (Apache License 2.0)",
    "",
]

SECTIONS = [
    ("DejaVu Sans Bold (font)", [
        "Copyright (c) 2003 by Bitstream, Inc. All Rights Reserved. Bitstream Vera is a trademark of "
        "Bitstream, Inc. DejaVu changes are in public domain.",
        "The font file is the unmodified DejaVuSans-Bold.ttf of the DejaVu fonts 2.37, stored under the "
        "file name GenShinGothic-Medium.ttf that the game loads.",
        "Permission is hereby granted, free of charge, to any person obtaining a copy of the fonts "
        "accompanying this license (\"Fonts\") and associated documentation files (the \"Font Software\"), "
        "to reproduce and distribute the Font Software, including without limitation the rights to use, "
        "copy, merge, publish, distribute, and/or sell copies of the Font Software, and to permit persons "
        "to whom the Font Software is furnished to do so, subject to the following conditions:",
        "The above copyright and trademark notices and this permission notice shall be included in all "
        "copies of one or more of the Font Software typefaces.",
        "The Font Software may be modified, altered, or added to, and in particular the designs of glyphs "
        "or characters in the Fonts may be modified and additional glyphs or characters may be added to "
        "the Fonts, only if the fonts are renamed to names not containing either the words \"Bitstream\" "
        "or the word \"Vera\".",
        "This License becomes null and void to the extent applicable to Fonts or Font Software that has "
        "been modified and is distributed under the \"Bitstream Vera\" names.",
        "The Font Software may be sold as part of a larger software package but no copy of one or more of "
        "the Font Software typefaces may be sold by itself.",
        "THE FONT SOFTWARE IS PROVIDED \"AS IS\", WITHOUT WARRANTY OF ANY KIND, EXPRESS OR IMPLIED, "
        "INCLUDING BUT NOT LIMITED TO ANY WARRANTIES OF MERCHANTABILITY, FITNESS FOR A PARTICULAR PURPOSE "
        "AND NONINFRINGEMENT OF COPYRIGHT, PATENT, TRADEMARK, OR OTHER RIGHT. IN NO EVENT SHALL BITSTREAM "
        "OR THE GNOME FOUNDATION BE LIABLE FOR ANY CLAIM, DAMAGES OR OTHER LIABILITY, INCLUDING ANY "
        "GENERAL, SPECIAL, INDIRECT, INCIDENTAL, OR CONSEQUENTIAL DAMAGES, WHETHER IN AN ACTION OF "
        "CONTRACT, TORT OR OTHERWISE, ARISING FROM, OUT OF THE USE OR INABILITY TO USE THE FONT SOFTWARE "
        "OR FROM OTHER DEALINGS IN THE FONT SOFTWARE.",
        "Except as contained in this notice, the names of Gnome, the Gnome Foundation, and Bitstream Inc., "
        "shall not be used in advertising or otherwise to promote the sale, use or other dealings in this "
        "Font Software without prior written authorization from the Gnome Foundation or Bitstream Inc., "
        "respectively. For further information, contact: fonts at gnome dot org.",
    ]),
    ("FreeType", [
        "Portions of this software are copyright \u00a9 2022 The FreeType Project (www.freetype.org). "
        "All rights reserved.",
        "This game is based in part on the work of the FreeType Team. FreeType is used under the FreeType "
        "Project License (FTL), https://www.freetype.org/license.html",
    ]),
    ("libpng", [
        "PNG Reference Library License version 2",
        "Copyright (c) 1995-2022 The PNG Reference Library Authors.",
        "Copyright (c) 2018-2022 Cosmin Truta.",
        "Copyright (c) 2000-2002, 2004, 2006-2018 Glenn Randers-Pehrson.",
        "Copyright (c) 1996-1997 Andreas Dilger.",
        "Copyright (c) 1995-1996 Guy Eric Schalnat, Group 42, Inc.",
        "The software is supplied \"as is\", without warranty of any kind, express or implied, including, "
        "without limitation, the warranties of merchantability, fitness for a particular purpose, title, "
        "and non-infringement. In no event shall the Copyright owners, or anyone distributing the "
        "software, be liable for any damages or other liability, whether in contract, tort or otherwise, "
        "arising from, out of, or in connection with the software, or the use or other dealings in the "
        "software, even if advised of the possibility of such damage.",
        "Permission is hereby granted to use, copy, modify, and distribute this software, or portions "
        "hereof, for any purpose, without fee, subject to the following restrictions:",
        "1. The origin of this software must not be misrepresented; you must not claim that you wrote the "
        "original software. If you use this software in a product, an acknowledgment in the product "
        "documentation would be appreciated, but is not required.",
        "2. Altered source versions must be plainly marked as such, and must not be misrepresented as "
        "being the original software.",
        "3. This Copyright notice may not be removed or altered from any source or altered source "
        "distribution.",
    ]),
    ("zlib", [
        "Copyright (C) 1995-2022 Jean-loup Gailly and Mark Adler",
        "This software is provided 'as-is', without any express or implied warranty. In no event will the "
        "authors be held liable for any damages arising from the use of this software.",
        "Permission is granted to anyone to use this software for any purpose, including commercial "
        "applications, and to alter it and redistribute it freely, subject to the following restrictions:",
        "1. The origin of this software must not be misrepresented; you must not claim that you wrote the "
        "original software. If you use this software in a product, an acknowledgment in the product "
        "documentation would be appreciated but is not required.",
        "2. Altered source versions must be plainly marked as such, and must not be misrepresented as "
        "being the original software.",
        "3. This notice may not be removed or altered from any source distribution.",
    ]),
    ("OpenAL Soft", [
        "Copyright (C) 1999-2014 the OpenAL team, 2008-2015 Christopher Fitzgerald, 2009-2015 Chris "
        "Robinson and others.",
        "OpenAL Soft is free software; you can redistribute it and/or modify it under the terms of the GNU "
        "Library General Public License as published by the Free Software Foundation; either version 2 of "
        "the License, or (at your option) any later version. This game uses it as a shared library, "
        "unmodified; its source code is available from https://openal-soft.org/ and from the Debian "
        "package openal-soft. The text of the GNU Lesser General Public License version 2.1 follows at "
        "the end of this file.",
    ]),
    ("libcurl", [
        "COPYRIGHT AND PERMISSION NOTICE",
        "Copyright (c) 1996 - 2022, Daniel Stenberg, <daniel@haxx.se>, and many contributors, see the "
        "THANKS file.",
        "All rights reserved.",
        "Permission to use, copy, modify, and distribute this software for any purpose with or without fee "
        "is hereby granted, provided that the above copyright notice and this permission notice appear in "
        "all copies.",
        "THE SOFTWARE IS PROVIDED \"AS IS\", WITHOUT WARRANTY OF ANY KIND, EXPRESS OR IMPLIED, INCLUDING "
        "BUT NOT LIMITED TO THE WARRANTIES OF MERCHANTABILITY, FITNESS FOR A PARTICULAR PURPOSE AND "
        "NONINFRINGEMENT OF THIRD PARTY RIGHTS. IN NO EVENT SHALL THE AUTHORS OR COPYRIGHT HOLDERS BE "
        "LIABLE FOR ANY CLAIM, DAMAGES OR OTHER LIABILITY, WHETHER IN AN ACTION OF CONTRACT, TORT OR "
        "OTHERWISE, ARISING FROM, OUT OF OR IN CONNECTION WITH THE SOFTWARE OR THE USE OR OTHER DEALINGS "
        "IN THE SOFTWARE.",
        "Except as contained in this notice, the name of a copyright holder shall not be used in "
        "advertising or otherwise to promote the sale, use or other dealings in this Software without "
        "prior written authorization of the copyright holder.",
    ]),
    ("OpenSSL", [
        "Copyright (c) 1998-2023 The OpenSSL Project Authors. Copyright (c) 1995-1998 Eric A. Young, "
        "Tim J. Hudson. All rights reserved.",
        "This product includes software developed by the OpenSSL Project for use in the OpenSSL Toolkit "
        "(https://www.openssl.org/). It includes cryptographic software written by Eric Young "
        "(eay@cryptsoft.com).",
        "OpenSSL is licensed under the Apache License, Version 2.0, whose text follows.",
    ]),
]


def main(out):
    widths = Widths(FONT)
    lines = []
    for p in HEAD:
        lines += wrap(p, widths) if p else [""]
    for title, paras in SECTIONS:
        lines += ["", "==== %s ====" % title, ""]
        for i, p in enumerate(paras):
            lines += wrap(p, widths)
            lines.append("")
    for title, path in (("Apache License, Version 2.0", "/usr/share/common-licenses/Apache-2.0"),
                        ("GNU Lesser General Public License, version 2.1", "/usr/share/common-licenses/LGPL-2.1")):
        lines += ["", "==== %s ====" % title, ""]
        for p in licence_text(path):
            lines += wrap(p, widths)
            lines.append("")
    while lines and lines[-1] == "":
        lines.pop()
    with open(out, "w", encoding="utf-8", newline="\n") as f:
        f.write("\n".join(lines) + "\n")
    print("%d lines, widest %.0f units" % (len(lines), max(widths.units(l) for l in lines)))


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, "assets", "src", "copyright.txt"))
