#include "text.h"

#include <stdio.h>

std::string human_size(long long bytes) {
    if (bytes < 0) return "-";
    if (bytes < 1024) return std::to_string(bytes) + " B";
    static const char *const units[] = {"KiB", "MiB", "GiB", "TiB", "PiB"};
    double v = static_cast<double>(bytes) / 1024;
    int u = 0;
    while (v >= 1024 && u < 4) {
        v /= 1024;
        ++u;
    }
    char text[32];
    snprintf(text, sizeof text, v < 10 ? "%.1f %s" : "%.0f %s", v, units[u]);
    return text;
}

size_t display_width(const std::string &text) {
    size_t width = 0;
    for (size_t i = 0; i < text.size();) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
        if (n == 0 || i + n > text.size()) {
            ++width;
            ++i;
            continue;
        }
        unsigned long cp = n == 1 ? c : c & (0x7f >> n);
        bool ok = true;
        for (size_t k = 1; k < n; ++k) {
            unsigned char d = static_cast<unsigned char>(text[i + k]);
            ok = ok && (d >> 6) == 2;
            cp = cp << 6 | (d & 0x3f);
        }
        if (!ok) {
            ++width;
            ++i;
            continue;
        }
        i += n;
        if ((cp >= 0x300 && cp <= 0x36f) || cp == 0x200b || (cp >= 0xfe00 && cp <= 0xfe0f))
            continue;
        bool wide = (cp >= 0x1100 && cp <= 0x115f) || (cp >= 0x2e80 && cp <= 0xa4cf) ||
                    (cp >= 0xac00 && cp <= 0xd7a3) || (cp >= 0xf900 && cp <= 0xfaff) ||
                    (cp >= 0xfe30 && cp <= 0xfe4f) || (cp >= 0xff00 && cp <= 0xff60) ||
                    (cp >= 0xffe0 && cp <= 0xffe6) || (cp >= 0x1f300 && cp <= 0x1f64f) ||
                    (cp >= 0x1f900 && cp <= 0x1f9ff) || (cp >= 0x20000 && cp <= 0x3fffd);
        width += wide ? 2 : 1;
    }
    return width;
}

std::string pad(const std::string &text, size_t width) {
    size_t w = display_width(text);
    return w >= width ? text : text + std::string(width - w, ' ');
}

std::string shown(const std::string &text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        // C1 controls are U+0080 to U+009F: C2 80 to C2 9F in UTF-8.
        bool c1 = c == 0xc2 && i + 1 < text.size() &&
                  static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
                  static_cast<unsigned char>(text[i + 1]) <= 0x9f;
        if (c >= 0x20 && c != 0x7f && c != '\\' && !c1) {
            out += static_cast<char>(c);
            continue;
        }
        switch (c) {
            case '\n':
                out += "\\n";
                continue;
            case '\t':
                out += "\\t";
                continue;
            case '\r':
                out += "\\r";
                continue;
            case 0x1b:
                out += "\\e";
                continue;
            case '\\':
                out += "\\\\";
                continue;
            default:
                break;
        }
        char esc[8];
        if (c1) {
            snprintf(esc, sizeof esc, "\\u%04x", static_cast<unsigned char>(text[++i]));
        } else {
            snprintf(esc, sizeof esc, "\\x%02x", c);
        }
        out += esc;
    }
    return out;
}
