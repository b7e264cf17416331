// The response record: the outcome of one completed exchange.
#pragma once

#include <stdint.h>

#include "util/plix_owner.h"

// The record owns body: the string the transport stored, kept rather than
// copied (a listing's body is large) and handed back through the
// transport's free slot when the record is released.
struct plix_resp {
    int32_t status;                              // HTTP status; 0 unless the exchange completed
    char *body;                                  // the NUL-terminated body, or null
    uint64_t length;                             // strlen(body)
    void (*release)(void *context, char *text);  // the table's free slot, or null: free()
    void *context;                               // the table's context for release
};

// Releases the body and zero-fills the record; harmless when zero-filled.
void plix_resp_free(plix_resp *resp);

// A response record released when the scope ends.
using plix_resp_guard = plix_owner<plix_resp, plix_resp_free>;
