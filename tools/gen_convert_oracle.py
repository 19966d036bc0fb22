#!/usr/bin/env python3
"""Prints what the text converters must give, computed by Python's codecs.

    python3 tools/gen_convert_oracle.py > expectations.txt
    python3 tools/gen_convert_oracle.py expectations.txt
    python3 tools/gen_convert_oracle.py --only sjistoutf8 expectations.txt

The converter tests run this at test time and replay every line against the
C++ functions.  The characters come from Python's own codecs and never from
our generated tables:
  - "shift_jis_2004" decodes Shift_JIS codes and (separately) encodes code
    points, with the three changes the program makes to it (0x815C <->
    U+2014, 0x81D4 <-> U+FF5F, 0x81D5 <-> U+FF60);
  - "cp932" decodes the codes of the compatibility list;
  - "utf-8" with "surrogatepass" and "utf-16-le" give the Unicode forms.
What is taken from the program's own rules is only the walk: which bytes
are leads, what a status becomes, which marker is printed.

One line per case:  FUNC INPUT OUTPUT RESULT PRINTED
INPUT and OUTPUT are hex bytes (UTF-16 strings as UTF-16LE), without the
terminator; OUTPUT and PRINTED are "-" when empty; PRINTED is the hex of what
the call prints on standard output.  Covered: every single byte, every
double-byte code under every lead of 0x80-0x9F and 0xE0-0xFC (and each lead
alone), every UTF-16 unit 0x0001-0xFFFF, and a spread of code points beyond
U+FFFF.  sjis2wstr cases assume the system's lead bytes are those of code
page 932 (0x81-0x9F and 0xE0-0xFC).
"""

import sys

DEVIATIONS = {0x815C: 0x2014, 0x81D4: 0xFF5F, 0x81D5: 0xFF60}
DEVIATED_CPS = {0x2014: 0x815C, 0x2015: None, 0x2985: None, 0x2986: None,
                0xFF5F: 0x81D4, 0xFF60: 0x81D5}
# The Shift_JIS codes of the two-way compatibility list; their code points
# come from cp932.
COMPAT_CODES = [0x815C, 0x815F, 0x8160, 0x8161, 0x817C, 0x8191, 0x8192, 0x81CA,
                0x8790, 0x8791, 0x8792, 0x8794, 0x8795, 0x8796, 0x8797,
                0x879A, 0x879B, 0x879C]
LEADS = list(range(0x80, 0xA0)) + list(range(0xE0, 0xFD))


def sjis_decode(code):
    """Shift_JIS-2004 code -> code point, or None (two-character codes too)."""
    if code in DEVIATIONS:
        return DEVIATIONS[code]
    bs = bytes([code]) if code < 0x100 else bytes([code >> 8, code & 0xFF])
    try:
        s = bs.decode("shift_jis_2004")
    except UnicodeDecodeError:
        return None
    if len(s) != 1 or s == "\0":
        return None
    return ord(s)


def sjis_encode(cp):
    """Code point -> Shift_JIS-2004 code, or None."""
    if cp in DEVIATED_CPS:
        return DEVIATED_CPS[cp]
    if 0xD800 <= cp <= 0xDFFF or cp == 0:
        return None
    try:
        bs = chr(cp).encode("shift_jis_2004")
    except UnicodeEncodeError:
        return None
    return int.from_bytes(bs, "big")


COMPAT_DEC = {c: ord(bytes([c >> 8, c & 0xFF]).decode("cp932")) for c in COMPAT_CODES}
COMPAT_ENC = {cp: c for c, cp in COMPAT_DEC.items()}
COMPAT_ENC[0x301C] = 0x8160  # towards Shift_JIS only


def utf8(cp):
    return chr(cp).encode("utf-8", "surrogatepass")


def le16(units):
    return b"".join(u.to_bytes(2, "little") for u in units)


def utf16(cp):
    return chr(cp).encode("utf-16-le", "surrogatepass")


def sjis_bytes(code):
    if code is None:
        return b"?"
    return bytes([code]) if code < 0x100 else bytes([code >> 8, code & 0xFF])


def low_trail(lead, trail):
    return "[%02X %02X(x)](2nd byte==0x00-3F) " % (lead, trail)


def marker(code):
    return "<<<uni%06X:sjis%06X>>>" % (0, code)


def sjis_walk(bs):
    """The Shift_JIS walker: [(cp or None, code, low-trail message printed
    after the character)] and the status."""
    chars, st, out = [], 7, []
    i = 0
    while i < len(bs):
        b = bs[i]
        i += 1
        if b < 0x80:
            chars.append((b, b, ""))
        elif 0xA0 <= b <= 0xDF:
            chars.append((sjis_decode(b) or b, b, ""))
        elif b >= 0xFD:
            st |= 8
        else:
            if i == len(bs):
                st &= 3
                break
            t = bs[i]
            i += 1
            code = b * 256 + t
            if b == 0x80:
                chars.append((None, code, ""))
                st &= 2
                continue
            if b <= 0x9F:
                cp = COMPAT_DEC.get(code) or sjis_decode(code)
            else:
                cp = sjis_decode(code)
                st |= 8
            after = ""
            if t < 0x40:
                after = low_trail(b, t)
                st &= 1
            chars.append((cp, code, after))
    return chars, st


