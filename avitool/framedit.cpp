// framedit.cpp - the edits that write frame rates and frames into existing
// movies: avisetfps, avireplaceframe, aviappendframe.
//
// Division: the edit session (temporary file, forward copy with patches,
// the checked finish and the atomic replace); the rate patch; the rate
// change; the frame checks; the replacement; the append.
//
// Every edit scans the movie, decides everything it can before it creates
// the temporary file "~qeltmp.avi" beside the movie, streams the edited
// movie into it strictly forward, checks that every byte arrived, and then
// puts it in the movie's place in one step (g_os.replace).  Any failure
// leaves the movie as it was and removes the temporary file.

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "avitool/avitool.h"
#include "avitool/frames_internal.h"
#include "image/image.h"
#include "movie/chunks.h"
#include "platform/platform.h"
#include "stream/stream.h"
#include "text/paths.h"

using namespace avitool_detail;

namespace {




// The length of the file at path; 0 when it cannot be opened.
int64_t filelength(const char* path) {
    int64_t n = 0;
    return rflength(path, &n) ? n : 0;
}

// ---- The edit session ---------------------------------------------------------------------

// The console lines of the three edits (the rate change reuses the
// replacement's).
const editlines kReplaceLines = {
    "Cannot open (RD) for replacing image in AVI (%d).\n",
    "Cannot open (WR) for replacing image in AVI (%d).\n",
    "Cannot finish copy (WR) for replacing image in AVI1.\n",
    "replace done. Copying ...\n",
    "Cannot finish copy (WR) for replacing image in AVI2.\n",
};
const editlines kFpsLines = {
    kReplaceLines.openrd, kReplaceLines.openwr, kReplaceLines.failed, "FPS changed. Copying ...\n",
    kReplaceLines.replace,
};
const editlines kAppendLines = {
    "Cannot open (RD) for appending image to AVI (%d).\n",
    "Cannot open (WR) for appending image to AVI (%d).\n",
    "Copy failed (WR) for appending image in AVI1.\n",
    "append done. Copying ...\n",
    "Cannot finish copy (WR) for appending image in AVI3.\n",
};

// The temporary path and the refusal of a movie that is the temporary file
// itself (creating the temporary would empty it): 0, or the result.
int editbegin(edit& e, const char* movie, const editlines& lines) {
    e.lines = lines;
    if (!tmppath(e, movie)) return EDIT_NOFILE;
    if (istmpfile(movie, "AVI")) return EDIT_REFUSED;
    return 0;
}

// A failed copy: its line, then the edit ends with 3.
int lost(edit& e) {
    printf("%s", e.lines.failed);
    return editabort(e, EDIT_REFUSED);
}

// The patch positions an edit needs, then the headers they lie in: headers
// shorter than their fixed layout have positions inside the next chunk, and
// patching them would overwrite other bytes.
int needpositions(unsigned need) {
    if (int r = checkpositions(need)) return r;
    if (aviscaninfo.aviavihsize < AVIH_SIZE || aviscaninfo.avividsstrhsize < STRH_SIZE) {
        std::printf("Header chunk too short for editing AVI (avih %lu, strh %lu).\n",
                    (unsigned long)aviscaninfo.aviavihsize, (unsigned long)aviscaninfo.avividsstrhsize);
        return EDIT_REFUSED;
    }
    return 0;
}

// ---- The rate patch ------------------------------------------------------------------------

// (float)fs x fps + 2 in single precision, truncated and clamped to u32.
uint32_t ratebytes(int64_t fs, float fps) { return satu32((double)((float)fs * fps + 2.0f)); }

}  // namespace

void avitool_detail::ratepatches(const aviscanrecord& S, std::vector<patch>* out, int64_t fs, float fps, bool audio) {
    uint64_t maxbytes = ratebytes(fs, fps);
    if (audio && S.aviptraudsstrf != 0)
        maxbytes += (uint64_t)S.aviwfx.nSamplesPerSec * S.aviwfx.nChannels * (S.aviwfx.wBitsPerSample / 8);
    uint32_t scale, rate;
    raterule(fps, &scale, &rate);
    out->push_back({S.aviptrusperframe, 4, {usecperframe(fps)}});
    out->push_back({S.aviptrmaxbytes, 4, {maxbytes > UINT32_MAX ? UINT32_MAX : (uint32_t)maxbytes}});
    out->push_back({S.aviptrvidsrate - 4, 8, {scale, rate}});
    out->push_back({S.aviptrvidsbufsize, 4, {ratebytes(fs, fps)}});
}

