// pngload.cpp - the PNG probe and the plane loader, the current-image facts,
// the driver's planes and their exit handler.
//
// Division: the globals; the signature rule; the probe; the conversion of
// an image record into four colour planes; the job's own input; the job
// and its report; the one-thread loader (the job on the console's thread,
// then its report); the entries; the exit handler; the test reset.

#include "image/image.h"
#include "image/image_internal.h"
#include "image/pixelrow.h"
#include "stream/stream.h"

#include <png.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

uint32_t pngwidth = 0;
uint32_t pngheight = 0;
int pngdepth = 0;
uint8_t pnghasalpha = 0;
curimgdesc curimg = {};

imgplanes mainplanes = {};

uint8_t palr[256], palg[256], palb[256], pala[256];

namespace {

// The signature rule over a byte source (RD's rfgetc, or a job's input):
// 0x89 at offset 0, or else at offset 128 after dropping bytes 1 to 127,
// then the first n bytes of the rest.  Reads past the end give -1 and so
// fail the test.
const uint8_t kSigRest[7] = {'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};

template <typename Get>
bool sigrule(Get get, int n) {
    if (get() != 0x89) {
        for (int i = 1; i < 128; i++) get();
        if (get() != 0x89) return false;
    }
    for (int i = 0; i < n; i++)
        if (get() != kSigRest[i]) return false;
    return true;
}

int openrd(const char* path, const char16_t* wpath, uint8_t wide) {
    if (wide) return wpath ? rfopenW(wpath) : -1;
    return path ? rfopen(path) : -1;
}

// The probe core.  The facts change only when the whole IHDR was read: a
// file that ends inside the chunk gives 3, like a missing IHDR, rather than
// facts made of end-of-file values (and "(IHDR passed) " is printed only
// then).
int scancore(const char* path, const char16_t* wpath, uint8_t wide) {
    if (openrd(path, wpath, wide) != 0) return -1;
    if (!sigrule([] { return rfgetc(); }, 7)) {
        rfclose();
        return 2;
    }
    uint8_t head[8];
    if (rfread(head, 8) != 8 || get_be32(head) != 13 || std::memcmp(head + 4, "IHDR", 4) != 0) {
        rfclose();
        return 3;
    }
    uint8_t ihdr[13];  // width, height, depth, colour type, compression, filter, interlace
    if (rfread(ihdr, 13) != 13) {
        rfclose();
        return 3;
    }
    rfclose();
    std::printf("(IHDR passed) ");

    pngwidth = get_be32(ihdr);
    pngheight = get_be32(ihdr + 4);
    pngdepth = ihdr[8];
    pnghasalpha = (ihdr[9] & 4) ? 0xFF : 0;

    curimg.width = (int)pngwidth;
    curimg.height = (int)pngheight;
    curimg.bitcount = pngdepth;
    curimg.palcolors = pngdepth >= 9 ? -1 : 1 << pngdepth;
    curimg.planes = 1;
    curimg.kind = 3;
    curimg.hdrsize = pnghasalpha ? 108 : 40;
    curimg.compression = pnghasalpha ? 3 : 0;

    std::printf("(%ld,%ld) ", (long)pngwidth, (long)pngheight);
    std::printf("%d-bit ", pngdepth);
    if (pnghasalpha) std::printf("alpha-exist ");
    std::printf("done.\n");
    return 0;
}

// ---- Record to planes ---------------------------------------------------------------

// Palette rows: indices packed from the most significant bit, which is the
// order the bytes of a big-endian word give them; a row's padding bits are
// never looked at.
void rowpal(const uint8_t* __restrict s, uint8_t* __restrict r, uint8_t* __restrict g,
            uint8_t* __restrict b, uint8_t* __restrict a, uint32_t w, uint32_t bpp,
            const uint8_t* pr, const uint8_t* pg, const uint8_t* pb, const uint8_t* pa) {
    if (bpp == 8) {
        for (uint32_t x = 0; x < w; x++) {
            uint32_t i = s[x];
            r[x] = pr[i];
            g[x] = pg[i];
            b[x] = pb[i];
            a[x] = pa[i];
        }
        return;
    }
    uint32_t mask = (1u << bpp) - 1;
    uint32_t perbyte = 8 / bpp;
    uint32_t x = 0;
    while (x < w) {
        uint32_t byte = *s++;
        uint32_t n = w - x < perbyte ? w - x : perbyte;
        for (uint32_t k = 0; k < n; k++, x++) {
            uint32_t i = (byte >> (8 - bpp * (k + 1))) & mask;
            r[x] = pr[i];
            g[x] = pg[i];
            b[x] = pb[i];
            a[x] = pa[i];
        }
    }
}

// The conversion, bottom row of the block (the image's last row) first, so
// the block is read front to back.  Without a cancel flag the keyboard is
// polled once per row: ESC (27) or Ctrl-C (3) stops at once and is returned;
// any other key is taken and dropped.  With one (a worker's conversion, which
// leaves the keyboard to the writer's thread) a nonzero flag stops it and 1
// is returned.  The palette is the four tables pal (red, green, blue,
// alpha).  *done receives the number of plane rows converted (they are the
// last ones, height - *done to height - 1); *anyalpha whether one of their
// alpha bytes is not 255.
int convert(const imgrec* rec, const uint8_t* const* pal, const std::atomic<int>* cancel, uint8_t* R,
            uint8_t* G, uint8_t* B, uint8_t* A, int32_t* done, bool* anyalpha) {
    const uint32_t w = rec->width;
    const int32_t h = rec->height;
    const uint32_t bpp = rec->bpp;
    uint8_t** const rows = rec->rows;
    uint8_t all = 255;
    int stop = 0;
    int32_t y = h - 1;
    // Local copies of the palette: the planes are byte pointers that may
    // alias anything, and locals keep the lookups out of that question.
    uint8_t pr[256], pg[256], pb[256], pa[256];
    if (bpp <= 8) {
        std::memcpy(pr, pal[0], 256);
        std::memcpy(pg, pal[1], 256);
        std::memcpy(pb, pal[2], 256);
        std::memcpy(pa, pal[3], 256);
    }
    for (; y >= 0; y--) {
        if (cancel) {
            if (cancel->load(std::memory_order_relaxed) != 0) {
                stop = 1;
                break;
            }
        } else if ((stop = stopkey()) != 0) {
            break;
        }
        size_t at = (size_t)y * w;
        const uint8_t* src = rows[y];
        if (bpp >= 24)
            all &= pixelrow::toplanes(src, bpp, R + at, G + at, B + at, A + at, w);
        else
            rowpal(src, R + at, G + at, B + at, A + at, w, bpp, pr, pg, pb, pa);
    }
    *done = h - 1 - y;
    // Palette and 24-bit rows are opaque by construction (pala is all 255).
    *anyalpha = bpp == 32 && all != 255;
    return stop;
}

// The planes for rec: the ones p holds when they match its size and all four
// exist, else four new ones (the old ones released; *fresh true).  False
// when they cannot be allocated or the size passes an int: all four null,
// reallocated 0, p's width and height as they were.
bool takeplanes(const imgrec& rec, imgplanes* p, bool* fresh) {
    bool reuse = (int64_t)p->width == (int64_t)rec.width && p->height == rec.height && p->R && p->G &&
                 p->B && p->A;
    if (reuse) return true;
    const int w = p->width, h = p->height;
    if (!planesalloc(p, rec.width, rec.height)) {
        p->width = w;
        p->height = h;
        return false;
    }
    *fresh = true;
    return true;
}

// The record's palette into the four tables (red, green, blue, alpha 255);
// the entries past it keep what they held.  Returns the entries set.
int takepalette(const imgrec& rec, uint8_t* const* pal) {
    if (rec.bpp > 8) return 0;
    uint32_t n = 1u << rec.bpp, i = 0;
    for (; i < n && i < rec.colors; i++) {
        pal[0][i] = rec.palette[3 * i];
        pal[1][i] = rec.palette[3 * i + 1];
        pal[2][i] = rec.palette[3 * i + 2];
        pal[3][i] = 255;
    }
    return (int)i;
}

bool exitregistered = false;

// The cancel flag of a job that was given none: never set.
const std::atomic<int> kNoCancel{0};

// ---- The loader off the writer's thread -----------------------------------------------

// A job's own input: the file by its 8-bit name through the runtime's FILE
// (as RD opens it) or by its 16-bit name through the platform's handle, read
// through a read stream of its own.  Nothing in it is shared.  A worker's
// handle shares reading, since a list may name one frame many times and two
// workers may then read it at once; the console's job opens the file as RD
// does, without sharing.
struct jobfile {
    const pngjob* job = nullptr;  // a worker's: its stop makes reads fail, so the decode ends
    const char* path = nullptr;
    const char16_t* wpath = nullptr;
    bool shared = false;
    rdstream s;

    bool open(const char* p, const char16_t* wp, bool share) {
        path = p;
        wpath = wp;
        shared = share;
        return reopen();
    }
    bool reopen() {
        if (wpath) return rsopenqW(s, wpath, shared) == 0;
        return path && rsopenq(s, path) == 0;
    }
    ~jobfile() { rsclose(s); }
    int getc() { return rsgetc(s); }
    size_t read(uint8_t* out, size_t n) {
        size_t done = 0;
        while (done < n) {
            const int k = (int)std::min<size_t>(n - done, (size_t)1 << 30);
            const int got = rsread(s, out + done, k);
            done += (size_t)got;
            if (got < k) break;
        }
        return done;
    }
    // Back to the first byte, for the decoder after the signature check.  A
    // file too short for the look at its header ended the stream (which
    // closes it), so it is opened again: the decoder then meets the short
    // file itself and reports it as for any other.
    bool rewind() { return rseof(s) ? reopen() : rsseek(s, 0) == 0; }
};

// A worker's job is to stop: its cancel flag is set, or its look saw a key.
bool jobstopped(const pngjob* job) {
    if (job->cancel && job->cancel->load(std::memory_order_relaxed) != 0) return true;
    return job->look && job->look(job->admitctx) != 0;
}

bool jobsize(void* io, int64_t* out) { return rsgetsize64(((jobfile*)io)->s, out) != 0; }

void jobreadcb(png_struct_def* png, uint8_t* data, size_t length) {
    jobfile* in = (jobfile*)png_get_io_ptr(png);
    // A stop asked for ends a long decode at its next read (libpng reads a
    // few kilobytes at a time), not only the conversion after it.
    if (in->job && jobstopped(in->job)) png_error(png, "Stopped");
    if (in->read(data, length) != length) png_error(png, "Read Error");
}

// After the signature: the size an IHDR chunk that comes first declares, or 0 x 0
// when there is none (the decoder will refuse such a file; nothing is
// allocated for it before), and whether it says the image is not
// interlaced (false too when the chunk ends before).  The signature's last
// four bytes are the decoder's to judge, as they are for the loader.
void jobihdr(jobfile& in, uint32_t* width, uint32_t* height, bool* progressive) {
    uint8_t b[4 + 8 + 8];  // the signature's last 4 bytes, length and type, width and height
    uint8_t rest[5];       // depth, colour type, compression, filter, interlace
    *width = *height = 0;
    *progressive = false;
    if (in.read(b, sizeof b) != sizeof b || get_be32(b + 4) != 13 || std::memcmp(b + 8, "IHDR", 4) != 0)
        return;
    *width = get_be32(b + 12);
    *height = get_be32(b + 16);
    *progressive = in.read(rest, sizeof rest) == sizeof rest && rest[4] == 0;
}

// A worker's rows straight into its job's planes (the decoder's row sink):
// the planes are reused or allocated once the decoder knows the image's
// shape, and each row is converted as it comes, so no record block is held.
// What the planes and the palette end up holding, and the results, are what
// the conversion of the record gives: planes that cannot be allocated are
// -3 after the decode (whose failure, -2, comes first, as in the loader),
// and a decode that fails leaves the job as it had them: none, or reused
// ones (some of whose rows it may have written).  Planes of another size
// are the record path's to replace.
struct planesink {
    pngjob* job = nullptr;
    imgplanes before = {};   // the job's planes as they came
    bool fresh = false;
    bool nomemory = false;   // the planes could not be had: the rows are dropped
    uint8_t all = 255;       // the AND of the alpha bytes of 32-bit rows
    uint8_t pal[4][256];     // the palette, taken at the first row
};

bool sinkbegin(void* ctx, uint32_t width, int32_t height, uint32_t) {
    planesink* k = (planesink*)ctx;
    imgplanes& p = k->job->planes;
    const bool none = !p.R && !p.G && !p.B && !p.A;
    const bool same = p.R && p.G && p.B && p.A && (int64_t)p.width == (int64_t)width && p.height == height;
    if (!none && !same) return false;
    k->before = p;
    imgrec shape = {};
    shape.width = width;
    shape.height = height;
    if (!takeplanes(shape, &p, &k->fresh)) k->nomemory = true;
    return true;
}

void sinkrow(void* ctx, const imgrec* rec, uint32_t y, const uint8_t* src) {
    planesink* k = (planesink*)ctx;
    if (k->nomemory) return;
    const imgplanes& p = k->job->planes;
    const uint32_t w = rec->width;
    const size_t at = (size_t)y * w;
    if (rec->bpp >= 24) {
        k->all &= pixelrow::toplanes(src, rec->bpp, p.R + at, p.G + at, p.B + at, p.A + at, w);
        return;
    }
    if (y == 0) {
        uint8_t* const pal[4] = {k->job->pal[0], k->job->pal[1], k->job->pal[2], k->job->pal[3]};
        takepalette(*rec, pal);
        std::memcpy(k->pal, k->job->pal, sizeof k->pal);
    }
    rowpal(src, p.R + at, p.G + at, p.B + at, p.A + at, w, rec->bpp, k->pal[0], k->pal[1], k->pal[2], k->pal[3]);
}

}  // namespace

int pngloadjob(pngjob* job) {
    job->result = 0;
    job->openerror = 0;
    job->bpp = 0;
    job->recwidth = job->recheight = 0;
    job->palcount = 0;
    job->fresh = 0;
    job->rowsdirect = 0;
    // The input (with its stream's buffers) off the worker's stack; closed
    // when it goes, on every way out.
    std::unique_ptr<jobfile> in(new (std::nothrow) jobfile);
    if (!in) return job->result = -2;
    const bool console = job->console != 0;
    in->job = console ? nullptr : job;
    if (!in->open(job->path, job->wpath, !console)) {
        job->openerror = g_os.lasterror();
        return job->result = -1;
    }
    // The loader judges 0x89 and "PNG"; the rest of the signature is the decoder's.
    if (!sigrule([&] { return in->getc(); }, 3)) return job->result = 2;
    uint32_t w = 0, h = 0;
    bool progressive = false;
    if (job->admit || !console) jobihdr(*in, &w, &h, &progressive);
    if (!console && progressive && w > 0 && h > 0) job->rowsdirect = 0xFF;
    if (job->admit && !job->admit(job->admitctx, job, w, h)) return job->result = 1;
    // The file's name for the decoder's messages and libpng's error pointer
    // (a 16-bit name by its Shift_JIS form); only a decode that reports uses it.
    char wname[272];
    const char* name = job->path;
    if (console && job->wpath) {
        image_detail::sjisname(wname, sizeof wname, job->wpath);
        name = wname;
    }
    imgrec rec = {};
    std::unique_ptr<planesink> sink;
    image_detail::rowsink rows = {sinkbegin, sinkrow, nullptr};
    if (job->rowsdirect) {
        sink.reset(new (std::nothrow) planesink);
        if (sink) sink->job = job;
        rows.ctx = sink.get();
    }
    const image_detail::decodeio io = {jobreadcb, jobsize, in.get(), job->alphamode, job->trnsalpha, !console, name,
                                       sink ? &rows : nullptr};
    int ok = in->rewind() && image_detail::pngdecodeio(io, &rec);
    in.reset();
    if (!ok) {
        if (sink && sink->fresh) {
            planesfree(&job->planes);
            job->planes = sink->before;
        }
        const bool stopped = !console && jobstopped(job);
        return job->result = stopped ? 1 : -2;
    }
    job->bpp = (int)rec.bpp;
    job->recwidth = (int)rec.width;
    job->recheight = rec.height;
    if (!rec.rows) {
        // The rows went straight into the planes.
        if (sink->nomemory) {
            imgfree(&rec);
            return job->result = -3;
        }
        job->fresh = sink->fresh ? 0xFF : 0;
        uint8_t* const pal[4] = {job->pal[0], job->pal[1], job->pal[2], job->pal[3]};
        job->palcount = takepalette(rec, pal);
        imgfree(&rec);
        job->planes.hasalpha = rec.bpp == 32 && sink->all != 255 ? 0xFF : 0;
        return job->result = jobstopped(job) ? 1 : 0;
    }

    imgplanes& p = job->planes;
    bool fresh = false;
    if (!takeplanes(rec, &p, &fresh)) {
        imgfree(&rec);
        return job->result = -3;
    }
    job->fresh = fresh ? 0xFF : 0;
    uint8_t* const pal[4] = {job->pal[0], job->pal[1], job->pal[2], job->pal[3]};
    job->palcount = takepalette(rec, pal);
    int32_t done = 0;
    bool anyalpha = false;
    // The console's job polls the keyboard per row and returns the key; a
    // worker looks at its cancel flag instead.
    const std::atomic<int>* cancel = console ? nullptr : job->cancel ? job->cancel : &kNoCancel;
    int stop = convert(&rec, pal, cancel, p.R, p.G, p.B, p.A, &done, &anyalpha);
    imgfree(&rec);
    // After a stop only the converted rows hold pixels; the rest of the
    // plane is uninitialised and is not looked at.
    p.hasalpha = anyalpha ? 0xFF : 0;
    return job->result = stop ? (console ? stop : 1) : 0;
}

int pngjobreport(const pngjob* job) {
    const int r = job->result;
    if (r == -1) {
        if (job->wpath) rfopenmsg(0xFF, nullptr, job->openerror);
        else if (job->path) rfopenmsg(0, job->path, job->openerror);
        return r;
    }
    if (r == 2) return r;
    pngalphamode = job->alphamode;
    pngtrnsalpha = job->trnsalpha;
    if (job->bpp == 0) return r;  // not decoded: nothing more was printed or set
    std::printf("(%ld,%ld) ", (long)job->recwidth, (long)job->recheight);
    std::printf("%d-bit ", job->bpp);
    if (r == -3) {
        std::printf("Memory Allocation FAILED.\n");
        return r;
    }
    if (job->fresh) imgfree4reg();
    for (int k = 0; k < job->palcount; k++) {
        palr[k] = job->pal[0][k];
        palg[k] = job->pal[1][k];
        palb[k] = job->pal[2][k];
        pala[k] = job->pal[3][k];
    }
    if (r == 0) std::printf("\n");
    return r;
}

// ---- Entries ----------------------------------------------------------------------

int pngscan(const char* path) { return scancore(path, nullptr, 0); }

int pngscanW(const char16_t* path) { return scancore(nullptr, path, 0xFF); }

namespace {

// The one-thread loader: the job, run on the console's thread, and its
// report.  Without keep the job is given planes of size 0, which it never
// reuses.  See image.h for the results and what each leaves in the planes.
int loadcore(const char* path, const char16_t* wpath, imgplanes* p, uint8_t keep, uint8_t wide) {
    // The loader reads the file through a job input, not RD; RD is left
    // closed all the same, as a load through RD always left it.
    rfclose();
    pngjob job = {};
    job.path = wide ? nullptr : path;
    job.wpath = wide ? wpath : nullptr;
    job.alphamode = 2;
    job.trnsalpha = 1;
    job.console = 0xFF;
    job.planes = *p;
    if (!keep) job.planes.width = job.planes.height = 0;
    pngloadjob(&job);
    const int r = pngjobreport(&job);
    // -1, 2, -2: the planes are untouched.
    if (r != -1 && r != 2 && r != -2) *p = job.planes;
    return r;
}

// The public loaders take the set as loose pointers; the core works on one
// imgplanes and hands every part back.
int loadinto(const char* path, const char16_t* wpath, int* width, int* height, uint8_t** R,
             uint8_t** G, uint8_t** B, uint8_t** A, uint8_t* reallocated, uint8_t* hasalpha,
             uint8_t keep, uint8_t wide) {
    imgplanes p = {*width, *height, *R, *G, *B, *A, *reallocated, *hasalpha};
    int r = loadcore(path, wpath, &p, keep, wide);
    *width = p.width;
    *height = p.height;
    *R = p.R;
    *G = p.G;
    *B = p.B;
    *A = p.A;
    *reallocated = p.reallocated;
    *hasalpha = p.hasalpha;
    return r;
}

}  // namespace

int pngload(const char* path, int* width, int* height, uint8_t** R, uint8_t** G, uint8_t** B,
            uint8_t** A, uint8_t* reallocated, uint8_t* hasalpha) {
    return loadinto(path, nullptr, width, height, R, G, B, A, reallocated, hasalpha, 0, 0);
}

int pngloadW(const char16_t* path, int* width, int* height, uint8_t** R, uint8_t** G, uint8_t** B,
             uint8_t** A, uint8_t* reallocated, uint8_t* hasalpha) {
    return loadinto(nullptr, path, width, height, R, G, B, A, reallocated, hasalpha, 0, 0xFF);
}

int pngloadkeep(const char* path, int* width, int* height, uint8_t** R, uint8_t** G, uint8_t** B,
                uint8_t** A, uint8_t* reallocated, uint8_t* hasalpha) {
    return loadinto(path, nullptr, width, height, R, G, B, A, reallocated, hasalpha, 0xFF, 0);
}

int pngloadkeepW(const char16_t* path, int* width, int* height, uint8_t** R, uint8_t** G,
                 uint8_t** B, uint8_t** A, uint8_t* reallocated, uint8_t* hasalpha) {
    return loadinto(nullptr, path, width, height, R, G, B, A, reallocated, hasalpha, 0xFF, 0xFF);
}

// ---- Exit handler -----------------------------------------------------------------

void imgfree4(void) { planesfree(&mainplanes); }

void imgfree4reg(void) {
    if (exitregistered) return;
    exitregistered = true;
    std::atexit(imgfree4);
}

// ---- Tests -------------------------------------------------------------------------

void image_reset(void) {
    progmax = 100;
    progval = -1;
    progon = 0;
    progunits = 0;
    progrows = 0;
    progdone = 0;
    progcap = 0;
    pngalphamode = 2;
    pngtrnsalpha = 1;
    pngwidth = 0;
    pngheight = 0;
    pngdepth = 0;
    pnghasalpha = 0;
    curimg = {};
    std::memset(palr, 0, sizeof palr);
    std::memset(palg, 0, sizeof palg);
    std::memset(palb, 0, sizeof palb);
    std::memset(pala, 0, sizeof pala);
}
