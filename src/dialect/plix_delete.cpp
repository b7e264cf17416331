// Removal of a downloader link or a seedbox torrent.
#include <stdio.h>

#include "dialect/plix_dialect.h"
#include "dialect/plix_request.h"
#include "util/plix_pct.h"

int plix_do_delete(const plix_sess *sess, const char *id, char *message, size_t capacity) {
    if (!id || !id[0]) {
        plix_msg(message, capacity, "no id to delete");
        return PLIX_E_INVALID;
    }
    const char *kind = "downloader";
    const char *item = id;
    if (id[0] == 's' || id[0] == 'd') {
        kind = id[0] == 's' ? "seedbox" : "downloader";
        item = id + 1;
    }
    // The label names the item as given; the URL carries the id
    // percent-encoded, so no id can turn into another request.
    char label[256];
    snprintf(label, sizeof label, "%s/%s/remove", kind, item);
    plix_str enc(plix_pct_encode(item));
    plix_buf_guard url;
    if (!enc || !plix_buf_addf(&url.get(), PLIX_BASE_URL "/%s/%s/remove", kind, enc.get()))
        return plix_oom(message, capacity);
    plix_resp_guard r;
    return plix_get_ok(sess, url.get().text, label, &r.get(), message, capacity);
}
