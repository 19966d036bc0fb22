// cmdline.cpp - the command-line splitter and the argument appends on any
// line.  The first byte holds the switches (bit 0: the 16-bit set; bit 1:
// code page 932 lead bytes; bits 2-7: how often each append is repeated, so
// that short inputs reach the 511-argument and 65535-unit limits), then the
// payload: the command line (16-bit: pairs of bytes) for the split, and the
// same bytes cut at LF into strings for the appends.
//
// After every call the set must hold: 1 to 511 arguments after a split, at
// most 511 after appends; every entry inside the set's buffer, in order, and
// ended by a 0 there; the end pointer at the next free place of the buffer;
// the used length within the buffer.

#include <cstring>
#include <string>
#include <vector>

#include "fuzz/harness.h"
#include "platform/platform.h"
#include "text/cmdline.h"

namespace {

int cp932_lead(uint8_t c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }
int no_lead(uint8_t) { return 0; }

std::string g_lineA;
std::u16string g_lineW;
const char* line_a() { return g_lineA.c_str(); }
const char16_t* line_w() { return g_lineW.c_str(); }

template <class C>
void check_set(int count, C** argv, const C* buf, int buflen, int least) {
    FUZZ_CHECK(count >= least && count <= CMDARGS_MAX);
    FUZZ_CHECK(buflen >= 0 && buflen <= CMDARGS_TEXT);
    FUZZ_CHECK(argv[count] == buf + buflen);
    const C* next = buf;
    for (int i = 0; i < count; i++) {
        FUZZ_CHECK(argv[i] >= next && argv[i] < buf + buflen);
        const C* p = argv[i];
        while (p < buf + buflen && *p) p++;
        FUZZ_CHECK(p < buf + buflen);  // ended by a 0 inside the used part
        next = p + 1;
    }
}

template <class C>
void appends(int* count, C** argv, C* buf, int* buflen, const std::vector<std::basic_string<C>>& args,
             int repeat, int (*add)(int*, C**, const C*)) {
    buf[0] = 0;
    *buflen = 0;
    *count = 0;
    argv[0] = buf;
    for (int k = 0; k < repeat; k++) {
        for (const auto& s : args) {
            int before = *count;
            FUZZ_CHECK(add(count, argv, s.c_str()) == 0);
            // The cheap part of check_set after each append, the whole of it
            // at the end: the new argument ends right before the free place.
            FUZZ_CHECK(*count == before || *count == before + 1);
            FUZZ_CHECK(*count <= CMDARGS_MAX && *buflen >= 0 && *buflen <= CMDARGS_TEXT);
            FUZZ_CHECK(argv[*count] == buf + *buflen);
            if (*count > before) FUZZ_CHECK(argv[before] < buf + *buflen && buf[*buflen - 1] == 0);
        }
    }
    check_set(*count, argv, buf, *buflen, 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::setup();
    fuzz::Input in{data, size};
    uint8_t flags = in.byte();
    bool wide = flags & 1;
    g_os.is_dbcs_lead = (flags & 2) ? cp932_lead : no_lead;
    int repeat = 1 + (flags >> 2);

    static char* argvA[CMDARGS_PTRS];
    static char16_t* argvW[CMDARGS_PTRS];
    int count = 0;

    std::vector<std::string> argsA;
    std::vector<std::u16string> argsW;
    std::string cur;
    for (size_t i = 0; i <= in.n; i++) {
        if (i == in.n || in.p[i] == '\n') {
            argsA.push_back(cur);
            argsW.emplace_back(cur.begin(), cur.end());
            for (auto& u : argsW.back()) u = (char16_t)(uint8_t)u;
            cur.clear();
        } else if (in.p[i] != 0) {
            cur.push_back((char)in.p[i]);
        }
    }

    if (wide) {
        g_lineW.clear();
        for (size_t i = 0; i + 1 < in.n; i += 2) {
            char16_t u = (char16_t)(in.p[i] | (in.p[i + 1] << 8));
            if (u == 0) break;
            g_lineW.push_back(u);
        }
        g_os.command_lineW = line_w;
        FUZZ_CHECK(splitcmdlineW(&count, argvW) == 0);
        check_set(count, argvW, wargbuf, wargbuflen, 1);
        appends(&count, argvW, wargbuf, &wargbuflen, argsW, repeat, addargW);
    } else {
        g_lineA.assign((const char*)in.p, strnlen((const char*)in.p, in.n));
        g_os.command_lineA = line_a;
        FUZZ_CHECK(splitcmdline(&count, argvA) == 0);
        check_set(count, argvA, argbuf, argbuflen, 1);
        appends(&count, argvA, argbuf, &argbuflen, argsA, repeat, addarg);
        appends(&count, argvA, argbuf, &argbuflen, argsA, 1, addargcopy);
    }
    return 0;
}
