// Percent-encoding of URL parts.
#pragma once

#include <stddef.h>

#include <string_view>

// Percent-encoding: A-Z a-z 0-9 - . _ ~ are kept, every other byte becomes
// "%" and two upper-case hex digits.
constexpr bool plix_unreserved(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_' || c == '~';
}
// The length of the encoding of s.
size_t plix_pct_len(std::string_view s);
// A new heap string holding the encoding of s (null s encodes to ""); null
// when the allocation fails.
[[nodiscard]] char *plix_pct_encode(const char *s);
// Writes the encoding of s at out (plix_pct_len(s) bytes, no NUL) and
// returns the end of what it wrote.
char *plix_pct_write(char *out, std::string_view s);
