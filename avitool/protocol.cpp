// protocol.cpp - the edit protocol: temporary path, existence test and
// scan, the position and layout checks, the forward copy (into the
// temporary file, or into a plan), and the end of an edit with its atomic
// replace.

#include "avitool/avitool_internal.h"
#include "avitool/frames_internal.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>

#include "movie/chunks.h"
#include "movie/finish.h"
#include "movie/framelist.h"
#include "platform/platform.h"
#include "stream/stream.h"
#include "text/paths.h"

namespace avitool_detail {

namespace {

// Notes stretches, own bytes and zeros at the plan's end, each joined to the
// piece before it where it continues it, so that a movi list of frames kept
// whole is one stretch.
void planrange(spliced& p, int64_t from, int64_t n) {
    if (n <= 0) return;
    piece* last = p.pieces.empty() ? nullptr : &p.pieces.back();
    if (last && last->src >= 0 && last->src + last->len == from) last->len += n;
    else p.pieces.push_back({p.length, n, from, 0});
    p.length += n;
}

void planown(spliced& p, const uint8_t* b, size_t n) {
    if (n == 0) return;
    piece* last = p.pieces.empty() ? nullptr : &p.pieces.back();
    if (last && last->src == PIECE_OWN && last->off + (size_t)last->len == p.own.size()) last->len += (int64_t)n;
    else p.pieces.push_back({p.length, (int64_t)n, PIECE_OWN, p.own.size()});
    p.own.insert(p.own.end(), b, b + n);
    p.length += (int64_t)n;
}

void planzeros(spliced& p, int64_t n) {
    if (n <= 0) return;
    piece* last = p.pieces.empty() ? nullptr : &p.pieces.back();
    if (last && last->src == PIECE_ZEROS) last->len += n;
    else p.pieces.push_back({p.length, n, PIECE_ZEROS, 0});
    p.length += n;
}

}  // namespace

// The directory is getdir's (lead-byte aware), taken on to a '/' in what
// getdir left as the name: Windows takes '/' as a separator too, and the
// temporary file must lie in the movie's own directory for the one-step
// replace.  '/' is never the second byte of a double-byte character, so the
// plain search is safe.
bool tmppath(edit& e, const char* movie) {
    e.movie = movie;
    std::string dir(std::strlen(movie) + 1, '\0');
    getdir(dir.data(), movie);
    dir.resize(std::strlen(dir.c_str()));
    const char* slash = std::strrchr(movie + dir.size(), '/');
    if (slash) dir.assign(movie, (size_t)(slash - movie) + 1);
    if (!joinpath(e.tmp, sizeof e.tmp, dir.c_str(), TMPNAME)) {
        printf("Path too long for the temporary file.(%s)\n", movie);
        return false;
    }
    return true;
}

// The last component (after '\' or '/', which Windows takes as well) is
// compared without regard to case on every system: Windows names it so, and
// the POSIX layer's searches do too.  A WAV of that name is refused wherever
// it lies: the check cannot tell every spelling of one directory apart, and
// no sound file is meant to bear the toolkit's temporary name.
bool istmpfile(const char* path, const char* what) {
    const char* last = path;
    for (const char* p = path; *p; p++)
        if (*p == '\\' || *p == '/') last = p + 1;
    size_t n = std::strlen(TMPNAME);
    if (std::strlen(last) != n) return false;
    for (size_t i = 0; i < n; i++)
        if (std::tolower((unsigned char)last[i]) != TMPNAME[i]) return false;
    printf("%s is the temporary file of the AVI edits.(%s)\n", what, path);
    return true;
}

namespace {

// aviscan or aviscansrc (scan of what `from` names) into the facts, with the
// edits' line for a failed scan.
template <class From>
int scaninto(int (*scan)(From, int32_t, uint32_t*, uint32_t*, uint32_t*, uint8_t*, uint8_t*, int64_t*, int64_t*,
                         int64_t*, int64_t*, int64_t*, float*),
             From from, int32_t frame, scanfacts* s, bool say = true) {
    int r = scan(from, frame, &s->total, &s->width, &s->height, &s->sizeflag, &s->hasaudio, &s->audiobuf,
                 &s->junkpos, &s->junksize, &s->chunksize, &s->chunkoff, &s->fps);
    if (r != 0 && say) printf("ErrScanningAVI (%d)\n", r);
    return r;
}

}  // namespace

int scanmovie(const char* name, int32_t frame, scanfacts* s) { return scaninto(aviscan, name, frame, s); }
int scanfor(const char* path, int32_t frame, scanfacts* s) { return scaninto(aviscan, path, frame, s, false); }

int findandscan(edit& e, int32_t frame) {
    // A source is there by construction; only a named movie is looked for.
    if (e.src) return scaninto(aviscansrc, e.src, frame, &e.scan);
    if (rfopenq(e.movie) != 0) {
        printf("Cannot find AVI.(%s)\n", e.movie);
        return EDIT_NOFILE;
    }
    rfclose();
    if (istmpfile(e.movie, "AVI")) return EDIT_REFUSED;
    return scanmovie(e.movie, frame, &e.scan);
}

int checkpositions(unsigned need) {
    const aviscanrecord& S = aviscaninfo;
    const struct {
        int64_t pos;
        const char* line;
    } order[] = {
        {S.aviptrriffleng, "RIFF not found.\n"},
        {S.aviptrusperframe, "microsec/frame (avih) not found.\n"},
        {S.aviptrmaxbytes, "maxbyte/sec (avih) not found.\n"},
        {S.aviptrtotalframes, "maxframe (avih) not found.\n"},
        {S.aviptrstreams, "streams (avih) not found.\n"},
        {S.aviptrvidsrate, "1000*fps (vids) not found.\n"},
        {S.aviptrvidslength, "maxframe (vids) not found.\n"},
        {S.aviptrvidsbufsize, "maxbyte/sec (vids) not found.\n"},
        {S.aviptrmovi, "movi start not found.\n"},
        {S.aviptrmoviend, "movi end not found.\n"},
    };
    for (unsigned i = 0; i < sizeof order / sizeof order[0]; i++)
        if ((need >> i & 1) && order[i].pos == 0) {
            printf("%s", order[i].line);
            return EDIT_REFUSED;
        }
    return 0;
}

void noteindex(void) {
    if (aviscaninfo.aviptridx1 == 0) printf("(no 'idx1' chunk)");
    if (aviscaninfo.aviptridx1end == 0) printf("(no 'idx1' chunk)");
}

int checklayout(const char* what) {
    const aviscanrecord& S = aviscaninfo;
    const char* why = nullptr;
    if (S.aviodml) why = "OpenDML (AVIX segments, absolute indexes)";
    else if (S.avimovicount != 1) why = "more than one movi list";
    else if (S.avimovibad) why = "a movi chunk that cannot be walked";
    else if (S.avihdrlbad) why = "a header chunk running past its list";
    else if (S.aviptridx1 && aviindexabsolute(S)) why = "an index of absolute offsets";
    else if (S.aviavihsize < AVIH_SIZE) why = "a short avih";
    else if (S.avividsstrhsize < STRH_SIZE) why = "a short video strh";
    else if (S.avih.aviusperframe <= 0) why = "a frame duration of 0 or beyond 2^31 microseconds";
    else if (S.aviptrjunk &&
             (S.aviptrjunk < S.aviptrhdrl + CHUNK_HDR + (int64_t)S.avihdrlsize || S.aviptrjunk > S.aviptrmovi))
        why = "a JUNK that is not between hdrl and movi";
    if (!why) return 0;
    printf("Unsupported AVI layout (%s). Failure abort in %s.\n", why, what);
    return EDIT_REFUSED;
}

int editopen(edit& e) {
    int r = e.src ? rfopensrc(e.src) : rfopen(e.movie);
    if (r != 0) {
        printf(e.lines.openrd, r);
        return r;
    }
    if (e.plan) {
        // Nothing is created: the plan takes the output, its stretches
        // counted in the movie's file.
        e.plan->source = e.movie;
        e.plan->srclen = 0;
        rfgetsize64(&e.plan->srclen);
        e.open = true;
        return 0;
    }
    r = wfcreate(e.tmp);
    if (r != 0) {
        rfclose();
        g_os.remove(e.tmp);
        printf(e.lines.openwr, r);
        return r;
    }
    e.open = true;
    return 0;
}

namespace {
// A read of the movie failed since the edit opened it (not its end): the
// copy stopped at an arbitrary byte, or a field was read as 0xFF bytes, so
// the output is not the movie edited.  True after the line.
bool copyreadfailed(const edit& e) {
    if (rferror() == 0) return false;
    printf("Read failed (RD) while copying AVI: %s\n", e.movie);
    return true;
}
}  // namespace

int editabort(edit& e, int r) {
    if (e.open) {
        // Whatever refusal the cut source led to, the failed read is what
        // happened.
        if (copyreadfailed(e)) r = EDIT_READFAIL;
        rfclose();
        if (!e.plan) {
            wfclose();
            g_os.remove(e.tmp);
        }
        e.open = false;
    }
    return r;
}

bool copyto(edit& e, int64_t pos) {
    int64_t from = rftell64();
    int64_t n = pos - from;
    if (n < 0) return false;
    if (e.plan) {
        // The stretch must be in the file, as a copy would find it.
        if (pos > e.plan->srclen || !rdskip(n)) return false;
        planrange(*e.plan, from, n);
        return true;
    }
    while (n > 0) {
        int k = n > (1 << 30) ? (1 << 30) : (int)n;
        if (rfcopytowf(k) != k) return false;
        n -= k;
    }
    return wferr() == 0;
}

bool sortpatches(std::vector<patch>* v) {
    std::sort(v->begin(), v->end(), [](const patch& a, const patch& b) { return a.pos < b.pos; });
    for (size_t i = 1; i < v->size(); i++)
        if ((*v)[i].pos < (*v)[i - 1].pos + (*v)[i - 1].old) return false;
    return true;
}

bool applypatches(edit& e, const std::vector<patch>& v) {
    for (const patch& p : v) {
        if (!copyto(e, p.pos)) return false;
        for (int k = 0; k < p.old; k++) rfgetc();
        bool put = true;
        for (uint32_t x : p.put) put &= outdw(e, x);
        if (rfeof() != 0 || !put) return false;
    }
    return true;
}

bool readfourcc(const char* cc) {
    bool same = true;
    for (int i = 0; i < 4; i++) same &= rfgetc() == (uint8_t)cc[i];
    return same && rfeof() == 0;
}

idx1at copytoidx1(edit& e, uint32_t* size) {
    *size = 0;
    if (!copyto(e, aviscaninfo.aviptridx1)) return IDX1_COPYFAILED;
    if (!readfourcc("idx1")) return IDX1_MISSED;
    *size = (uint32_t)rfgetdw();
    return rfeof() == 0 ? IDX1_HERE : IDX1_MISSED;
}

bool passfourcc(edit& e, const char* cc) {
    for (int i = 0; i < 4; i++) {
        int c = rfgetc();
        if (c != (uint8_t)cc[i]) return false;
        if (!outc(e, c)) return false;
    }
    return true;
}

bool outc(edit& e, int c) {
    if (!e.plan) return wfputc(c) == 0;
    uint8_t b = (uint8_t)c;
    planown(*e.plan, &b, 1);
    return true;
}

bool outfourcc(edit& e, const char* cc) {
    bool put = true;
    for (int i = 0; i < 4; i++) put &= outc(e, (uint8_t)cc[i]);
    return put;
}

bool outdw(edit& e, uint32_t v) {
    if (!e.plan) return wfputdw(v) == 0;
    uint8_t b[4];
    put_le32(b, v);
    planown(*e.plan, b, 4);
    return true;
}

bool outkept(edit& e, int64_t from, const uint8_t* b, int n) {
    if (!e.plan) return wfwrite(b, n) == n;
    planrange(*e.plan, from, n);
    return true;
}

int64_t outpos(const edit& e) {
    if (e.plan) return e.plan->length;
    return wftell64();
}

bool outfailed(const edit& e) { return !e.plan && wferr() != 0; }

bool rdskip(int64_t n) {
    rfskip64(n);
    return rfeof() == 0;
}

bool outzeros(edit& e, int64_t n) {
    if (e.plan) {
        planzeros(*e.plan, n);
        return true;
    }
    return wfputzeros(n > 0 ? (uint64_t)n : 0) == 0;
}

int editfinish(edit& e, int64_t riffend) {
    const aviscanrecord& S = aviscaninfo;
    int64_t w = outpos(e);
    if (w != riffend) {
        printf("assert err (aviptrriffleng).\n");
        return editabort(e, EDIT_REFUSED);
    }
    if (S.aviptrthem) {
        if (!copyto(e, S.aviptrthem) || !copyto(e, S.aviptrthem + THEM_TRAILER)) {
            printf("%s", e.lines.failed);
            return editabort(e, EDIT_REFUSED);
        }
    }
    if (outfailed(e)) {
        printf("%s", e.lines.failed);
        return editabort(e, EDIT_REFUSED);
    }
    w = outpos(e);
    int64_t fill = (int64_t)pad512((uint64_t)w);
    if (!outzeros(e, fill)) {
        printf("%s", e.lines.failed);
        return editabort(e, EDIT_REFUSED);
    }
    if (e.plan) {
        // A plan is the first half of a chained edit: it prints what the
        // edit run on its own prints, and the movie stays as it is until
        // the chain's one replace.
        rfclose();
        if (rferror()) return editabort(e, EDIT_READFAIL);  // with the line
        e.open = false;
        printf("%s", e.lines.progress);
        printf("Copy done.\n");
        printf("done.\n");
        return 0;
    }
    return editreplace(e, w + fill);
}

int editreplace(edit& e, int64_t length) {
    rfclose();
    if (e.plansrc) planclose(e.plansrc);
    if (rferror()) return editabort(e, EDIT_READFAIL);  // with the line
    // The close flushes and the length on disk is compared with what was
    // written, so a buffer lost in the final flush cannot pass.
    moviepaths p = {e.tmp, nullptr, nullptr, nullptr, nullptr, nullptr, 0};
    e.open = false;
    bool lost = wferr() != 0;  // a write between the edit's own checks
    if (finishoutput(p, (uint64_t)length) != 0 || lost) {
        printf("%s", e.lines.failed);
        g_os.remove(e.tmp);
        return EDIT_REFUSED;
    }
    printf("%s", e.lines.progress);
    if (!g_os.replace(e.tmp, e.movie)) {
        printf(e.lines.replace, -1);
        g_os.remove(e.tmp);
        return EDIT_NOFILE;
    }
    printf("Copy done.\n");
    printf("done.\n");
    return 0;
}

uint32_t ceilframes(double seconds, float fps) {
    double v = seconds * (double)fps;
    uint32_t t = satu32(v);
    if ((double)t < v && t < UINT32_MAX) t++;
    return t;
}

}  // namespace avitool_detail
