#!/usr/bin/env python3
"""Writes the inputs of the file converters and what they must give, computed
by Python's codecs, with glibc's iconv beside them.

    python3 tools/gen_filecvt_oracle.py DIR

The file converter tests run this at test time into a temporary DIR, run the
converters once over each input file and compare line by line.  Files:

  sjis_in.bin    every single byte 0x00-0x7F (but LF) and 0xA0-0xDF, then
                 every double-byte code with a lead 0x81-0x9F or 0xE0-0xFC
                 and a trail 0x40-0xFC; each followed by LF.
  sjis_want.txt  one line per input line: CODE PYTHON ICONV0213 ICONV932,
                 where PYTHON is what sjisfile2utf8 must write (hex), the
                 others what glibc's SHIFT_JISX0213 and CP932 decoders give
                 ("-" when they refuse).
  utf8_in.bin    every code point U+0000-U+FFFF but U+000A in UTF-8
                 (surrogates as three-byte forms), each followed by LF.
  utf8_want.txt  CP PYTHON ICONV932 ICONV0213: what utf8file2sjis must
                 write, and what glibc's CP932 and SHIFT_JISX0213 encoders
                 give ("-" when they refuse).
  counts.txt     NAME COUNT lines the test checks, so that a generator that
                 lost cases cannot pass.

The characters come from Python's "shift_jis_2004" (with the three changes
the program makes: 0x815C <-> U+2014, 0x81D4 <-> U+FF5F, 0x81D5 <-> U+FF60)
and "cp932" for the compatibility list, never from our generated tables;
what is taken from the program's own rules is only the walk: which bytes are
leads, and the marker texts "<<<uni%06X>>>" and "<<<uni%06X:sjis%06X>>>".
A line end inside an output cannot occur (trail bytes are 0x40 and up, and
UTF-8 continuation bytes and the markers hold no LF), so the outputs split
at LF into one piece per input line.

iconv is reached through ctypes in the C library itself.
"""

import ctypes
import ctypes.util
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from gen_convert_oracle import COMPAT_DEC, COMPAT_ENC, sjis_decode, sjis_encode  # noqa: E402

LEADS = list(range(0x81, 0xA0)) + list(range(0xE0, 0xFD))
TRAILS = range(0x40, 0xFD)


class Iconv:
    """One glibc iconv conversion, reset before every call."""

    def __init__(self, to, frm):
        libc = ctypes.CDLL(ctypes.util.find_library("c"), use_errno=True)
        libc.iconv_open.restype = ctypes.c_void_p
        libc.iconv_open.argtypes = [ctypes.c_char_p, ctypes.c_char_p]
        pp = ctypes.POINTER(ctypes.POINTER(ctypes.c_char))
        ps = ctypes.POINTER(ctypes.c_size_t)
        libc.iconv.restype = ctypes.c_size_t
        libc.iconv.argtypes = [ctypes.c_void_p, pp, ps, pp, ps]
        self.libc = libc
        self.cd = libc.iconv_open(to.encode(), frm.encode())
        if self.cd in (None, ctypes.c_void_p(-1).value):
            sys.exit("gen_filecvt_oracle: iconv has no %s -> %s" % (frm, to))

    def __call__(self, data):
        libc, cd = self.libc, self.cd
        libc.iconv(cd, None, None, None, None)
        inbuf = ctypes.create_string_buffer(data, len(data))
        inp = ctypes.cast(inbuf, ctypes.POINTER(ctypes.c_char))
        inleft = ctypes.c_size_t(len(data))
        out = ctypes.create_string_buffer(64)
        outp = ctypes.cast(out, ctypes.POINTER(ctypes.c_char))
        outleft = ctypes.c_size_t(64)
        bad = ctypes.c_size_t(-1).value
        if libc.iconv(cd, ctypes.byref(inp), ctypes.byref(inleft), ctypes.byref(outp), ctypes.byref(outleft)) == bad:
            return None
        # The stateful decoders hold a character back until they know no
        # combining mark follows: flush it.
        if libc.iconv(cd, None, None, ctypes.byref(outp), ctypes.byref(outleft)) == bad:
            return None
        return out.raw[:64 - outleft.value]


