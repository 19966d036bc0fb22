// posix_dialog.cpp - the file-dialog services on Linux and other POSIX
// systems: a console dialog on the controlling terminal.
//
// A console program has no system file chooser here, so the dialog asks on
// the terminal it was started from, which is what a modal chooser is for a
// console program, and works over ssh and on a plain console as well:
//
//     Open Image File
//     Folder: /home/u/pics
//        1  Image Files  (*.bmp;*.gif;...)   *.BMP;*.GIF;...
//     *  2  BMP Files  (*.bmp)               *.BMP
//     ...
//     Type [2]:
//     File name [a.bmp]:
//
// Enter keeps what stands in brackets; "?" at the name lists the folder's
// entries that match the chosen type.  A relative name joins the folder; a
// name that ends in a separator, or whose last part is "." or "..", names a
// folder, and the dialog moves there when it is one.  Blanks alone are no
// name, and a control character is never part of one.  The record's flags
// are applied as the system applies them (a missing folder, a missing file,
// a read-only file and an existing file each ask again; a save dialog also
// checks that a new file can be created there), the default extension is
// appended to a name without one (unless only the name as typed exists), and
// the result is the absolute path with the filter index and name offsets set.
//
// On a terminal the answers are read with libedit's line editor: the cursor
// keys, Home/End and the other emacs keys edit, Up and Down walk the answers
// given before in this process, Tab completes a name in the dialog's folder.
// Esc, Ctrl-D and Ctrl-C cancel at every prompt, typed text or not; Ctrl-C
// also stays latched for the next key poll, as a Windows console keeps the
// key, but not for the next dialog: each one forgets a latched Ctrl-C when it
// opens and waits for the user.  Scripted answers (descriptors that are not
// a terminal, as the tests and the fuzz target give) are read as plain
// lines with the same cancel bytes.
//
// It runs only when standard input is a terminal and the process is in its
// foreground group, as the key poll does; it then prompts on /dev/tty, so
// that a redirected standard output keeps only the program's own lines.
// While it prompts the line editor has the terminal; afterwards it gets back
// the mode it had (the key poll's, once that has run).  Without a terminal
// every dialog fails with CDERR_DIALOGFAILURE: nobody could be asked, and
// calling that a cancel would hide it.  The Yes/No question uses the same
// terminal and answers No without one.
//
// Division: reading and writing; the line editor; filters and names; the
// dialog; the services.

#if !defined(_WIN32)

#include "platform/dialog_internal.h"
#include "platform/platform.h"
#include "platform/posix_internal.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <histedit.h>
#include <langinfo.h>
#include <locale.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace platform_detail {

