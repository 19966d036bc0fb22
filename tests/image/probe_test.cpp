// probe_test.cpp - the PNG probe: the facts and the description from IHDR,
// the preamble, and each refusal leaving the facts as they were.
#include "pngfix.h"

#include <filesystem>

namespace {

// Cases print as their names in failure output.
template <class C>
    requires requires(const C& c) { c.name; }
void PrintTo(const C& c, std::ostream* os) {
    *os << c.name;
}

using pngfix::ImageTest;

std::vector<uint8_t> ihdrfile(uint32_t w, uint32_t h, int depth, int ctype) {
    return pngfix::cat({pngfix::signature(), pngfix::chunk("IHDR", pngfix::ihdrdata(w, h, depth, ctype, 1)),
                        pngfix::chunk("IEND", {})});
}

struct FactCase {
    const char* name;
    std::vector<uint8_t> (*bytes)();
    uint32_t width, height;
    int depth;
    uint8_t alpha;
    int palcolors, hdrsize, compression;
};

const FactCase kFacts[] = {
    {"rgb8", [] { return ihdrfile(1920, 1080, 8, 2); }, 1920, 1080, 8, 0, 256, 40, 0},
    {"rgb16", [] { return ihdrfile(3, 4, 16, 2); }, 3, 4, 16, 0, -1, 40, 0},
    {"pal8", [] { return ihdrfile(640, 480, 8, 3); }, 640, 480, 8, 0, 256, 40, 0},
    {"gray1", [] { return ihdrfile(1, 1, 1, 0); }, 1, 1, 1, 0, 2, 40, 0},
    {"rgba8", [] { return ihdrfile(7, 9, 8, 6); }, 7, 9, 8, 0xFF, 256, 108, 3},
    {"ga16", [] { return ihdrfile(2, 2, 16, 4); }, 2, 2, 16, 0xFF, -1, 108, 3},
    {"hugeWidth", [] { return ihdrfile(0xFFFFFFFF, 2, 8, 2); }, 0xFFFFFFFF, 2, 8, 0, 256, 40, 0},
    {"preamble",
     [] { return pngfix::cat({std::vector<uint8_t>(128, 0x20), ihdrfile(33, 44, 4, 3)}); }, 33, 44, 4, 0, 16, 40, 0},
    // Only the IHDR is read: a file that stops right after it still probes.
    {"nothingAfterIhdr", [] { auto f = ihdrfile(5, 6, 2, 0); f.resize(33); return f; }, 5, 6, 2, 0, 4, 40, 0},
};

class ProbeFacts : public ImageTest, public ::testing::WithParamInterface<FactCase> {};

TEST_P(ProbeFacts, FactsAndDescription) {
    const FactCase& c = GetParam();
    std::string path = put("p.png", c.bytes());
    ASSERT_EQ(pngscan(path.c_str()), 0);
    EXPECT_EQ(pngwidth, c.width);
    EXPECT_EQ(pngheight, c.height);
    EXPECT_EQ(pngdepth, c.depth);
    EXPECT_EQ(pnghasalpha, c.alpha);
    EXPECT_EQ(curimg.width, (int)c.width);
    EXPECT_EQ(curimg.height, (int)c.height);
    EXPECT_EQ(curimg.bitcount, c.depth);
    EXPECT_EQ(curimg.palcolors, c.palcolors);
    EXPECT_EQ(curimg.planes, 1);
    EXPECT_EQ(curimg.kind, 3);
    EXPECT_EQ(curimg.hdrsize, c.hdrsize);
    EXPECT_EQ(curimg.compression, c.compression);
    EXPECT_EQ(rfeof(), -1);
}

INSTANTIATE_TEST_SUITE_P(Probe, ProbeFacts, ::testing::ValuesIn(kFacts),
                         [](const auto& i) { return std::string(i.param.name); });

struct RefuseCase {
    const char* name;
    std::vector<uint8_t> (*bytes)();  // null: no file
    int result;
};

const RefuseCase kRefusals[] = {
    {"missing", nullptr, -1},
    {"empty", [] { return std::vector<uint8_t>(); }, 2},
    {"text", [] { return std::vector<uint8_t>(200, 'a'); }, 2},
    {"shortPreamble", [] { return std::vector<uint8_t>(100, 0); }, 2},
    {"x89ThenNotPng", [] { auto f = ihdrfile(1, 1, 8, 2); f[1] = 'Q'; return f; }, 2},
    {"lastSignatureByte", [] { auto f = ihdrfile(1, 1, 8, 2); f[7] = 0; return f; }, 2},
    // 0x89 at offset 0 ends the search there, whatever follows at 128.
    {"x89AtZeroPngAt128",
     [] { std::vector<uint8_t> pre(128, 0); pre[0] = 0x89; return pngfix::cat({pre, ihdrfile(1, 1, 8, 2)}); }, 2},
    {"preambleOf127",
     [] { return pngfix::cat({std::vector<uint8_t>(127, 0), ihdrfile(1, 1, 8, 2)}); }, 2},
    {"ihdrLength12",
     [] { auto d = pngfix::ihdrdata(1, 1, 8, 2); d.pop_back();
          return pngfix::cat({pngfix::signature(), pngfix::chunk("IHDR", d)}); }, 3},
    {"plteFirst",
     [] { return pngfix::cat({pngfix::signature(), pngfix::chunk("PLTE", std::vector<uint8_t>(13, 0))}); }, 3},
    {"lowerCaseIhdr",
     [] { return pngfix::cat({pngfix::signature(), pngfix::chunk("iHDR", pngfix::ihdrdata(1, 1, 8, 2))}); }, 3},
    {"signatureOnly", [] { return pngfix::signature(); }, 3},
    // The file ends inside the IHDR fields: no facts from end-of-file bytes.
    {"cutInIhdrFields", [] { auto f = ihdrfile(300, 200, 8, 6); f.resize(8 + 8 + 12); return f; }, 3},
};

class ProbeRefuses : public ImageTest, public ::testing::WithParamInterface<RefuseCase> {};

TEST_P(ProbeRefuses, FactsUnchanged) {
    const RefuseCase& c = GetParam();
    ASSERT_EQ(pngscan(put("ok.png", ihdrfile(11, 12, 16, 6)).c_str()), 0);
    std::string path = c.bytes ? put("p.png", c.bytes()) : dir.str("none.png");
    EXPECT_EQ(pngscan(path.c_str()), c.result);
    EXPECT_EQ(pngwidth, 11u);
    EXPECT_EQ(pngheight, 12u);
    EXPECT_EQ(pngdepth, 16);
    EXPECT_EQ(pnghasalpha, 0xFF);
    EXPECT_EQ(curimg.width, 11);
    EXPECT_EQ(curimg.hdrsize, 108);
    EXPECT_EQ(rfeof(), -1);
}

INSTANTIATE_TEST_SUITE_P(Probe, ProbeRefuses, ::testing::ValuesIn(kRefusals),
                         [](const auto& i) { return std::string(i.param.name); });

TEST_F(ImageTest, ProbeByWideName) {
    testutil::write_file(dir.path() / std::filesystem::u8path("\xE7\x94\xBB.png"), ihdrfile(21, 22, 8, 0));
    std::u16string d = testutil::u16(dir.str());
    ASSERT_EQ(pngscanW((d + u"/\u753B.png").c_str()), 0);
    EXPECT_EQ(pngwidth, 21u);
    EXPECT_EQ(pnghasalpha, 0);
    EXPECT_EQ(pngscanW((d + u"/\u753C.png").c_str()), -1);
    EXPECT_EQ(pngscan(nullptr), -1);
    EXPECT_EQ(pngscanW(nullptr), -1);
}

}  // namespace
