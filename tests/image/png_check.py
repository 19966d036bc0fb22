#!/usr/bin/python3
"""Independent decodes of PNG files written by reelkiln's PNG encoder.

Usage: png_check.py LIST

Each line of LIST holds, separated by tabs, a PNG path, a file of the
R G B A bytes (top row first, interleaved) that its pixels must give, and
the bit depth, colour type and number of PLTE entries (0: none) that its
header chunks must declare.  Every PNG is decoded with python3-png (no
libpng), through the project's PNG oracle (tools/png_oracle.py), and with
ImageMagick; both must give the bytes exactly.  python3-png also reads the
chunks: the depth, colour type and palette size as listed, no tRNS, no
sBIT, and pHYs 2835 x 2835 pixels per metre.  Prints one line per
disagreement and exits 1 when there was any.  A decoder that is missing is
a failure, not a pass.
"""

import os
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools"))
import png_oracle  # noqa: E402
import png  # noqa: E402  (python3-png, which the oracle needs too)


def magick(path):
    return subprocess.run(["/usr/bin/convert", path, "-depth", "8", "rgba:-"],
                          capture_output=True, check=True).stdout


def chunk_facts(path):
    r = png.Reader(filename=path)
    r.preamble()
    plte = getattr(r, "plte", None)
    return {
        "depth": r.bitdepth,
        "ctype": r.color_type,
        "plte": len(plte) // 3 if plte else 0,
        "tRNS": getattr(r, "trns", None) is not None,
        "sBIT": getattr(r, "sbit", None) is not None,
        "pHYs": (getattr(r, "x_pixels_per_unit", None), getattr(r, "y_pixels_per_unit", None),
                 getattr(r, "unit_is_meter", None)),
    }


def first_diff(a, b):
    return next((i for i in range(min(len(a), len(b))) if a[i] != b[i]), min(len(a), len(b)))


def main(argv):
    if len(argv) != 2:
        sys.exit(__doc__)
    bad = []
    with open(argv[1]) as f:
        jobs = [line.rstrip("\n").split("\t") for line in f if line.strip()]
    for path, want, depth, ctype, plte in jobs:
        try:
            facts = chunk_facts(path)
        except Exception as e:
            bad.append("%s: python3-png chunks: %s: %s" % (path, type(e).__name__, e))
            facts = None
        wanted = {"depth": int(depth), "ctype": int(ctype), "plte": int(plte), "tRNS": False, "sBIT": False,
                  "pHYs": (2835, 2835, True)}
        if facts is not None and facts != wanted:
            bad.append("%s: chunks %r, want %r" % (path, facts, wanted))
        png_file = path
        with open(want, "rb") as f:
            expect = f.read()
        try:
            _, _, px = png_oracle.decode(png_file)
        except Exception as e:
            bad.append("%s: python3-png: %s: %s" % (png_file, type(e).__name__, e))
            px = None
        if px is not None and px != expect:
            bad.append("%s: python3-png: byte %d of %d differs" % (png_file, first_diff(px, expect), len(expect)))
        try:
            px = magick(png_file)
        except Exception as e:
            bad.append("%s: ImageMagick: %s: %s" % (png_file, type(e).__name__, e))
            continue
        if px != expect:
            bad.append("%s: ImageMagick: byte %d of %d differs" % (png_file, first_diff(px, expect), len(expect)))
    for line in bad:
        print(line)
    return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
