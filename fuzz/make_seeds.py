#!/usr/bin/env python3
"""Writes the fuzz targets' seed corpora into fuzz/corpus/<target>/.

Small hand-made files of every kind the readers meet: good files of each
supported layout, and the broken and unsupported kinds the tests use.
Inputs that a fuzzer found are added to the same folders by hand and are
kept when this script runs again.
"""
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)


def put(target, name, data):
    d = os.path.join(HERE, "corpus", target)
    os.makedirs(d, exist_ok=True)
    with open(os.path.join(d, name), "wb") as f:
        f.write(data)


# ---- PNG

def chunk(kind, body):
    return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF)


def png(w, h, color, depth, rows, plte=None, trns=None, interlace=0, extra=(), split=1):
    """rows: raw filtered scanlines (each starting with its filter byte)."""
    sig = b"\x89PNG\r\n\x1a\n"
    out = sig + chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, depth, color, 0, 0, interlace))
    for e in extra:
        out += e
    if plte is not None:
        out += chunk(b"PLTE", plte)
    if trns is not None:
        out += chunk(b"tRNS", trns)
    z = zlib.compress(b"".join(rows), 9)
    step = max(1, (len(z) + split - 1) // split)
    for i in range(0, len(z), step):
        out += chunk(b"IDAT", z[i:i + step])
    return out + chunk(b"IEND", b"")


def channels(color):
    return {0: 1, 2: 3, 3: 1, 4: 2, 6: 4}[color]


def plain_rows(w, h, color, depth, filt=0):
    row_bytes = (w * channels(color) * depth + 7) // 8
    return [bytes([filt]) + bytes(((x * 37 + y * 91) & 0xFF) for x in range(row_bytes)) for y in range(h)]


def adam7_rows(w, h, color, depth):
    rows = []
    passes = [(0, 0, 8, 8), (4, 0, 8, 8), (0, 4, 4, 8), (2, 0, 4, 4), (0, 2, 2, 4), (1, 0, 2, 2), (0, 1, 1, 2)]
    for x0, y0, dx, dy in passes:
        pw = (w - x0 + dx - 1) // dx if w > x0 else 0
        ph = (h - y0 + dy - 1) // dy if h > y0 else 0
        if pw and ph:
            rows += plain_rows(pw, ph, color, depth)
    return rows


def make_png():
    t = "png"
    put(t, "rgba8_3x2.png", png(3, 2, 6, 8, plain_rows(3, 2, 6, 8)))
    put(t, "rgb8_4x3_filters.png", png(4, 3, 2, 8, [plain_rows(4, 1, 2, 8, f)[0] for f in (1, 2, 4)]))
    put(t, "rgb16_2x2.png", png(2, 2, 2, 16, plain_rows(2, 2, 2, 16, 3)))
    put(t, "rgba16_2x1.png", png(2, 1, 6, 16, plain_rows(2, 1, 6, 16)))
    put(t, "gray8_4x2.png", png(4, 2, 0, 8, plain_rows(4, 2, 0, 8)))
    put(t, "gray1_9x2.png", png(9, 2, 0, 1, plain_rows(9, 2, 0, 1)))
    put(t, "gray2_5x1.png", png(5, 1, 0, 2, [b"\x00\x1b\x40"]))
    put(t, "gray4_3x3.png", png(3, 3, 0, 4, plain_rows(3, 3, 0, 4)))
    put(t, "gray16_2x2.png", png(2, 2, 0, 16, plain_rows(2, 2, 0, 16)))
    put(t, "gray8_trns_3x1.png", png(3, 1, 0, 8, [b"\x00\x0a\x14\x0a"], trns=b"\x00\x0a"))
    put(t, "grayalpha8_2x2.png", png(2, 2, 4, 8, plain_rows(2, 2, 4, 8)))
    put(t, "grayalpha16_1x2.png", png(1, 2, 4, 16, plain_rows(1, 2, 4, 16)))
    put(t, "rgb8_trns_2x1.png", png(2, 1, 2, 8, [b"\x00\x01\x02\x03\x04\x05\x06"], trns=b"\x00\x01\x00\x02\x00\x03"))
    pal = bytes(range(48))
    put(t, "palette8_trns_4x1.png", png(4, 1, 3, 8, [b"\x00\x00\x01\x02\x0f"], plte=pal, trns=b"\x00\x80\xff"))
    put(t, "palette4_5x2.png", png(5, 2, 3, 4, [b"\x00\x01\x23\x40", b"\x00\x56\x78\x90"], plte=pal[:30]))
    put(t, "palette1_8x1.png", png(8, 1, 3, 1, [b"\x00\xa5"], plte=b"\x00\x00\x00\xff\xff\xff"))
    put(t, "rgba8_interlaced_9x9.png", png(9, 9, 6, 8, adam7_rows(9, 9, 6, 8), interlace=1))
    put(t, "gray1_interlaced_10x3.png", png(10, 3, 0, 1, adam7_rows(10, 3, 0, 1), interlace=1))
    put(t, "rgba8_chunks_split_idat.png",
        png(4, 4, 6, 8, plain_rows(4, 4, 6, 8), split=4,
            extra=(chunk(b"gAMA", struct.pack(">I", 45455)), chunk(b"tEXt", b"Comment\x00seed"),
                   chunk(b"pHYs", struct.pack(">IIB", 2835, 2835, 1)))))
    good = png(3, 2, 6, 8, plain_rows(3, 2, 6, 8))
    put(t, "truncated_in_idat.png", good[:len(good) - 20])
    bad_crc = bytearray(good)
    bad_crc[29] ^= 0xFF
    put(t, "bad_header_crc.png", bytes(bad_crc))
    # A header asking for far more pixels than its data holds.
    put(t, "taller_than_data_1x1000.png", png(1, 1000, 6, 8, plain_rows(1, 1, 6, 8)))
    put(t, "huge_header_small_file.png", png(30000, 30000, 0, 1, plain_rows(8, 1, 0, 1)))
    with open(os.path.join(ROOT, "assets", "Assets.bundle", "num_s", "num_s_period.png"), "rb") as f:
        put(t, "asset_num_s_period.png", f.read())


# ---- BMP

def bmp(w, h, bits=32, compression=0, header=40, offset=None, planes=1, pixels=None, masks=b""):
    if offset is None:
        offset = 14 + header + len(masks)
    row = ((w * bits + 31) // 32) * 4
    if pixels is None:
        pixels = bytes(((i * 29) & 0xFF) for i in range(row * abs(h)))
    info = struct.pack("<IiiHHIIiiII", header, w, h, planes, bits, compression, len(pixels), 2835, 2835, 0, 0)
    info += bytes(max(0, header - 40))
    body = info + masks
    body += bytes(max(0, offset - 14 - len(body)))
    size = 14 + len(body) + len(pixels)
    return b"BM" + struct.pack("<IHHI", size, 0, 0, offset) + body + pixels


def make_bmp():
    t = "bmp"
    put(t, "bgra32_2x2.bmp", bmp(2, 2))
    put(t, "bgra32_1x1.bmp", bmp(1, 1))
    put(t, "bgra32_3x2_trailing.bmp", bmp(3, 2) + b"trailing bytes")
    put(t, "bgra32_top_down_2x2.bmp", bmp(2, -2))
    put(t, "bgr24_3x2.bmp", bmp(3, 2, bits=24))
    put(t, "gray8_4x1.bmp", bmp(4, 1, bits=8, offset=14 + 40 + 1024))
    put(t, "bitfields32_2x1.bmp", bmp(2, 1, compression=3, masks=struct.pack("<III", 0xFF0000, 0xFF00, 0xFF)))
    put(t, "rle8_2x2.bmp", bmp(2, 2, bits=8, compression=1, pixels=b"\x02\x01\x00\x00\x02\x01\x00\x01"))
    put(t, "v5header_2x2.bmp", bmp(2, 2, header=124))
    put(t, "planes2_1x1.bmp", bmp(1, 1, planes=2))
    put(t, "offset_past_data_2x2.bmp", bmp(2, 2, offset=200))
    put(t, "one_pixel_short_3x2.bmp", bmp(3, 2)[:-1])
    put(t, "header_cut_short.bmp", bmp(2, 2)[:30])
    put(t, "huge_size_65536x65536.bmp", bmp(0x10000, 0x10000, pixels=bytes(16)))


# ---- WAV

def wav(chunks):
    body = b"WAVE" + b"".join(chunks)
    return b"RIFF" + struct.pack("<I", len(body)) + body


def rchunk(kind, body, declared=None):
    n = len(body) if declared is None else declared
    return kind + struct.pack("<I", n) + body + (b"\x00" if len(body) & 1 else b"")


def fmt(channels=1, bits=16, rate=22050, tag=1, extra=b""):
    align = channels * bits // 8
    return rchunk(b"fmt ", struct.pack("<HHIIHH", tag, channels, rate, rate * align, align, bits) + extra)


def samples(n, bits, channels):
    if bits == 8:
        return bytes((128 + ((i * 13) % 64) - 32) & 0xFF for i in range(n * channels))
    return b"".join(struct.pack("<h", ((i * 997) % 20000) - 10000) for i in range(n * channels))


def make_wav():
    t = "wav"
    put(t, "pcm16_mono.wav", wav([fmt(1, 16), rchunk(b"data", samples(32, 16, 1))]))
    put(t, "pcm16_stereo.wav", wav([fmt(2, 16, 44100), rchunk(b"data", samples(16, 16, 2))]))
    put(t, "pcm8_mono.wav", wav([fmt(1, 8, 11025), rchunk(b"data", samples(40, 8, 1))]))
    put(t, "pcm8_stereo_odd_data.wav", wav([fmt(2, 8), rchunk(b"data", samples(7, 8, 2) + b"\x80")]))
    put(t, "list_chunk_before_data.wav",
        wav([fmt(1, 16), rchunk(b"LIST", b"INFOISFT\x05\x00\x00\x00seed\x00"), rchunk(b"data", samples(8, 16, 1))]))
    put(t, "odd_chunk_padded.wav", wav([rchunk(b"junk", b"abc"), fmt(1, 8), rchunk(b"data", samples(9, 8, 1))]))
    put(t, "fmt_with_extension.wav", wav([fmt(1, 16, extra=b"\x00\x00"), rchunk(b"data", samples(4, 16, 1))]))
    put(t, "data_size_past_end.wav", wav([fmt(1, 16), rchunk(b"data", samples(4, 16, 1), declared=100000)]))
    put(t, "empty_data.wav", wav([fmt(1, 16), rchunk(b"data", b"")]))
    put(t, "data_before_fmt.wav", wav([rchunk(b"data", samples(4, 16, 1)), fmt(1, 16)]))
    put(t, "float32.wav", wav([fmt(1, 32, tag=3), rchunk(b"data", bytes(16))]))
    put(t, "pcm24.wav", wav([fmt(1, 24), rchunk(b"data", bytes(12))]))
    put(t, "extensible.wav", wav([fmt(2, 16, tag=0xFFFE, extra=b"\x16\x00" + bytes(22)), rchunk(b"data", bytes(8))]))
    put(t, "six_channels.wav", wav([fmt(6, 16), rchunk(b"data", bytes(24))]))
    put(t, "zero_rate.wav", wav([fmt(1, 16, rate=0), rchunk(b"data", bytes(4))]))
    put(t, "short_fmt.wav", wav([rchunk(b"fmt ", b"\x01\x00\x01\x00"), rchunk(b"data", bytes(4))]))
    put(t, "cut_in_header.wav", wav([fmt(1, 16), rchunk(b"data", samples(4, 16, 1))])[:30])
    put(t, "not_wave.wav", b"RIFF\x04\x00\x00\x00AVI ")


# ---- Fonts: tiny TrueType files made here, glyph outlines and all.

def table_checksum(data):
    data += bytes((4 - len(data) % 4) % 4)
    return sum(struct.unpack(">%dI" % (len(data) // 4), data)) & 0xFFFFFFFF


def sfnt(tables):
    tags = sorted(tables)
    n = len(tags)
    es = n.bit_length() - 1
    sr = (1 << es) * 16
    out = struct.pack(">IHHHH", 0x00010000, n, sr, es, n * 16 - sr)
    offset = 12 + 16 * n
    body = b""
    for tag in tags:
        data = tables[tag]
        out += struct.pack(">4sIII", tag, table_checksum(data), offset + len(body), len(data))
        body += data + bytes((4 - len(data) % 4) % 4)
    return out + body


def simple_glyph(contours, instructions=b""):
    """contours: lists of (x, y, on_curve) in absolute font units."""
    pts = [p for c in contours for p in c]
    xs = [p[0] for p in pts]
    ys = [p[1] for p in pts]
    out = struct.pack(">hhhhh", len(contours), min(xs), min(ys), max(xs), max(ys))
    end = -1
    for c in contours:
        end += len(c)
        out += struct.pack(">H", end)
    out += struct.pack(">H", len(instructions)) + instructions
    out += bytes(1 if p[2] else 0 for p in pts)
    px = py = 0
    dx = b""
    dy = b""
    for x, y, _ in pts:
        dx += struct.pack(">h", x - px)
        dy += struct.pack(">h", y - py)
        px, py = x, y
    return out + dx + dy


def composite_glyph(parts, bbox):
    out = struct.pack(">hhhhh", -1, *bbox)
    for i, (glyph, dx, dy, scale) in enumerate(parts):
        flags = 0x0001 | 0x0002  # word arguments, x/y offsets
        if i + 1 < len(parts):
            flags |= 0x0020  # more components
        if scale is not None:
            flags |= 0x0008
        out += struct.pack(">HHhh", flags, glyph, dx, dy)
        if scale is not None:
            out += struct.pack(">h", int(scale * 16384))
    return out


def cmap4(mapping):
    codes = sorted(c for c in mapping if c <= 0xFFFF)
    segs = [(c, c, (mapping[c] - c) & 0xFFFF) for c in codes] + [(0xFFFF, 0xFFFF, 1)]
    n = len(segs)
    es = n.bit_length() - 1
    sr = 2 * (1 << es)
    body = struct.pack(">HHH", n * 2, sr, es) + struct.pack(">H", 2 * n - sr)
    body += b"".join(struct.pack(">H", s[1]) for s in segs) + b"\x00\x00"
    body += b"".join(struct.pack(">H", s[0]) for s in segs)
    body += b"".join(struct.pack(">H", s[2]) for s in segs)
    body += b"".join(struct.pack(">H", 0) for _ in segs)
    return struct.pack(">HHH", 4, 6 + len(body), 0) + body


def cmap12(mapping):
    groups = sorted(mapping.items())
    body = b"".join(struct.pack(">III", c, c, g) for c, g in groups)
    return struct.pack(">HHIII", 12, 0, 16 + len(body), 0, len(groups)) + body


def cmap0_mac(mapping):
    arr = bytearray(256)
    for c, g in mapping.items():
        if c < 256:
            arr[c] = g
    return struct.pack(">HHH", 0, 262, 0) + bytes(arr)


def cmap(subtables):
    out = struct.pack(">HH", 0, len(subtables))
    offset = 4 + 8 * len(subtables)
    data = b""
    for platform, encoding, sub in subtables:
        out += struct.pack(">HHI", platform, encoding, offset + len(data))
        data += sub
    return out + data


def font(cmap_kind="4", hinted=False, units=1000):
    box = [[(50, 0, 1), (450, 0, 1), (450, 700, 1), (50, 700, 1)]]
    tri = [[(0, 0, 1), (300, 700, 0), (600, 0, 1), (300, 250, 0)], [(250, 100, 1), (350, 100, 1), (300, 200, 1)]]
    instr = b"\xb0\x00\x2f" if hinted else b""  # PUSHB 0; MDAP[rnd]
    glyphs = [
        simple_glyph(box),
        simple_glyph(tri, instr),
        composite_glyph([(1, 50, 0, None), (1, 400, 300, 0.5)], (50, 0, 700, 650)),
        b"",  # space: no outline
    ]
    loca = b""
    glyf = b""
    for g in glyphs:
        loca += struct.pack(">I", len(glyf))
        glyf += g + bytes((4 - len(g) % 4) % 4)
    loca += struct.pack(">I", len(glyf))
    n = len(glyphs)
    head = struct.pack(">IIIIHHQQhhhhHHhhh", 0x00010000, 0x00010000, 0, 0x5F0F3CF5, 0x000B, units, 0, 0,
                       0, 0, 700, 700, 0, 8, 2, 1, 0)
    hhea = struct.pack(">IhhhHhhhhhh4hhH", 0x00010000, 800, -200, 0, 700, 0, 0, 700, 1, 0, 0, 0, 0, 0, 0, 0, n)
    maxp = struct.pack(">IHHHHHHHHHHHHHH", 0x00010000, n, 8, 2, 14, 4, 2, 0, 0, 0, 0, 8, 16, 2, 1)
    hmtx = b"".join(struct.pack(">Hh", 600, 50) for _ in range(n - 1)) + struct.pack(">Hh", 250, 0)
    mapping = {ord("A"): 1, ord("B"): 2, ord(" "): 3, 0x3042: 2, 0x1F600: 1}
    if cmap_kind == "4":
        cm = cmap([(3, 1, cmap4(mapping))])
    elif cmap_kind == "12":
        cm = cmap([(0, 4, cmap12(mapping)), (3, 10, cmap12(mapping))])
    else:
        cm = cmap([(1, 0, cmap0_mac(mapping))])
    tables = {
        b"head": head, b"hhea": hhea, b"maxp": maxp, b"hmtx": hmtx, b"cmap": cm, b"loca": loca, b"glyf": glyf,
        b"name": struct.pack(">HHH", 0, 0, 6),
        b"post": struct.pack(">IIhhIIIII", 0x00030000, 0, -100, 50, 0, 0, 0, 0, 0),
    }
    if hinted:
        tables[b"prep"] = b"\xb0\x01\x21"  # PUSHB 1; POP
        tables[b"cvt "] = struct.pack(">hh", 50, 700)
    return sfnt(tables)


def make_font():
    t = "font"
    put(t, "tiny_cmap4.ttf", font("4"))
    put(t, "tiny_cmap12.ttf", font("12"))
    put(t, "tiny_hinted.ttf", font("4", hinted=True))
    put(t, "tiny_units_16.ttf", font("4", units=16))
    put(t, "tiny_mac_only.ttf", font("mac"))
    put(t, "cut_in_tables.ttf", font("4")[:100])


# ---- Text: UTF-8 lines as the tables, notices and labels hold them.

def make_text():
    t = "text"
    put(t, "ascii_lf.txt", b"first line\nsecond line\n")
    put(t, "crlf_and_lfcr.txt", b"one\r\ntwo\n\rthree\rfour\nfive")
    put(t, "only_breaks.txt", b"\n\n\r\r\n\n\r")
    put(t, "empty.txt", b"")
    put(t, "japanese.txt", "ゲームスタート\n設定\r\nランキング\n".encode())
    put(t, "four_byte.txt", "😀 coin 🪙\n".encode())
    put(t, "invalid_bytes.txt", b"a\x80b\xffc\xc0\xafd\xed\xa0\x80\n\xf8\x88\x80\x80\x80\n")
    put(t, "cut_sequence_at_end.txt", b"abc\xe3\x81")
    put(t, "cut_sequence_before_break.txt", b"x\xf0\x9f\n\xe3\r\n")
    put(t, "embedded_nul.txt", b"before\x00after\n")
    for name in ("coin.txt", "dollar.txt"):
        with open(os.path.join(ROOT, "assets", "Assets.bundle", name), "rb") as f:
            put(t, "asset_" + name, f.read())


if __name__ == "__main__":
    make_png()
    make_bmp()
    make_wav()
    make_font()
    make_text()
