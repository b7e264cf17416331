#include "dialect/plix_request.h"

#include "util/plix_text.h"
#include "wire/plix_wire.h"

int plix_refusal_class(const plix_resp *resp) {
    int code = plix_map_status(resp->status);
    // The service sends most refusals with a 4xx status such as 400, which
    // has no class of its own; its error code says what happened.
    if (code == PLIX_E_OTHER) code = plix_body_error_class(resp->body, resp->length);
    return code;
}

int plix_status_ok(const plix_resp *resp, const char *label, char *message, size_t capacity) {
    int code = plix_refusal_class(resp);
    if (code == PLIX_E_NOMEM) return plix_oom(message, capacity);
    if (code != 0 &&
        !plix_http_msg(resp->status, resp->body, resp->length, label, message, capacity))
        return PLIX_E_NOMEM;
    return code;
}

int plix_get_ok(const plix_sess *sess, const char *url, const char *label, plix_resp *resp,
                char *message, size_t capacity) {
    if (!plix_http_auth(sess->io, sess->cfg->api_key, url, nullptr, resp, message, capacity))
        return PLIX_E_SERVICE;
    int code = plix_status_ok(resp, label, message, capacity);
    if (code != 0) plix_resp_free(resp);
    return code;
}

int plix_get_value(const plix_sess *sess, const char *url, const char *label, plix_doc *doc,
                   yyjson_val **value, char *message, size_t capacity) {
    plix_resp_guard r;
    int code = plix_get_ok(sess, url, label, &r.get(), message, capacity);
    if (code != 0) return code;
    return plix_parse_envelope(r.get().body, r.get().length, doc->out(), value, message, capacity);
}
