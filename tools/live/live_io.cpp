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

std::string live_too_large(const std::string &url, size_t limit) {
    size_t start = url.find("://");
    start = start == std::string::npos ? 0 : start + 3;
    size_t end = url.find_first_of("/?#", start);
    std::string host = url.substr(start, end == std::string::npos ? end : end - start);
    size_t at = host.rfind('@');
    if (at != std::string::npos) host.erase(0, at + 1);  // never the user info
    return "the answer of " + host + " is larger than " + std::to_string(limit >> 20) + " MiB";
}

bool live_body::add(const void *bytes, size_t n) {
    if (too_large || out_of_memory) return false;
    if (n > limit - length) {
        too_large = true;
        free(data);
        data = nullptr;
        length = capacity = 0;
        return false;
    }
    if (length + n + 1 > capacity) {
        size_t want = capacity ? capacity : 16384;
        while (want < length + n + 1) want *= 2;
        if (want > limit + 1) want = limit + 1;
        char *grown = static_cast<char *>(realloc(data, want));
        if (!grown) {
            out_of_memory = true;
            return false;
        }
        data = grown;
        capacity = want;
    }
    memcpy(data + length, bytes, n);
    length += n;
    data[length] = '\0';
    return true;
}

char *live_body::take() {
    if (!data) data = static_cast<char *>(calloc(1, 1));
    char *text = data;
    data = nullptr;
    length = capacity = 0;
    return text;
}

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
