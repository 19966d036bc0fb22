// riff.h - a small RIFF walker for the movie tests (header-only).
//
// It reads a file (or bytes in memory) by absolute offsets, parses the RIFF
// chunks at its top level and every LIST inside them into a tree of chunks
// with their positions and sizes, and stops at the first top-level bytes
// that are not a RIFF chunk (the 'them' trailer, the zero fill).  It checks
// nesting as it goes: a child that runs past its parent, or a chunk header
// cut off by the end of the file, is reported in layout::error.
//
// Our movies put no pad byte after odd-sized chunks; walkopts::pad switches
// the standard RIFF padding on for files of other writers.  Files are read
// through std::ifstream with 64-bit offsets, so a movie past 4 GB is walked
// without loading it (walkopts::into_movi = false skips the frame chunks).

#ifndef REELKILN_TESTS_RIFF_H
#define REELKILN_TESTS_RIFF_H

#include <cstdint>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace riff {

// Random access to the bytes of a file or a buffer.
struct source {
    uint64_t size = 0;
    std::function<bool(uint64_t pos, void* dst, size_t n)> read;

    std::vector<uint8_t> bytes(uint64_t pos, size_t n) const {
        std::vector<uint8_t> v(n);
        if (n && !read(pos, v.data(), n)) v.clear();
        return v;
    }
    uint32_t u32(uint64_t pos) const {
        uint8_t b[4] = {0, 0, 0, 0};
        read(pos, b, 4);
        return (uint32_t)b[0] | (uint32_t)b[1] << 8 | (uint32_t)b[2] << 16 | (uint32_t)b[3] << 24;
    }
    uint16_t u16(uint64_t pos) const {
        uint8_t b[2] = {0, 0};
        read(pos, b, 2);
        return (uint16_t)(b[0] | b[1] << 8);
    }
    uint64_t u64(uint64_t pos) const { return (uint64_t)u32(pos) | (uint64_t)u32(pos + 4) << 32; }
    std::string fcc(uint64_t pos) const {
        char b[4] = {0, 0, 0, 0};
        read(pos, b, 4);
        return std::string(b, 4);
    }
};

inline source memory(std::shared_ptr<const std::vector<uint8_t>> v) {
    source s;
    s.size = v->size();
    s.read = [v](uint64_t pos, void* dst, size_t n) {
        if (pos > v->size() || n > v->size() - pos) return false;
        std::memcpy(dst, v->data() + pos, n);
        return true;
    };
    return s;
}
inline source memory(const std::vector<uint8_t>& v) {
    return memory(std::make_shared<const std::vector<uint8_t>>(v));
}

inline source file(const std::string& path) {
    auto f = std::make_shared<std::ifstream>(path, std::ios::binary);
    source s;
    if (!*f) return s;
    f->seekg(0, std::ios::end);
    s.size = (uint64_t)(std::streamoff)f->tellg();
    s.read = [f, size = s.size](uint64_t pos, void* dst, size_t n) {
        if (pos > size || n > size - pos) return false;
        f->clear();
        f->seekg((std::streamoff)pos);
        f->read(static_cast<char*>(dst), (std::streamsize)n);
        return (size_t)f->gcount() == n;
    };
    return s;
}

struct chunk {
    std::string id;      // the chunk's fourcc
    std::string type;    // a RIFF or LIST chunk's form type ("AVI ", "hdrl", ...), else ""
    uint64_t pos = 0;    // file offset of the fourcc
    uint32_t size = 0;   // the size field
    std::vector<chunk> kids;

    uint64_t data() const { return pos + 8; }
    uint64_t end() const { return pos + 8 + size; }
    bool islist() const { return !type.empty(); }

    // The nth direct child whose fourcc or form type is name; null if none.
    const chunk* find(std::string_view name, int nth = 0) const {
        for (const chunk& k : kids)
            if ((k.id == name || k.type == name) && nth-- == 0) return &k;
        return nullptr;
    }
    // How many direct children have that fourcc or form type.
    int count(std::string_view name) const {
        int c = 0;
        for (const chunk& k : kids) c += (k.id == name || k.type == name);
        return c;
    }
    // Follows a path of names separated by '/': "hdrl/strl/strh".
    const chunk* at(std::string_view path) const {
        const chunk* c = this;
        while (c && !path.empty()) {
            size_t slash = path.find('/');
            c = c->find(path.substr(0, slash));
            path = slash == std::string_view::npos ? std::string_view{} : path.substr(slash + 1);
        }
        return c;
    }
};

struct walkopts {
    bool pad = false;       // a pad byte after odd-sized chunks
    bool into_movi = true;  // list the chunks of 'movi' lists
};

struct layout {
    std::vector<chunk> top;  // the top-level RIFF chunks in file order
    uint64_t stop = 0;       // where the top-level walk ended
    std::string error;       // empty when every chunk nests properly
};

namespace detail {

inline bool parse(const source& s, uint64_t pos, uint64_t limit, const walkopts& o, chunk* out,
                  std::string* err) {
    if (pos + 8 > limit) {
        *err = "chunk header at " + std::to_string(pos) + " runs past its parent";
        return false;
    }
    out->id = s.fcc(pos);
    out->pos = pos;
    out->size = s.u32(pos + 4);
    if (out->end() > limit) {
        *err = "chunk '" + out->id + "' at " + std::to_string(pos) + " with size " +
               std::to_string(out->size) + " runs past " + std::to_string(limit);
        return false;
    }
    if (out->id == "RIFF" || out->id == "LIST") {
        if (out->size < 4) {
            *err = "list at " + std::to_string(pos) + " has no form type";
            return false;
        }
        out->type = s.fcc(pos + 8);
        if (out->type == "movi" && !o.into_movi) return true;
        uint64_t p = pos + 12;
        while (p < out->end()) {
            chunk k;
            if (!parse(s, p, out->end(), o, &k, err)) return false;
            p = k.end() + (o.pad ? (k.size & 1) : 0);
            out->kids.push_back(std::move(k));
        }
        if (p != out->end()) {
            *err = "padding of the last child of '" + out->type + "' runs past the list";
            return false;
        }
    }
    return true;
}

}  // namespace detail

// Walks the top-level RIFF chunks of s from offset 0.
inline layout walk(const source& s, walkopts o = {}) {
    layout l;
    uint64_t p = 0;
    while (p + 12 <= s.size && s.fcc(p) == "RIFF") {
        chunk c;
        if (!detail::parse(s, p, s.size, o, &c, &l.error)) break;
        p = c.end();
        l.top.push_back(std::move(c));
    }
    l.stop = p;
    return l;
}

}  // namespace riff

#endif
