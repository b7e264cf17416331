// The download config {"Link":...}.
#include <string.h>
#include <yyjson.h>

#include "dialect/plix_dialect.h"
#include "util/plix_json.h"

int plix_dlcfg_parse(const char *text, plix_dlcfg *record, char *message, size_t capacity) {
    record->link = nullptr;
    bool oom;
    plix_doc doc(plix_json_read(text, &oom));
    if (oom) return plix_oom(message, capacity);
    if (!yyjson_is_obj(plix_doc_root(doc))) {
        plix_msg(message, capacity, "config is not a JSON object");
        return PLIX_E_INVALID;
    }
    const char *link = plix_json_text(plix_doc_root(doc), "Link");
    if (!link) {
        plix_msg(message, capacity, "config has no Link");
        return PLIX_E_INVALID;
    }
    if (strlen(link) > PLIX_LINK_MAX) {
        plix_msg(message, capacity, PLIX_LINK_TOO_LONG);
        return PLIX_E_INVALID;
    }
    record->link = plix_strdup(link);
    if (!record->link) return plix_oom(message, capacity);
    return 0;
}

void plix_dlcfg_free(plix_dlcfg *record) {
    if (!record) return;
    free(record->link);
    record->link = nullptr;
}
