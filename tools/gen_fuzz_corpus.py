#!/usr/bin/env python3
"""Writes the generated seeds of the fuzz targets: fuzz/corpus/<target>/gen-*.

Generated automatically; do not edit the gen-* files by hand, rerun this
script (tools/fuzz.sh reruns it into a scratch folder and fails when the
result differs from the files in the repository).  Other files in the corpus
folders (inputs that once crashed a target, found-*) are kept as they are.

Usage: gen_fuzz_corpus.py [OUTDIR]   (default: fuzz/corpus beside this script)

Every seed is small (a few hundred bytes) and chosen to reach one path of its
reader: each PNG colour type and bit depth, interlacing, a preamble, several
IDAT chunks; the WAV chunks the scanner knows and a few it must skip or
refuse; list lines of each ending and length; and the switches of the
string targets, whose first byte picks what is run.
"""
import os
import struct
import sys
import zlib


# ---- PNG ------------------------------------------------------------------------

def chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)


CHANNELS = {0: 1, 2: 3, 3: 1, 4: 2, 6: 4}
ADAM7 = [(0, 0, 8, 8), (4, 0, 8, 8), (0, 4, 4, 8), (2, 0, 4, 4), (0, 2, 2, 4), (1, 0, 2, 2), (0, 1, 1, 2)]


def scanlines(width, height, bits, seed):
    """Rows of filtered data: each row its own filter type, bytes from a
    small deterministic sequence (any bytes decode under every filter)."""
    rowbytes = (width * bits + 7) // 8
    out = bytearray()
    v = seed
    for y in range(height):
        out.append(y % 5)
        for _ in range(rowbytes):
            v = (v * 1103515245 + 12345) & 0x7FFFFFFF
            out.append((v >> 16) & 0xFF)
    return bytes(out)


def png(width, height, ctype, depth, interlace=False, plte=None, trns=None, idat_parts=1,
        preamble=False, extra=b"", seed=1):
    bits = CHANNELS[ctype] * depth
    if interlace:
        raw = b""
        for x0, y0, dx, dy in ADAM7:
            pw = (width - x0 + dx - 1) // dx
            ph = (height - y0 + dy - 1) // dy
            if pw > 0 and ph > 0:
                raw += scanlines(pw, ph, bits, seed + x0 + 8 * y0)
    else:
        raw = scanlines(width, height, bits, seed)
    z = zlib.compress(raw, 9)
    out = b"\x89PNG\r\n\x1a\n"
    out += chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, depth, ctype, 0, 0, int(interlace)))
    if plte is not None:
        out += chunk(b"PLTE", plte)
    if trns is not None:
        out += chunk(b"tRNS", trns)
    out += extra
    step = (len(z) + idat_parts - 1) // idat_parts
    for i in range(0, len(z), step):
        out += chunk(b"IDAT", z[i:i + step])
    out += chunk(b"IEND", b"")
    if preamble:
        out = bytes(range(128)).replace(b"\x89", b"\x88") + out
    return out


def palette(n):
    return bytes((i * 37 + c * 91) & 0xFF for i in range(n) for c in range(3))


def png_seeds():
    return {
        "gray1-33x2": png(33, 2, 0, 1),
        "gray2": png(5, 3, 0, 2),
        "gray4-interlaced": png(9, 9, 0, 4, interlace=True),
        "gray8-key": png(4, 3, 0, 8, trns=struct.pack(">H", 7)),
        "gray16": png(3, 3, 0, 16),
        "palette1": png(17, 2, 3, 1, plte=palette(2)),
        "palette4-trns": png(6, 4, 3, 4, plte=palette(16), trns=bytes([0, 128, 255, 7])),
        "palette8": png(4, 4, 3, 8, plte=palette(256)),
        "rgb8-3x3": png(3, 3, 2, 8),
        "rgb8-interlaced": png(9, 7, 2, 8, interlace=True),
        "rgb16-key": png(3, 2, 2, 16, trns=struct.pack(">HHH", 1, 2, 3)),
        "graya8": png(4, 2, 4, 8),
        "graya16": png(2, 2, 4, 16),
        "rgba8": png(4, 4, 6, 8, extra=chunk(b"sBIT", bytes([5, 6, 5, 8])) + chunk(b"gAMA", struct.pack(">I", 45455))),
        "rgba16-interlaced": png(5, 5, 6, 16, interlace=True),
        "rgb8-preamble": png(3, 2, 2, 8, preamble=True),
        "rgb8-idat-split": png(8, 8, 2, 8, idat_parts=4),
        "ihdr-only": png(1, 1, 0, 8)[:33],
    }