def hx(bs):
    return bs.hex() if bs else "-"


def line(out, func, inp, outp, result, printed=""):
    out.append("%s %s %s %d %s" % (func, hx(inp), hx(outp), result, hx(printed.encode("ascii"))))


def sjis_cases(out):
    inputs = [bytes([b]) for b in range(1, 0x100)]
    for lead in LEADS:
        inputs.append(bytes([lead]))
        inputs.extend(bytes([lead, t]) for t in range(1, 0x100))
    for bs in inputs:
        chars, st = sjis_walk(bs)
        o8, p8, o16, p16 = b"", "", b"", ""
        for cp, code, after in chars:
            if cp is None:
                p8 += marker(code)
                o16 += b"?\0"
            else:
                o8 += utf8(cp)
                o16 += utf16(cp)
            p8 += after
            p16 += after
        line(out, "sjistoutf8", bs, o8, st, p8)
        line(out, "sjistoutf16", bs, o16, st, p16)

        # The plain 8-bit to 16-bit converter, with code page 932's leads.
        ow, i = b"", 0
        while i < len(bs):
            b = bs[i]
            i += 1
            if 0x81 <= b <= 0x9F or 0xE0 <= b <= 0xFC:
                if i == len(bs):
                    break
                cp = sjis_decode(b * 256 + bs[i])
                i += 1
                ow += utf16(cp) if cp else b"?\0"
            elif b < 0x80:
                ow += le16([b])
            else:
                ow += le16([sjis_decode(b) or b])
        line(out, "sjis2wstr", bs, ow, len(bs))


def unit_cases(out):
    for u in range(1, 0x10000):
        w = le16([u])
        plain = sjis_encode(u)
        compat = COMPAT_ENC.get(u, plain)
        high = 0xD800 <= u <= 0xDBFF
        if u <= 0x7F:
            to_sjis = bytes([u])
        else:
            to_sjis = sjis_bytes(compat)
        line(out, "utf16tosjis", w, to_sjis, 2)
        line(out, "utf8tosjis", utf8(u), to_sjis, 7)
        line(out, "wstr2sjis", w, bytes([u]) if u < 0x100 else sjis_bytes(plain), 1)
        line(out, "chkwstrsjis", w, b"", 0 if u < 0x100 or plain is not None else -1)
        line(out, "wstrtoutf8", w, b"?" if high else utf8(u), 2)
        line(out, "utf8towstr", utf8(u), w, 7)
        if u != 0x5C:
            line(out, "utf8unesc", utf8(u), utf8(u), 7)
        esc = ("\\u%04X" if u % 2 else "\\u%04x") % u
        line(out, "utf8unesc", esc.encode("ascii"), utf8(u) if plain else b"?", 7, "(0x5C)")


def beyond_cases(out):
    cps = set(range(0x10000, 0x110000, 0x3F1)) | {0x10000, 0x1F600, 0x10FFFF}
    for code in list(range(0x8000, 0xA000)) + list(range(0xE000, 0xFD00)):
        cp = sjis_decode(code)
        if cp and cp > 0xFFFF:
            cps.add(cp)
    for cp in sorted(cps):
        w = utf16(cp)
        line(out, "wstrtoutf8", w, utf8(cp), 4)
        line(out, "utf16tosjis", w, b"?", 4)
        line(out, "wstr2sjis", w, b"??", 2)
        line(out, "chkwstrsjis", w, b"", -1)
        line(out, "utf8towstr", utf8(cp), le16([ord(c) for c in "x%06X" % cp]), 7)
        line(out, "utf8tosjis", utf8(cp), b"?", 7)
        line(out, "utf8unesc", utf8(cp), utf8(cp), 7)


def main():
    # The list's code points must be what the program's compatibility table
    # says they are; a codec that disagreed would make every line suspect.
    want = [0x2015, 0xFF3C, 0xFF5E, 0x2225, 0xFF0D, 0xFFE0, 0xFFE1, 0xFFE2, 0x2252,
            0x2261, 0x222B, 0x2211, 0x221A, 0x22A5, 0x2220, 0x2235, 0x2229, 0x222A]
    if [COMPAT_DEC[c] for c in COMPAT_CODES] != want:
        sys.exit("gen_convert_oracle: cp932 decodes the compatibility codes unexpectedly")
    args = sys.argv[1:]
    only = None
    if len(args) >= 2 and args[0] == "--only":
        only = args[1]
        args = args[2:]
    out = []
    sjis_cases(out)
    unit_cases(out)
    beyond_cases(out)
    if only is not None:
        out = [l for l in out if l.startswith(only + " ")]
        if not out:
            sys.exit("gen_convert_oracle: no function named %s" % only)
    text = "\n".join(out) + "\n"
    if args:
        with open(args[0], "w", encoding="ascii", newline="\n") as f:
            f.write(text)
    else:
        sys.stdout.write(text)


if __name__ == "__main__":
    main()
