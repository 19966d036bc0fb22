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
// entries that match the chosen type.  A relative name joins the folder.
// The record's flags are applied as the system applies them (a missing
// folder, a missing file, a read-only file and an existing file each ask
// again), the default extension is appended to a name without one, and the
// result is the absolute path with the filter index and name offsets set.
// End of input (Ctrl-D) and Ctrl-C cancel; Ctrl-C also stays latched for the
// next key poll, as a Windows console keeps the key, but not for the next
// dialog: each one forgets a latched Ctrl-C when it opens and waits for
// the user.
//
// It runs only when standard input is a terminal and the process is in its
// foreground group, as the key poll does; it then prompts on /dev/tty, so
// that a redirected standard output keeps only the program's own lines.
// While it prompts the terminal is in canonical mode with echo; afterwards
// it gets back the mode it had (the key poll's, once that has run).  Without
// a terminal every dialog fails with CDERR_DIALOGFAILURE: nobody could be
// asked, and calling that a cancel would hide it.  The Yes/No question uses
// the same terminal and answers No without one.
//
// Division: reading and writing; filters and names; the dialog; the
// services.

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
#include <poll.h>
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

enum read_result { LINE, END, INTERRUPTED };

// One line without its line end.  The descriptor is polled in short steps,
// because the Ctrl-C handler restarts interrupted calls: a blocking read
// would never see the key.  A 0x03 byte (Ctrl-C where the terminal does not
// turn it into a signal, or in a pipe) interrupts; 0x04 at the start of a
// line ends the input as Ctrl-D does.
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
        if (c == 4 && line->empty()) return END;
        if (c == '\n' || c == '\r') return LINE;
        *line += c;
    }
}

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

// ---- The dialog --------------------------------------------------------------------------

// Everything the console dialog needs from a record, as 8-bit text.
struct request {
    std::vector<pair_text> pairs;
    uint32_t index;
    std::string file, folder, title, def_ext;
    uint32_t flags;
};