# ---- WAV ------------------------------------------------------------------------

def riff_chunk(kind, data, pad=False):
    out = kind + struct.pack("<I", len(data)) + data
    if pad and len(data) % 2:
        out += b"\0"
    return out


def fmt(tag=1, ch=2, rate=44100, bits=16, size=16, extra=b""):
    align = (ch * bits // 8) & 0xFFFF
    body = struct.pack("<HHIIHH", tag, ch, rate, (rate * align) & 0xFFFFFFFF, align, bits)
    if size >= 18:
        body += struct.pack("<H", len(extra)) + extra
    return riff_chunk(b"fmt ", body[:size] + b"\0" * max(0, size - len(body)))


def wav(*chunks, riff_size=None, preamble=False):
    body = b"WAVE" + b"".join(chunks)
    out = b"RIFF" + struct.pack("<I", len(body) if riff_size is None else riff_size) + body
    if preamble:
        out = bytes(128) + out
    return out


def wav_seeds():
    samples = bytes(range(16))
    return {
        "canonical": wav(fmt(), riff_chunk(b"data", samples)),
        "preamble": wav(fmt(ch=1, bits=8), riff_chunk(b"data", samples), preamble=True),
        "fmt18": wav(fmt(size=18), riff_chunk(b"data", samples)),
        "fmt40-extensible": wav(fmt(tag=0xFFFE, size=40, extra=bytes(22)), riff_chunk(b"data", samples)),
        "fact4": wav(fmt(), riff_chunk(b"fact", struct.pack("<I", 3)), riff_chunk(b"data", samples)),
        "fact12": wav(fmt(), riff_chunk(b"fact", bytes(12)), riff_chunk(b"data", samples)),
        "list-odd-junk": wav(riff_chunk(b"JUNK", bytes(5)), fmt(),
                             riff_chunk(b"LIST", b"INFOx", pad=True), riff_chunk(b"data", samples)),
        "unknown-chunk": wav(fmt(), riff_chunk(b"abcd", bytes(3)), riff_chunk(b"data", samples),
                             riff_chunk(b"iwem", b"x", pad=True)),
        "fmt14-refused": wav(fmt(size=14), riff_chunk(b"data", samples)),
        "data-past-end": wav(fmt(), b"data" + struct.pack("<I", 1000) + samples),
        "riff-size-past-end": wav(fmt(), riff_chunk(b"data", samples), riff_size=4000),
        "no-wave": b"RIFF" + struct.pack("<I", 4) + b"AVI ",
        "bits-ffff": wav(fmt(ch=0xFFFF, bits=0xFFFF), riff_chunk(b"data", samples)),
    }


# ---- AVI ------------------------------------------------------------------------

def avi_list(kind, *kids):
    body = kind + b"".join(kids)
    return b"LIST" + struct.pack("<I", len(body)) + body


def bitmap_header(width, height, bits, compression=0, size=40, colors=0, masks=None):
    if size == 12:
        return struct.pack("<IHHHH", 12, width, height, 1, bits)
    h = struct.pack("<IiiHHIIiiII", size, width, height, 1, bits, compression, 0, 2835, 2835,
                    colors, 0)
    if size >= 52 or masks:
        h += struct.pack("<III", *(masks or (0xFF0000, 0xFF00, 0xFF)))
    if size >= 56:
        h += struct.pack("<I", 0xFF000000)
    return h + bytes(max(0, size - len(h))) if size > 40 else h


def avi(frames, width, height, bits=24, compression=0, hdrsize=40, palette=b"", masks=None,
        sound=None, absolute=False, rec=False, junk=True, odml=False):
    """A small AVI 1.0 movie: hdrl (avih, the video strl, the audio strl when
    there is sound), JUNK, movi (the frames as '00db', the sound as one
    '01wb'), idx1 counted from 'movi' (or absolute)."""
    n = len(frames)
    biggest = max([len(f) for f in frames] + [0])
    avih = struct.pack("<IIIIIIIIII", 33333, 0, 0, 0x10, n, 0, 2 if sound else 1, biggest,
                       width, abs(height)) + bytes(16)
    strh = lambda kind, handler, scale, rate, length, buf, ss: (
        kind + handler + struct.pack("<IHHIIIIIIiI", 0, 0, 0, 0, scale, rate, 0, length, buf,
                                     -1, ss) + struct.pack("<hhhh", 0, 0, width, abs(height)))
    colors = len(palette) // 4
    strf = bitmap_header(width, height, bits, compression, hdrsize, colors, masks) + palette
    strls = [avi_list(b"strl", riff_chunk(b"strh", strh(b"vids", b"DIB ", 1, 30, n, biggest, 0)),
                      riff_chunk(b"strf", strf))]
    if odml:
        strls[0] += riff_chunk(b"indx", bytes(24))
    if sound:
        ch, rate, bps, data = sound
        align = ch * bps // 8
        strls.append(avi_list(b"strl", riff_chunk(b"strh", strh(b"auds", bytes(4), align, rate * align,
                                                                len(data) // align, len(data), align)),
                              riff_chunk(b"strf", struct.pack("<HHIIHHH", 1, ch, rate, rate * align,
                                                              align, bps, 0))))
    hdrl = [riff_chunk(b"avih", avih)] + strls
    if odml:
        hdrl.append(avi_list(b"odml", riff_chunk(b"dmlh", struct.pack("<I", n) + bytes(244))))
    head = b"RIFF" + b"\0\0\0\0" + b"AVI " + avi_list(b"hdrl", *hdrl)
    if junk:
        head += riff_chunk(b"JUNK", bytes(16))
    chunks = [(b"00db", f) for f in frames]
    if sound:
        chunks.append((b"01wb", sound[3]))
    movi_start = len(head) + 8   # the 'movi' fourcc
    body = b""
    index = b""
    for i, (fcc, data) in enumerate(chunks):
        if rec and i == 0:
            body += b"LIST" + struct.pack("<I", 4 + 8 + len(data)) + b"rec "
        pos = movi_start + 4 + len(body)
        index += fcc + struct.pack("<III", 0x10, pos if absolute else pos - movi_start, len(data))
        body += riff_chunk(fcc, data)
    out = bytearray(head + avi_list(b"movi", body) + riff_chunk(b"idx1", index))
    out[4:8] = struct.pack("<I", len(out) - 8)
    return bytes(out)


def avi_seeds():
    rgb = lambda w, h, bpp, seed: bytes((seed * 7 + i * 13) & 0xFF
                                        for i in range(((w * bpp + 31) // 32) * 4 * abs(h)))
    pal = lambda n: bytes((i * 40 + c * 80) & 0xFF if c < 3 else 0 for i in range(n) for c in range(4))
    rle8 = bytes([2, 1, 0, 0, 0, 3, 1, 2, 3, 0, 0, 0, 0, 2, 1, 0, 1, 2, 0, 1])
    rle4 = bytes([3, 0x12, 0, 0, 0, 3, 0x12, 0x30, 0, 0, 0, 1])
    sound = (1, 8000, 8, bytes(range(40)))
    return {
        "rgb24-sound": avi([rgb(3, 2, 24, 1), rgb(3, 2, 24, 2)], 3, 2, sound=sound),
        "rgb24-absolute-rec": avi([rgb(2, 2, 24, 3)], 2, 2, absolute=True, rec=True, sound=sound),
        "rgb32-v4-topdown": avi([rgb(2, 2, 32, 4)], 2, -2, bits=32, compression=3, hdrsize=108),
        "rgb32-v5": avi([rgb(2, 1, 32, 5)], 2, 1, bits=32, hdrsize=124),
        "rgb16-565": avi([rgb(3, 2, 16, 6)], 3, 2, bits=16, compression=3, masks=(0xF800, 0x7E0, 0x1F)),
        "rgb16-555": avi([rgb(3, 2, 16, 7)], 3, 2, bits=16, junk=False),
        "pal8-rle8": avi([rle8, rle8], 4, 3, bits=8, compression=1, palette=pal(4)),
        "pal4-rle4": avi([rle4], 4, 2, bits=4, compression=2, palette=pal(16)),
        "pal2": avi([rgb(5, 2, 2, 8)], 5, 2, bits=2, palette=pal(4)),
        "pal1-core": avi([rgb(9, 2, 1, 9)], 9, 2, bits=1, hdrsize=12, palette=pal(2)[:6]),
        "odml-marks": avi([rgb(2, 2, 24, 10)], 2, 2, odml=True),
        "no-frames": avi([], 2, 2),
        "rgb24-core": avi([rgb(3, 2, 24, 11)], 3, 2, hdrsize=12),
        "rgb24-empty-chunks": avi([b"", rgb(2, 2, 24, 12), b"", b""], 2, 2, sound=sound),
    }

# ---- list.txt ---------------------------------------------------------------------

def list_seeds():
    name63 = b"n" * 59 + b".png"
    return {
        "crlf": b"a.png\r\n//x.png\r\nb.png\r\n",
        "cr-only": b"a.png\rb.png\r",
        "lf-only": b"a.png\nb.png\nc.png",
        "lengths": name63 + b"\r\n" + b"m" + name63 + b"\r\n" + b"oo" + name63 + b"x\r\n",
        "bytes-dropped": b"a\tb.png\r\n\x82\xa0c.png\xff\r\n\x7f.png\r\n\r\n",
        "comments": b"//\r\r\n//x\x1a\ny.png\r//\n\nz.png",
    }


# ---- the string targets: a switch byte, then the payload ---------------------------

def u16(s):
    return s.encode("utf-16-le")


def convert_seeds():
    sjis = b"\x88\x9f\x81\x5c\xb1\x82\xf5\x81\x20\xe0\x40\x80\x41\xfc\xf4\x81"
    utf8 = "A\u301c\uff5e\u00a5\U0001F600".encode() + b"\x80\x41\xc1\x81\\u3042\\/\\x\\&"
    wide = u16("ab\u2015") + b"\x3d\xd8\x00\xde" + b"\x3d\xd8\x41\x00" + b"\x00\xdc" + b"\x3d\xd8"
    return {
        "0-utf8towstr": b"\x00" + utf8,
        "1-utf8tosjis": b"\x01" + utf8,
        "2-utf8unesc": b"\x02" + utf8 + b"\xc0\x80",
        "3-wstrtoutf8": b"\x03" + wide,
        "4-utf16tosjis": b"\x04" + wide,
        "5-sjistoutf8": b"\x05" + sjis,
        "6-sjistoutf16": b"\x06" + sjis,
        "7-sjistoutf8cat": b"\x07" + b"abc\0" + sjis,
        "7-sjistoutf8cat-full": b"\x07" + b"p" * 520 + b"\0" + sjis,
        "8-sjistoutf16cat": b"\x08" + b"abc\0" + sjis,
        "9-utf16cmp": b"\x09" + u16("abcab"),
        "10-sjis2wstr": b"\x0a" + sjis,
        "11-wstr2sjis": b"\x0b" + wide,
        "12-sjis2wstrcat": b"\x0c" + b"ab\0" + sjis,
        "13-wstr2sjiscat": b"\x0d" + b"ab\0" + wide,
        "14-sjisesc2uni": b"\x0e" + b"a&&b&rc&n&v&x\x5c" + sjis + b"&",
    }


def parse_seeds():
    """A program (its length, its top bit asking for code page 932's lead
    bytes, then operation bytes: the operation is the byte modulo 23, the
    buffer size of the string readers its high bits), then the text the
    operations read."""
    ops = lambda *o: bytes([len(o)]) + bytes(o)
    text = (b"width = 640, height=-480 ; hex 1fA\r\n"
            b"rate 29.97% (12.5, 50%) (7) 1 2 3 4\r\n"
            b"\"quoted string\" bare_word;next\r\nline two\x1a")
    return {
        "ints": ops(3, 4, 0, 5, 0, 6) + text,
        "floats": ops(0, 7, 12, 13, 14) + text,
        "strings": ops(8 + 8 * 3, 0, 10 + 8 * 5, 9) + text,
        "params4": ops(15, 16, 17, 18, 19, 20) + text,
        "chars": ops(21, 1, 2, 3, 11) + text,
        "long-numbers": ops(4, 0, 5, 0, 6, 0, 7) + b"123456 99999999999 fffff0 " + b"1" * 130,
        "double-byte": bytes([0x83, 31, 22, 55]) + b"\x83\x5c\x81\x20\x95\x22 x ab\x82\xa0cd",
    }


def filecvt_seeds():
    return {
        "utf8": "A\u301c\uff5e\u00a5\U0001F600 \r\n".encode() + b"\x80\x41\xc0\xaf\xe3\x81",
        "sjis": b"\x88\x9f\x81\x5c\xb1\x82\xf5\x81\x20\xe0\x40\x80\x41\xfc\xf4\xfd\x00\x81",
        "ascii-crlf": b"plain text\r\nline\r\n",
    }


def paths_seeds():
    return {
        "drive": b"\x10C:\\movies\\a.avi\0C:\\a\\d\\\0",
        "relative": b"\x12C:\\a\\b\\c.txt\0C:\\a\\d\\\0",
        "sjis-trail": b"\x11C:\\\x95\x5c\\x.png\0c:\\a\\\0",
        "fields": b"\x14a;b;;c.avi;FP29.97\0avi\0",
        "unc": b"\x10\\\\server\\share\\x\0D:\\y\\\0",
        "numbers": b"\x10frame120\0x-12.5\0",
    }


def cmdline_seeds():
    return {
        "quoted": b"\x00\"C:\\Program Files\\reelkiln.exe\" x -D=3 \"a b\"c\td ",
        "wide": b"\x01" + u16('prog "a b" c\u3042 \\"d'),
        "sjis": b"\x02prog \x81\x22 \x95\x5c\"q\"\n\"ab\"\n\"\n",
        "many": b"\xfcp " + b"w " * 300 + b"\nword\n\"quoted text\"",
    }


def encode_seeds():
    """Planes for the encoder: width - 1, height - 1, the alpha mode (trns 0,
    1 or -1 by its value mod 3; bit 7 takes every pixel's colour from the
    input), colours - 1, the colours (R G B A), then one colour choice a
    pixel."""
    def planes(w, h, mode, colours, pick):
        head = bytes([w - 1, h - 1, mode, len(colours) - 1])
        return head + b"".join(bytes(c) for c in colours) + bytes(pick(i) % len(colours) for i in range(w * h))
    grays = [(v, v, v, 255) for v in range(0, 256, 1)]
    rainbow = [(i * 37 % 256, i * 91 % 256, 255 - i, 255) for i in range(256)]
    return {
        "one-white": planes(1, 1, 0, [(255, 255, 255, 255)], lambda i: 0),
        "two-33-wide": planes(33, 3, 0, [(0, 0, 0, 255), (255, 255, 255, 255)], lambda i: i * 7 // 3),
        "sixteen-8-wide": planes(8, 4, 0, rainbow[:16], lambda i: i),
        "seventeen-4-wide": planes(4, 9, 0, rainbow[:17], lambda i: i * 5),
        "grays-mono": planes(16, 16, 0, grays, lambda i: i * 151),
        "alpha-decided": planes(9, 5, 2, [(10, 20, 30, 0), (40, 50, 60, 128), (1, 2, 3, 255)], lambda i: i),
        "alpha-asked": planes(5, 5, 1, rainbow[:4], lambda i: i),
        "direct-colours": bytes([23, 9, 0x80, 0]) + bytes(range(256)) * 4,
    }


def dialog_seeds():
    """Switches (entry point, code page 932, Yes/No), kind, the filter index
    and error byte the dialog answers, the initial path, the returned path,
    then (console dialog) what is typed."""
    def seed(sw, kind, index, err, init, ret, typed=b""):
        return bytes([sw, kind & 0xFF, index, err]) + init + b"\0" + ret + b"\0" + typed
    long_dir = b"C:\\" + b"d" * 248 + b"\\"
    return {
        "save-image": seed(0, 1, 2, 0, b"C:\\img\\shot.png", b"C:\\img\\shot"),
        "save-longest": seed(0, 7, 1, 0, b"w", long_dir + b"walkers"),
        "save-exists-no": seed(8, 7, 1, 0, b"w.vrma", b"C:\\walk"),
        "save-cancel": seed(0, 0, 0, 0, b"n.txt", b""),
        "open-sjis": seed(5, 3, 0, 0, b"C:\\\x95\x5c\\a.gif", b"C:\\\x95\x5c\\b.gif"),
        "open-failed": seed(1, 1, 0, 0xFF, b"C:\\", b""),
        "open-wide-260": seed(2, 4, 1, 3, b"x" * 260, b"m.vmd"),
        "console-names": seed(3, 0xC1, 0, 0, b"a.png", b"", b"2\n?\nsub\\x\n/tmp\n\x03"),
        "console-eof": seed(3, 0x05, 0, 0, b"", b"", b"9\n\n"),
    }


# ---- AVI frames: one-frame movies of each bitmap form ------------------------------

def bmih(w, h, bits, comp=0, size=40, masks=()):
    hdr = struct.pack("<IiiHHIIiiII", size, w, h, 1, bits, comp, 0, 0, 0, 0, 0)
    extra = b"".join(struct.pack("<I", m) for m in masks)
    return (hdr + extra).ljust(size if size > 40 else len(hdr + extra), b"\0")


def frame_movie(w, h, strf, pixels, fcc=b"00db"):
    """RIFF AVI with hdrl (avih, one video strl), movi (one frame) and idx1."""
    return frames_movie(w, h, strf, [pixels], fcc)


def frames_movie(w, h, strf, frames, fcc=b"00db"):
    """frame_movie with one chunk per entry of frames (b"": an empty chunk)."""
    n = len(frames)
    avih = struct.pack("<14I", 16666, 0, 0, 0x10, n, 0, 1, 0, w, h, 0, 0, 0, 0)
    strh = b"vids" + bytes(4) + struct.pack("<10I4H", 0, 0, 0, 1000, 60000, 0, n, 0, 0xFFFFFFFF, 0, 0, 0, w, h)
    strl = b"strl" + riff_chunk(b"strh", strh) + riff_chunk(b"strf", strf)
    hdrl = b"hdrl" + riff_chunk(b"avih", avih) + riff_chunk(b"LIST", strl)
    movi, idx1 = b"movi", b""
    for pixels in frames:
        idx1 += fcc + struct.pack("<III", 0x10, len(movi), len(pixels))
        movi += riff_chunk(fcc, pixels)
    body = b"AVI " + riff_chunk(b"LIST", hdrl) + riff_chunk(b"LIST", movi) + riff_chunk(b"idx1", idx1)
    return riff_chunk(b"RIFF", body)


def avi_frame_seeds():
    pal16 = bytes(x for i in range(16) for x in (i * 16, 255 - i * 16, i * 8, 0))
    pal256 = bytes(x for i in range(256) for x in (i, 255 - i, i ^ 0x5A, 0))
    os2pal = bytes(x for i in range(16) for x in (i * 16, 255 - i * 16, i * 8))
    # The switch byte: 0x08 frame 0 cut to the last, 0x87 the last frame strict.
    f0, last = b"\x08", b"\x87"
    return {
        "bgr24": f0 + frame_movie(3, 2, bmih(3, 2, 24), bytes(range(24))),
        "bgr24-topdown": last + frame_movie(3, 2, bmih(3, -2, 24), bytes(range(24))),
        "bgra32": f0 + frame_movie(2, 2, bmih(2, 2, 32), bytes(range(16)), b"00dc"),
        "v4-bitfields": f0 + frame_movie(2, 1, bmih(2, 1, 32, 3, 108, (0xFF0000, 0xFF00, 0xFF, 0xFF000000)), bytes(range(8))),
        "v5-plain": last + frame_movie(2, 1, bmih(2, 1, 32, 0, 124), bytes(range(8))),
        "rgb565": f0 + frame_movie(3, 2, bmih(3, 2, 16, 3, 40, (0xF800, 0x7E0, 0x1F)), bytes(range(16))),
        "rgb555": f0 + frame_movie(3, 2, bmih(3, 2, 16), bytes(range(16))),
        "pal1": f0 + frame_movie(33, 2, bmih(33, 2, 1) + pal16[:8], bytes([0x80, 1, 2, 3, 4, 5, 6, 7] * 2)),
        "pal4": f0 + frame_movie(5, 2, bmih(5, 2, 4) + pal16, bytes([0x12, 0x34, 0x50, 0] * 2)),
        "pal8": f0 + frame_movie(3, 2, bmih(3, 2, 8) + pal256, bytes([1, 2, 3, 0, 4, 5, 6, 0])),
        "rle8": f0 + frame_movie(4, 3, bmih(4, 3, 8, 1) + pal256,
                                 bytes([3, 5, 0, 0, 0, 3, 7, 8, 9, 0, 0, 0, 0, 2, 1, 0, 2, 9, 0, 1])),
        "rle4": f0 + frame_movie(5, 2, bmih(5, 2, 4, 2) + pal16, bytes([5, 0x12, 0, 0, 0, 5, 0x12, 0x34, 0x50, 0, 0, 1])),
        "os2-pal4": f0 + frame_movie(5, 2, struct.pack("<IhhHH", 12, 5, 2, 1, 4) + os2pal,
                                     bytes([0x12, 0x34, 0x50, 0] * 2)),
        "os2-bgr24": f0 + frame_movie(3, 2, struct.pack("<IhhHH", 12, 3, 2, 1, 24), bytes(range(24))),
        # 0x0A: frame 2, an empty chunk after a filled one; the fuzzer's
        # mutations of the first byte reach the empty first frame.
        "empty-chunks": b"\x0A" + frames_movie(3, 2, bmih(3, 2, 24), [b"", bytes(range(24)), b"", b""]),
    }


def all_seeds():
    pngs = png_seeds()
    return {
        "png_probe": pngs,
        "png_load": pngs,
        "png_load_crc": pngs,
        "wav": wav_seeds(),
        "list": list_seeds(),
        "convert": convert_seeds(),
        "paths": paths_seeds(),
        "cmdline": cmdline_seeds(),
        "parse": parse_seeds(),
        "filecvt": filecvt_seeds(),
        "avi_scan": avi_seeds(),
        "avi_edit": avi_seeds(),
        "png_encode": encode_seeds(),
        "dialog": dialog_seeds(),
        "avi_frame": avi_frame_seeds(),
    }


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "fuzz", "corpus")
    count = 0
    for target, seeds in all_seeds().items():
        d = os.path.join(root, target)
        os.makedirs(d, exist_ok=True)
        for old in os.listdir(d):
            if old.startswith("gen-"):
                os.remove(os.path.join(d, old))
        for name, data in seeds.items():
            with open(os.path.join(d, "gen-" + name), "wb") as f:
                f.write(data)
            count += 1
    print(f"{count} seeds in {len(all_seeds())} folders")


if __name__ == "__main__":
    main()
