// odml.h - the OpenDML writer: movies past 4 GB as a chain of RIFF segments.
//
// A movie that the AVI 1.0 writer refuses for its size (-7) is written here as
// a first RIFF 'AVI ' segment that carries every header, followed by RIFF
// 'AVIX' segments, each below 0x3FFFFFF0 bytes of RIFF data.  Each stream list
// holds a super index ('indx'); each segment's movi list opens with a standard
// index ('ix00' for the video, and one 'ix01' for the sound in the first
// segment); there is no idx1.
//
// The writer works in two passes.  The plan (odmlmkplan, no I/O at all) fixes
// how many frames each segment holds and every size and position of the file;
// the write pass then emits the file front to back without a single seek,
// holding every position it reaches to the plan.
//
// Division: the plan; the writer's entry points.

#ifndef REELKILN_MOVIE_ODML_H
#define REELKILN_MOVIE_ODML_H

#include <cstdint>

#include "movie/chunks.h"
#include "movie/sound.h"
#include "movie/writer.h"

// ---- The plan --------------------------------------------------------------------

// Every RIFF segment's data stays below this many bytes.
inline constexpr uint32_t ODML_RIFF_LIMIT = 0x3FFFFFF0u;

// The limit the OpenDML writer plans with: ODML_RIFF_LIMIT, unless a test
// lowers it to have movies of many segments written in kilobytes.  Set
// before a writer call; one thread.
extern uint32_t odmlrifflimit;

// What the plan needs to know of the movie.
struct odmlfacts {
    uint32_t n;       // frames (valid names of the list)
    uint32_t w, h;    // size of the first image
    bool alpha;       // 32-bit frames '00dc' with alpha, else 24-bit '00db'
    bool sound;       // one '01wb' chunk in the first segment
    int64_t datlen;   // its data bytes (ignored without sound)
    // Every segment's RIFF data stays below this many bytes.  The estimate
    // of the first segment is sized for the full limit; a lower one (tests
    // write many small segments with it) is met by the same lowering.
    uint32_t limit = ODML_RIFF_LIMIT;
};

// The layout of the whole file.  The first segment holds k1 frames, every
// later one kx frames except the last, which holds what is left.  Positions
// are absolute file offsets; "M" is the position of a segment's 'movi' fourcc.
struct odmlplan {
    odmlfacts facts;
    uint64_t stride;     // bytes of one stored row (24-bit rows padded to 4)
    uint32_t rowpad;     // zero bytes after each 24-bit row
    uint64_t fs;         // frame data bytes: stride * h

    int32_t numIndex;    // entries reserved in the video super index
    uint32_t k1;         // frames in the first segment
    uint32_t kx;         // frames in each later segment but the last
    uint32_t segments;   // segments in all (= super index entries in use)

    uint32_t hdrlsize;   // the hdrl list's size field
    uint32_t strlsize;   // the video strl list's size field
    uint32_t junksize;   // J of the pad chunk
    uint32_t riff1;      // R1(k1): the first segment's RIFF size
    uint32_t movi1size;  // the first segment's movi size field
    uint64_t movi1;      // M of the first segment
    uint64_t ix00_1;     // its 'ix00' fourcc
    uint64_t ix01;       // the 'ix01' fourcc (sound only, else 0)
    uint64_t frame1;     // its first frame chunk (the base of its ix00)
    uint64_t wb;         // the '01wb' chunk (sound only, else 0)
    uint64_t end;        // the file position after the last segment
};

// One segment of a plan, numbered from 0.
struct odmlseg {
    uint32_t frames;     // frames it holds
    uint64_t start;      // its 'RIFF' fourcc
    uint32_t riffsize;   // its RIFF size field
    uint64_t movi;       // M: its 'movi' fourcc
    uint32_t movisize;   // its movi size field
    uint64_t ix00;       // its 'ix00' fourcc
    uint64_t frame;      // its first frame chunk (the base of its ix00)
};

// Results of odmlmkplan (and of mkodmlsub when the plan refuses the movie).
enum {
    ODML_PLAN_OK = 0,
    // A frame chunk does not fit into one segment, or the sound does not fit
    // the first segment's 32-bit sizes: the movie cannot be laid out.
    ODML_TOO_LARGE = -8
};

// R1(k) and Rx(k): the RIFF size of a first segment (with numIndex super
// index entries) or of a later segment holding k frames, in 64 bits.
uint64_t odmlriff1(const odmlplan* p, uint64_t k);
uint64_t odmlriffx(const odmlplan* p, uint64_t k);

