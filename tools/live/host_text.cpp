#include "host_text.h"

#include <errno.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>

int hex_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

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

std::string trim(const std::string &s) {
    const char *blank = " \t\r\n";
    size_t end = s.find_last_not_of(blank);
    if (end == std::string::npos) return "";
    return s.substr(s.find_first_not_of(blank), end + 1 - s.find_first_not_of(blank));
}

bool read_file(const std::string &path, std::string &out, std::string &error) {
    FILE *f = fopen(path.c_str(), "rb");
    struct stat st;
    int why = 0;
    if (!f) {
        why = errno;
    } else if (fstat(fileno(f), &st) != 0) {
        why = errno;
    } else if (S_ISDIR(st.st_mode)) {
        why = EISDIR;
    }
    if (!why && f) {
        out.clear();
        char chunk[65536];
        size_t n;
        while ((n = fread(chunk, 1, sizeof chunk, f)) > 0) out.append(chunk, n);
        if (ferror(f)) why = errno ? errno : EIO;
    }
    if (f) fclose(f);
    if (why) {
        error = "cannot read " + path + ": " + strerror(why);
        return false;
    }
    return true;
}

bool read_key_file(const std::string &path, std::string &key, std::string &error) {
    if (!read_file(path, key, error)) return false;
    key = trim(key);
    if (key.empty()) {
        error = "the key file " + path + " is empty";
        return false;
    }
    if (key.find_first_of("\r\n") != std::string::npos) {
        key.clear();
        error = "the key file " + path + " holds more than one line; it holds the key alone";
        return false;
    }
    return true;
}
