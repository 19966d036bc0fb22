// frame.cpp - the frame reader (avisetstrict, avireadframe) and the AVI
// information reader (aviinfo).
//
// Division: state; the format chunk; the plans (pure: what to read, from the
// scan and the format); the reader; the information reader.
//
// Both begin with aviscan and then read the movie once more through RD.  The
// reader decodes one frame's chunk as a bitmap of the video stream's format
// (dib_internal.h) into four colour planes owned by the caller.  Everything a
// file says is checked before it is used: the format against the main
// header, the planes' size against what a plane may hold, the chunk's place
// against where the format ended.

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "avitool/avitool.h"
#include "avitool/dib_internal.h"
#include "avitool/frames_internal.h"
#include "image/image.h"
#include "movie/chunks.h"
#include "stream/stream.h"

using namespace avitool_detail;

// ---- State ----------------------------------------------------------------------------

uint8_t avistrictframe = 0xFF;
uint8_t avipalette[256][4];
int64_t targetBMPaddr = 0;

uint32_t avisetstrict(uint32_t flag) {
    avistrictframe = (uint8_t)flag;
    return flag;
}

namespace {


// ---- The format chunk -------------------------------------------------------------------

// Results of readformat: 0, or the reader's code (RD still open).
int readformat(int64_t chunkoff, dibformat* f) {
    *f = dibformat{};
    rdskip(aviscaninfo.aviptrvidsstrf - rftell64());
    f->hdrsize = (uint32_t)rfgetdw();
    if (rfeof()) return 5;
    switch (f->hdrsize) {
    case 12:
        f->width = (int16_t)rfgetw();
        f->height = (int16_t)rfgetw();
        f->planes = (int16_t)rfgetw();
        f->bitcount = (int16_t)rfgetw();
        if (rfeof()) return 14;
        if (f->planes != 1) return 13;
        return 0;
    case 40:
    case 108:
    case 124: {
        f->width = rfgetdw();
        f->height = rfgetdw();
        f->planes = (int16_t)rfgetw();
        f->bitcount = (int16_t)rfgetw();
        f->compression = (uint32_t)rfgetdw();
        for (int k = 0; k < 5; k++) rfgetdw();  // image size, resolutions, colours
        if (f->hdrsize == 40) {
            if (rfeof()) return 11;
        } else {
            f->rmask = (uint32_t)rfgetdw();
            f->gmask = (uint32_t)rfgetdw();
            f->bmask = (uint32_t)rfgetdw();
            f->amask = (uint32_t)rfgetdw();
            // Colour space, its nine end points and three gammas; the
            // 124-byte kind adds intent and the profile's place and size.
            int rest = 1 + 9 + 3 + (f->hdrsize == 124 ? 4 : 0);
            for (int k = 0; k < rest; k++) rfgetdw();
            if (rfeof()) return 11;
        }
        if (f->planes != 1) return 13;
        if (f->compression != 0) std::printf("(compression type %04X) ", f->compression);
        // Compression 4 and 5 (JPEG, PNG) and the others have no decoding in
        // the larger headers either: their bytes would pass for pixels.
        if ((int32_t)f->compression < 0 || f->compression > 3) return 10;
        if (f->hdrsize == 40 && f->compression == 3) {
            f->rmask = (uint32_t)rfgetdw();
            f->gmask = (uint32_t)rfgetdw();
            f->bmask = (uint32_t)rfgetdw();
            if (rfeof()) return 11;
        }
        if (f->hdrsize == 108)
            for (int k = 0; k < 3 && rftell64() < chunkoff; k++) rfgetdw();
        return 0;
    }
    default:
        std::printf("Cannot treat %04X-type BMP.\n", f->hdrsize);
        return 6;
    }
}

// ---- Planes -----------------------------------------------------------------------------

// The read stream as the decoder's byte source: blocks of 64 KiB by rfread.
struct rdblock {
    uint8_t block[65536];
};

bool rdrefill(dibsrc* s) {
    rdblock* r = static_cast<rdblock*>(s->ctx);
    int n = rfread(r->block, (int)sizeof r->block);
    if (n <= 0) return false;
    s->p = r->block;
    s->end = r->block + n;
    return true;
}

// Before every row: ESC stops the decode; other keys (Ctrl-C among them)
// are taken and dropped.
int rowpoll(void*) {
    if (keypoll() != 0 && getlastkey() == 27) return 27;
    return 0;
}

}  // namespace

// ---- The plans ---------------------------------------------------------------------------