namespace {

// ---- Reading and writing --------------------------------------------------------

void put(int fd, const std::string& s) {
    size_t done = 0;
    while (done < s.size()) {
        ssize_t n = ::write(fd, s.data() + done, s.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;  // the terminal went away; the read will tell
        done += (size_t)n;
    }
}

// END is a cancel by the user's keys (end of input, Ctrl-D, Esc);
// INTERRUPTED a Ctrl-C.
enum read_result { LINE, END, INTERRUPTED };

// One line without its line end, from descriptors that are not a terminal.
// The descriptor is polled in short steps, because the Ctrl-C handler
// restarts interrupted calls: a blocking read would never see the key.  A
// 0x03 byte (Ctrl-C in a pipe) interrupts; 0x04 (Ctrl-D) and 0x1B (Esc)
// cancel wherever they stand, as they do on the terminal.
read_result read_line(int fd, std::string* line) {
    line->clear();
    for (;;) {
        if (sigint_pending()) return INTERRUPTED;
        struct pollfd p = {fd, POLLIN, 0};
        int r = poll(&p, 1, 50);
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) return END;
        if (r == 0) continue;
        char c;
        ssize_t n = ::read(fd, &c, 1);
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (n <= 0) return line->empty() ? END : LINE;
        if (c == 3) return INTERRUPTED;
        if (c == 4 || c == 0x1B) return END;
        if (c == '\n' || c == '\r') return LINE;
        *line += c;
    }
}

// ---- The line editor ---------------------------------------------------------------

// libedit works on wide characters (wchar_t here is libedit's, 32-bit); the
// dialog on bytes.  The terminal's bytes are read as UTF-8.  Notes on
// invalid input: a byte that does not belong to a well-formed sequence
// travels as U+DC80 + (byte - 0x80), as Python's surrogate escapes do, and
// turns back into that byte in the answer, so that the 8-bit dialog still
// takes the terminal's bytes as they are.

// Length of the UTF-8 sequence at s (1 to 4) when it is well formed and
// whole, 0 when it is not (yet): *need tells whether more bytes could make it
// whole.
size_t utf8_length(const std::string& s, size_t at, bool* need) {
    *need = false;
    uint8_t c = (uint8_t)s[at];
    if (c < 0x80) return 1;
    size_t n = c >= 0xC2 && c <= 0xDF ? 2 : c >= 0xE0 && c <= 0xEF ? 3 : c >= 0xF0 && c <= 0xF4 ? 4 : 0;
    if (n == 0) return 0;
    for (size_t i = 1; i < n; i++) {
        if (at + i >= s.size()) {
            *need = true;
            return 0;
        }
        uint8_t t = (uint8_t)s[at + i];
        uint8_t lo = 0x80, hi = 0xBF;  // no overlongs, no surrogates, nothing past U+10FFFF
        if (i == 1 && c == 0xE0) lo = 0xA0;
        if (i == 1 && c == 0xED) hi = 0x9F;
        if (i == 1 && c == 0xF0) lo = 0x90;
        if (i == 1 && c == 0xF4) hi = 0x8F;
        if (t < lo || t > hi) return 0;
    }
    return n;
}

wchar_t decode_one(const std::string& s, size_t at, size_t n) {
    uint8_t c = (uint8_t)s[at];
    if (n == 1) return (wchar_t)c;
    uint32_t v = c & (0xFFu >> (n + 1));
    for (size_t i = 1; i < n; i++) v = (v << 6) | ((uint8_t)s[at + i] & 0x3Fu);
    return (wchar_t)v;
}

std::wstring wide_of(const std::string& s) {
    std::wstring w;
    for (size_t at = 0; at < s.size();) {
        bool need;
        size_t n = utf8_length(s, at, &need);
        if (n == 0) {
            w += (wchar_t)(0xDC00 + (uint8_t)s[at]);
            at++;
        } else {
            w += decode_one(s, at, n);
            at += n;
        }
    }
    return w;
}

std::string bytes_of(const wchar_t* w, size_t n) {
    std::string s;
    for (size_t i = 0; i < n; i++) {
        uint32_t v = (uint32_t)w[i];
        if (v >= 0xDC80 && v <= 0xDCFF) s += (char)(v - 0xDC00);
        else if (v < 0x80) s += (char)v;
        else if (v < 0x800) { s += (char)(0xC0 | (v >> 6)); s += (char)(0x80 | (v & 0x3F)); }
        else if (v < 0x10000) {
            s += (char)(0xE0 | (v >> 12)); s += (char)(0x80 | ((v >> 6) & 0x3F)); s += (char)(0x80 | (v & 0x3F));
        } else if (v <= 0x10FFFF) {
            s += (char)(0xF0 | (v >> 18)); s += (char)(0x80 | ((v >> 12) & 0x3F));
            s += (char)(0x80 | ((v >> 6) & 0x3F)); s += (char)(0x80 | (v & 0x3F));
        }
    }
    return s;
}

// How long a lone Esc waits for the rest of a key sequence before it counts
// as the Esc key.  A terminal sends a cursor key's sequence in one write, so
// its bytes are there together; only a key pressed by itself waits this long.
constexpr int kEscWaitMs = 100;

// The answers given in this process, for Up and Down: the names apart from
// the short answers (type numbers, y/n), so that walking back through names
// meets only names.  Kept until the process ends.
HistoryW* history_of(bool names) {
    static HistoryW* kept[2] = {nullptr, nullptr};
    HistoryW*& h = kept[names ? 1 : 0];
    if (!h) {
        h = history_winit();
        if (h) {
            HistEventW ev;
            history_w(h, &ev, H_SETSIZE, 100);
            history_w(h, &ev, H_SETUNIQUE, 1);
        }
    }
    return h;
}

// The line editor on one terminal descriptor, for one dialog or question.
// libedit gets its keys from next_key below, which reads the descriptor in
// the same short polls as read_line and turns Esc, Ctrl-D and Ctrl-C into
// the end of the line with the reason kept in `stop`: libedit never sees
// them, so no binding of its own (Ctrl-D deletes, Esc starts a meta key)
// can keep typed text from cancelling.
struct editor {
    int in = -1, out = -1;
    EditLine* el = nullptr;
    FILE* fin = nullptr;
    FILE* fout = nullptr;
    locale_t loc = (locale_t)0, saved_loc = (locale_t)0;
    std::string pending;  // bytes read from the terminal, not yet handed on
    read_result stop = LINE;
    std::wstring prompt;
    std::string folder;  // where Tab completes
    unsigned short rows = 0, cols = 0;
    struct termios keys {};  // the terminal's mode while a dialog waits for keys
    bool have_keys = false;

