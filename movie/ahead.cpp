// ahead.cpp - frames loaded ahead of the writer, on worker threads.
//
// Decoding a PNG takes far longer than writing its rows, so while the
// writer writes frame i, workers decode and convert frames i+1, i+2, ...
// into planes of their own (pngloadjob).  What the user sees stays that of
// the one-thread loop, because the writer's thread remains the only one that
// reads the list, prints, polls the keyboard and touches a process-wide
// record:
//   - it reads the names ahead, keeping the lines the list rule prints with
//     the name they came before (listgetnamekeep), and hands each name to a
//     slot of a ring, in list order;
//   - free threads take the lowest queued slot and run the loader's job on
//     their own input, record, palette and planes; they print nothing; a
//     worker's decode writes its rows straight into its planes, so a frame
//     in flight holds one plane set, not a set and a decoded record;
//   - when the writer reaches frame i it prints that frame's kept lines and
//     its name, waits for slot i, prints what the loader would have printed
//     for the job's result, and takes the slot's planes in exchange for its
//     own (which the next load of their size takes);
//   - while it waits it decodes a queued frame itself, as one more worker
//     that looks at the keyboard every few milliseconds (with two cores the
//     writer would otherwise leave one of them idle); when there is none it
//     may take, it looks at the keyboard every few milliseconds.
//
// Bounds.  Count: at most `nslots` frames are handed out and not yet taken.
// Bytes: every plane set that exists (the slots', the spares' and the
// writer's) and what every load in progress holds beside its planes are
// counted against the cap; a load waits after reading its file's IHDR until
// its share fits and every frame before it has its share, except the load
// of the frame the writer takes next (`front`), which always goes on.  So
// the memory held stays within the cap plus at most that one frame; and
// since the workers share one heap (heap_shared), where a block one of them
// frees serves the next, so does the memory the process really has.
//
// Stops: a key, a failed frame or the end of the frames all end in
// aheadstop, which sets the cancel flag (reads and conversions in progress
// end at their next step, loads waiting for memory give up), wakes and joins
// every worker and frees the slots' and the spares' planes.
//
// Division: the pool; the scheduling; the loads and the workers; the
// writer's side (start, hand out, take, stop).

#include "movie/frames_internal.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "image/image.h"
#include "movie/framelist.h"
#include "platform/platform.h"
#include "stream/stream.h"

int framethreads = 0;
uint64_t frameaheadcap = FRAME_AHEAD_CAP;
aheadstats frameaheadstats = {};

