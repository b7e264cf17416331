// The growable text buffer with its JSON and query writers.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include "util/plix_owner.h"
#include "util/plix_text.h"

struct yyjson_val;

// A growable NUL-terminated byte buffer. A zero-filled record is an empty
// buffer without a block. After each successful append, text is non-null
// and text[length] is NUL; once a block exists its capacity is 256 times a
// power of two. Every operation answers PLIX_DONE, or PLIX_FAILED when the
// block cannot grow.
struct plix_buf {
    char *text;
    uint64_t length;
    uint64_t capacity;
};

// The appends that need the block to grow; plix_buf_add is the whole rule.
plix_done plix_buf_add_grow(plix_buf *buf, const void *bytes, uint64_t count);
// Appends count bytes. Inline: listings append many short pieces, and most
// fit without growing the block.
inline plix_done plix_buf_add(plix_buf *buf, const void *bytes, uint64_t count) {
    if (!buf || !buf->text || buf->capacity - buf->length <= count)
        return plix_buf_add_grow(buf, bytes, count);
    if (count) memcpy(buf->text + buf->length, bytes, static_cast<size_t>(count));
    buf->length += count;
    buf->text[buf->length] = '\0';
    return PLIX_DONE;
}
// Inline, so that the length of a literal is known where it is written.
inline plix_done plix_buf_adds(plix_buf *buf, const char *s) {
    return plix_buf_add(buf, s, strlen(s));
}
plix_done plix_buf_addf(plix_buf *buf, const char *format, ...) PLIX_PRINTF(2, 3);
// Appends the decimal digits of value, as "%lld" writes them.
plix_done plix_buf_int(plix_buf *buf, int64_t value);
// The most bytes plix_int_write writes.
inline constexpr size_t PLIX_INT_MAX_DIGITS = 20;
// Writes the decimal digits of value at out and returns their end.
char *plix_int_write(char *out, int64_t value);
// Whether the n bytes at s go into a JSON string unchanged (no quotation
// mark, backslash, control byte, DEL or byte from 0x80 up).
[[nodiscard]] bool plix_json_plain(const char *s, size_t n);
// Appends s as a JSON string (quoted, escaped); null appends null. Bytes
// that do not begin a well-formed UTF-8 sequence become U+FFFD, so the
// output is always valid UTF-8 JSON.
plix_done plix_buf_json_str(plix_buf *buf, const char *s);
// The same for the length bytes at s (which must not hold a NUL).
plix_done plix_buf_json_strn(plix_buf *buf, const char *s, size_t length);
// Appends a parsed value as compact JSON (yyjson's writer, no flags).
plix_done plix_buf_json_val(plix_buf *buf, yyjson_val *value);
plix_done plix_buf_json_obj(plix_buf *buf, yyjson_val *value);  // -1 unless an object
plix_done plix_buf_json_arr(plix_buf *buf, yyjson_val *value);  // -1 unless an array
// Appends "?" (or "&" when the content already holds a "?"), name, "=" and
// the percent-encoded value.
plix_done plix_buf_query(plix_buf *buf, const char *name, const char *value);
void plix_buf_free(plix_buf *buf);

// Makes sure count more bytes fit without another allocation (same growth
// rule as an append). 0 or -1.
plix_done plix_buf_reserve(plix_buf *buf, uint64_t count);

using plix_buf_guard = plix_owner<plix_buf, plix_buf_free>;
