// What the handler frame and the exports share (internal to boundary/).
#pragma once

#include <stddef.h>

#include "dialect/plix_session.h"
#include "plix.h"

// The largest settings text, and its refusal.
inline constexpr size_t PLIX_SETTINGS_MAX = 1048576;
#define PLIX_SETTINGS_TOO_LARGE "settings are larger than 1 MiB"

// Reads the settings JSON into cfg (released with plix_cfg_free). 0, or -8
// (-5 when memory runs out) with message.
[[nodiscard]] int plix_cfg_parse(const char *settings, bool require_key, plix_cfg *cfg,
                                 char *message, size_t capacity);

// Publishes one outcome to the calling thread's result channel: the last
// error (message when failed, else empty) and the last result. Takes
// ownership of result (null meaning the empty text).
void plix_publish_take(int failed, const char *error, char *result);
// The same with a copy of result.
void plix_publish(int failed, const char *error, const char *result);

// Copies the current transport selection into *copy. false when none is
// selected (the built-in network transport, which does not exist).
[[nodiscard]] bool plix_io_snapshot(plix_io *copy);

// Opens (flag != 0) or closes the process-wide write gate download needs.
void plix_writes_allow(int flag);

// The constant handler table.
extern const plix_handler plix_handler_table;
