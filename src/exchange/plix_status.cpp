// HTTP statuses to result codes, and the message for a refused status.
#include "exchange/plix_status.h"

#include <string.h>
#include <yyjson.h>

#include "util/plix_json.h"
#include "util/plix_text.h"

int plix_map_status(int32_t status) {
    if (status >= 200 && status <= 299) return 0;
    if (status == 401 || status == 403) return PLIX_E_REFUSED;
    if (status == 404) return PLIX_E_NOT_FOUND;
    if (status == 429) return PLIX_E_LIMIT;
    if (status >= 500 && status <= 599) return PLIX_E_SERVICE;
    return PLIX_E_OTHER;
}

bool plix_http_msg(int32_t status, const char *body, uint64_t length, const char *label,
                   char *message, size_t capacity) {
    char code[64] = "";
    char desc[192] = "";
    if (body) {
        bool oom;
        plix_doc doc(plix_json_parse(body, static_cast<size_t>(length), &oom));
        if (oom) {
            (void)plix_oom(message, capacity);
            return false;
        }
        yyjson_val *root = yyjson_doc_get_root(doc.get());
        if (yyjson_is_obj(root) && yyjson_obj_size(root) > 0) {
            if (const char *s = plix_json_str(root, "error")) plix_msg(code, sizeof code, "%s", s);
            if (const char *s = plix_json_str(root, "error_description"))
                plix_msg(desc, sizeof desc, "%s", s);
        }
    }
    if (code[0])
        plix_msg(message, capacity, "%s: Debrid-Link error %s%s%s", label, code,
                 desc[0] ? ": " : "", desc);
    else
        plix_msg(message, capacity, "%s answered HTTP %ld", label, static_cast<long>(status));
    return true;
}
