// The text buffer and its writers.
#include <stdarg.h>
#include <stdio.h>
#include <string.h>
#include <yyjson.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "util/plix_buf.h"
#include "util/plix_utf8.h"

namespace {

// Capacity for a need of `need` bytes: 256, doubled until it fits. 0 when
// the capacity would no longer read as a non-negative signed 64-bit number.
uint64_t grown_capacity(uint64_t capacity, uint64_t need) {
    uint64_t c = capacity ? capacity : 256;
    while (c < need) {
        if (c >> 63) return 0;
        c *= 2;
    }
    return c;
}

}  // namespace

plix_done plix_buf_reserve(plix_buf *buf, uint64_t count) {
    if (!buf) return PLIX_FAILED;
    if (count > UINT64_MAX - 1 - buf->length) return PLIX_FAILED;
    uint64_t need = buf->length + count + 1;
    if (buf->capacity >= need && buf->text) return PLIX_DONE;
    uint64_t c = grown_capacity(buf->capacity, need);
    if (!c || c > SIZE_MAX) return PLIX_FAILED;
    char *t = static_cast<char *>(realloc(buf->text, static_cast<size_t>(c)));
    if (!t) return PLIX_FAILED;
    if (!buf->text) t[0] = '\0';
    buf->text = t;
    buf->capacity = c;
    return PLIX_DONE;
}

plix_done plix_buf_add_grow(plix_buf *buf, const void *bytes, uint64_t count) {
    if (!plix_buf_reserve(buf, count)) return PLIX_FAILED;
    if (count) memcpy(buf->text + buf->length, bytes, static_cast<size_t>(count));
    buf->length += count;
    buf->text[buf->length] = '\0';
    return PLIX_DONE;
}

char *plix_int_write(char *out, int64_t value) {
    // Two digits at a time from a table: listings write a size per item.
    static constexpr char pairs[] =
        "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
        "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
        "8081828384858687888990919293949596979899";
    char digits[PLIX_INT_MAX_DIGITS];
    char *end = digits + sizeof digits, *p = end;
    // The magnitude as unsigned, so that INT64_MIN needs no special case.
    uint64_t v = value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
    while (v >= 100) {
        p -= 2;
        memcpy(p, pairs + v % 100 * 2, 2);
        v /= 100;
    }
    if (v >= 10) {
        p -= 2;
        memcpy(p, pairs + v * 2, 2);
    } else {
        *--p = static_cast<char>('0' + v);
    }
    if (value < 0) *--p = '-';
    size_t n = static_cast<size_t>(end - p);
    memcpy(out, p, n);
    return out + n;
}

plix_done plix_buf_int(plix_buf *buf, int64_t value) {
    if (!plix_buf_reserve(buf, PLIX_INT_MAX_DIGITS)) return PLIX_FAILED;
    char *end = plix_int_write(buf->text + buf->length, value);
    *end = '\0';
    buf->length = static_cast<uint64_t>(end - buf->text);
    return PLIX_DONE;
}

plix_done plix_buf_addf(plix_buf *buf, const char *format, ...) {
    char local[512];
    va_list ap;
    va_start(ap, format);
    int n = vsnprintf(local, sizeof local, format, ap);
    va_end(ap);
    if (n < 0) return PLIX_FAILED;
    if (n < static_cast<int>(sizeof local))
        return plix_buf_add(buf, local, static_cast<uint64_t>(n));
    plix_str block(static_cast<char *>(malloc(static_cast<size_t>(n) + 1)));
    if (!block) return PLIX_FAILED;
    va_start(ap, format);
    int m = vsnprintf(block.get(), static_cast<size_t>(n) + 1, format, ap);
    va_end(ap);
    if (m != n) return PLIX_FAILED;
    return plix_buf_add(buf, block.get(), static_cast<uint64_t>(n));
}

void plix_buf_free(plix_buf *buf) {
    if (!buf) return;
    free(buf->text);
    *buf = plix_buf{};
}

// ------------------------------------------------------------ JSON string

