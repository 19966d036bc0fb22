// dib_fixture.h - runs the bitmap decoder over bytes in memory, with guard
// bytes around every plane, for the decoder tests and the oracle tests.
#ifndef REELKILN_TESTS_AVITOOL_DIB_FIXTURE_H
#define REELKILN_TESTS_AVITOOL_DIB_FIXTURE_H

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "avitool/dib_internal.h"

namespace dibtest {

using namespace avitool_detail;

// What one decode gave: the result, the pixels as 0xRRGGBBAA in plane order
// (row 0 at the top), the console output, and whether a guard byte changed.
struct decoded {
    int result = -100;
    std::vector<uint32_t> rgba;
    std::string printed;
    bool guardsok = true;
};

inline constexpr size_t GUARD = 64;
inline constexpr uint8_t GUARDBYTE = 0xA5;

// fill: the planes' start value (every channel), so that dropped pixels show.
inline decoded decode(const dibformat& f, const dibpalette& pal, const std::vector<uint8_t>& data,
                      uint8_t fill = 0x11, dibrowhook hook = nullptr, void* hookctx = nullptr) {
    decoded d;
    diblayout l;
    d.result = diblayoutof(f, &l);
    if (d.result != DIB_OK) return d;
    size_t n = (size_t)l.width * l.height;
    std::vector<uint8_t> planes[4];
    for (auto& p : planes) {
        p.assign(n + 2 * GUARD, GUARDBYTE);
        std::memset(p.data() + GUARD, fill, n);
    }
    dibplanes o{planes[0].data() + GUARD, planes[1].data() + GUARD, planes[2].data() + GUARD,
                planes[3].data() + GUARD};
    // A copy, so that reading past the data is seen by the sanitizers.
    std::vector<uint8_t> bytes(data);
    dibsrc s;
    s.p = bytes.data();
    s.end = bytes.data() + bytes.size();
    testing::internal::CaptureStdout();
    d.result = dibdecode(l, s, pal, o, hook, hookctx);
    d.printed = testing::internal::GetCapturedStdout();
    for (auto& p : planes)
        for (size_t k = 0; k < GUARD; k++)
            if (p[k] != GUARDBYTE || p[GUARD + n + k] != GUARDBYTE) d.guardsok = false;
    d.rgba.resize(n);
    for (size_t i = 0; i < n; i++)
        d.rgba[i] = (uint32_t)planes[0][GUARD + i] << 24 | (uint32_t)planes[1][GUARD + i] << 16 |
                    (uint32_t)planes[2][GUARD + i] << 8 | planes[3][GUARD + i];
    return d;
}

// A palette whose entry i is (i, 255 - i, i ^ 0x5A, 255): every index tells.
inline void rampalette(dibpalette& pal) {
    for (int i = 0; i < 256; i++) {
        pal[i][0] = (uint8_t)i;
        pal[i][1] = (uint8_t)(255 - i);
        pal[i][2] = (uint8_t)(i ^ 0x5A);
        pal[i][3] = 255;
    }
}
inline uint32_t ramp(int i) {
    return (uint32_t)i << 24 | (uint32_t)(255 - i) << 16 | (uint32_t)(i ^ 0x5A) << 8 | 255;
}

}  // namespace dibtest

#endif
