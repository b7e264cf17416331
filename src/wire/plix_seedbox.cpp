// The files of one seedbox torrent.
#include <yyjson.h>

#include "util/plix_json.h"
#include "util/plix_text.h"
#include "wire/plix_records.h"
#include "wire/plix_wire.h"

int plix_parse_seedbox_files(const char *body, uint64_t length, plix_links *list, char *message,
                             size_t capacity) {
    *list = plix_links{};
    plix_doc doc;
    yyjson_val *value;
    int r = plix_parse_envelope(body, length, doc.out(), &value, message, capacity);
    if (r != 0) return r;
    return plix_seedbox_files_of_value(value, list, message, capacity);
}

int plix_seedbox_files_of_value(yyjson_val *value, plix_links *list, char *message,
                                size_t capacity) {
    *list = plix_links{};
    yyjson_val *torrents = plix_value_array(value);
    if (!torrents) {
        plix_msg(message, capacity, "seedbox/list returned no torrent list");
        return PLIX_E_OTHER;
    }
    yyjson_val *torrent = yyjson_arr_get_first(torrents);
    if (!yyjson_is_obj(torrent)) {
        plix_msg(message, capacity, "seedbox/list returned no torrent");
        return PLIX_E_NOT_FOUND;
    }
    yyjson_val *files = yyjson_obj_get(torrent, "files");
    if (!yyjson_is_arr(files)) return 0;
    return plix_links_fill(files, false, list, PLIX_TOO_MANY_FILES, message, capacity);
}
