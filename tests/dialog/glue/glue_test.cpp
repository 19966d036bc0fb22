// glue_test.cpp - the real common dialogs under wine, driven by a robot.
//
// Runs only in a wine prefix of its own set to wine's null graphics driver
// (tools/test-windows.sh boots it; ctest label "dialog-glue"), where the
// dialogs are created and run their modal loops with nothing on a screen.
// A thread timer set before each call fires inside the dialog's loop; on
// every tick the robot finds the dialog window of this thread and takes its
// next step: it reads what the dialog shows (title, file box, type list and
// selection, folder), types a name, picks a type, cancels, or answers a
// follow-up box.  Every run has a tick limit, after which the robot cancels
// every window it can find, so no test can hang.
//
// Wine is not Windows in some details (it ignores the default extension of
// the open dialog, appends the current type's extension in the save dialog
// only when a default extension is given); nothing here depends on them.

#if defined(_WIN32)

#include "platform/win32_include.h"

#include <commdlg.h>
#include <dlgs.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "dialog/dialog.h"
#include "platform/platform.h"
#include "testutil.h"

namespace {

// ---- What a dialog shows --------------------------------------------------------

struct View {
    std::wstring title, file, folder;
    std::vector<std::wstring> types;
    int selected = -1;
};

std::wstring text_of(HWND h) {
    wchar_t b[1024] = L"";
    if (h) GetWindowTextW(h, b, 1024);
    return b;
}

bool is_file_dialog(HWND h) { return GetDlgItem(h, cmb1) != nullptr; }

HWND file_box(HWND dlg) {
    HWND h = GetDlgItem(dlg, cmb13);
    return h ? h : GetDlgItem(dlg, edt1);
}

View read_view(HWND dlg) {
    View v;
    v.title = text_of(dlg);
    v.file = text_of(file_box(dlg));
    HWND types = GetDlgItem(dlg, cmb1);
    LRESULT n = SendMessageW(types, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < n; i++) {
        wchar_t b[512] = L"";
        SendMessageW(types, CB_GETLBTEXT, (WPARAM)i, (LPARAM)b);
        v.types.push_back(b);
    }
    v.selected = (int)SendMessageW(types, CB_GETCURSEL, 0, 0);
    // An 8-bit dialog answers its CDM_ messages in 8-bit text.
    wchar_t folder[MAX_PATH] = L"";
    if (IsWindowUnicode(dlg)) {
        SendMessageW(dlg, CDM_GETFOLDERPATH, MAX_PATH, (LPARAM)folder);
    } else {
        char narrow[MAX_PATH] = "";
        SendMessageA(dlg, CDM_GETFOLDERPATH, MAX_PATH, (LPARAM)narrow);
        MultiByteToWideChar(CP_ACP, 0, narrow, -1, folder, MAX_PATH);
    }
    v.folder = folder;
    return v;
}

// ---- The robot -------------------------------------------------------------------

// A step acts on the enabled dialog window of the thread (a follow-up box
// disables the dialog under it) and says whether it is done.
using Step = std::function<bool(HWND)>;

struct Robot {
    std::vector<Step> steps;
    size_t next = 0;
    int ticks = 0;
    int limit = 6000;  // 20 ms ticks: two minutes at least (a guard, not a measurement)
    bool timed_out = false;
};
Robot* g_robot = nullptr;

BOOL CALLBACK collect(HWND h, LPARAM p) {
    wchar_t cls[32] = L"";
    GetClassNameW(h, cls, 32);
    if (wcscmp(cls, L"#32770") == 0) reinterpret_cast<std::vector<HWND>*>(p)->push_back(h);
    return TRUE;
}

std::vector<HWND> thread_dialogs() {
    std::vector<HWND> v;
    EnumThreadWindows(GetCurrentThreadId(), collect, reinterpret_cast<LPARAM>(&v));
    return v;
}

void CALLBACK on_tick(HWND, UINT, UINT_PTR, DWORD) {
    Robot* r = g_robot;
    if (!r) return;
    std::vector<HWND> dialogs = thread_dialogs();
    if (++r->ticks > r->limit) {
        r->timed_out = true;
        for (HWND h : dialogs) PostMessageW(h, WM_COMMAND, IDCANCEL, 0);
        return;
    }
    if (r->next >= r->steps.size()) return;
    for (HWND h : dialogs) {
        if (IsWindowEnabled(h)) {
            if (r->steps[r->next](h)) r->next++;
            return;
        }
    }
}

// Runs call() with the robot's timer ticking.  The robot must have taken
// all its steps.
template <class Call> auto drive(std::vector<Step> steps, Call call) {
    Robot r;
    r.steps = std::move(steps);
    g_robot = &r;
    UINT_PTR t = SetTimer(nullptr, 0, 20, on_tick);
    EXPECT_NE(t, 0u);
    auto result = call();
    KillTimer(nullptr, t);
    g_robot = nullptr;
    EXPECT_FALSE(r.timed_out) << "the robot gave up after " << r.ticks << " ticks at step " << r.next;
    EXPECT_EQ(r.next, r.steps.size()) << "steps taken";
    return result;
}

// Steps.
Step look(View* v) {
    return [v](HWND h) {
        if (!is_file_dialog(h)) return false;
        *v = read_view(h);
        return true;
    };
}
Step press(int id) {
    return [id](HWND h) {
        PostMessageW(h, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)GetDlgItem(h, id));
        return true;
    };
}
Step type_name(std::wstring name) {
    return [name](HWND h) {
        if (!is_file_dialog(h)) return false;
        SetWindowTextW(file_box(h), name.c_str());
        PostMessageW(h, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), (LPARAM)GetDlgItem(h, IDOK));
        return true;
    };
}
// Wine takes a new type on CBN_SELENDOK, not on CBN_SELCHANGE.
Step pick_type(int zero_based) {
    return [zero_based](HWND h) {
        if (!is_file_dialog(h)) return false;
        HWND types = GetDlgItem(h, cmb1);
        SendMessageW(types, CB_SETCURSEL, (WPARAM)zero_based, 0);
        SendMessageW(h, WM_COMMAND, MAKEWPARAM(cmb1, CBN_SELENDOK), (LPARAM)types);
        return true;
    };
}
// Answers a box that is not the file dialog, keeping all its text.
Step answer_box(int id, std::wstring* text) {
    return [id, text](HWND h) {
        if (is_file_dialog(h)) return false;
        *text = text_of(h) + L"|" + text_of(GetDlgItem(h, 0xFFFF));
        PostMessageW(h, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)GetDlgItem(h, id));
        return true;
    };
}