    bool open(int in_fd, int out_fd);
    void key_mode();
    void close();
    read_result ask(const std::string& prompt_text, std::string* line, bool name);
};

editor* editor_of(EditLine* el) {
    void* p = nullptr;
    el_wget(el, EL_CLIENTDATA, &p);
    return (editor*)p;
}

wchar_t* prompt_of(EditLine* el) { return const_cast<wchar_t*>(editor_of(el)->prompt.c_str()); }

// Waits up to ms for the terminal (forever for -1, in polls that watch for a
// Ctrl-C and a new window size) and appends what it has to e->pending.
// false when the terminal is gone or a Ctrl-C came as a signal.
bool fill(editor* e, int ms) {
    for (int waited = 0;;) {
        if (sigint_pending()) {
            e->stop = INTERRUPTED;
            return false;
        }
        struct winsize ws;
        if (ioctl(e->in, TIOCGWINSZ, &ws) == 0 && (ws.ws_row != e->rows || ws.ws_col != e->cols)) {
            e->rows = ws.ws_row;
            e->cols = ws.ws_col;
            el_resize(e->el);
            el_wset(e->el, EL_REFRESH);
        }
        int step = ms < 0 ? 50 : std::min(50, ms - waited);
        struct pollfd p = {e->in, POLLIN, 0};
        int r = poll(&p, 1, step);
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) break;
        if (r == 0) {
            waited += step;
            if (ms >= 0 && waited >= ms) return true;
            continue;
        }
        char b[256];
        ssize_t n = ::read(e->in, b, sizeof b);
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (n <= 0) break;
        e->pending.append(b, (size_t)n);
        return true;
    }
    e->stop = END;
    return false;
}

// libedit's key reader: 1 with *wc, 0 for the end of the line (e->stop says
// why).
int next_key(EditLine* el, wchar_t* wc) {
    editor* e = editor_of(el);
    if (e->stop != LINE) return 0;
    while (e->pending.empty())
        if (!fill(e, -1)) return 0;
    uint8_t c = (uint8_t)e->pending[0];
    if (c == 3) {  // Ctrl-C as a key (a terminal without signals): as the signal
        sigint_latch();
        e->stop = INTERRUPTED;
        return 0;
    }
    if (c == 4) {
        e->stop = END;
        return 0;
    }
    if (c == 0x1B && e->pending.size() == 1) {
        if (!fill(e, kEscWaitMs)) return 0;
        if (e->pending.size() == 1) {  // Esc by itself
            e->pending.clear();
            e->stop = END;
            return 0;
        }
    }
    bool need;
    size_t n = utf8_length(e->pending, 0, &need);
    while (n == 0 && need) {  // the rest of a character comes with it
        size_t had = e->pending.size();
        if (!fill(e, kEscWaitMs)) return 0;
        if (e->pending.size() == had) break;
        n = utf8_length(e->pending, 0, &need);
    }
    if (n == 0) {
        *wc = (wchar_t)(0xDC00 + c);
        n = 1;
    } else {
        *wc = decode_one(e->pending, 0, n);
    }
    e->pending.erase(0, n);
    return 1;
}