// odmlmkplan: lays out the movie described by facts into *out.
//
// The first estimate of the segment count comes from an estimate of the super
// index and of one ix00 (the sizing of the movies written so far, kept so
// that they stay byte for byte the same), then k1 is lowered until the first
// segment fits.  Because lowering k1 (above all to make room for a
// large sound) can push frames into an extra segment, the reserved super
// index is then grown to the segment count actually needed and k1 lowered
// again, until nothing changes; so every segment gets its super index entry.
// A plan never reserves fewer entries than the first estimate: unused ones
// stay zero in the file.
//
// Returns ODML_PLAN_OK, or ODML_TOO_LARGE when a frame cannot fit into one
// segment (one chunk plus its index entry must stay below the segment limit)
// or when the first segment's sizes would pass 32 bits (a sound of nearly
// 4 GB); *out is then filled as far as it was computed.  n = 0 gives one
// segment without frames.
int odmlmkplan(const odmlfacts* facts, odmlplan* out);

// The facts of segment s (0 .. segments - 1) of a plan.
odmlseg odmlsegment(const odmlplan* p, uint32_t s);

// ---- Chunks ------------------------------------------------------------------------

// The bytes of the chunks only this layout has, their 8-byte headers
// included (a test holds each put-function to its constant).
inline constexpr uint32_t INDX_HDR = 8 + 24;    // a super index 'indx' without its entries
inline constexpr uint32_t INDX_ENTRY = 16;      // one super index entry
inline constexpr uint32_t AUDS_INDX = INDX_HDR + INDX_ENTRY;  // the sound's, one entry
inline constexpr uint32_t IXNN_HDR = 8 + 24;    // a standard index 'ix00'/'ix01' without entries
inline constexpr uint32_t IXNN_ENTRY = 8;       // one standard index entry
inline constexpr uint32_t ODML_LIST = LIST_HDR + CHUNK_HDR + 8;  // 'odml' with its 'dmlh'

// The video super index of a plan, its entries from the plan's segments and
// the unused ones zero: INDX_HDR + INDX_ENTRY * numIndex.
int putvidsindx(const odmlplan& plan);
// The sound stream list with its super index naming the plan's 'ix01':
// STRL_AUDS_LIST + AUDS_INDX.
int putstrlaudsodml(const odmlplan& plan, const soundfacts& s);
// The 'odml' list whose 'dmlh' counts n frames: ODML_LIST.
int putodmllist(uint32_t n);
// A standard index of k frame chunks of fs data bytes each, one after the
// other from base: IXNN_HDR + IXNN_ENTRY * k.
int putix00(const char* cc, uint32_t k, uint64_t base, uint64_t fs);
// The sound's standard index: its one chunk at wb: IXNN_HDR + IXNN_ENTRY.
int putix01(uint64_t wb, uint32_t datlen);
// Each returns 0, or the fourcc failure of putfourcc.

// ---- The writer ------------------------------------------------------------------

// The length of the file a plan makes: its end, the 24-bit trailer, and the
// zero fill to the next multiple of 512.
uint64_t odmlfilelen(const odmlplan* p);

// odmlwritepass: the write pass of a plan (made by odmlmkplan for the frames
// of the list and the sound snd, after listprepass, firstimage and
// soundscan): the file front to back, no seek.  Where the file is written,
// each position the plan fixes is recorded (the ix00 and first frame of
// every segment, every frame chunk's offset, the ix01 and the sound chunk,
// every segment's end, the file's end) and held to the plan: any
// disagreement prints a "!!! ... disagreed." line, closes the output and
// gives -1; so does a plan whose segments do not add up to its frames (then
// before anything is created).  The file on disk must then have the plan's
// length (finishoutput).  The keyboard is polled once before the file is
// created: ESC or Ctrl-C there gives 27 or 3 with nothing created.  Other
// results as mkodmlsub.
int odmlwritepass(const moviepaths& p, const odmlplan& plan, const soundfacts& snd, float fps);


// mkodml / mkodmlW: write the movie of the list file's images (and the WAV's
// sound, "" for none) at fps frames per second; 8-bit or wide paths, as the
// AVI 1.0 writer takes them.  mkodmlsub is their common core, with the `wide`
// flag (0 or 0xFF) choosing which path form is used.
//
// Results: 0 written; -1 a planning table not allocated, the movie not
// created, a write failure after a frame or at the end, or the file not
// where its plan says (odmlwritepass); -4 the WAV cannot
// be opened again; -6 a listed image missing or not loadable (badpngname
// holds it); ODML_TOO_LARGE (-8) the movie cannot be laid out, nothing
// created; 1, 2, 3 a fourcc byte not written ('R', "IFF", any later one);
// 3 also no usable first image and Ctrl-C; 4 the sound copy failed; 27 ESC.
// Never -7.
int mkodmlsub(const char* avipath, const char16_t* avipathW, const char* listpath,
              const char16_t* listpathW, float fps, const char* wavpath,
              const char16_t* wavpathW, uint8_t wide);
int mkodml(const char* avipath, const char* listpath, float fps, const char* wavpath);
int mkodmlW(const char16_t* avipath, const char16_t* listpath, float fps, const char16_t* wavpath);

#endif