// ---- Fixture -----------------------------------------------------------------------

class Glue : public testing::Test {
protected:
    testutil::TempDir tmp;
    std::wstring wdir = tmp.path().wstring();
    std::string dir = tmp.path().string();
    std::u16string udir = tmp.path().u16string();
    void SetUp() override {
        testutil::write_file(tmp.path() / "a.png", std::string("png"));
        testutil::write_file(tmp.path() / "b.png", std::string("png"));
        testutil::write_file(tmp.path() / "notes.txt", std::string("txt"));
    }
    static const char16_t* u(const wchar_t* s) { return reinterpret_cast<const char16_t*>(s); }
    static const wchar_t* w(const char16_t* s) { return reinterpret_cast<const wchar_t*>(s); }
};

const char16_t kWideTypes[] = u"PNG Files  (*.png)\0*.PNG\0Text Files  (*.txt)\0*.TXT\0All Files  (*.*)\0*.*\0\0";
const char kTypes[] = "PNG Files  (*.png)\0*.PNG\0Text Files  (*.txt)\0*.TXT\0All Files  (*.*)\0*.*\0\0";

TEST_F(Glue, OpenWShowsTheRecordAndCancelGivesZeroAndZero) {
    char16_t file[260] = u"a.png";
    os_filedlgW d{};
    d.filter = kWideTypes;
    d.filter_index = 2;
    d.file = file;
    d.max_file = 260;
    d.initial_dir = udir.c_str();
    d.title = u"Robot Open W";
    d.flags = OS_OFN_PATHMUSTEXIST | OS_OFN_FILEMUSTEXIST;
    View v;
    int r = drive({look(&v), press(IDCANCEL)}, [&] { return g_os.open_dialogW(&d); });
    EXPECT_EQ(r, 0);
    EXPECT_EQ(g_os.dialog_error(), 0u);
    EXPECT_EQ(v.title, L"Robot Open W");
    EXPECT_EQ(v.file, L"a.png");
    EXPECT_EQ(v.types, (std::vector<std::wstring>{L"PNG Files  (*.png)", L"Text Files  (*.txt)", L"All Files  (*.*)"}));
    EXPECT_EQ(v.selected, 1) << "filter index 2 selects the second type";
    EXPECT_EQ(v.folder, wdir);
}

