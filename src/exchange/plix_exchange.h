// HTTP exchange: the response record, the authenticated request layer, the
// mapping of HTTP statuses to result codes and messages, and the two
// built-in transports (the in-memory fake, and the absent network one).
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "plix.h"
#include "plix_fake.h"
#include "util/plix_owner.h"

// The service's API base URL; every request to the API starts with it.
#define PLIX_BASE_URL "https://debrid-link.com/api/v2"

// The longest request URL the request layer sends, and its refusal.
inline constexpr size_t PLIX_URL_MAX = 8192;
#define PLIX_URL_TOO_LONG "request URL longer than 8 KiB"

// Content types the operations send.
#define PLIX_FORM_TYPE "application/x-www-form-urlencoded"
#define PLIX_TORRENT_TYPE "multipart/form-data; boundary=plixtorrent"

// The outcome of one completed exchange. The record owns body: the string
// the transport stored, kept rather than copied (a listing's body is large)
// and handed back through the transport's free slot when the record is
// released.
struct plix_resp {
    int32_t status;                              // HTTP status; 0 unless the exchange completed
    char *body;                                  // the NUL-terminated body, or null
    uint64_t length;                             // strlen(body)
    void (*release)(void *context, char *text);  // the table's free slot, or null: free()
    void *context;                               // the table's context for release
};

// Releases the body and zero-fills the record; harmless when zero-filled.
void plix_resp_free(plix_resp *resp);

// A response record released when the scope ends.
using plix_resp_guard = plix_owner<plix_resp, plix_resp_free>;

// One exchange through table: GET without a body, POST (multipart torrent
// content type) with one. 0 when the exchange completed (any status), -1
// with a one-line message (URL redacted) when it did not.
[[nodiscard]] int plix_http(const plix_io *table, const char *url, const char *body,
                            plix_resp *resp, char *message, size_t capacity);
// One POST with the caller's content type (null: form-urlencoded) and body
// (null: empty). Needs only the table's post slot.
[[nodiscard]] int plix_http_post(const plix_io *table, const char *url, const char *content_type,
                                 const char *body, plix_resp *resp, char *message, size_t capacity);
// url with "?apikey=" or "&apikey=" and the percent-encoded key appended, as
// a new heap string in *out. 0 or -1.
[[nodiscard]] int auth_url(const char *url, const char *key, char **out);
// The same exchanges, with the API key appended to the URL.
[[nodiscard]] int plix_http_auth(const plix_io *table, const char *key, const char *url,
                                 const char *body, plix_resp *resp, char *message, size_t capacity);
[[nodiscard]] int plix_http_auth_delete(const plix_io *table, const char *key, const char *url,
                                        plix_resp *resp, char *message, size_t capacity);
[[nodiscard]] int plix_http_auth_post(const plix_io *table, const char *key, const char *url,
                                      const char *content_type, const char *body, plix_resp *resp,
                                      char *message, size_t capacity);
// The first line of text, leading blanks skipped, cut to size - 1 bytes.
void plix_body_line(const char *text, char *output, size_t size);

// Result code of an HTTP status: 2xx 0, 401/403 -1, 404 -2, 429 -3,
// 5xx -4, anything else -5.
[[nodiscard]] int plix_map_status(int32_t status);
// The message for a refused status: the service's "error" and
// "error_description" when the body carries them, else the bare status.
void plix_http_msg(int32_t status, const char *body, uint64_t length, const char *label,
                   char *message, size_t capacity);

// The fake's routes and counters, as the plix_fake_* exports reach them
// (same arguments and answers).
void plix_io_fake_reset();
[[nodiscard]] int plix_io_fake_set(const char *method, const char *url, int status,
                                   const char *body);
[[nodiscard]] int plix_io_fake_fail(const char *method, const char *url, const char *message);
[[nodiscard]] int plix_io_fake_calls(const char *method, const char *url);
const char *plix_io_fake_last_body(const char *url);
const char *plix_io_fake_last_url();

// The built-in transports. plix_io_curl() is null: there is no network
// transport inside the plug-in.
const plix_io *plix_io_fake(void);
const plix_io *plix_io_curl(void);

// The fake's table growth: cap doubled (32 from 0), or 0 when the doubled
// count or the size of its block of elem_size-byte records would overflow.
[[nodiscard]] int plix_grow_count(int cap, size_t elem_size);
// A 64-bit count as the exports answer it: INT_MAX past the int range.
[[nodiscard]] int plix_count_int(int64_t n);
