#include "paths.h"

#include "host_text.h"

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

std::string encode_segment(const std::string &segment) { return percent_encode(segment); }

std::string href_of(const std::vector<std::string> &segments, bool folder) {
    std::string out;
    for (const std::string &s : segments) out += "/" + encode_segment(s);
    if (folder || segments.empty()) out += "/";
    return out;
}
