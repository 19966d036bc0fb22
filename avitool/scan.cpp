// scan.cpp - the AVI scanner and the index table.
//
// Division: index table; scan record start state; the walker (top level,
// hdrl, strl, odml, movi, idx1), shared by both passes; aviscan.
//
// The walk reads through RD byte and word at a time and skips what it does
// not look at.  Positions are 64-bit and chunk sizes unsigned 32-bit, so the
// whole AVI 1.0 range (a first RIFF chunk up to 4 GB) is walked; every walk
// also ends at the end of the file.  No pad byte is skipped after an odd
// chunk (the system's movies have none), except after a strn chunk.

#include "avitool/avitool.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "avitool/avitool_internal.h"
#include "image/image.h"
#include "movie/chunks.h"
#include "stream/stream.h"

// ============================================================================
// Index table
// ============================================================================

uint32_t* idxtable = nullptr;
int32_t idxtablecap = 0;

namespace {
uint8_t idxtable_registered = 0;
}

void idxtablefree(void) {
    if (idxtablecap != 0 && idxtable) std::free(idxtable);
    idxtable = nullptr;
    idxtablecap = 0;
}

int idxtableatexit(void) {
    if (!idxtable_registered) {
        std::atexit(idxtablefree);
        idxtable_registered = 0xFF;
    }
    return 0;
}

int32_t idxtablesize(void) { return idxtablecap; }

// The byte count is computed in size_t and checked, so that no count can
// wrap into a small allocation that the scanner then writes past.  n = 0
// releases the array: realloc(p, 0) may free p and answer null, and the table
// must never keep a pointer to released storage.
int idxtablealloc(int32_t n) {
    idxtableatexit();
    size_t bytes = 0;
    bool ok = n >= 0 && !__builtin_mul_overflow((size_t)(n < 0 ? 0 : n), sizeof(uint32_t), &bytes);
    if (!idxtable) {
        if (n == 0 && ok) { idxtablecap = 0; return 0; }
        uint32_t* p = ok ? static_cast<uint32_t*>(std::malloc(bytes)) : nullptr;
        if (!p) {
            printf("Memory new allocation for AVI index table FAILED.\n");
            return -1;
        }
        idxtable = p;
        idxtablecap = n;
        return 0;
    }
    if (ok && n == idxtablecap) return 0;
    if (ok && n == 0) {
        idxtablefree();
        return 0;
    }
    uint32_t* p = ok ? static_cast<uint32_t*>(std::realloc(idxtable, bytes)) : nullptr;
    if (!p) {
        printf("Memory reallocation for AVI index table FAILED.\n");
        return -1;
    }
    if (n > idxtablecap) std::memset(p + idxtablecap, 0, (size_t)(n - idxtablecap) * sizeof(uint32_t));
    idxtable = p;
    idxtablecap = n;
    return 0;
}

// ============================================================================
// Scan record
// ============================================================================

namespace {

constexpr aviscanrecord initialrecord() {
    aviscanrecord r{};
    r.avih.aviusperframe = 250000;
    r.avih.flags = 0x810;
    r.avih.streams = 1;
    r.avifps = 4.0f;
    r.vids.scale = 1000;
    r.vids.rate = 4000;
    r.vids.quality = -1;
    r.auds.scale = 4;
    r.auds.rate = 44100;
    r.auds.quality = 10000;
    r.auds.samplesize = 4;
    r.avibmih.biSize = 40;
    r.avibmih.biPlanes = 1;
    r.avibmih.biBitCount = 24;
    r.aviwfx = {1, 2, 44100, 176400, 4, 16, 0};
    return r;
}

}  // namespace

// Constant-initialised: the record holds its initial values before any code runs.
aviscanrecord aviscaninfo = initialrecord();

void aviscanreset(void) { aviscaninfo = initialrecord(); }

// ============================================================================
// The walker
// ============================================================================

