// chunks.h - the RIFF layout of a movie's header and the functions that put
// its chunks (chunks.cpp): the sizes each piece takes, the header values with
// the rate rule and the saturating conversions behind them, and one
// put-function per chunk that both layouts (and the AVI toolkit) write in
// the same form.
//
// Every put-function writes through WR, the process-wide output stream, one
// field per call; fourcc bytes are checked one by one (their result codes,
// writer.h, tell which failed), numbers are not (callers test wferr later).
// One thread.

#ifndef REELKILN_MOVIE_CHUNKS_H
#define REELKILN_MOVIE_CHUNKS_H

#include <cstdint>

#include "movie/sound.h"

// The file position of the first frame chunk of an AVI 1.0 movie: the
// header and its JUNK (24-bit) or JUNQ (32-bit) filler always end there.
inline constexpr uint32_t AVI1_FIRST_FRAME_24 = 2048;
inline constexpr uint32_t AVI1_FIRST_FRAME_32 = 8824;

// ---- Layout sizes ---------------------------------------------------------------

// The bytes each piece of a movie's header takes in the file, its own 8-byte
// header included: what both plans add up and what the put-functions below
// emit (a test holds each function to its constant).  A list's size field
// counts its 4-byte list type and its contents, not its own 8 bytes.
inline constexpr uint32_t CHUNK_HDR = 8;        // fourcc, size
inline constexpr uint32_t LIST_HDR = 12;        // 'LIST', size, list type
inline constexpr uint32_t RIFF_HDR = 12;        // 'RIFF', size, form type
inline constexpr uint32_t AVIH_SIZE = 56;       // the main header's data (its cb)
inline constexpr uint32_t STRH_SIZE = 56;       // a stream header's data (its cb)
inline constexpr uint32_t AVIH_CHUNK = CHUNK_HDR + AVIH_SIZE;  // putavih
inline constexpr uint32_t STRH_CHUNK = CHUNK_HDR + STRH_SIZE;  // putstrhvids, putstrhauds
inline constexpr uint32_t STRF_VIDS_CHUNK = 8 + 40;  // putstrfvids
inline constexpr uint32_t STRF_AUDS_CHUNK = 8 + 18;  // putstrfauds
inline constexpr uint32_t STRN_CHUNK = 8 + 6;   // putstrn
inline constexpr uint32_t IDX1_ENTRY = 16;      // one idx1 entry
inline constexpr uint32_t IDX1_KEYFRAME = 0x10;  // dwFlags of every idx1 entry written: AVIIF_KEYFRAME
inline constexpr uint32_t THEM_TRAILER = 8;     // 'themewnd' after a 24-bit movie

// The opening of the header up to the video stream format (puthdrlopen).
inline constexpr uint32_t HDRL_OPENING =
    RIFF_HDR + LIST_HDR + AVIH_CHUNK + LIST_HDR + STRH_CHUNK + STRF_VIDS_CHUNK;

// The AVI 1.0 sound stream list (putstrlauds): 116 bytes, size field 108.
inline constexpr uint32_t STRL_AUDS_LIST = LIST_HDR + STRH_CHUNK + STRF_AUDS_CHUNK + STRN_CHUNK;

// The video stream list of both layouts without the OpenDML super index:
// the size field, 130 for 24-bit movies (with their 'strn'), 116 for 32-bit.
constexpr uint32_t strlvidssize(bool alpha) {
    return 4 + STRH_CHUNK + STRF_VIDS_CHUNK + (alpha ? 0 : STRN_CHUNK);
}

// The AVI 1.0 hdrl list's size field: 206 (24-bit) or 192 (32-bit), and the
// sound stream list on top.
constexpr uint32_t hdrlsize1(bool alpha, bool sound) {
    return 4 + AVIH_CHUNK + CHUNK_HDR + strlvidssize(alpha) + (sound ? STRL_AUDS_LIST : 0);
}

// J of the JUNK (24-bit) or JUNQ (32-bit) filler that both layouts write
// after the AVI 1.0 header, so that the AVI 1.0 movie's first frame chunk
// stands at 2048 or 8824: 1802 / 1686 with sound, 8592 / 8476 with sound.
constexpr uint32_t junksize1(bool alpha, bool sound) {
    return (alpha ? AVI1_FIRST_FRAME_32 : AVI1_FIRST_FRAME_24) -
           (RIFF_HDR + CHUNK_HDR + hdrlsize1(alpha, sound) + CHUNK_HDR + LIST_HDR);
}

// ---- Header values -----------------------------------------------------------

// A double to u32, truncated toward zero, saturating (NaN and v <= 0 give 0).
uint32_t satu32(double v);
// A double to i32, truncated toward zero, saturating (NaN gives 0).
int32_t sati32(double v);

// 1000000 / fps, truncated; saturated to the u32 range (0 for fps <= 0 or
// not a number).
uint32_t usecperframe(float fps);
// (fs + 24) as float times fps in single precision, truncated and clamped to
// what a u32 holds (a plain u32 product would wrap past 4 GB per second).
uint32_t maxbytespersec(uint64_t fs, float fps);
// The 1000/1001 rule of the video stream header: 60 fps gives 1001/60060,
// 0.5 gives 1000/500.
void raterule(float fps, uint32_t* scale, uint32_t* rate);

// Writes the four bytes of a fourcc, each checked: 0, or the writers' code
// for the first byte that failed: 1 for the 'R' and 2 for the 'IFF' of a
// 'RIFF' when riff is true, 3 otherwise.  The output is closed on failure.
int putfourcc(const char* cc, bool riff = false);

// The header chunks that both layouts write in the same form.  Each writes
// its chunk's fourcc (checked as putfourcc, result 0 or 3), size and
// fields; numbers are not checked one by one (callers test wferr later).
struct videohdr {
    uint32_t n, w, h;
    bool alpha;
    uint64_t fs;
    float fps;
    bool sound;
};
// 'avih', 56, the main header.
int putavih(const videohdr& v);
// 'strh', 56, the 'vids' stream header.
int putstrhvids(const videohdr& v);
// 'strf', 40, the BITMAPINFOHEADER.
int putstrfvids(const videohdr& v);
// 'strh', 56, the 'auds' stream header.
int putstrhauds(const soundfacts& s);
// 'strf', 18, the WAVEFORMATEX (always declared PCM).
int putstrfauds(const soundfacts& s);
// The AVI 1.0 sound stream list: 'LIST', 108, 'strl', then putstrhauds,
// putstrfauds and putstrn("AUDIO").
int putstrlauds(const soundfacts& s);
// 'strn', 6, the name ("VIDEO" or "AUDIO") and its 0.
int putstrn(const char* name5);
// 'JUNK' (24-bit) or 'JUNQ' (32-bit), J, J zero bytes: CHUNK_HDR + J.
int putjunk(bool alpha, uint32_t j);

// puthdrlopen: the opening of every movie's header, the same in both
// layouts: 'RIFF' (checked as putfourcc with riff), riffsize, 'AVI ', the
// hdrl list's 'LIST' and hdrlsize, 'hdrl', putavih, the video stream list's
// 'LIST' and strlsize, 'strl', putstrhvids and putstrfvids: HDRL_OPENING
// bytes.  What follows in the video stream list (the OpenDML super index,
// the name) and after it is each layout's own.
int puthdrlopen(uint32_t riffsize, uint32_t hdrlsize, uint32_t strlsize, const videohdr& v);

#endif
