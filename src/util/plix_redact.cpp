// Redaction of API keys and URL user info in texts shown to people, and
// the masking of one known key in a message.
#include "util/plix_redact.h"

#include <string.h>

#include "util/plix_pct.h"

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

// ------------------------------------------------------------ key masking

namespace {

int hex_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    c = static_cast<char>(c | 0x20);
    return (c >= 'a' && c <= 'f') ? c - 'a' + 10 : -1;
}

// How many bytes at p begin the percent-encoded form of secret (hex digits
// in either case, possibly cut inside an escape).
size_t encoded_prefix(const char *p, const char *secret) {
    const char *q = p;
    for (const auto *s = reinterpret_cast<const unsigned char *>(secret); *s; ++s) {
        if (plix_unreserved(*s)) {
            if (static_cast<unsigned char>(*q) != *s) break;
            ++q;
            continue;
        }
        if (q[0] != '%') break;
        ++q;
        if (hex_value(q[0]) != *s >> 4) break;
        ++q;
        if (hex_value(q[0]) != (*s & 15)) break;
        ++q;
    }
    return static_cast<size_t>(q - p);
}

// How many bytes at p begin secret, raw or percent-encoded: the longer.
size_t prefix_at(const char *p, const char *secret) {
    size_t raw = 0;
    while (secret[raw] && p[raw] == secret[raw]) ++raw;
    size_t encoded = encoded_prefix(p, secret);
    return raw > encoded ? raw : encoded;
}

}  // namespace

void plix_scrub(char *text, const char *secret) {
    if (!text || !secret) return;
    size_t n = strlen(secret);
    if (n < 4) return;
    size_t encoded = plix_pct_len(secret);
    if (encoded != n) {
        for (char *p = text; *p;) {
            size_t m = encoded_prefix(p, secret) == encoded ? encoded : 0;
            if (m) {
                memset(p, '*', m);
                p += m;
            } else {
                ++p;
            }
        }
    }
    for (char *p = strstr(text, secret); p; p = strstr(p + n, secret)) memset(p, '*', n);
    // Messages and their parts are cut to bounds, so a key may also stand
    // cut short: a run of 8 or more bytes that begins it goes too, and at
    // the very end of the text (where most cuts fall) one of 4 or more.
    size_t length = strlen(text);
    for (size_t at = 0; at + 4 <= length;) {
        size_t m = prefix_at(text + at, secret);
        if (m >= 8 || (m >= 4 && at + m == length)) {
            memset(text + at, '*', m);
            at += m;
        } else {
            ++at;
        }
    }
}