namespace movie_detail {

// ---- The pool -----------------------------------------------------------------------

namespace {

enum slotstate { SLOT_FREE, SLOT_QUEUED, SLOT_RUNNING, SLOT_DONE };

// How long the writer waits for a frame before it looks at the keyboard
// again, and how often a decode it runs itself looks.  The key poll itself
// looks at the console at most every 4 ms.
constexpr auto KEY_LOOK = std::chrono::milliseconds(2);

// A plane set that no frame holds, kept for the next load of its size.
struct spareset {
    imgplanes planes;
    uint64_t bytes;
};

}  // namespace

struct aheadslot {
    aheadpool* pool = nullptr;
    uint32_t frame = 0;
    slotstate state = SLOT_FREE;
    bool admitted = false;        // its load's share is counted (or it never needed one)
    bool bywriter = false;        // the writer runs its load: admit never waits
    bool deferred = false;        // the writer's run gave it up for want of memory
    char name[LISTNAME_BUF] = {};
    std::string held;             // the list rule's lines that came before the name
    bool joined = false;          // the path fitted; else the load is -1 without a line
    char path[JOINED_CAP] = {};
    char16_t pathW[JOINED_CAP] = {};
    pngjob job = {};
    uint64_t counted = 0;         // bytes of job.planes counted in the pool's used
    uint64_t reserve = 0;         // bytes admitted for the load in progress
};

struct aheadpool {
    std::mutex mu;
    std::condition_variable work;    // a slot was queued, or stop
    std::condition_variable done;    // a load ended
    std::condition_variable memory;  // bytes were given back, a load was admitted, the front moved, or stop
    std::vector<std::thread> threads;
    std::unique_ptr<aheadslot[]> slot;
    uint32_t nslots = 0;
    uint32_t n = 0;            // the frames of the movie
    uint32_t handed = 0;       // frames handed to slots (0 .. handed-1)
    uint32_t queued = 0;       // slots waiting for a thread to take them
    uint32_t lowest = 0;       // no frame below this one is queued
    uint32_t front = 0;        // the frame the writer takes next
    uint32_t W = 0, H = 0;     // the first image's size: what a load most likely needs
    uint64_t cap = 0, used = 0;
    uint64_t writercounted = 0;  // bytes of the writer's planes counted in used
    std::vector<spareset> spare; // counted in used
    std::atomic<int> cancel{0};
    bool stop = false;
    uint8_t wide = 0;
    bool listopen = false;     // the list is open on the text reader
    int key = 0;                 // a key the writer's own decode saw (the writer's thread alone)
    std::chrono::steady_clock::time_point looked{};
    aheadstats stats = {};
};

namespace {

// The bytes of a set that exists; 0 when there is none.
uint64_t setbytes(const imgplanes& p) {
    if (!p.R || !p.G || !p.B || !p.A || p.width <= 0 || p.height <= 0) return 0;
    return planesbytes((uint64_t)p.width, (uint64_t)p.height);
}

// ---- Scheduling ------------------------------------------------------------------------
//
// Every choice goes to the frame nearest the writer, since the writer can
// use no frame before the ones ahead of it:
//   - a free thread takes the lowest queued frame;
//   - loads are admitted in frame order: a load waits while a frame before
//     it (and after the front) has not been admitted, so a share given back
//     goes to the nearest load that waits, never to a later one that
//     happens to wake first (admitting far frames first filled the cap
//     with frames the writer could not take, while the near ones waited
//     and the work ran in turn);
//   - a plane set the writer gives back goes to the next load of its size.
// Under the lock, all of them.

// The lowest queued frame, or none (false).
bool lowestqueued(aheadpool* p, uint32_t* out) {
    if (p->queued == 0) return false;
    for (uint32_t d = std::max(p->lowest, p->front); d < p->handed; d++) {
        if (p->slot[d % p->nslots].state == SLOT_QUEUED) {
            p->lowest = d;
            *out = d;
            return true;
        }
    }
    return false;
}

// Every frame from the front up to d has its share (or is done).
bool inorder(aheadpool* p, uint32_t d) {
    for (uint32_t e = p->front; e < d; e++) {
        const aheadslot& t = p->slot[e % p->nslots];
        if (!t.admitted && t.state != SLOT_DONE) return false;
    }
    return true;
}

// The spare set of w x h, or -1.
int sparefor(aheadpool* p, uint32_t w, uint32_t h) {
    for (size_t k = 0; k < p->spare.size(); k++)
        if ((uint32_t)p->spare[k].planes.width == w && (uint32_t)p->spare[k].planes.height == h) return (int)k;
    return -1;
}

void dropspare(aheadpool* p, size_t k) {
    p->used -= p->spare[k].bytes;
    planesfree(&p->spare[k].planes);
    p->spare.erase(p->spare.begin() + (std::ptrdiff_t)k);
}

// A load's share besides planes it takes from the spares: what its decode
// holds beside the planes, and new planes when no spare has its size.
uint64_t sharefor(aheadpool* p, const pngjob* job, uint32_t w, uint32_t h) {
    const uint64_t extra = job->rowsdirect ? rowdecodebytes(w) : decodebytes(w, h);
    return extra + (sparefor(p, w, h) >= 0 ? 0 : planesbytes(w, h));
}

// ---- The loads ----------------------------------------------------------------------

// admit: a load's share of the cap, once its IHDR has told the size: its
// decode's (the record at most 4 bytes a pixel and a row pointer a row, or
// a few rows when the rows go straight into the planes) and its planes (a
// spare set of its size, or a new one).  Waits while a frame before it has
// no share yet or the share does not fit, unless the frame is the front;
// the writer's own load does not wait but gives the frame back to the
// queue (false, deferred).  False when the pool stops.
bool admit(void* ctx, const pngjob* job, uint32_t w, uint32_t h) {
    aheadslot* s = (aheadslot*)ctx;
    aheadpool* p = s->pool;
    std::unique_lock<std::mutex> lk(p->mu);
    uint64_t need = 0;
    auto go = [&] {
        if (p->stop) return true;
        need = sharefor(p, job, w, h);
        if (s->frame == p->front) return true;
        if (!inorder(p, s->frame)) return false;
        // Sets of other sizes are given up before a load waits for want of room.
        while (p->used + need > p->cap && p->spare.size() > 0 && sparefor(p, w, h) < 0) dropspare(p, 0);
        return p->used + need <= p->cap;
    };
    if (s->bywriter) {
        if (!go()) {
            s->deferred = true;
            return false;
        }
    } else {
        p->memory.wait(lk, go);
    }
    if (p->stop) return false;
    const int k = sparefor(p, w, h);
    if (k >= 0) {
        // The job holds no planes of its own here: they went to the writer
        // or back to the spares when its slot was last taken.
        planesfree(&s->job.planes);
        std::swap(s->job.planes, p->spare[(size_t)k].planes);
        s->counted = p->spare[(size_t)k].bytes;
        p->spare.erase(p->spare.begin() + k);
    } else if (!p->spare.empty()) {
        // New planes come: a spare of another size goes, so that no more
        // sets exist than frames in flight and the writer's.
        dropspare(p, 0);
    }
    p->used += need;
    s->reserve = need;
    s->admitted = true;
    p->stats.peakbytes = std::max(p->stats.peakbytes, p->used);
    lk.unlock();
    p->memory.notify_all();  // the next load in order may go
    return true;
}

// A load that a thread took: the job, then what it holds is counted as it is.
// Under the lock on entry and exit.
void runload(aheadpool* p, aheadslot& s, std::unique_lock<std::mutex>& lk) {
    lk.unlock();
    pngloadjob(&s.job);
    lk.lock();
    const uint64_t now = setbytes(s.job.planes);
    p->used = p->used - s.reserve - s.counted + now;
    s.counted = now;
    s.reserve = 0;
    if (s.deferred) {
        // Given up by the writer before anything was allocated: queued again.
        s.deferred = false;
        s.state = SLOT_QUEUED;
        p->queued++;
        p->lowest = std::min(p->lowest, s.frame);
        p->work.notify_one();
        return;
    }
    s.state = SLOT_DONE;
    p->stats.loaded++;
    p->done.notify_all();
    p->memory.notify_all();
}

// Takes frame d's slot for this thread.  Under the lock.
aheadslot& take(aheadpool* p, uint32_t d, bool bywriter) {
    aheadslot& s = p->slot[d % p->nslots];
    s.state = SLOT_RUNNING;
    s.bywriter = bywriter;
    p->queued--;
    p->lowest = d + 1;
    return s;
}

void workermain(aheadpool* p) {
    std::unique_lock<std::mutex> lk(p->mu);
    for (;;) {
        uint32_t d = 0;
        p->work.wait(lk, [&] { return p->stop || lowestqueued(p, &d); });
        if (p->stop) return;
        aheadslot& s = take(p, d, false);
        s.job.look = nullptr;
        runload(p, s, lk);
    }
}

// ---- The writer's side ------------------------------------------------------------------

// Hands out frames up to front + nslots - 1 (and the movie's last): each
// takes the next name from the list, its kept lines and its path.  The slot
// a frame takes was last used by frame - nslots, which the writer has taken.
void handout(aheadpool* p) {
    bool any = false;
    for (;;) {
        uint32_t d;
        {
            std::lock_guard<std::mutex> lk(p->mu);
            if (p->handed >= p->n || p->handed - p->front >= p->nslots) break;
            d = p->handed;
        }
        aheadslot& s = p->slot[d % p->nslots];
        s.frame = d;
        s.held.clear();
        if (!p->listopen || listgetnamekeep(s.name, &s.held) != 0) s.name[0] = 0;
        pngjob& j = s.job;
        // A path that does not fit: -1 without a line, as the one-thread
        // loop gives it.
        s.joined = joinlisted(s.path, s.pathW, s.name, p->wide);
        j.path = s.joined && !p->wide ? s.path : nullptr;
        j.wpath = s.joined && p->wide ? s.pathW : nullptr;
        j.alphamode = 2;  // what the loaders set
        j.trnsalpha = 1;
        j.cancel = &p->cancel;
        j.admit = admit;
        j.admitctx = &s;
        j.look = nullptr;
        j.result = -1;
        j.openerror = 0;
        std::lock_guard<std::mutex> lk(p->mu);
        s.admitted = false;
        s.deferred = false;
        s.state = s.joined ? SLOT_QUEUED : SLOT_DONE;
        if (s.joined) p->queued++;
        p->handed++;
        p->stats.peakframes = std::max(p->stats.peakframes, p->handed - p->front);
        any = true;
    }
    if (any) p->work.notify_all();
}

// The writer's keyboard look while it decodes a frame itself: every
// KEY_LOOK, and a key once seen stays seen.
int writerlook(void* ctx) {
    aheadpool* p = ((aheadslot*)ctx)->pool;
    if (p->key) return p->key;
    const auto now = std::chrono::steady_clock::now();
    if (now - p->looked < KEY_LOOK) return 0;
    p->looked = now;
    return p->key = stopkey();
}

// While the writer waits for a frame, it decodes one itself: the lowest
// queued frame, when that is the one it waits for, or when every frame
// before it has its share and the cap holds, beside what is held now, the
// frames the writer would keep waiting while it decodes: those from the
// front to it and one more for every worker, which go on meanwhile (the
// first image's size is the guess).  So the writer's own load never waits
// for memory that only the writer can give back, and the workers do not
// stall for want of the room that the writer's taking frames gives back.
// Under the lock; true when it ran one.
bool writerload(aheadpool* p, std::unique_lock<std::mutex>& lk) {
    uint32_t d;
    if (!lowestqueued(p, &d)) return false;
    if (d != p->front) {
        pngjob guess = {};
        guess.rowsdirect = 0xFF;
        const uint64_t one = sharefor(p, &guess, p->W, p->H);
        const uint64_t ahead = (uint64_t)(d - p->front) + p->threads.size();
        if (!inorder(p, d) || p->used + one > p->cap ||
            p->writercounted + (ahead + 1) * planesbytes(p->W, p->H) > p->cap)
            return false;
    }
    aheadslot& s = take(p, d, true);
    s.job.look = writerlook;
    runload(p, s, lk);
    return true;
}

// The loader's lines and records for a finished job (pngjobreport, as the
// one-thread loader prints and sets them) and the writer's share of its
// result: the planes taken in exchange for the writer's.
int report(aheadpool* p, imgplanes* planes, aheadslot& s) {
    pngjob& j = s.job;
    const int r = pngjobreport(&j);
    if (r == 1) return -2;  // only a stop cancels a job, and the writer is not waiting then
    if (r != 0) return r;
    std::swap(*planes, j.planes);
    // The writer's last planes go to the spares, for the next load of their
    // size, while what is held stays within the cap; past it (after a front
    // load) they are given back.
    std::lock_guard<std::mutex> lk(p->mu);
    std::swap(p->writercounted, s.counted);
    if (s.counted > 0 && p->used <= p->cap) {
        p->spare.push_back(spareset{j.planes, s.counted});
        j.planes = imgplanes{};
    } else {
        p->used -= s.counted;
        planesfree(&j.planes);
    }
    s.counted = 0;
    return 0;
}

}  // namespace

aheadpool* aheadstart(uint32_t n, uint32_t W, uint32_t H, uint8_t wide, bool listopen) {
    frameaheadstats = aheadstats{};
    const int threads = framethreads > 0 ? framethreads : g_os.cpu_count();
    if (threads <= 1 || n <= 1) return nullptr;
    const uint32_t workers = (uint32_t)std::min(threads - 1, 255);

    aheadpool* p = new (std::nothrow) aheadpool;
    if (!p) return nullptr;
    p->nslots = FRAME_AHEAD_PER_THREAD * (workers + 1);
    p->slot.reset(new (std::nothrow) aheadslot[p->nslots]);
    if (!p->slot) {
        delete p;
        return nullptr;
    }
    for (uint32_t k = 0; k < p->nslots; k++) p->slot[k].pool = p;
    p->n = n;
    p->cap = frameaheadcap;
    p->W = W;
    p->H = H;
    p->wide = wide;
    p->listopen = listopen;
    p->writercounted = 0;
    p->stats.slots = p->nslots;
    // Planes and decode buffers are allocated by one thread and freed by
    // another or by a later load; left to the runtime's default, each
    // worker's heap would keep the blocks it once had, and the real peak
    // would pass the cap below by about a decode buffer per worker.
    g_os.heap_shared();
    try {
        p->threads.reserve(workers);
        for (uint32_t k = 0; k < workers; k++) p->threads.emplace_back(workermain, p);
    } catch (...) {
        // As many as could be started serve; none, and the frames are
        // loaded in turn.
    }
    if (p->threads.empty()) {
        delete p;
        return nullptr;
    }
    p->stats.workers = (uint32_t)p->threads.size();
    return p;
}

const char* aheadname(aheadpool* p, uint32_t i, char* name) {
    handout(p);
    const aheadslot& s = p->slot[i % p->nslots];
    memcpy(name, s.name, sizeof s.name);
    return s.held.c_str();
}

int aheadtake(aheadpool* p, uint32_t i, imgplanes* planes) {
    aheadslot& s = p->slot[i % p->nslots];
    {
        // Waiting, the writer decodes what it may itself; else it looks at
        // the keyboard every KEY_LOOK.
        std::unique_lock<std::mutex> lk(p->mu);
        while (s.state != SLOT_DONE) {
            if (writerload(p, lk)) {
                if (p->key) return p->key;
                continue;
            }
            if (p->done.wait_for(lk, KEY_LOOK, [&] { return s.state == SLOT_DONE; })) break;
            lk.unlock();
            const int k = stopkey();
            lk.lock();
            if (k) return k;
        }
    }
    const int r = report(p, planes, s);
    {
        // The next frame is the front from now on: while this one is
        // written, its load goes on whatever the others hold.
        std::lock_guard<std::mutex> lk(p->mu);
        s.state = SLOT_FREE;
        p->front = i + 1;
    }
    p->memory.notify_all();
    return r;
}

void aheadstop(aheadpool* p) {
    if (!p) return;
    {
        std::lock_guard<std::mutex> lk(p->mu);
        p->stop = true;
        p->cancel.store(1, std::memory_order_relaxed);
    }
    p->work.notify_all();
    p->memory.notify_all();
    for (std::thread& t : p->threads) t.join();
    for (uint32_t k = 0; k < p->nslots; k++) planesfree(&p->slot[k].job.planes);
    for (spareset& x : p->spare) planesfree(&x.planes);
    frameaheadstats = p->stats;
    delete p;
}

}  // namespace movie_detail
