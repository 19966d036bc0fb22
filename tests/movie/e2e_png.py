#!/usr/bin/python3
# e2e_png.py - PNG fixtures and an independent PNG decoder for the movie tests.
#
# Uses python3-png (Debian's pure-Python PNG codec), so the frames the tests
# expect never pass through reelkiln's own decoder.
#
#   e2e_png.py write DIR SPEC...   SPEC = name:width:height:mode:seed
#       mode: rgb8 rgba8 rgb16 gray8 graya8 pal8 palt8 (palette with tRNS)
#             gray16
#       Content is a seeded mix of gradients and noise (compresses like a
#       render, not like flat colour).  16-bit samples are v * 257, so every
#       way of reducing them to 8 bits gives v.
#   e2e_png.py decode IN OUT       OUT = width, height as two little-endian
#       u32, then width * height RGBA bytes, top row first.

import random
import struct
import sys

import png


def pixels(w, h, seed, channels):
    rnd = random.Random(seed)
    ox, oy = rnd.randrange(256), rnd.randrange(256)
    rows = []
    for y in range(h):
        row = []
        for x in range(w):
            r = (x * 255 // max(1, w - 1) + ox) & 255
            g = (y * 255 // max(1, h - 1) + oy) & 255
            b = (x * y + seed * 37 + rnd.randrange(24)) & 255
            a = (255 - ((x + y + seed) * 11) % 256) if (x + y) % 3 else 255
            row.append((r, g, b, a)[:channels] if channels != 2 else ((r + g + b) // 3, a))
        rows.append(row)
    return rows


def write(path, w, h, mode, seed):
    if mode in ("rgb8", "rgba8", "rgb16"):
        ch = 4 if mode == "rgba8" else 3
        rows = pixels(w, h, seed, ch)
        depth = 16 if mode == "rgb16" else 8
        mul = 257 if depth == 16 else 1
        flat = [[v * mul for px in row for v in px] for row in rows]
        wr = png.Writer(w, h, greyscale=False, alpha=(ch == 4), bitdepth=depth)
    elif mode in ("gray8", "gray16"):
        rows = pixels(w, h, seed, 3)
        depth = 16 if mode == "gray16" else 8
        mul = 257 if depth == 16 else 1
        flat = [[((px[0] + px[1] + px[2]) // 3) * mul for px in row] for row in rows]
        wr = png.Writer(w, h, greyscale=True, bitdepth=depth)
    elif mode == "graya8":
        rows = pixels(w, h, seed, 2)
        flat = [[v for px in row for v in px] for row in rows]
        wr = png.Writer(w, h, greyscale=True, alpha=True, bitdepth=8)
    elif mode in ("pal8", "palt8"):
        rnd = random.Random(seed)
        pal = [(rnd.randrange(256), rnd.randrange(256), rnd.randrange(256)) for _ in range(40)]
        if mode == "palt8":
            pal = [p + ((i * 53) % 256,) for i, p in enumerate(pal)]
        flat = [[(x * 7 + y * 3 + seed) % len(pal) for x in range(w)] for y in range(h)]
        wr = png.Writer(w, h, palette=pal, bitdepth=8)
    else:
        raise SystemExit("unknown mode " + mode)
    with open(path, "wb") as f:
        wr.write(f, flat)


def decode(src, dst):
    w, h, rows, _ = png.Reader(filename=src).asRGBA8()
    with open(dst, "wb") as f:
        f.write(struct.pack("<II", w, h))
        for row in rows:
            f.write(bytes(row))


def main():
    if len(sys.argv) >= 3 and sys.argv[1] == "write":
        for spec in sys.argv[3:]:
            name, w, h, mode, seed = spec.split(":")
            write(sys.argv[2] + "/" + name, int(w), int(h), mode, int(seed))
    elif len(sys.argv) == 4 and sys.argv[1] == "decode":
        decode(sys.argv[2], sys.argv[3])
    else:
        raise SystemExit("usage: e2e_png.py write DIR SPEC... | decode IN OUT")


if __name__ == "__main__":
    main()