TEST_F(Glue, OpenATypedNameGivesThePathAndItsOffsets) {
    char file[260] = "";
    os_filedlgA d{};
    d.filter = kTypes;
    d.filter_index = 1;
    d.file = file;
    d.max_file = 260;
    d.initial_dir = dir.c_str();
    d.title = "Robot Open A";
    d.flags = OS_OFN_PATHMUSTEXIST | OS_OFN_FILEMUSTEXIST;
    View v;
    int r = drive({look(&v), type_name(L"b.png")}, [&] { return g_os.open_dialogA(&d); });
    ASSERT_EQ(r, 1) << "stat " << g_os.dialog_error();
    EXPECT_EQ(v.title, L"Robot Open A");
    EXPECT_EQ(v.selected, 0);
    EXPECT_EQ(v.folder, wdir);
    EXPECT_EQ(std::string(file), (tmp.path() / "b.png").string());
    EXPECT_EQ(d.filter_index, 1u);
    EXPECT_EQ(d.file_offset, dir.size() + 1);
    EXPECT_EQ(d.file_extension, dir.size() + 3);
}

TEST_F(Glue, OpenWChosenTypeComesBack) {
    char16_t file[260] = u"";
    os_filedlgW d{};
    d.filter = kWideTypes;
    d.file = file;
    d.max_file = 260;
    d.initial_dir = udir.c_str();
    d.title = u"Robot Type";
    d.flags = OS_OFN_PATHMUSTEXIST | OS_OFN_FILEMUSTEXIST;
    View v;
    int r = drive({pick_type(1), look(&v), type_name(L"notes.txt")}, [&] { return g_os.open_dialogW(&d); });
    ASSERT_EQ(r, 1) << "stat " << g_os.dialog_error();
    EXPECT_EQ(v.selected, 1);
    EXPECT_EQ(d.filter_index, 2u);
    EXPECT_EQ(std::wstring(w(file)), (tmp.path() / "notes.txt").wstring());
}

TEST_F(Glue, OpenWSmallBufferIsBufferTooSmall) {
    char16_t file[260] = u"";
    os_filedlgW d{};
    d.filter = kWideTypes;
    d.file = file;
    d.max_file = 12;
    d.initial_dir = udir.c_str();
    d.title = u"Robot Small";
    d.flags = OS_OFN_PATHMUSTEXIST | OS_OFN_FILEMUSTEXIST;
    int r = drive({type_name(L"b.png")}, [&] { return g_os.open_dialogW(&d); });
    EXPECT_EQ(r, 0);
    EXPECT_EQ(g_os.dialog_error(), (uint32_t)OS_FNERR_BUFFERTOOSMALL);
}

TEST_F(Glue, SaveAOverAnExistingNameAsksAndYesTakesIt) {
    char file[260] = "notes";
    os_filedlgA d{};
    d.filter = kTypes;
    d.filter_index = 2;
    d.file = file;
    d.max_file = 260;
    d.initial_dir = dir.c_str();
    d.title = "Robot Save";
    d.flags = OS_OFN_NOREADONLYRETURN | OS_OFN_PATHMUSTEXIST | OS_OFN_HIDEREADONLY | OS_OFN_OVERWRITEPROMPT;
    d.file_extension = 5;
    View v;
    std::wstring box;
    int r = drive({look(&v), type_name(L"notes.txt"), answer_box(IDYES, &box)}, [&] { return g_os.save_dialogA(&d); });
    ASSERT_EQ(r, 1) << "stat " << g_os.dialog_error();
    EXPECT_EQ(v.title, L"Robot Save");
    EXPECT_EQ(v.file, L"notes");
    EXPECT_EQ(v.selected, 1);
    EXPECT_EQ(v.folder, wdir);
    EXPECT_NE(box.find(L"already exists"), std::wstring::npos) << std::string(box.begin(), box.end());
    EXPECT_EQ(std::string(file), (tmp.path() / "notes.txt").string());
}

TEST_F(Glue, SaveANoToTheOverwriteBoxReturnsToTheDialog) {
    char file[260] = "";
    os_filedlgA d{};
    d.filter = kTypes;
    d.file = file;
    d.max_file = 260;
    d.initial_dir = dir.c_str();
    d.title = "Robot Save No";
    d.flags = OS_OFN_NOREADONLYRETURN | OS_OFN_PATHMUSTEXIST | OS_OFN_HIDEREADONLY | OS_OFN_OVERWRITEPROMPT;
    std::wstring box;
    View after;
    int r = drive({type_name(L"a.png"), answer_box(IDNO, &box), look(&after), press(IDCANCEL)},
                  [&] { return g_os.save_dialogA(&d); });
    EXPECT_EQ(r, 0);
    EXPECT_EQ(g_os.dialog_error(), 0u);
    EXPECT_EQ(after.title, L"Robot Save No") << "the dialog is back after No";
}

// ---- Through the library ---------------------------------------------------------------

