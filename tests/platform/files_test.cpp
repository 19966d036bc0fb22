// files_test.cpp - the file services of g_os as every platform side must give
// them: open rules, the Windows error codes, both separators, 64-bit seeks and
// sizes, the 8-bit-name fopen, remove, removeW and the runtime calls on a
// FILE*, file identity, the attributes of one name.  Runs on every build.
#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <filesystem>
#include <string>

#include "platform/platform.h"
#include "platform_fixture.h"
#include "testutil.h"

namespace fs = std::filesystem;
using platformtest::Handle;
using platformtest::wide;
using testutil::TempDir;

namespace {

std::string contents(const fs::path& p) {
    auto v = testutil::read_file(p);
    return std::string(v.begin(), v.end());
}

class Files : public ::testing::Test {
protected:
    void SetUp() override {
        g_os = os_native;
        fs::create_directory(dir.path() / "sub");
        testutil::write_file(dir.path() / "sub" / "ten.bin", "0123456789");
    }
    TempDir dir;
};

// Every way a name can fail to open, with the code Windows gives for it.
struct OpenFailure {
    const char* label;
    const char* rel;  // relative to the test directory, '/' form
    int how;
    uint32_t code;
};
// The case prints by its name, not as a dump of its bytes.
void PrintTo(const OpenFailure& c, std::ostream* os) { *os << c.label; }


const OpenFailure kOpenFailures[] = {
    {"missing file", "sub/none.bin", OS_OPEN_READ, OS_ERR_FILE_NOT_FOUND},
    {"missing directory", "nodir/none.bin", OS_OPEN_READ, OS_ERR_PATH_NOT_FOUND},
    {"missing directory deeper", "sub/nodir/x/none.bin", OS_OPEN_READ, OS_ERR_PATH_NOT_FOUND},
    {"create in missing directory", "nodir/new.bin", OS_CREATE_WRITE, OS_ERR_PATH_NOT_FOUND},
    {"open-always in missing directory", "nodir/new.bin", OS_OPEN_WRITE, OS_ERR_PATH_NOT_FOUND},
    {"file used as a directory", "sub/ten.bin/x", OS_OPEN_READ, OS_ERR_PATH_NOT_FOUND},
    {"directory for reading", "sub", OS_OPEN_READ, OS_ERR_ACCESS_DENIED},
    {"directory for creating", "sub", OS_CREATE_WRITE, OS_ERR_ACCESS_DENIED},
    {"directory for open-always", "sub", OS_OPEN_WRITE, OS_ERR_ACCESS_DENIED},
};

class OpenFails : public Files, public ::testing::WithParamInterface<OpenFailure> {};

TEST_P(OpenFails, GivesTheWindowsCode) {
    const OpenFailure& c = GetParam();
    for (bool backslash : {false, true}) {
        std::string name = dir.str() + "/" + c.rel;
        if (backslash)
            for (size_t i = dir.str().size(); i < name.size(); i++)
                if (name[i] == '/') name[i] = '\\';
        SCOPED_TRACE(name);
        Handle h(g_os.openW(testutil::u16(name).c_str(), c.how));
        EXPECT_EQ(h.f, nullptr);
        EXPECT_EQ(g_os.lasterror(), c.code);
    }
    EXPECT_FALSE(fs::exists(dir.path() / "nodir"));
}

INSTANTIATE_TEST_SUITE_P(Cases, OpenFails, ::testing::ValuesIn(kOpenFailures),
                         [](const auto& i) {
                             std::string s = i.param.label;
                             for (char& ch : s) if (!isalnum((unsigned char)ch)) ch = '_';
                             return s;
                         });

TEST_F(Files, ReadsThroughBothSeparators) {
    for (const char* sep : {"/", "\\"}) {
        std::string name = dir.str() + sep + "sub" + sep + "ten.bin";
        SCOPED_TRACE(name);
        Handle h(g_os.openW(testutil::u16(name).c_str(), OS_OPEN_READ));
        ASSERT_NE(h.f, nullptr);
        char buf[16] = {};
        uint32_t got = 99;
        ASSERT_EQ(g_os.read(h.f, buf, 16, &got), 1);
        EXPECT_EQ(got, 10u);
        EXPECT_EQ(std::string(buf, got), "0123456789");
        // At the end: success with nothing delivered.
        ASSERT_EQ(g_os.read(h.f, buf, 16, &got), 1);
        EXPECT_EQ(got, 0u);
        EXPECT_EQ(g_os.close(h.release()), 1);
    }
}

TEST_F(Files, CreateEmptiesOpenAlwaysKeeps) {
    fs::path p = dir.path() / "sub" / "ten.bin";
    {
        Handle h(g_os.openW(wide(p).c_str(), OS_OPEN_WRITE));
        ASSERT_NE(h.f, nullptr);
        uint32_t put = 0;
        ASSERT_EQ(g_os.write(h.f, "ab", 2, &put), 1);
        EXPECT_EQ(put, 2u);
    }
    EXPECT_EQ(contents(p), "ab23456789");  // written from offset 0, nothing cut
    {
        Handle h(g_os.openW(wide(p).c_str(), OS_CREATE_WRITE));
        ASSERT_NE(h.f, nullptr);
        uint32_t put = 0;
        ASSERT_EQ(g_os.write(h.f, "xyz", 3, &put), 1);
    }
    EXPECT_EQ(contents(p), "xyz");
    fs::path fresh = dir.path() / "fresh.bin";
    {
        Handle h(g_os.openW(wide(fresh).c_str(), OS_OPEN_WRITE));
        ASSERT_NE(h.f, nullptr);
    }
    EXPECT_TRUE(fs::exists(fresh));
    EXPECT_EQ(fs::file_size(fresh), 0u);
}

TEST_F(Files, WideNamesReachTheFileSystemAsTheSameName) {
    // Japanese, an accented letter and a character beyond U+FFFF (a
    // surrogate pair in UTF-16).
    fs::path p = dir.path() / fs::path(u8"\u6620\u753b-\u00e9-\U0001F600.bin");
    testutil::write_file(p, "data");
    Handle h(g_os.openW(wide(p).c_str(), OS_OPEN_READ));
    ASSERT_NE(h.f, nullptr);
    char buf[8];
    uint32_t got = 0;
    ASSERT_EQ(g_os.read(h.f, buf, 8, &got), 1);
    EXPECT_EQ(std::string(buf, got), "data");
}

TEST_F(Files, SeekMovesAndRefusesNegativeTargets) {
    Handle h(g_os.openW(wide(dir.path() / "sub" / "ten.bin").c_str(), OS_OPEN_READ));
    ASSERT_NE(h.f, nullptr);
    int64_t pos = -1;
    ASSERT_EQ(g_os.seek(h.f, 4, OS_SEEK_BEGIN, &pos), 1);
    EXPECT_EQ(pos, 4);
    ASSERT_EQ(g_os.seek(h.f, 2, OS_SEEK_CURRENT, &pos), 1);
    EXPECT_EQ(pos, 6);
    ASSERT_EQ(g_os.seek(h.f, -3, OS_SEEK_END, &pos), 1);
    EXPECT_EQ(pos, 7);
    ASSERT_EQ(g_os.seek(h.f, 0, OS_SEEK_CURRENT, nullptr), 1);

    struct { int64_t dist; int origin; } refused[] = {
        {-1, OS_SEEK_BEGIN}, {-8, OS_SEEK_CURRENT}, {-11, OS_SEEK_END}, {INT64_MIN, OS_SEEK_CURRENT}};
    for (auto r : refused) {
        SCOPED_TRACE(r.dist);
        pos = 12345;
        EXPECT_EQ(g_os.seek(h.f, r.dist, r.origin, &pos), 0);
        EXPECT_EQ(g_os.lasterror(), (uint32_t)OS_ERR_NEGATIVE_SEEK);
        // The pointer stayed at 7: the next byte read is '7'.
        int64_t now = -1;
        ASSERT_EQ(g_os.seek(h.f, 0, OS_SEEK_CURRENT, &now), 1);
        EXPECT_EQ(now, 7);
    }
    char c = 0;
    uint32_t got = 0;
    ASSERT_EQ(g_os.read(h.f, &c, 1, &got), 1);
    EXPECT_EQ(c, '7');
    // Past the end is allowed; reading there gives nothing.
    ASSERT_EQ(g_os.seek(h.f, 100, OS_SEEK_BEGIN, &pos), 1);
    EXPECT_EQ(pos, 100);
    ASSERT_EQ(g_os.read(h.f, &c, 1, &got), 1);
    EXPECT_EQ(got, 0u);
}

TEST_F(Files, NullHandleIsRefusedEverywhere) {
    char buf[4];
    uint32_t n = 7;
    int64_t v = 0;
    EXPECT_EQ(g_os.read(nullptr, buf, 4, &n), 0);
    EXPECT_EQ(g_os.lasterror(), (uint32_t)OS_ERR_INVALID_HANDLE);
    EXPECT_EQ(g_os.write(nullptr, buf, 4, &n), 0);
    EXPECT_EQ(g_os.lasterror(), (uint32_t)OS_ERR_INVALID_HANDLE);
    EXPECT_EQ(g_os.seek(nullptr, 0, OS_SEEK_BEGIN, &v), 0);
    EXPECT_EQ(g_os.lasterror(), (uint32_t)OS_ERR_INVALID_HANDLE);
    EXPECT_EQ(g_os.size(nullptr, &v), 0);
    EXPECT_EQ(g_os.lasterror(), (uint32_t)OS_ERR_INVALID_HANDLE);
    EXPECT_EQ(g_os.close(nullptr), 0);
    EXPECT_EQ(g_os.lasterror(), (uint32_t)OS_ERR_INVALID_HANDLE);
}

// A sparse file past 4 GB: 64-bit seeks land exactly, the size is the whole
// 64-bit figure and asking for it does not move the pointer.
TEST_F(Files, SeeksAndSizesPastFourGigabytes) {
    fs::path p = dir.path() / "big.bin";
    const int64_t far = (int64_t)5 << 30;  // 5 GiB
    {
        Handle h(g_os.openW(wide(p).c_str(), OS_CREATE_WRITE));
        ASSERT_NE(h.f, nullptr);
        int64_t pos = 0;
        ASSERT_EQ(g_os.seek(h.f, far, OS_SEEK_BEGIN, &pos), 1);
        EXPECT_EQ(pos, far);
        uint32_t put = 0;
        ASSERT_EQ(g_os.write(h.f, "END", 3, &put), 1);
        ASSERT_EQ(put, 3u);
        int64_t size = 0;
        ASSERT_EQ(g_os.size(h.f, &size), 1);
        EXPECT_EQ(size, far + 3);
        ASSERT_EQ(g_os.seek(h.f, 0, OS_SEEK_CURRENT, &pos), 1);
        EXPECT_EQ(pos, far + 3);
        ASSERT_EQ(g_os.close(h.release()), 1);
    }
    Handle h(g_os.openW(wide(p).c_str(), OS_OPEN_READ));
    ASSERT_NE(h.f, nullptr);
    int64_t pos = 0;
    ASSERT_EQ(g_os.seek(h.f, -3, OS_SEEK_END, &pos), 1);
    EXPECT_EQ(pos, far);
    int64_t size = 0;
    ASSERT_EQ(g_os.size(h.f, &size), 1);
    EXPECT_EQ(size, far + 3);
    char buf[8];
    uint32_t got = 0;
    ASSERT_EQ(g_os.read(h.f, buf, 8, &got), 1);
    EXPECT_EQ(std::string(buf, got), "END");
    // Just below the 4 GB line the hole reads as zeros.
    ASSERT_EQ(g_os.seek(h.f, 0xFFFFFFFFll - 1, OS_SEEK_BEGIN, &pos), 1);
    EXPECT_EQ(pos, 0xFFFFFFFEll);
    ASSERT_EQ(g_os.read(h.f, buf, 4, &got), 1);
    EXPECT_EQ(got, 4u);
    EXPECT_EQ(std::string(buf, 4), std::string(4, '\0'));
    EXPECT_EQ(g_os.close(h.release()), 1);
    fs::remove(p);
}

TEST_F(Files, FopenTakesBothSeparatorsAndRefusesDirectories) {
    std::string name = dir.str() + "\\sub\\ten.bin";
    FILE* fp = g_os.fopen(name.c_str(), "rb");
    ASSERT_NE(fp, nullptr);
    char buf[4] = {};
    EXPECT_EQ(fread(buf, 1, 3, fp), 3u);
    EXPECT_EQ(std::string(buf, 3), "012");
    fclose(fp);

    for (const char* mode : {"rb", "r", "r+b", "wb", "ab", "ab+", "a+"}) {
        for (std::string d : {dir.str() + "/sub", dir.str() + "\\sub"}) {
            SCOPED_TRACE(std::string(mode) + " " + d);
            FILE* f = g_os.fopen(d.c_str(), mode);
            EXPECT_EQ(f, nullptr);
            if (f) fclose(f);
            EXPECT_EQ(g_os.lasterror(), (uint32_t)OS_ERR_ACCESS_DENIED);
        }
    }
    EXPECT_TRUE(fs::is_directory(dir.path() / "sub"));
    EXPECT_EQ(g_os.fopen((dir.str() + "/sub/none").c_str(), "rb"), nullptr);
    EXPECT_EQ(g_os.lasterror(), (uint32_t)OS_ERR_FILE_NOT_FOUND);
}

TEST_F(Files, RemoveTakesFilesOnly) {
    std::string name = dir.str() + "\\sub\\ten.bin";
    EXPECT_NE(g_os.remove((dir.str() + "/sub").c_str()), 0);
    EXPECT_TRUE(fs::is_directory(dir.path() / "sub"));
    EXPECT_EQ(g_os.remove(name.c_str()), 0);
    EXPECT_FALSE(fs::exists(dir.path() / "sub" / "ten.bin"));
    EXPECT_NE(g_os.remove(name.c_str()), 0);
    // The now empty directory is still refused.
    EXPECT_NE(g_os.remove((dir.str() + "/sub").c_str()), 0);
    EXPECT_TRUE(fs::is_directory(dir.path() / "sub"));
}

// One file under several names is one file; two files with the same
// contents are two.  A missing name is never the same as anything.
TEST_F(Files, SameFileSeesThroughSpellingsAndLinks) {
    std::string ten = dir.str() + "/sub/ten.bin";
    testutil::write_file(dir.path() / "sub" / "copy.bin", "0123456789");
    std::error_code ec;
    fs::create_hard_link(dir.path() / "sub" / "ten.bin", dir.path() / "link.bin", ec);
    struct Pair {
        std::string a, b;
        int want;
    } pairs[] = {
        {ten, ten, 1},
        {ten, dir.str() + "\\sub\\ten.bin", 1},
        {ten, dir.str() + "/sub/../sub/./ten.bin", 1},
        {ten, dir.str() + "/sub/copy.bin", 0},
        {ten, dir.str() + "/sub/none.bin", 0},
        {dir.str() + "/sub/none.bin", dir.str() + "/sub/none.bin", 0},
        {ten, dir.str() + "/sub", 0},
#if defined(_WIN32)
        {ten, dir.str() + "/SUB/TEN.BIN", 1},
#endif
    };
    for (const Pair& p : pairs) {
        EXPECT_EQ(g_os.same_file(p.a.c_str(), p.b.c_str()), p.want) << p.a << " and " << p.b;
        EXPECT_EQ(g_os.same_file(p.b.c_str(), p.a.c_str()), p.want) << p.b << " and " << p.a;
    }
    if (!ec) {
        EXPECT_EQ(g_os.same_file(ten.c_str(), (dir.str() + "/link.bin").c_str()), 1) << "a hard link";
    }
    // The file may be open meanwhile, as a converter's input is.
    FILE* fp = g_os.fopen(ten.c_str(), "rb");
    ASSERT_NE(fp, nullptr);
    EXPECT_EQ(g_os.same_file(ten.c_str(), ten.c_str()), 1);
    fclose(fp);
}

// The attributes of one name, taken literally: a pattern character is part
// of the name, so "*.bin" finds nothing even where ten.bin stands.
TEST_F(Files, AttributesNameOneEntryNeverAPattern) {
    fs::path ro = dir.path() / "sub" / "ro.bin";
    testutil::write_file(ro, "read-only");
    fs::permissions(ro, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    const uint32_t kind = OS_ATTR_DIRECTORY | OS_ATTR_READONLY;
    struct { std::string name; int found; uint32_t attrib; } cases[] = {
        {dir.str() + "/sub/ten.bin", 1, 0},
        {dir.str() + "\\sub\\ten.bin", 1, 0},
        {dir.str() + "/sub", 1, OS_ATTR_DIRECTORY},
        {dir.str() + "/sub/ro.bin", 1, OS_ATTR_READONLY},
        {dir.str() + "/sub/none.bin", 0, 0},
        {dir.str() + "/sub/*.bin", 0, 0},
        {dir.str() + "/sub/te?.bin", 0, 0},
        {dir.str() + "/sub/*", 0, 0},
    };
    for (auto& c : cases) {
        uint32_t a = 0xDEAD;
        EXPECT_EQ(g_os.attributesA(c.name.c_str(), &a), c.found) << c.name;
        if (c.found) {
            EXPECT_EQ(a & kind, c.attrib) << c.name;
        }
    }
    EXPECT_EQ(g_os.attributesA((dir.str() + "/sub/none.bin").c_str(), nullptr), 0);
    uint32_t a;
    EXPECT_EQ(g_os.attributesA((dir.str() + "/sub/none.bin").c_str(), &a), 0);
    EXPECT_EQ(g_os.lasterror(), (uint32_t)OS_ERR_FILE_NOT_FOUND);
#ifndef _WIN32
    // Here '*' may be in a name, and such a file is found as itself.
    testutil::write_file(dir.path() / "sub" / "*.bin", "star");
    EXPECT_EQ(g_os.attributesA((dir.str() + "/sub/*.bin").c_str(), &a), 1);
    EXPECT_EQ(a & kind, 0u);
    // A link is looked at through; one that leads nowhere still stands
    // there, as a plain file.
    fs::create_symlink("ten.bin", dir.path() / "sub" / "live.bin");
    fs::create_directory_symlink(".", dir.path() / "sub" / "here");
    fs::create_symlink("none.bin", dir.path() / "sub" / "dangle.bin");
    fs::create_symlink("loop.bin", dir.path() / "sub" / "loop.bin");
    struct { const char* name; uint32_t attrib; } links[] = {
        {"live.bin", 0}, {"here", OS_ATTR_DIRECTORY}, {"dangle.bin", 0}, {"loop.bin", 0}};
    for (auto& l : links) {
        a = 0xDEAD;
        EXPECT_EQ(g_os.attributesA((dir.str() + "/sub/" + l.name).c_str(), &a), 1) << l.name;
        EXPECT_EQ(a & kind, l.attrib) << l.name;
    }
    EXPECT_FALSE(fs::exists(dir.path() / "sub" / "none.bin")) << "the link's target was made";
#endif
    fs::permissions(ro, fs::perms::owner_write, fs::perm_options::add);
}

// The 16-bit remove: a file by either separator and by a name outside the
// 8-bit code page, never a directory; a missing file is code 2.
TEST_F(Files, RemoveWideTakesFilesOnly) {
    std::u16string sub = wide(dir.path()) + u"\\sub";
    EXPECT_NE(g_os.removeW(sub.c_str()), 0);
    EXPECT_TRUE(fs::is_directory(dir.path() / "sub"));
    std::u16string name = sub + u"\\ten.bin";
    EXPECT_EQ(g_os.removeW(name.c_str()), 0);
    EXPECT_FALSE(fs::exists(dir.path() / "sub" / "ten.bin"));
    EXPECT_NE(g_os.removeW(name.c_str()), 0);
    EXPECT_EQ(g_os.lasterror(), (uint32_t)OS_ERR_FILE_NOT_FOUND);
    std::u16string odd = wide(dir.path()) + u"/\u00e9t\u00e9 \u6620\u753b \U0001F3AC.txt";
    {
        Handle h(g_os.openW(odd.c_str(), OS_CREATE_WRITE));
        ASSERT_NE(h.f, nullptr);
    }
    EXPECT_EQ(g_os.removeW(odd.c_str()), 0);
    Handle gone(g_os.openW(odd.c_str(), OS_OPEN_READ));
    EXPECT_EQ(gone.f, nullptr);
    EXPECT_EQ(g_os.removeW(sub.c_str()), -1);  // empty now, still a directory
}

// The runtime's calls through the table on an 8-bit-name file: bytes and
// blocks written and read back, 64-bit seeks and tells past 4 GB (the
// runtime's plain long is 32-bit on Windows), the flush and the close.
TEST_F(Files, RuntimeFileCallsWriteReadAndSeekPastFourGigabytes) {
    std::string name = dir.str() + "/rt.bin";
    FILE* f = g_os.fopen(name.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(g_os.fputc('A', f), 'A');
    EXPECT_EQ(g_os.fwrite("BCD", 1, 3, f), 3u);
    EXPECT_EQ(g_os.ftell64(f), 4);
    const int64_t far = (int64_t)5 << 30;
    EXPECT_EQ(g_os.fseek64(f, far, SEEK_SET), 0);
    EXPECT_EQ(g_os.ftell64(f), far);
    EXPECT_EQ(g_os.fwrite("END", 1, 3, f), 3u);
    EXPECT_EQ(g_os.fflush(f), 0);
    EXPECT_EQ(g_os.fclose(f), 0);
    EXPECT_EQ(fs::file_size(name), (uintmax_t)far + 3);

    f = g_os.fopen(name.c_str(), "rb");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(g_os.fgetc(f), 'A');
    char buf[8] = {};
    EXPECT_EQ(g_os.fread(buf, 1, 3, f), 3u);
    EXPECT_EQ(std::string(buf, 3), "BCD");
    EXPECT_EQ(g_os.fseek64(f, -3, SEEK_END), 0);
    EXPECT_EQ(g_os.ftell64(f), far);
    EXPECT_EQ(g_os.fread(buf, 1, 8, f), 3u);
    EXPECT_EQ(std::string(buf, 3), "END");
    EXPECT_EQ(g_os.fgetc(f), EOF);
    EXPECT_NE(g_os.fseek64(f, -1, SEEK_SET), 0);
    EXPECT_EQ(g_os.fclose(f), 0);
    fs::remove(name);
}

}  // namespace

namespace {

// The atomic replace: the new file takes the target's place and the
// temporary is gone; every refusal leaves both files as they were.
TEST_F(Files, ReplacePutsTheNewFileInPlace) {
    fs::path tmp = dir.path() / "sub" / "new.tmp", target = dir.path() / "sub" / "ten.bin";
    testutil::write_file(tmp, "new contents");
    ASSERT_EQ(g_os.replace(tmp.string().c_str(), (dir.str() + "\\sub\\ten.bin").c_str()), 1);
    EXPECT_EQ(contents(target), "new contents");
    EXPECT_FALSE(fs::exists(tmp));
}

TEST_F(Files, ReplaceRefusesAllButAWritableFile) {
    fs::path tmp = dir.path() / "sub" / "new.tmp";
    testutil::write_file(tmp, "new");
    fs::path ro = dir.path() / "sub" / "ro.bin";
    testutil::write_file(ro, "read-only");
    fs::permissions(ro, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    struct { const char* label; fs::path target; uint32_t code; } cases[] = {
        {"missing target", dir.path() / "sub" / "none.bin", OS_ERR_FILE_NOT_FOUND},
        {"directory", dir.path() / "sub", OS_ERR_ACCESS_DENIED},
        {"read-only file", ro, OS_ERR_ACCESS_DENIED},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.label);
        EXPECT_EQ(g_os.replace(tmp.string().c_str(), c.target.string().c_str()), 0);
        EXPECT_EQ(g_os.lasterror(), c.code);
        EXPECT_EQ(contents(tmp), "new");
    }
    EXPECT_EQ(contents(ro), "read-only");
    EXPECT_TRUE(fs::is_directory(dir.path() / "sub"));
    EXPECT_FALSE(fs::exists(dir.path() / "sub" / "none.bin"));
    fs::permissions(ro, fs::perms::owner_write, fs::perm_options::add);
}

#ifndef _WIN32
// POSIX: the new file keeps the target's mode; a symbolic link is refused
// and neither the link nor its target changes.
TEST_F(Files, ReplaceKeepsTheModeAndRefusesLinks) {
    fs::path tmp = dir.path() / "sub" / "new.tmp", target = dir.path() / "sub" / "ten.bin";
    testutil::write_file(tmp, "new");
    fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    fs::permissions(tmp, fs::perms::all);
    ASSERT_EQ(g_os.replace(tmp.string().c_str(), target.string().c_str()), 1);
    EXPECT_EQ(fs::status(target).permissions(), fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);

    fs::path link = dir.path() / "sub" / "link.bin";
    fs::create_symlink(target, link);
    testutil::write_file(tmp, "newer");
    EXPECT_EQ(g_os.replace(tmp.string().c_str(), link.string().c_str()), 0);
    EXPECT_EQ(g_os.lasterror(), (uint32_t)OS_ERR_ACCESS_DENIED);
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(contents(target), "new");
    EXPECT_EQ(contents(tmp), "newer");
}
#endif

}  // namespace
