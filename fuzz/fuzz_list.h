// One listing's answer: the fake answers the listing's request with the
// input, and every listing item must have the item shape.
#pragma once

#include "fuzz_common.h"

inline void fuzz_check_items(const char *answer, bool folders) {
    yyjson_doc *d = fuzz_parse(answer);
    yyjson_val *root = yyjson_doc_get_root(d);
    FUZZ_CHECK(yyjson_is_arr(root), "%s", answer);
    size_t i, n;
    yyjson_val *item;
    yyjson_arr_foreach(root, i, n, item) {
        FUZZ_CHECK(yyjson_is_str(yyjson_obj_get(item, "name")) &&
                       yyjson_is_str(yyjson_obj_get(item, "path")) &&
                       yyjson_is_str(yyjson_obj_get(item, "locator")) &&
                       yyjson_is_str(yyjson_obj_get(item, "id")) &&
                       yyjson_is_int(yyjson_obj_get(item, "size")),
                   "%s", answer);
        FUZZ_CHECK(yyjson_get_bool(yyjson_obj_get(item, "folder")) == folders, "%s", answer);
    }
    yyjson_doc_free(d);
}

inline int fuzz_listing(const uint8_t *data, size_t size, const char *url, const char *folder,
                        bool folders) {
    std::string body = size ? fuzz_text(data + 1, size - 1) : "";
    plix_fake_set("GET", url, fuzz_status(data, size), body.c_str());
    fuzz_out out;
    int code = plix_list(FUZZ_SETTINGS, folder, out.text, fuzz_out::size);
    fuzz_check_outcome(code, out.text);
    FUZZ_CHECK(code >= -5, "code %d", code);
    if (code == 0) fuzz_check_items(out.text, folders);
    return 0;
}
