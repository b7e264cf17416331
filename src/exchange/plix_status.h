// HTTP statuses as result classes, and the message for a refused status.
#pragma once

#include <stddef.h>
#include <stdint.h>

// Result code of an HTTP status: 2xx 0, 401/403 -1, 404 -2, 429 -3,
// 5xx -4, anything else -5.
[[nodiscard]] int plix_map_status(int32_t status);
// Writes the message for a refused status: the service's "error" and
// "error_description" when the body carries them, else the bare status.
// false, with the message "out of memory", when memory ran out reading
// the body.
[[nodiscard]] bool plix_http_msg(int32_t status, const char *body, uint64_t length,
                                 const char *label, char *message, size_t capacity);
