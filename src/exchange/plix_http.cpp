// The request layer: exactly one exchange through a transport table per
// call, with the API key appended and every quoted URL redacted.
#include "exchange/plix_http.h"

#include <string.h>

#include "util/plix_pct.h"
#include "util/plix_redact.h"
#include "util/plix_text.h"

namespace {

void release(const plix_io *table, char *text) {
    if (!text) return;
    if (table->free)
        table->free(table->context, text);
    else
        free(text);
}

// Finishes one slot call: a completed body goes into the record, which
// hands it back to the transport when released; a failure writes the
// message and releases the transport's strings.
plix_done settle(const plix_io *table, const char *method, const char *url, int answer, char *body,
                 int status, char *error, plix_resp *resp, char *message, size_t capacity) {
    if (answer == 0 && body) {
        release(table, error);
        resp->body = body;
        resp->length = strlen(body);
        resp->status = status;
        resp->release = table->free;
        resp->context = table->context;
        return PLIX_DONE;
    }
    char shown[512];
    char line[200];
    plix_redact_into(url, shown, sizeof shown);
    plix_body_line(error ? error : "transport failure", line, sizeof line);
    plix_msg(message, capacity, "%s %s: %s", method, shown, line);
    release(table, body);
    release(table, error);
    return PLIX_FAILED;
}

bool too_long(const char *url, char *message, size_t capacity) {
    if (strlen(url) <= PLIX_URL_MAX) return false;
    plix_msg(message, capacity, PLIX_URL_TOO_LONG);
    return true;
}

}  // namespace

void plix_resp_free(plix_resp *resp) {
    if (!resp) return;
    if (resp->body && resp->release)
        resp->release(resp->context, resp->body);
    else
        free(resp->body);
    *resp = plix_resp{};
}

namespace {

// One slot call: GET without a body, POST with one.
plix_done exchange(const plix_io *table, const char *url, const char *body,
                   const char *content_type, plix_resp *resp, char *message, size_t capacity) {
    if (!url) url = "";
    if (too_long(url, message, capacity)) return PLIX_FAILED;
    char *out = nullptr, *error = nullptr;
    int status = 0;
    int answer = body ? table->post(table->context, url, body, content_type, &out, &status, &error)
                      : table->get(table->context, url, &out, &status, &error);
    return settle(table, body ? "POST" : "GET", url, answer, out, status, error, resp, message,
                  capacity);
}

bool no_transport(bool missing, char *message, size_t capacity) {
    if (missing) plix_msg(message, capacity, "no transport");
    return missing;
}

// The length of the n-byte url with the key appended.
size_t keyed_length(size_t n, const char *key) { return n + 8 + plix_pct_len(key); }

// Writes the n-byte url with "?apikey=" (or "&apikey=" when it already has
// a query) and the percent-encoded key appended, and a NUL, at out.
void write_keyed(char *out, const char *url, size_t n, const char *key) {
    memcpy(out, url, n);
    memcpy(out + n, memchr(url, '?', n) ? "&apikey=" : "?apikey=", 8);
    *plix_pct_write(out + n + 8, key) = '\0';
}

// The URL with the key appended, as auth_url writes it, into full (room for
// the longest URL sent and its NUL); false with the message when it cannot
// be built. A URL past the bound is refused here as the exchange would
// refuse it.
bool with_key(const char *url, const char *key, char (&full)[PLIX_URL_MAX + 1], char *message,
              size_t capacity) {
    if (!url || !key) {
        (void)plix_oom(message, capacity);
        return false;
    }
    size_t n = strlen(url);
    // Encoding makes the key at most three times longer; only a URL that
    // may then pass the bound needs the key's exact encoded length.
    if (n + 8 + 3 * strlen(key) > PLIX_URL_MAX && keyed_length(n, key) > PLIX_URL_MAX) {
        plix_msg(message, capacity, PLIX_URL_TOO_LONG);
        return false;
    }
    write_keyed(full, url, n, key);
    return true;
}

}  // namespace

plix_done plix_http(const plix_io *table, const char *url, const char *body, plix_resp *resp,
                    char *message, size_t capacity) {
    *resp = plix_resp{};
    if (no_transport(!table || !table->get || !table->post, message, capacity)) return PLIX_FAILED;
    return exchange(table, url, body, PLIX_TORRENT_TYPE, resp, message, capacity);
}

plix_done plix_http_post(const plix_io *table, const char *url, const char *content_type,
                         const char *body, plix_resp *resp, char *message, size_t capacity) {
    *resp = plix_resp{};
    if (no_transport(!table || !table->post, message, capacity)) return PLIX_FAILED;
    return exchange(table, url, body ? body : "", content_type ? content_type : PLIX_FORM_TYPE,
                    resp, message, capacity);
}

plix_done auth_url(const char *url, const char *key, char **out) {
    if (!url || !key) return PLIX_FAILED;
    size_t n = strlen(url);
    char *full = static_cast<char *>(malloc(keyed_length(n, key) + 1));
    if (!full) return PLIX_FAILED;
    write_keyed(full, url, n, key);
    *out = full;
    return PLIX_DONE;
}

plix_done plix_http_auth(const plix_io *table, const char *key, const char *url, const char *body,
                         plix_resp *resp, char *message, size_t capacity) {
    if (no_transport(!table || !table->get || !table->post, message, capacity)) return PLIX_FAILED;
    char full[PLIX_URL_MAX + 1];
    if (!with_key(url, key, full, message, capacity)) return PLIX_FAILED;
    return plix_http(table, full, body, resp, message, capacity);
}

plix_done plix_http_auth_delete(const plix_io *table, const char *key, const char *url,
                                plix_resp *resp, char *message, size_t capacity) {
    return plix_http_auth(table, key, url, nullptr, resp, message, capacity);
}

plix_done plix_http_auth_post(const plix_io *table, const char *key, const char *url,
                              const char *content_type, const char *body, plix_resp *resp,
                              char *message, size_t capacity) {
    if (no_transport(!table || !table->post, message, capacity)) return PLIX_FAILED;
    char full[PLIX_URL_MAX + 1];
    if (!with_key(url, key, full, message, capacity)) return PLIX_FAILED;
    return plix_http_post(table, full, content_type, body, resp, message, capacity);
}

void plix_body_line(const char *text, char *output, size_t size) {
    if (!output || !size) return;
    output[0] = '\0';
    if (!text) return;
    while (*text == '\t' || *text == '\n' || *text == '\r' || *text == ' ') ++text;
    size_t n = 0;
    while (text[n] && text[n] != '\n' && text[n] != '\r' && n + 1 < size) ++n;
    memcpy(output, text, n);
    output[n] = '\0';
}
