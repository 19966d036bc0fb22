// dialog.cpp - the open and save dialogs on any initial path and any answer
// of the system's dialog, and the Linux console dialog on any typed input.
//
// Input: a switch byte (bits 0-1 the entry point: save, open 8-bit, open
// 16-bit, console; bit 2 code page 932; bit 3 the Yes/No answer and whether
// names exist; bits 4-5 what an existing name is: a folder, read-only), a kind
// byte (signed), the filter index the dialog answers, the error code byte
// it answers on failure (0xFF: 0xFFFF), then two 0-ended strings: the
// initial path and the path the dialog returns (an empty one: the dialog
// fails).  For the console dialog the rest of the input is what is typed.
//
// The dialog services are scripted as the unit tests script them: the
// answer is cut to the record's nMaxFile as the system cuts it, every file
// "exists" when the Yes/No bit asks for it, and a second round fails, so a
// No ends.  Checks: results are 0 or -1; out is untouched after -1 and holds
// at most 259 (open) or 264 (save) bytes after 0; an initial path of 260
// bytes or more never reaches the dialog; the console dialog's path fits its
// nMaxFile and its error codes are the documented ones.

#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "dialog/dialog.h"
#include "fuzz/harness.h"
#include "platform/dialog_internal.h"
#include "platform/platform.h"

namespace {

struct Script {
    std::string returned;
    uint32_t index = 0, error = 0;
    int calls = 0;
    bool exists = false;
    uint32_t attrib = 0;
};
Script g;

template <class Rec> int answer(Rec* d) {
    g.calls++;
    if (g.calls > 1 || g.returned.empty()) return 0;
    size_t n = g.returned.size() < d->max_file ? g.returned.size() : d->max_file - 1;
    for (size_t i = 0; i < n; i++) d->file[i] = (unsigned char)g.returned[i];
    d->file[n] = 0;
    d->filter_index = g.index;
    return 1;
}

int fake_attributes(const char*, uint32_t* attrib) {
    if (!g.exists) return 0;
    *attrib = g.attrib;
    return 1;
}

int cp932_lead(uint8_t c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }
int no_lead(uint8_t) { return 0; }

void console(const std::string& init, const uint8_t* typed, size_t n, uint8_t kind) {
    if (n > 60000) n = 60000;  // one pipe's worth
    int p[2];
    if (pipe(p) != 0) return;
    if (n && write(p[1], typed, n) != (ssize_t)n) {
        close(p[0]);
        close(p[1]);
        return;
    }
    close(p[1]);
    int out = open("/dev/null", O_WRONLY);
    std::vector<char> file(260);
    std::memcpy(file.data(), init.c_str(), init.size() < 259 ? init.size() : 259);
    const char list[] = "One\0*.A;*.b\0All\0*.*\0\0";
    os_filedlgA d{};
    d.filter = list;
    d.filter_index = kind;
    d.file = file.data();
    d.max_file = 1 + kind % 260;
    d.initial_dir = "/nonexistent-rk-fuzz";
    d.title = "T";
    d.flags = (kind & 0x80) ? 0x8806u : 0u;
    d.def_ext = (kind & 0x40) ? "vrma" : nullptr;
    uint32_t error = 7;
    int r = platform_detail::console_dialogA(p[0], out, &d, &error);
    FUZZ_CHECK(r == 0 || r == 1);
    if (r == 1) {
        FUZZ_CHECK(std::strlen(d.file) < d.max_file);
        FUZZ_CHECK(d.file[0] == '/');
        FUZZ_CHECK(d.filter_index >= 1 && d.filter_index <= 2);
    } else {
        FUZZ_CHECK(error == 0 || error == OS_FNERR_BUFFERTOOSMALL);
    }
    close(p[0]);
    close(out);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::setup();
    fuzz::Input in{data, size};
    uint8_t sw = in.byte();
    int kind = (int8_t)in.byte();
    g = Script();
    g.index = in.byte();
    uint8_t e = in.byte();
    g.error = e == 0xFF ? 0xFFFF : e;
    g.exists = (sw & 8) != 0;
    g.attrib = ((sw & 0x10) ? (uint32_t)OS_ATTR_DIRECTORY : 0u) | ((sw & 0x20) ? (uint32_t)OS_ATTR_READONLY : 0u);
    std::string init = in.cstr();
    g.returned = in.cstr();

    os_api saved = g_os;
    g_os.open_dialogA = [](os_filedlgA* d) { return answer(d); };
    g_os.open_dialogW = [](os_filedlgW* d) { return answer(d); };
    g_os.save_dialogA = [](os_filedlgA* d) { return answer(d); };
    g_os.dialog_error = [] { return g.error; };
    g_os.ask_yes_no = [](const char*, const char*) { return g.exists ? 0 : 1; };
    g_os.attributesA = fake_attributes;
    g_os.is_dbcs_lead = (sw & 4) ? cp932_lead : no_lead;

    // The initial path in a block of its own size, so that a read past its
    // end shows.
    std::vector<char> path(init.begin(), init.end());
    path.push_back(0);
    bool refused = init.size() >= 260;
    switch (sw & 3) {
    case 0: {
        std::vector<char> out(265, '#');
        int r = fsavedlg(out.data(), kind, path.data());
        FUZZ_CHECK(r == 0 || r == -1);
        if (r == 0) FUZZ_CHECK(std::strlen(out.data()) <= 264);
        else for (char c : out) FUZZ_CHECK(c == '#');
        if (refused) FUZZ_CHECK(g.calls == 0 && r == -1);
        break;
    }
    case 1: {
        std::vector<char> out(260, '#');
        int r = fopendlgt(out.data(), kind, path.data(), g.exists ? "t" : nullptr);
        FUZZ_CHECK(r == 0 || r == -1);
        if (r == 0) FUZZ_CHECK(std::strlen(out.data()) <= 259);
        else for (char c : out) FUZZ_CHECK(c == '#');
        if (refused) FUZZ_CHECK(g.calls == 0 && r == -1);
        break;
    }
    case 2: {
        std::vector<char16_t> wpath(init.begin(), init.end());
        wpath.push_back(0);
        std::vector<char16_t> out(260, u'#');
        int r = fopendlgW(out.data(), kind, wpath.data());
        FUZZ_CHECK(r == 0 || r == -1);
        if (r == -1) for (char16_t c : out) FUZZ_CHECK(c == u'#');
        if (refused) FUZZ_CHECK(g.calls == 0 && r == -1);
        break;
    }
    default:
        console(init, in.p, in.n, (uint8_t)kind);
        break;
    }
    g_os = saved;
    return 0;
}
