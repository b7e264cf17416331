// The strict UTF-8 test: well-formed sequences only (no overlong forms, no
// surrogates, nothing above U+10FFFF).
#include "util/plix_utf8.h"

#include <stdint.h>

int plix_utf8_seq(const unsigned char *p, size_t avail) {
    if (!avail) return 0;
    unsigned char c = p[0];
    if (c < 0x80) return 1;
    int len;
    uint32_t v, min;
    if (c >= 0xC0 && c <= 0xDF) {
        len = 2, v = c & 0x1F, min = 0x80;
    } else if (c >= 0xE0 && c <= 0xEF) {
        len = 3, v = c & 0x0F, min = 0x800;
    } else if (c >= 0xF0 && c <= 0xF7) {
        len = 4, v = c & 0x07, min = 0x10000;
    } else {
        return 0;
    }
    if (avail < static_cast<size_t>(len)) return 0;
    for (int i = 1; i < len; ++i) {
        if ((p[i] & 0xC0) != 0x80) return 0;
        v = (v << 6) | (p[i] & 0x3F);
    }
    if (v < min || v > 0x10FFFF || (v >= 0xD800 && v <= 0xDFFF)) return 0;
    return len;
}

int plix_utf8_ok(const void *bytes, size_t count) {
    const auto *p = static_cast<const unsigned char *>(bytes);
    size_t i = 0;
    while (i < count) {
        int len = plix_utf8_seq(p + i, count - i);
        if (!len) return 0;
        i += static_cast<size_t>(len);
    }
    return 1;
}
