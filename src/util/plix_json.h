// Reading JSON with yyjson: an owning document handle and the member-lookup
// rule every reader follows (exact, case-sensitive key; the first member
// with the key wins; a value of the wrong type counts as absent).
#pragma once

#include <stdint.h>
#include <string.h>
#include <yyjson.h>

#include "util/plix_owner.h"

// Releases a parsed document and nulls the pointer.
inline void plix_doc_free(yyjson_doc **d) {
    yyjson_doc_free(*d);
    *d = nullptr;
}

// An owned parsed document, and its root (null when none is held).
using plix_doc = plix_owner<yyjson_doc *, plix_doc_free>;
inline yyjson_val *plix_doc_root(const plix_doc &doc) { return yyjson_doc_get_root(doc.get()); }

// Parses length bytes strictly: no reader flags, default allocator. When
// oom is given it tells whether a failure was the reader running out of
// memory rather than invalid JSON.
inline yyjson_doc *plix_json_parse(const char *bytes, size_t length, bool *oom = nullptr) {
    yyjson_read_err err{};
    // Without the in-situ flag the reader never writes to its input.
    yyjson_doc *d = yyjson_read_opts(const_cast<char *>(bytes), length, 0, nullptr, &err);
    if (oom) *oom = !d && err.code == YYJSON_READ_ERROR_MEMORY_ALLOCATION;
    return d;
}

// Parses a NUL-terminated text (null gives null) as plix_json_parse does.
inline yyjson_doc *plix_json_read(const char *text, bool *oom = nullptr) {
    if (oom) *oom = false;
    return text ? plix_json_parse(text, strlen(text), oom) : nullptr;
}

// The first member's string, or null when absent or not a string.
inline const char *plix_json_str(yyjson_val *obj, const char *key) {
    yyjson_val *v = yyjson_obj_get(obj, key);
    return yyjson_is_str(v) ? yyjson_get_str(v) : nullptr;
}

// The first member's string when it is a non-empty string, else null.
inline const char *plix_json_text(yyjson_val *obj, const char *key) {
    const char *s = plix_json_str(obj, key);
    return s && s[0] ? s : nullptr;
}

// The first member's integer (64 bits read as signed), or fallback when it
// is absent or not an integer.
inline int64_t plix_json_int(yyjson_val *obj, const char *key, int64_t fallback) {
    yyjson_val *v = yyjson_obj_get(obj, key);
    return yyjson_is_int(v) ? yyjson_get_sint(v) : fallback;
}