frameappendplan avitool_detail::planframeappend(const aviscanrecord& S, uint32_t frames, int64_t total, uint64_t fs,
                                                bool rate, float fps, bool audio) {
    frameappendplan p{};
    p.k = total - (int64_t)frames;
    p.fs = fs;
    p.index = S.aviptridx1 != 0 && S.aviptridx1end != 0;
    const uint64_t k = (uint64_t)p.k;
    const uint64_t chunks = (fs + CHUNK_HDR) * k;  // fs < 2^32 and k < 2^32 where it counts
    const uint64_t movisize = (uint64_t)(S.aviptrmoviend - (S.aviptrmovi + CHUNK_HDR));
    const uint64_t idx1size = p.index ? (uint64_t)(S.aviptridx1end - (S.aviptridx1 + CHUNK_HDR)) : 0;
    p.movisize = movisize + chunks;  // also the last new chunk's end, from 'movi'
    p.idx1size = idx1size + IDX1_ENTRY * k;
    p.riff = (uint64_t)S.aviriffsize + chunks + (p.index ? IDX1_ENTRY * k : 0);
    p.base = S.aviptrmovi + CHUNK_HDR;
    p.riffend = S.aviptrriffleng + 4 + (int64_t)p.riff;
    p.fits = p.k >= 0 && p.k <= (int64_t)UINT32_MAX && fs <= UINT32_MAX && p.riff <= UINT32_MAX &&
             p.movisize <= UINT32_MAX && p.idx1size <= UINT32_MAX;
    if (!p.index) p.idx1size = 0;
    if (!p.fits) return p;
    p.patches.push_back({S.aviptrriffleng, 4, {(uint32_t)p.riff}});
    if (rate) ratepatches(S, &p.patches, (int64_t)fs, fps, audio);
    auto plus = [&](uint32_t v) { uint64_t n = (uint64_t)v + k; return n > UINT32_MAX ? UINT32_MAX : (uint32_t)n; };
    p.patches.push_back({S.aviptrtotalframes, 4, {plus(S.avih.avitotalframes)}});
    p.patches.push_back({S.aviptrvidslength, 4, {plus(S.vids.length)}});
    p.patches.push_back({S.aviptrmovi + 4, 4, {(uint32_t)p.movisize}});
    p.ordered = sortpatches(&p.patches);
    return p;
}

namespace {

// The edits' tolerance: the caller's rate counts as different from the
// movie's when they differ by more than 0.05 %.
bool ratediffers(double movie, double f, double tol) { return movie * (1 - tol) > f || f > movie * (1 + tol); }

}  // namespace

// ---- The rate change -----------------------------------------------------------------------

int avisetfps(const char* path, float fps) {
    if (!usablerate(fps)) {
        std::printf("Cannot set AVI to %g fps.\n", (double)fps);
        return EDIT_REFUSED;
    }
    edit e;
    if (int r = editbegin(e, path, kFpsLines)) return r;
    // A mistyped path is not a success.
    if (rfopenq(path) != 0) {
        std::printf("AVI file not found: %s \n", path);
        return EDIT_NOFILE;
    }
    rfclose();
    const scanfacts& sc = e.scan;
    if (int r = scanmovie(path, 0, &e.scan)) return r;
    if (sc.sizeflag == 0) {
        std::printf("Cannot treat compressed AVI (fwrite:%d).\n", sc.sizeflag);
        return FRAME_CANNOT;
    }
    if (!ratediffers((double)sc.fps, (double)fps, 0.0001)) return 0;
    const int64_t fs = sc.chunksize;
    if (int r = needpositions(NEED_RATE)) return r;

    if (int r = editopen(e)) return r;
    int64_t len = 0;
    rfgetsize64(&len);
    std::vector<patch> patches;
    ratepatches(aviscaninfo, &patches, fs, fps, sc.hasaudio != 0);
    if (!sortpatches(&patches) || !applypatches(e, patches)) return lost(e);
    // The rest as it is: the trailer and the old zero padding come along,
    // so the file keeps its length.
    if (!copyto(e, len)) {
        return lost(e);
    }
    return editreplace(e, len);
}

// ---- The frame checks ----------------------------------------------------------------------

