// The request layer: exactly one exchange through a transport table per
// call, with the API key appended and every quoted URL redacted.
#pragma once

#include <stddef.h>

#include "exchange/plix_resp.h"
#include "plix.h"
#include "util/plix_result.h"

// The service's API base URL; every request to the API starts with it.
#define PLIX_BASE_URL "https://debrid-link.com/api/v2"

// The longest request URL the request layer sends, and its refusal.
inline constexpr size_t PLIX_URL_MAX = 8192;
#define PLIX_URL_TOO_LONG "request URL longer than 8 KiB"

// Content types the operations send.
#define PLIX_FORM_TYPE "application/x-www-form-urlencoded"
#define PLIX_TORRENT_TYPE "multipart/form-data; boundary=plixtorrent"

// Each request answers PLIX_DONE when the exchange completed (any status),
// with resp holding it, or PLIX_FAILED with a one-line message (URL
// redacted) when no exchange took place.

// One exchange through table: GET without a body, POST (multipart torrent
// content type) with one.
plix_done plix_http(const plix_io *table, const char *url, const char *body, plix_resp *resp,
                    char *message, size_t capacity);
// One POST with the caller's content type (null: form-urlencoded) and body
// (null: empty). Needs only the table's post slot.
plix_done plix_http_post(const plix_io *table, const char *url, const char *content_type,
                         const char *body, plix_resp *resp, char *message, size_t capacity);
// url with "?apikey=" or "&apikey=" and the percent-encoded key appended, as
// a new heap string in *out.
plix_done auth_url(const char *url, const char *key, char **out);
// The same exchanges, with the API key appended to the URL.
plix_done plix_http_auth(const plix_io *table, const char *key, const char *url, const char *body,
                         plix_resp *resp, char *message, size_t capacity);
plix_done plix_http_auth_delete(const plix_io *table, const char *key, const char *url,
                                plix_resp *resp, char *message, size_t capacity);
plix_done plix_http_auth_post(const plix_io *table, const char *key, const char *url,
                              const char *content_type, const char *body, plix_resp *resp,
                              char *message, size_t capacity);
// The first line of text, leading blanks skipped, cut to size - 1 bytes.
void plix_body_line(const char *text, char *output, size_t size);
