// Open dialogs: the record handed to the system for every kind and initial
// path, the title rule, the result, and the failure report.
#include <climits>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "dialog/dialog.h"
#include "fake_dialogs.h"
#include "platform/platform.h"
#include "testutil.h"

using dialogtest::FakeDialogs;
using dialogtest::Seen;
using dialogtest::units;

namespace {

// ---- Expected filter lists ---------------------------------------------------

const std::vector<std::string> kScript = {
    "Script Files  (*.txt;*.ini;*.qel)", "*.TXT;*.INI;*.QEL",
    "Text Files  (*.txt)", "*.TXT",
    "INI Files  (*.ini)", "*.INI",
};
const std::vector<std::string> kImage = {
    "Image Files  (*.bmp;*.gif;*.avi;*.png;*.psd;*.jpg;*.jpe)", "*.BMP;*.GIF;*.AVI;*.PNG;*.PSD;*.JPG;*.JPE",
    "BMP Files  (*.bmp)", "*.BMP",
    "PNG Files  (*.png)", "*.PNG",
    "PSD Files  (*.psd)", "*.PSD",
    "JPEG Files  (*.jpg;*.jpe)", "*.JPG;*.JPE",
    "GIF Files  (*.gif)", "*.GIF",
    "AVI Files  (*.avi)", "*.AVI",
};
const std::vector<std::string> kOwn[] = {
    {"MMD Motion File  (*.vmd)", "*.VMD"},
    {"VRM Model File  (*.vrm)", "*.VRM"},
    {"MMD Model File  (*.pmx)", "*.PMX"},
    {"VRM-Animation File  (*.vrma)", "*.VRMA"},
    {"BVH Motion File  (*.bvh)", "*.BVH"},
};
const std::vector<std::string> kClosing = {"All Files  (*.*)", "*.*"};

// The list as the system receives it: each string with its NUL, then the
// NUL that ends the list (the builder stores one more, checked apart).
std::u16string list_of(const std::string& groups) {
    std::u16string out;
    for (char g : groups) {
        const std::vector<std::string>* v = g == 'S' ? &kScript : g == 'I' ? &kImage : g == 'C' ? &kClosing : &kOwn[g - '4'];
        for (const auto& s : *v) out += units(s) + u'\0';
    }
    return out + u'\0';
}

// ---- Kinds ---------------------------------------------------------------------

struct KindRow {
    int kind;
    const char* name;
    const char* groups;   // S script, I image, 4-8 own pair, C closing
    const char* title;
    const char* def_ext;  // without a matching extension; null for none
};

const KindRow kKinds[] = {
    {INT_MIN, "IntMin", "C", "Open File", nullptr},
    {-3, "Minus3", "IC", "Open Image File", "bmp"},
    {-2, "Minus2", "SC", "Open Script File", "txt"},
    {-1, "Minus1", "SIC", "Open Source File", nullptr},
    {0, "Any", "C", "Open File", nullptr},
    {1, "Image", "IC", "Open Image File", "bmp"},
    {2, "Script", "SC", "Open Script File", "txt"},
    {3, "Source", "SIC", "Open Source File", nullptr},
    {4, "Vmd", "4C", "Open MMD Motion File", "vmd"},
    {5, "Vrm", "5C", "Open VRM Model File", "vrm"},
    {6, "Pmx", "6C", "Open MMD Model File", "pmx"},
    {7, "Vrma", "7C", "Open VRM-Animation File", "vrma"},
    {8, "Bvh", "8C", "Open BVH Motion File", "bvh"},
    {9, "Nine", "C", "Open Image File", "bmp"},
    {13, "Thirteen", "C", "Open Image File", "bmp"},
    {INT_MAX, "IntMax", "C", "Open Source File", nullptr},
};

// ---- Initial paths ----------------------------------------------------------------

struct Pre {
    uint32_t index;
    const char* def_ext;  // "-": the kind's default without a match
};
constexpr Pre D = {0, "-"};

struct PathRow {
    const char* name = "";
    std::string path;                 // bytes of the 8-bit path
    std::u16string wpath;             // the 16-bit path
    const char* dir = nullptr;        // null: no initial directory
    std::string file;                 // the file box
    Pre pre[8] = {};                  // kinds 1 to 8
    std::u16string wdir, wfile;       // 16-bit expectations when not the widened bytes
    bool cp932 = false;
};

std::string ds(int n) { return std::string((size_t)n, 'd'); }

PathRow row(const char* name, std::string path, const char* dir, std::string file, std::initializer_list<Pre> pre) {
    PathRow r;
    r.name = name;
    r.path = std::move(path);
    r.wpath = units(r.path);
    r.dir = dir;
    r.file = std::move(file);
    std::copy(pre.begin(), pre.end(), r.pre);
    return r;
}

std::vector<PathRow> path_rows() {
    std::vector<PathRow> v = {
        row("PicsPng", "C:\\pics\\a.png", "C:\\pics", "a.png", {{3, "png"}, D, {6, "png"}, D, D, D, D, D}),
        row("DriveRootVmd", "D:\\m.VMD", "D:\\", "m.VMD", {D, D, D, {1, "vmd"}, D, D, D, D}),
        row("BareTxt", "a.txt", nullptr, "a.txt", {D, {2, "txt"}, {2, "txt"}, D, D, D, D, D}),
        row("DotInFolder", "C:\\old.bmp\\photo", "C:\\old.bmp", "photo", {{2, "bmp"}, D, {5, "bmp"}, D, D, D, D, D}),
        row("DriveRoot", "C:\\", "C:\\", "", {D, D, D, D, D, D, D, D}),
        row("Empty", "", nullptr, "", {D, D, D, D, D, D, D, D}),
        row("Jpeg", "C:\\p\\x.jpeg", "C:\\p", "x.jpeg", {D, D, D, D, D, D, D, D}),
        row("Jpe", "C:\\p\\x.jpe", "C:\\p", "x.jpe", {D, D, D, D, D, D, D, D}),
        row("IniUpper", "C:\\cfg\\A.INI", "C:\\cfg", "A.INI", {D, {3, "ini"}, {3, "ini"}, D, D, D, D, D}),
        row("GifInSource", "C:\\g\\x.gif", "C:\\g", "x.gif", {{6, "gif"}, D, {9, "gif"}, D, D, D, D, D}),
        // ".VRM" is a prefix of ".vrma": kind 5 takes it too.
        row("Longest259Vrma", "C:\\" + ds(249) + "\\v.vrma", nullptr, "v.vrma", {D, D, D, D, {1, "vrm"}, D, {1, "vrma"}, D}),
        row("PmxBvh", "E:\\q\\r.pmx.bvh", "E:\\q", "r.pmx.bvh", {D, D, D, D, D, D, D, {1, "bvh"}}),
    };
#if defined(_WIN32)
    // '/' is no separator of the directory there, but it ends the name.
    v.push_back(row("ForwardSlashes", "C:/x/a.txt", nullptr, "a.txt", {D, {2, "txt"}, {2, "txt"}, D, D, D, D, D}));
#else
    v.push_back(row("ForwardSlashes", "C:/x/a.txt", "C:/x", "a.txt", {D, {2, "txt"}, {2, "txt"}, D, D, D, D, D}));
    v.push_back(row("PosixAbsolute", "/home/u/a.png", "/home/u", "a.png", {{3, "png"}, D, {6, "png"}, D, D, D, D, D}));
#endif
    // A folder named in Japanese whose second byte in code page 932 is 0x5C.
    PathRow k = row("Cp932Folder", "C:\\\x95\x5C\\a.png", "C:\\\x95\x5C", "a.png", {{3, "png"}, D, {6, "png"}, D, D, D, D, D});
    k.wpath = u"C:\\\u8868\\a.png";
    k.wdir = u"C:\\\u8868";
    k.cp932 = true;
    v.push_back(k);
    return v;
}

const std::string kLongDir = "C:\\" + ds(249);

struct Case {
    KindRow kind;
    PathRow path;
};

std::vector<Case> cases() {
    std::vector<Case> v;
    for (const auto& p : path_rows())
        for (const auto& k : kKinds) v.push_back({k, p});
    return v;
}

int cp932_lead(uint8_t c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }

class OpenRecord : public testing::TestWithParam<Case> {};

// The record of one call against the case's expectations.
void expect_record(const Seen& s, const Case& c, bool wide) {
    const KindRow& k = c.kind;
    const PathRow& p = c.path;
    EXPECT_EQ(s.filter, list_of(k.groups));
    EXPECT_TRUE(s.filter_tail_zero) << "two NULs follow the last pattern's NUL";
    EXPECT_EQ(s.title, units(k.title));
    EXPECT_EQ(s.flags, 0x1800u);
    EXPECT_EQ(s.max_file, 260u);
    EXPECT_EQ(s.file_offset, 0);
    EXPECT_EQ(s.file_extension, 0);

    std::u16string file = wide && !p.wfile.empty() ? p.wfile : units(p.file);
    EXPECT_EQ(s.file, file);
    const char* dir8 = std::string(p.name) == "Longest259Vrma" ? kLongDir.c_str() : p.dir;
    if (!dir8) {
        EXPECT_FALSE(s.dir.has_value());
    } else {
        std::u16string dir = wide && !p.wdir.empty() ? p.wdir : units(dir8);
        ASSERT_TRUE(s.dir.has_value());
        EXPECT_EQ(*s.dir, dir);
    }

    Pre pre = k.kind >= 1 && k.kind <= 8 ? p.pre[k.kind - 1] : D;
    const char* ext = std::strcmp(pre.def_ext, "-") == 0 ? k.def_ext : pre.def_ext;
    EXPECT_EQ(s.index, pre.index);
    if (ext) {
        ASSERT_TRUE(s.def_ext.has_value());
        EXPECT_EQ(*s.def_ext, units(ext));
    } else {
        EXPECT_FALSE(s.def_ext.has_value()) << "default " << std::string(s.def_ext->begin(), s.def_ext->end());
    }
}

TEST_P(OpenRecord, EightBit) {
    const Case& c = GetParam();
    FakeDialogs fake;
    if (c.path.cp932) g_os.is_dbcs_lead = cp932_lead;
    testing::internal::CaptureStdout();
    EXPECT_EQ(fopendlg(nullptr, c.kind.kind, c.path.path.c_str()), -1);
    testing::internal::GetCapturedStdout();
    ASSERT_EQ(fake.calls.size(), 1u);
    EXPECT_EQ(fake.calls[0].which, 'A');
    expect_record(fake.calls[0], c, false);
}

TEST_P(OpenRecord, SixteenBit) {
    const Case& c = GetParam();
    FakeDialogs fake;
    testing::internal::CaptureStdout();
    EXPECT_EQ(fopendlgW(nullptr, c.kind.kind, c.path.wpath.c_str()), -1);
    testing::internal::GetCapturedStdout();
    ASSERT_EQ(fake.calls.size(), 1u);
    EXPECT_EQ(fake.calls[0].which, 'W');
    expect_record(fake.calls[0], c, true);
}

INSTANTIATE_TEST_SUITE_P(KindsAndPaths, OpenRecord, testing::ValuesIn(cases()),
                         [](const testing::TestParamInfo<Case>& i) {
                             return std::string(i.param.path.name) + "_" + i.param.kind.name;
                         });

// ---- Title, result ---------------------------------------------------------------

TEST(OpenDialog, CallerTitleWhenGivenElseTheKinds) {
    FakeDialogs fake;
    testing::internal::CaptureStdout();
    fopendlgt(nullptr, 1, "a.png", "Pick a frame");
    fopendlgt(nullptr, 1, "a.png", "");
    fopendlgt(nullptr, 1, "a.png", nullptr);
    fopendlgtW(nullptr, 4, u"a.vmd", u"\u52d5\u304d");
    fopendlgtW(nullptr, 4, u"a.vmd", u"");
    fopendlgtW(nullptr, 4, u"a.vmd", nullptr);
    testing::internal::GetCapturedStdout();
    ASSERT_EQ(fake.calls.size(), 6u);
    EXPECT_EQ(fake.calls[0].title, u"Pick a frame");
    EXPECT_EQ(fake.calls[1].title, u"Open Image File");
    EXPECT_EQ(fake.calls[2].title, u"Open Image File");
    EXPECT_EQ(fake.calls[3].title, u"\u52d5\u304d");
    EXPECT_EQ(fake.calls[4].title, u"Open MMD Motion File");
    EXPECT_EQ(fake.calls[5].title, u"Open MMD Motion File");
}

TEST(OpenDialog, ChosenPathIsCopiedWithNothingPrinted) {
    FakeDialogs fake;
    fake.answer(std::string("C:\\pics\\b.png"), 3);
    fake.answer(u"C:\\\u8868\\b.png", 3);
    fake.answer(std::string("C:\\x"), 1);
    char out[260];
    char16_t wout[260];
    testing::internal::CaptureStdout();
    EXPECT_EQ(fopendlg(out, 1, "C:\\pics\\a.png"), 0);
    EXPECT_EQ(fopendlgtW(wout, 1, u"C:\\pics\\a.png", u"t"), 0);
    EXPECT_EQ(fopendlg(nullptr, 1, "C:\\pics\\a.png"), 0);  // nothing copied, still 0
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_STREQ(out, "C:\\pics\\b.png");
    EXPECT_EQ(std::u16string(wout), u"C:\\\u8868\\b.png");
}

// ---- The failure report ------------------------------------------------------------

struct ReportRow {
    uint32_t code;
    const char* name;  // null: no name line
};

const ReportRow kReports[] = {
    {0x0000, nullptr},
    {0xFFFF, "CDERR_DIALOGFAILURE"},
    {0x0001, "CDERR_STRUCTSIZE"},
    {0x0002, "CDERR_INITIALIZATION"},
    {0x0003, "CDERR_NOTEMPLATE"},
    {0x0004, "CDERR_NOHINSTANCE"},
    {0x0005, "CDERR_LOADSTRFAILURE"},
    {0x0006, "CDERR_FINDRESFAILURE"},
    {0x0007, "CDERR_LOADRESFAILURE"},
    {0x0008, "CDERR_LOCKRESFAILURE"},
    {0x0009, "CDERR_MEMALLOCFAILURE"},
    {0x000A, "CDERR_MEMLOCKFAILURE"},
    {0x000B, "CDERR_NOHOOK"},
    {0x000C, nullptr},  // CDERR_REGISTERMSGFAIL has no line
    {0x3001, "FNERR_SUBCLASSFAILURE"},
    {0x3002, "FNERR_INVALIDFILENAME"},
    {0x3003, "FNERR_BUFFERTOOSMALL"},
};

class Report : public testing::TestWithParam<ReportRow> {};

std::string hex4(uint32_t v) {
    char b[8];
    snprintf(b, sizeof b, "%04X", (unsigned)v);
    return b;
}

TEST_P(Report, OpenDialogsPrintTheReasonAndLeaveOutAlone) {
    const ReportRow& r = GetParam();
    std::string want = std::string(r.code == 0 ? "\nCanceled File-Open Dialog Box. " : "\nFailed Opening File-Open Dialog Box: 0000 ") +
                       "(stat=" + hex4(r.code) + ").\n" + (r.name ? std::string(r.name) + ".\n" : "");
    FakeDialogs fake;
    fake.fail(r.code);
    fake.fail(r.code);
    char out[260];
    memset(out, '#', sizeof out);
    char16_t wout[260];
    std::fill(std::begin(wout), std::end(wout), u'#');
    testing::internal::CaptureStdout();
    EXPECT_EQ(fopendlg(out, 1, "C:\\pics\\a.png"), -1);
    std::string a = testing::internal::GetCapturedStdout();
    testing::internal::CaptureStdout();
    EXPECT_EQ(fopendlgtW(wout, 2, u"a.txt", u"T"), -1);
    std::string w = testing::internal::GetCapturedStdout();
    EXPECT_EQ(a, want);
    EXPECT_EQ(w, want);
    for (char c : out) ASSERT_EQ(c, '#');
    for (char16_t c : wout) ASSERT_EQ(c, u'#');
}

TEST_P(Report, SaveDialogPrintsTheReasonAfterItsTrace) {
    const ReportRow& r = GetParam();
    std::string want = "Initial Filter: 1 (as typed).\n\nFailed Opening File-Save Dialog Box: 0000 (stat=" + hex4(r.code) + ").\n" +
                       (r.name ? std::string(r.name) + ".\n" : "");
    FakeDialogs fake;
    fake.fail(r.code);
    char out[265];
    memset(out, '#', sizeof out);
    testing::internal::CaptureStdout();
    EXPECT_EQ(fsavedlg(out, 0, "C:\\d\\n.txt"), -1);
    std::string got = testing::internal::GetCapturedStdout();
    size_t at = got.find("Initial Filter:");
    ASSERT_NE(at, std::string::npos) << got;
    EXPECT_EQ(got.substr(at), want);
    for (char c : out) ASSERT_EQ(c, '#');
}

INSTANTIATE_TEST_SUITE_P(EveryCode, Report, testing::ValuesIn(kReports),
                         [](const testing::TestParamInfo<ReportRow>& i) { return "Code" + hex4(i.param.code); });

// ---- Refused initial paths ---------------------------------------------------------

const char kRefused[] = "\nFailed Opening File-Open Dialog Box: 0000 (stat=3002).\nFNERR_INVALIDFILENAME.\n";

TEST(OpenDialog, NullOrOverlongInitialPathIsRefusedBeforeAnyCopy) {
    FakeDialogs fake;
    // Heap blocks of exactly the path's size, so that a read past the
    // terminator or a copy into a 260-unit buffer shows under the sanitizers.
    std::vector<char> p260(261, 'p'), p5000(5001, 'q');
    p260[260] = 0;
    p5000[5000] = 0;
    std::vector<char16_t> w260(261, u'p');
    w260[260] = 0;
    char out[260];
    memset(out, '#', sizeof out);
    char16_t wout[260];
    std::fill(std::begin(wout), std::end(wout), u'#');
    const std::pair<const char*, std::function<int()>> runs[] = {
        {"null 8-bit", [&] { return fopendlg(out, 1, nullptr); }},
        {"null 8-bit titled", [&] { return fopendlgt(out, 1, nullptr, "t"); }},
        {"null 16-bit", [&] { return fopendlgW(wout, 1, nullptr); }},
        {"null 16-bit titled", [&] { return fopendlgtW(wout, 1, nullptr, u"t"); }},
        {"260 bytes", [&] { return fopendlg(out, 1, p260.data()); }},
        {"5000 bytes", [&] { return fopendlgt(out, 3, p5000.data(), nullptr); }},
        {"260 units", [&] { return fopendlgW(wout, 1, w260.data()); }},
    };
    for (const auto& [what, run] : runs) {
        testing::internal::CaptureStdout();
        EXPECT_EQ(run(), -1) << what;
        EXPECT_EQ(testing::internal::GetCapturedStdout(), kRefused) << what;
    }
    EXPECT_TRUE(fake.calls.empty());
    for (char c : out) ASSERT_EQ(c, '#');
    for (char16_t c : wout) ASSERT_EQ(c, u'#');
}

}  // namespace
