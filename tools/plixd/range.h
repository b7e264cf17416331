// The byte range a client asks for of a file (RFC 9110's Range header, one
// range of bytes).
#pragma once

#include <stdint.h>

// One range of a file of size bytes, from a Range header.
struct byte_range {
    enum kind { whole, part, unsatisfiable } what = whole;
    uint64_t first = 0, last = 0;  // part: both included
};

// Reads a Range header (null: the whole file). Only one range of bytes is
// served; several, or a header that cannot be read, mean the whole file.
byte_range parse_range(const char *header, int64_t size);
