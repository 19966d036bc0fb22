// wavedit.cpp - the audio edits: removing a movie's sound and adding the
// sample data of a WAV file as its sound.
//
// Both run the edit protocol (avitool_internal.h) on movies laid out as the
// program writes them, and on ordinary AVI 1.0 files of other writers that
// keep to the same shape: one video strl (and one audio strl after it), a
// JUNK between hdrl and movi or none, one movi list, idx1 counted from
// 'movi'.  Everything that can refuse a movie is checked before the
// temporary file is created.
//
// Replacing a sound is one edit: the removal is planned (the movie without
// its sound, as stretches of the movie and the bytes that change), the plan
// is scanned and read as the source of the addition, and the addition's
// output is the one temporary file and the one replace.  A failure or a
// kill at any moment leaves the old movie or the new one.

#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <vector>

#include "avitool/avitool.h"
#include "avitool/avitool_internal.h"
#include "movie/chunks.h"
#include "movie/wav.h"
#include "platform/platform.h"
#include "stream/stream.h"

using namespace avitool_detail;

namespace {

const aviscanrecord& S = aviscaninfo;



// The frame size the rate fields are computed from: frame 0's chunk, or the
// video strh's suggested buffer size when the scan found none.
int64_t framesize(const aviscanrecord& S, const scanfacts& s) {
    return s.chunksize ? s.chunksize : (int64_t)(int32_t)S.vids.bufsize;
}

// dwMaxBytesPerSec of the audio edits: fs x fps (+ the sound's byte rate)
// + 2, in single precision, truncated and held to the u32 range.
uint32_t maxbytes(int64_t fs, float fps, uint32_t avgbytes) {
    float v = (float)fs * fps;
    if (avgbytes) v += (float)avgbytes;
    return satu32((double)v + 2.0);
}

void le32(uint8_t* b, uint32_t v) {
    for (int i = 0; i < 4; i++) b[i] = (uint8_t)(v >> (8 * i));
}

// The stream layouts the edits take: removal needs the video strl first and
// the audio strl second and nothing else (so the remaining chunks keep their
// stream number 00); adding needs the video strl alone (so '01wb' really is
// stream 1).
int checkstreams(bool removing) {
    bool ok = removing ? S.avistrlcount == 2 && S.avividsstrl == 1 && S.aviaudsstrl == 2 &&
                             S.avividsstrhcount == 1 && S.aviaudsstrhcount == 1 && S.avih.streams == 2
                       : S.avistrlcount == 1 && S.avividsstrl == 1 && S.aviaudsstrhcount == 0 &&
                             S.avih.streams == 1;
    if (ok) return 0;
    printf(removing ? "Unsupported stream layout. Failure abort in removing WAV from AVI.\n"
                    : "Unsupported stream layout. Failure abort in appending WAV to AVI.\n");
    return EDIT_REFUSED;
}

// Copies up to the JUNK (or JUNQ) pad and writes it again with its size
// changed by delta, all zeros: false when the pad is not there or cannot
// take the change.
bool resizejunk(edit& e, int64_t delta) {
    if (!copyto(e, S.aviptrjunk)) return false;
    uint8_t f[4];
    for (uint8_t& c : f) c = (uint8_t)rfgetc();
    if (std::memcmp(f, "JUN", 3) != 0 || (f[3] != 'K' && f[3] != 'Q')) return false;
    int64_t n = (uint32_t)rfgetdw();
    if (n + delta < 0 || n + delta > (int64_t)UINT32_MAX || !rdskip(n)) return false;
    for (uint8_t c : f) outc(e, c);
    outdw(e, (uint32_t)(n + delta));
    return outzeros(e, n + delta);
}

// Copies movi from the read position to its end without the '##wb' chunks:
// false after a line when a chunk cannot be taken, the walk does not end on
// the list's end, or the bytes dropped differ from the scan's count.
bool copymovi(edit& e, int64_t datastart, uint32_t size, int64_t* skipped) {
    *skipped = 0;
    while (rftell64() - datastart < (int64_t)size && rfeof() == 0) {
        const int64_t at = rftell64();
        uint8_t f[8];
        for (int i = 0; i < 4; i++) f[i] = (uint8_t)rfgetc();
        if (!isstreamid(f)) {
            printf("00xx-99xx not found. (%c%c%c%c) ", f[0], f[1], f[2], f[3]);
            printf("movi missed. Failure abort in removing WAV from AVI.\n");
            return false;
        }
        uint32_t n = (uint32_t)rfgetdw();
        if (isaudioid(f)) {
            *skipped += (int64_t)n + CHUNK_HDR;
            if (!rdskip(n)) break;
            continue;
        }
        bool av = (f[2] == 'd' && (f[3] == 'b' || f[3] == 'c')) || (f[2] == 'p' && f[3] == 'c');
        if (!av) {
            printf("Unknown movi data type %c%c%c%c ", f[0], f[1], f[2], f[3]);
            printf("%lld bytes.\n", ll(n));
        }
        le32(f + 4, n);
        if (!outkept(e, at, f, CHUNK_HDR) || !copyto(e, rftell64() + n)) break;
    }
    if (rftell64() != datastart + size || *skipped != S.aviwavmovibytes) {
        printf("movi missed. Failure abort in removing WAV from AVI.\n");
        return false;
    }
    printf("Skipped in movi %lld bytes.\n", ll(*skipped));
    return true;
}

// Copies the idx1 entries from the read position without the '##wb' ones,
// every later offset lowered by the audio chunks dropped before it.
bool copyidx1(edit& e, int64_t datastart, uint32_t size) {
    int64_t removed = 0, entries = 0;
    while (rftell64() - datastart < (int64_t)size && rfeof() == 0) {
        const int64_t at = rftell64();
        uint8_t f[IDX1_ENTRY];
        for (int i = 0; i < 4; i++) f[i] = (uint8_t)rfgetc();
        uint32_t flags = (uint32_t)rfgetdw(), off = (uint32_t)rfgetdw(), n = (uint32_t)rfgetdw();
        if (isaudioid(f)) {
            removed += (int64_t)n + CHUNK_HDR;
            entries += IDX1_ENTRY;
            continue;
        }
        le32(f + 4, flags);
        le32(f + 8, (uint32_t)((int64_t)off - removed));
        le32(f + 12, n);
        // An entry that keeps its offset is the movie's own 16 bytes.
        if (removed == 0) outkept(e, at, f, IDX1_ENTRY);
        else for (uint8_t c : f) outc(e, c);
    }
    if (rfeof() != 0 || entries != S.aviwavidx1bytes) {
        printf("idx1 missed. Failure abort in removing WAV from AVI.\n");
        return false;
    }
    printf(" Skipped %lld bytes in idx1.\n", ll(removed));
    return true;
}

const editlines kRemoveLines = {
    "Cannot open (RD) for removing WAV from AVI (%d).\n",
    "Cannot open (WR) for removing WAV from to AVI (%d).\n",
    "Cannot finish copy (WR) for removing WAV from AVI3.\n",
    "removing WAV done. Copying ...\n",
    "Cannot open (WR) for removing WAV from AVI (%d).\n",
};

const editlines kAppendLines = {
    "Cannot open (RD) for appending WAV to AVI (%d).\n",
    "Cannot open (WR) for appending WAV to AVI (%d).\n",
    "Cannot finish copy (WR) for appending WAV to AVI3.\n",
    "append done. Copying ...\n",
    "Cannot open (WR) for appending WAV to AVI (%d).\n",
};

// The removal, into the temporary file and the movie's place, or (plan set)
// into the plan only, printing the same lines.
int removewav(const char* avi, spliced* plan) {
    edit e;
    e.plan = plan;
    if (!tmppath(e, avi)) return EDIT_NOFILE;
    e.lines = kRemoveLines;
    int r = findandscan(e);
    if (r != 0) return r;
    const scanfacts& s = e.scan;
    if (!s.hasaudio) {
        printf("WAV not exist in AVI.\n");
        return 0;
    }
    printf("IMG: %g sec.\n", (double)s.total / (double)s.fps);
    if ((r = checkpositions(NEED_ALL)) != 0) return r;
    noteindex();
    if ((r = checklayout("removing WAV from AVI")) != 0) return r;
    if ((r = checkstreams(true)) != 0) return r;
    const wavremoveplan p = planwavremove(S, s);
    if ((r = editopen(e)) != 0) return r;

    // RIFF size.
    if (!copyto(e, S.aviptrriffleng) || rftell64() != S.aviptrriffleng) {
        printf("assert err (aviptrriffleng).\n");
        return editabort(e, EDIT_REFUSED);
    }
    uint32_t riff = (uint32_t)rfgetdw();
    printf("WAV in avih = %lld (should be %lld).\n", ll(p.strl), ll(STRL_AUDS_LIST));
    printf("WAV in movi = %lld (should be %lld).\n", ll(p.movibytes), ll((int64_t)S.auds.bufsize + 8));
    printf("WAV in idx1 = %lld (should be 16).\n", ll(p.idx1bytes));
    if (!p.fits || riff != S.aviriffsize) return editabort(e, EDIT_REFUSED);
    outdw(e, (uint32_t)p.riff);

    // hdrl: its size, the main header's rate, frame count and stream count.
    if (!passfourcc(e, "AVI ") || !passfourcc(e, "LIST")) return editabort(e, EDIT_REFUSED);
    uint32_t hdrlsize = (uint32_t)rfgetdw();
    int64_t hdrlstart = rftell64();
    if (hdrlsize != S.avihdrlsize || hdrlstart != S.aviptrhdrl + CHUNK_HDR) return editabort(e, EDIT_REFUSED);
    outdw(e, (uint32_t)p.hdrl);
    if (!applypatches(e, p.header)) return editabort(e, EDIT_REFUSED);

    // The audio strl is cut at its own position: nothing before it moves.
    if (!copyto(e, S.aviptraudsstrl)) return editabort(e, EDIT_REFUSED);
    int64_t w = outpos(e);
    if (w == S.aviptraudsstrl && S.aviptraudsstrl + p.strl <= hdrlstart + hdrlsize) {
        printf("Assert OK at the end of LIST2 for removing auds.\n");
    } else {
        printf("Assert fail at LIST2 for removing auds.\n");
        return editabort(e, EDIT_REFUSED);
    }
    printf("Skipping %lld bytes.(auds)\n", ll(p.strl));
    if (!rdskip(p.strl)) return editabort(e, EDIT_REFUSED);

    // The JUNK grows by what hdrl lost, so movi keeps its file position.
    if (p.junk && !resizejunk(e, p.strl)) return editabort(e, EDIT_REFUSED);

    // movi without the '##wb' chunks.
    if (!copyto(e, S.aviptrmovi + 4)) return editabort(e, EDIT_REFUSED);
    uint32_t movisize = (uint32_t)rfgetdw();
    outdw(e, (uint32_t)p.movi);
    if (!readfourcc("movi") || (int64_t)movisize - p.movibytes != p.movi) {
        printf("movi missed. Failure abort in removing WAV from AVI.\n");
        return editabort(e, EDIT_REFUSED);
    }
    for (char c : {'m', 'o', 'v', 'i'}) outc(e, c);
    printf("(LIST-movi leng %lld bytes)", ll(movisize));
    int64_t skipped = 0;
    if (!copymovi(e, S.aviptrmovi + CHUNK_HDR, movisize, &skipped)) return editabort(e, EDIT_REFUSED);
    if (outfailed(e)) {
        printf("Copy failed (WR) for removing WAV PCM from AVI1.\n");
        return editabort(e, EDIT_LATECOPY);
    }

    // idx1 without the '##wb' entries.
    if (p.index) {
        uint32_t n = 0;
        const idx1at at = copytoidx1(e, &n);
        if (at == IDX1_COPYFAILED) return editabort(e, EDIT_REFUSED);
        if (at == IDX1_MISSED || (int64_t)n - p.idx1bytes != p.idx1) {
            printf("idx1 missed. Failure abort in removing WAV from AVI.\n");
            return editabort(e, EDIT_REFUSED);
        }
        for (char c : {'i', 'd', 'x', '1'}) outc(e, c);
        outdw(e, (uint32_t)p.idx1);
        printf("(idx1 %lld bytes)", ll(n));
        if (!copyidx1(e, rftell64(), n)) return editabort(e, EDIT_REFUSED);
    }
    return editfinish(e, p.riffend);
}

}  // namespace

