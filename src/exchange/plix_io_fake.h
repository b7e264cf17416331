// The in-memory fake transport and its controls.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "plix.h"
#include "plix_fake.h"

// The fake's table: context null, its own get, post and free.
const plix_io *plix_io_fake(void);

// The fake's routes and counters, as the plix_fake_* exports reach them
// (same arguments and answers).
void plix_io_fake_reset();
[[nodiscard]] int plix_io_fake_set(const char *method, const char *url, int status,
                                   const char *body);
[[nodiscard]] int plix_io_fake_fail(const char *method, const char *url, const char *message);
[[nodiscard]] int plix_io_fake_calls(const char *method, const char *url);
const char *plix_io_fake_last_body(const char *url);
const char *plix_io_fake_last_url();

// The fake's table growth: cap doubled (32 from 0), or 0 when the doubled
// count or the size of its block of elem_size-byte records would overflow.
[[nodiscard]] int plix_grow_count(int cap, size_t elem_size);
// A 64-bit count as the exports answer it: INT_MAX past the int range.
[[nodiscard]] int plix_count_int(int64_t n);
