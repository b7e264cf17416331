#include "paths.h"

namespace {

int hex_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

}  // namespace

bool split_path(const std::string &path, std::vector<std::string> &segments, bool &trailing_slash) {
    segments.clear();
    trailing_slash = false;
    if (path.empty() || path[0] != '/') return false;
    std::string current;
    bool any = false;  // the current segment has begun
    for (size_t i = 0; i <= path.size(); ++i) {
        char c = i < path.size() ? path[i] : '/';
        if (c == '/') {
            if (any) {
                if (current == "." || current == "..") return false;
                segments.push_back(current);
            }
            current.clear();
            any = false;
            continue;
        }
        if (c == '\0') return false;
        if (c == '%') {
            int hi = i + 2 < path.size() ? hex_value(path[i + 1]) : -1;
            int lo = hi >= 0 ? hex_value(path[i + 2]) : -1;
            if (lo < 0 || (hi == 0 && lo == 0)) return false;
            c = static_cast<char>(hi * 16 + lo);
            i += 2;
        }
        current += c;
        any = true;
    }
    trailing_slash = path.size() > 1 && path.back() == '/';
    return true;
}

std::string encode_segment(const std::string &segment) {
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(segment.size());
    for (unsigned char c : segment) {
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
            c == '-' || c == '.' || c == '_' || c == '~') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

std::string href_of(const std::vector<std::string> &segments, bool folder) {
    std::string out;
    for (const std::string &s : segments) out += "/" + encode_segment(s);
    if (folder || segments.empty()) out += "/";
    return out;
}
