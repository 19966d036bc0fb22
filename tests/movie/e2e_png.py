#!/usr/bin/python3
# e2e_png.py - an independent PNG decoder for the movie tests.
#
# Uses python3-png (Debian's pure-Python PNG codec), so the frames the tests
# expect never pass through reelkiln's own decoder.
#
#   e2e_png.py decode IN OUT       OUT = width, height as two little-endian
#       u32, then width * height RGBA bytes, top row first.

import struct
import sys

import png


def decode(src, dst):
    w, h, rows, _ = png.Reader(filename=src).asRGBA8()
    with open(dst, "wb") as f:
        f.write(struct.pack("<II", w, h))
        for row in rows:
            f.write(bytes(row))


def main():
    if len(sys.argv) == 4 and sys.argv[1] == "decode":
        decode(sys.argv[2], sys.argv[3])
    else:
        raise SystemExit("usage: e2e_png.py decode IN OUT")


if __name__ == "__main__":
    main()
