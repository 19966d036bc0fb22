// corpus_test.cpp - the loader against an independent decoder over the test
// images of Debian's libpng source: PngSuite, the generated testpngs and the
// crashers.
//
// The CTest fixture image_corpus_setup (tools/png_corpus.sh) fetches the
// source and runs tools/png_oracle.py, which decodes every image with
// python3-png and writes the expected R G B A bytes.  These tests read its
// manifest (from $RK_PNG_ORACLE, or the build's oracle directory) and fail
// when it is missing or lists fewer images than the directories hold.
#include "pngfix.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <tuple>

namespace {

namespace fs = std::filesystem;

struct Entry {
    std::string set, rel;
    bool ok = false;
    int width = 0, height = 0;
    std::string raw, reason;
};

struct Manifest {
    fs::path where;
    std::map<std::string, std::pair<fs::path, int>> sets;  // name: directory, count
    std::vector<Entry> entries;
};

std::vector<std::string> fields(const std::string& line) {
    std::vector<std::string> f;
    std::stringstream ss(line);
    std::string x;
    while (std::getline(ss, x, '\t')) f.push_back(x);
    return f;
}

bool readmanifest(Manifest* m) {
    const char* env = std::getenv("RK_PNG_ORACLE");
    m->where = env && *env ? fs::path(env) : fs::path(RK_ORACLE_DIR);
    std::ifstream in(m->where / "manifest.txt");
    if (!in) return false;
    std::string line;
    while (std::getline(in, line)) {
        auto f = fields(line);
        if (f.size() == 4 && f[0] == "set") {
            m->sets[f[1]] = {fs::path(f[2]), std::stoi(f[3])};
        } else if (f.size() == 6 && f[0] == "ok") {
            Entry e{f[1], f[2], true, std::stoi(f[3]), std::stoi(f[4]), f[5], ""};
            m->entries.push_back(e);
        } else if (f.size() >= 3 && f[0] == "fail") {
            m->entries.push_back(Entry{f[1], f[2], false, 0, 0, "", f.size() > 3 ? f[3] : ""});
        }
    }
    return true;
}

// The PNG files of a directory, listed here rather than taken from the
// oracle, so that an oracle that skipped files is caught.
int countpngs(const fs::path& d, bool recursive) {
    int n = 0;
    auto isPng = [](const fs::directory_entry& e) {
        std::string ext = e.path().extension().string();
        for (auto& ch : ext) ch = (char)std::tolower((unsigned char)ch);
        return e.is_regular_file() && ext == ".png";
    };
    if (recursive) {
        for (auto& e : fs::recursive_directory_iterator(d)) n += isPng(e);
    } else {
        for (auto& e : fs::directory_iterator(d)) n += isPng(e);
    }
    return n;
}

class Corpus : public pngfix::ImageTest {
protected:
    // The set's entries, after checking that the manifest exists and that it
    // covers every PNG file of the set's directory (at least min of them).
    std::vector<Entry> entries(const std::string& set, bool recursive, int min) {
        Manifest m;
        if (!readmanifest(&m)) {
            ADD_FAILURE() << "no oracle output in " << m.where
                          << "; run the CTest fixture image_corpus_setup (tools/png_corpus.sh)";
            return {};
        }
        where_ = m.where;
        auto it = m.sets.find(set);
        if (it == m.sets.end()) {
            ADD_FAILURE() << "the manifest has no set " << set;
            return {};
        }
        const auto& [d, count] = it->second;
        std::vector<Entry> out;
        for (auto& e : m.entries)
            if (e.set == set) out.push_back(e);
        EXPECT_GE(count, min) << set;
        EXPECT_EQ(count, countpngs(d, recursive)) << set << " in " << d;
        EXPECT_EQ((int)out.size(), count) << set;
        dir_ = d;
        return out;
    }

    // Loads one corpus file (or its copy behind a 128-byte preamble) and
    // compares it with the oracle's bytes.
    void compare(const Entry& e, bool preamble) {
        SCOPED_TRACE(e.set + "/" + e.rel + (preamble ? " with preamble" : ""));
        std::string path = (dir_ / e.rel).string();
        if (preamble) {
            auto bytes = testutil::read_file(path);
            std::vector<uint8_t> pre(128, 0xA5);
            path = put("pre.png", pngfix::cat({pre, bytes}));
        }
        pngfix::Planes p;
        int r = p.load(path);
        if (!e.ok) {
            EXPECT_NE(r, 0) << "the reference decoder refused it: " << e.reason;
            EXPECT_TRUE(!p.R && !p.G && !p.B && !p.A);
            return;
        }
        ASSERT_EQ(r, 0);
        ASSERT_EQ(p.width, e.width);
        ASSERT_EQ(p.height, e.height);
        auto want = testutil::read_file(where_ / e.raw);
        ASSERT_EQ(want.size(), (size_t)e.width * e.height * 4);
        auto got = p.rgba();
        if (got != want) {
            size_t i = 0;
            while (got[i] == want[i]) i++;
            ADD_FAILURE() << "first difference at pixel " << i / 4 << " (x " << (i / 4) % e.width << ", y "
                          << (i / 4) / e.width << ") channel " << "RGBA"[i % 4] << ": " << (int)got[i]
                          << ", want " << (int)want[i];
        }
        bool anyalpha = false;
        for (size_t k = 3; k < want.size(); k += 4) anyalpha |= want[k] != 255;
        EXPECT_EQ(p.hasalpha, anyalpha ? 0xFF : 0);
    }

