// Heap copies of texts, and bounded formatting of messages.
#include "util/plix_text.h"

#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

char *plix_strdup(const char *s) {
    if (!s) return nullptr;
    return plix_strndup(s, strlen(s));
}

char *plix_strndup(const char *bytes, size_t count) {
    if (!bytes || count == SIZE_MAX) return nullptr;
    char *p = static_cast<char *>(malloc(count + 1));
    if (!p) return nullptr;
    if (count) memcpy(p, bytes, count);
    p[count] = '\0';
    return p;
}

void plix_msg(char *message, size_t capacity, const char *format, ...) {
    if (!message || !capacity) return;
    va_list ap;
    va_start(ap, format);
    int n = vsnprintf(message, capacity, format, ap);
    va_end(ap);
    if (n < 0) message[0] = '\0';
}

int plix_oom(char *message, size_t capacity) {
    plix_msg(message, capacity, "out of memory");
    return PLIX_E_NOMEM;
}
