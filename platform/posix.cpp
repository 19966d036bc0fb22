// posix.cpp - the platform layer on Linux and other POSIX systems: the
// nearest honest equivalent of each Windows service the program calls.
//
// Division:
//   1. names and errors    UTF-16 and UTF-8 names, '\' turned into '/',
//                          errno turned into the Windows codes
//   2. files               openW, read, write, seek, size, close, lasterror,
//                          fopen, remove, same_file, replace, the runtime's FILE
//                          calls, removeW
//   3. search and times    findfirst/findnext/findclose, attributes, file
//                          times, local time
//   4. console input       the key poll on a terminal, the Ctrl-C latch,
//                          restoring the terminal at exit and on fatal signals
//   5. locale and version  code pages, language, lead bytes, host name
//   6. process             command line, current directory, sleep, cores,
//                          one heap for all threads, message box
//   7. the table and os_init
//
// What cannot be had here: Windows opens files with share mode 0 (nobody else
// may open them meanwhile); POSIX has no such lock, so two programs can open
// the same file at once.  There is no Windows version to report; get_version
// and rtl_get_version say so and host_system names the real system instead.
//
// Threads.  The movie writers decode frames ahead on worker threads, which
// call the file services (open, read, seek, size, close, the runtime's FILE
// calls) and cpu_count; the last error is kept per thread for them, as
// Windows keeps it.  The rest of the state below (terminal, locale, command
// line, the heap setting) is process-wide and touched only by the main
// thread, which alone polls the keyboard and prints; the flags that signal
// handlers set are volatile sig_atomic_t.

#if !defined(_WIN32)

#include "platform/platform.h"
#include "platform/posix_internal.h"
#include "platform/console_look.h"
#include "platform/dialog_internal.h"

#include <algorithm>
#include <cerrno>
#include <clocale>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <cwctype>
#include <new>
#include <string>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <langinfo.h>
#include <locale.h>
#if defined(__GLIBC__)
#include <malloc.h>
#endif
#include <poll.h>
#include <sched.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <termios.h>
#include <unistd.h>

using namespace platform_detail;

// ============================================================================
// 1. Names and errors
// ============================================================================

namespace {

// The cause of the last refused call, as GetLastError keeps it: one per
// thread, set by every failure, left alone by successes.
thread_local uint32_t g_last_error = 0;

void set_error(uint32_t code) { g_last_error = code; }
void set_errno_error(int e, const char* path) { g_last_error = map_errno(e, path); }

}  // namespace

