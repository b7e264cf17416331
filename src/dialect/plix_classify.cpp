// Link classification: magnet links and torrent files, and whether a fetched
// torrent file arrived whole. Pure tests.
#include <string.h>

#include <string_view>

#include "dialect/plix_dialect.h"

namespace {

constexpr bool hex_digit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}
constexpr bool base32_digit(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '2' && c <= '7');
}

bool all_of(std::string_view s, bool (*pred)(char)) {
    for (char c : s)
        if (!pred(c)) return false;
    return true;
}

}  // namespace

int plix_link_is_magnet(const char *link) {
    if (!link || strncmp(link, "magnet:?", 8) != 0) return 0;
    const char *marker = strstr(link, "xt=urn:btih:");
    if (!marker) return 0;
    std::string_view hash(marker + 12);
    hash = hash.substr(0, hash.find('&'));
    if (hash.size() == 40) return all_of(hash, hex_digit);
    if (hash.size() == 32) return all_of(hash, base32_digit);
    return 0;
}

int plix_sniff_torrent(const void *data, uint64_t length) {
    if (!data || length < 16) return 0;
    const char *p = static_cast<const char *>(data);
    if (p[0] != 'd') return 0;
    // Each sought key is "<digit>:<text>", so only positions of a ':' with
    // the right digit before it need comparing.
    struct key {
        std::string_view text;
        bool seen;
    } keys[] = {{"4:info", false}, {"8:announce", false}, {"6:length", false}, {"4:path", false}};
    size_t n = static_cast<size_t>(length);
    for (const char *c = static_cast<const char *>(memchr(p + 1, ':', n - 1)); c;
         c = static_cast<const char *>(memchr(c + 1, ':', n - static_cast<size_t>(c + 1 - p)))) {
        size_t at = static_cast<size_t>(c - p) - 1;  // where the key starts
        for (key &k : keys) {
            if (!k.seen && p[at] == k.text[0] && at + k.text.size() <= n &&
                memcmp(p + at, k.text.data(), k.text.size()) == 0)
                k.seen = true;
        }
        if (keys[0].seen && (keys[1].seen || (keys[2].seen && keys[3].seen))) return 1;
        if (c + 1 >= p + n) break;
    }
    return 0;
}

namespace {

// A bencoded value read from the front of a text. Reading stops at the first
// byte that cannot continue the value; `ok` tells whether one was complete.
struct bdecoder {
    const char *p;
    const char *end;
    int depth = 0;  // lists and dictionaries open around the current value

    static constexpr int kMaxDepth = 256;

    bool digit() const { return p < end && *p >= '0' && *p <= '9'; }

    // Decimal digits; at least one.
    bool digits() {
        if (!digit()) return false;
        while (digit()) ++p;
        return true;
    }

    // "<length>:<bytes>", every byte present. The length is read without
    // overflow: anything longer than what is left is cut short anyway.
    bool string() {
        uint64_t n = 0;
        uint64_t left = static_cast<uint64_t>(end - p);
        if (!digit()) return false;
        while (digit()) {
            n = n * 10 + static_cast<uint64_t>(*p++ - '0');
            if (n > left) return false;
        }
        if (p >= end || *p != ':') return false;
        ++p;
        if (n > static_cast<uint64_t>(end - p)) return false;
        p += n;
        return true;
    }

    // "i" ["-"] digits "e"
    bool integer() {
        ++p;
        if (p < end && *p == '-') ++p;
        if (!digits() || p >= end || *p != 'e') return false;
        ++p;
        return true;
    }

    // "l" value* "e" or "d" (string value)* "e"
    bool container(bool dict) {
        if (++depth > kMaxDepth) return false;
        ++p;
        while (p < end && *p != 'e') {
            if (dict && !string()) return false;
            if (!value()) return false;
        }
        if (p >= end) return false;
        ++p;
        --depth;
        return true;
    }

    bool value() {
        if (p >= end) return false;
        switch (*p) {
            case 'i':
                return integer();
            case 'l':
                return container(false);
            case 'd':
                return container(true);
            default:
                return string();
        }
    }
};

}  // namespace

int plix_bencode_complete(const void *data, uint64_t length) {
    if (!data || length == 0) return 0;
    const char *p = static_cast<const char *>(data);
    if (p[0] != 'd') return 0;
    bdecoder d{p, p + length};
    return d.value() && d.p == d.end ? 1 : 0;
}
