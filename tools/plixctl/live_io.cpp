// The table both live transports share: its slots call the stack's
// live_exchange, and strings go back with free().
#include "live_io.h"

#include <stdlib.h>
#include <string.h>

namespace {

int io_get(void *context, const char *url, char **body_out, int *status_out, char **error_out) {
    return live_exchange(static_cast<const live_options *>(context), url, nullptr, nullptr,
                         body_out, status_out, error_out);
}

int io_post(void *context, const char *url, const char *body, const char *content_type,
            char **body_out, int *status_out, char **error_out) {
    return live_exchange(static_cast<const live_options *>(context), url, body ? body : "",
                         content_type ? content_type : "application/x-www-form-urlencoded",
                         body_out, status_out, error_out);
}

void io_free(void *, char *text) { free(text); }

}  // namespace

char *live_copy_out(const std::string &text) {
    char *p = static_cast<char *>(malloc(text.size() + 1));
    if (p) memcpy(p, text.c_str(), text.size() + 1);
    return p;
}

plix_io live_io_table(const live_options *options) {
    plix_io table{};
    table.context = const_cast<live_options *>(options);
    table.get = io_get;
    table.post = io_post;
    table.free = io_free;
    return table;
}
