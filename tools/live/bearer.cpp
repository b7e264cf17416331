#include "bearer.h"

#include "host_text.h"

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
