// Redaction of API keys and URL user info, and the strict UTF-8 test.
#include <string.h>

#include "util/plix_util.h"

// ------------------------------------------------------------------ UTF-8

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

// -------------------------------------------------------------- redaction

namespace {

// Appends into a fixed output, silently cutting at size - 1 bytes.
struct bounded {
    char *out;
    size_t size;
    size_t len = 0;
    void add(const char *p, size_t n) {
        size_t room = size - 1 - len;
        if (n > room) n = room;
        memcpy(out + len, p, n);
        len += n;
    }
    bool full() const { return len + 1 >= size; }
};

constexpr bool is_alpha(unsigned char c) { return (c | 0x20) >= 'a' && (c | 0x20) <= 'z'; }
constexpr bool is_scheme(unsigned char c) {
    return is_alpha(c) || (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.';
}
constexpr bool ends_authority(unsigned char c) {
    return c == '\0' || c == '/' || c == '?' || c == '#' || c == ' ' || c == '\t' || c == '\r' ||
           c == '\n';
}

// Does the "://" at text + i end a URL scheme? The maximal run of scheme
// bytes right before it must be non-empty and begin with a letter.
bool scheme_ends_at(const char *text, size_t i) {
    size_t b = i;
    while (b > 0 && is_scheme(static_cast<unsigned char>(text[b - 1]))) --b;
    return b < i && is_alpha(static_cast<unsigned char>(text[b]));
}

bool is_apikey(const char *p) {
    static constexpr char key[] = "apikey=";
    for (int i = 0; i < 7; ++i) {
        unsigned char c = static_cast<unsigned char>(p[i]);
        if (!c) return false;
        if (is_alpha(c)) c |= 0x20;
        if (c != static_cast<unsigned char>(key[i])) return false;
    }
    return true;
}

// How many bytes at p come before the first of Stops or the end of the
// text. A plain loop rather than strcspn: checking builds verify every
// strcspn call against the whole rest of the text, which made redacting a
// long text quadratic there.
template <char... Stops>
size_t span_until(const char *p) {
    size_t n = 0;
    while (p[n] && ((p[n] != Stops) && ...)) ++n;
    return n;
}

}  // namespace

void plix_redact_into(const char *text, char *output, size_t size) {
    if (!size) return;
    output[0] = '\0';
    if (!text) return;
    bounded w{output, size};
    size_t i = 0;    // read position
    size_t run = 0;  // start of the bytes not yet copied
    // A parameter at the very start has no separator before it.
    if (is_apikey(text)) {
        w.add("apikey=***", 10);
        i = 7 + span_until<'&', '#'>(text + 7);
        run = i;
    }
    while (text[i] && !w.full()) {
        char c = text[i];
        if (c == ':' && text[i + 1] == '/' && text[i + 2] == '/' && scheme_ends_at(text, i)) {
            // Drop the user info: everything up to the last '@' of the authority.
            size_t host = i + 3, at = 0;
            size_t e = host;
            for (; !ends_authority(static_cast<unsigned char>(text[e])); ++e)
                if (text[e] == '@') at = e + 1;
            w.add(text + run, host - run);
            i = run = at ? at : host;
            continue;
        }
        if ((c == '?' || c == '&') && is_apikey(text + i + 1)) {
            w.add(text + run, i + 1 - run);
            w.add("apikey=***", 10);
            i += 8;
            i += span_until<'&', '#'>(text + i);
            run = i;
            continue;
        }
        // On to the next byte that can begin something to redact.
        i += 1 + span_until<':', '?', '&'>(text + i + 1);
    }
    if (!w.full()) w.add(text + run, strlen(text + run));
    output[w.len] = '\0';
}