    fs::path where_, dir_;
};

TEST_F(Corpus, PngSuiteMatchesTheReferenceDecoder) {
    for (const Entry& e : entries("pngsuite", true, 50)) {
        compare(e, false);
        compare(e, true);
    }
}

TEST_F(Corpus, TestPngsMatchTheReferenceDecoder) {
    for (const Entry& e : entries("testpngs", false, 100)) compare(e, false);
}

// Every PngSuite image the reference decoder reads, as planes made from its
// bytes (not from the loader), saved by the encoder with the alpha decided
// from the plane and loaded back: the same pixels, alpha too where the image
// has any (an alpha plane all 255 or all 0 is saved without one, and so
// reads back as 255).  Their colour counts, gray or not, and widths of 1 to
// 91 reach every format the encoder chooses.
TEST_F(Corpus, PngSuiteSurvivesEncodingFromItsPlanes) {
    int saved = 0;
    for (const Entry& e : entries("pngsuite", true, 50)) {
        if (!e.ok) continue;
        SCOPED_TRACE(e.rel);
        auto want = testutil::read_file(where_ / e.raw);
        size_t n = (size_t)e.width * e.height;
        ASSERT_EQ(want.size(), n * 4);
        std::vector<uint8_t> pl[4];
        uint8_t andv = 255, orv = 0;
        for (int c = 0; c < 4; c++) {
            pl[c].resize(n + 16);
            for (size_t i = 0; i < n; i++) pl[c][i] = want[4 * i + c];
        }
        for (size_t i = 0; i < n; i++) andv &= pl[3][i], orv |= pl[3][i];
        if (andv == 255 || orv == 0)
            for (size_t i = 0; i < n; i++) want[4 * i + 3] = 255;
        std::string out = dir.str("re.png");
        testing::internal::CaptureStdout();
        int r = pngsaveplanes(out.c_str(), e.width, e.height, pl[0].data(), pl[1].data(), pl[2].data(),
                              pl[3].data(), -1);
        std::string said = testing::internal::GetCapturedStdout();
        ASSERT_EQ(r, 0) << said;
        pngfix::Planes p;
        ASSERT_EQ(p.load(out), 0);
        EXPECT_TRUE(p.rgba() == want) << said;
        saved++;
    }
    EXPECT_GE(saved, 50);
}

// The loader on a worker thread (pngloadjob) gives what the loader gives
// for every file of the three sets, by both kinds of name: the same result,
// size, depth, alpha flag, planes and palette, failures included.
TEST_F(Corpus, WorkerLoaderMatchesTheLoader) {
    for (auto [set, recursive, min] : {std::tuple{"pngsuite", true, 50}, {"testpngs", false, 100}, {"crashers", false, 20}}) {
        for (const Entry& e : entries(set, recursive, min)) {
            SCOPED_TRACE(e.set + "/" + e.rel);
            pngfix::expect_job_matches_loader((dir_ / e.rel).string());
        }
    }
}

// Files that once crashed decoders.  Each one the reference decoder refuses
// fails through the error path with the planes untouched, and the decoder
// alone fails the same way with nothing left to release; the sanitizer build
// watches for anything worse.  One is damaged only in chunks that carry no
// pixels (empty ancillary chunks, skipped by both decoders): it must match.
TEST_F(Corpus, CrashersFailCleanly) {
    for (const Entry& e : entries("crashers", false, 20)) {
        if (e.ok) {
            compare(e, false);
            continue;
        }
        SCOPED_TRACE(e.rel);
        if (e.reason.find("incorrect data check") != std::string::npos) {
            // Refused by the reference only for its zlib Adler-32, under chunk
            // CRCs that hold: the decoder leaves that second checksum to the
            // CRCs (checksum_test.cpp), so the image decodes.
            pngfix::Planes p;
            EXPECT_EQ(p.load((dir_ / e.rel).string()), 0);
            continue;
        }
        pngfix::Planes p;
        int r = p.load((dir_ / e.rel).string());
        EXPECT_TRUE(r == -2 || r == 2) << "result " << r;
        EXPECT_TRUE(!p.R && !p.G && !p.B && !p.A);
        EXPECT_EQ(rfeof(), -1);
        imgrec rec;
        EXPECT_EQ(pngdecode((dir_ / e.rel).string().c_str(), &rec), 0);
        EXPECT_EQ(rec.bits, nullptr);
    }
}

}  // namespace
