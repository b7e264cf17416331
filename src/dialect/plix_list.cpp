// Folder listings: the downloader, the seedbox, and one torrent's files.
#include <stdio.h>
#include <string.h>
#include <yyjson.h>

#include "dialect/plix_dialect.h"
#include "dialect/plix_request.h"
#include "util/plix_json.h"
#include "wire/plix_wire.h"

namespace {

constexpr char kRootListing[] =
    "[{\"name\":\"downloader\",\"path\":\"downloader\",\"folder\":true,\"size\":-1},"
    "{\"name\":\"seedbox\",\"path\":\"seedbox\",\"folder\":true,\"size\":-1}]";

// Appends out's bytes [from, to) once more: a JSON string that an item
// holds twice is escaped once and then copied.
bool repeat(plix_buf *out, uint64_t from, uint64_t to) {
    uint64_t n = to - from;
    if (plix_buf_reserve(out, n) != 0) return false;
    memcpy(out->text + out->length, out->text + from, static_cast<size_t>(n));
    out->length += n;
    out->text[out->length] = '\0';
    return true;
}

// Copies the n bytes at s to w and returns their end.
char *put(char *w, const char *s, size_t n) {
    memcpy(w, s, n);
    return w + n;
}
template <size_t N>
char *put(char *w, const char (&literal)[N]) {
    return put(w, literal, N - 1);
}

// One file item whose texts need no escaping, written in one piece into
// room reserved for it: most items are such, and a listing has tens of
// thousands of them. false when out cannot grow.
bool emit_plain_item(plix_buf *out, const char *name, size_t nl, const char *link, size_t ll,
                     const char *id, size_t il, int64_t size) {
    if (plix_buf_reserve(out, 86 + nl + 2 * ll + il) != 0) return false;
    char *w = out->text + out->length;
    w = put(w, "{\"name\":\"");
    w = put(w, name, nl);
    w = put(w, "\",\"path\":\"");
    w = put(w, link, ll);
    w = put(w, "\",\"folder\":false,\"size\":");
    w = plix_int_write(w, size);
    w = put(w, ",\"locator\":\"");
    w = put(w, link, ll);
    w = put(w, "\",\"id\":\"");
    w = put(w, id, il);
    w = put(w, "\"}");
    *w = '\0';
    out->length = static_cast<uint64_t>(w - out->text);
    return true;
}

// One file item: name, path, folder, size, locator, id. The link stands
// twice (path and locator).
bool emit_item(plix_buf *out, const char *name, const char *link, const char *id, int64_t size) {
    name = name ? name : "";
    link = link ? link : "";
    id = id ? id : "";
    size_t nl = strlen(name), ll = strlen(link), il = strlen(id);
    if (plix_json_plain(name, nl) && plix_json_plain(link, ll) && plix_json_plain(id, il))
        return emit_plain_item(out, name, nl, link, ll, id, il, size);
    if (plix_buf_adds(out, "{\"name\":") != 0 || plix_buf_json_str(out, name ? name : "") != 0 ||
        plix_buf_adds(out, ",\"path\":") != 0)
        return false;
    uint64_t link_at = out->length;
    if (plix_buf_json_str(out, link ? link : "") != 0) return false;
    uint64_t link_end = out->length;
    if (plix_buf_adds(out, ",\"folder\":false,\"size\":") != 0 || plix_buf_int(out, size) != 0 ||
        plix_buf_adds(out, ",\"locator\":") != 0)
        return false;
    return repeat(out, link_at, link_end) && plix_buf_adds(out, ",\"id\":") == 0 &&
           plix_buf_json_str(out, id ? id : "") == 0 && plix_buf_adds(out, "}") == 0;
}

// The bytes of a file listing when no text needs escaping: the members'
// names and punctuation (at most 86 bytes an item with a 20-byte size),
// the texts, and the link a second time.
uint64_t listing_size(const plix_links *list) {
    return 2 + list->count * 86 + list->text_bytes + list->link_bytes;
}

// "[" item "," item ... "]" for every record of list. The answer's block is
// sized ahead from what the records hold, so that it is not copied over and
// over as it grows.
int emit_links(plix_buf *out, const plix_links *list, char *message, size_t capacity) {
    if (plix_buf_reserve(out, listing_size(list)) != 0 || plix_buf_adds(out, "[") != 0)
        return plix_oom(message, capacity);
    for (uint64_t i = 0; i < list->count; ++i) {
        const plix_link &l = list->items[i];
        if ((i && plix_buf_adds(out, ",") != 0) || !emit_item(out, l.name, l.link, l.id, l.size))
            return plix_oom(message, capacity);
    }
    return plix_buf_adds(out, "]") == 0 ? 0 : plix_oom(message, capacity);
}

using files_reader = int (*)(yyjson_val *, plix_links *, char *, size_t);

// GET url, read the envelope's value into a link list with read, and write
// the file items. Each text is released as soon as its successor holds what
// it needs: the body once the document is parsed (the document keeps its
// own copy), the document once the records are copied, so that no more
// than two of body, document, records and answer are ever held at once.
int list_files(const plix_sess *sess, const plix_buf *url, const char *label, files_reader read,
               plix_buf *out, char *message, size_t capacity) {
    plix_doc doc;
    yyjson_val *value;
    int code = plix_get_value(sess, url->text, label, &doc, &value, message, capacity);
    if (code != 0) return code;
    plix_links_guard list;
    code = read(value, &list.get(), message, capacity);
    doc.reset();
    if (code != 0) return code;
    return emit_links(out, &list.get(), message, capacity);
}

// One torrent folder item; false when out cannot grow. Its path and
// locator are both "s" and the id cut to 1030 bytes.
bool emit_torrent(plix_buf *out, const char *id, const char *name, int64_t size, int32_t status) {
    char path[1032];
    size_t id_len = strnlen(id, sizeof path - 2);
    path[0] = 's';
    memcpy(path + 1, id, id_len);
    if (plix_buf_adds(out, "{\"name\":") != 0 || plix_buf_json_str(out, name) != 0 ||
        plix_buf_adds(out, ",\"path\":") != 0)
        return false;
    uint64_t path_at = out->length;
    if (plix_buf_json_strn(out, path, id_len + 1) != 0) return false;
    uint64_t path_end = out->length;
    return plix_buf_adds(out, ",\"folder\":true,\"size\":") == 0 && plix_buf_int(out, size) == 0 &&
           plix_buf_adds(out, ",\"status\":") == 0 && plix_buf_int(out, status) == 0 &&
           plix_buf_adds(out, ",\"id\":") == 0 && plix_buf_json_str(out, id) == 0 &&
           plix_buf_adds(out, ",\"locator\":") == 0 && repeat(out, path_at, path_end) &&
           plix_buf_adds(out, "}") == 0;
}

}  // namespace

