// plixd's request paths: a path either leaves nothing of the tree behind
// (no "." or ".." segment, no NUL) or is refused, and the segments it
// names come back to the same segments through the href plixd writes.
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include "paths.h"

#define CHECK(c, ...)                            \
    do {                                         \
        if (!(c)) {                              \
            fprintf(stderr, "failed: " #c "\n"); \
            fprintf(stderr, __VA_ARGS__);        \
            abort();                             \
        }                                        \
    } while (0)

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::string path(reinterpret_cast<const char *>(data), size);
    std::vector<std::string> segments;
    bool slash = false;
    if (!split_path(path, segments, slash)) return 0;
    for (const std::string &s : segments) {
        CHECK(!s.empty() && s != "." && s != "..", "segment [%s] of %s\n", s.c_str(), path.c_str());
        CHECK(s.find('\0') == std::string::npos, "a NUL in %s\n", path.c_str());
    }
    std::string href = href_of(segments, slash);
    std::vector<std::string> again;
    bool slash_again = false;
    CHECK(split_path(href, again, slash_again), "href %s refused\n", href.c_str());
    CHECK(again == segments, "href %s names other segments\n", href.c_str());
    return 0;
}