namespace {

// 0: copied as is; 1: short escape; 2: \u00XX; 3: may start a multi-byte
// UTF-8 sequence (checked before copying).
constexpr unsigned char kind_of(unsigned char c) {
    if (c == '"' || c == '\\' || c == '\t' || c == '\n' || c == '\r') return 1;
    if (c < 0x20 || c == 0x7f) return 2;
    if (c >= 0x80) return 3;
    return 0;
}

struct byte_kinds {
    unsigned char k[256];
    constexpr byte_kinds() : k{} {
        for (int i = 0; i < 256; ++i) k[i] = kind_of(static_cast<unsigned char>(i));
    }
};
constexpr byte_kinds s_kinds;

// Length of the leading run of kind-0 bytes of p[0..n). Sixteen bytes (with
// SSE2) or eight are tested at once: a block is passed over whole when none
// of its bytes is a quotation mark, a backslash, below 0x20, DEL or from
// 0x80 up. Names and URLs are mostly such runs, so this loop is where a
// listing spends much of its writing.
size_t plain_run(const unsigned char *p, size_t n) {
    constexpr uint64_t ones = 0x0101010101010101ull, high = ones * 0x80;
    auto has_zero = [](uint64_t v) { return (v - ones) & ~v & high; };
    size_t i = 0;
#if defined(__SSE2__)
    const __m128i quote = _mm_set1_epi8('"'), backslash = _mm_set1_epi8('\\'),
                  del = _mm_set1_epi8(0x7f), space = _mm_set1_epi8(0x20);
    for (; i + 16 <= n; i += 16) {
        __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + i));
        // As signed bytes, 0x80 and up are negative, so one compare finds
        // them with the control bytes.
        __m128i marked =
            _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(b, quote), _mm_cmpeq_epi8(b, backslash)),
                         _mm_or_si128(_mm_cmpeq_epi8(b, del), _mm_cmplt_epi8(b, space)));
        if (_mm_movemask_epi8(marked)) break;
    }
#endif
    for (; i + 8 <= n; i += 8) {
        uint64_t w;
        memcpy(&w, p + i, 8);
        uint64_t marked = (w & high) | ((w - ones * 0x20) & ~w & high) |
                          has_zero(w ^ (ones * '"')) | has_zero(w ^ (ones * '\\')) |
                          has_zero(w ^ (ones * 0x7f));
        if (marked) break;
    }
    while (i < n && s_kinds.k[p[i]] == 0) ++i;
    return i;
}

}  // namespace

bool plix_json_plain(const char *s, size_t n) {
    return plain_run(reinterpret_cast<const unsigned char *>(s), n) == n;
}

plix_done plix_buf_json_str(plix_buf *buf, const char *s) {
    if (!s) return plix_buf_add(buf, "null", 4);
    return plix_buf_json_strn(buf, s, strlen(s));
}

plix_done plix_buf_json_strn(plix_buf *buf, const char *s, size_t n) {
    const auto *p = reinterpret_cast<const unsigned char *>(s);
    // Reserve for the common case (nothing escaped) in one step.
    if (!plix_buf_reserve(buf, n + 2)) return PLIX_FAILED;
    size_t i = plain_run(p, n);
    if (i == n) {  // nothing to escape: one copy
        char *w = buf->text + buf->length;
        w[0] = '"';
        memcpy(w + 1, s, n);
        w[n + 1] = '"';
        w[n + 2] = '\0';
        buf->length += n + 2;
        return PLIX_DONE;
    }
    buf->text[buf->length++] = '"';
    buf->text[buf->length] = '\0';
    size_t run = 0;  // start of the pending run of bytes copied unchanged
    for (;;) {
        i += plain_run(p + i, n - i);
        if (i == n) break;
        unsigned char k = s_kinds.k[p[i]];
        if (k == 3) {
            int len = plix_utf8_seq(p + i, n - i);
            if (len > 0) {
                i += static_cast<size_t>(len);
                continue;
            }
        }
        if (!plix_buf_add(buf, p + run, i - run)) return PLIX_FAILED;
        char esc[8];
        size_t elen = 2;
        esc[0] = '\\';
        switch (p[i]) {
            case '"':
                esc[1] = '"';
                break;
            case '\\':
                esc[1] = '\\';
                break;
            case '\t':
                esc[1] = 't';
                break;
            case '\n':
                esc[1] = 'n';
                break;
            case '\r':
                esc[1] = 'r';
                break;
            default:
                if (k == 2) {
                    static constexpr char hex[] = "0123456789abcdef";
                    esc[1] = 'u';
                    esc[2] = '0';
                    esc[3] = '0';
                    esc[4] = hex[p[i] >> 4];
                    esc[5] = hex[p[i] & 15];
                    elen = 6;
                } else {  // a byte that begins no well-formed sequence
                    esc[0] = '\xEF';
                    esc[1] = '\xBF';
                    esc[2] = '\xBD';
                    elen = 3;
                }
        }
        if (!plix_buf_add(buf, esc, elen)) return PLIX_FAILED;
        run = ++i;
    }
    if (!plix_buf_add(buf, p + run, n - run)) return PLIX_FAILED;
    return plix_buf_add(buf, "\"", 1);
}

// ------------------------------------------------------------- JSON value

plix_done plix_buf_json_val(plix_buf *buf, yyjson_val *value) {
    size_t len = 0;
    char *json = yyjson_val_write(value, 0, &len);
    if (!json) return PLIX_FAILED;
    plix_done r = plix_buf_add(buf, json, len);
    free(json);
    return r;
}

plix_done plix_buf_json_obj(plix_buf *buf, yyjson_val *value) {
    return yyjson_is_obj(value) ? plix_buf_json_val(buf, value) : PLIX_FAILED;
}

plix_done plix_buf_json_arr(plix_buf *buf, yyjson_val *value) {
    return yyjson_is_arr(value) ? plix_buf_json_val(buf, value) : PLIX_FAILED;
}