int plix_do_list_downloader(const plix_sess *sess, plix_buf *out, char *message, size_t capacity) {
    plix_buf_guard url;
    if (plix_buf_adds(&url.get(), PLIX_BASE_URL "/downloader/list") != 0 ||
        plix_buf_query(&url.get(), "page", "0") != 0 ||
        plix_buf_query(&url.get(), "perPage", "50") != 0)
        return plix_oom(message, capacity);
    return list_files(sess, &url.get(), "downloader/list", plix_downloader_rows_of_value, out,
                      message, capacity);
}

int plix_do_list_seedbox_item(const plix_sess *sess, const char *id, plix_buf *out, char *message,
                              size_t capacity) {
    if (!id || !id[0]) {
        plix_msg(message, capacity, "no such folder");
        return PLIX_E_NOT_FOUND;
    }
    plix_buf_guard url;
    if (plix_buf_adds(&url.get(), PLIX_BASE_URL "/seedbox/list") != 0 ||
        plix_buf_query(&url.get(), "ids", id) != 0)
        return plix_oom(message, capacity);
    return list_files(sess, &url.get(), "seedbox/list", plix_seedbox_files_of_value, out, message,
                      capacity);
}

int plix_do_list_seedbox(const plix_sess *sess, plix_buf *out, char *message, size_t capacity) {
    plix_buf_guard url;
    if (plix_buf_adds(&url.get(), PLIX_BASE_URL "/seedbox/list") != 0 ||
        plix_buf_query(&url.get(), "page", "-1") != 0 ||
        plix_buf_query(&url.get(), "perPage", "-1") != 0)
        return plix_oom(message, capacity);
    plix_doc doc;
    yyjson_val *value;
    int code =
        plix_get_value(sess, url.get().text, "seedbox/list", &doc, &value, message, capacity);
    if (code != 0) return code;
    yyjson_val *torrents = yyjson_is_arr(value) ? value : yyjson_obj_get(value, "value");
    if (!yyjson_is_arr(torrents)) {
        plix_msg(message, capacity, "seedbox/list returned no torrent list");
        return PLIX_E_OTHER;
    }
    if (plix_buf_adds(out, "[") != 0) return plix_oom(message, capacity);
    bool first = true;
    size_t idx, max;
    yyjson_val *t;
    yyjson_arr_foreach(torrents, idx, max, t) {
        if (!yyjson_is_obj(t) || yyjson_obj_size(t) == 0) continue;
        const char *id = plix_json_text(t, "id");
        if (!id) continue;
        const char *name = plix_json_text(t, "name");
        int64_t size = plix_json_int(t, "totalSize", -1);
        yyjson_val *st = yyjson_obj_get(t, "status");
        int32_t status = yyjson_is_int(st)
                             ? static_cast<int32_t>(static_cast<uint32_t>(yyjson_get_uint(st)))
                             : -1;
        if ((!first && plix_buf_adds(out, ",") != 0) ||
            !emit_torrent(out, id, name ? name : id, size, status))
            return plix_oom(message, capacity);
        first = false;
    }
    return plix_buf_adds(out, "]") == 0 ? 0 : plix_oom(message, capacity);
}

int plix_do_list_root(plix_buf *out, char *message, size_t capacity) {
    if (plix_buf_add(out, kRootListing, sizeof kRootListing - 1) == 0) return 0;
    return plix_oom(message, capacity);
}
