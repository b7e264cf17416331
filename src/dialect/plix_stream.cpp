// Stream URL: a listed file's locator is already the URL to play.
#include "dialect/plix_dialect.h"
#include "dialect/plix_request.h"

int plix_do_stream(const plix_sess *, const char *locator, plix_buf *out, char *message,
                   size_t capacity) {
    if (!locator || !locator[0]) {
        plix_msg(message, capacity, "entry has no locator");
        return PLIX_E_NOT_FOUND;
    }
    if (!plix_buf_adds(out, "{\"url\":") || !plix_buf_json_str(out, locator) ||
        !plix_buf_adds(out, "}"))
        return plix_oom(message, capacity);
    return 0;
}