namespace {

aviscanrecord& S = aviscaninfo;

uint32_t get32() { return (uint32_t)rfgetdw(); }
uint16_t get16() { return (uint16_t)rfgetw(); }
bool ended() { return rfeof() != 0; }

// Moves forward to end (nothing when it lies behind); past the end of the
// file the stream ends, which ends every walk.
void skipto(int64_t end) { rfskip64(end - rftell64()); }

struct fcc {
    uint8_t b[4];
    bool is(const char* s) const { return std::memcmp(b, s, 4) == 0; }
    bool digits() const { return avitool_detail::isstreamid(b); }
    bool video() const { return avitool_detail::isvideoid(b); }
    bool audio() const { return avitool_detail::isaudioid(b); }
    bool type(const char* s) const { return b[2] == s[0] && b[3] == s[1]; }
};
fcc getfcc() {
    fcc f;
    for (uint8_t& c : f.b) c = (uint8_t)rfgetc();
    return f;
}
void printfcc(const char* fmt, const fcc& f) { printf(fmt, f.b[0], f.b[1], f.b[2], f.b[3]); }

using avitool_detail::ll;

// What one scan keeps while it walks.
struct walk {
    int pass;                // 1 index pass, 2 detail pass
    int32_t target;          // the target frame; negative until the video strh says
    int64_t filelen;         // for capping the index table
    int64_t liststart1;      // the first movi list's 'movi' fourcc
    bool found;              // pass 1: the target met in idx1
    bool havesize;           // a target size is known
    int64_t targetpos;
    int64_t targetsize;
    // The chunk a player shows for the target, found by the same source as
    // the target: the target's own, or for an empty chunk (a dropped frame)
    // the nearest earlier video chunk that is not empty; pos 0 for none.
    int64_t shownpos;
    int64_t shownsize;
    int64_t shownframe;
    // Pass 2's movi walk: the last video chunk met that is not empty.
    int64_t filledpos;
    int64_t filledsize;
    int64_t filledframe;
    bool hasaudio;
    bool firstvideo;         // pass 1: the first video chunk met
    int64_t mf;              // pass 2: video chunks met in movi
    bool notenough;          // "Not enough idxtable." printed
    int32_t strlnumber;      // strl lists met in this pass
};

// The index table for a main header's frame count, capped at what the file
// can hold: every frame chunk takes at least 8 bytes.
void sizetable(walk& w) {
    int64_t n = S.avih.avitotalframes;
    if (n > w.filelen / 8) n = w.filelen / 8;
    if (n > INT32_MAX) n = INT32_MAX;
    if (idxtablealloc((int32_t)n) != 0) printf("Memory for idx1 table allocation FAILED.\n");
}

void readavih(walk& w, uint32_t size) {
    int64_t start = rftell64();
    printf("(avih %lld bytes)", ll(size));
    if (size != 56) printf("avihleng!=0038.\n");
    S.aviavihsize = size;
    aviavih& h = S.avih;
    S.aviptrusperframe = rftell64();
    h.aviusperframe = (int32_t)get32();
    S.aviptrmaxbytes = rftell64();
    h.maxbytespersec = get32();
    h.paddinggranularity = get32();
    h.flags = get32();
    S.aviptrtotalframes = rftell64();
    h.avitotalframes = get32();
    h.initialframes = get32();
    S.aviptrstreams = rftell64();
    h.streams = get32();
    h.suggestedbufsize = get32();
    h.aviwidth = get32();
    h.aviheight = get32();
    for (uint32_t& r : h.reserved) r = get32();
    S.avifps = (float)(1000000.0 / (double)h.aviusperframe);
    if (w.pass == 1) printf(" sizeXY=(%lld,%lld) ", ll(h.aviwidth), ll(h.aviheight));
    if (size > AVIH_SIZE) skipto(start + size);
    sizetable(w);
}

// The 52 bytes of a stream header after its type.  pos is recorded for the
// fields the edits patch (video) or that callers look at (audio).
void readstrh(avistrh& h, bool video) {
    if (!video) S.aviptraudshandler = rftell64();
    for (uint8_t& c : h.handler) c = (uint8_t)rfgetc();
    h.flags = get32();
    h.prilang = get32();
    h.initialframes = get32();
    if (!video) S.aviptraudsscale = rftell64();
    h.scale = get32();
    if (video) S.aviptrvidsrate = rftell64();
    h.rate = get32();
    h.start = get32();
    if (video) S.aviptrvidslength = rftell64();
    h.length = get32();
    if (video) S.aviptrvidsbufsize = rftell64();
    h.bufsize = get32();
    h.quality = (int32_t)get32();
    h.samplesize = get32();
    for (int16_t& v : h.frame) v = (int16_t)get16();
}

// A strh chunk.  Its excess beyond 56 bytes is skipped, so that the strf that
// follows is still read (a longer strh is a later revision of the header, not
// another stream).
void walkstrh(walk& w, uint32_t size, int64_t strlstart, uint32_t strlsize) {
    printf("(strh %lld bytes)", ll(size));
    if (size != 56) printf("strhleng!=0038.\n");
    int64_t start = rftell64();
    while (rftell64() - start < (int64_t)size && !ended()) {
        fcc t = getfcc();
        S.avistreamkind = 0;
        if (t.is("vids")) {
            printf("(vids)");
            S.avistreamkind = 1;
            S.avividsstrhcount++;
            if (S.avividsstrl == 0) S.avividsstrl = w.strlnumber;
            S.avividsstrhsize = size;
            readstrh(S.vids, true);
            if (w.pass == 1) printf(" totalmaxframes=%lld ", ll(S.vids.length));
            if (w.target < 0) w.target = (int32_t)(S.vids.length - 1);
            skipto(start + size);
            break;
        }
        if (t.is("auds")) {
            printf("(auds)");
            S.avistreamkind = 2;
            S.aviaudsstrhcount++;
            if (S.aviaudsstrl == 0) {
                S.aviaudsstrl = w.strlnumber;
                S.aviptraudsstrl = strlstart - CHUNK_HDR;
            }
            w.hasaudio = true;
            S.aviwavstrlbytes += (int64_t)strlsize + CHUNK_HDR;
            readstrh(S.auds, false);
            skipto(start + size);
            break;
        }
        printfcc("Unknown strh data type %c%c%c%c ", t);
        int64_t n = strlstart + strlsize - rftell64();
        rfskip64(n);
        printf("%lld bytes skipped.\n", ll(n < 0 ? 0 : n));
    }
}

// The rest of a 12-byte bitmap header: width, height, planes and bit count
// as 16-bit values (width and height sign-extended), each only while it lies
// inside the format chunk; the fields that header does not have are 0.  (Read
// with the 40-byte layout, the 28 bytes after it would be taken from the
// palette or the next chunk, and the walk would go on inside them.)
void readcoreheader(avibitmapinfo& b, int64_t end) {
    int16_t v[4] = {};
    for (int16_t& x : v) {
        if (rftell64() + 2 > end) break;
        x = (int16_t)get16();
    }
    b.biWidth = v[0];
    b.biHeight = v[1];
    b.biPlanes = v[2];
    b.biBitCount = v[3];
    b.biCompression = 0;
    b.biSizeImage = 0;
    b.biXPelsPerMeter = 0;
    b.biYPelsPerMeter = 0;
    b.biClrUsed = 0;
    b.biClrImportant = 0;
}

void walkstrf(walk& w, uint32_t size, int64_t strlend) {
    printf("(strf %lld bytes)", ll(size));
    int64_t start = rftell64();
    if (S.avistreamkind == 1) {
        if (size != 40) printf("strfleng!=0x0028.\n");
        S.aviptrvidsstrf = rftell64();
        avibitmapinfo& b = S.avibmih;
        b.biSize = get32();
        if (b.biSize == 12 && size >= 4) {
            readcoreheader(b, start + size);
            printf(w.pass == 1 ? " 1:(DIBtype=%04X bpp=%d compress=%04X) " : " 2:(DIBtype=%04X bpp=%d compress=%04X) ",
                   b.biSize, b.biBitCount, b.biCompression);
            skipto(start + size);
            return;
        }
        b.biWidth = (int32_t)get32();
        b.biHeight = (int32_t)get32();
        b.biPlanes = (int16_t)get16();
        b.biBitCount = (int16_t)get16();
        b.biCompression = get32();
        b.biSizeImage = get32();
        b.biXPelsPerMeter = (int32_t)get32();
        b.biYPelsPerMeter = (int32_t)get32();
        b.biClrUsed = get32();
        b.biClrImportant = get32();
        printf(w.pass == 1 ? " 1:(DIBtype=%04X bpp=%d compress=%04X) " : " 2:(DIBtype=%04X bpp=%d compress=%04X) ",
               b.biSize, b.biBitCount, b.biCompression);
        skipto(start + size);
    } else if (S.avistreamkind == 2) {
        if (size != 16 && size != 18) printf("strfleng!=0x0010 or 0x0012.\n");
        S.aviptraudsstrf = rftell64();
        aviwaveformat& f = S.aviwfx;
        f.wFormatTag = get16();
        f.nChannels = get16();
        f.nSamplesPerSec = get32();
        f.nAvgBytesPerSec = get32();
        f.nBlockAlign = get16();
        f.wBitsPerSample = get16();
        f.cbSize = size > 18 ? get16() : 0;
        skipto(start + size);
    } else {
        skipto(strlend);
    }
}

void walkstrl(walk& w, int64_t start, uint32_t size) {
    w.strlnumber++;
    if (w.pass == 1) S.avistrlcount++;
    int64_t end = start + size;
    while (rftell64() - start < (int64_t)size && !ended()) {
        if (w.pass == 1) printf("--(strl left %d)--", (int)(end - rftell64()));
        fcc f = getfcc();
        if (f.is("strh")) {
            walkstrh(w, get32(), start, size);
        } else if (f.is("strf")) {
            walkstrf(w, get32(), end);
        } else if (f.is("strn")) {
            uint32_t n = get32();
            if (n & 1) {
                printf("(strn %lld+1 bytes)", ll(n));
                rfskip64((int64_t)n + 1);
            } else {
                printf("(strn %lld bytes)", ll(n));
                rfskip64(n);
            }
        } else if (f.is("strd")) {
            uint32_t n = get32();
            printf("(strd %lld bytes)", ll(n));
            rfskip64(n);
        } else if (f.is("indx")) {
            uint32_t n = get32();
            printf("(indx %lld bytes)", ll(n));
            S.aviodml = 0xFF;
            rfskip64(n);
        } else {
            if (rftell64() - start >= (int64_t)size) break;
            printfcc(w.pass == 1 ? "Unknown strl data type %c%c%c%c " : "Unknown hdrl-LIST2-strl data type %c%c%c%c ", f);
            uint32_t n = get32();
            printf("%lld bytes.\n", ll(n));
            rfskip64(n);
        }
    }
    if (rftell64() > end) S.avihdrlbad = 0xFF;
    if (S.avividsstrl == w.strlnumber && S.aviptrvidsstrlend == 0) S.aviptrvidsstrlend = end;
}

void walkodml(int64_t start, uint32_t size) {
    printf("(odml)");
    S.aviodml = 0xFF;
    while (rftell64() - start < (int64_t)size && !ended()) {
        fcc f = getfcc();
        if (f.is("dmlh")) {
            uint32_t n = get32();
            printf("(dmlh %lld bytes)", ll(n));
            rfskip64(n);
        }
    }
}

void walkhdrl(walk& w, int64_t start, uint32_t size) {
    if (w.pass == 1) {
        S.aviptrhdrl = start - 12;
        S.avihdrlsize = size;
    }
    int64_t end = start - 4 + (int64_t)size;  // start is after the type; the size counts it
    int64_t datastart = start - 4;
    while (rftell64() - datastart < (int64_t)size && !ended()) {
        if (w.pass == 1) printf("--(LIST1-hdrl left %d bytes)-- ", (int)(end - rftell64()));
        fcc f = getfcc();
        if (f.is("avih")) {
            readavih(w, get32());
        } else if (f.is("LIST")) {
            uint32_t n = get32();
            int64_t ls = rftell64();
            printf("(LIST2 %lld bytes)", ll(n));
            S.avistreamkind = 0;
            fcc t = getfcc();
            if (t.is("strl")) {
                walkstrl(w, ls, n);
            } else if (t.is("odml")) {
                walkodml(ls, n);
                return;  // the header walk ends after the extension list
            } else {
                printfcc("Unknown hdrl-LIST2 data type %c%c%c%c ", t);
                int64_t k = ls + n - rftell64();
                rfskip64(k);
                printf("%lld bytes skipped (to the end of hdrl-LIST2).\n", ll(k < 0 ? 0 : k));
            }
        } else {
            printfcc("Unknown hdrl data type %c%c%c%c ", f);
            int64_t k = end - rftell64();
            rfskip64(k);
            printf("%lld bytes skipped (to the end of LIST1).\n", ll(k < 0 ? 0 : k));
            return;
        }
    }
    if (rftell64() > end) S.avihdrlbad = 0xFF;
}

// The three lines of the first video chunk.
void firstvideolines(const fcc& f, int64_t p, int64_t liststart1) {
    bool dc = f.type("dc");
    printf("(liststart1 = %lld)", ll(liststart1));
    printf(dc ? "(00dc(0) chunkptr just after movi = %lld)" : "(00db(0) chunkptr just after movi = %lld)", ll(p));
    printf(dc ? "(00dc(0) chunkptr-liststart1 = %lld)" : "(00db(0) chunkptr-liststart1 = %lld)", ll(p - liststart1));
}

// Pass 2's dump of the rest of a movi list the walk cannot take: the first
// 32768 bytes are printed as they are read, the rest is skipped.
void dumprest(int64_t end) {
    int64_t left = end - rftell64();
    if (left < 0) left = 0;
    printf("\n    ");
    int64_t shown = left < 32768 ? left : 32768;
    for (int64_t i = 0; i < shown && !ended(); i++) {
        int c = rfgetc();
        if (c < 0) break;
        if (c >= 32 && c <= 124) printf("%02X(%c) ", c, c);
        else printf("%02X ", c);
        if ((i + 1) % 16 == 0) printf("\n    ");
    }
    if (left > 32768) {
        printf("...");
        skipto(end);
    }
    printf("\n");
    printf("%lld bytes skipped (to the end of LIST1).\n", ll(left));
}

void walkmovi(walk& w, int64_t movipos, uint32_t size) {
    printf("(movi)");
    S.avimovicount += w.pass == 1;
    if (w.pass == 1) {
        if (w.liststart1 == 0) w.liststart1 = movipos;
        else printf("Warning: More than two movi chunk exists in AVI.\n");
        S.aviptrmovi = movipos - CHUNK_HDR;
        S.aviptrmoviend = movipos + size;
    } else if (w.liststart1 == 0) {
        w.liststart1 = movipos;
    }
    int64_t datastart = movipos;  // the size counts the 'movi' fourcc
    int64_t end = movipos + size;
    while (rftell64() - datastart < (int64_t)size && !ended()) {
        int64_t p = rftell64();
        fcc f = getfcc();
        if (f.video()) {
            uint32_t n = get32();
            if (w.pass == 1) {
                if (!w.firstvideo) {
                    w.firstvideo = true;
                    S.avizeroframeptr = p;
                    std::memcpy(S.avividschunkid, f.b, 4);
                    firstvideolines(f, p, w.liststart1);
                }
                skipto(end);
                continue;
            }
            bool dc = f.type("dc");
            if (w.mf == 0) {
                S.avizeroframeptr = p;
                std::memcpy(S.avividschunkid, f.b, 4);
                firstvideolines(f, p, w.liststart1);
            }
            if (w.mf < idxtablecap)
                idxtable[w.mf] = (uint32_t)(aviindexabsolute(S) ? p : p - movipos);
            if (!dc) printf(" mf=%lld ", ll(w.mf));
            if (n != 0) {
                w.filledpos = p;
                w.filledsize = n;
                w.filledframe = w.mf;
            }
            if (w.mf == w.target) {
                printf(dc ? " movi frame %lld found (dc) " : " movi frame %lld found ", ll(w.mf));
                w.targetpos = p;
                w.targetsize = n;
                w.havesize = true;
                w.shownpos = w.filledpos;
                w.shownsize = w.filledsize;
                w.shownframe = w.filledframe;
            }
            w.mf++;
            rfskip64(n);
        } else if (f.audio()) {
            uint32_t n = get32();
            w.hasaudio = true;
            if (w.pass == 2) {
                S.aviwavmovibytes += (int64_t)n + CHUNK_HDR;
                if (S.aviwavcount == 0) {
                    S.aviptrfirstwav = p;
                    S.avifirstwavsize = n;
                }
                S.aviwavcount++;
                if ((int64_t)n > S.aviwavmaxchunk) S.aviwavmaxchunk = n;
            }
            rfskip64(n);
        } else if (f.digits() && f.type("pc")) {
            rfskip64(get32());
        } else if (f.digits()) {
            printfcc("Unknown movi 00xx-99xx data type %c%c%c%c ", f);
            uint32_t n = get32();
            printf("%lld bytes.\n", ll(n));
            rfskip64(n);
        } else if (f.b[0] == 'i' && f.b[1] == 'x' && f.b[2] >= '0' && f.b[2] <= '9' && f.b[3] >= '0' &&
                   f.b[3] <= '9') {
            S.aviodml = 0xFF;
            rfskip64(get32());
        } else {
            printf("00xx-99xx not found. (%02X(%c) %02X(%c) %02X(%c) %02X(%c)) ", f.b[0], f.b[0], f.b[1], f.b[1],
                   f.b[2], f.b[2], f.b[3], f.b[3]);
            if (w.pass == 2) {
                S.avimovibad = 0xFF;
                dumprest(end);
            } else {
                int64_t k = end - rftell64();
                rfskip64(k);
                printf("%lld bytes skipped (to the end of LIST1).\n", ll(k < 0 ? 0 : k));
            }
            return;
        }
    }
    if (w.pass == 2 && rftell64() != end) S.avimovibad = 0xFF;  // a chunk ran past the list
    printf("(movi ptr=%lld finished)", ll(rftell64() - datastart));
}

// An index entry that is not empty.
struct idxentry {
    bool met;
    uint32_t off, size;
    int64_t frame;
};

// The target's position and size from an index entry, by the offset
// convention: absolute when the first video entry's offset is the first
// video chunk's position, else counted from the first movi list's fourcc.
// shown is the last entry up to the target that is not empty.
void idxtarget(walk& w, uint32_t off, uint32_t size, const idxentry& shown) {
    bool absolute = aviindexabsolute(S);
    int64_t base = absolute ? 0 : w.liststart1;
    printf(absolute ? "(Win10 fmt)" : "(Win95-7 fmt)");
    w.targetpos = (int64_t)off + base;
    w.targetsize = size;
    w.havesize = true;
    // Position 0 is "not found", as for the target.
    int64_t p = shown.met ? (int64_t)shown.off + base : 0;
    w.shownpos = p;
    w.shownsize = p != 0 ? shown.size : 0;
    w.shownframe = p != 0 ? shown.frame : 0;
}

void walkidx1(walk& w, int64_t start, uint32_t size) {
    int64_t k = 0;
    idxentry filled{};
    while (rftell64() - start < (int64_t)size && !ended()) {
        fcc f = getfcc();
        uint32_t flags = get32();
        uint32_t off = get32();
        uint32_t n = get32();
        if (f.video()) {
            bool dc = f.type("dc");
            if (flags != 0x10) printf(dc ? "00-99dc dwFlags=%08X\n" : "00-99db dwFlags=%08X\n", flags);
            if (k == 0) {
                S.avizeroframeidx = off;
                if (w.pass == 1) {
                    printf("idx1(0)-ptr=%lld ", ll(off));
                } else {
                    printf("(re)idx1(0)-ptr=%lld ", ll(off));
                    if (!w.havesize) {
                        w.targetsize = n;
                        w.havesize = true;
                    }
                }
            }
            if (w.pass == 1) {
                if (k < idxtablecap) {
                    idxtable[k] = off;
                } else if (!w.notenough) {
                    printf("Not enough idxtable.\n");
                    w.notenough = true;
                }
            } else if (k < idxtablecap && off != idxtable[k]) {
                printf(dc ? "idx1(%lld) 00-99dc %lld != %lld\n" : "idx1(%lld) 00-99db %lld != %lld\n", ll(k), ll(off),
                       ll(idxtable[k]));
            }
            if (n != 0) filled = {true, off, n, k};
            if (k == w.target) {
                if (w.pass == 1) {
                    w.found = true;
                    if (!dc)
                        printf("(avizeroframeidx=%lld:avizeroframeptr=%lld)", ll(S.avizeroframeidx),
                               ll(S.avizeroframeptr));
                }
                idxtarget(w, off, n, filled);
                printf(" targetframe %lld found. ", ll(k));
            }
            k++;
        } else if (f.audio()) {
            w.hasaudio = true;
            if (w.pass == 2) {
                S.aviwavidx1bytes += 16;
                if (S.aviwavcount == 0) {
                    S.aviptrfirstwav = (int64_t)off + w.liststart1;
                    S.avifirstwavsize = n;
                }
                S.aviwavcount++;
            }
        }
    }
    if (w.pass == 1) printf("(idx1 len=%lld finished)", ll(rftell64() - start));
}

// The 8-byte trailer after the RIFF chunk; anything else there (a second
// RIFF chunk says OpenDML) ends the walk.
void trailer(walk& w) {
    if (ended()) return;
    int64_t p = rftell64();
    fcc f = getfcc();
    if (ended()) return;
    if (f.is("RIFF")) S.aviodml = 0xFF;
    if (!f.is("them")) return;
    if (w.pass == 1) S.aviptrthem = p;
    printfcc("(%c%c%c%c:", f);
    printfcc("%c%c%c%c)", getfcc());
    printf("(end of AVI) ");
}

// The top-level walk of one pass over the first RIFF chunk.
void walktop(walk& w, int64_t formstart, uint32_t riffsize) {
    while (rftell64() - formstart < (int64_t)riffsize) {
        if (ended()) {
            if (w.pass == 1) printf("Unexpected AVI file end.\n");
            return;
        }
        int64_t p = rftell64();
        fcc f = getfcc();
        if (f.is("them")) {
            if (w.pass == 1) S.aviptrthem = p;
            printfcc("(%c%c%c%c:", f);
            printfcc("%c%c%c%c)", getfcc());
            printf("(end of AVI) ");
            return;
        }
        if (f.is("idx1")) {
            if (w.pass == 1) S.aviptridx1 = p;
            uint32_t n = get32();
            printf("(idx1 %lld bytes)", ll(n));
            if (w.pass == 1) S.aviptridx1end = rftell64() + n;
            walkidx1(w, rftell64(), n);
        } else if (f.is("JUNK") || f.is("JUNQ")) {
            uint32_t n = get32();
            printf("(JUN%c %lld bytes)", f.b[3], ll(n));
            if (S.aviptrjunk == 0) {
                S.aviptrjunk = p;
                S.avijunksize = n;
            }
            rfskip64(n);
        } else if (f.is("LIST")) {
            uint32_t n = get32();
            int64_t ls = rftell64();
            printf("(LIST1 %lld bytes: ptr=%lld)", ll(n), ll(ls));
            fcc t = getfcc();
            if (t.is("hdrl")) {
                walkhdrl(w, rftell64(), n);
            } else if (t.is("movi")) {
                walkmovi(w, ls, n);
            } else {
                printfcc("Unknown LIST1 data type %c%c%c%c ", t);
                int64_t k = ls + n - rftell64();
                rfskip64(k);
                if (w.pass == 2) printf("%lld bytes skipped (to the end of LIST1).\n", ll(k < 0 ? 0 : k));
            }
        } else {
            printfcc("Unknown main chunk %c%c%c%c ", f);
            uint32_t n = get32();
            printf("%lld bytes.\n", ll(n));
            rfskip64(n);
        }
    }
}

// What a scan reads: a file by its 8-bit name, or a source.  Each pass
// opens it on RD afresh (the first pass may well have ended the stream).
struct scanfrom {
    const char* name;
    const rdsource* src;
    int open() const { return src ? rfopensrc(src) : rfopen(name); }
    // What the read-failure line names: a source has no file name of its own.
    const char* shown() const { return name ? name : "(the planned movie)"; }
};

// A read failed (not the end of the data): what the pass saw stops at an
// arbitrary byte, so nothing it found may be used.  The line and the scan's
// result for it.
int readfailed(const scanfrom& from) {
    printf("Read failed (RD) while scanning AVI: %s\n", from.shown());
    return AVISCAN_READFAIL;
}

// Opens what the scan reads and checks the signature: 0 with the form start
// and the RIFF size, else the scan's result (-1, 2, 3, 5) with RD closed.
int openriff(const scanfrom& from, walk& w, int64_t* formstart, uint32_t* riffsize) {
    if (from.open() != 0) return -1;
    struct failed {
        const scanfrom& from;
        // A signature cut by a failed read is the read's failure, not a
        // file of another kind.
        int operator()(int r) const { return rferror() ? readfailed(from) : r; }
    } fail{from};
    int c = rfgetc();
    if (c != 'R') {
        rfskip64(127);
        c = rfgetc();
    }
    if (c != 'R' || rfgetc() != 'I' || rfgetc() != 'F' || rfgetc() != 'F') {
        rfclose();
        return fail(2);
    }
    if (w.pass == 1) S.aviptrriffleng = rftell64();
    *riffsize = get32();
    if (w.pass == 1) {
        S.aviriffsize = *riffsize;
        printf("(RIFF len=%04X%04X)", *riffsize >> 16, *riffsize & 0xFFFF);
    }
    *formstart = rftell64();
    if (rfgetc() != 'A' || rfgetc() != 'V' || rfgetc() != 'I') {
        rfclose();
        return fail(3);
    }
    rfgetc();
    return 0;
}

// The file's length, for capping the index table; 0 when it cannot be
// measured.
int64_t filelength(const char* name) {
    int64_t len = 0;
    return rflength(name, &len) ? len : 0;
}

void resetscan() {
    aviscanrecord keep = S;
    aviscanrecord z{};
    // Header values survive; positions, layout facts and sums start at 0.
    z.avih = keep.avih;
    z.avifps = keep.avifps;
    z.vids = keep.vids;
    z.auds = keep.auds;
    z.avibmih = keep.avibmih;
    z.aviwfx = keep.aviwfx;
    S = z;
}

}  // namespace

