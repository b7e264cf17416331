// Request paths: the segments a client's path names, and the hrefs plixd
// writes back.
#pragma once

#include <string>
#include <vector>

// The decoded segments of a request path as it came (percent-encoded,
// without its query): "/seedbox/A%20B/" gives {"seedbox", "A B"}. Empty
// segments (doubled or trailing slashes) are dropped; trailing_slash tells
// whether the path ended with one. false for a path that is not absolute,
// holds a bad or NUL escape or a NUL, or has a "." or ".." segment (encoded
// or not): such a path would leave the tree.
bool split_path(const std::string &path, std::vector<std::string> &segments, bool &trailing_slash);

// A path of segments as an href: each segment percent-encoded (RFC 3986's
// unreserved bytes kept), "/" before each, and after a folder's.
std::string href_of(const std::vector<std::string> &segments, bool folder);

// One segment percent-encoded, as href_of writes it.
std::string encode_segment(const std::string &segment);
