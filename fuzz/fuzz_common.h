// What the fuzz targets share: input handling, the fake transport set-up,
// and the checks every answer must pass.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <yyjson.h>

#include <string>

#include "plix.h"
#include "plix_fake.h"
#include "util/plix_utf8.h"

#define FUZZ_BASE "https://debrid-link.com/api/v2"
#define FUZZ_KEY "fz-k3y-0001"
#define FUZZ_SETTINGS "{\"APIKey\":\"" FUZZ_KEY "\",\"ID\":\"7\"}"
#define FUZZ_AUTH "apikey=" FUZZ_KEY

// Stops the run with a message; libFuzzer records the input as a crash.
#define FUZZ_CHECK(cond, ...)                             \
    do {                                                  \
        if (!(cond)) {                                    \
            fprintf(stderr, "check failed: %s: ", #cond); \
            fprintf(stderr, __VA_ARGS__);                 \
            fputc('\n', stderr);                          \
            abort();                                      \
        }                                                 \
    } while (0)

// The input as a NUL-terminated text, cut at its first NUL byte the way a
// C string argument or a transported body is.
inline std::string fuzz_text(const uint8_t *data, size_t size) {
    std::string s(reinterpret_cast<const char *>(data), size);
    return s.substr(0, s.find('\0'));
}

// Parses text with the strict reader: valid UTF-8 JSON or null.
inline yyjson_doc *fuzz_parse(const char *text) {
    return yyjson_read_opts(const_cast<char *>(text), strlen(text), 0, nullptr, nullptr);
}

inline bool fuzz_is_json(const char *text) {
    yyjson_doc *d = fuzz_parse(text);
    yyjson_doc_free(d);
    return d != nullptr;
}

// Every code an operation may answer.
inline bool fuzz_known_code(int code) { return code <= 0 && code >= -9; }

// The checks every outcome of an operation passes: a known code; on
// success the buffer holds the answer, valid JSON, and the result channel
// holds the same; on failure the buffer holds {"error":<message>} (or is
// empty), the message is not empty and the result channel agrees.
inline void fuzz_check_outcome(int code, const char *out) {
    FUZZ_CHECK(fuzz_known_code(code), "code %d", code);
    if (code == 0) {
        FUZZ_CHECK(fuzz_is_json(out), "answer %s", out);
        FUZZ_CHECK(strcmp(out, plix_result_json()) == 0, "channel %s", plix_result_json());
        FUZZ_CHECK(plix_last_error()[0] == '\0', "error %s", plix_last_error());
        return;
    }
    const char *message = plix_last_error();
    FUZZ_CHECK(message[0], "code %d without a message", code);
    if (!out[0]) return;
    yyjson_doc *d = fuzz_parse(out);
    FUZZ_CHECK(d, "error document %s", out);
    yyjson_val *root = yyjson_doc_get_root(d);
    yyjson_val *error = yyjson_obj_get(root, "error");
    FUZZ_CHECK(yyjson_is_obj(root) && yyjson_obj_size(root) == 1 && yyjson_is_str(error),
               "error document %s", out);
    // The document carries the message (ill-formed bytes, as from a cut
    // message, become U+FFFD there).
    if (plix_utf8_ok(message, strlen(message)))
        FUZZ_CHECK(strcmp(yyjson_get_str(error), message) == 0, "%s vs %s", out, message);
    yyjson_doc_free(d);
    const char *result = plix_result_json();
    FUZZ_CHECK(!result[0] || fuzz_is_json(result), "result %s", result);
}

// The answer buffer, refilled with garbage before every call so that stale
// bytes would show. One block for the whole run.
struct fuzz_out {
    enum { size = 1 << 20 };
    char *text;
    fuzz_out() : text(block()) { memset(text, '#', size); }
    static char *block() {
        static char *b = static_cast<char *>(malloc(size));
        return b;
    }
};

// The first input byte picks the HTTP status of the canned answer (mostly
// 2xx); the rest is the body.
inline int fuzz_status(const uint8_t *data, size_t size) {
    static const int statuses[8] = {200, 200, 200, 200, 401, 404, 429, 500};
    return size ? statuses[data[0] & 7] : 200;
}

// Selects the fake transport with the write gate open, once.
inline void fuzz_setup() {
    plix_use_fake();
    plix_allow_writes(1);
}
