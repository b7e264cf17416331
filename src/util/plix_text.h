// Heap copies of texts and bounded messages.
#pragma once

#include <stddef.h>

#include "util/plix_result.h"

#if defined(__MINGW32__)
#define PLIX_PRINTF(f, a) __attribute__((format(gnu_printf, f, a)))
#else
#define PLIX_PRINTF(f, a) __attribute__((format(printf, f, a)))
#endif

// Heap copies (null in, or allocation failure, gives null).
[[nodiscard]] char *plix_strdup(const char *s);
[[nodiscard]] char *plix_strndup(const char *bytes, size_t count);

// Bounded formatting into a message buffer: cut to size - 1, NUL-terminated.
void plix_msg(char *message, size_t capacity, const char *format, ...) PLIX_PRINTF(3, 4);

// Writes "out of memory" into the message buffer and answers PLIX_E_NOMEM.
[[nodiscard]] int plix_oom(char *message, size_t capacity);
