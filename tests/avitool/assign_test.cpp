// The assignment parser: prefixes, defaults, overrides, the extension test
// and the buffer limits (texts and fields at and just over them are refused
// whole, never cut).

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "avitool/assign_internal.h"

using avitool_detail::assignment;
using avitool_detail::parseassign;

namespace {

struct ParseCase {
    const char* name;
    const char* text;
    int want;
    const char* path;
    int frame;
    float fps;
    bool hasframe, hasfps;
    const char* printed;  // the whole console output
};

const ParseCase kParse[] = {
    {"PathOnly", "C:\\m\\a.avi", 0, "C:\\m\\a.avi", 0, 4.0f, false, false,
     "Assigned file: C:\\m\\a.avi.\n"},
    {"LineFromOne", "a.avi;L1", 0, "a.avi", 0, 4.0f, true, false, "Assigned file: a.avi, Frame 0.\n"},
    {"FrameFromZero", "a.avi;FR0", 0, "a.avi", 0, 4.0f, true, false,
     "Assigned file: a.avi, Frame 0.\n"},
    {"LaterFieldWins", "a.avi;L12;FR3", 0, "a.avi", 3, 4.0f, true, false,
     "Assigned file: a.avi, Frame 3.\n"},
    {"NumberFromTheEnd", "a.avi;Line=12", 0, "a.avi", 11, 4.0f, true, false,
     "Assigned file: a.avi, Frame 11.\n"},
    {"BlanksAndCase", "a.avi; \t\r\nfp 30", 0, "a.avi", 0, 30.0f, false, true,
     "Assigned file: a.avi, 30 fps.\n"},
    {"FpsWord", "a.avi;fps29.97", 0, "a.avi", 0, 29.97f, false, true,
     "Assigned file: a.avi, 29.97 fps.\n"},
    {"RateZeroIsFour", "a.avi;FP0", 0, "a.avi", 0, 4.0f, false, true,
     "Assigned file: a.avi, 4 fps.\n"},
    {"LWithoutDigits", "a.avi;L", 0, "a.avi", -2, 4.0f, true, false,
     "Assigned file: a.avi, Frame -2.\n"},
    {"FrWithoutDigits", "a.avi;FR", 0, "a.avi", -1, 4.0f, true, false,
     "Assigned file: a.avi, Frame -1.\n"},
    {"FpsWithoutDigits", "a.avi;FPS", 0, "a.avi", 0, -1.0f, false, true,
     "Assigned file: a.avi, -1 fps.\n"},
    {"BothKinds", "D:\\clips\\walk.avi;L12;FP29.97", 0, "D:\\clips\\walk.avi", 11, 29.97f, true,
     true, "Assigned file: D:\\clips\\walk.avi, Frame 11, 29.97 fps.\n"},
    {"Unrecognized", "a.avi;X5", 0, "a.avi", 0, 4.0f, false, false,
     "Unrecognized assignment: X5.\nAssigned file: a.avi.\n"},
    {"FNeitherFrNorFp", "a.avi;F7;L3", 0, "a.avi", 2, 4.0f, true, false,
     "Unrecognized assignment: F7.\nAssigned file: a.avi, Frame 2.\n"},
    {"LHugeWraps", "a.avi;L2147483648", 0, "a.avi", 2147483647, 4.0f, true, false,
     "Assigned file: a.avi, Frame 2147483647.\n"},
    {"MixedCaseExtension", "movie.Avi", 0, "movie.Avi", 0, 4.0f, false, false,
     "Assigned file: movie.Avi.\n"},
    {"ExtensionOnlyBegins", "movie.avix", 0, "movie.avix", 0, 4.0f, false, false,
     "Assigned file: movie.avix.\n"},
    {"LastDotAnywhere", "dir.avi\\movie", 0, "dir.avi\\movie", 0, 4.0f, false, false,
     "Assigned file: dir.avi\\movie.\n"},
    {"NotAvi", "movie.mov;L3", 1, "movie.mov", 2, 4.0f, true, false,
     "Not AVI extension: movie.mov.\n"},
    {"NoExtension", "movie", 1, "movie", 0, 4.0f, false, false, "Not AVI extension: movie.\n"},
    {"EmptyText", "", 1, "", 0, 4.0f, false, false, "Not AVI extension: .\n"},
};

class Parse : public testing::TestWithParam<ParseCase> {};

TEST_P(Parse, GivesValuesAndLines) {
    const ParseCase& c = GetParam();
    assignment a;
    testing::internal::CaptureStdout();
    int r = parseassign(c.text, &a);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(r, c.want);
    EXPECT_STREQ(a.path, c.path);
    EXPECT_EQ(a.frame, c.frame);
    EXPECT_FLOAT_EQ(a.fps, c.fps);
    EXPECT_EQ(a.hasframe, c.hasframe ? 0xFF : 0);
    EXPECT_EQ(a.hasfps, c.hasfps ? 0xFF : 0);
    EXPECT_EQ(out, c.printed);
}

INSTANTIATE_TEST_SUITE_P(Assign, Parse, testing::ValuesIn(kParse),
                         [](const auto& i) { return std::string(i.param.name); });

// Lengths at the last size that fits and one byte over it.  Every refusal
// prints one line and nothing of the parse.
struct LimitCase {
    const char* name;
    std::string text;
    int want;
};
void PrintTo(const LimitCase& c, std::ostream* os) { *os << c.name; }
void PrintTo(const ParseCase& c, std::ostream* os) { *os << c.name; }

std::string avipath(size_t len) {  // a path of len bytes ending ".avi"
    return std::string(len - 4, 'p') + ".avi";
}

std::vector<LimitCase> limitcases() {
    return {
        {"TextOf303Fits", avipath(271) + ";" + std::string(29, ' ') + "L2", 0},
        {"TextOf304Refused", avipath(271) + ";" + std::string(30, ' ') + "L2", 1},
        {"PathOf271Fits", avipath(271), 0},
        {"PathOf272Refused", avipath(272), 1},
        {"FieldOf271Fits", "a.avi;" + std::string(269, ' ') + "L2", 0},
        {"FieldOf272Refused", "a.avi;" + std::string(270, ' ') + "L2", 1},
        // The extension is as long as the path: the longest fits too.
        {"ExtensionOf271Fits", std::string(1, '.') + "avi" + std::string(267, 'x'), 0},
    };
}

class Limits : public testing::TestWithParam<LimitCase> {};

TEST_P(Limits, RefusedWholeNeverCut) {
    const LimitCase& c = GetParam();
    assignment a;
    testing::internal::CaptureStdout();
    int r = parseassign(c.text.c_str(), &a);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(r, c.want) << out;
    if (c.want == 0) {
        EXPECT_EQ(out.rfind("Assigned file: ", 0), 0u) << out;
    } else {
        EXPECT_NE(out.find("too long"), std::string::npos) << out;
        EXPECT_EQ(out.find("Assigned"), std::string::npos) << out;
        EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 1) << out;
    }
}

INSTANTIATE_TEST_SUITE_P(Assign, Limits, testing::ValuesIn(limitcases()),
                         [](const auto& i) { return std::string(i.param.name); });

}  // namespace
