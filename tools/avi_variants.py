#!/usr/bin/env python3
"""Writes layout variants of an AVI 1.0 movie, for the toolkit tests.

    avi_variants.py MOVIE OUTDIR STEM

MOVIE is a movie the program wrote: one RIFF 'AVI ' chunk with hdrl (avih,
the video strl and, when it has sound, the audio strl), one JUNK or JUNQ,
movi (the frames, then at most one '01wb' chunk) and idx1, then the 'them'
trailer (24-bit movies) and zero fill.  Each variant is written as
OUTDIR/STEM-NAME.avi, rebuilt from the parsed movie with every size and
index offset recomputed, so each one differs from the program's layout in
exactly the way its name says:

    abs-idx1       idx1 offsets are absolute file positions
    no-idx1        no idx1 chunk
    rec-list       the first frame (and the sound) inside a LIST 'rec '
    two-movi       the frames split over two movi lists, the sound in the second
    padded-odd     the (odd-sized) sound chunk between the first two frames,
                   followed by a RIFF pad byte
    three-streams  a second copy of the audio strl, dwStreams 3
    audio-first    the audio strl before the video strl: '00wb' and '01db'
    junk-116       no sound, a JUNK of 116 bytes
    junk-115       no sound, a JUNK of 115 bytes
    no-junk        no sound, no JUNK
    short-avih     an avih whose size says 52 bytes (56 follow)
    long-strh      a video strh of 60 bytes
    zero-rate      dwMicroSecPerFrame 0

Variants that need sound are left out for a movie without it.  The last line
printed is "variants: N".  Anyone can rerun it; only the standard library is
used.
"""

import struct
import sys


def u32(b, p):
    return struct.unpack_from("<I", b, p)[0]


RAW = b"raw!"  # an item of bytes written as they are, not a chunk


def parse(b, p, end):
    """The chunks from p to end: (fcc, data) or (fcc, type, kids) for lists."""
    out = []
    while p + 8 <= end:
        fcc = b[p:p + 4]
        size = u32(b, p + 4)
        if fcc in (b"LIST", b"RIFF"):
            out.append((fcc, b[p + 8:p + 12], parse(b, p + 12, p + 8 + size)[0]))
        else:
            out.append((fcc, b[p + 8:p + 8 + size]))
        p += 8 + size
    return out, p


def ser(item, pad=False):
    if item[0] == RAW:
        return item[1]
    if len(item) == 3:
        body = item[1] + b"".join(ser(k, pad) for k in item[2])
    else:
        body = item[1]
    out = item[0] + struct.pack("<I", len(body)) + body
    if pad and len(body) & 1:
        out += b"\0"
    return out


def build(hdrl, before, movis, idx1, tail, padded=()):
    """The file: RIFF 'AVI ' of hdrl, the items before movi, the movi lists
    (each a list of chunks, a chunk with id in padded followed by a pad byte),
    idx1 ('rel', 'abs' or None), then the tail bytes and zero fill to 512."""
    head = ser((b"LIST", b"hdrl", hdrl)) + b"".join(ser(k) for k in before)
    pos = 12 + len(head)
    moviblobs = []
    entries = []
    base = None
    for chunks in movis:
        movi4 = pos + 8
        if base is None:
            base = movi4
        body = b"movi"
        for c in chunks:
            cpos = movi4 + len(body)
            if len(c) == 3:  # a 'rec ' list: index its chunks
                sub = cpos + 12
                for k in c[2]:
                    entries.append((k[0], sub, len(k[1])))
                    sub += 8 + len(k[1])
            else:
                entries.append((c[0], cpos, len(c[1])))
            body += ser(c, pad=(len(c) == 2 and c[0] in padded))
        blob = b"LIST" + struct.pack("<I", len(body)) + body
        moviblobs.append(blob)
        pos += len(blob)
    idx = b""
    if idx1:
        data = b""
        for fcc, p, n in entries:
            off = p if idx1 == "abs" else p - base
            data += fcc + struct.pack("<III", 0x10, off, n)
        idx = b"idx1" + struct.pack("<I", len(data)) + data
    body = b"AVI " + head + b"".join(moviblobs) + idx
    out = b"RIFF" + struct.pack("<I", len(body)) + body + tail
    return out + b"\0" * (512 - len(out) % 512)


