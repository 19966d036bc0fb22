// fake_dialogs.h - scripted dialog services for the dialog tests: every call
// is recorded as a deep copy of the record as the system would have seen it,
// and answered from a script.
#ifndef REELKILN_TESTS_DIALOG_FAKE_DIALOGS_H
#define REELKILN_TESTS_DIALOG_FAKE_DIALOGS_H

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

#include <gtest/gtest.h>

#include "platform/platform.h"

namespace dialogtest {

// Units as a 16-bit string: 8-bit records are widened byte for byte, so
// that one set of expectations serves both widths.
inline std::u16string units(const std::string& s) {
    std::u16string u;
    for (unsigned char c : s) u += (char16_t)c;
    return u;
}

// One dialog call as the service saw it.
struct Seen {
    char which = 0;                     // 'W' open 16-bit, 'A' open 8-bit, 'S' save
    std::u16string filter;              // up to and including the first double NUL
    bool filter_tail_zero = false;      // the unit after that double NUL is 0 too
    uint32_t index = 0;
    std::u16string file;
    uint32_t max_file = 0;
    std::optional<std::u16string> dir;  // nullopt: null
    std::u16string title;
    uint32_t flags = 0;
    uint16_t file_offset = 0, file_extension = 0;
    std::optional<std::u16string> def_ext;
};

// What the next call answers: chosen (with the path written to the file
// buffer and the chosen filter) or not (with the error code).
struct Answer {
    bool chosen = false;
    std::u16string path;  // widened bytes for the 8-bit services
    uint32_t index = 0;
    uint32_t error = 0;
};

struct Question {
    std::string text, caption;
};

class FakeDialogs {
public:
    std::vector<Seen> calls;
    std::deque<Answer> answers;      // an empty script cancels
    std::vector<Question> questions;
    std::deque<int> yes_no;          // an empty script answers No

    FakeDialogs() : saved_(g_os) {
        current() = this;
        g_os.open_dialogW = [](os_filedlgW* d) { return current()->serve('W', d); };
        g_os.open_dialogA = [](os_filedlgA* d) { return current()->serve('A', d); };
        g_os.save_dialogA = [](os_filedlgA* d) { return current()->serve('S', d); };
        g_os.dialog_error = [] { return current()->error_; };
        g_os.ask_yes_no = [](const char* text, const char* caption) {
            FakeDialogs* f = current();
            f->questions.push_back({text ? text : "", caption ? caption : ""});
            if (f->yes_no.empty()) return 0;
            int a = f->yes_no.front();
            f->yes_no.pop_front();
            return a;
        };
    }
    ~FakeDialogs() {
        g_os = saved_;
        current() = nullptr;
    }
    FakeDialogs(const FakeDialogs&) = delete;
    FakeDialogs& operator=(const FakeDialogs&) = delete;

    void answer(const std::u16string& path, uint32_t index) { answers.push_back({true, path, index, 0}); }
    void answer(const std::string& path, uint32_t index) { answer(units(path), index); }
    void fail(uint32_t error) { answers.push_back({false, u"", 0, error}); }

private:
    os_api saved_;
    uint32_t error_ = 0;

    static FakeDialogs*& current() {
        static FakeDialogs* f = nullptr;
        return f;
    }

    template <class Ch> static std::u16string str(const Ch* s) {
        std::u16string u;
        for (; *s; s++) u += (char16_t)(std::make_unsigned_t<Ch>)*s;
        return u;
    }
    template <class Ch> static std::optional<std::u16string> opt(const Ch* s) {
        if (!s) return std::nullopt;
        return str(s);
    }

    template <class Rec> int serve(char which, Rec* d) {
        using Ch = std::remove_pointer_t<decltype(d->file)>;
        Seen s;
        s.which = which;
        if (d->filter) {
            size_t i = 0;
            for (;; i++) {
                s.filter += (char16_t)(std::make_unsigned_t<Ch>)d->filter[i];
                if (i > 0 && d->filter[i] == 0 && d->filter[i - 1] == 0) break;
            }
            s.filter_tail_zero = d->filter[i + 1] == 0;
        }
        s.index = d->filter_index;
        s.file = str(d->file);
        s.max_file = d->max_file;
        s.dir = opt(d->initial_dir);
        s.title = d->title ? str(d->title) : u"(null)";
        s.flags = d->flags;
        s.file_offset = d->file_offset;
        s.file_extension = d->file_extension;
        s.def_ext = opt(d->def_ext);
        calls.push_back(s);
        if (answers.empty()) {
            error_ = 0;
            return 0;
        }
        Answer a = answers.front();
        answers.pop_front();
        if (!a.chosen) {
            error_ = a.error;
            return 0;
        }
        EXPECT_LT(a.path.size(), d->max_file) << "the script's path must fit the record";
        size_t n = 0;
        for (; n < a.path.size() && n + 1 < d->max_file; n++) d->file[n] = (Ch)a.path[n];
        d->file[n] = 0;
        d->filter_index = a.index;
        error_ = 0;
        return 1;
    }
};

}  // namespace dialogtest

#endif
