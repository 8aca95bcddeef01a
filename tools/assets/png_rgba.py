#!/usr/bin/env python3
"""Rewrites 8-bit RGB PNG files as 8-bit RGBA (opaque alpha), in place.

The renderer writes fully opaque pictures without an alpha channel; the
bundle keeps every image RGBA. Pure standard library, so the output bytes
depend only on the input and zlib."""

import struct
import sys
import zlib


def chunks(data):
    i = 8
    while i < len(data):
        n, = struct.unpack(">I", data[i:i + 4])
        yield data[i + 4:i + 8], data[i + 8:i + 8 + n]
        i += 12 + n


def unfilter(raw, w, h, bpp):
    stride = w * bpp
    out = bytearray(h * stride)
    prev = bytearray(stride)
    pos = 0
    for y in range(h):
        ft = raw[pos]
        line = bytearray(raw[pos + 1:pos + 1 + stride])
        pos += 1 + stride
        if ft == 1:
            for i in range(bpp, stride):
                line[i] = (line[i] + line[i - bpp]) & 255
        elif ft == 2:
            for i in range(stride):
                line[i] = (line[i] + prev[i]) & 255
        elif ft == 3:
            for i in range(stride):
                left = line[i - bpp] if i >= bpp else 0
                line[i] = (line[i] + ((left + prev[i]) >> 1)) & 255
        elif ft == 4:
            for i in range(stride):
                a = line[i - bpp] if i >= bpp else 0
                b = prev[i]
                c = prev[i - bpp] if i >= bpp else 0
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                pr = a if (pa <= pb and pa <= pc) else (b if pb <= pc else c)
                line[i] = (line[i] + pr) & 255
        elif ft != 0:
            raise ValueError("bad filter %d" % ft)
        out[y * stride:(y + 1) * stride] = line
        prev = line
    return out


def chunk(tag, payload):
    c = struct.pack(">I", len(payload)) + tag + payload
    return c + struct.pack(">I", zlib.crc32(tag + payload) & 0xffffffff)


def convert(path):
    data = open(path, "rb").read()
    ihdr = None
    idat = b""
    for tag, payload in chunks(data):
        if tag == b"IHDR":
            ihdr = payload
        elif tag == b"IDAT":
            idat += payload
    w, h, depth, ctype, _, _, interlace = struct.unpack(">IIBBBBB", ihdr)
    if depth != 8 or interlace != 0:
        raise ValueError("%s: unexpected format" % path)
    if ctype == 6:
        return
    if ctype != 2:
        raise ValueError("%s: colour type %d" % (path, ctype))
    px = unfilter(zlib.decompress(idat), w, h, 3)
    raw = bytearray()
    for y in range(h):
        row = px[y * w * 3:(y + 1) * w * 3]
        rgba = bytearray(w * 4)
        rgba[0::4] = row[0::3]
        rgba[1::4] = row[1::3]
        rgba[2::4] = row[2::3]
        rgba[3::4] = b"\xff" * w
        # "up" filter: cheap and good for these mostly smooth pictures
        if y == 0:
            raw += b"\x00" + rgba
        else:
            up = bytes((a - b) & 255 for a, b in zip(rgba, prev))
            raw += b"\x02" + up
        prev = rgba
    out = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 6, 0, 0, 0))
    out += chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + chunk(b"IEND", b"")
    open(path, "wb").write(out)


if __name__ == "__main__":
    for p in sys.argv[1:]:
        convert(p)
