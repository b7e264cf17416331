// The settings record and the session every operation runs in. The frame
// (boundary/) reads the settings and opens the session; the operations
// work on both.
#pragma once

#include <stddef.h>

#include "plix.h"
#include "util/plix_owner.h"

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

// The size of every call's message buffer.
enum { PLIX_MSG_SIZE = 768 };

// Frees both texts and nulls them; harmless on an emptied record.
inline void plix_cfg_free(plix_cfg *cfg) {
    if (!cfg) return;
    free(cfg->api_key);
    free(cfg->id);
    *cfg = plix_cfg{};
}
// A settings record released when the scope ends.
using plix_cfg_guard = plix_owner<plix_cfg, plix_cfg_free>;

inline void plix_sess_open(plix_sess *sess, const plix_io *io, const plix_cfg *cfg) {
    sess->io = io;
    sess->cfg = cfg;
}
inline void plix_sess_close(plix_sess *sess) { *sess = plix_sess{}; }
