#include "range.h"

#include <string.h>

byte_range parse_range(const char *header, int64_t size) {
    byte_range r;
    if (!header || size < 0 || strncmp(header, "bytes=", 6) != 0) return r;
    const char *ranges = header + 6;
    if (strchr(ranges, ',')) return r;  // several ranges: the whole file
    const char *dash = strchr(ranges, '-');
    if (!dash) return r;
    auto number = [](const char *from, const char *to, uint64_t &out) {
        if (from == to || to - from > 19) return false;
        out = 0;
        for (const char *p = from; p < to; ++p) {
            if (*p < '0' || *p > '9') return false;
            out = out * 10 + static_cast<uint64_t>(*p - '0');
        }
        return true;
    };
    uint64_t total = static_cast<uint64_t>(size);
    uint64_t a = 0, b = 0;
    const char *end = ranges + strlen(ranges);
    if (dash == ranges) {  // the last b bytes
        if (!number(dash + 1, end, b)) return r;
        if (b == 0 || total == 0) {
            r.what = byte_range::unsatisfiable;
            return r;
        }
        r.what = byte_range::part;
        r.first = b >= total ? 0 : total - b;
        r.last = total - 1;
        return r;
    }
    if (!number(ranges, dash, a)) return r;
    bool open = dash + 1 == end;
    if (!open && !number(dash + 1, end, b)) return r;
    if (!open && b < a) return r;
    if (a >= total) {
        r.what = byte_range::unsatisfiable;
        return r;
    }
    r.what = byte_range::part;
    r.first = a;
    r.last = open || b >= total ? total - 1 : b;
    return r;
}