wavremoveplan avitool_detail::planwavremove(const aviscanrecord& S, const scanfacts& s) {
    wavremoveplan p{};
    p.fs = framesize(S, s);
    p.index = S.aviptridx1 && S.aviptridx1end;
    p.strl = S.aviwavstrlbytes;
    p.movibytes = S.aviwavmovibytes;
    p.idx1bytes = S.aviwavidx1bytes;
    // The JUNK takes the stream list's bytes only while its size field holds
    // them; otherwise hdrl just shrinks and everything after it moves up.
    p.junk = S.aviptrjunk != 0 && s.junksize + p.strl <= (int64_t)UINT32_MAX;
    p.riff = (int64_t)S.aviriffsize - (p.junk ? 0 : p.strl) - p.movibytes - p.idx1bytes;
    p.riffend = S.aviptrriffleng + 4 + p.riff;
    p.hdrl = (int64_t)S.avihdrlsize - p.strl;
    p.movi = (S.aviptrmoviend - (S.aviptrmovi + CHUNK_HDR)) - p.movibytes;
    p.idx1 = p.index ? (S.aviptridx1end - (S.aviptridx1 + CHUNK_HDR)) - p.idx1bytes : 0;
    p.fits = p.riff >= 4 && p.hdrl >= 0 && p.movi >= 4 && p.idx1 >= 0;
    p.header = {{S.aviptrmaxbytes, 4, {maxbytes(p.fs, s.fps, 0)}},
                {S.aviptrtotalframes, 4, {s.total}},
                {S.aviptrstreams, 4, {1}}};
    return p;
}

