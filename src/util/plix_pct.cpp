// Percent-encoding (RFC 3986's unreserved bytes kept, every other byte
// escaped) and the query writer built on it.
#include "util/plix_pct.h"

#include <string.h>

#include "util/plix_buf.h"

namespace {

// plix_unreserved as a table, for the encoding loops.
struct unreserved_bytes {
    bool k[256];
    constexpr unreserved_bytes() : k{} {
        for (int i = 0; i < 256; ++i) k[i] = plix_unreserved(static_cast<unsigned char>(i));
    }
};
constexpr unreserved_bytes s_unreserved;

}  // namespace

size_t plix_pct_len(std::string_view s) {
    size_t n = 0;
    for (unsigned char c : s) n += s_unreserved.k[c] ? 1 : 3;
    return n;
}

char *plix_pct_write(char *out, std::string_view s) {
    static constexpr char hex[] = "0123456789ABCDEF";
    for (unsigned char c : s) {
        if (s_unreserved.k[c]) {
            *out++ = static_cast<char>(c);
        } else {
            out[0] = '%';
            out[1] = hex[c >> 4];
            out[2] = hex[c & 15];
            out += 3;
        }
    }
    return out;
}

char *plix_pct_encode(const char *s) {
    std::string_view v = s ? std::string_view(s) : std::string_view();
    char *out = static_cast<char *>(malloc(plix_pct_len(v) + 1));
    if (!out) return nullptr;
    *plix_pct_write(out, v) = '\0';
    return out;
}

plix_done plix_buf_query(plix_buf *buf, const char *name, const char *value) {
    if (!buf || !name) return PLIX_FAILED;
    std::string_view v = value ? std::string_view(value) : std::string_view();
    size_t name_len = strlen(name);
    bool has_q = buf->text && memchr(buf->text, '?', static_cast<size_t>(buf->length));
    // Room for the whole pair first, so that a failure appends nothing; the
    // value is encoded straight into the buffer.
    if (!plix_buf_reserve(buf, 2 + name_len + plix_pct_len(v))) return PLIX_FAILED;
    char *w = buf->text + buf->length;
    *w++ = has_q ? '&' : '?';
    memcpy(w, name, name_len);
    w += name_len;
    *w++ = '=';
    w = plix_pct_write(w, v);
    *w = '\0';
    buf->length = static_cast<uint64_t>(w - buf->text);
    return PLIX_DONE;
}