def utf8(cp):
    return chr(cp).encode("utf-8", "surrogatepass")


def hx(bs):
    return bs.hex() if bs else "-"


def sjis_to_utf8(code):
    """What sjisfile2utf8 writes for one single byte or double-byte code."""
    if code < 0x80:
        return bytes([code])
    if code < 0x100:
        cp = sjis_decode(code) or code  # 0xA0 keeps its own value
        return utf8(cp)
    cp = COMPAT_DEC.get(code) if code >> 8 <= 0x9F else None
    cp = cp or sjis_decode(code)
    if cp is None:
        return ("<<<uni%06X:sjis%06X>>>" % (0, code)).encode("ascii")
    return utf8(cp)


def utf8_to_sjis(cp):
    """What utf8file2sjis writes for one code point of the BMP."""
    if cp < 0x80:
        return bytes([cp])
    code = COMPAT_ENC.get(cp) if cp >= 0x800 else None  # three-byte forms only
    if code is None:
        code = sjis_encode(cp)
    if code is None:
        return ("<<<uni%06X>>>" % cp).encode("ascii")
    return bytes([code]) if code < 0x100 else bytes([code >> 8, code & 0xFF])


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: gen_filecvt_oracle.py DIR")
    out = sys.argv[1]
    dec0213 = Iconv("UTF-8", "SHIFT_JISX0213")
    dec932 = Iconv("UTF-8", "CP932")
    enc0213 = Iconv("SHIFT_JISX0213", "UTF-8")
    enc932 = Iconv("CP932", "UTF-8")
    counts = {}

    codes = [b for b in range(0x80) if b != 0x0A] + list(range(0xA0, 0xE0))
    codes += [lead * 256 + t for lead in LEADS for t in TRAILS]
    sin, swant = bytearray(), []
    for code in codes:
        bs = bytes([code]) if code < 0x100 else bytes([code >> 8, code & 0xFF])
        sin += bs + b"\n"
        mine = sjis_to_utf8(code)
        swant.append("%04X %s %s %s" % (code, hx(mine), hx(dec0213(bs) or b""), hx(dec932(bs) or b"")))
        if code >= 0x100:
            counts["sjis_double"] = counts.get("sjis_double", 0) + 1
            if mine.startswith(b"<<<"):
                counts["sjis_marker"] = counts.get("sjis_marker", 0) + 1
    counts["sjis_lines"] = len(codes)

    uin, uwant = bytearray(), []
    for cp in range(0x10000):
        if cp == 0x0A:
            continue
        u = utf8(cp)
        uin += u + b"\n"
        mine = utf8_to_sjis(cp)
        if mine.startswith(b"<<<"):
            counts["utf8_marker"] = counts.get("utf8_marker", 0) + 1
        uwant.append("%04X %s %s %s" % (cp, hx(mine), hx(enc932(u) or b""), hx(enc0213(u) or b"")))
    counts["utf8_lines"] = len(uwant)

    with open(os.path.join(out, "sjis_in.bin"), "wb") as f:
        f.write(sin)
    with open(os.path.join(out, "utf8_in.bin"), "wb") as f:
        f.write(uin)
    for name, lines in (("sjis_want.txt", swant), ("utf8_want.txt", uwant)):
        with open(os.path.join(out, name), "w", encoding="ascii", newline="\n") as f:
            f.write("\n".join(lines) + "\n")
    with open(os.path.join(out, "counts.txt"), "w", encoding="ascii", newline="\n") as f:
        for k in sorted(counts):
            f.write("%s %d\n" % (k, counts[k]))


if __name__ == "__main__":
    main()