namespace {

// Appends a printf-formatted line to a plan's text.
__attribute__((format(printf, 2, 3))) void say(std::string* out, const char* fmt, ...) {
    char buf[1024];
    va_list ap;
    va_start(ap, fmt);
    int n = std::vsnprintf(buf, sizeof buf, fmt, ap);
    va_end(ap);
    if (n < 0) return;
    if ((size_t)n < sizeof buf) {
        out->append(buf, (size_t)n);
        return;
    }
    // A long path: format again at the full length.
    std::string big((size_t)n + 1, '\0');
    va_start(ap, fmt);
    std::vsnprintf(&big[0], big.size(), fmt, ap);
    va_end(ap);
    big.resize((size_t)n);
    out->append(big);
}

}  // namespace

namespace avitool_detail {

framechunkplan planframechunk(const aviscanrecord& S, const scanfacts& s, int32_t frame, bool strict,
                              const char* path) {
    framechunkplan p{};
    p.rescan = -1;
    p.chunkoff = s.chunkoff;
    p.chunksize = s.chunksize;
    // The frame count as the file gives it (u32), so that no count makes
    // the comparison or the last frame's number overflow.
    p.last = (int64_t)s.total - 1;
    p.shown = frame < 0 || frame > p.last ? p.last : frame;
    if (frame > p.last) {
        say(&p.line, "Assigned frame %ld not recorded in AVI (<=max. %lld).\n", (long)frame, ll(p.last));
        if (strict) {
            p.code = -2;
            return p;
        }
        say(&p.line, "=> Cut to %lld. Retrying.\n", ll(p.last));
        p.rescan = (int32_t)p.last;
        return p;
    }

    // An empty chunk (size 0) is a dropped frame: writers emit one where a
    // frame repeats the one before it, and players show that one again.  Its
    // 0 bytes hold no picture, and decoding "as many bytes as the format
    // needs" from it would take the next chunk's header and frame as pixels.
    // So the nearest earlier frame that has a picture is read in its place;
    // with none (every chunk up to it empty) there is nothing to show.
    if (s.chunkoff != 0 && s.chunksize == 0) {
        if (S.aviptrshown == 0) {
            say(&p.line, "Frame %lld is empty and no earlier frame has a picture (AVI): %s.\n", ll(p.shown),
                path);
            p.code = 4;
            return p;
        }
        say(&p.line, "(frame %lld is empty: frame %lld repeated) ", ll(p.shown), ll(S.avishownframe));
        p.shown = S.avishownframe;
        p.chunkoff = S.aviptrshown;
        p.chunksize = S.avishownsize;
    }

    say(&p.line, "Loading AVI frame image ... ");
    // The values avibmih holds without a format chunk are an earlier movie's.
    if (S.aviptrvidsstrf == 0) {
        say(&p.line, "No video format (strf) in AVI.\n");
        p.code = 6;
    }
    return p;
}

framereadplan planframeread(const aviscanrecord& S, const scanfacts& s, const framechunkplan& c,
                            const dibformat& f, int64_t palstart, int64_t filelen, const char* path) {
    framereadplan p{};
    p.colours = dibcolours(f.bitcount);
    if (p.colours < 0) {
        p.code = 15;
        return p;
    }
    // Sizes that have no picture (a negative width, a height of 0 or one
    // whose negation overflows), and a picture of another size than the main
    // header's, which the caller would index by the main header's width and
    // height.
    if (f.width <= 0 || f.height == 0 || f.height == INT32_MIN) {
        say(&p.line, "Cannot treat DIB size (%ld,%ld).\n", (long)f.width, (long)f.height);
        p.code = 6;
        return p;
    }
    int64_t fh = f.height < 0 ? -(int64_t)f.height : f.height;
    if (S.aviptrusperframe == 0 || (int64_t)f.width != (int64_t)s.width || fh != (int64_t)s.height) {
        say(&p.line, "DIB size (%ld,%ld) does not match AVI (%lu,%lu).\n", (long)f.width, (long)fh,
            (unsigned long)s.width, (unsigned long)s.height);
        p.code = 6;
        return p;
    }
    diblayoutof(f, &p.layout);
    const diblayout& l = p.layout;

    // The palette is read with the full count of the bit count, but no
    // entry is taken from the frame's chunk: a palette that would reach it
    // is shortened.  (Letting it run up to the pixel data would eat the
    // chunk's own header, and the fourcc check would then look at pixels.)
    // The chunk must lie after the format; frames that the scan did not
    // find have offset 0, and the skip to the chunk never moves back.
    p.entry = f.hdrsize == 12 ? 3 : 4;
    int64_t room = c.chunkoff - palstart;
    p.entries = room <= 0 ? 0 : room / p.entry;
    if (p.entries > p.colours) p.entries = p.colours;
    if (c.chunkoff == 0 || c.chunkoff < palstart) {
        say(&p.line, "Cannot extract compressed image (AVI): %s.\n", path);
        p.code = 3;
        return p;
    }

    // Rows without run-length coding take a fixed number of bytes: a file
    // that cannot hold them ends inside the rows.  Said before the planes
    // are allocated, so a small hostile file cannot make the reader take and
    // fill gigabytes.  (The last row's padding may be missing.)
    if (l.kind != DIB_RLE8 && l.kind != DIB_RLE4) {
        p.rowbytes = dibstride(l.width, (uint32_t)l.bits);
        p.need = p.rowbytes * fh - l.rowpad;
        int64_t have = filelen - (c.chunkoff + CHUNK_HDR);
        if (have < 0 || p.need > (uint64_t)have) {
            p.code = -2;
            return p;
        }
    }
    p.hasalpha = (f.bitcount == 32 && !(f.hdrsize == 40 && f.compression == 0)) ? 1 : 0;
    return p;
}

}  // namespace avitool_detail

