#!/usr/bin/python3
"""Independent checks of a 32-bit BMP written by reelkiln's BMP writer.

Usage: bmp_check.py BMP PLANES WIDTH HEIGHT

PLANES holds the writer's four input planes one after the other, each
WIDTH * HEIGHT bytes, row 0 at the top (red, green, blue, alpha).  The
script

  1. builds the file the format prescribes from its header table alone
     (BITMAPFILEHEADER, BITMAPV4HEADER with bit-field masks, the three colour
     masks once more, then the rows bottom-up, 4 bytes a pixel in plane
     order) and demands the BMP equal it byte for byte;
  2. reads the BMP back with a reader of its own that follows the header's
     fields (offset, size, bit count, compression, masks, the sign of the
     height) rather than assuming the layout;
  3. reads it with PIL, with ImageMagick and with ffmpeg,

and demands that every reader give the planes pixel for pixel, alpha
included (ffmpeg: see below).  Prints one line per disagreement and exits 1
when there was any, 0 otherwise.  A reader that is not installed is a
failure, not a pass.
"""

import struct
import subprocess
import sys


def expected_file(planes, w, h):
    n = w * h
    size = 4 * n + 134
    head = b"BM" + struct.pack("<IHHI", size, 0, 0, 134)
    v4 = struct.pack("<IiiHHIIiiII", 108, w, h, 1, 32, 3, 0, 255, 255, 0, 0)
    v4 += struct.pack("<IIII", 0xFF, 0xFF00, 0xFF0000, 0xFF000000)
    v4 += struct.pack("<I", 0x73524742) + bytes(36) + struct.pack("<III", 1, 1, 1)
    assert len(v4) == 108
    masks = struct.pack("<III", 0xFF, 0xFF00, 0xFF0000)
    rows = bytearray()
    for y in range(h - 1, -1, -1):
        for x in range(w):
            i = y * w + x
            rows += bytes((planes[i], planes[n + i], planes[2 * n + i], planes[3 * n + i]))
    return head + v4 + masks + bytes(rows)


def shift_of(mask):
    s = 0
    while mask and not (mask >> s) & 1:
        s += 1
    return s


def own_reader(data):
    """RGBA bytes, top row first, from the header's own fields."""
    if data[:2] != b"BM":
        raise ValueError("no BM")
    off = struct.unpack_from("<I", data, 10)[0]
    hsize, w, h, planes, bits, comp = struct.unpack_from("<IiiHHI", data, 14)
    if hsize < 56 or planes != 1 or bits != 32 or comp != 3:
        raise ValueError("header %d planes %d bits %d compression %d" % (hsize, planes, bits, comp))
    rm, gm, bm, am = struct.unpack_from("<IIII", data, 14 + 40)
    topdown = h < 0
    h = abs(h)
    out = bytearray(w * h * 4)
    for r in range(h):
        y = r if topdown else h - 1 - r
        for x in range(w):
            p = struct.unpack_from("<I", data, off + 4 * (r * w + x))[0]
            rgba = [((p & m) >> shift_of(m)) if m else 255 for m in (rm, gm, bm, am)]
            out[4 * (y * w + x):4 * (y * w + x) + 4] = bytes(rgba)
    return w, h, bytes(out)


def pil_reader(path):
    from PIL import Image
    with Image.open(path) as im:
        return im.size[0], im.size[1], im.convert("RGBA").tobytes()


def magick_reader(path, w, h):
    out = subprocess.run(["/usr/bin/convert", path, "-depth", "8", "rgba:-"],
                         capture_output=True, check=True).stdout
    return w, h, out


def ffmpeg_reader(path, w, h):
    out = subprocess.run(["ffmpeg", "-v", "error", "-i", path, "-f", "rawvideo", "-pix_fmt", "rgba", "-"],
                         capture_output=True, check=True).stdout
    return w, h, out


def main(argv):
    if len(argv) != 5:
        sys.exit(__doc__)
    path, planesfile, w, h = argv[1], argv[2], int(argv[3]), int(argv[4])
    with open(planesfile, "rb") as f:
        planes = f.read()
    with open(path, "rb") as f:
        data = f.read()
    n = w * h
    want = bytearray(4 * n)
    for i in range(n):
        want[4 * i:4 * i + 4] = bytes((planes[i], planes[n + i], planes[2 * n + i], planes[3 * n + i]))
    want = bytes(want)
    bad = []
    exp = expected_file(planes, w, h)
    if data != exp:
        at = next((i for i in range(min(len(data), len(exp))) if data[i] != exp[i]), min(len(data), len(exp)))
        bad.append("file differs from the table's layout at byte %d (size %d, want %d)" % (at, len(data), len(exp)))
    readers = [("own reader", lambda: own_reader(data)), ("PIL", lambda: pil_reader(path)),
               ("ImageMagick", lambda: magick_reader(path, w, h)), ("ffmpeg", lambda: ffmpeg_reader(path, w, h))]
    for name, read in readers:
        try:
            gw, gh, px = read()
        except Exception as e:  # a reader that refuses or is missing
            bad.append("%s: %s: %s" % (name, type(e).__name__, e))
            continue
        if (gw, gh) != (w, h):
            bad.append("%s: size %dx%d, want %dx%d" % (name, gw, gh, w, h))
        elif px != want:
            at = next((i for i in range(min(len(px), len(want))) if px[i] != want[i]), min(len(px), len(want)))
            bad.append("%s: pixel %d differs (byte %d of %d)" % (name, at // 4, at, len(px)))
    for line in bad:
        print(line)
    return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
