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
//   - workers take the slots in that order and run the loader's job on their
//     own input, record, palette and planes; they print nothing;
//   - when the writer reaches frame i it prints that frame's kept lines and
//     its name, waits for slot i (looking at the keyboard every few
//     milliseconds meanwhile), prints what the loader would have printed for
//     the job's result, and takes the slot's planes in exchange for its own
//     (the slot's next load reuses them when the size matches).
//
// Bounds.  Count: at most `nslots` frames are handed out and not yet taken.
// Bytes: every plane set that exists (the slots' and the writer's) and the
// decode buffer of every load in progress are counted against the cap; a
// load waits after reading its file's IHDR until its share fits, except the
// load of the frame the writer takes next (`front`), which always goes on.
// So the memory held stays within the cap plus at most that one frame; and
// since the workers share one heap (heap_shared), where a block one of them
// frees serves the next, so does the memory the process really has.
//
// Stops: a key, a failed frame or the end of the frames all end in
// aheadstop, which sets the cancel flag (reads and conversions in progress
// end at their next step, loads waiting for memory give up), wakes and joins
// every worker and frees the slots' planes.
//
// Division: the pool; the workers; the writer's side (start, hand out,
// take, stop).

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
// again.  The key poll itself looks at the console at most every 4 ms.
constexpr auto KEY_LOOK = std::chrono::milliseconds(2);

}  // namespace

struct aheadslot {
    aheadpool* pool = nullptr;
    uint32_t frame = 0;
    slotstate state = SLOT_FREE;
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
    std::condition_variable work;    // a slot was handed out, or stop
    std::condition_variable done;    // a load ended
    std::condition_variable memory;  // bytes were given back, the front moved, or stop
    std::vector<std::thread> threads;
    std::unique_ptr<aheadslot[]> slot;
    uint32_t nslots = 0;
    uint32_t n = 0;            // the frames of the movie
    uint32_t handed = 0;       // frames handed to slots (0 .. handed-1)
    uint32_t started = 0;      // frames a worker has taken (the next one to start)
    uint32_t front = 0;        // the frame the writer takes next
    uint64_t cap = 0, used = 0;
    uint64_t writercounted = 0;  // bytes of the writer's planes counted in used
    std::atomic<int> cancel{0};
    bool stop = false;
    uint8_t wide = 0;
    bool listopen = false;     // the list is open on the text reader
    aheadstats stats = {};
};

namespace {

// The bytes of a set that exists; 0 when there is none.
uint64_t setbytes(const imgplanes& p) {
    if (!p.R || !p.G || !p.B || !p.A || p.width <= 0 || p.height <= 0) return 0;
    return planesbytes((uint64_t)p.width, (uint64_t)p.height);
}

// ---- The workers ----------------------------------------------------------------------

// admit: a load's share of the cap, once its IHDR has told the size: the
// decoded record (at most 4 bytes a pixel and a row pointer a row) and,
// unless the slot's planes fit, a new plane set.  Waits while the share does
// not fit and the frame is not the front; false when the pool stops.
bool admit(void* ctx, const pngjob* job, uint32_t w, uint32_t h) {
    aheadslot* s = (aheadslot*)ctx;
    aheadpool* p = s->pool;
    const imgplanes& have = job->planes;
    const bool reuse = have.R && have.G && have.B && have.A && (uint32_t)have.width == w &&
                       (uint32_t)have.height == h && have.width > 0;
    uint64_t need = decodebytes(w, h);
    if (!reuse) need += planesbytes(w, h);

    std::unique_lock<std::mutex> lk(p->mu);
    p->memory.wait(lk, [&] { return p->stop || s->frame == p->front || p->used + need <= p->cap; });
    if (p->stop) return false;
    p->used += need;
    s->reserve = need;
    p->stats.peakbytes = std::max(p->stats.peakbytes, p->used);
    return true;
}

void workermain(aheadpool* p) {
    std::unique_lock<std::mutex> lk(p->mu);
    for (;;) {
        p->work.wait(lk, [&] { return p->stop || p->started < p->handed; });
        if (p->stop) return;
        aheadslot& s = p->slot[p->started++ % p->nslots];
        if (s.state != SLOT_QUEUED) continue;  // a path that did not fit: done already
        s.state = SLOT_RUNNING;
        lk.unlock();
        pngloadjob(&s.job);
        lk.lock();
        // The reservation ends; the slot's planes count at what they are now.
        const uint64_t now = setbytes(s.job.planes);
        p->used = p->used - s.reserve - s.counted + now;
        s.counted = now;
        s.reserve = 0;
        s.state = SLOT_DONE;
        p->stats.loaded++;
        p->done.notify_all();
        p->memory.notify_all();
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
        j.result = -1;
        j.openerror = 0;
        std::lock_guard<std::mutex> lk(p->mu);
        s.state = s.joined ? SLOT_QUEUED : SLOT_DONE;
        p->handed++;
        p->stats.peakframes = std::max(p->stats.peakframes, p->handed - p->front);
        any = true;
    }
    if (any) p->work.notify_all();
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
    // The writer's last planes go to the slot, for its next load to reuse,
    // while what is held stays within the cap; past it (after a front load)
    // they are given back.
    std::lock_guard<std::mutex> lk(p->mu);
    std::swap(p->writercounted, s.counted);
    if (p->used > p->cap) {
        p->used -= s.counted;
        s.counted = 0;
        planesfree(&j.planes);
    }
    return 0;
}

}  // namespace

aheadpool* aheadstart(uint32_t n, uint8_t wide, bool listopen) {
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
        std::unique_lock<std::mutex> lk(p->mu);
        while (!p->done.wait_for(lk, KEY_LOOK, [&] { return s.state == SLOT_DONE; })) {
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
    frameaheadstats = p->stats;
    delete p;
}

}  // namespace movie_detail
