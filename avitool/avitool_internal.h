// avitool_internal.h - the edit protocol the toolkit's edits share.  Internal
// to avitool/: not for callers outside the folder.
//
// Every edit scans the movie, checks that the scan found what it will patch,
// streams a patched copy strictly forward from RD into "~qeltmp.avi" beside
// the movie through WR, and puts the finished copy in the movie's place with
// one atomic replace (g_os.replace).  Until the replace the movie is only
// read; every failure before it closes both streams and removes the
// temporary file, so the movie stays byte-identical.  A kill at any moment
// leaves the old movie or the new one (and at worst a stray temporary file,
// which the next edit in that directory overwrites).
//
// One thread; the streams are the process-wide singletons.

#ifndef REELKILN_AVITOOL_INTERNAL_H
#define REELKILN_AVITOOL_INTERNAL_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "avitool/avitool.h"
#include "stream/stream.h"

struct soundfacts;

namespace avitool_detail {

// A 64-bit count or offset for printf's %lld.
inline long long ll(int64_t v) { return (long long)v; }

// The id of a stream's data chunk (and of its index entries): the
// stream's number in two decimal digits, then its type: "##db" or "##dc"
// a frame, "##wb" sound.
inline bool isstreamid(const uint8_t* id) { return id[0] >= '0' && id[0] <= '9' && id[1] >= '0' && id[1] <= '9'; }
inline bool isvideoid(const uint8_t* id) { return isstreamid(id) && id[2] == 'd' && (id[3] == 'b' || id[3] == 'c'); }
inline bool isaudioid(const uint8_t* id) { return isstreamid(id) && id[2] == 'w' && id[3] == 'b'; }

// The name of the temporary file, in the movie's directory.
inline constexpr const char* TMPNAME = "~qeltmp.avi";

// Room for the temporary file's path with its terminator; a longer one is
// refused rather than cut.
inline constexpr size_t TMPPATH_CAP = 4096;

// The outputs of aviscan for one edit.
struct scanfacts {
    uint32_t total, width, height;
    uint8_t sizeflag, hasaudio;
    int64_t audiobuf, junkpos, junksize, chunksize, chunkoff;
    float fps;
};

// The lines an edit prints for its opens, its copy-back-style failures and
// its progress.  Each holds one %d for the code where it is a failure line.
struct editlines {
    const char* openrd;    // "Cannot open (RD) for ... (%d).\n"
    const char* openwr;    // "Cannot open (WR) for ... (%d).\n"
    const char* failed;    // the failed copy, before the replace
    const char* progress;  // "... done. Copying ...\n"
    const char* replace;   // the replace refused (with the code -1)
};

// A file that exists only as a plan: stretches of a source file and bytes
// of its own, end to end.  An edit can be run into one instead of into the
// temporary file (planning), and the plan read back as a read source of its
// own (plansource), so that two edits chain into one pass over the source
// and one temporary file.  What it holds is the new file's headers, chunk
// headers and index entries; the frames and the sound stay in the source as
// stretches.
struct piece {
    int64_t at;    // where the piece starts in the planned file
    int64_t len;
    int64_t src;   // where it comes from in the source; PIECE_OWN, PIECE_ZEROS
    size_t off;    // PIECE_OWN: where its bytes start in own
};
inline constexpr int64_t PIECE_OWN = -1;
inline constexpr int64_t PIECE_ZEROS = -2;

struct spliced {
    std::string source;  // the file the stretches come from
    int64_t srclen = 0;  // its length when the plan was made
    std::vector<piece> pieces;
    std::vector<uint8_t> own;
    int64_t length = 0;  // the planned file's length
};

// Reads n bytes of the planned file p at pos into out: its own bytes, its
// zero runs, and its stretches read through from (the source file as a
// positional read).  Returns the count: n, or fewer where the plan ends
// (pos + n past its length) and where a stretch read comes back short (the
// source shrank or failed): the bytes it could not get are never made up.
// *hint is the piece of the last read, a cache (0 to start; null for none).
// Pure: reads only its arguments and what from reads.
int64_t splicedread(const spliced& p, const rdsource& from, int64_t pos, uint8_t* out, int64_t n, size_t* hint);

// A plan read as a source (src), its stretches read from the plan's source
// file, which planopen opens by name through its own FILE and planclose (or
// the destructor) closes.  The plan must outlive it.
struct plansource {
    const spliced* plan = nullptr;
    FILE* file = nullptr;
    int64_t filepos = 0;  // where the FILE stands, -1 unknown
    size_t hint = 0;
    rdsource from = {};   // the source file at positions
    rdsource src = {};    // the planned file, for rfopensrc and aviscansrc
    plansource() = default;
    plansource(const plansource&) = delete;
    plansource& operator=(const plansource&) = delete;
    ~plansource();
};
// False when the source file does not open.
bool planopen(plansource* ps, const spliced* plan);
void planclose(plansource* ps);
inline plansource::~plansource() { planclose(this); }

// One edit from its temporary path to the replace.  The edit owns its input
// (the movie by name, or src) and its output (the temporary file through
// WR, or plan).
struct edit {
    const char* movie = nullptr;
    const rdsource* src = nullptr;  // the bytes read, when they are not the movie's file (a plan)
    plansource* plansrc = nullptr;  // src's plan, whose file is closed before the replace (Windows
                                    // refuses to replace a file that is open)
    spliced* plan = nullptr;        // planning: the output goes here, no temporary file
    char tmp[TMPPATH_CAP] = {};
    scanfacts scan = {};
    editlines lines = {};
    bool open = false;  // RD and WR are open, the temporary file exists
};

// Builds e.tmp (getdir(movie) + TMPNAME) with a bounded join; false after a
// line when it does not fit.
bool tmppath(edit& e, const char* movie);

// True when path names the toolkit's temporary file (its last component is
// TMPNAME in any case), after a line naming which of the edit's files it is.
bool istmpfile(const char* path, const char* what);

// aviscan for frame into the facts, with the edits' line for a failed scan
// ("ErrScanningAVI (%d)\n"): the scan's result.
int scanmovie(const char* name, int32_t frame, scanfacts* s);
// The same scan without the line, for the readers that say their own.
int scanfor(const char* path, int32_t frame, scanfacts* s);

// The existence test, the refusal of the temporary file as the movie, and
// the scan of frame (of e.src when set, else of the movie) into e.scan: 0, or the
// edit's result after its line ("Cannot find AVI.(%s)\n" -1, the temporary
// file 3, the scan's).
int findandscan(edit& e, int32_t frame = 0);

// The header positions an edit patches, as bits of a set: each edit checks
// the ones it needs, always in this order.
enum needed : unsigned {
    NEED_RIFF = 1u << 0,         // aviptrriffleng
    NEED_USPERFRAME = 1u << 1,   // aviptrusperframe
    NEED_MAXBYTES = 1u << 2,     // aviptrmaxbytes
    NEED_TOTALFRAMES = 1u << 3,  // aviptrtotalframes
    NEED_STREAMS = 1u << 4,      // aviptrstreams
    NEED_VIDSRATE = 1u << 5,     // aviptrvidsrate
    NEED_VIDSLENGTH = 1u << 6,   // aviptrvidslength
    NEED_VIDSBUF = 1u << 7,      // aviptrvidsbufsize
    NEED_MOVI = 1u << 8,         // aviptrmovi
    NEED_MOVIEND = 1u << 9,      // aviptrmoviend
    NEED_ALL = (1u << 10) - 1,
    // The rate fields.
    NEED_RATE = NEED_USPERFRAME | NEED_MAXBYTES | NEED_VIDSRATE | NEED_VIDSBUF,
};

// The needed positions in their fixed order: 0, or 3 after the first
// missing one's line ("RIFF not found.\n", ...).
int checkpositions(unsigned need);

// The lines for a movie without an index: "(no 'idx1' chunk)" for each of
// its two positions that is 0; the index steps are then skipped.
void noteindex(void);

// The layout an edit that restructures the movie can take: not OpenDML, one
// movi list, a movi walk that took every chunk, header lists whose items
// stay inside them, an index counted from
// 'movi', full-sized avih and video strh, a usable frame duration, and a
// JUNK (when there is one) between hdrl and movi.  0, or 3 after a line
// naming what is refused; `what` names the edit ("removing WAV from AVI").
int checklayout(const char* what);

// Opens RD on the edit's input and creates the temporary file on WR (or
// takes the plan as the output): 0, or the open's code after the edit's
// open line (the temporary file removed).
int editopen(edit& e);

// Ends a failed edit: closes both streams, removes the temporary file and
// returns r.
int editabort(edit& e, int r);

// Copies from RD's position up to pos unchanged, in steps below 2 GB: true
// when every byte arrived.  False for a pos behind the read position.
// While the edit plans, the stretch is noted instead (and RD skips it).
bool copyto(edit& e, int64_t pos);

// The output of the edit: the temporary file through WR, or its plan.
// outkept gives out n bytes just read from RD at from, unchanged (a plan
// notes the stretch); outfourcc gives out a fourcc's four bytes; outpos is
// the output position; outfailed tells a failed output (WR's error flag;
// never for a plan).
bool outc(edit& e, int c);
bool outfourcc(edit& e, const char* cc);
bool outdw(edit& e, uint32_t v);
bool outkept(edit& e, int64_t from, const uint8_t* b, int n);
int64_t outpos(const edit& e);
bool outfailed(const edit& e);

// One header field (or run of fields) replaced on the way: at pos, old bytes
// of the source are dropped and the u32 values put written in their place.
// Every edit states the fields it patches as a list of these.
struct patch {
    int64_t pos;
    int old;
    std::vector<uint32_t> put;
};

// Puts the list in file order: false when two patches overlap.
bool sortpatches(std::vector<patch>* v);

// Copies up to each patch in the list's order and writes it: false when a
// copy fails or would go backwards, the source ends, or the output fails.
bool applypatches(edit& e, const std::vector<patch>& v);

// Reads the four bytes of a fourcc and writes them back: true when they
// are cc.
bool passfourcc(edit& e, const char* cc);

// Reads four bytes and tells whether they are cc (nothing written).
bool readfourcc(const char* cc);

// The step before an edit's new idx1: copies up to the scan's idx1 chunk
// and reads its fourcc and size (nothing of them written).  IDX1_HERE with
// *size; IDX1_COPYFAILED when the copy failed; IDX1_MISSED when no whole
// idx1 header stands there (the caller says which edit gave up).
enum idx1at { IDX1_HERE, IDX1_COPYFAILED, IDX1_MISSED };
idx1at copytoidx1(edit& e, uint32_t* size);

// Skips n bytes of RD: true when the file held them.
bool rdskip(int64_t n);

// Writes n zero bytes: true when WR took them (or the plan noted them).
bool outzeros(edit& e, int64_t n);

// The end of every edit: the 'them' trailer when the scan met one, a check
// that the write position is riffend (the planned end of the RIFF chunk;
// "assert err (aviptrriffleng).\n" otherwise), the write error check, the
// zero fill to the next multiple of 512, the checked close, the length on
// disk, the progress line and the replace.  0 after "Copy done.\n" and
// "done.\n"; 3 for a failure before the replace; -1 when the replace is
// refused.  The temporary file is gone in every case.  An edit that plans
// ends its plan the same way and prints the same lines, without a file to
// close or replace.
int editfinish(edit& e, int64_t riffend);

// The end of an edit that keeps the movie's layout to its last byte (a
// frame replaced in place, the rate fields patched): the checked close, the
// length on disk (length, what the edit wrote), the progress line and the
// replace, as editfinish ends.  editfinish ends with it.
int editreplace(edit& e, int64_t length);

// The removal of a movie's sound, worked out from the scan before anything
// is written: every size field it writes, the JUNK decision and the header
// patches, and the bytes the walks of movi and idx1 must drop.
struct wavremoveplan {
    int64_t fs;         // the frame size the rate figure is computed from
    bool index;         // idx1 is there (both positions): its sound entries go
    bool junk;          // the JUNK grows by the stream list's bytes, so movi keeps its place
    int64_t strl;       // the audio stream list cut from hdrl, its header included
    int64_t movibytes;  // the '##wb' chunks dropped from movi, headers included
    int64_t idx1bytes;  // the '##wb' entries dropped from idx1
    int64_t riff;       // the RIFF chunk's new size field
    int64_t riffend;    // the end of the new RIFF chunk: where the trailer goes
    int64_t hdrl;       // hdrl's new size field
    int64_t movi;       // movi's new size field
    int64_t idx1;       // idx1's new size field (0 without one)
    bool fits;          // every size holds what is taken from it: else refused
    std::vector<patch> header;  // avih: max bytes, the frame count (the video's), the streams (1)
};

// The plan for removing the scanned movie's (S, s) sound.  Pure: reads only
// its arguments.
wavremoveplan planwavremove(const aviscanrecord& S, const scanfacts& s);

// The addition of a sound, worked out from the scan (of the movie, or of the
// movie planned without its old sound) before anything is written.
struct wavappendplan {
    int64_t fs;        // the frame size the rate figure is computed from
    bool index;        // idx1 is there (both positions): it gets the sound's entry
    bool shrink;       // the JUNK gives up the stream list's bytes, so movi keeps its place
    int64_t riff;      // the RIFF chunk's new size field
    int64_t riffend;   // the end of the new RIFF chunk: where the trailer goes
    bool fits;         // the RIFF size within 32 bits: else the movie would pass 4 GB
    std::vector<patch> header;  // avih: max bytes, the frame count (a longer sound), the streams
};

// The plan for adding the sound snd, wavsec seconds long, to the scanned
// movie (S, s).  Pure: reads only its arguments.
wavappendplan planwavappend(const aviscanrecord& S, const scanfacts& s, const soundfacts& snd, double wavsec);

// The RIFF size after adding datlen bytes of sound to a movie of RIFF size
// riffsize: the audio stream list unless the JUNK gives its bytes up
// (shrink), the sound chunk, and its idx1 entry when there is an index.
// The largest (no shrink, an index) bounds every addition before the scan
// of the movie's layout, as removing an old sound only lowers it.
int64_t wavappendriff(uint32_t riffsize, int64_t datlen, bool shrink, bool index);

// A frame count from WAV seconds x frames per second, rounded up and held
// to what a u32 holds.
uint32_t ceilframes(double seconds, float fps);

}  // namespace avitool_detail

#endif