// Tab: completes the name before the cursor with the entries of the folder
// it names (the dialog's folder for a bare name), folders ending in '/'.
// One match is completed whole; several are completed as far as they agree,
// and when they agree no further they are listed under the line.
unsigned char complete(EditLine* el, int) {
    editor* e = editor_of(el);
    const LineInfoW* li = el_wline(el);
    std::string typed = bytes_of(li->buffer, (size_t)(li->cursor - li->buffer));
    std::string seen = typed;
    std::replace(seen.begin(), seen.end(), '\\', '/');
    size_t slash = seen.rfind('/');
    std::string part = slash == std::string::npos ? std::string() : seen.substr(0, slash + 1);
    std::string prefix = slash == std::string::npos ? seen : seen.substr(slash + 1);
    std::string where = part.empty() ? e->folder : part[0] == '/' ? part : e->folder + "/" + part;
    std::vector<std::string> found;
    if (DIR* d = opendir(where.c_str())) {
        while (struct dirent* ent = readdir(d)) {
            std::string n = ent->d_name;
            if (n == "." || n == "..") continue;
            if (n.compare(0, prefix.size(), prefix) != 0) continue;
            if (n[0] == '.' && (prefix.empty() || prefix[0] != '.')) continue;  // hidden unless asked for
            struct stat st;
            if (stat((where + "/" + n).c_str(), &st) == 0 && S_ISDIR(st.st_mode)) n += '/';
            found.push_back(n);
        }
        closedir(d);
    }
    if (found.empty()) return CC_REFRESH_BEEP;
    std::sort(found.begin(), found.end());
    std::string common = found[0];
    for (const auto& f : found) {
        size_t i = 0;
        while (i < common.size() && i < f.size() && common[i] == f[i]) i++;
        common.resize(i);
    }
    if (common.size() > prefix.size()) {
        el_winsertstr(el, wide_of(common.substr(prefix.size())).c_str());
        return CC_REFRESH;
    }
    std::string text = "\n";
    for (const auto& f : found) text += "  " + f + "\n";
    put(e->out, text);
    return CC_REDISPLAY;
}

bool editor::open(int in_fd, int out_fd) {
    in = in_fd;
    out = out_fd;
    // libedit measures and shows characters by the C library's locale:
    // UTF-8 for the dialog's text, in this thread only, whatever the
    // program's own locale is.
    loc = newlocale(LC_CTYPE_MASK, "", (locale_t)0);
    if (loc && strcmp(nl_langinfo_l(CODESET, loc), "UTF-8") != 0) {
        freelocale(loc);
        loc = (locale_t)0;
    }
    if (!loc) loc = newlocale(LC_CTYPE_MASK, "C.UTF-8", (locale_t)0);
    if (loc) saved_loc = uselocale(loc);
    int din = dup(in), dout = dup(out);
    fin = din >= 0 ? fdopen(din, "r") : nullptr;
    fout = dout >= 0 ? fdopen(dout, "w") : nullptr;
    if (!fin && din >= 0) ::close(din);
    if (!fout && dout >= 0) ::close(dout);
    if (fin && fout) el = el_init_fd("reelkiln", fin, fout, fout, in, out, out);
    if (!el) {
        close();
        return false;
    }
    struct winsize ws;
    if (ioctl(in, TIOCGWINSZ, &ws) == 0) {  // a later change of size redraws the line
        rows = ws.ws_row;
        cols = ws.ws_col;
    }
    // The keys' mode: the terminal's own (canonical, as it is now) with no
    // line discipline of its own and no echo.  libedit writes its prompt
    // before it switches the terminal to its edit mode, and puts the
    // canonical mode back after each line: a key typed as soon as the
    // prompt shows (or while the program works between two questions)
    // would meet the canonical mode and be echoed or taken by the terminal
    // (Esc shown as "^[", Ctrl-D turned into a NUL, Ctrl-V swallowed).  So
    // the dialog holds this mode from before each prompt until it returns;
    // on_terminal puts the caller's mode back.
    if (tcgetattr(in, &keys) == 0) {
        keys.c_lflag &= ~(tcflag_t)(ICANON | ECHO | ECHONL | IEXTEN);
        keys.c_cc[VMIN] = 1;
        keys.c_cc[VTIME] = 0;
        have_keys = true;
    }
    el_wset(el, EL_CLIENTDATA, (void*)this);
    el_wset(el, EL_EDITOR, L"emacs");
    el_wset(el, EL_GETCFN, next_key);
    el_wset(el, EL_PROMPT, prompt_of);
    el_wset(el, EL_ADDFN, L"rk-complete", L"Complete a name in the folder", complete);
    el_wset(el, EL_BIND, L"^I", L"rk-complete", nullptr);
    return true;
}

void editor::key_mode() {
    if (have_keys) tcsetattr(in, TCSANOW, &keys);
}

void editor::close() {
    if (el) el_end(el);
    el = nullptr;
    if (fin) fclose(fin);
    if (fout) fclose(fout);
    fin = fout = nullptr;
    if (loc) {
        uselocale(saved_loc ? saved_loc : LC_GLOBAL_LOCALE);
        freelocale(loc);
    }
    loc = saved_loc = (locale_t)0;
}

