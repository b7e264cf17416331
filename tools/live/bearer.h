// Moving the API key out of a URL. The plug-in authenticates a request by
// appending an "apikey" parameter; a transport that sends the key as
// "Authorization: Bearer <key>" instead keeps it out of URLs, proxies and
// server logs. Shared by plixctl's transports; no dependency of its own.
#pragma once

#include <string>

struct keyed_url {
    std::string url;  // the URL without any "apikey" parameter
    std::string key;  // the key, percent-decoded; "" when the URL held none
    bool has_key = false;
};

// Splits url into the URL without its "apikey" parameters and the key (the
// last such parameter's value). A URL without one comes back unchanged.
keyed_url split_key(const std::string &url);

// Whether a request carries the key: in the header, or still in the URL.
inline bool carries_key(const keyed_url &u) {
    return u.has_key || u.url.find("apikey=") != std::string::npos;
}
