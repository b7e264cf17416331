// The strict UTF-8 test.
#pragma once

#include <stddef.h>

// Length of the well-formed UTF-8 sequence at p (1 to 4), or 0 when the
// bytes there do not begin one. At most avail bytes are read.
[[nodiscard]] int plix_utf8_seq(const unsigned char *p, size_t avail);
// 1 when count bytes are well-formed UTF-8, else 0.
[[nodiscard]] int plix_utf8_ok(const void *bytes, size_t count);
