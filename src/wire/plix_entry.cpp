// The listing entry the host hands back to stream_url.
#include <yyjson.h>

#include <initializer_list>

#include "util/plix_json.h"
#include "util/plix_text.h"
#include "wire/plix_wire.h"

int plix_entry_link(const char *entry, char **link_out, char *message, size_t capacity) {
    *link_out = nullptr;
    bool oom;
    plix_doc doc(plix_json_read(entry, &oom));
    yyjson_val *root = plix_doc_root(doc);
    if (oom) return plix_oom(message, capacity);
    if (!yyjson_is_obj(root)) {
        plix_msg(message, capacity, "entry is not a JSON object");
        return PLIX_E_INVALID;
    }
    const char *chosen = nullptr;
    for (const char *key : {"locator", "link", "path"})
        if ((chosen = plix_json_text(root, key))) break;
    if (!chosen) {
        plix_msg(message, capacity, "entry has no locator/link/path");
        return PLIX_E_NOT_FOUND;
    }
    *link_out = plix_strdup(chosen);
    if (!*link_out) return plix_oom(message, capacity);
    return 0;
}