// The prompt's last line goes to libedit, which redraws it while editing;
// lines before it are written as they are.
read_result editor::ask(const std::string& prompt_text, std::string* line, bool name) {
    size_t nl = prompt_text.rfind('\n');
    if (nl != std::string::npos) put(out, prompt_text.substr(0, nl + 1));
    prompt = wide_of(nl == std::string::npos ? prompt_text : prompt_text.substr(nl + 1));
    HistoryW* h = history_of(name);
    if (h) el_wset(el, EL_HIST, history_w, h);
    stop = LINE;
    int count = 0;
    key_mode();
    const wchar_t* got = el_wgets(el, &count);
    key_mode();
    if (stop != LINE) {
        put(out, "\n");  // the cancelled line stays as it was; the next text starts below
        return stop;
    }
    if (!got) return END;
    size_t n = (size_t)(count > 0 ? count : 0);
    while (n > 0 && (got[n - 1] == L'\n' || got[n - 1] == L'\r')) n--;
    *line = bytes_of(got, n);
    if (h && n > 0) {
        HistEventW ev;
        history_w(h, &ev, H_ENTER, std::wstring(got, n).c_str());
    }
    return LINE;
}

// Where the dialog's answers come from: the line editor on a terminal,
// plain lines otherwise.
struct answers {
    int in, out;
    editor ed;
    bool editing = false;

    answers(int in_fd, int out_fd) : in(in_fd), out(out_fd) {
        if (isatty(in_fd)) editing = ed.open(in_fd, out_fd);
    }
    ~answers() {
        if (editing) ed.close();
    }
    answers(const answers&) = delete;
    answers& operator=(const answers&) = delete;

    // Shows the prompt and reads one answer; `name` marks a file name
    // (its own history).
    read_result ask(const std::string& prompt, std::string* line, bool name) {
        if (editing) return ed.ask(prompt, line, name);
        put(out, prompt);
        return read_line(in, line);
    }
    void complete_in(const std::string& folder) { ed.folder = folder; }
};

// ---- Filters and names ---------------------------------------------------------------

struct pair_text {
    std::string desc, pattern;
};

// The pairs of a filter list (description NUL pattern NUL ..., ended by an
// empty description).
std::vector<pair_text> pairs_of(const char* list) {
    std::vector<pair_text> v;
    if (!list) return v;
    while (*list) {
        pair_text p;
        p.desc = list;
        list += p.desc.size() + 1;
        p.pattern = list;
        list += p.pattern.size() + 1;
        v.push_back(p);
    }
    return v;
}

// The name matches one of the ';'-separated patterns, without regard to case.
bool matches(const std::string& patterns, const std::string& name) {
    std::u32string n = points_of_bytes(name, false);
    size_t start = 0;
    for (;;) {
        size_t end = patterns.find(';', start);
        std::string one = patterns.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (!one.empty() && wild_match(points_of_bytes(one, false), n)) return true;
        if (end == std::string::npos) return false;
        start = end + 1;
    }
}

