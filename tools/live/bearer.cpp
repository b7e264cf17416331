#include "bearer.h"

namespace {

int hex_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// Undoes percent-encoding; a "%" without two hex digits stays as it is.
std::string percent_decode(const std::string &text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        int hi = i + 2 < text.size() && text[i] == '%' ? hex_value(text[i + 1]) : -1;
        int lo = hi >= 0 ? hex_value(text[i + 2]) : -1;
        if (lo >= 0) {
            out += static_cast<char>(hi * 16 + lo);
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

}  // namespace

keyed_url split_key(const std::string &url) {
    keyed_url out;
    size_t query = url.find('?');
    size_t fragment = url.find('#');
    if (query == std::string::npos || (fragment != std::string::npos && fragment < query)) {
        out.url = url;
        return out;
    }
    size_t end = fragment == std::string::npos ? url.size() : fragment;
    std::string kept;  // the other parameters, each followed by "&"
    for (size_t at = query + 1; at <= end;) {
        size_t amp = url.find('&', at);
        if (amp == std::string::npos || amp > end) amp = end;
        std::string param = url.substr(at, amp - at);
        if (param.compare(0, 7, "apikey=") == 0) {
            out.key = percent_decode(param.substr(7));
            out.has_key = true;
        } else {
            kept += param + "&";
        }
        at = amp + 1;
    }
    if (!out.has_key) {
        out.url = url;
        return out;
    }
    if (!kept.empty()) kept.pop_back();
    out.url = url.substr(0, query) + (kept.empty() ? "" : "?" + kept) + url.substr(end);
    return out;
}
