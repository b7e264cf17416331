#include "host_text.h"

#include <stdio.h>

namespace {

int hex_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

}  // namespace

std::string json_string(const std::string &text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char esc[8];
            snprintf(esc, sizeof esc, "\\u%04x", c);
            out += esc;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

std::string percent_encode(const std::string &text) {
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : text) {
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

std::string status_words(long long status) {
    if (status < 0) return "-";
    if (status == 0) return "paused";
    if (status == 100) return "finished";
    if (status & ~15LL) return std::to_string(status);
    static const char *const flags[] = {"queued", "checking", "downloading", "seeding"};
    std::string words;
    for (int bit = 0; bit < 4; ++bit)
        if (status & (1LL << bit)) words += (words.empty() ? "" : "+") + std::string(flags[bit]);
    return words;
}
