#!/usr/bin/python3
"""Independent decodes of PNG files written by reelkiln's PNG encoder.

Usage: png_check.py LIST

Each line of LIST holds a PNG path and a file of the R G B A bytes (top row
first, interleaved) that its pixels must give, separated by a tab.  Every
PNG is decoded with python3-png (no libpng), through the project's PNG
oracle (tools/png_oracle.py), and with ImageMagick; both must give the
bytes exactly.  Prints one line per disagreement and exits 1 when there
was any.  A decoder that is missing is a failure, not a pass.
"""

import os
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools"))
import png_oracle  # noqa: E402


def magick(path):
    return subprocess.run(["/usr/bin/convert", path, "-depth", "8", "rgba:-"],
                          capture_output=True, check=True).stdout


def first_diff(a, b):
    return next((i for i in range(min(len(a), len(b))) if a[i] != b[i]), min(len(a), len(b)))


def main(argv):
    if len(argv) != 2:
        sys.exit(__doc__)
    bad = []
    with open(argv[1]) as f:
        jobs = [line.rstrip("\n").split("\t") for line in f if line.strip()]
    for png, want in jobs:
        with open(want, "rb") as f:
            expect = f.read()
        try:
            _, _, px = png_oracle.decode(png)
        except Exception as e:
            bad.append("%s: python3-png: %s: %s" % (png, type(e).__name__, e))
            px = None
        if px is not None and px != expect:
            bad.append("%s: python3-png: byte %d of %d differs" % (png, first_diff(px, expect), len(expect)))
        try:
            px = magick(png)
        except Exception as e:
            bad.append("%s: ImageMagick: %s: %s" % (png, type(e).__name__, e))
            continue
        if px != expect:
            bad.append("%s: ImageMagick: byte %d of %d differs" % (png, first_diff(px, expect), len(expect)))
    for line in bad:
        print(line)
    return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
