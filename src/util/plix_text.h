// Heap copies of texts, bounded messages, and the failure flag of the
// functions that report only whether they failed.
#pragma once

#include <stddef.h>

#include "plix.h"  // the result classes (PLIX_OK, PLIX_E_*)

// What the functions answer that report only whether they failed (the text
// buffer, the request layer, a transport), as opposed to a result class:
// 0, or PLIX_FAILED.
enum : int { PLIX_FAILED = -1 };

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

// Writes "out of memory" into the message buffer and answers its class,
// PLIX_E_OTHER.
[[nodiscard]] int plix_oom(char *message, size_t capacity);
// Whether a message says memory ran out (plix_oom's, or one that begins
// with its words).
[[nodiscard]] bool plix_is_oom(const char *message);