def patch32(data, off, v):
    return data[:off] + struct.pack("<I", v) + data[off + 4:]


def main():
    movie, outdir, stem = sys.argv[1:4]
    b = open(movie, "rb").read()
    top, end = parse(b, 0, len(b))
    riff = top[0]
    tail = b[end:end + 8] if b[end:end + 4] == b"them" else b""
    kids = riff[2]
    hdrl = next(k for k in kids if len(k) == 3 and k[1] == b"hdrl")[2]
    junk = [k for k in kids if len(k) == 2 and k[0] in (b"JUNK", b"JUNQ")]
    movi = next(k for k in kids if len(k) == 3 and k[1] == b"movi")[2]
    avih = hdrl[0]
    vstrl = hdrl[1]
    astrl = hdrl[2] if len(hdrl) > 2 else None
    frames = [c for c in movi if c[0][2:] in (b"db", b"dc")]
    sound = [c for c in movi if c[0][2:] == b"wb"]

    out = {}
    out["abs-idx1"] = build(hdrl, junk, [movi], "abs", tail)
    out["no-idx1"] = build(hdrl, junk, [movi], None, tail)
    rec = (b"LIST", b"rec ", [frames[0]] + sound)
    out["rec-list"] = build(hdrl, junk, [[rec] + frames[1:]], "rel", tail)
    half = max(1, len(frames) // 2)
    out["two-movi"] = build(hdrl, junk, [frames[:half], frames[half:] + sound], "rel", tail)
    # The header's last 4 bytes follow it outside the chunk, so that a reader
    # of the fixed 56-byte layout stays aligned while the size says 52.
    out["short-avih"] = build([(b"avih", avih[1][:52]), (RAW, avih[1][52:])] + hdrl[1:], junk, [movi], "rel", tail)
    vstrh = vstrl[2][0]
    longv = (b"LIST", b"strl", [(b"strh", vstrh[1] + b"\xAA" * 4)] + vstrl[2][1:])
    out["long-strh"] = build([avih, longv] + hdrl[2:], junk, [movi], "rel", tail)
    out["zero-rate"] = build([(b"avih", patch32(avih[1], 0, 0))] + hdrl[1:], junk, [movi], "rel", tail)

    mute_avih = (b"avih", patch32(avih[1], 24, 1))
    mute = [mute_avih, vstrl]
    for n in (116, 115):
        out["junk-%d" % n] = build(mute, [(junk[0][0], b"\0" * n)], [frames], "rel", tail)
    out["no-junk"] = build(mute, [], [frames], "rel", tail)

    if astrl is not None and sound:
        if len(sound[0][1]) & 1:
            out["padded-odd"] = build(hdrl, junk, [[frames[0]] + sound + frames[1:]], "rel", tail,
                                      padded=(sound[0][0],))
        three = [(b"avih", patch32(avih[1], 24, 3)), vstrl, astrl, astrl]
        out["three-streams"] = build(three, junk, [movi], "rel", tail)
        renamed = []
        for c in movi:
            if c[0][2:] == b"wb":
                renamed.append((b"00wb", c[1]))
            else:
                renamed.append((b"01" + c[0][2:], c[1]))
        out["audio-first"] = build([avih, astrl, vstrl], junk, [renamed], "rel", tail)

    for name, data in out.items():
        with open("%s/%s-%s.avi" % (outdir.rstrip("/"), stem, name), "wb") as f:
            f.write(data)
        print("%s-%s.avi %d" % (stem, name, len(data)))
    print("variants: %d" % len(out))


if __name__ == "__main__":
    main()
