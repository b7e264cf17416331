// The two kinds of answer inside the plug-in: a flag for the functions that
// report only whether they worked, and the result classes the operations
// answer, with out-of-memory as a value of its own.
#pragma once

#include "plix.h"  // the result classes (PLIX_OK, PLIX_E_*)

// What the functions answer that report only whether they worked (the text
// buffer and its writers, the request layer). A type of its own, so that it
// can never be returned, stored or compared as a result class: a caller
// says which class a failure is.
struct [[nodiscard]] plix_done {
    bool ok;
    constexpr explicit operator bool() const { return ok; }
};
inline constexpr plix_done PLIX_DONE{true};
inline constexpr plix_done PLIX_FAILED{false};

// Memory ran out. The operations carry it as this value, so that a caller
// can tell it from an unusable answer (both are PLIX_E_OTHER to the host)
// without reading the message; the frame answers it as PLIX_E_OTHER.
inline constexpr int PLIX_E_NOMEM = -100;
static_assert(PLIX_E_NOMEM < PLIX_E_BUFFER, "outside the public classes");

// The class a host sees for an internal result.
constexpr int plix_public_code(int code) { return code == PLIX_E_NOMEM ? PLIX_E_OTHER : code; }