namespace platform_detail {

bool utf16_to_utf8(const char16_t* s, std::string& out, bool slashes) {
    out.clear();
    for (size_t i = 0; s[i] != 0; i++) {
        uint32_t c = s[i];
        if (c >= 0xD800 && c <= 0xDBFF) {
            uint32_t d = s[i + 1];
            if (d < 0xDC00 || d > 0xDFFF) return false;  // a 0 unit also ends here
            c = 0x10000 + ((c - 0xD800) << 10) + (d - 0xDC00);
            i++;
        } else if (c >= 0xDC00 && c <= 0xDFFF) {
            return false;
        }
        if (c == '\\' && slashes) c = '/';
        if (c < 0x80) {
            out += (char)c;
        } else if (c < 0x800) {
            out += (char)(0xC0 | (c >> 6));
            out += (char)(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += (char)(0xE0 | (c >> 12));
            out += (char)(0x80 | ((c >> 6) & 0x3F));
            out += (char)(0x80 | (c & 0x3F));
        } else {
            out += (char)(0xF0 | (c >> 18));
            out += (char)(0x80 | ((c >> 12) & 0x3F));
            out += (char)(0x80 | ((c >> 6) & 0x3F));
            out += (char)(0x80 | (c & 0x3F));
        }
    }
    return true;
}

}  // namespace platform_detail

namespace {

// One well-formed UTF-8 sequence at s[i]: its length and code point, or 0
// when the byte there does not start one.  Overlong forms, encoded
// surrogates and values beyond U+10FFFF are not well formed.
size_t utf8_sequence(std::string_view s, size_t i, char32_t* cp) {
    uint8_t b0 = (uint8_t)s[i];
    if (b0 < 0x80) { *cp = b0; return 1; }
    size_t n;
    uint32_t c;
    uint8_t lo = 0x80, hi = 0xBF;  // allowed range of the second byte
    if (b0 >= 0xC2 && b0 <= 0xDF) { n = 2; c = b0 & 0x1F; }
    else if (b0 >= 0xE0 && b0 <= 0xEF) {
        n = 3; c = b0 & 0x0F;
        if (b0 == 0xE0) lo = 0xA0;
        if (b0 == 0xED) hi = 0x9F;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        n = 4; c = b0 & 0x07;
        if (b0 == 0xF0) lo = 0x90;
        if (b0 == 0xF4) hi = 0x8F;
    } else {
        return 0;
    }
    if (i + n > s.size()) return 0;
    for (size_t k = 1; k < n; k++) {
        uint8_t b = (uint8_t)s[i + k];
        if (k == 1 ? (b < lo || b > hi) : (b < 0x80 || b > 0xBF)) return 0;
        c = (c << 6) | (b & 0x3F);
    }
    *cp = c;
    return n;
}

void append_utf16(std::u16string& out, char32_t c) {
    if (c >= 0x10000) {
        c -= 0x10000;
        out += (char16_t)(0xD800 + (c >> 10));
        out += (char16_t)(0xDC00 + (c & 0x3FF));
    } else {
        out += (char16_t)c;
    }
}

// UTF-16 for display (message boxes): unpaired surrogates become U+FFFD.
std::string utf16_for_display(const char16_t* s) {
    std::string out;
    if (!s) return out;
    std::u16string fixed;
    for (size_t i = 0; s[i] != 0; i++) {
        char16_t c = s[i];
        if (c >= 0xD800 && c <= 0xDBFF && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
            fixed += c;
            fixed += s[++i];
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            fixed += (char16_t)0xFFFD;
        } else {
            fixed += c;
        }
    }
    utf16_to_utf8(fixed.c_str(), out, false);
    return out;
}

}  // namespace

namespace platform_detail {

std::u16string utf8_to_utf16(std::string_view s) {
    std::u16string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size();) {
        char32_t c;
        size_t n = utf8_sequence(s, i, &c);
        if (n == 0) { out += (char16_t)0xFFFD; i++; continue; }
        append_utf16(out, c);
        i += n;
    }
    return out;
}

std::string to_posix_path(const char* name) {
    std::string p(name ? name : "");
    std::replace(p.begin(), p.end(), '\\', '/');
    return p;
}

uint32_t map_errno(int e, const char* path) {
    switch (e) {
    case ENOENT: {
        // Windows tells a missing file (2) from a missing directory on the
        // way (3): look at the parent.
        if (!path) return OS_ERR_FILE_NOT_FOUND;
        if (!*path) return OS_ERR_PATH_NOT_FOUND;
        std::string parent(path);
        while (parent.size() > 1 && parent.back() == '/') parent.pop_back();
        size_t cut = parent.rfind('/');
        if (cut == std::string::npos) parent = ".";
        else parent.resize(cut == 0 ? 1 : cut);
        struct stat st;
        if (stat(parent.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return OS_ERR_FILE_NOT_FOUND;
        return OS_ERR_PATH_NOT_FOUND;
    }
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP:
        return OS_ERR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EISDIR:
    case EROFS:
        return OS_ERR_ACCESS_DENIED;
    case EBADF:
        return OS_ERR_INVALID_HANDLE;
    case EBUSY:
    case ETXTBSY:
        return OS_ERR_SHARING;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        return OS_ERR_DISK_FULL;
    case ENOMEM:
        return ERR_NOT_ENOUGH_MEMORY;
    default:
        return OS_ERR_OTHER;
    }
}

}  // namespace platform_detail

// ============================================================================
// 2. Files
// ============================================================================
//
// A handle is the descriptor plus one, so that descriptor 0 is not the null
// handle.  Descriptors are opened with O_CLOEXEC so that nothing the program
// might start inherits them.

namespace {

os_file handle_of(int fd) { return (os_file)(intptr_t)(fd + 1); }
int fd_of(os_file f) { return handle_fd(f); }

// Opens `path` (POSIX form) as openW's `how` asks.  Only regular files and
// devices are taken: a directory is refused with 5 as Windows refuses it,
// and so are FIFOs and sockets, which a movie tool must never block on (the
// open itself is non-blocking for that reason and blocking again after it).
// Files created get mode 0666 less the umask.
os_file open_path(const std::string& path, int how) {
    int flags;
    switch (how) {
    case OS_OPEN_READ: case OS_OPEN_READ_SHARED: flags = O_RDONLY; break;
    case OS_CREATE_WRITE: flags = O_WRONLY | O_CREAT | O_TRUNC; break;
    case OS_OPEN_WRITE: flags = O_WRONLY | O_CREAT; break;
    default: set_error(ERR_INVALID_PARAMETER); return nullptr;
    }
    if (path.empty()) { set_error(OS_ERR_PATH_NOT_FOUND); return nullptr; }
    int fd;
    do fd = open(path.c_str(), flags | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0666);
    while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        // A FIFO without a reader refuses a non-blocking writer with ENXIO.
        set_errno_error(errno == ENXIO ? EACCES : errno, path.c_str());
        return nullptr;
    }
    struct stat st;
    if (fstat(fd, &st) != 0) {
        int e = errno;
        close(fd);
        set_errno_error(e, path.c_str());
        return nullptr;
    }
    if (!S_ISREG(st.st_mode) && !S_ISCHR(st.st_mode) && !S_ISBLK(st.st_mode)) {
        close(fd);
        set_error(OS_ERR_ACCESS_DENIED);
        return nullptr;
    }
    int fl = fcntl(fd, F_GETFL);
    if (fl >= 0) fcntl(fd, F_SETFL, fl & ~O_NONBLOCK);
    return handle_of(fd);
}

os_file openW_body(const char16_t* name, int how) {
    if (!name) { set_error(ERR_INVALID_PARAMETER); return nullptr; }
    std::string path;
    if (!utf16_to_utf8(name, path, true)) { set_error(ERR_INVALID_NAME); return nullptr; }
    return open_path(path, how);
}

// The names are built in strings; running out of memory for one is a
// refusal like any other, never an exception through the table.
os_file posix_openW(const char16_t* name, int how) {
    try {
        return openW_body(name, how);
    } catch (...) {
        set_error(ERR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
}

// Reads until n bytes, the end of the file or an error.  An error after some
// bytes arrived still delivers them (1); the next call meets the error again.
int posix_read(os_file f, void* buf, uint32_t n, uint32_t* got) {
    if (got) *got = 0;
    if (!f) { set_error(OS_ERR_INVALID_HANDLE); return 0; }
    int fd = fd_of(f);
    uint8_t* p = (uint8_t*)buf;
    uint32_t total = 0;
    while (total < n) {
        ssize_t r = ::read(fd, p + total, n - total);
        if (r < 0) {
            if (errno == EINTR) continue;
            if (total > 0) break;
            set_errno_error(errno, nullptr);
            return 0;
        }
        if (r == 0) break;
        total += (uint32_t)r;
    }
    if (got) *got = total;
    return 1;
}

// Writes all n bytes, looping over short transfers.  A failure after some
// bytes went out gives 1 with the short count and the cause in lasterror
// (112 for a full disk); a failure before any byte gives 0.
int posix_write(os_file f, const void* buf, uint32_t n, uint32_t* put) {
    if (put) *put = 0;
    if (!f) { set_error(OS_ERR_INVALID_HANDLE); return 0; }
    int fd = fd_of(f);
    const uint8_t* p = (const uint8_t*)buf;
    uint32_t total = 0;
    while (total < n) {
        ssize_t r = ::write(fd, p + total, n - total);
        if (r < 0) {
            if (errno == EINTR) continue;
            set_errno_error(errno, nullptr);
            if (total == 0) return 0;
            break;
        }
        if (r == 0) {  // no progress and no cause: count it as a full disk
            set_error(OS_ERR_DISK_FULL);
            if (total == 0) return 0;
            break;
        }
        total += (uint32_t)r;
    }
    if (put) *put = total;
    return 1;
}

// Moves the file pointer.  The target is computed first and refused with 131
// when it lies before the start (the pointer then stays), with 87 for an
// unknown origin or a target past 2^63.
int posix_seek(os_file f, int64_t dist, int origin, int64_t* newpos) {
    if (!f) { set_error(OS_ERR_INVALID_HANDLE); return 0; }
    int fd = fd_of(f);
    int64_t base;
    switch (origin) {
    case OS_SEEK_BEGIN: base = 0; break;
    case OS_SEEK_CURRENT: {
        off_t cur = lseek(fd, 0, SEEK_CUR);
        if (cur < 0) { set_errno_error(errno, nullptr); return 0; }
        base = cur;
        break;
    }
    case OS_SEEK_END: {
        struct stat st;
        if (fstat(fd, &st) != 0) { set_errno_error(errno, nullptr); return 0; }
        base = st.st_size;
        break;
    }
    default: set_error(ERR_INVALID_PARAMETER); return 0;
    }
    int64_t target;
    if (__builtin_add_overflow(base, dist, &target)) {
        set_error(dist < 0 ? (uint32_t)OS_ERR_NEGATIVE_SEEK : (uint32_t)ERR_INVALID_PARAMETER);
        return 0;
    }
    if (target < 0) { set_error(OS_ERR_NEGATIVE_SEEK); return 0; }
    off_t r = lseek(fd, (off_t)target, SEEK_SET);
    if (r < 0) {  // EINVAL: beyond what the file system can address
        if (errno == EINVAL) set_error(ERR_INVALID_PARAMETER);
        else set_errno_error(errno, nullptr);
        return 0;
    }
    if (newpos) *newpos = r;
    return 1;
}

int posix_size(os_file f, int64_t* size) {
    if (!f) { set_error(OS_ERR_INVALID_HANDLE); return 0; }
    struct stat st;
    if (fstat(fd_of(f), &st) != 0) { set_errno_error(errno, nullptr); return 0; }
    if (size) *size = st.st_size;
    return 1;
}

// Closes the descriptor.  The descriptor is gone whatever close answers
// (Linux never leaves it open after EINTR), so it is not retried; an error
// that close reports (a network file system that could not write back, a
// full disk seen late) is still a failure of the file and gives 0.
int posix_close(os_file f) {
    if (!f) { set_error(OS_ERR_INVALID_HANDLE); return 0; }
    if (close(fd_of(f)) != 0 && errno != EINTR) {
        set_errno_error(errno, nullptr);
        return 0;
    }
    return 1;
}

uint32_t posix_lasterror(void) { return g_last_error; }

// The runtime's fopen with '\' turned into '/', the descriptor made
// close-on-exec, and a directory refused for every mode (Linux would open
// one for reading): errno EISDIR, lasterror 5.  A FIFO or a socket is
// refused before the open, which would wait for a writer (errno EACCES,
// lasterror 5).  Other failures keep the runtime's errno and set lasterror
// from it.
FILE* fopen_body(const char* name, const char* mode) {
    if (!name || !mode) { errno = EINVAL; set_error(ERR_INVALID_PARAMETER); return nullptr; }
    std::string path = to_posix_path(name);
    struct stat pre;
    if (stat(path.c_str(), &pre) == 0 && (S_ISFIFO(pre.st_mode) || S_ISSOCK(pre.st_mode))) {
        set_error(OS_ERR_ACCESS_DENIED);
        errno = EACCES;
        return nullptr;
    }
    char m[16];
    size_t len = strnlen(mode, sizeof m - 2);
    memcpy(m, mode, len);
    m[len] = 'e';  // O_CLOEXEC
    m[len + 1] = 0;
    FILE* fp = ::fopen(path.c_str(), m);
    if (!fp) {
        int e = errno;
        set_errno_error(e, path.c_str());
        errno = e;
        return nullptr;
    }
    struct stat st;
    if (fstat(fileno(fp), &st) == 0 && S_ISDIR(st.st_mode)) {
        fclose(fp);
        set_error(OS_ERR_ACCESS_DENIED);
        errno = EISDIR;
        return nullptr;
    }
    return fp;
}

FILE* posix_fopen(const char* name, const char* mode) {
    try {
        return fopen_body(name, mode);
    } catch (...) {
        set_error(ERR_NOT_ENOUGH_MEMORY);
        errno = ENOMEM;
        return nullptr;
    }
}

// Both removes take files only, as on Windows: unlink, which refuses a
// directory.  A device node is refused too (errno EACCES, lasterror 5), as
// Windows refuses to delete a device: a writer that removes the output it
// could not finish must never take /dev/full or /dev/null away, which a
// process running as root otherwise would.  Running out of memory for the
// name is a refusal like any other, never an exception through the table.
int unlink_path(const std::string& path) {
    struct stat st;
    if (lstat(path.c_str(), &st) == 0 && (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode))) {
        set_error(OS_ERR_ACCESS_DENIED);
        errno = EACCES;
        return -1;
    }
    if (unlink(path.c_str()) != 0) {
        int e = errno;
        set_errno_error(e, path.c_str());
        errno = e;
        return -1;
    }
    return 0;
}

template <class Body>
int remove_guarded(Body body) {
    try {
        return body();
    } catch (...) {
        set_error(ERR_NOT_ENOUGH_MEMORY);
        errno = ENOMEM;
        return -1;
    }
}

int posix_remove(const char* name) {
    return remove_guarded([name] {
        if (!name) { errno = EINVAL; set_error(ERR_INVALID_PARAMETER); return -1; }
        return unlink_path(to_posix_path(name));
    });
}

int posix_removeW(const char16_t* name) {
    return remove_guarded([name] {
        if (!name) { errno = EINVAL; set_error(ERR_INVALID_PARAMETER); return -1; }
        std::string path;
        if (!utf16_to_utf8(name, path, true)) { errno = EINVAL; set_error(ERR_INVALID_NAME); return -1; }
        return unlink_path(path);
    });
}

// The runtime's FILE calls.  A failed write, flush or close also sets
// lasterror from errno (ENOSPC and EFBIG are a full disk), as a failed system
// write does; reads and seeks leave it as it is.
void note_file_error(FILE* f) {
    if (f && ferror(f)) set_errno_error(errno, nullptr);
}
size_t posix_fread(void* buf, size_t size, size_t count, FILE* f) { return ::fread(buf, size, count, f); }
size_t posix_fwrite(const void* buf, size_t size, size_t count, FILE* f) {
    size_t put = ::fwrite(buf, size, count, f);
    if (put < count) note_file_error(f);
    return put;
}
int posix_fgetc(FILE* f) { return ::fgetc(f); }
int posix_ferror(FILE* f) { return ::ferror(f) ? 1 : 0; }
int posix_fputc(int c, FILE* f) {
    int r = ::fputc(c, f);
    if (r == EOF) note_file_error(f);
    return r;
}
int posix_fseek64(FILE* f, int64_t offset, int origin) { return ::fseeko(f, (off_t)offset, origin); }
int64_t posix_ftell64(FILE* f) { return (int64_t)::ftello(f); }
int posix_fflush(FILE* f) {
    int r = ::fflush(f);
    if (r != 0) set_errno_error(errno, nullptr);
    return r;
}
int posix_fclose(FILE* f) {
    int r = ::fclose(f);
    if (r != 0) set_errno_error(errno, nullptr);
    return r;
}

// stat follows symbolic links, so a link and its target count as one file,
// as they are one file to a writer.
int same_file_body(const char* a, const char* b) {
    if (!a || !b) return 0;
    struct stat sa, sb;
    if (stat(to_posix_path(a).c_str(), &sa) != 0 || stat(to_posix_path(b).c_str(), &sb) != 0) return 0;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino ? 1 : 0;
}

int posix_same_file(const char* a, const char* b) {
    try {
        return same_file_body(a, b);
    } catch (...) {
        return 0;
    }
}

// The directory part of a POSIX path, for its fsync: "." when there is none.
std::string dir_of(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

int replace_body(const char* tmp, const char* target) {
    if (!tmp || !target) { set_error(ERR_INVALID_PARAMETER); return 0; }
    std::string from = to_posix_path(tmp), to = to_posix_path(target);
    struct stat st;
    if (lstat(to.c_str(), &st) != 0) { set_errno_error(errno, to.c_str()); return 0; }
    if (!S_ISREG(st.st_mode) || !(st.st_mode & S_IWUSR)) { set_error(OS_ERR_ACCESS_DENIED); return 0; }
    if (access(to.c_str(), W_OK) != 0) { set_errno_error(errno, to.c_str()); return 0; }
    int fd = open(from.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) { set_errno_error(errno, from.c_str()); return 0; }
    struct stat ts;
    if (fstat(fd, &ts) != 0 || !S_ISREG(ts.st_mode)) {
        close(fd);
        set_error(OS_ERR_ACCESS_DENIED);
        return 0;
    }
    // The owner and group first (a change of owner may clear the set-id
    // bits, which the mode then puts back).  Only where the process may:
    // root gives the file to anyone, a user only to a group of its own (the
    // group alone is tried then); a refusal leaves the new file the
    // process's, as any file it makes.
    if ((ts.st_uid != st.st_uid || ts.st_gid != st.st_gid) && fchown(fd, st.st_uid, st.st_gid) != 0)
        (void)!fchown(fd, (uid_t)-1, st.st_gid);
    if (fchmod(fd, st.st_mode & 07777) != 0 || fsync(fd) != 0) {
        int e = errno;
        close(fd);
        set_errno_error(e, from.c_str());
        return 0;
    }
    if (close(fd) != 0 && errno != EINTR) { set_errno_error(errno, from.c_str()); return 0; }
    if (rename(from.c_str(), to.c_str()) != 0) { set_errno_error(errno, to.c_str()); return 0; }
    // The rename is done: the target is the new file.  The directory's fsync
    // makes it durable; a file system that cannot fsync a directory (EINVAL)
    // does not undo it, so its answer does not turn the replace into a
    // failure.
    int dfd = open(dir_of(to).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        fsync(dfd);
        close(dfd);
    }
    return 1;
}

int posix_replace(const char* tmp, const char* target) {
    try {
        return replace_body(tmp, target);
    } catch (...) {
        set_error(ERR_NOT_ENOUGH_MEMORY);
        return 0;
    }
}

}  // namespace

// ============================================================================
// 3. Search and times
// ============================================================================

namespace {

// The C library's UTF-8 case tables, independent of the user's locale.
locale_t utf8_locale() {
    static locale_t loc = newlocale(LC_CTYPE_MASK, "C.UTF-8", (locale_t)0);
    return loc;
}

}  // namespace

namespace platform_detail {

char32_t upper(char32_t c) {
    if (c < 0x80) return (c >= 'a' && c <= 'z') ? c - 32 : c;
    if (c >= 0x10000 || (c >= 0xD800 && c <= 0xDFFF)) return c;
    locale_t loc = utf8_locale();
    if (!loc) return c;
    wint_t u = towupper_l((wint_t)c, loc);
    return (u < 0x10000 && !(u >= 0xD800 && u <= 0xDFFF)) ? (char32_t)u : c;
}

std::u32string points_of_bytes(std::string_view s, bool cp932) {
    std::u32string out;
    for (size_t i = 0; i < s.size();) {
        uint8_t b = (uint8_t)s[i];
        if (cp932) {
            bool lead = (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
            if (lead && i + 1 < s.size()) {
                out += (char32_t)(0x120000 + (b << 8) + (uint8_t)s[i + 1]);
                i += 2;
            } else {
                out += (char32_t)(b < 0x80 ? b : 0x110000 + b);
                i++;
            }
            continue;
        }
        char32_t c;
        size_t n = utf8_sequence(s, i, &c);
        if (n == 0) { out += (char32_t)(0x110000 + b); i++; continue; }
        out += c;
        i += n;
    }
    return out;
}

std::u32string points_of_utf16(std::u16string_view s) {
    std::u32string out;
    for (size_t i = 0; i < s.size(); i++) {
        char32_t c = s[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (s[i + 1] - 0xDC00);
            i++;
        }
        out += c;
    }
    return out;
}

namespace {

// Iterative match with one backtrack point per '*' (the usual linear-space
// method: on a mismatch, let the last '*' take one more character).
bool match_plain(std::u32string_view p, std::u32string_view s) {
    size_t pi = 0, si = 0, star = std::u32string_view::npos, mark = 0;
    while (si < s.size()) {
        if (pi < p.size() && p[pi] == U'*') {
            star = pi++;
            mark = si;
        } else if (pi < p.size() && (p[pi] == U'?' || upper(p[pi]) == upper(s[si]))) {
            pi++;
            si++;
        } else if (star != std::u32string_view::npos) {
            pi = star + 1;
            si = ++mark;
        } else {
            return false;
        }
    }
    while (pi < p.size() && p[pi] == U'*') pi++;
    return pi == p.size();
}

}  // namespace

bool wild_match(std::u32string_view pat, std::u32string_view name) {
    for (;;) {
        if (match_plain(pat, name)) return true;
        size_t n = pat.size();
        if (n >= 2 && pat[n - 1] == U'.' && pat[n - 2] != U'.' && name.find(U'.') == name.npos)
            return match_plain(pat.substr(0, n - 1), name);  // "*." takes names without a dot
        if (n < 2 || pat[n - 2] != U'.' || pat[n - 1] != U'*') return false;
        pat = pat.substr(0, n - 2);
    }
}

std::u16string upper_key(std::u16string_view s) {
    std::u16string k(s);
    for (char16_t& u : k) u = (char16_t)upper(u);
    return k;
}

int name_order(std::u16string_view a, std::u16string_view b) {
    int c = upper_key(a).compare(upper_key(b));
    if (c == 0) c = a.compare(b);
    return c < 0 ? -1 : c > 0 ? 1 : 0;
}

uint64_t filetime_of(int64_t sec, long nsec) {
    const int64_t kEpochDiff = 11644473600;  // seconds from 1601 to 1970
    if (sec < -kEpochDiff) return 0;
    uint64_t s = (uint64_t)(sec + kEpochDiff);
    return s * 10000000u + (uint64_t)(nsec / 100);
}

// The usual days-from-civil arithmetic over 400-year eras (146097 days each,
// with March as the first month so that leap days come last), moved to a
// 1601 epoch (1601-01-01 is 134774 days before 1970-01-01).
void civil_of_days(int64_t days, int* year, int* month, int* day) {
    int64_t z = days - 134774 + 719468;
    int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    int64_t doe = z - era * 146097;
    int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    int64_t y = yoe + era * 400;
    int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    int64_t mp = (5 * doy + 2) / 153;
    int64_t d = doy - (153 * mp + 2) / 5 + 1;
    int64_t m = mp < 10 ? mp + 3 : mp - 9;
    *year = (int)(y + (m <= 2));
    *month = (int)m;
    *day = (int)d;
}

int64_t days_of_civil(int year, int month, int day) {
    int64_t y = year - (month <= 2);
    int64_t era = (y >= 0 ? y : y - 399) / 400;
    int64_t yoe = y - era * 400;
    int64_t doy = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468 + 134774;
}

}  // namespace platform_detail

// The search record.  The whole directory is read, filtered and sorted when
// the search starts, so findnext only walks the list.
struct os_search_s {
    struct entry {
        std::string name;      // bytes as the file system holds them
        std::u16string wname;  // UTF-16 of the name (bad bytes as U+FFFD)
        std::u16string key;    // wname uppercased: the sort key
        uint32_t attrib;
        uint64_t ctime, atime, wtime, size;
    };
    std::vector<entry> entries;
    size_t next = 0;
};

namespace {

enum { ATTR_READONLY = 0x01, ATTR_ARCHIVE = 0x20 };

bool ansi_is_932();

// Splits a search pattern into the directory to read (POSIX form, "." for
// none) and its last component.
void split_pattern(const std::string& pat, std::string* dir, std::string* last) {
    size_t cut = pat.find_last_of('/');
    if (cut == std::string::npos) { *dir = "."; *last = pat; return; }
    *dir = pat.substr(0, cut + 1);
    *last = pat.substr(cut + 1);
}

// Reads the directory and keeps the entries whose names `keep` accepts, with
// their attributes, sizes and times, sorted as NTFS would list them.
// Attributes: 0x10 for a directory; 0x20 (archive, what NTFS shows on
// ordinary files) for everything else, plus 0x01 when the owner may not
// write the file (never on a directory, where Windows gives it no meaning).  Creation time is the file's birth time where the file system
// keeps one, else its last-write time.  Names of 260 or more bytes (A) or
// units (W) do not fit the record and are skipped.  Returns null with
// lasterror set when the directory cannot be read or nothing matches (2).
template <class Keep>
os_search run_search(const std::string& dir, bool wide, Keep keep) {
    DIR* d = opendir(dir.c_str());
    if (!d) { set_errno_error(errno == ENOENT ? ENOTDIR : errno, dir.c_str()); return nullptr; }
    os_search s = new (std::nothrow) os_search_s;
    if (!s) { closedir(d); set_error(ERR_NOT_ENOUGH_MEMORY); return nullptr; }
    bool at_root = false;
    {
        struct stat a, b;
        at_root = stat(dir.c_str(), &a) == 0 && stat("/", &b) == 0 && a.st_dev == b.st_dev && a.st_ino == b.st_ino;
    }
    try {
        int dfd = dirfd(d);
        while (struct dirent* de = readdir(d)) {
            std::string name = de->d_name;
            if (at_root && (name == "." || name == "..")) continue;
            std::u16string wname = utf8_to_utf16(name);
            if (wide ? wname.size() > 259 : name.size() > 259) continue;
            if (!keep(name, wname)) continue;
            os_search_s::entry e;
            e.name = std::move(name);
            e.wname = std::move(wname);
            e.key = upper_key(e.wname);
            struct statx sx;
            int r = statx(dfd, e.name.c_str(), AT_STATX_SYNC_AS_STAT, STATX_BASIC_STATS | STATX_BTIME, &sx);
            if (r != 0)  // a link to nothing: describe the link itself
                r = statx(dfd, e.name.c_str(), AT_SYMLINK_NOFOLLOW | AT_STATX_SYNC_AS_STAT,
                          STATX_BASIC_STATS | STATX_BTIME, &sx);
            if (r != 0) memset(&sx, 0, sizeof sx);
            bool isdir = S_ISDIR(sx.stx_mode);
            e.attrib = isdir ? (uint32_t)OS_ATTR_DIRECTORY : (uint32_t)ATTR_ARCHIVE;
            if (r == 0 && !isdir && !(sx.stx_mode & S_IWUSR)) e.attrib |= ATTR_READONLY;
            e.size = isdir ? 0 : sx.stx_size;
            e.wtime = filetime_of(sx.stx_mtime.tv_sec, sx.stx_mtime.tv_nsec);
            e.atime = filetime_of(sx.stx_atime.tv_sec, sx.stx_atime.tv_nsec);
            e.ctime = (sx.stx_mask & STATX_BTIME) ? filetime_of(sx.stx_btime.tv_sec, sx.stx_btime.tv_nsec) : e.wtime;
            s->entries.push_back(std::move(e));
        }
        std::sort(s->entries.begin(), s->entries.end(), [](const auto& a, const auto& b) {
            // As name_order, then the raw bytes for names that only differ
            // in bytes that are no UTF-8.
            int c = a.key.compare(b.key);
            if (c == 0) c = a.wname.compare(b.wname);
            return c != 0 ? c < 0 : a.name < b.name;
        });
    } catch (...) {
        closedir(d);
        delete s;
        set_error(ERR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    closedir(d);
    if (s->entries.empty()) {
        delete s;
        set_error(OS_ERR_FILE_NOT_FOUND);
        return nullptr;
    }
    return s;
}

template <class Out>
void fill_common(const os_search_s::entry& e, Out* out) {
    out->attrib = e.attrib;
    out->ctime = e.ctime;
    out->atime = e.atime;
    out->wtime = e.wtime;
    out->size = e.size;
}

void fill(const os_search_s::entry& e, os_findA* out) {
    fill_common(e, out);
    memcpy(out->name, e.name.c_str(), e.name.size() + 1);
}
void fill(const os_search_s::entry& e, os_findW* out) {
    fill_common(e, out);
    std::copy(e.wname.begin(), e.wname.end(), out->name);
    out->name[e.wname.size()] = 0;
}

template <class Out>
int next_entry(os_search s, Out* out) {
    if (!s) { set_error(OS_ERR_INVALID_HANDLE); return 0; }
    if (s->next >= s->entries.size()) { set_error(OS_ERR_NO_MORE_FILES); return 0; }
    fill(s->entries[s->next++], out);
    return 1;
}

os_search findfirstA_body(const char* pattern, os_findA* out) {
    if (!pattern || !out) { set_error(ERR_INVALID_PARAMETER); return nullptr; }
    std::string dir, last;
    split_pattern(to_posix_path(pattern), &dir, &last);
    if (last.empty()) { set_error(OS_ERR_FILE_NOT_FOUND); return nullptr; }
    bool cp932 = ansi_is_932();
    std::u32string pat = points_of_bytes(last, cp932);
    os_search s = run_search(dir, false, [&](const std::string& name, const std::u16string&) {
        return wild_match(pat, points_of_bytes(name, cp932));
    });
    if (s) next_entry(s, out);
    return s;
}

os_search posix_findfirstA(const char* pattern, os_findA* out) {
    try {
        return findfirstA_body(pattern, out);
    } catch (...) {
        set_error(ERR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
}

os_search findfirstW_body(const char16_t* pattern, os_findW* out) {
    if (!pattern || !out) { set_error(ERR_INVALID_PARAMETER); return nullptr; }
    std::u16string p(pattern);
    size_t cut = p.find_last_of(u"\\/");
    std::u16string dir16 = cut == std::u16string::npos ? u"." : p.substr(0, cut + 1);
    std::u16string last = cut == std::u16string::npos ? p : p.substr(cut + 1);
    std::string dir;
    if (!utf16_to_utf8(dir16.c_str(), dir, true)) { set_error(ERR_INVALID_NAME); return nullptr; }
    if (last.empty()) { set_error(OS_ERR_FILE_NOT_FOUND); return nullptr; }
    std::u32string pat = points_of_utf16(last);
    os_search s = run_search(dir, true, [&](const std::string&, const std::u16string& wname) {
        return wild_match(pat, points_of_utf16(wname));
    });
    if (s) next_entry(s, out);
    return s;
}

os_search posix_findfirstW(const char16_t* pattern, os_findW* out) {
    try {
        return findfirstW_body(pattern, out);
    } catch (...) {
        set_error(ERR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
}

int posix_findnextA(os_search s, os_findA* out) { return next_entry(s, out); }
int posix_findnextW(os_search s, os_findW* out) { return next_entry(s, out); }
void posix_findclose(os_search s) { delete s; }

// GetFileAttributesA: the one name, taken literally (no pattern matching:
// '*' and '?' are ordinary name characters here).  Read-only as Windows has
// it: nobody may write (root may still, as an administrator may clear the
// attribute), or we may not.
int attributesA_body(const char* name, uint32_t* attrib) {
    if (!name || !attrib) { set_error(ERR_INVALID_PARAMETER); return 0; }
    std::string path = to_posix_path(name);
    struct stat st;
    if (path.empty() || stat(path.c_str(), &st) != 0) {
        const int e = path.empty() ? ENOENT : errno;
        // A link that leads nowhere (to nothing, or round in a loop) is
        // still a name that stands there, as Windows reports a link itself:
        // a plain file, so that nobody takes the name for free and writes
        // through the link unasked.
        if (!path.empty() && lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
            *attrib = 0;
            return 1;
        }
        set_errno_error(e, path.c_str());
        return 0;
    }
    uint32_t a = S_ISDIR(st.st_mode) ? (uint32_t)OS_ATTR_DIRECTORY : 0u;
    if ((st.st_mode & 0222) == 0 || access(path.c_str(), W_OK) != 0) a |= OS_ATTR_READONLY;
    *attrib = a;
    return 1;
}

int posix_attributesA(const char* name, uint32_t* attrib) {
    try {
        return attributesA_body(name, attrib);
    } catch (...) {
        set_error(ERR_NOT_ENOUGH_MEMORY);
        return 0;
    }
}

// FileTimeToSystemTime: refuses times from 2^63 on, as Windows does.
int posix_filetime_to_systime(uint64_t ft, os_systime* out) {
    if (!out || ft >= 0x8000000000000000ull) { set_error(ERR_INVALID_PARAMETER); return 0; }
    uint64_t secs = ft / 10000000u;
    int64_t days = (int64_t)(secs / 86400);
    uint32_t rem = (uint32_t)(secs % 86400);
    int y, m, d;
    civil_of_days(days, &y, &m, &d);
    out->year = (uint16_t)y;
    out->month = (uint16_t)m;
    out->day = (uint16_t)d;
    out->weekday = (uint16_t)((days + 1) % 7);  // 1601-01-01 was a Monday
    out->hour = (uint16_t)(rem / 3600);
    out->minute = (uint16_t)(rem / 60 % 60);
    out->second = (uint16_t)(rem % 60);
    out->ms = (uint16_t)(ft % 10000000u / 10000u);
    return 1;
}

// SystemTimeToTzSpecificLocalTime for the current zone: the fields are
// checked as Windows checks them (the weekday is not looked at), turned into
// seconds since 1970 and given to localtime_r after tzset, so that a change
// of TZ takes effect at once.
int posix_systime_to_local(const os_systime* utc, os_systime* local) {
    if (!utc || !local) { set_error(ERR_INVALID_PARAMETER); return 0; }
    static const uint8_t mdays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    int y = utc->year, m = utc->month, d = utc->day;
    bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    if (y < 1601 || y > 30827 || m < 1 || m > 12 || d < 1 || d > mdays[m - 1] + (m == 2 && leap) ||
        utc->hour > 23 || utc->minute > 59 || utc->second > 59 || utc->ms > 999) {
        set_error(ERR_INVALID_PARAMETER);
        return 0;
    }
    int64_t days1970 = days_of_civil(y, m, d) - 134774;
    time_t t = (time_t)(days1970 * 86400 + utc->hour * 3600 + utc->minute * 60 + utc->second);
    tzset();
    struct tm tm;
    if (!localtime_r(&t, &tm) || tm.tm_year + 1900 < 1601 || tm.tm_year + 1900 > 30827) {
        set_error(ERR_INVALID_PARAMETER);
        return 0;
    }
    local->year = (uint16_t)(tm.tm_year + 1900);
    local->month = (uint16_t)(tm.tm_mon + 1);
    local->day = (uint16_t)tm.tm_mday;
    local->weekday = (uint16_t)tm.tm_wday;
    local->hour = (uint16_t)tm.tm_hour;
    local->minute = (uint16_t)tm.tm_min;
    local->second = (uint16_t)tm.tm_sec;
    local->ms = utc->ms;
    return 1;
}

}  // namespace

// ============================================================================
// 4. Console input
// ============================================================================
//
// Only a terminal on standard input is read; a pipe or a file there is never
// touched (a batch run or CI has no keyboard).  The first poll on a terminal
// turns off line buffering and echo, keeping ISIG so that Ctrl-C still raises
// SIGINT and Ctrl-Z still stops the program, and turns off the CR-to-LF map
// so that Enter gives 13 as a Windows console does.  The terminal is put back
// at exit, on fatal signals (which are then re-raised with the disposition
// they had before), and around a Ctrl-Z stop.  A background process leaves
// the terminal alone and sees no keys (touching it would stop the process).
//
// Ctrl-C: the SIGINT handler, installed by os_init, only sets a flag; the
// next poll turns it into the key 3, so a long loop stops through its normal
// path and closes its files.  A second Ctrl-C while the first one has not
// been taken (the program is not polling, perhaps stuck) ends the process as
// SIGINT always would: the user can always get out.

namespace platform_detail {

key_event decode_key(const uint8_t* b, size_t n, bool at_end) {
    if (n == 0) return {0, 0};
    if (b[0] != 27) return {1, (int)(int8_t)b[0]};
    if (n == 1) return at_end ? key_event{1, 27} : key_event{0, 0};
    if (b[1] == 'O') {  // SS3: one more byte names the key
        if (n >= 3) return {3, 0};
        return at_end ? key_event{2, 0} : key_event{0, 0};
    }
    if (b[1] != '[') return {1, 27};
    // CSI.  The Linux console's F1-F5 are "ESC [ [ A" to "ESC [ [ E".
    if (n >= 3 && b[2] == '[') {
        if (n >= 4) return {4, 0};
        return at_end ? key_event{3, 0} : key_event{0, 0};
    }
    size_t i = 2;
    while (i < n && b[i] >= 0x30 && b[i] <= 0x3F) i++;  // parameters
    while (i < n && b[i] >= 0x20 && b[i] <= 0x2F) i++;  // intermediates
    if (i < n) {
        if (b[i] >= 0x40 && b[i] <= 0x7E) return {i + 1, 0};
        return {i, 0};  // broken by a byte that cannot belong to it
    }
    return at_end ? key_event{n, 0} : key_event{0, 0};
}

}  // namespace platform_detail

namespace {

volatile sig_atomic_t g_sigint = 0;       // a Ctrl-C waits to be taken
volatile sig_atomic_t g_tty_raw = 0;      // the terminal is in our mode now
volatile sig_atomic_t g_tty_reapply = 0;  // put our mode back when in front
int g_tty_state = 0;                      // 0 not tried, 1 set up, -1 unusable
struct termios g_tty_saved, g_tty_ours;
uint8_t g_keybuf[64];
size_t g_keylen = 0;

const int kFatal[] = {SIGTERM, SIGHUP, SIGQUIT, SIGSEGV, SIGABRT, SIGBUS, SIGFPE, SIGILL};
struct sigaction g_prev_fatal[sizeof kFatal / sizeof kFatal[0]];
struct sigaction g_prev_tstp;

// Async-signal-safe: tcsetattr is.
void tty_restore() {
    if (g_tty_raw) {
        tcsetattr(STDIN_FILENO, TCSANOW, &g_tty_saved);
        g_tty_raw = 0;
    }
}

bool in_foreground() {
    pid_t fg = tcgetpgrp(STDIN_FILENO);
    return fg >= 0 && fg == getpgrp();
}

void tty_apply() {
    if (tcsetattr(STDIN_FILENO, TCSANOW, &g_tty_ours) == 0) g_tty_raw = 1;
}

void on_fatal(int sig) {
    int saved = errno;
    tty_restore();
    for (size_t i = 0; i < sizeof kFatal / sizeof kFatal[0]; i++)
        if (kFatal[i] == sig) sigaction(sig, &g_prev_fatal[i], nullptr);
    raise(sig);  // delivered with the old disposition once this returns
    errno = saved;
}

void on_tstp(int) {
    int saved = errno;
    bool was_raw = g_tty_raw;
    tty_restore();
    struct sigaction dfl, ours;
    memset(&dfl, 0, sizeof dfl);
    dfl.sa_handler = SIG_DFL;
    sigaction(SIGTSTP, &dfl, &ours);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGTSTP);
    sigprocmask(SIG_UNBLOCK, &set, nullptr);
    raise(SIGTSTP);  // stops here; continues on SIGCONT
    sigprocmask(SIG_BLOCK, &set, nullptr);
    sigaction(SIGTSTP, &ours, nullptr);
    if (was_raw) {
        if (in_foreground()) tty_apply();
        else g_tty_reapply = 1;
    }
    errno = saved;
}

void on_sigint(int) {
    if (g_sigint) {  // the first one was never taken: stop for real
        int saved = errno;
        tty_restore();
        signal(SIGINT, SIG_DFL);
        raise(SIGINT);
        errno = saved;
        return;
    }
    g_sigint = 1;
}

void tty_restore_at_exit() { tty_restore(); }

}  // namespace

// The file dialogs (posix_dialog.cpp) poll for a Ctrl-C while they wait for
// a line, and leave it latched for the key poll.  Each dialog drops the one
// that waits when it opens: that Ctrl-C was meant for what ran before (it
// may have cancelled an earlier dialog), and a new question must wait for
// the user; a Ctrl-C in the new dialog is then a first one again, which
// cancels it instead of ending the process.
namespace platform_detail {
bool sigint_pending() { return g_sigint != 0; }
void sigint_drop() { g_sigint = 0; }
void sigint_latch() { g_sigint = 1; }
}  // namespace platform_detail

namespace {

// Installs `handler` for sig unless the signal is ignored (nohup, a shell
// without job control): an ignored signal stays ignored.
void catch_signal(int sig, void (*handler)(int), struct sigaction* prev) {
    struct sigaction old;
    if (sigaction(sig, nullptr, &old) != 0 || old.sa_handler == SIG_IGN) {
        if (prev) *prev = old;
        return;
    }
    struct sigaction sa;
    memset(&sa, 0, sizeof sa);
    sa.sa_handler = handler;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sigaction(sig, &sa, prev);
}

// Sets the terminal up on the first poll that finds one in the foreground.
bool tty_ready() {
    if (g_tty_state < 0) return false;
    if (g_tty_state == 0) {
        if (!isatty(STDIN_FILENO) || tcgetattr(STDIN_FILENO, &g_tty_saved) != 0) {
            g_tty_state = -1;
            return false;
        }
        if (!in_foreground()) return false;  // try again once in front
        g_tty_ours = g_tty_saved;
        g_tty_ours.c_lflag &= ~(tcflag_t)(ICANON | ECHO);
        g_tty_ours.c_lflag |= ISIG;
        g_tty_ours.c_iflag &= ~(tcflag_t)ICRNL;
        g_tty_ours.c_cc[VMIN] = 0;
        g_tty_ours.c_cc[VTIME] = 0;
        for (size_t i = 0; i < sizeof kFatal / sizeof kFatal[0]; i++)
            catch_signal(kFatal[i], on_fatal, &g_prev_fatal[i]);
        catch_signal(SIGTSTP, on_tstp, &g_prev_tstp);
        atexit(tty_restore_at_exit);
        tty_apply();
        if (!g_tty_raw) { g_tty_state = -1; return false; }
        g_tty_state = 1;
        return true;
    }
    if (!in_foreground()) return false;
    if (g_tty_reapply || !g_tty_raw) {
        g_tty_reapply = 0;
        tty_apply();
    }
    return true;
}

// Takes what the terminal holds now, or within `wait_ms`, into the key
// buffer.  false when the terminal has gone (hang-up, read error).
bool tty_take(int wait_ms) {
    if (g_keylen >= sizeof g_keybuf) return true;
    struct pollfd p = {STDIN_FILENO, POLLIN, 0};
    int r;
    do r = poll(&p, 1, wait_ms);
    while (r < 0 && errno == EINTR && !g_sigint);
    if (r <= 0) return true;
    if (p.revents & (POLLERR | POLLNVAL)) return false;
    if (!(p.revents & POLLIN)) return !(p.revents & POLLHUP);
    ssize_t got;
    do got = ::read(STDIN_FILENO, g_keybuf + g_keylen, sizeof g_keybuf - g_keylen);
    while (got < 0 && errno == EINTR && !g_sigint);
    if (got > 0) g_keylen += (size_t)got;
    else if (got == 0 || (errno != EAGAIN && errno != EINTR)) return false;
    return true;
}

void posix_pump_messages(void) {}

platform_detail::console_look g_look;

int posix_console_event(int* key) {
    if (g_sigint) {
        g_sigint = 0;
        if (key) *key = 3;
        return 1;
    }
    if (g_keylen == 0) {
        if (!g_look.due()) return 0;
        if (!tty_ready()) { g_look.found(false); return 0; }
        if (!tty_take(0)) { tty_restore(); g_tty_state = -1; return 0; }
        g_look.found(g_keylen != 0);
        if (g_keylen == 0) return 0;
    }
    key_event ev = decode_key(g_keybuf, g_keylen, false);
    if (ev.consumed == 0) {
        // An ESC alone so far: a key's sequence arrives at once, a lone ESC
        // is followed by nothing within a moment.
        if (g_tty_state == 1) tty_take(30);
        ev = decode_key(g_keybuf, g_keylen, false);
        if (ev.consumed == 0) ev = decode_key(g_keybuf, g_keylen, true);
    }
    memmove(g_keybuf, g_keybuf + ev.consumed, g_keylen - ev.consumed);
    g_keylen -= ev.consumed;
    if (key) *key = ev.key;
    return 1;
}

}  // namespace

// ============================================================================
// 5. Locale and version
// ============================================================================
//
// The locale is read once (os_init, or the first call that needs it): the
// codeset of LC_CTYPE as the environment sets it.  The program's own LC_CTYPE
// is put back to what it was, so that nothing else in the program changes
// behaviour with the user's locale: bytes stay bytes.

namespace platform_detail {

uint32_t codeset_cp(const char* codeset) {
    std::string n;
    for (const char* p = codeset ? codeset : ""; *p; p++) {
        char c = *p;
        if (c == '-' || c == '_') continue;
        n += (char)(c >= 'A' && c <= 'Z' ? c + 32 : c);
    }
    if (n == "utf8") return 65001;
    if (n == "shiftjis" || n == "sjis" || n == "cp932" || n == "windows31j" || n == "mskanji" ||
        n == "shiftjisx0213" || n == "shiftjis2004")
        return 932;
    if (n == "eucjp") return 20932;
    if (n == "iso88591") return 28591;
    if (n == "iso885915") return 28605;
    if (n == "ansix3.41968" || n == "ascii" || n == "usascii") return 20127;
    return 437;
}

uint16_t lang_of_locale(const char* name) {
    // "ja" as the language: alone, or followed by a territory, codeset or
    // modifier ("ja_JP.UTF-8", "ja.SJIS", "ja@x"); not a longer code.
    if (!name || name[0] != 'j' || name[1] != 'a') return 0x409;
    char c = name[2];
    return (c == 0 || c == '_' || c == '.' || c == '@') ? 0x411 : 0x409;
}

}  // namespace platform_detail

namespace {

bool g_locale_read = false;
uint32_t g_console_cp = 437;

const char* first_env(const char* const* names, size_t n) {
    for (size_t i = 0; i < n; i++) {
        const char* v = getenv(names[i]);
        if (v && *v) return v;
    }
    return nullptr;
}

void read_locale() {
    g_locale_read = true;
    std::string saved;
    if (const char* cur = setlocale(LC_CTYPE, nullptr)) saved = cur;
    std::string codeset;
    if (setlocale(LC_CTYPE, "")) {
        codeset = nl_langinfo(CODESET);
    } else {
        // The locale is not installed: its name still says the codeset.
        static const char* const names[] = {"LC_ALL", "LC_CTYPE", "LANG"};
        const char* v = first_env(names, 3);
        const char* dot = v ? strchr(v, '.') : nullptr;
        if (dot) codeset.assign(dot + 1, strcspn(dot + 1, "@"));
    }
    if (!saved.empty()) setlocale(LC_CTYPE, saved.c_str());
    g_console_cp = codeset_cp(codeset.c_str());
}

bool ansi_is_932() {
    if (!g_locale_read) read_locale();
    return g_console_cp == 932;
}

uint32_t posix_console_cp(void) {
    if (!g_locale_read) read_locale();
    return g_console_cp;
}

uint16_t posix_user_lang(void) {
    static const char* const names[] = {"LC_ALL", "LC_MESSAGES", "LANG"};
    return lang_of_locale(first_env(names, 3));
}

int posix_is_dbcs_lead(uint8_t c) {
    if (!ansi_is_932()) return 0;
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

uint32_t posix_get_version(void) { return 0; }

int posix_rtl_get_version(os_osversion*, int32_t*) { return 0; }

const char* posix_host_system(void) {
    static char text[2 * sizeof(((struct utsname*)nullptr)->release) + 2];
    if (!text[0]) {
        struct utsname u;
        if (uname(&u) == 0) snprintf(text, sizeof text, "%s %s", u.sysname, u.release);
        else snprintf(text, sizeof text, "POSIX");
    }
    return text;
}

}  // namespace

// ============================================================================
// 6. Process
// ============================================================================

namespace platform_detail {

std::string build_command_line(int argc, char** argv) {
    std::string line;
    for (int i = 0; i < argc && argv && argv[i]; i++) {
        if (i > 0) line += ' ';
        const char* a = argv[i];
        bool quote = !*a || strpbrk(a, " \t") != nullptr;
        if (quote) line += '"';
        line += a;
        if (quote) line += '"';
    }
    return line;
}

}  // namespace platform_detail

namespace {

std::string g_cmdline;      // kept for the whole run
std::u16string g_cmdlineW;

const char* posix_command_lineA(void) { return g_cmdline.c_str(); }
const char16_t* posix_command_lineW(void) { return g_cmdlineW.c_str(); }

// GetCurrentDirectory with the header's rule: the length without its 0, or 0
// when it cannot be had or does not fit in cap units with the 0.
uint32_t posix_current_dirA(uint32_t cap, char* buf) {
    char* cwd = getcwd(nullptr, 0);
    if (!cwd) { set_errno_error(errno, nullptr); return 0; }
    size_t n = strlen(cwd);
    if (!buf || n + 1 > cap) { free(cwd); set_error(ERR_INVALID_PARAMETER); return 0; }
    memcpy(buf, cwd, n + 1);
    free(cwd);
    return (uint32_t)n;
}

uint32_t posix_current_dirW(uint32_t cap, char16_t* buf) {
    char* cwd = getcwd(nullptr, 0);
    if (!cwd) { set_errno_error(errno, nullptr); return 0; }
    std::u16string w;
    try {
        w = utf8_to_utf16(cwd);
    } catch (...) { free(cwd); set_error(ERR_NOT_ENOUGH_MEMORY); return 0; }
    free(cwd);
    if (!buf || w.size() + 1 > cap) { set_error(ERR_INVALID_PARAMETER); return 0; }
    std::copy(w.begin(), w.end(), buf);
    buf[w.size()] = 0;
    return (uint32_t)w.size();
}

uint64_t posix_tick_ms(void) {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (uint64_t)t.tv_sec * 1000u + (uint64_t)t.tv_nsec / 1000000u;
}

// The CPUs this process may run on (its affinity mask, which taskset and
// container limits narrow), else those online.
int posix_cpu_count(void) {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) == 0) {
        int n = CPU_COUNT(&set);
        if (n > 0) return n;
    }
    long n = sysconf(_SC_NPROCESSORS_ONLN);
    return n > 0 ? (n < 4096 ? (int)n : 4096) : 1;
}

// One arena for every thread (M_ARENA_MAX): the main one.  The mapping
// threshold keeps glibc's dynamic rule, so large blocks are reused from the
// heap rather than mapped and faulted in afresh for every frame (which
// doubled the time of decoding ahead).  A runtime without mallopt keeps
// its own policy.
void posix_heap_shared(void) {
#if defined(__GLIBC__)
    mallopt(M_ARENA_MAX, 1);
#endif
}

void posix_sleep_ms(uint32_t ms) {
    if (ms == 0) { sched_yield(); return; }
    struct timespec t = {(time_t)(ms / 1000), (long)(ms % 1000) * 1000000L}, rest;
    while (nanosleep(&t, &rest) != 0 && errno == EINTR) t = rest;
}

// The message box as text on standard error: the caption, then the text with
// its CR LF line ends as plain LF.  It never waits for anyone.
void print_box(const char* text, const char* caption) {
    fflush(stdout);
    fprintf(stderr, "[%s]\n", caption ? caption : "Error");
    std::string t(text ? text : "");
    std::string out;
    for (size_t i = 0; i < t.size(); i++)
        if (!(t[i] == '\r' && i + 1 < t.size() && t[i + 1] == '\n')) out += t[i];
    if (out.empty() || out.back() != '\n') out += '\n';
    fputs(out.c_str(), stderr);
    fflush(stderr);
}

int posix_message_boxA(const char* text, const char* caption, uint32_t) {
    try {
        print_box(text, caption);
    } catch (...) {}
    return 1;
}

int posix_message_boxW(const char16_t* text, const char16_t* caption, uint32_t) {
    try {
        std::string c = caption ? utf16_for_display(caption) : "Error";
        print_box(utf16_for_display(text).c_str(), c.c_str());
    } catch (...) {}
    return 1;
}

}  // namespace

// ============================================================================
// 7. The table and os_init
// ============================================================================

namespace {

constexpr os_api kNative = {
    posix_openW, posix_read, posix_write, posix_seek, posix_size, posix_close, posix_lasterror,
    posix_fopen, posix_remove, posix_same_file, posix_replace,
    posix_fread, posix_fwrite, posix_fgetc, posix_fputc, posix_fseek64, posix_ftell64, posix_fflush, posix_fclose,
    posix_removeW,
    posix_findfirstA, posix_findnextA, posix_findfirstW, posix_findnextW, posix_findclose,
    posix_attributesA,
    posix_filetime_to_systime, posix_systime_to_local,
    posix_pump_messages, posix_console_event,
    posix_console_cp, posix_console_cp, posix_user_lang, posix_is_dbcs_lead,
    posix_get_version, posix_rtl_get_version, posix_host_system,
    posix_command_lineA, posix_command_lineW, posix_current_dirA, posix_current_dirW, posix_sleep_ms, posix_tick_ms,
    posix_cpu_count, posix_heap_shared,
    posix_message_boxA, posix_message_boxW,
    // File dialogs (posix_dialog.cpp).
    native_open_dialogW, native_open_dialogA, native_save_dialogA, native_dialog_error, native_ask_yes_no,
    posix_ferror,
};

}  // namespace

// Both tables are constant-initialised, so they are ready before any other
// file's static initialisers run.
const os_api os_native = kNative;
os_api g_os = kNative;

// Records the command line (kept until exit), reads the locale and installs
// the Ctrl-C latch.  Called again, it records the new arguments.
//
// It also ignores SIGPIPE and SIGXFSZ (unless a handler is already set), so
// that a closed console pipe or a file-size limit make writes fail with an
// error the program reports (EPIPE; EFBIG, reported as a full disk) instead
// of killing it halfway through a movie, as a Windows program would see a
// failed write and go on to report it.
//
// The signal set-up looks at the dispositions in force on every call, not
// once per process: a forked child that put a signal back to its default
// and calls os_init again gets the program's dispositions, not the default.
char** os_init(int argc, char** argv) {
    try {
        g_cmdline = build_command_line(argc, argv);
        g_cmdlineW = utf8_to_utf16(g_cmdline);
    } catch (...) {
        g_cmdline.clear();
        g_cmdlineW.clear();
    }
    read_locale();
    struct sigaction old;
    if (sigaction(SIGINT, nullptr, &old) == 0 && old.sa_handler != on_sigint) catch_signal(SIGINT, on_sigint, nullptr);
    for (int sig : {SIGPIPE, SIGXFSZ}) {
        if (sigaction(sig, nullptr, &old) == 0 && old.sa_handler == SIG_DFL) signal(sig, SIG_IGN);
    }
    return argv;
}

#endif  // !_WIN32
