// Folder listings: the downloader, the seedbox, and one torrent's files.
#include <assert.h>
#include <stdio.h>
#include <string.h>
#include <yyjson.h>

#include <string_view>

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
    if (!plix_buf_reserve(out, n)) return false;
    memcpy(out->text + out->length, out->text + from, static_cast<size_t>(n));
    out->length += n;
    out->text[out->length] = '\0';
    return true;
}

// The fixed pieces of a file item, in the order they are written: before
// the name, the path, the size, the locator and the id, and the end.
constexpr std::string_view kItemPieces[] = {
    "{\"name\":\"",    "\",\"path\":\"", "\",\"folder\":false,\"size\":",
    ",\"locator\":\"", "\",\"id\":\"",   "\"}",
};
enum piece { before_name, before_path, before_size, before_locator, before_id, item_end };

// The most bytes of a file item besides its texts: every fixed piece and
// the longest size.
constexpr size_t item_fixed_bytes() {
    size_t n = PLIX_INT_MAX_DIGITS;
    for (std::string_view p : kItemPieces) n += p.size();
    return n;
}

// The most bytes a file item whose texts need no escaping takes: its name
// and id once, its link twice (path and locator).
constexpr uint64_t plain_item_bytes(uint64_t name, uint64_t link, uint64_t id) {
    return item_fixed_bytes() + name + 2 * link + id;
}

// Copies the n bytes at s to w and returns their end.
char *put(char *w, const char *s, size_t n) {
    memcpy(w, s, n);
    return w + n;
}
char *put(char *w, piece p) { return put(w, kItemPieces[p].data(), kItemPieces[p].size()); }

// One file item whose texts need no escaping, written in one piece into
// room reserved for it: most items are such, and a listing has tens of
// thousands of them. false when out cannot grow.
bool emit_plain_item(plix_buf *out, const char *name, size_t nl, const char *link, size_t ll,
                     const char *id, size_t il, int64_t size) {
    uint64_t room = plain_item_bytes(nl, ll, il);
    if (!plix_buf_reserve(out, room)) return false;
    char *start = out->text + out->length;
    char *w = put(start, before_name);
    w = put(w, name, nl);
    w = put(w, before_path);
    w = put(w, link, ll);
    w = put(w, before_size);
    w = plix_int_write(w, size);
    w = put(w, before_locator);
    w = put(w, link, ll);
    w = put(w, before_id);
    w = put(w, id, il);
    w = put(w, item_end);
    assert(static_cast<uint64_t>(w - start) <= room);
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
    if (!plix_buf_adds(out, "{\"name\":") || !plix_buf_json_str(out, name) ||
        !plix_buf_adds(out, ",\"path\":"))
        return false;
    uint64_t link_at = out->length;
    if (!plix_buf_json_str(out, link)) return false;
    uint64_t link_end = out->length;
    if (!plix_buf_adds(out, ",\"folder\":false,\"size\":") || !plix_buf_int(out, size) ||
        !plix_buf_adds(out, ",\"locator\":"))
        return false;
    return repeat(out, link_at, link_end) && plix_buf_adds(out, ",\"id\":") &&
           plix_buf_json_str(out, id) && plix_buf_adds(out, "}");
}

// The bytes of a file listing when no text needs escaping: the brackets,
// and each item with the comma before it. The records' texts, counted
// once, plus every link again for its second place, are what
// plain_item_bytes counts of them.
uint64_t listing_size(const plix_links *list) {
    return 2 + list->count * (plain_item_bytes(0, 0, 0) + 1) + list->text_bytes + list->link_bytes;
}

// "[" item "," item ... "]" for every record of list. The answer's block is
// sized ahead from what the records hold, so that it is not copied over and
// over as it grows.
int emit_links(plix_buf *out, const plix_links *list, char *message, size_t capacity) {
    if (!plix_buf_reserve(out, listing_size(list)) || !plix_buf_adds(out, "["))
        return plix_oom(message, capacity);
    for (uint64_t i = 0; i < list->count; ++i) {
        const plix_link &l = list->items[i];
        if ((i && !plix_buf_adds(out, ",")) || !emit_item(out, l.name, l.link, l.id, l.size))
            return plix_oom(message, capacity);
    }
    return plix_buf_adds(out, "]") ? 0 : plix_oom(message, capacity);
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
    if (!plix_buf_adds(out, "{\"name\":") || !plix_buf_json_str(out, name) ||
        !plix_buf_adds(out, ",\"path\":"))
        return false;
    uint64_t path_at = out->length;
    if (!plix_buf_json_strn(out, path, id_len + 1)) return false;
    uint64_t path_end = out->length;
    return plix_buf_adds(out, ",\"folder\":true,\"size\":") && plix_buf_int(out, size) &&
           plix_buf_adds(out, ",\"status\":") && plix_buf_int(out, status) &&
           plix_buf_adds(out, ",\"id\":") && plix_buf_json_str(out, id) &&
           plix_buf_adds(out, ",\"locator\":") && repeat(out, path_at, path_end) &&
           plix_buf_adds(out, "}");
}

}  // namespace

bool plix_downloader_page(const char *folder, int32_t *page) {
    if (!folder) return false;
    if (folder[0] == '/') ++folder;
    constexpr std::string_view kName = "downloader";
    if (strncmp(folder, kName.data(), kName.size()) != 0) return false;
    const char *rest = folder + kName.size();
    int64_t n = 0;
    if (*rest == '/') {
        if (!*++rest) return false;
        for (; *rest >= '0' && *rest <= '9'; ++rest) {
            n = n * 10 + (*rest - '0');
            if (n > PLIX_PAGE_MAX) return false;
        }
    }
    if (*rest) return false;
    *page = static_cast<int32_t>(n);
    return true;
}

int plix_do_list_downloader(const plix_sess *sess, int32_t page, plix_buf *out, char *message,
                            size_t capacity) {
    char number[PLIX_INT_MAX_DIGITS + 1];
    *plix_int_write(number, page) = '\0';
    plix_buf_guard url;
    if (!plix_buf_adds(&url.get(), PLIX_BASE_URL "/downloader/list") ||
        !plix_buf_query(&url.get(), "page", number) || !plix_buf_query(&url.get(), "perPage", "50"))
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
    if (!plix_buf_adds(&url.get(), PLIX_BASE_URL "/seedbox/list") ||
        !plix_buf_query(&url.get(), "ids", id))
        return plix_oom(message, capacity);
    return list_files(sess, &url.get(), "seedbox/list", plix_seedbox_files_of_value, out, message,
                      capacity);
}

int plix_do_list_seedbox(const plix_sess *sess, plix_buf *out, char *message, size_t capacity) {
    plix_buf_guard url;
    if (!plix_buf_adds(&url.get(), PLIX_BASE_URL "/seedbox/list") ||
        !plix_buf_query(&url.get(), "page", "-1") || !plix_buf_query(&url.get(), "perPage", "-1"))
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
    if (!plix_buf_adds(out, "[")) return plix_oom(message, capacity);
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
        if ((!first && !plix_buf_adds(out, ",")) ||
            !emit_torrent(out, id, name ? name : id, size, status))
            return plix_oom(message, capacity);
        first = false;
    }
    return plix_buf_adds(out, "]") ? 0 : plix_oom(message, capacity);
}

int plix_do_list_root(plix_buf *out, char *message, size_t capacity) {
    if (plix_buf_add(out, kRootListing, sizeof kRootListing - 1)) return 0;
    return plix_oom(message, capacity);
}