int64_t avitool_detail::wavappendriff(uint32_t riffsize, int64_t datlen, bool shrink, bool index) {
    return (int64_t)riffsize + (shrink ? 0 : STRL_AUDS_LIST) + datlen + CHUNK_HDR + (index ? IDX1_ENTRY : 0);
}

wavappendplan avitool_detail::planwavappend(const aviscanrecord& S, const scanfacts& s, const soundfacts& snd,
                                            double wavsec) {
    wavappendplan p{};
    p.fs = framesize(S, s);
    p.index = S.aviptridx1 && S.aviptridx1end;
    p.shrink = s.junksize >= STRL_AUDS_LIST;
    p.riff = wavappendriff(S.aviriffsize, snd.datlen, p.shrink, p.index);
    p.riffend = S.aviptrriffleng + 4 + p.riff;
    p.fits = p.riff <= (int64_t)UINT32_MAX;
    // The frame count grows to the sound's length when the sound is longer.
    double imgsec = (double)s.total / (double)s.fps;
    p.header.push_back({S.aviptrmaxbytes, 4, {maxbytes(p.fs, s.fps, snd.avgbytes)}});
    if (wavsec > imgsec) p.header.push_back({S.aviptrtotalframes, 4, {ceilframes(wavsec, s.fps)}});
    p.header.push_back({S.aviptrstreams, 4, {2}});
    return p;
}

