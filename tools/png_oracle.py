#!/usr/bin/python3
"""The independent PNG decoder for the image tests.

Decodes every PNG of the given sets with python3-png (pure Python, no
libpng) and writes what reelkiln's plane loader must produce for each: the
image as raw 8-bit red, green, blue, alpha bytes, interleaved, top row
first.  The mapping is fixed independently of the loader:

  - gray below 8 bits: v * 255 / (2^d - 1); 8 bits as they are;
  - 16-bit samples: their high byte;
  - palette images: the PLTE entry, alpha from tRNS (255 past its end);
    an index past the PLTE gives black, alpha 255;
  - gray and RGB with a tRNS colour key: alpha 0 where the raw samples
    equal the key exactly, at the file's own depth; 255 elsewhere;
  - images without alpha or tRNS: alpha 255;
  - ancillary chunks other than tRNS do not change the pixels (no gamma,
    colour space or background is applied), so they are removed before
    decoding, damaged or not; the loader's libpng skips them likewise.

Usage: png_oracle.py OUTDIR NAME=DIR[:recursive] ...

Each set NAME takes the *.png files of DIR (and of its subdirectories when
":recursive" follows).  OUTDIR receives one NAME__<path>.rgba per decoded
image and manifest.txt, written last and whole, with tab-separated lines:

  set   NAME  DIR  COUNT
  ok    NAME  RELPATH  WIDTH  HEIGHT  RAWFILE
  fail  NAME  RELPATH  REASON

Exits nonzero when python3-png is missing or a set directory has no PNG.
"""

import os
import sys

try:
    import png
except ImportError:
    sys.exit("png_oracle: python3-png is missing (run with /usr/bin/python3, "
             "after tools/deps.sh)")


def to8(v, depth):
    if depth == 16:
        return v >> 8
    if depth == 8:
        return v
    return v * 255 // ((1 << depth) - 1)


def pixelchunks(data):
    """The file without its ancillary chunks other than tRNS.  Where the
    chunk walk fails (a length past the end), the rest is kept as it is, for
    the decoder to refuse."""
    out = bytearray(data[:8])
    i = 8
    while i + 12 <= len(data):
        n = int.from_bytes(data[i:i + 4], "big")
        kind = data[i + 4:i + 8]
        end = i + 12 + n
        if end > len(data):
            break
        if (kind[0] & 0x20) == 0 or kind == b"tRNS":
            out += data[i:end]
        i = end
    out += data[i:]
    return bytes(out)


def decode(path):
    """Returns (width, height, rgba bytes) or raises."""
    with open(path, "rb") as f:
        r = png.Reader(bytes=pixelchunks(f.read()))
    width, height, rows, info = r.read()
    rows = [list(row) for row in rows]
    if len(rows) != height:
        raise ValueError("row count %d, want %d" % (len(rows), height))
    depth = info["bitdepth"]
    planes = info["planes"]
    out = bytearray(width * height * 4)
    o = 0
    if r.colormap:
        pal = [tuple(e) for e in r.palette(alpha="force")]
        pal += [(0, 0, 0, 255)] * (256 - len(pal))
        for row in rows:
            for i in row[:width]:
                out[o:o + 4] = bytes(pal[i])
                o += 4
        return width, height, bytes(out)
    key = info.get("transparent")
    for row in rows:
        if len(row) != width * planes:
            raise ValueError("row length %d, want %d" % (len(row), width * planes))
        for x in range(width):
            px = row[x * planes:(x + 1) * planes]
            if planes == 1:      # gray
                g = to8(px[0], depth)
                a = 0 if key is not None and (px[0],) == tuple(key) else 255
                rgba = (g, g, g, a)
            elif planes == 2:    # gray, alpha
                g = to8(px[0], depth)
                rgba = (g, g, g, to8(px[1], depth))
            elif planes == 3:    # RGB
                a = 0 if key is not None and tuple(px) == tuple(key) else 255
                rgba = (to8(px[0], depth), to8(px[1], depth), to8(px[2], depth), a)
            else:                # RGBA
                rgba = tuple(to8(v, depth) for v in px)
            out[o:o + 4] = bytes(rgba)
            o += 4
    return width, height, bytes(out)


def pngs(top, recursive):
    if not os.path.isdir(top):
        sys.exit("png_oracle: %s is not a directory" % top)
    found = []
    if recursive:
        for d, _, files in os.walk(top):
            found += [os.path.relpath(os.path.join(d, f), top) for f in files
                      if f.lower().endswith(".png")]
    else:
        found = [f for f in os.listdir(top)
                 if f.lower().endswith(".png") and os.path.isfile(os.path.join(top, f))]
    return sorted(found)


def main(argv):
    if len(argv) < 3:
        sys.exit(__doc__)
    out = argv[1]
    os.makedirs(out, exist_ok=True)
    for f in os.listdir(out):
        if f.endswith(".rgba") or f.startswith("manifest"):
            os.remove(os.path.join(out, f))
    lines = []
    for spec in argv[2:]:
        name, _, where = spec.partition("=")
        recursive = where.endswith(":recursive")
        if recursive:
            where = where[:-len(":recursive")]
        files = pngs(where, recursive)
        if not files:
            sys.exit("png_oracle: no PNG files in %s" % where)
        lines.append("set\t%s\t%s\t%d" % (name, where, len(files)))
        for rel in files:
            try:
                w, h, data = decode(os.path.join(where, rel))
            except Exception as e:  # any refusal of the reference decoder
                reason = ("%s: %s" % (type(e).__name__, e)).replace("\t", " ").replace("\n", " ")
                lines.append("fail\t%s\t%s\t%s" % (name, rel, reason[:200]))
                continue
            raw = "%s__%s.rgba" % (name, rel.replace(os.sep, "__"))
            with open(os.path.join(out, raw), "wb") as f:
                f.write(data)
            lines.append("ok\t%s\t%s\t%d\t%d\t%s" % (name, rel, w, h, raw))
    tmp = os.path.join(out, "manifest.tmp")
    with open(tmp, "w") as f:
        f.write("\n".join(lines) + "\n")
    os.replace(tmp, os.path.join(out, "manifest.txt"))
    good = sum(1 for l in lines if l.startswith("ok\t"))
    bad = sum(1 for l in lines if l.startswith("fail\t"))
    print("png_oracle: %d decoded, %d refused, into %s" % (good, bad, out))


if __name__ == "__main__":
    main(sys.argv)