// 1 with *path and *index; 0 with *error (0 a cancel).
int run_dialog(int in, int out, const request& q, std::string* path, uint32_t* index, uint32_t* error) {
    *error = 0;
    std::string folder = normalize(q.folder.empty() ? current_dir() : join(current_dir(), q.folder));
    uint32_t k = q.index >= 1 && q.index <= q.pairs.size() ? q.index : 1;
    std::string text = "\n" + q.title + "\nFolder: " + folder + "\n";
    for (size_t i = 0; i < q.pairs.size(); i++)
        text += std::string(i + 1 == k ? "*" : " ") + " " + std::to_string(i + 1) + "  " + q.pairs[i].desc + "   " +
                q.pairs[i].pattern + "\n";
    put(out, text);

    std::string line;
    while (q.pairs.size() > 1) {
        put(out, "Type [" + std::to_string(k) + "]: ");
        read_result r = read_line(in, &line);
        if (r != LINE) return 0;
        if (line.empty()) break;
        char* end = nullptr;
        unsigned long v = strtoul(line.c_str(), &end, 10);
        if (end && *end == 0 && v >= 1 && v <= q.pairs.size()) {
            k = (uint32_t)v;
            break;
        }
        put(out, "Type a number from 1 to " + std::to_string(q.pairs.size()) + ".\n");
    }
    const std::string patterns = q.pairs.empty() ? std::string("*") : q.pairs[k - 1].pattern;

    for (;;) {
        put(out, q.file.empty() ? std::string("File name: ") : "File name [" + q.file + "]: ");
        read_result r = read_line(in, &line);
        if (r != LINE) return 0;
        std::string name = line.empty() ? q.file : line;
        if (name.empty()) continue;
        if (name == "?") {
            put(out, listing(folder, patterns));
            continue;
        }
        std::replace(name.begin(), name.end(), '\\', '/');
        std::string full = normalize(join(folder, name));
        if (is_dir(full)) {  // a folder typed: go there, as the system's dialog does
            folder = full;
            put(out, "Folder: " + folder + "\n");
            continue;
        }
        uint16_t off, ext;
        name_offsets(full, &off, &ext);
        if (!q.def_ext.empty() && ext == 0) full += "." + q.def_ext;
        std::string dir = off > 1 ? full.substr(0, off - 1) : std::string("/");
        struct stat st;
        bool exists = stat(full.c_str(), &st) == 0;
        if ((q.flags & OS_OFN_PATHMUSTEXIST) && !is_dir(dir)) {
            put(out, "Path does not exist.\n");
            continue;
        }
        if ((q.flags & OS_OFN_FILEMUSTEXIST) && !exists) {
            put(out, "File does not exist.\n");
            continue;
        }
        // Read-only as Windows has it: nobody may write (root may still, as
        // an administrator may clear the attribute), or we may not.
        if ((q.flags & OS_OFN_NOREADONLYRETURN) && exists &&
            ((st.st_mode & 0222) == 0 || access(full.c_str(), W_OK) != 0)) {
            put(out, "File is read-only.\n");
            continue;
        }
        if ((q.flags & OS_OFN_OVERWRITEPROMPT) && exists) {
            put(out, "File already exists. Replace it? [y/N] ");
            r = read_line(in, &line);
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

template <class Rec> request request_of(const Rec* d, const char* filter) {
    request q;
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

int console_dialogA(int in_fd, int out_fd, os_filedlgA* d, uint32_t* error) {
    uint32_t dummy;
    if (!error) error = &dummy;
    try {
        request q = request_of(d, d->filter);
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
        request q = request_of(d, filter.c_str());
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
        put(out_fd, "\n" + text_of(caption) + ": " + text_of(text) + " [y/N] ");
        std::string line;
        if (read_line(in_fd, &line) != LINE) return 0;
        return !line.empty() && (line[0] == 'y' || line[0] == 'Y');
    } catch (...) {
        return 0;
    }
}

// ---- The services ------------------------------------------------------------------------

namespace {

uint32_t g_dialog_error = 0;

// Runs fn(fd) on the controlling terminal in canonical mode with echo, and
// puts the terminal's mode back afterwards.  -1 when there is no terminal
// to ask.
template <class Fn> int on_terminal(Fn fn) {
    pid_t fg = isatty(STDIN_FILENO) ? tcgetpgrp(STDIN_FILENO) : -1;
    if (fg < 0 || fg != getpgrp()) return -1;
    int fd = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return -1;
    // A Ctrl-C still latched from before (one that cancelled an earlier
    // dialog, say) must not cancel this one unseen: the question waits for
    // the user.  One pressed while it is open cancels it and stays latched.
    sigint_drop();
    fflush(stdout);
    struct termios saved;
    bool have = tcgetattr(fd, &saved) == 0;
    if (have) {
        struct termios t = saved;
        t.c_lflag |= ICANON | ECHO | ISIG;
        t.c_iflag |= ICRNL;
        tcsetattr(fd, TCSANOW, &t);
    }
    int r = fn(fd);
    if (have) tcsetattr(fd, TCSANOW, &saved);
    close(fd);
    return r;
}

template <class Rec, class Core> int dialog_service(Rec* d, Core core) {
    g_dialog_error = 0;
    int r = on_terminal([&](int fd) { return core(fd, fd, d, &g_dialog_error); });
    if (r < 0) {
        g_dialog_error = OS_CDERR_DIALOGFAILURE;
        return 0;
    }
    return r;
}

}  // namespace

int native_open_dialogW(os_filedlgW* d) { return dialog_service(d, console_dialogW); }
int native_open_dialogA(os_filedlgA* d) { return dialog_service(d, console_dialogA); }
int native_save_dialogA(os_filedlgA* d) { return dialog_service(d, console_dialogA); }
uint32_t native_dialog_error(void) { return g_dialog_error; }

int native_ask_yes_no(const char* text, const char* caption) {
    int r = on_terminal([&](int fd) { return console_ask(fd, fd, text, caption); });
    return r > 0 ? 1 : 0;
}

}  // namespace platform_detail

#endif  // !_WIN32
