// Save dialog: the trace, the record, the assigned extension and the rebuilt
// path, the question for a rebuilt name that exists, a rebuilt name that is
// a folder, read-only or holds pattern characters, and refused paths.
#include <climits>
#include <filesystem>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "dialog/dialog.h"
#include "fake_dialogs.h"
#include "platform/platform.h"
#include "testutil.h"

using dialogtest::FakeDialogs;
using dialogtest::units;

namespace {

// The list dump of the trace: printable bytes as themselves, NULs as x00.
std::string dump(const std::vector<std::string>& strings) {
    std::string s;
    for (const auto& t : strings) s += t + "x00";
    return s + "x00";
}

const std::vector<std::string> kSaveImage = {
    "BMP File  (*.bmp)", "*.bmp", "PNG File  (*.png)", "*.png", "PSD File  (*.psd)", "*.psd",
    "JPEG File  (*.jpg)", "*.jpg", "AVI File  (*.avi)", "*.avi",
};
const std::vector<std::string> kSaveText = {
    "Text File  (*.txt)", "*.TXT", "INI File  (*.ini)", "*.INI", "Corvane Script  (*.qel)", "*.QEL",
};
const std::vector<std::string> kClosing = {"All Files  (*.*)", "*.*"};

std::vector<std::string> cat(std::initializer_list<std::vector<std::string>> parts) {
    std::vector<std::string> v;
    for (const auto& p : parts) v.insert(v.end(), p.begin(), p.end());
    return v;
}

std::u16string raw(const std::vector<std::string>& strings) {
    std::u16string u;
    for (const auto& t : strings) u += units(t) + u'\0';
    return u + u'\0';
}

TEST(SaveDialog, TraceRecordAndResultOfAnImage) {
    FakeDialogs fake;
    fake.answer(std::string("C:\\img\\shot"), 2);
    char out[265];
    testing::internal::CaptureStdout();
    ASSERT_EQ(fsavedlg(out, FDK_IMAGE, "C:\\img\\shot.png"), 0);
    std::string got = testing::internal::GetCapturedStdout();
    EXPECT_EQ(got,
              "Initpath: C:\\img\\shot.png \n"
              "Initdir: C:\\img \n"
              "Initfname: shot.png \n"
              "Initbody: shot \n"
              "Initext: .png \n"
              "Confirm: " + dump(cat({kSaveImage, kClosing})) + "\n"
              "Initial Filter: 2 (png).\n"
              "Ret Path  : C:\\img\\shot \n"
              "Ret Filter: 2 \n"
              "Initdir: C:\\img\\ \n"
              "Initfname: shot \n"
              "Initbody: shot \n"
              "Initext:  \n"
              "Assigned Ext   : .png \n"
              "Reconstructed FName : C:\\img\\shot.png \n");
    EXPECT_STREQ(out, "C:\\img\\shot.png");
    ASSERT_EQ(fake.calls.size(), 1u);
    const auto& s = fake.calls[0];
    EXPECT_EQ(s.which, 'S');
    EXPECT_EQ(s.filter, raw(cat({kSaveImage, kClosing})));
    EXPECT_TRUE(s.filter_tail_zero);
    EXPECT_EQ(s.index, 2u);
    EXPECT_EQ(s.file, u"shot");
    EXPECT_EQ(s.max_file, 260u);
    ASSERT_TRUE(s.dir.has_value());
    EXPECT_EQ(*s.dir, u"C:\\img");
    EXPECT_EQ(s.title, u"Save Image File");
    EXPECT_EQ(s.flags, 0x8806u);
    EXPECT_EQ(s.file_offset, 0);
    EXPECT_EQ(s.file_extension, 4);
    EXPECT_FALSE(s.def_ext.has_value());
}

// ---- The record and the preselection by kind -----------------------------------

struct KindRow {
    const char* name;
    int kind;
    const char* initpath;
    std::vector<std::string> list;
    const char* title;
    uint32_t index;
    const char* trace_ext;  // the default in the "Initial Filter" line
    const char* dir;        // null: none
    const char* body;
};

const std::vector<std::string> kVmd = {"VMD File  (*.vmd)", "*.vmd"};
const std::vector<std::string> kVrm = {"VRM Model File  (*.vrm)", "*.VRM"};
const std::vector<std::string> kPmx = {"MMD Model File  (*.pmx)", "*.PMX"};
const std::vector<std::string> kVrma = {"VRM-Animation File  (*.vrma)", "*.VRMA"};
const std::vector<std::string> kBvh = {"BVH Motion File  (*.bvh)", "*.BVH"};

const KindRow kKinds[] = {
    // Kind 0 preselects its only pair and has no default.
    {"AnyFile", 0, "C:\\d\\n.txt", cat({kClosing}), "Save File", 1, "as typed", "C:\\d", "n"},
    {"ImageJpg", 1, "C:\\d\\a.JPG", cat({kSaveImage, kClosing}), "Save Image File", 4, "jpg", "C:\\d", "a"},
    // The extension comes from the name only.
    {"ImageDotInFolder", 1, "C:\\a.b\\file", cat({kSaveImage, kClosing}), "Save Image File", 0, "bmp", "C:\\a.b", "file"},
    {"ImageGifHasNoPair", 1, "C:\\d\\a.gif", cat({kSaveImage, kClosing}), "Save Image File", 0, "bmp", "C:\\d", "a"},
    {"TextQel", 2, "C:\\s\\x.QEL", cat({kSaveText, kClosing}), "Save Text File", 3, "qel", "C:\\s", "x"},
    {"SourceIni", 3, "x.ini", cat({kSaveImage, kSaveText, kClosing}), "Save File", 7, "ini", nullptr, "x"},
    {"SourceNoMatch", 3, "C:\\x.doc", cat({kSaveImage, kSaveText, kClosing}), "Save File", 0, "(null)", "C:\\", "x"},
    {"Vmd", 4, "D:\\m.VMD", cat({kVmd, kClosing}), "Save MMD Motion File", 1, "vmd", "D:\\", "m"},
    {"Vrm", 5, "a.vrm", cat({kVrm, kClosing}), "Save VRM Model File", 1, "vrm", nullptr, "a"},
    {"Pmx", 6, "a.txt", cat({kPmx, kClosing}), "Save MMD Model File", 0, "pmx", nullptr, "a"},
    {"Vrma", 7, "w.vrma", cat({kVrma, kClosing}), "Save VRM-Animation File", 1, "vrma", nullptr, "w"},
    {"Bvh", 8, "", cat({kBvh, kClosing}), "Save BVH Motion File", 0, "bvh", nullptr, ""},
    {"Nine", 9, "a.bmp", cat({kClosing}), "Save Image File", 0, "bmp", nullptr, "a"},
    {"Minus1", -1, "a.bmp", cat({kSaveImage, kSaveText, kClosing}), "Save File", 0, "(null)", nullptr, "a"},
    {"Minus2", -2, "a.txt", cat({kSaveText, kClosing}), "Save Text File", 0, "txt", nullptr, "a"},
    {"Minus3", -3, "a.png", cat({kSaveImage, kClosing}), "Save Image File", 0, "bmp", nullptr, "a"},
    {"IntMin", INT_MIN, "a", cat({kClosing}), "Save File", 0, "(null)", nullptr, "a"},
    {"IntMax", INT_MAX, "a", cat({kClosing}), "Save File", 0, "(null)", nullptr, "a"},
};

class SaveRecord : public testing::TestWithParam<KindRow> {};

TEST_P(SaveRecord, ListTitlePreselectionAndFileBox) {
    const KindRow& k = GetParam();
    FakeDialogs fake;
    testing::internal::CaptureStdout();
    EXPECT_EQ(fsavedlg(nullptr, k.kind, k.initpath), -1);
    std::string got = testing::internal::GetCapturedStdout();
    EXPECT_NE(got.find("Confirm: " + dump(k.list) + "\n"), std::string::npos) << got;
    EXPECT_NE(got.find("Initial Filter: " + std::to_string(k.index) + " (" + k.trace_ext + ").\n"), std::string::npos) << got;
    ASSERT_EQ(fake.calls.size(), 1u);
    const auto& s = fake.calls[0];
    EXPECT_EQ(s.filter, raw(k.list));
    EXPECT_EQ(s.title, units(k.title));
    EXPECT_EQ(s.index, k.index);
    EXPECT_EQ(s.file, units(k.body));
    EXPECT_EQ(s.file_extension, strlen(k.body));
    EXPECT_EQ(s.flags, 0x8806u);
    EXPECT_FALSE(s.def_ext.has_value());
    if (k.dir) {
        ASSERT_TRUE(s.dir.has_value());
        EXPECT_EQ(*s.dir, units(k.dir));
    } else {
        EXPECT_FALSE(s.dir.has_value());
    }
}

INSTANTIATE_TEST_SUITE_P(Kinds, SaveRecord, testing::ValuesIn(kKinds),
                         [](const testing::TestParamInfo<KindRow>& i) { return std::string(i.param.name); });

// ---- The assigned extension ----------------------------------------------------------

struct AssignRow {
    const char* name;
    int kind;
    uint32_t index;         // the filter the user chose
    const char* returned;   // the path the dialog gave
    const char* assigned;   // the "Assigned Ext" line
    const char* rebuilt;
};

const AssignRow kAssign[] = {
    {"ImagePngKept", 1, 2, "C:\\img\\shot", ".png", "C:\\img\\shot.png"},
    {"ImageJpegReplacesTyped", 1, 4, "C:\\img\\shot.png", ".jpg", "C:\\img\\shot.jpg"},
    {"ImageAllFilesKeepsTyped", 1, 6, "C:\\img\\shot.xyz", ".xyz", "C:\\img\\shot.xyz"},
    {"ImageAllFilesKeepsNone", 1, 6, "C:\\img\\shot", "", "C:\\img\\shot"},
    {"ImageIndexZeroKeeps", 1, 0, "C:\\img\\a.txt", ".txt", "C:\\img\\a.txt"},
    // Kind 0 offers only "All Files": the typed extension stays.
    {"AnyKeepsTyped", 0, 1, "C:\\d\\notes.txt", ".txt", "C:\\d\\notes.txt"},
    {"AnyKeepsNone", 0, 1, "C:\\d\\notes", "", "C:\\d\\notes"},
    {"TextQel", 2, 3, "C:\\d\\s", ".qel", "C:\\d\\s.qel"},
    {"TextTxtOverIni", 2, 1, "C:\\d\\s.ini", ".txt", "C:\\d\\s.txt"},
    {"SourceAvi", 3, 5, "C:\\a.b\\file", ".avi", "C:\\a.b\\file.avi"},
    {"SourceIni", 3, 7, "x.bmp", ".ini", "x.ini"},
    {"SourceQel", 3, 8, "x", ".qel", "x.qel"},
    {"SourceAllFiles", 3, 9, "a.b", ".b", "a.b"},
    {"VmdOwn", 4, 1, "D:\\m", ".vmd", "D:\\m.vmd"},
    {"VmdAllFiles", 4, 2, "D:\\m", "", "D:\\m"},
    {"VrmOwn", 5, 1, "v.VRMA", ".vrm", "v.vrm"},
    {"PmxOwn", 6, 1, "p.x.y", ".pmx", "p.x.pmx"},
    {"VrmaOwn", 7, 1, "walk", ".vrma", "walk.vrma"},
    {"BvhOwn", 8, 1, "C:\\b.bvh", ".bvh", "C:\\b.bvh"},
    {"NineKeeps", 9, 1, "a.txt", ".txt", "a.txt"},
    {"Minus1Keeps", -1, 1, "a.txt", ".txt", "a.txt"},
};

class SaveAssign : public testing::TestWithParam<AssignRow> {};

TEST_P(SaveAssign, ChosenFilterGivesTheExtension) {
    const AssignRow& a = GetParam();
    FakeDialogs fake;
    fake.answer(std::string(a.returned), a.index);
    std::vector<char> out(265, '#');
    testing::internal::CaptureStdout();
    ASSERT_EQ(fsavedlg(out.data(), a.kind, "C:\\d\\init.txt"), 0);
    std::string got = testing::internal::GetCapturedStdout();
    EXPECT_STREQ(out.data(), a.rebuilt);
    EXPECT_NE(got.find(std::string("Ret Path  : ") + a.returned + " \nRet Filter: " + std::to_string(a.index) + " \n"),
              std::string::npos) << got;
    std::string tail = std::string("Assigned Ext   : ") + a.assigned + " \nReconstructed FName : " + a.rebuilt + " \n";
    ASSERT_GE(got.size(), tail.size());
    EXPECT_EQ(got.substr(got.size() - tail.size()), tail) << got;
    EXPECT_TRUE(fake.questions.empty());
}

INSTANTIATE_TEST_SUITE_P(KindsAndFilters, SaveAssign, testing::ValuesIn(kAssign),
                         [](const testing::TestParamInfo<AssignRow>& i) { return std::string(i.param.name); });

TEST(SaveDialog, LongestReturnGetsTheLongestExtension) {
    // 259 units returned without an extension, then ".vrma": 264 and the 0
    // fill the caller's 265 exactly (a heap block, so ASan sees one more).
    std::string ret = "C:\\" + std::string(248, 'd') + "\\walkers";
    ASSERT_EQ(ret.size(), 259u);
    FakeDialogs fake;
    fake.answer(ret, 1);
    std::vector<char> out(265);
    testing::internal::CaptureStdout();
    ASSERT_EQ(fsavedlg(out.data(), FDK_VRMA, "w"), 0);
    std::string got = testing::internal::GetCapturedStdout();
    EXPECT_EQ(std::string(out.data()), ret + ".vrma");
    EXPECT_EQ(strlen(out.data()), 264u);
    EXPECT_NE(got.find("Reconstructed FName : " + ret + ".vrma \n"), std::string::npos);
}

TEST(SaveDialog, NullOutTracesAndCopiesNothing) {
    FakeDialogs fake;
    fake.answer(std::string("m"), 1);
    testing::internal::CaptureStdout();
    EXPECT_EQ(fsavedlg(nullptr, FDK_VMD, "m.vmd"), 0);
    EXPECT_NE(testing::internal::GetCapturedStdout().find("Reconstructed FName : m.vmd \n"), std::string::npos);
}

TEST(SaveDialog, NullOrOverlongInitialPathIsRefusedBeforeTheTrace) {
    FakeDialogs fake;
    std::vector<char> p260(261, 'p');
    p260[260] = 0;
    char out[265];
    memset(out, '#', sizeof out);
    for (const char* p : {(const char*)nullptr, (const char*)p260.data()}) {
        testing::internal::CaptureStdout();
        EXPECT_EQ(fsavedlg(out, FDK_IMAGE, p), -1);
        EXPECT_EQ(testing::internal::GetCapturedStdout(),
                  "\nFailed Opening File-Save Dialog Box: 0000 (stat=3002).\nFNERR_INVALIDFILENAME.\n");
    }
    EXPECT_TRUE(fake.calls.empty());
    for (char c : out) ASSERT_EQ(c, '#');
}

// ---- A rebuilt name that exists ---------------------------------------------------------

class SaveOverwrite : public testing::Test {
protected:
    testutil::TempDir tmp;
    std::string dir = tmp.str();
    std::string sep = OS_SLASH_SEPARATES ? "/" : "\\";
    std::string at(const std::string& name) { return dir + sep + name; }
    void SetUp() override { testutil::write_file(tmp.path() / "walk.vrma", std::string("keep me")); }
    // One save of a VRM animation, its trace swallowed.
    static int save(char* out, const char* initpath = "w") {
        testing::internal::CaptureStdout();
        int r = fsavedlg(out, FDK_VRMA, initpath);
        testing::internal::GetCapturedStdout();
        return r;
    }
};

TEST_F(SaveOverwrite, NoReturnsToTheDialogOnTheRebuiltName) {
    FakeDialogs fake;
    fake.answer(at("walk"), 1);   // typed "walk": the dialog asked nothing
    fake.answer(at("run"), 1);    // second round: another name
    fake.yes_no = {0};
    char out[265];
    ASSERT_EQ(save(out, at("old.vrma").c_str()), 0);
    EXPECT_EQ(std::string(out), at("run.vrma"));
    ASSERT_EQ(fake.questions.size(), 1u);
    EXPECT_EQ(fake.questions[0].text, at("walk.vrma") + " already exists.\nDo you want to replace it?");
    EXPECT_EQ(fake.questions[0].caption, "Save VRM-Animation File");
    ASSERT_EQ(fake.calls.size(), 2u);
    EXPECT_EQ(fake.calls[1].file, u"walk");
    EXPECT_EQ(fake.calls[1].index, 1u);
    EXPECT_EQ(fake.calls[1].file_extension, 4);
    ASSERT_TRUE(fake.calls[1].dir.has_value());
    EXPECT_EQ(*fake.calls[1].dir, units(dir));
}

TEST_F(SaveOverwrite, YesReturnsTheRebuiltName) {
    FakeDialogs fake;
    fake.answer(at("walk"), 1);
    fake.yes_no = {1};
    char out[265];
    ASSERT_EQ(save(out), 0);
    EXPECT_EQ(std::string(out), at("walk.vrma"));
    EXPECT_EQ(fake.questions.size(), 1u);
    EXPECT_EQ(fake.calls.size(), 1u);
}

TEST_F(SaveOverwrite, CancelAfterNoIsACancel) {
    FakeDialogs fake;
    fake.answer(at("walk"), 1);  // then the script is empty: cancel
    char out[265] = "untouched";
    EXPECT_EQ(save(out), -1);  // nobody answers: No
    EXPECT_STREQ(out, "untouched");
    EXPECT_EQ(fake.questions.size(), 1u);
    EXPECT_EQ(fake.calls.size(), 2u);
}

TEST_F(SaveOverwrite, NoQuestionWhenTheNameIsUnchangedOrNew) {
    FakeDialogs fake;
    fake.answer(at("walk.vrma"), 1);  // typed whole: the dialog's own question covered it
    fake.answer(at("new"), 1);        // the rebuilt name does not exist
    fake.answer(at("walk"), 2);       // "All Files": nothing assigned
    char out[265];
    ASSERT_EQ(save(out), 0);
    EXPECT_EQ(std::string(out), at("walk.vrma"));
    ASSERT_EQ(save(out), 0);
    EXPECT_EQ(std::string(out), at("new.vrma"));
    ASSERT_EQ(save(out), 0);
    EXPECT_EQ(std::string(out), at("walk"));
    EXPECT_TRUE(fake.questions.empty());
}

#if !defined(_WIN32)
// A link to nothing at the rebuilt name is a name that stands there: the
// user is asked before the movie writes through it, and No leaves the link
// and makes nothing where it points.
TEST_F(SaveOverwrite, LinkToNothingAtTheRebuiltNameIsAsked) {
    std::filesystem::create_symlink("gone.vrma", tmp.path() / "dangle.vrma");
    FakeDialogs fake;
    fake.answer(at("dangle"), 1);
    fake.answer(at("run"), 1);
    fake.yes_no = {0};
    char out[265];
    ASSERT_EQ(save(out), 0);
    EXPECT_EQ(std::string(out), at("run.vrma"));
    ASSERT_EQ(fake.questions.size(), 1u);
    EXPECT_EQ(fake.questions[0].text, at("dangle.vrma") + " already exists.\nDo you want to replace it?");
    EXPECT_TRUE(std::filesystem::is_symlink(tmp.path() / "dangle.vrma"));
    EXPECT_FALSE(std::filesystem::exists(tmp.path() / "gone.vrma"));
}
#endif

TEST_F(SaveOverwrite, CaseOnlyDifferenceAsksOnlyWhereNamesAreCaseSensitive) {
    FakeDialogs fake;
    fake.answer(at("walk.VRMA"), 1);
    fake.yes_no = {1};
    char out[265];
    ASSERT_EQ(save(out), 0);
    EXPECT_EQ(std::string(out), at("walk.vrma"));
#if defined(_WIN32)
    EXPECT_TRUE(fake.questions.empty()) << "one file on Windows: the dialog's own question covered it";
#else
    EXPECT_EQ(fake.questions.size(), 1u) << "two names here: walk.vrma was never confirmed";
#endif
}

// ---- What the system's dialog never judged: the rebuilt name ----------------------

// One save of an image, its trace kept.
int save_image(char* out, const std::string& initpath, std::string* trace) {
    testing::internal::CaptureStdout();
    int r = fsavedlg(out, FDK_IMAGE, initpath.c_str());
    *trace = testing::internal::GetCapturedStdout();
    return r;
}

size_t count_of(const std::string& s, const std::string& what) {
    size_t n = 0;
    for (size_t at = s.find(what); at != std::string::npos; at = s.find(what, at + 1)) n++;
    return n;
}

// A folder or a read-only file at the rebuilt name is refused as the
// system's dialog refuses them for a typed name: no question (a Yes would
// hand it back), a trace line, and the dialog again on the rebuilt name.
TEST_F(SaveOverwrite, FolderOrReadOnlyAtTheRebuiltNameBringsTheDialogBack) {
    std::filesystem::create_directory(tmp.path() / "pics.png");
    testutil::write_file(tmp.path() / "ro.png", std::string("keep me"));
    namespace fs = std::filesystem;
    fs::permissions(tmp.path() / "ro.png", fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    struct { const char* typed; const char* why; } cases[] = {{"pics", "a folder"}, {"ro", "read-only"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        FakeDialogs fake;
        fake.answer(at(c.typed), 2);   // "PNG File": the name becomes <typed>.png
        fake.answer(at("fresh"), 2);
        fake.yes_no = {1};
        char out[265] = "";
        std::string trace;
        EXPECT_EQ(save_image(out, at("x.png"), &trace), 0);
        EXPECT_EQ(std::string(out), at("fresh.png"));
        EXPECT_TRUE(fake.questions.empty());
        EXPECT_NE(trace.find("Refused FName : " + at(c.typed) + ".png (" + c.why + ") \n"), std::string::npos) << trace;
        EXPECT_EQ(fake.calls.size(), 2u);
        if (fake.calls.size() < 2) continue;
        EXPECT_EQ(fake.calls[1].file, units(c.typed));
        EXPECT_EQ(fake.calls[1].index, 2u);
    }
    EXPECT_EQ(testutil::read_file(tmp.path() / "ro.png").size(), 7u);
    fs::permissions(tmp.path() / "ro.png", fs::perms::owner_write, fs::perm_options::add);
}

// '*' and '?' in a returned name are name characters: "sho*" is not "shot",
// so no question about a file that is not there.
TEST_F(SaveOverwrite, PatternCharactersAreLookedUpAsThemselves) {
    testutil::write_file(tmp.path() / "shot.png", std::string("x"));
    for (const char* typed : {"sho*", "sh?t", "*"}) {
        SCOPED_TRACE(typed);
        FakeDialogs fake;
        fake.answer(at(typed), 2);
        char out[265] = "";
        std::string trace;
        EXPECT_EQ(save_image(out, at("x.png"), &trace), 0);
        EXPECT_EQ(std::string(out), at(std::string(typed) + ".png"));
        EXPECT_TRUE(fake.questions.empty()) << fake.questions[0].text;
        EXPECT_EQ(fake.calls.size(), 1u);
    }
#if !defined(_WIN32)
    // Where such a name can be held, the file of that very name is asked about.
    testutil::write_file(tmp.path() / "sho*.png", std::string("x"));
    FakeDialogs fake;
    fake.answer(at("sho*"), 2);
    fake.yes_no = {1};
    char out[265];
    std::string trace;
    ASSERT_EQ(save_image(out, at("x.png"), &trace), 0);
    ASSERT_EQ(fake.questions.size(), 1u);
    EXPECT_EQ(fake.questions[0].text, at("sho*.png") + " already exists.\nDo you want to replace it?");
#endif
}

// After a No the dialog comes back with the filter the user chose, and the
// trace shows that filter's extension beside its index.
TEST_F(SaveOverwrite, InitialFilterLineAfterNoPairsTheChosenFilterAndItsExtension) {
    testutil::write_file(tmp.path() / "walk.jpg", std::string("x"));
    testutil::write_file(tmp.path() / "walk.png", std::string("x"));
    struct { uint32_t index; const char* line; } cases[] = {
        {4, "Initial Filter: 4 (jpg).\n"},  // switched from PNG to JPEG
        {2, "Initial Filter: 2 (png).\n"},  // kept the preselected PNG
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.index);
        FakeDialogs fake;
        fake.answer(at("walk"), c.index);  // then No, then a cancel
        char out[265];
        std::string trace;
        EXPECT_EQ(save_image(out, at("shot.png"), &trace), -1);
        ASSERT_EQ(fake.calls.size(), 2u);
        EXPECT_EQ(fake.calls[1].index, c.index);
        size_t second = trace.find("Reconstructed FName");
        ASSERT_NE(second, std::string::npos);
        EXPECT_EQ(trace.find("Initial Filter: 2 (png).\n"), trace.find("Initial Filter: ")) << trace;
        EXPECT_EQ(trace.find(c.line, second), trace.rfind("Initial Filter: ")) << trace;
        EXPECT_EQ(count_of(trace, "Initial Filter: "), 2u);
    }
}

}  // namespace
