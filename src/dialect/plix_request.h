// The request step the operations share (internal to dialect/).
#pragma once

#include "dialect/plix_session.h"
#include "exchange/plix_http.h"
#include "exchange/plix_status.h"
#include "util/plix_json.h"

// One authenticated GET of url. 0 with a 2xx response in resp; -4 when the
// request layer failed (its message stands); otherwise the status's class
// with the message of plix_http_msg for label, and resp released.
[[nodiscard]] int plix_get_ok(const plix_sess *sess, const char *url, const char *label,
                              plix_resp *resp, char *message, size_t capacity);

// One authenticated GET of url whose 2xx answer is opened as the service's
// envelope: 0 with the document in doc and its "value" in *value, else the
// failure's code with its message. The response is released either way.
[[nodiscard]] int plix_get_value(const plix_sess *sess, const char *url, const char *label,
                                 plix_doc *doc, yyjson_val **value, char *message, size_t capacity);

// The class of a completed response: its status's (plix_map_status), or,
// for a status without a class of its own (-5), the class of the error
// code in its body when that code has one (PLIX_E_NOMEM when memory ran
// out reading it).
[[nodiscard]] int plix_refusal_class(const plix_resp *resp);

// Judges a completed response's status: 0 for 2xx, else the status's class
// (plix_refusal_class) with the message of plix_http_msg for label, or
// PLIX_E_NOMEM when memory ran out on the way.
[[nodiscard]] int plix_status_ok(const plix_resp *resp, const char *label, char *message,
                                 size_t capacity);
