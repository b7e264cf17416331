// The request step the operations share (internal to dialect/).
#pragma once

#include "boundary/plix_session.h"
#include "exchange/plix_exchange.h"

// One authenticated GET of url. 0 with a 2xx response in resp; -4 when the
// request layer failed (its message stands); otherwise the status's class
// with the message of plix_http_msg for label, and resp released.
int plix_get_ok(const plix_sess *sess, const char *url, const char *label, plix_resp *resp,
                char *message, size_t capacity);

// Judges a completed response's status: 0 for 2xx, else the status's class
// with the message of plix_http_msg for label.
int plix_status_ok(const plix_resp *resp, const char *label, char *message, size_t capacity);

// The message every operation writes when a text buffer cannot grow.
int plix_oom(char *message, size_t capacity);
