// harness.cpp - the memory files and the quiet console of the fuzz targets.
//
// Served files are read from memory: a wide open gives a handle of our own
// whose reads, seeks and size work on the served bytes; an 8-bit open gives a
// C runtime FILE over the same bytes (glibc's fopencookie, with the same
// reads and seeks: a seek past the end is allowed, as a file allows it and
// fmemopen does not).  So both of the streams' modes read exactly what the
// fuzzer produced, as they would read it from a file.  Every other name
// (a file the code under test creates, or one it looks for) is turned into a
// file of the same base name in a private folder of this process on a memory
// file system (/dev/shm, else /tmp), removed at exit, and goes through the
// platform's own services: nothing outside that folder is ever touched.

#include "fuzz/harness.h"

#include <cstring>
#include <string>
#include <unordered_map>
#include <unordered_set>

#include "platform/platform.h"

namespace {

struct Served {
    const uint8_t* data;
    size_t size;
};

// A wide-opened served file.
struct MemFile {
    const uint8_t* data;
    size_t size;
    size_t pos;
};

std::unordered_map<std::u16string, Served> g_served;
std::unordered_set<MemFile*> g_open;   // handles of ours; all others are native
uint32_t g_error = 0;                  // the cause of our own last refusal
bool g_error_ours = false;
std::string g_dir;                     // the private folder, with a trailing '/'

std::u16string widen(const char* s) {
    std::u16string w;
    for (; *s; s++) w.push_back((char16_t)(uint8_t)*s);
    return w;
}

std::string narrow(const char16_t* s) {
    std::string n;
    for (; *s; s++) n.push_back((char)(*s & 0xFF));
    return n;
}

// The base name of a path, '/' and '\' both separating.
std::string base_name(const std::string& path) {
    size_t cut = path.find_last_of("/\\");
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

void remove_private_dir() {
    std::string cmd = "rm -rf '" + g_dir + "'";
    if (std::system(cmd.c_str()) != 0) std::fprintf(stderr, "could not remove %s\n", g_dir.c_str());
}

// The private folder, made the first time a file is looked for there (most
// targets only read what they serve and never make one).  libFuzzer ends
// some runs without the exit handlers (a crash, a timeout), which leave the
// folder behind: tools/fuzz.sh points RK_FUZZ_TMP into its own scratch
// folder for that reason.
const std::string& private_dir() {
    if (!g_dir.empty()) return g_dir;
    const char* env = std::getenv("RK_FUZZ_TMP");
    char tmpl[512];
    bool made = false;
    for (const char* root : {env, "/dev/shm", "/tmp"}) {
        if (!root) continue;
        std::snprintf(tmpl, sizeof tmpl, "%s/rk-fuzz-XXXXXX", root);
        if ((made = mkdtemp(tmpl) != nullptr)) break;
    }
    if (!made) std::abort();
    g_dir = std::string(tmpl) + "/";
    std::atexit(remove_private_dir);
    return g_dir;
}

std::string private_path(const std::string& name) { return private_dir() + base_name(name); }

const Served* find_served(const std::u16string& name) {
    auto it = g_served.find(name);
    return it == g_served.end() ? nullptr : &it->second;
}

void refuse(uint32_t code) {
    g_error = code;
    g_error_ours = true;
}

MemFile* ours(os_file f) {
    MemFile* m = reinterpret_cast<MemFile*>(f);
    return g_open.count(m) ? m : nullptr;
}

// ---- Files by handle ------------------------------------------------------------

os_file mem_openW(const char16_t* name, int how) {
    if (how == OS_OPEN_READ || how == OS_OPEN_READ_SHARED) {
        if (const Served* s = find_served(name)) {
            MemFile* m = new MemFile{s->data, s->size, 0};
            g_open.insert(m);
            return reinterpret_cast<os_file>(m);
        }
    } else {
        g_served.erase(name);   // a file created anew is no longer the served one
    }
    std::u16string path = widen(private_path(narrow(name)).c_str());
    g_error_ours = false;
    return os_native.openW(path.c_str(), how);
}

int mem_read(os_file f, void* buf, uint32_t n, uint32_t* got) {
    MemFile* m = ours(f);
    if (!m) {
        g_error_ours = false;
        return os_native.read(f, buf, n, got);
    }
    size_t left = m->pos < m->size ? m->size - m->pos : 0;
    size_t k = n < left ? n : left;
    if (k) std::memcpy(buf, m->data + m->pos, k);
    m->pos += k;
    *got = (uint32_t)k;
    return 1;
}

int mem_write(os_file f, const void* buf, uint32_t n, uint32_t* put) {
    if (ours(f)) {
        refuse(OS_ERR_ACCESS_DENIED);   // served files are opened for reading only
        *put = 0;
        return 0;
    }
    g_error_ours = false;
    return os_native.write(f, buf, n, put);
}

int mem_seek(os_file f, int64_t dist, int origin, int64_t* newpos) {
    MemFile* m = ours(f);
    if (!m) {
        g_error_ours = false;
        return os_native.seek(f, dist, origin, newpos);
    }
    int64_t from = origin == OS_SEEK_BEGIN ? 0 : origin == OS_SEEK_CURRENT ? (int64_t)m->pos
                                                                           : (int64_t)m->size;
    if (origin < OS_SEEK_BEGIN || origin > OS_SEEK_END) {
        refuse(OS_ERR_OTHER);
        return 0;
    }
    int64_t to;
    if (__builtin_add_overflow(from, dist, &to) || to < 0) {
        refuse(OS_ERR_NEGATIVE_SEEK);
        return 0;
    }
    m->pos = (size_t)to;
    if (newpos) *newpos = to;
    return 1;
}

int mem_size(os_file f, int64_t* size) {
    MemFile* m = ours(f);
    if (!m) {
        g_error_ours = false;
        return os_native.size(f, size);
    }
    *size = (int64_t)m->size;
    return 1;
}

int mem_close(os_file f) {
    MemFile* m = ours(f);
    if (!m) {
        g_error_ours = false;
        return os_native.close(f);
    }
    g_open.erase(m);
    delete m;
    return 1;
}

uint32_t mem_lasterror() { return g_error_ours ? g_error : os_native.lasterror(); }

// ---- Files by the C runtime -----------------------------------------------------

ssize_t cookie_read(void* c, char* buf, size_t n) {
    MemFile* m = (MemFile*)c;
    size_t left = m->pos < m->size ? m->size - m->pos : 0;
    size_t k = n < left ? n : left;
    if (k) std::memcpy(buf, m->data + m->pos, k);
    m->pos += k;
    return (ssize_t)k;
}

int cookie_seek(void* c, off64_t* offset, int whence) {
    MemFile* m = (MemFile*)c;
    int64_t from = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? (int64_t)m->pos : (int64_t)m->size;
    int64_t to;
    if (__builtin_add_overflow(from, (int64_t)*offset, &to) || to < 0) return -1;
    m->pos = (size_t)to;
    *offset = to;
    return 0;
}

int cookie_close(void* c) {
    delete (MemFile*)c;
    return 0;
}

FILE* mem_fopen(const char* name, const char* mode) {
    std::u16string w = widen(name);
    if (std::strchr(mode, 'r') && !std::strchr(mode, '+')) {
        if (const Served* s = find_served(w)) {
            static const cookie_io_functions_t io = {cookie_read, nullptr, cookie_seek, cookie_close};
            return fopencookie(new MemFile{s->data, s->size, 0}, "rb", io);
        }
    } else {
        g_served.erase(w);
    }
    g_error_ours = false;
    return os_native.fopen(private_path(name).c_str(), mode);
}

// A served file is the same file only as itself; other names are the
// private folder's files.
int mem_same_file(const char* a, const char* b) {
    bool sa = find_served(widen(a)) != nullptr, sb = find_served(widen(b)) != nullptr;
    if (sa || sb) return sa && sb && widen(a) == widen(b);
    return os_native.same_file(private_path(a).c_str(), private_path(b).c_str());
}

int mem_remove(const char* name) {
    g_served.erase(widen(name));
    return os_native.remove(private_path(name).c_str());
}

// ---- The console ------------------------------------------------------------------

void no_messages() {}
int no_key(int* key) {
    *key = 0;
    return 0;
}
void no_sleep(uint32_t) {}

}  // namespace

namespace fuzz {

void setup() {
    static bool done = false;
    if (done) return;
    done = true;
    if (!std::getenv("RK_FUZZ_VERBOSE")) {
        if (!std::freopen("/dev/null", "w", stdout)) std::abort();
    } else {
        std::setvbuf(stdout, nullptr, _IOLBF, 0);  // every line out before a check aborts
    }

    g_os.openW = mem_openW;
    g_os.read = mem_read;
    g_os.write = mem_write;
    g_os.seek = mem_seek;
    g_os.size = mem_size;
    g_os.close = mem_close;
    g_os.lasterror = mem_lasterror;
    g_os.fopen = mem_fopen;
    g_os.remove = mem_remove;
    g_os.same_file = mem_same_file;
    g_os.pump_messages = no_messages;
    g_os.console_event = no_key;
    g_os.sleep_ms = no_sleep;
}

void serve(const char* name, const uint8_t* data, size_t size) {
    g_served[widen(name)] = Served{data, size};
}

void serve_clear() { g_served.clear(); }

std::vector<uint8_t> written(const char* name) {
    std::vector<uint8_t> out;
    FILE* f = os_native.fopen(private_path(name).c_str(), "rb");
    if (!f) return out;
    uint8_t buf[8192];
    for (size_t k; (k = std::fread(buf, 1, sizeof buf, f)) > 0;) out.insert(out.end(), buf, buf + k);
    std::fclose(f);
    return out;
}

}  // namespace fuzz