namespace {

// The movie's own frame format, which decides what the pixel-writing edits
// write: uncompressed 24 or 32 bits of one plane whose size is the main
// header's, rows bottom-up or top-down, and the chunk id of its video frames.
// Anything else (a compressed stream above all) would get raw pixels in
// chunks that mean something else.
struct framefmt {
    bool alpha;
    bool topdown;
    char id[5];
};

bool movieformat(const scanfacts& sc, framefmt* f) {
    const aviscanrecord& S = aviscaninfo;
    const avibitmapinfo& b = S.avibmih;
    if (S.aviptrvidsstrf == 0 || S.aviptrusperframe == 0) return false;
    if (b.biCompression != 0 || b.biPlanes != 1 || (b.biBitCount != 24 && b.biBitCount != 32)) return false;
    int64_t h = b.biHeight < 0 ? -(int64_t)b.biHeight : b.biHeight;
    if (b.biWidth <= 0 || (int64_t)b.biWidth != (int64_t)sc.width || h != (int64_t)sc.height) return false;
    f->alpha = b.biBitCount == 32;
    f->topdown = b.biHeight < 0;
    const uint8_t* id = S.avividschunkid;
    std::memcpy(f->id, isvideoid(id) ? (const char*)id : (f->alpha ? "00dc" : "00db"), 4);
    f->id[4] = 0;
    return true;
}

// The size and planes the caller gives: a picture, planes that are there
// (alpha too for 32-bit frames), and a frame whose size fits a chunk's u32.
bool imageok(const imgplanes& img, bool alpha) {
    if (img.width <= 0 || img.height <= 0 || !img.R || !img.G || !img.B || (alpha && !img.A)) return false;
    return framebytes((uint32_t)img.width, (uint32_t)img.height, alpha) <= UINT32_MAX;
}

// A missing movie is made with total copies of the image, at least one (a
// negative frame number means frame 0 of a new movie).
int createmissing(const char* path, const imgplanes& img, int64_t total, float fps, uint8_t bit32) {
    int64_t n = total < 1 ? 1 : total > INT32_MAX ? INT32_MAX : total;
    int r = avicreate(path, img.width, img.height, img.R, img.G, img.B, img.A, (int)n, fps, bit32);
    if (r != 0) std::printf("Failed creating AVI.(%d)\n", r);
    return r;
}


// The start both frame edits share: the rate, the temporary path, a missing
// movie created (only where nothing exists: one that cannot be read is
// refused, never replaced by a new one), the scan.  *done says whether the
// edit ends here with the result.
int editstart(edit& e, const editlines& lines, const char* path, int frame, int64_t tot, const imgplanes& img,
              float fps, uint8_t bit32, scanfacts* sc, bool* done) {
    *done = true;
    if (!usablerate(fps)) {
        std::printf("Cannot use %g fps in AVI.\n", (double)fps);
        return EDIT_REFUSED;
    }
    if (int r = editbegin(e, path, lines)) return r;
    if (!pathexists(path)) return createmissing(path, img, tot, fps, bit32);
    if (int r = findandscan(e, frame)) return r;
    *sc = e.scan;
    *done = false;
    return 0;
}

// ---- The replacement -----------------------------------------------------------------------

// The replacement of the frame the scan targeted, in place.
int replaceframe(edit& e, const scanfacts& sc, const framefmt& f, const imgplanes& img, float fps) {
    const int64_t fs = (int64_t)framebytes((uint32_t)img.width, (uint32_t)img.height, f.alpha);
    if (int r = needpositions(NEED_RATE)) return r;

    if (int r = editopen(e)) return r;
    int64_t len = 0;
    rfgetsize64(&len);
    std::vector<patch> patches;
    if (ratediffers((double)sc.fps, (double)fps, 0.0005)) ratepatches(aviscaninfo, &patches, fs, fps, sc.hasaudio != 0);
    if (!applypatches(e, patches)) return lost(e);
    if (sc.chunkoff <= 0 || !copyto(e, sc.chunkoff)) {
        return lost(e);
    }
    std::printf("Checking DIB ptr %lld ... ", ll(rftell64()));
    uint8_t cc[4];
    for (uint8_t& c : cc) c = (uint8_t)rfgetc();
    std::printf("(%c%c%c%c).\n", cc[0], cc[1], cc[2], cc[3]);
    // Only a chunk of the video stream itself takes the new frame: an index
    // entry pointing at a '01wb' chunk of the same size must not turn the
    // sound into a frame.
    bool video = isvideoid(cc) && cc[0] == (uint8_t)f.id[0] && cc[1] == (uint8_t)f.id[1];
    if (!video) {
        std::printf("Index not pointing 00-99 in AVI.\n");
        return editabort(e, FRAME_NOTVIDEO);
    }
    const int64_t size = (uint32_t)rfgetdw();
    if (size != sc.chunksize) {
        std::printf("Scanned DIB size does not match (%lld!=%lld) in AVI.\n", ll(size), ll(sc.chunksize));
        return editabort(e, FRAME_NOROOM);
    }
    if (size < fs) {
        std::printf("Not enough DIB frame file space (%lld<%lld) in AVI.\n", ll(size), ll(fs));
        return editabort(e, FRAME_NOROOM);
    }
    // A smaller image at its own stride would show as sheared rows.
    if ((uint32_t)img.width != sc.width || (uint32_t)img.height != sc.height) {
        std::printf("Different image size (outputting %ldx%ld != AVI %lux%lu).\n", (long)img.width, (long)img.height,
                    (unsigned long)sc.width, (unsigned long)sc.height);
        return editabort(e, FRAME_OTHERSIZE);
    }
    rdskip(size);
    for (uint8_t c : cc) outc(e, c);
    outdw(e, (uint32_t)size);
    if (putplanes(img.R, img.G, img.B, img.A, (uint32_t)img.width, (uint32_t)img.height, f.alpha, f.topdown) != 0) {
        return lost(e);
    }
    outzeros(e, size - fs);
    // The rest as it is: the file keeps its length.
    if (!copyto(e, len)) {
        return lost(e);
    }
    return editreplace(e, len);
}

// ---- The append ----------------------------------------------------------------------------

// The append of copies of the image up to tot frames.
int appendframes(edit& e, const scanfacts& sc, const framefmt& f, const char* path, int64_t tot,
                 const imgplanes& img, float fps) {
    const aviscanrecord& S = aviscaninfo;
    // Layouts the append cannot keep whole: OpenDML segments after the
    // first RIFF (and their absolute indexes), several movi lists, an index
    // of absolute offsets, a movi list the scan could not walk.
    if (int r = checklayout("appending image to AVI")) return r;
    // An idx1 whose size runs past the end of the file is a cut movie (a
    // size field the cut took reads as a huge index, which looked like a
    // movie past 4 GB).
    if (S.aviptridx1 != 0 && S.aviptridx1end > filelength(path)) {
        std::printf("Unsupported AVI layout (an index cut off by the end of the file). "
                    "Failure abort in appending image to AVI.\n");
        return EDIT_REFUSED;
    }
    // Every size the append writes, planned before anything is created.
    const frameappendplan plan =
        planframeappend(S, sc.total, tot, framebytes((uint32_t)img.width, (uint32_t)img.height, f.alpha),
                        ratediffers((double)sc.fps, (double)fps, 0.0005), fps, sc.hasaudio != 0);
    const int64_t k = plan.k;
    const uint64_t fs = plan.fs;
    if (!plan.fits) {
        std::printf("File size will be over 4 GB.  Cannot create file. \n");
        return AVI1_TOO_LARGE;
    }
    if (idxtablealloc((int32_t)tot) != 0) {
        std::printf("Memory for idx1 table allocation FAILED.\n");
        return EDIT_NOFILE;
    }
    if (int r = needpositions(NEED_ALL & ~NEED_STREAMS)) return r;
    noteindex();
    if (S.aviptrthem == 0) std::printf("(no 'them' chunk)");

    if (int r = editopen(e)) return r;
    // The RIFF size is the first patch: a copy that reaches it stands on it.
    if (!plan.ordered || !applypatches(e, plan.patches)) return lost(e);
    if (!copyto(e, S.aviptrmoviend)) return lost(e);
    const int64_t base = plan.base;  // the 'movi' fourcc: this edit does not move it
    for (int64_t j = 0; j < k; j++) {
        idxtable[sc.total + j] = (uint32_t)(outpos(e) - base);
        outfourcc(e, f.id);
        outdw(e, (uint32_t)fs);
        if (putplanes(img.R, img.G, img.B, img.A, (uint32_t)img.width, (uint32_t)img.height, f.alpha,
                      f.topdown) != 0)
            return lost(e);
    }
    if (plan.index) {
        uint32_t n = 0;
        const idx1at at = copytoidx1(e, &n);
        if (at == IDX1_COPYFAILED) return lost(e);
        if (at == IDX1_MISSED) {
            std::printf("idx1 missed. Failure abort in appending image to AVI.\n");
            return editabort(e, EDIT_REFUSED);
        }
        outfourcc(e, "idx1");
        outdw(e, (uint32_t)plan.idx1size);
        if (!copyto(e, S.aviptridx1end)) return lost(e);
        for (int64_t j = 0; j < k; j++) {
            outfourcc(e, f.id);
            outdw(e, IDX1_KEYFRAME);
            outdw(e, idxtable[sc.total + j]);
            outdw(e, (uint32_t)fs);
        }
    }
    // The trailer, the zero fill and the replace; the write position must be
    // the end of the RIFF chunk as planned.
    return editfinish(e, plan.riffend);
}

// ---- Replace or append ---------------------------------------------------------------------

// The replacement's checks: a frame the scan walked, a movie whose frames
// take the image.  0, or the result after its line.
int replacechecks(const scanfacts& sc, int frame, const imgplanes& img, framefmt* f) {
    // The scan walks the first RIFF segment only: a frame of the movie that
    // it did not meet lies in a later one, which no edit reaches.
    if (aviscaninfo.aviodml && sc.chunkoff == 0 && (frame < 0 || (int64_t)frame < (int64_t)sc.total)) {
        std::printf("Unsupported AVI layout (a frame past the first RIFF segment of an OpenDML movie). "
                    "Failure abort in replacing image in AVI.\n");
        return EDIT_REFUSED;
    }
    if (sc.sizeflag == 0 || !movieformat(sc, f) || !imageok(img, f->alpha)) {
        std::printf("Cannot replace frame image (fwrite:%d) in AVI.\n", sc.sizeflag);
        return FRAME_CANNOT;
    }
    return 0;
}

// The append's checks: the movie's size, a movie whose frames take the
// image.  0, or the result after its line.
int appendchecks(const scanfacts& sc, const imgplanes& img, framefmt* f) {
    if ((uint32_t)img.width != sc.width || (uint32_t)img.height != sc.height || img.width <= 0 || img.height <= 0) {
        std::printf("Different image size (outputting %ldx%ld != AVI %lux%lu).\n", (long)img.width, (long)img.height,
                    (unsigned long)sc.width, (unsigned long)sc.height);
        return FRAME_OTHERSIZE;
    }
    if (!movieformat(sc, f) || !imageok(img, f->alpha)) {
        std::printf("Cannot replace frame image (fwrite:%d) in AVI.\n", sc.sizeflag);
        return FRAME_CANNOT;
    }
    return 0;
}

// Both frame edits: one start and one scan, then the one decision.  A
// replacement past the last frame becomes an append, an append that adds no
// frame becomes a replacement; the checks of the edit asked for come first,
// then those of the edit it becomes, which runs with its own lines.
int frameedit(bool append, const char* path, int frame, int total, int width, int height, const uint8_t* R,
              const uint8_t* G, const uint8_t* B, const uint8_t* A, float fps, uint8_t bit32) {
    const int64_t tot = total <= frame ? (int64_t)frame + 1 : total;
    // The caller's image travels as one plane set; nothing here writes or
    // frees its planes.
    const imgplanes img = {width, height, const_cast<uint8_t*>(R), const_cast<uint8_t*>(G),
                           const_cast<uint8_t*>(B), const_cast<uint8_t*>(A), 0, 0};
    edit e;
    scanfacts sc;
    bool done = false;
    int r = editstart(e, append ? kAppendLines : kReplaceLines, path, frame, tot, img, fps, bit32, &sc, &done);
    if (done) return r;
    framefmt f;
    if (append) {
        if ((r = appendchecks(sc, img, &f))) return r;
        append = tot > (int64_t)sc.total;
        if (!append && (r = replacechecks(sc, frame, img, &f))) return r;
    } else {
        if ((r = replacechecks(sc, frame, img, &f))) return r;
        append = frame >= 0 && (int64_t)frame >= (int64_t)sc.total;
        if (append && (r = appendchecks(sc, img, &f))) return r;
    }
    e.lines = append ? kAppendLines : kReplaceLines;
    if (append) return appendframes(e, sc, f, path, tot, img, fps);
    return replaceframe(e, sc, f, img, fps);
}

}  // namespace

int avireplaceframe(const char* path, int frame, int total, int width, int height, const uint8_t* R,
                    const uint8_t* G, const uint8_t* B, const uint8_t* A, float fps, uint8_t bit32) {
    return frameedit(false, path, frame, total, width, height, R, G, B, A, fps, bit32);
}

int aviappendframe(const char* path, int frame, int total, int width, int height, const uint8_t* R,
                   const uint8_t* G, const uint8_t* B, const uint8_t* A, float fps, uint8_t bit32) {
    return frameedit(true, path, frame, total, width, height, R, G, B, A, fps, bit32);
}