TEST_F(Glue, OpenDialogEndToEnd) {
    std::u16string init = udir + u"\\a.png";
    char16_t out[260] = u"untouched";
    View v;
    testing::internal::CaptureStdout();
    int r = drive({look(&v), press(IDOK)}, [&] { return fopendlgtW(out, FDK_IMAGE, init.c_str(), u"Pick a frame"); });
    std::string printed = testing::internal::GetCapturedStdout();
    ASSERT_EQ(r, 0) << printed;
    EXPECT_EQ(printed, "");
    EXPECT_EQ(std::u16string(out), init);
    EXPECT_EQ(v.title, L"Pick a frame");
    EXPECT_EQ(v.file, L"a.png");
    EXPECT_EQ(v.folder, wdir);
    ASSERT_EQ(v.types.size(), 8u);
    EXPECT_EQ(v.types[0], L"Image Files  (*.bmp;*.gif;*.avi;*.png;*.psd;*.jpg;*.jpe)");
    EXPECT_EQ(v.types[7], L"All Files  (*.*)");
    EXPECT_EQ(v.selected, 2) << "the PNG type (index 3) is preselected";

    testing::internal::CaptureStdout();
    r = drive({press(IDCANCEL)}, [&] { return fopendlgW(out, FDK_IMAGE, init.c_str()); });
    EXPECT_EQ(r, -1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "\nCanceled File-Open Dialog Box. (stat=0000).\n");
    EXPECT_EQ(std::u16string(out), init);
}

TEST_F(Glue, SaveDialogEndToEndAsksForTheRebuiltName) {
    testutil::write_file(tmp.path() / "walk.vrma", std::string("keep me"));
    std::string init = dir + "\\old.vrma";
    char out[265] = "untouched";
    View v;
    std::wstring box;
    testing::internal::CaptureStdout();
    // "walk" is new to the dialog, so it asks nothing; "walk.vrma" exists,
    // and the library asks.
    int r = drive({look(&v), type_name(L"walk"), answer_box(IDYES, &box)},
                  [&] { return fsavedlg(out, FDK_VRMA, init.c_str()); });
    std::string printed = testing::internal::GetCapturedStdout();
    ASSERT_EQ(r, 0) << printed;
    std::string want = dir + "\\walk.vrma";
    EXPECT_STREQ(out, want.c_str());
    EXPECT_EQ(v.title, L"Save VRM-Animation File");
    EXPECT_EQ(v.file, L"old");
    EXPECT_EQ(v.selected, 0);
    EXPECT_EQ(v.folder, wdir);
    EXPECT_NE(box.find(L"Save VRM-Animation File|"), std::wstring::npos);
    EXPECT_NE(box.find(L"walk.vrma already exists."), std::wstring::npos);
    EXPECT_NE(printed.find("Ret Path  : " + dir + "\\walk \nRet Filter: 1 \n"), std::string::npos) << printed;
    EXPECT_NE(printed.find("Reconstructed FName : " + want + " \n"), std::string::npos) << printed;
}

// The library's own rule for the rebuilt name: "ro" becomes "ro.vrma", a
// read-only file, which the real dialog never judged.  No question comes;
// the dialog comes back on "ro" and the next name is taken.
TEST_F(Glue, SaveDialogBringsItselfBackForAReadOnlyRebuiltName) {
    namespace fs = std::filesystem;
    fs::path ro = tmp.path() / "ro.vrma";
    testutil::write_file(ro, std::string("keep me"));
    fs::permissions(ro, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    std::string init = dir + "\\old.vrma";
    char out[265] = "untouched";
    HWND first = nullptr;
    View again;
    Step type_ro = [&](HWND h) {
        if (!is_file_dialog(h)) return false;
        first = h;
        return type_name(L"ro")(h);
    };
    Step look_again = [&](HWND h) {
        if (!is_file_dialog(h) || h == first) return false;  // the first one is still closing
        again = read_view(h);
        return true;
    };
    testing::internal::CaptureStdout();
    int r = drive({type_ro, look_again, type_name(L"fresh")}, [&] { return fsavedlg(out, FDK_VRMA, init.c_str()); });
    std::string printed = testing::internal::GetCapturedStdout();
    fs::permissions(ro, fs::perms::owner_write, fs::perm_options::add);
    ASSERT_EQ(r, 0) << printed;
    EXPECT_STREQ(out, (dir + "\\fresh.vrma").c_str());
    EXPECT_EQ(again.file, L"ro");
    EXPECT_EQ(again.selected, 0);
    EXPECT_NE(printed.find("Refused FName : " + dir + "\\ro.vrma (read-only) \n"), std::string::npos) << printed;
    EXPECT_EQ(testutil::read_file(ro).size(), 7u);
}

}  // namespace

#endif  // _WIN32