// The folder's entries that match the type, sorted; folders end in '/'.
std::string listing(const std::string& folder, const std::string& patterns) {
    std::vector<std::string> names;
    if (DIR* d = opendir(folder.c_str())) {
        while (struct dirent* e = readdir(d)) {
            std::string n = e->d_name;
            if (n == "." || n == "..") continue;
            struct stat st;
            bool dir = stat((folder + "/" + n).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
            if (dir) names.push_back(n + "/");
            else if (matches(patterns, n)) names.push_back(n);
        }
        closedir(d);
    }
    std::sort(names.begin(), names.end());
    std::string out;
    for (const auto& n : names) out += "  " + n + "\n";
    if (names.empty()) out = "  (nothing)\n";
    return out;
}

std::string current_dir() {
    std::string s;
    if (char* c = getcwd(nullptr, 0)) {
        s = c;
        free(c);
    }
    return s.empty() ? "/" : s;
}

std::string join(const std::string& dir, const std::string& name) {
    if (!name.empty() && name[0] == '/') return name;
    if (dir.empty() || dir.back() == '/') return dir + name;
    return dir + "/" + name;
}

// Where the name starts (after the last '/') and where its extension starts
// (after the name's last '.'; 0 when it has none), as nFileOffset and
// nFileExtension count them.  Works on any unit type.
template <class S> void name_offsets(const S& path, uint16_t* offset, uint16_t* ext) {
    size_t slash = path.rfind('/');
    size_t name = slash == S::npos ? 0 : slash + 1;
    size_t dot = path.rfind('.');
    *offset = (uint16_t)name;
    *ext = (uint16_t)(dot != S::npos && dot >= name ? dot + 1 : 0);
}

// An absolute path without empty, "." and ".." components, as the system's
// dialog hands back its full path ("/a/./b/../c" is "/a/c"; ".." at the
// root stays at the root).
std::string normalize(const std::string& path) {
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find('/', start);
        if (end == std::string::npos) end = path.size();
        std::string part = path.substr(start, end - start);
        if (part == "..") {
            if (!parts.empty()) parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        start = end + 1;
    }
    std::string out;
    for (const auto& p : parts) out += "/" + p;
    return out.empty() ? "/" : out;
}

bool is_dir(const std::string& p) {
    struct stat st;
    return stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Something stands at the name, a link to nothing included.
bool name_taken(const std::string& p) {
    struct stat st;
    return lstat(p.c_str(), &st) == 0;
}

// Whether a file can be created at a name that is free, by creating it, as
// the system's save dialog does: exclusively, so that nothing that stands
// there (a file, a link, a link to nothing) is touched or followed, and
// removed at once.  "" when it can; else why not.
std::string cannot_create(const std::string& p) {
    int fd = ::open(p.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) return strerror(errno);
    ::close(fd);
    unlink(p.c_str());
    return std::string();
}

// A control character (C0 or DEL) in the answer: never part of a name.
bool has_control(const std::string& s) {
    for (unsigned char c : s)
        if (c < 0x20 || c == 0x7F) return true;
    return false;
}

bool only_blanks(const std::string& s) { return s.find_first_not_of(' ') == std::string::npos; }

// The name names a folder rather than a file: it ends in a separator, or
// its last part is "." or "..".  '\' is already '/'.
bool names_folder(const std::string& name) {
    if (name.empty()) return false;
    if (name.back() == '/') return true;
    size_t slash = name.rfind('/');
    std::string last = slash == std::string::npos ? name : name.substr(slash + 1);
    return last == "." || last == "..";
}

// ---- The dialog --------------------------------------------------------------------------

// Everything the console dialog needs from a record, as 8-bit text.
struct request {
    std::vector<pair_text> pairs;
    uint32_t index;
    std::string file, folder, title, def_ext;
    uint32_t flags;
    bool save;
};

const char kNoControl[] = "A name cannot hold control characters (Tab, Esc, cursor keys and the like).\n";

// 1 with *path and *index; 0 with *error (0 a cancel).
int run_dialog(int in, int out, const request& q, std::string* path, uint32_t* index, uint32_t* error) {
    *error = 0;
    answers a(in, out);
    std::string folder = normalize(q.folder.empty() ? current_dir() : join(current_dir(), q.folder));
    uint32_t k = q.index >= 1 && q.index <= q.pairs.size() ? q.index : 1;
    std::string text = "\n" + q.title + "\nFolder: " + folder + "\n";
    if (!is_dir(folder)) text += "Path does not exist.\n";
    for (size_t i = 0; i < q.pairs.size(); i++)
        text += std::string(i + 1 == k ? "*" : " ") + " " + std::to_string(i + 1) + "  " + q.pairs[i].desc + "   " +
                q.pairs[i].pattern + "\n";
    put(out, text);

    std::string line;
    while (q.pairs.size() > 1) {
        read_result r = a.ask("Type [" + std::to_string(k) + "]: ", &line, false);
        if (r != LINE) return 0;
        if (line.empty()) break;
        char* end = nullptr;
        unsigned long v = strtoul(line.c_str(), &end, 10);
        if (!has_control(line) && end && *end == 0 && v >= 1 && v <= q.pairs.size()) {
            k = (uint32_t)v;
            break;
        }
        put(out, "Type a number from 1 to " + std::to_string(q.pairs.size()) + ".\n");
    }
    const std::string patterns = q.pairs.empty() ? std::string("*") : q.pairs[k - 1].pattern;

    for (;;) {
        a.complete_in(folder);
        read_result r = a.ask(q.file.empty() ? std::string("File name: ") : "File name [" + q.file + "]: ", &line, true);
        if (r != LINE) return 0;
        if (has_control(line)) {
            put(out, kNoControl);
            continue;
        }
        std::string name = line.empty() ? q.file : line;
        if (only_blanks(name)) continue;  // no name, as an empty answer is none
        if (name == "?") {
            put(out, listing(folder, patterns));
            continue;
        }
        std::replace(name.begin(), name.end(), '\\', '/');
        std::string full = normalize(join(folder, name));
        if (names_folder(name) || is_dir(full)) {  // a folder: go there, as the system's dialog does
            if (is_dir(full)) {
                folder = full;
                put(out, "Folder: " + folder + "\n");
            } else {
                put(out, "Path does not exist.\n");
            }
            continue;
        }
        uint16_t off, ext;
        name_offsets(full, &off, &ext);
        if (ext != 0 && ext == full.size()) {
            // A name ending in '.' asks for no extension, as on Windows: the
            // name without the '.' unless the name as typed is there.
            if (!name_taken(full)) full.pop_back();
        } else if (!q.def_ext.empty() && ext == 0) {
            // The default extension, unless only the name as typed is there:
            // a file without an extension can still be opened.  A save
            // dialog always appends it, as the system's does.
            std::string with = full + "." + q.def_ext;
            if (q.save || name_taken(with) || !name_taken(full) || is_dir(full)) full = with;
        }
        name_offsets(full, &off, &ext);
        std::string dir = off > 1 ? full.substr(0, off - 1) : std::string("/");
        struct stat st;
        bool exists = stat(full.c_str(), &st) == 0;
        bool taken = exists || name_taken(full);  // a link to nothing is taken too
        if ((q.flags & OS_OFN_PATHMUSTEXIST) && !is_dir(dir)) {
            put(out, "Path does not exist.\n");
            continue;
        }
        if ((q.flags & OS_OFN_FILEMUSTEXIST) && !exists) {
            put(out, "File does not exist.\n");
            continue;
        }
        if (exists && S_ISDIR(st.st_mode)) {  // "a." or "a" + extension that is a folder
            folder = full;
            put(out, "Folder: " + folder + "\n");
            continue;
        }
        // Read-only as Windows has it: nobody may write (root may still, as
        // an administrator may clear the attribute), or we may not.
        if ((q.flags & OS_OFN_NOREADONLYRETURN) && exists &&
            ((st.st_mode & 0222) == 0 || access(full.c_str(), W_OK) != 0)) {
            put(out, "File is read-only.\n");
            continue;
        }
        if (q.save && !taken) {
            std::string why = cannot_create(full);
            if (!why.empty()) {
                put(out, "File cannot be created: " + why + ".\n");
                continue;
            }
        }
        if ((q.flags & OS_OFN_OVERWRITEPROMPT) && taken) {
            r = a.ask("File already exists. Replace it? [y/N] ", &line, false);
            if (r != LINE) return 0;
            if (line.empty() || (line[0] != 'y' && line[0] != 'Y')) continue;
        }
        *path = full;
        *index = k;
        return 1;
    }
}

std::string text_of(const char* s) { return s ? std::string(s) : std::string(); }

std::string text_of(const char16_t* s) {
    std::string out;
    if (s && !utf16_to_utf8(s, out, false)) out.clear();
    return out;
}

// The filter list of a 16-bit record as 8-bit text, NULs kept.
std::string filter_text(const char16_t* list) {
    std::string out;
    if (!list) return out;
    while (*list) {
        for (int part = 0; part < 2; part++) {
            std::u16string one(list);
            out += text_of(one.c_str());
            out += '\0';
            list += one.size() + 1;
        }
    }
    out += '\0';
    return out;
}

template <class Rec> request request_of(const Rec* d, const char* filter, bool save) {
    request q;
    q.save = save;
    q.pairs = pairs_of(filter);
    q.index = d->filter_index;
    q.file = text_of(d->file);
    q.folder = text_of(d->initial_dir);
    q.title = text_of(d->title);
    q.def_ext = text_of(d->def_ext);
    q.flags = d->flags;
    std::replace(q.folder.begin(), q.folder.end(), '\\', '/');
    return q;
}

}  // namespace

int console_dialogA(int in_fd, int out_fd, os_filedlgA* d, uint32_t* error, bool save) {
    uint32_t dummy;
    if (!error) error = &dummy;
    try {
        request q = request_of(d, d->filter, save);
        std::string path;
        uint32_t index;
        if (!run_dialog(in_fd, out_fd, q, &path, &index, error)) return 0;
        if (path.size() + 1 > d->max_file) {
            *error = OS_FNERR_BUFFERTOOSMALL;
            return 0;
        }
        memcpy(d->file, path.c_str(), path.size() + 1);
        d->filter_index = index;
        name_offsets(path, &d->file_offset, &d->file_extension);
        return 1;
    } catch (...) {
        *error = OS_CDERR_DIALOGFAILURE;
        return 0;
    }
}

int console_dialogW(int in_fd, int out_fd, os_filedlgW* d, uint32_t* error) {
    uint32_t dummy;
    if (!error) error = &dummy;
    try {
        std::string filter = filter_text(d->filter);
        request q = request_of(d, filter.c_str(), false);
        std::string path;
        uint32_t index;
        if (!run_dialog(in_fd, out_fd, q, &path, &index, error)) return 0;
        std::u16string w = utf8_to_utf16(path);
        if (w.size() + 1 > d->max_file) {
            *error = OS_FNERR_BUFFERTOOSMALL;
            return 0;
        }
        std::copy(w.begin(), w.end(), d->file);
        d->file[w.size()] = 0;
        d->filter_index = index;
        name_offsets(w, &d->file_offset, &d->file_extension);
        return 1;
    } catch (...) {
        *error = OS_CDERR_DIALOGFAILURE;
        return 0;
    }
}

int console_ask(int in_fd, int out_fd, const char* text, const char* caption) {
    try {
        answers a(in_fd, out_fd);
        std::string line;
        if (a.ask("\n" + text_of(caption) + ": " + text_of(text) + " [y/N] ", &line, false) != LINE) return -1;
        return !line.empty() && (line[0] == 'y' || line[0] == 'Y');
    } catch (...) {
        return 0;
    }
}

// ---- The services ------------------------------------------------------------------------

namespace {

uint32_t g_dialog_error = 0;

// Runs fn(fd) on the controlling terminal in canonical mode with echo (the
// mode the line editor takes for the terminal's own, and the one a dialog
// without the editor reads its lines in), and puts the terminal's mode back
// afterwards.  false when there is no terminal to ask.
template <class Fn> bool on_terminal(Fn fn) {
    pid_t fg = isatty(STDIN_FILENO) ? tcgetpgrp(STDIN_FILENO) : -1;
    if (fg < 0 || fg != getpgrp()) return false;
    int fd = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return false;
    // A Ctrl-C still latched from before (one that cancelled an earlier
    // dialog, say) must not cancel this one unseen: the question waits for
    // the user.  One pressed while it is open cancels it and stays latched.
    sigint_drop();
    // Keys typed before it opened are dropped for the same reason: the
    // second of two Ctrl-Ds that cancelled the last dialog must not cancel
    // this one.
    tcflush(fd, TCIFLUSH);
    fflush(stdout);
    struct termios saved;
    bool have = tcgetattr(fd, &saved) == 0;
    if (have) {
        struct termios t = saved;
        t.c_lflag |= ICANON | ECHO | ISIG;
        t.c_iflag |= ICRNL;
        tcsetattr(fd, TCSANOW, &t);
    }
    fn(fd);
    if (have) tcsetattr(fd, TCSANOW, &saved);
    close(fd);
    return true;
}

template <class Core> int dialog_service(Core core) {
    g_dialog_error = 0;
    int r = 0;
    if (!on_terminal([&](int fd) { r = core(fd, &g_dialog_error); })) {
        g_dialog_error = OS_CDERR_DIALOGFAILURE;
        return 0;
    }
    return r;
}

}  // namespace

int native_open_dialogW(os_filedlgW* d) {
    return dialog_service([&](int fd, uint32_t* e) { return console_dialogW(fd, fd, d, e); });
}
int native_open_dialogA(os_filedlgA* d) {
    return dialog_service([&](int fd, uint32_t* e) { return console_dialogA(fd, fd, d, e, false); });
}
int native_save_dialogA(os_filedlgA* d) {
    return dialog_service([&](int fd, uint32_t* e) { return console_dialogA(fd, fd, d, e, true); });
}
uint32_t native_dialog_error(void) { return g_dialog_error; }

int native_ask_yes_no(const char* text, const char* caption) {
    int r = 0;  // No when nobody can be asked
    on_terminal([&](int fd) { r = console_ask(fd, fd, text, caption); });
    return r;
}

}  // namespace platform_detail

#endif  // !_WIN32