// ---- The reader -------------------------------------------------------------------------

int avireadframe(int* width, int* height, uint8_t* hasalpha, int* frames, float* fps, uint8_t** R,
                 uint8_t** G, uint8_t** B, uint8_t** A, uint8_t* reallocated, const char* path,
                 int frame) {
    scanfacts s;
    int r = scanmovie(path, frame, &s);
    if (r != 0) return r;
    targetBMPaddr = s.chunkoff;
    std::printf("targetBMPaddr= %lld\n", ll(targetBMPaddr));
    *width = (int)s.width;
    *height = (int)s.height;
    *frames = (int)s.total;
    *fps = s.fps;

    const bool strict = avistrictframe != 0;
    framechunkplan c = planframechunk(aviscaninfo, s, frame, strict, path);
    if (c.rescan >= 0) {
        std::printf("%s", c.line.c_str());
        r = scanmovie(path, c.rescan, &s);
        if (r != 0) return r;
        targetBMPaddr = s.chunkoff;
        std::printf("targetBMPaddr= %lld\n", ll(targetBMPaddr));
        c = planframechunk(aviscaninfo, s, c.rescan, strict, path);
    }
    std::printf("%s", c.line.c_str());
    targetBMPaddr = c.chunkoff;
    if (c.code != 0) return c.code;

    if (rfopen(path) != 0) return -1;
    // A read that fails (a failing disk, a dropped share), or a move to the
    // end or back that the system refuses, is not the end of the file: it is
    // said as such, never taken for a short header, a short chunk or the end
    // of the rows.
    auto readfailed = [path] {
        std::printf("Read failed (RD) while reading AVI frame: %s\n", path);
        rfclose();
        return (int)AVISCAN_READFAIL;
    };
    // The file's length, for the test that its rows are there.
    int64_t filelen = 0;
    if (!rfgetsize64(&filelen)) return readfailed();

    dibformat f;
    r = readformat(c.chunkoff, &f);
    if (rferror()) return readfailed();
    if (r != 0) {
        rfclose();
        return r;
    }
    const framereadplan p = planframeread(aviscaninfo, s, c, f, rftell64(), filelen, path);
    if (p.code != 0) {
        std::printf("%s", p.line.c_str());
        rfclose();
        return p.code;
    }
    const int64_t fh = p.layout.height;

    // The planes: width x |height| + 16 bytes each, at most what an int
    // size holds (the loader's bound).
    imgplanes q = {0, 0, *R, *G, *B, *A, *reallocated, 0};
    const bool got = planesalloc(&q, f.width, fh);
    *R = q.R;
    *G = q.G;
    *B = q.B;
    *A = q.A;
    *reallocated = q.reallocated;
    if (!got) {
        std::printf("Memory Allocation FAILED.\n");
        rfclose();
        return -3;
    }
    imgfree4reg();

    if (p.colours > 0) {
        if (p.entries < p.colours) std::printf(" (Shortened Palette Table) \n");
        for (int64_t i = 0; i < p.entries; i++) {
            avipalette[i][2] = (uint8_t)rfgetc();
            avipalette[i][1] = (uint8_t)rfgetc();
            avipalette[i][0] = (uint8_t)rfgetc();
            int fourth = p.entry == 4 ? rfgetc() : 255;
            avipalette[i][3] = (f.hdrsize == 108 || f.hdrsize == 124) ? (uint8_t)fourth : 255;
        }
    }

    rdskip(c.chunkoff - rftell64());
    uint8_t cc[4];
    for (uint8_t& x : cc) x = (uint8_t)rfgetc();
    if (rferror()) return readfailed();
    std::printf("(%c%c%c%c) ", cc[0], cc[1], cc[2], cc[3]);
    // Looser than isvideoid, as the reader has always been: a first digit
    // and then a second digit, or a 'd' or a 'b' where the type stands.  The
    // scan already chose the chunk by its id; this only refuses a position
    // that lands on something else, and files the reader has always read
    // keep being read.
    bool ok = cc[0] >= '0' && cc[0] <= '9' && cc[1] >= '0' &&
              (cc[1] <= '9' || cc[2] == 'd' || cc[3] == 'b');
    if (!ok) {
        std::printf("Cannot extract compressed image (AVI): %s.\n", path);
        rfclose();
        return 3;
    }
    // The chunk's size: the format says how many bytes the rows take, but an
    // empty chunk (an index that called it larger) has none of them.
    const int size = rfgetdw();
    if (rferror()) return readfailed();
    if (size == 0) {
        std::printf("Empty frame chunk (AVI): %s.\n", path);
        rfclose();
        return 4;
    }

    static rdblock block;  // 64 KiB, one thread
    dibsrc src;
    src.refill = rdrefill;
    src.ctx = &block;
    dibplanes o{*R, *G, *B, *A};
    r = dibdecode(p.layout, src, avipalette, o, rowpoll, nullptr);
    if (rferror()) return readfailed();
    rfclose();
    if (r == DIB_ENDED) return -2;
    std::printf("done.\n");
    *hasalpha = p.hasalpha;
    return r == 27 ? 27 : 0;
}