int aviremovewav(const char* avi) { return removewav(avi, nullptr); }

int aviappendwav(const char* avi, const char* wav, uint8_t replace) {
    edit e;
    if (!tmppath(e, avi)) return EDIT_NOFILE;
    e.lines = kAppendLines;
    if (rfopenq(wav) != 0) {
        printf("Cannot find WAV.(%s)\n", wav);
        return EDIT_NOFILE;
    }
    rfclose();
    if (rfopenq(avi) != 0) {
        printf("Cannot find AVI.(%s)\n", avi);
        return EDIT_NOFILE;
    }
    rfclose();
    if (istmpfile(wav, "WAV")) return EDIT_REFUSED;

    // The sound, by the writer's rules: a format a stream header can declare
    // (channels, at least 8 bits, a byte rate within 32 bits) and a length
    // cut to what the file holds.  All of it before any division and before
    // anything is removed.
    int64_t datlen = 0, dataoff = 0;
    int32_t ch = 0, bits = 0;
    int32_t rate = 0;
    int r = wavscan(wav, &datlen, &dataoff, &ch, &bits, &rate);
    if (r != 0) {
        printf("ErrScanningWAV (%d)\n", r);
        return r;
    }
    moviepaths wp = {nullptr, nullptr, nullptr, nullptr, wav, nullptr, 0};
    soundfacts snd;
    soundscan(wp, &snd);
    if (snd.readfail) return EDIT_READFAIL;
    if (!snd.present) {
        printf("Unsupported WAV format. Failure abort in appending WAV to AVI.\n");
        return EDIT_BADWAV;
    }
    datlen = snd.datlen;
    int bpsmp = snd.bits / 8;
    double wavsec = (double)(datlen / snd.ch / bpsmp) / (double)snd.rate;
    printf("WAV: %g sec.\n", wavsec);

    if ((r = findandscan(e)) != 0) return r;
    // The largest size the plan can give, before anything is removed or
    // written: the removal of an old sound only lowers it.
    if (wavappendriff(S.aviriffsize, datlen, false, true) > (int64_t)UINT32_MAX) {
        printf("File size will be over 4 GB.  Cannot create file. \n");
        return AVI1_TOO_LARGE;
    }
    spliced unsounded;
    plansource from;
    if (e.scan.hasaudio) {
        printf("WAV already exists in AVI.\n");
        if (!replace) return 0;
        // The removal is planned, not written: its lines are printed as it
        // runs, and the movie stays as it is until the addition's replace.
        // The addition then scans and reads the plan as its source, on RD
        // alone: nothing else in the process sees it.
        if ((r = removewav(avi, &unsounded)) != 0) {
            printf("ErrRemovingWAVfromAVI (%d)\n", r);
            return r;
        }
        if (!planopen(&from, &unsounded)) {
            printf("Cannot find AVI.(%s)\n", avi);
            return EDIT_NOFILE;
        }
        e.src = &from.src;
        e.plansrc = &from;
        if ((r = findandscan(e)) != 0) return r;
        if (e.scan.hasaudio) {
            printf("Assert failed in removing WAV from AVI (%d)\n", r);
            return EDIT_REFUSED;
        }
        printf("WAV removed from AVI. OK.\n");
    }
    const scanfacts& s = e.scan;
    printf("IMG: %g sec.\n", (double)s.total / (double)s.fps);
    if ((r = checkpositions(NEED_ALL)) != 0) return r;
    noteindex();
    if ((r = checklayout("appending WAV to AVI")) != 0) return r;
    if ((r = checkstreams(false)) != 0) return r;
    const wavappendplan plan = planwavappend(S, s, snd, wavsec);
    if (!plan.fits) {
        printf("File size will be over 4 GB.  Cannot create file. \n");
        return AVI1_TOO_LARGE;
    }
    if ((r = editopen(e)) != 0) return r;

    if (!copyto(e, S.aviptrriffleng) || rftell64() != S.aviptrriffleng) {
        printf("assert err (aviptrriffleng).\n");
        return editabort(e, EDIT_REFUSED);
    }
    rfgetdw();
    outdw(e, (uint32_t)plan.riff);
    if (!passfourcc(e, "AVI ") || !passfourcc(e, "LIST")) return editabort(e, EDIT_REFUSED);
    uint32_t hdrlsize = (uint32_t)rfgetdw();
    int64_t hdrlstart = rftell64();
    if (hdrlstart != S.aviptrhdrl + CHUNK_HDR || (int64_t)hdrlsize + STRL_AUDS_LIST > (int64_t)UINT32_MAX)
        return editabort(e, EDIT_REFUSED);
    outdw(e, hdrlsize + STRL_AUDS_LIST);
    if (!applypatches(e, plan.header)) return editabort(e, EDIT_REFUSED);

    // The audio strl goes right after the video strl, which ends hdrl in the
    // program's movies; another writer's filler after it stays after it.
    int64_t at = S.aviptrvidsstrlend ? S.aviptrvidsstrlend : hdrlstart + hdrlsize;
    if (!copyto(e, at)) return editabort(e, EDIT_REFUSED);
    if (putstrlauds(snd) != 0) return editabort(e, EDIT_REFUSED);
    int64_t w = outpos(e);
    if (w == at + STRL_AUDS_LIST) {
        printf("Assert OK at the end of LIST2 for auds.\n");
    } else {
        printf("Assert fail at LIST2 for auds.\n");
        return editabort(e, EDIT_REFUSED);
    }

    // A JUNK as large as the stream list or larger gives up its bytes, so movi
    // keeps its place.
    if (plan.shrink && !resizejunk(e, -(int64_t)STRL_AUDS_LIST)) return editabort(e, EDIT_REFUSED);

    // movi: its size, then everything in it, then the sound chunk.
    if (!copyto(e, S.aviptrmovi + 4)) return editabort(e, EDIT_REFUSED);
    uint32_t movisize = (uint32_t)rfgetdw();
    outdw(e, (uint32_t)((int64_t)movisize + datlen + CHUNK_HDR));
    const int64_t movi4 = outpos(e);
    if (!copyto(e, S.aviptrmoviend)) return editabort(e, EDIT_REFUSED);
    w = outpos(e);
    uint32_t off = (uint32_t)(w - movi4);
    outfourcc(e, "01wb");
    outdw(e, (uint32_t)datlen);
    r = soundcopy(wp, snd, "Reading");
    if (r == -4) return editabort(e, EDIT_NOFILE);
    if (r != 0) return editabort(e, rwferror() ? EDIT_READFAIL : EDIT_LATECOPY);

    if (plan.index) {
        uint32_t n = 0;
        const idx1at at = copytoidx1(e, &n);
        if (at == IDX1_COPYFAILED) return editabort(e, EDIT_REFUSED);
        if (at == IDX1_MISSED) {
            printf("idx1 missed. Failure abort in appending WAV to AVI.\n");
            return editabort(e, EDIT_REFUSED);
        }
        outfourcc(e, "idx1");
        outdw(e, n + IDX1_ENTRY);
        if (!copyto(e, S.aviptridx1end)) return editabort(e, EDIT_REFUSED);
        outfourcc(e, "01wb");
        outdw(e, IDX1_KEYFRAME);
        outdw(e, off);
        outdw(e, (uint32_t)datlen);
    }
    return editfinish(e, plan.riffend);
}
