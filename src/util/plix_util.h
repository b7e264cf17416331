// Foundations: the growable text buffer with its JSON and query writers,
// percent-encoding, redaction of keys and user info in URLs, and the strict
// UTF-8 test.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <string_view>

#include "plix.h"  // the result classes (PLIX_OK, PLIX_E_*)

// What the functions answer that report only whether they failed (the text
// buffer, the request layer, a transport), as opposed to a result class:
// 0, or PLIX_FAILED.
enum : int { PLIX_FAILED = -1 };

struct yyjson_val;
struct yyjson_doc;

#if defined(__MINGW32__)
#define PLIX_PRINTF(f, a) __attribute__((format(gnu_printf, f, a)))
#else
#define PLIX_PRINTF(f, a) __attribute__((format(printf, f, a)))
#endif

// A growable NUL-terminated byte buffer. A zero-filled record is an empty
// buffer without a block. After each successful append, text is non-null
// and text[length] is NUL; once a block exists its capacity is 256 times a
// power of two. Every operation answers 0 or -1 (a plain failure flag).
struct plix_buf {
    char *text;
    uint64_t length;
    uint64_t capacity;
};

// The appends that need the block to grow; plix_buf_add is the whole rule.
[[nodiscard]] int plix_buf_add_grow(plix_buf *buf, const void *bytes, uint64_t count);
// Appends count bytes. Inline: listings append many short pieces, and most
// fit without growing the block.
[[nodiscard]] inline int plix_buf_add(plix_buf *buf, const void *bytes, uint64_t count) {
    if (!buf || !buf->text || buf->capacity - buf->length <= count)
        return plix_buf_add_grow(buf, bytes, count);
    if (count) memcpy(buf->text + buf->length, bytes, static_cast<size_t>(count));
    buf->length += count;
    buf->text[buf->length] = '\0';
    return 0;
}
// Inline, so that the length of a literal is known where it is written.
[[nodiscard]] inline int plix_buf_adds(plix_buf *buf, const char *s) {
    return plix_buf_add(buf, s, strlen(s));
}
[[nodiscard]] int plix_buf_addf(plix_buf *buf, const char *format, ...) PLIX_PRINTF(2, 3);
// Appends the decimal digits of value, as "%lld" writes them.
[[nodiscard]] int plix_buf_int(plix_buf *buf, int64_t value);
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
[[nodiscard]] int plix_buf_json_str(plix_buf *buf, const char *s);
// The same for the length bytes at s (which must not hold a NUL).
[[nodiscard]] int plix_buf_json_strn(plix_buf *buf, const char *s, size_t length);
// Appends a parsed value as compact JSON (yyjson's writer, no flags).
[[nodiscard]] int plix_buf_json_val(plix_buf *buf, yyjson_val *value);
[[nodiscard]] int plix_buf_json_obj(plix_buf *buf, yyjson_val *value);  // -1 unless an object
[[nodiscard]] int plix_buf_json_arr(plix_buf *buf, yyjson_val *value);  // -1 unless an array
// Appends "?" (or "&" when the content already holds a "?"), name, "=" and
// the percent-encoded value.
[[nodiscard]] int plix_buf_query(plix_buf *buf, const char *name, const char *value);
void plix_buf_free(plix_buf *buf);

// Makes sure count more bytes fit without another allocation (same growth
// rule as an append). 0 or -1.
[[nodiscard]] int plix_buf_reserve(plix_buf *buf, uint64_t count);

// Heap copies (null in, or allocation failure, gives null).
[[nodiscard]] char *plix_strdup(const char *s);
[[nodiscard]] char *plix_strndup(const char *bytes, size_t count);

// Percent-encoding: A-Z a-z 0-9 - . _ ~ are kept, every other byte becomes
// "%" and two upper-case hex digits.
constexpr bool plix_unreserved(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_' || c == '~';
}
// The length of the encoding of s.
size_t plix_pct_len(std::string_view s);
// A new heap string holding the encoding of s (null s encodes to ""); null
// when the allocation fails.
[[nodiscard]] char *plix_pct_encode(const char *s);
// Writes the encoding of s at out (plix_pct_len(s) bytes, no NUL) and
// returns the end of what it wrote.
char *plix_pct_write(char *out, std::string_view s);

// Length of the well-formed UTF-8 sequence at p (1 to 4), or 0 when the
// bytes there do not begin one. At most avail bytes are read.
[[nodiscard]] int plix_utf8_seq(const unsigned char *p, size_t avail);
// 1 when count bytes are well-formed UTF-8, else 0.
[[nodiscard]] int plix_utf8_ok(const void *bytes, size_t count);

// Writes text into output (size bytes, always NUL-terminated when size > 0)
// with every URL's user info dropped and every apikey parameter's value
// replaced by "***". Never allocates and never fails; a cut output never
// holds a byte redaction would have dropped.
void plix_redact_into(const char *text, char *output, size_t size);

// Masks every occurrence of secret (raw, and percent-encoded when that
// differs) in text with '*' bytes, in place, and every cut-short copy: a run
// of 8 bytes or more that begins it, or of 4 or more at the end of text.
// Secrets under 4 bytes are left.
void plix_scrub(char *text, const char *secret);

// Owns a value, a record or a heap pointer, and hands it to Release when
// the scope ends, unless release() took it first. T{} is the empty value,
// and Release must accept it.
template <typename T, void (*Release)(T *)>
class plix_owner {
  public:
    plix_owner() : v_{} {}
    explicit plix_owner(T v) : v_(v) {}
    ~plix_owner() { Release(&v_); }
    plix_owner(const plix_owner &) = delete;
    plix_owner &operator=(const plix_owner &) = delete;
    T &get() { return v_; }
    const T &get() const { return v_; }
    // For a function that fills the value in.
    T *out() { return &v_; }
    // Hands the value to the caller, who releases it, and keeps T{}.
    [[nodiscard]] T release() {
        T v = v_;
        v_ = T{};
        return v;
    }
    void reset(T v = T{}) {
        Release(&v_);
        v_ = v;
    }
    // For pointers: whether one is held.
    explicit operator bool() const { return v_ != nullptr; }

  private:
    T v_;
};

// Frees a heap pointer and nulls it.
template <typename T>
void plix_heap_free(T **p) {
    free(*p);
    *p = nullptr;
}

template <typename T>
using plix_heap = plix_owner<T *, plix_heap_free<T>>;
using plix_str = plix_heap<char>;
using plix_buf_guard = plix_owner<plix_buf, plix_buf_free>;

// Bounded formatting into a message buffer: cut to size - 1, NUL-terminated.
void plix_msg(char *message, size_t capacity, const char *format, ...) PLIX_PRINTF(3, 4);