// ---- The information reader ---------------------------------------------------------------

int aviinfo(const char* path) {
    curimg.is555 = 0;
    curimg.is565 = 0;
    scanfacts s;
    int r = scanfor(path, 0, &s);
    if (r != 0) return r;
    curimg.width = (int)s.width;
    curimg.height = (int)s.height;
    std::printf("(%ld,%ld)(%g fps) ", (long)curimg.width, (long)curimg.height, (double)s.fps);
    if (aviscaninfo.aviptrvidsstrf == 0) {
        std::printf("No video format (strf) in AVI.\n");
        return 6;
    }
    const avibitmapinfo& b = aviscaninfo.avibmih;
    curimg.kind = 3;
    curimg.frames = (int)s.total;
    curimg.chunkoff = (int)s.chunkoff;
    curimg.chunkend = (int)(s.chunkoff + s.chunksize);
    curimg.hdrsize = (int)b.biSize;
    curimg.planes = b.biPlanes;
    curimg.bitcount = b.biBitCount;
    curimg.compression = (int)b.biCompression;
    curimg.imagesize = (int)b.biSizeImage;
    curimg.xres = b.biXPelsPerMeter;
    curimg.yres = b.biYPelsPerMeter;
    curimg.clrused = (int)b.biClrUsed;
    curimg.clrimportant = (int)b.biClrImportant;
    if (curimg.planes != 1) {
        std::printf("plane %d  sizeY %ld \n", curimg.planes, (long)curimg.height);
        return 13;
    }
    if (curimg.compression != 0) std::printf("(compression type %04X) ", (unsigned)curimg.compression);
    if (curimg.compression < 0 || curimg.compression > 3) return 10;
    if (curimg.bitcount == 16 && curimg.compression == 0) curimg.is555 = 0xFF;
    // Negated as a 64-bit value, so INT_MIN cannot overflow; it stays as it
    // was (there is no positive int for it).
    if (curimg.height < 0 && curimg.height != INT32_MIN) curimg.height = -curimg.height;
    std::printf("%d-bit (%ld,%ld) ", curimg.bitcount, (long)curimg.width, (long)curimg.height);
    int colours = dibcolours(curimg.bitcount);
    curimg.palcolors = colours > 0 ? colours : colours == 0 ? -1 : 0;
    if (colours < 0) return 15;  // before any division by the bit count
    const uint64_t w = (uint32_t)curimg.width;  // the main header's u32
    const uint32_t bits = (uint32_t)curimg.bitcount;
    const uint64_t stride = dibstride(w, bits);
    curimg.pixperword = (int)(32 / bits);
    curimg.rowstride = (int)stride;
    curimg.rowpad = bits == 24 || bits == 16 ? (int)(stride - w * (bits / 8)) : 0;
    // Frame 0's chunk is what the description points at; an empty one (a
    // dropped frame) has no earlier frame to stand for it, so there are no
    // pixels there to describe.  The format above is still filled in.
    if (s.chunkoff != 0 && s.chunksize == 0) {
        std::printf("Frame 0 is empty and no earlier frame has a picture (AVI): %s.\n", path);
        return 4;
    }
    return 0;
}
