// protocol.cpp - the edit protocol: temporary path, existence test and
// scan, the position and layout checks, the forward copy, and the end of an
// edit with its atomic replace.

#include "avitool/avitool_internal.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>

#include "movie/aviwrite.h"
#include "platform/platform.h"
#include "stream/stream.h"
#include "text/paths.h"

namespace avitool_detail {

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

int findandscan(edit& e) {
    if (rfopenq(e.movie) != 0) {
        printf("Cannot find AVI.(%s)\n", e.movie);
        return -1;
    }
    rfclose();
    if (istmpfile(e.movie, "AVI")) return 3;
    scanfacts& s = e.scan;
    int r = aviscan(e.movie, 0, &s.total, &s.width, &s.height, &s.sizeflag, &s.hasaudio, &s.audiobuf, &s.junkpos,
                    &s.junksize, &s.chunksize, &s.chunkoff, &s.fps);
    if (r != 0) {
        printf("ErrScanningAVI (%d)\n", r);
        return r;
    }
    return 0;
}

int checkpositions(void) {
    const aviscanrecord& S = aviscaninfo;
    const struct {
        int64_t pos;
        const char* line;
    } need[] = {
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
    for (const auto& n : need)
        if (n.pos == 0) {
            printf("%s", n.line);
            return 3;
        }
    if (S.aviptridx1 == 0) printf("(no 'idx1' chunk)");
    if (S.aviptridx1end == 0) printf("(no 'idx1' chunk)");
    return 0;
}

int checklayout(const char* what) {
    const aviscanrecord& S = aviscaninfo;
    const char* why = nullptr;
    if (S.aviodml) why = "OpenDML (AVIX segments, absolute indexes)";
    else if (S.avimovicount != 1) why = "more than one movi list";
    else if (S.avimovibad) why = "a movi chunk that cannot be walked";
    else if (S.aviptridx1 && S.avizeroframeidx == S.avizeroframeptr) why = "an index of absolute offsets";
    else if (S.aviavihsize < 56) why = "a short avih";
    else if (S.avividsstrhsize < 56) why = "a short video strh";
    else if (S.avih.aviusperframe <= 0) why = "a frame duration of 0 or beyond 2^31 microseconds";
    else if (S.aviptrjunk && (S.aviptrjunk < S.aviptrhdrl + 8 + (int64_t)S.avihdrlsize || S.aviptrjunk > S.aviptrmovi))
        why = "a JUNK that is not between hdrl and movi";
    if (!why) return 0;
    printf("Unsupported AVI layout (%s). Failure abort in %s.\n", why, what);
    return 3;
}

int editopen(edit& e) {
    int r = rfopen(e.movie);
    if (r != 0) {
        printf(e.lines.openrd, r);
        return r;
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

int editabort(edit& e, int r) {
    if (e.open) {
        rfclose();
        wfclose();
        g_os.remove(e.tmp);
        e.open = false;
    }
    return r;
}

int64_t rdpos(void) {
    int64_t p = 0;
    rfgetpos64(&p);
    return p;
}

bool copyto(int64_t pos) {
    int64_t n = pos - rdpos();
    if (n < 0) return false;
    while (n > 0) {
        int k = n > (1 << 30) ? (1 << 30) : (int)n;
        if (rfcopytowf(k) != k) return false;
        n -= k;
    }
    return wferr() == 0;
}

bool readfourcc(const char* cc) {
    bool same = true;
    for (int i = 0; i < 4; i++) same &= rfgetc() == (uint8_t)cc[i];
    return same && rfeof() == 0;
}

bool passfourcc(const char* cc) {
    for (int i = 0; i < 4; i++) {
        int c = rfgetc();
        if (c != (uint8_t)cc[i]) return false;
        if (wfputc(c) != 0) return false;
    }
    return true;
}

bool rdskip(int64_t n) {
    if (n <= 0) return rfeof() == 0;
    int32_t hi = (int32_t)(uint32_t)((uint64_t)n >> 32);
    rfkipbytes64((uint32_t)n, &hi);
    return rfeof() == 0;
}

bool putzeros(int64_t n) {
    static const uint8_t zeros[4096] = {};
    while (n > 0) {
        int k = n > 4096 ? 4096 : (int)n;
        if (wfwrite(zeros, k) != k) return false;
        n -= k;
    }
    return wferr() == 0;
}

int editfinish(edit& e, int64_t riffend) {
    const aviscanrecord& S = aviscaninfo;
    int64_t w = 0;
    wfgetpos64(&w);
    if (w != riffend) {
        printf("assert err (aviptrriffleng).\n");
        return editabort(e, 3);
    }
    if (S.aviptrthem) {
        if (!copyto(S.aviptrthem) || rfcopytowf(8) != 8) {
            printf("%s", e.lines.failed);
            return editabort(e, 3);
        }
    }
    if (wferr() != 0) {
        printf("%s", e.lines.failed);
        return editabort(e, 3);
    }
    wfgetpos64(&w);
    int64_t fill = (w | 0x1FF) + 1 - w;
    if (!putzeros(fill)) {
        printf("%s", e.lines.failed);
        return editabort(e, 3);
    }
    return editreplace(e, w + fill);
}

int editreplace(edit& e, int64_t length) {
    rfclose();
    // The close flushes and the length on disk is compared with what was
    // written, so a buffer lost in the final flush cannot pass.
    moviepaths p = {e.tmp, nullptr, nullptr, nullptr, nullptr, nullptr, 0};
    e.open = false;
    bool lost = wferr() != 0;  // a write between the edit's own checks
    if (finishoutput(p, (uint64_t)length) != 0 || lost) {
        printf("%s", e.lines.failed);
        g_os.remove(e.tmp);
        return 3;
    }
    printf("%s", e.lines.progress);
    if (!g_os.replace(e.tmp, e.movie)) {
        printf(e.lines.replace, -1);
        g_os.remove(e.tmp);
        return -1;
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
