// The settings record and the session every operation runs in.
#pragma once

#include <stddef.h>

#include "plix.h"
#include "util/plix_util.h"

// The account settings of one call. Owns both texts (null when absent).
struct plix_cfg {
    char *api_key;  // "APIKey", else "ClientSecret", trimmed
    char *id;       // "ID", trimmed
};

// What an operation works with: the call's transport and settings.
struct plix_sess {
    const plix_io *io;  // never null while open
    const plix_cfg *cfg;
};

// The message buffer of every call, and the largest settings text with its
// refusal.
enum { PLIX_MSG_SIZE = 768 };
inline constexpr size_t PLIX_SETTINGS_MAX = 1048576;
#define PLIX_SETTINGS_TOO_LARGE "settings are larger than 1 MiB"

// Reads the settings JSON into cfg. 0, or -8 with message.
[[nodiscard]] int plix_cfg_parse(const char *settings, bool require_key, plix_cfg *cfg,
                                 char *message, size_t capacity);
// Frees both texts and nulls them; harmless on an emptied record.
void plix_cfg_free(plix_cfg *cfg);
// A settings record released when the scope ends.
using plix_cfg_guard = plix_owner<plix_cfg, plix_cfg_free>;

void plix_sess_open(plix_sess *sess, const plix_io *io, const plix_cfg *cfg);
void plix_sess_close(plix_sess *sess);

// Masks every occurrence of secret (raw, and percent-encoded when that
// differs) in text with '*' bytes, in place, and every cut-short copy: a run
// of 8 bytes or more that begins it, or of 4 or more at the end of text.
// Secrets under 4 bytes are left.
void plix_scrub(char *text, const char *secret);
