// palette.cpp - the palette builder: a process-wide table of up to 256
// colours that the PNG encoder fills from an image's pixels and then looks
// each pixel up in.
//
// Division: the table and its index; the operations.
//
// The rule is the plain one: a colour's index is that of the first equal
// entry among the palnum in use, and a new colour goes to the end, so the
// entries stand in the order the colours first appear.  Scanning up to 256
// entries per pixel costs seconds on a 1080p image of many colours, so
// paladd and palfind go through an index first: an open-addressed hash from
// the 24-bit colour to its entry, kept in step with the table by every
// operation that changes it.  A hit is checked against the table before it
// is believed, and a miss falls back to the scan, so the answers are those
// of the scan even if the index were ever stale; the scan runs only when a
// colour is new (at most 257 times per image).

#include "image/image.h"

#include <cstring>

uint8_t paltable[256][4];
int palnum = 0;
uint8_t palgray = 0;

namespace {

// 1024 slots for at most 256 colours: a load of a quarter keeps probe runs
// to one or two slots.  A slot holds an entry index, or -1.
constexpr int kSlots = 1024;
int16_t slots[kSlots];
bool indexready = false;

inline uint32_t key(uint8_t c0, uint8_t c1, uint8_t c2) {
    return (uint32_t)c0 | ((uint32_t)c1 << 8) | ((uint32_t)c2 << 16);
}

inline uint32_t slotof(uint32_t k) { return (k * 2654435761u) >> 22; }  // top 10 bits

inline bool entryis(int i, uint8_t c0, uint8_t c1, uint8_t c2) {
    return paltable[i][0] == c0 && paltable[i][1] == c1 && paltable[i][2] == c2;
}

void indexclear() {
    std::memset(slots, 0xFF, sizeof slots);
    indexready = true;
}

// Points the colour of entry i at i, unless an entry below i already has it
// (the first one wins, as in the scan).
void indexput(int i) {
    uint32_t k = key(paltable[i][0], paltable[i][1], paltable[i][2]);
    for (uint32_t s = slotof(k);; s = (s + 1) & (kSlots - 1)) {
        int16_t e = slots[s];
        if (e < 0) {
            slots[s] = (int16_t)i;
            return;
        }
        if (key(paltable[e][0], paltable[e][1], paltable[e][2]) == k) {
            if (i < e) slots[s] = (int16_t)i;
            return;
        }
    }
}

void indexbuild() {
    indexclear();
    for (int i = 0; i < palnum; i++) indexput(i);
}

// The entry of the colour by the index, checked; -1 when the index does not
// know it (the caller then scans).
inline int indexget(uint8_t c0, uint8_t c1, uint8_t c2) {
    if (!indexready) indexbuild();
    uint32_t k = key(c0, c1, c2);
    for (uint32_t s = slotof(k);; s = (s + 1) & (kSlots - 1)) {
        int16_t e = slots[s];
        if (e < 0) return -1;
        if (e < palnum && entryis(e, c0, c1, c2)) return e;
        if (key(paltable[e][0], paltable[e][1], paltable[e][2]) == k) return -1;  // stale
    }
}

int scan(uint8_t c0, uint8_t c1, uint8_t c2) {
    for (int i = 0; i < palnum; i++)
        if (entryis(i, c0, c1, c2)) return i;
    return -1;
}

inline int lookup(uint8_t c0, uint8_t c1, uint8_t c2) {
    int i = indexget(c0, c1, c2);
    if (i >= 0) return i;
    i = scan(c0, c1, c2);
    if (i >= 0) indexbuild();  // the index was stale: believe the table
    return i;
}

void ramp() {
    for (int i = 0; i < 256; i++) {
        paltable[i][0] = paltable[i][1] = paltable[i][2] = (uint8_t)i;
        paltable[i][3] = 0;
    }
}

bool isblack(int i) { return entryis(i, 0, 0, 0); }
bool iswhite(int i) { return entryis(i, 255, 255, 255); }

void swapentries(int a, int b) {
    uint8_t t[4];
    std::memcpy(t, paltable[a], 4);
    std::memcpy(paltable[a], paltable[b], 4);
    std::memcpy(paltable[b], t, 4);
}

}  // namespace

int palclear(void) {
    palnum = 0;
    palgray = 0;
    ramp();
    indexclear();
    return 0;
}

int palsetgray(void) {
    palnum = 256;
    palgray = 0xFF;
    ramp();
    indexbuild();
    return 0;
}

int paladd(uint8_t c0, uint8_t c1, uint8_t c2) {
    int i = lookup(c0, c1, c2);
    if (i >= 0) return i;
    if (palnum >= 256) return -1;
    i = palnum++;
    paltable[i][0] = c0;
    paltable[i][1] = c1;
    paltable[i][2] = c2;
    indexput(i);
    return i;
}

int palfind(uint8_t c0, uint8_t c1, uint8_t c2) {
    if (palgray) return c0 == c1 && c1 == c2 ? c0 : -1;
    return lookup(c0, c1, c2);
}

int palcount(void) { return palnum; }

int palisgray(void) {
    for (int i = 0; i < palnum; i++)
        if (paltable[i][0] != paltable[i][1] || paltable[i][1] != paltable[i][2]) return 0;
    return -1;
}

// Black first: the first black entry changes places with entry 0.  Then
// white last: the first white entry takes the last used entry's colour and
// the last becomes white.  An empty table has no entry 0 or last entry to
// look at, so nothing is read or moved.
int palnormbw(void) {
    if (palnum <= 0) return -1;
    if (!isblack(0)) {
        for (int i = 1; i < palnum; i++)
            if (isblack(i)) {
                swapentries(0, i);
                break;
            }
    }
    int last = palnum - 1;
    for (int i = 0; i < palnum; i++)
        if (iswhite(i)) {
            if (i != last) swapentries(i, last);
            break;
        }
    indexbuild();
    return -1;
}
