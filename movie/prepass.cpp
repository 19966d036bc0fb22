// prepass.cpp - before a movie is planned: the list pre-pass (every name
// counted and test-opened) and the first-image probe; see prepass.h.
//
// Every listed name reaches a file through joinlisted (framelist.h), the one
// join of a name to the program directory in the mode in use.

#include "movie/prepass.h"

#include <cstdio>

#include "image/image.h"
#include "movie/writer_internal.h"
#include "platform/platform.h"
#include "stream/stream.h"

char badpngname[BADPNGNAME_CAP];
char16_t badpngnameW[BADPNGNAME_CAP];

void movie_detail::copyname(char* dst, const char* src, size_t cap) {
    size_t k = 0;
    for (; src[k] && k + 1 < cap; k++) dst[k] = src[k];
    dst[k] = 0;
}

using movie_detail::copyname;

// ---- The pre-pass -------------------------------------------------------------------

int listopen(const moviepaths& p) {
    return p.wide ? tfopenW(p.listW ? p.listW : u"") : tfopen(p.list ? p.list : "");
}

int testopen(const char* name, uint8_t wide) {
    char path[JOINED_CAP];
    char16_t pathW[JOINED_CAP];
    if (!joinlisted(path, pathW, name, wide)) return -1;
    if ((wide ? rfopenqW(pathW) : rfopenq(path)) != 0) return -1;
    rfclose();
    return 0;
}

int listprepass(const moviepaths& p, listfacts* out) {
    badpngname[0] = 0;
    badpngnameW[0] = 0;
    *out = listfacts{};
    uint32_t count = 0;
    if (listopen(p) == 0) {
        char name[LISTNAME_BUF];
        while (listgetname(name) == 0) {
            if (count == 0) {
                copyname(out->first, name, sizeof out->first);
                name2wide(out->firstW, name);
            }
            if (testopen(name, p.wide) != 0) {
                tfclose();
                copyname(badpngname, name, BADPNGNAME_CAP);
                name2wide(badpngnameW, name);
                g_os.sleep_ms(1);
                return AVI1_BAD_IMAGE;
            }
            g_os.sleep_ms(0);
            count++;
            printf("%d:  %s \n", (int)count, name);
        }
        tfclose();
        // A list cut by a failed read would make a shorter movie that looks
        // whole.
        if (tferror()) {
            printf("Read failed in the list of images (list.txt). \n");
            return AVI1_FAILED;
        }
    }
    out->n = count;
    printf("  => %d frames. \n", (int)count);
    return 0;
}

// ---- The first image ----------------------------------------------------------------

int firstimage(const moviepaths& p, const listfacts& lf, bool odml) {
    const char* mode = p.wide ? "Could not open in UTF-16 mode. \n"
                              : "Could not open in ANSI/UTF-8 mode. \n";
    g_os.sleep_ms(100);
    if ((odml && lf.n == 0) || testopen(lf.first, p.wide) != 0) {
        printf("%s", mode);
        if (odml) {
            printf(" PNG files unavailable. \n");
            return AVI1_STOP;
        }
        printf("Sorry. This Folder does not support access in ANSI/UTF-8 mode. \n");
        return AVI1_FOURCC_IFF;
    }
    g_os.sleep_ms(100);
    char path[JOINED_CAP];
    char16_t pathW[JOINED_CAP];
    joinlisted(path, pathW, lf.first, p.wide);  // fits: the test-open above joined it
    if ((p.wide ? pngscanW(pathW) : pngscan(path)) != 0) {
        printf("Sorry. Cannot access in PNG file(s) in ANSI/UTF-8 mode. \n");
        return AVI1_STOP;
    }
    printf("  => %s : (%d,%d) %d-bit ", lf.first, (int)pngwidth, (int)pngheight, pngdepth);
    printf(pnghasalpha ? " ALPHA exist. \n" : " RGB planes only. \n");
    return 0;
}