// ============================================================================
// aviscan
// ============================================================================

namespace {

// Both passes over what from names, then the outputs: aviscan's body.
int scanpasses(const scanfrom& from, int32_t frame, uint32_t* total, uint32_t* width, uint32_t* height,
               uint8_t* sizeflag, uint8_t* hasaudio, int64_t* audiobuf, int64_t* junkpos, int64_t* junksize,
               int64_t* chunksize, int64_t* chunkoff, float* fps) {
    printf("Scanning index ... ");
    resetscan();
    walk w{};
    w.pass = 1;
    w.target = frame;
    int64_t formstart = 0;
    uint32_t riffsize = 0;
    w.filelen = from.src ? from.src->length : filelength(from.name);
    int r = openriff(from, w, &formstart, &riffsize);
    if (r != 0) return r;
    // The table is sized again by this movie's main header; without one it
    // must not go on describing the movie scanned before.
    idxtablealloc(0);
    walktop(w, formstart, riffsize);
    trailer(w);
    rfclose();
    if (rferror()) return readfailed(from);

    printf(w.found ? "found." : "no index.");
    printf("\n");
    printf("Scanning AVI in detail ... ");
    S.avistreamkind = 0;
    S.aviwavcount = S.aviwavstrlbytes = S.aviwavmovibytes = S.aviwavidx1bytes = 0;
    S.aviwavmaxchunk = 0;
    S.avividsstrhcount = S.aviaudsstrhcount = 0;
    S.avividsstrl = S.aviaudsstrl = 0;
    S.aviptraudsstrl = 0;
    S.aviptrvidsstrlend = 0;
    w.pass = 2;
    w.strlnumber = 0;
    w.filledpos = w.filledsize = w.filledframe = 0;
    r = openriff(from, w, &formstart, &riffsize);
    if (r != 0) return r;
    walktop(w, formstart, riffsize);
    trailer(w);
    rfclose();
    if (rferror()) return readfailed(from);
    printf("scan finished.\n");
    if (w.hasaudio)
        printf("max. WAV chunk %lld, 1st chunk size %lld from %lld.\n", ll(S.aviwavmaxchunk), ll(S.avifirstwavsize),
               ll(S.aviptrfirstwav));

    const uint64_t row = dibstride(S.avih.aviwidth, 24);
    uint64_t frame24 = row * S.avih.aviheight;
    uint64_t size = (uint64_t)w.targetsize;
    *total = S.vids.length;
    *width = S.avih.aviwidth;
    *height = S.avih.aviheight;
    *sizeflag = frame24 == size ? 15 : frame24 > size ? 0 : 1;
    *hasaudio = w.hasaudio ? 0xFF : 0;
    *audiobuf = (int32_t)S.auds.bufsize;
    *junkpos = S.aviptrjunk;
    *junksize = S.avijunksize;
    *chunksize = w.targetsize;
    *chunkoff = w.targetpos;
    *fps = S.avifps;
    S.aviptrshown = w.shownpos;
    S.avishownsize = w.shownsize;
    S.avishownframe = w.shownframe;
    printf("done.\n");
    return 0;
}

}  // namespace

int aviscan(const char* name, int32_t frame, uint32_t* total, uint32_t* width, uint32_t* height,
            uint8_t* sizeflag, uint8_t* hasaudio, int64_t* audiobuf, int64_t* junkpos, int64_t* junksize,
            int64_t* chunksize, int64_t* chunkoff, float* fps) {
    return scanpasses({name, nullptr}, frame, total, width, height, sizeflag, hasaudio, audiobuf, junkpos,
                      junksize, chunksize, chunkoff, fps);
}

int aviscansrc(const rdsource* src, int32_t frame, uint32_t* total, uint32_t* width, uint32_t* height,
               uint8_t* sizeflag, uint8_t* hasaudio, int64_t* audiobuf, int64_t* junkpos, int64_t* junksize,
               int64_t* chunksize, int64_t* chunkoff, float* fps) {
    return scanpasses({nullptr, src}, frame, total, width, height, sizeflag, hasaudio, audiobuf, junkpos,
                      junksize, chunksize, chunkoff, fps);
}
