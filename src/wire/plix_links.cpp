// Downloader rows, add results and single hosted-file answers.
#include <string.h>
#include <yyjson.h>

#include "util/plix_buf.h"
#include "util/plix_json.h"
#include "wire/plix_records.h"
#include "wire/plix_wire.h"

void plix_links_free(plix_links *list) {
    if (!list) return;
    free(list->texts);
    free(list->items);
    *list = plix_links{};
}

namespace {

// Copies a string value into *out (left empty for any other value); false
// only when the copy could not be made.
bool copy_value(yyjson_val *value, plix_str *out) {
    if (!yyjson_is_str(value)) return true;
    out->reset(plix_strdup(yyjson_get_str(value)));
    return static_cast<bool>(*out);
}

}  // namespace

namespace {

// The four members a record reads, found in one pass over the object (a
// listing has tens of thousands of records): for each key the first member
// that has it, as a lookup by key finds it; later duplicates are never used.
struct record_members {
    yyjson_val *name, *link, *id, *size;
};

record_members find_members(yyjson_val *obj) {
    record_members m{nullptr, nullptr, nullptr, nullptr};
    int left = 4;
    yyjson_obj_iter it = yyjson_obj_iter_with(obj);
    yyjson_val *key;
    while (left && (key = yyjson_obj_iter_next(&it))) {
        const char *k = yyjson_get_str(key);
        yyjson_val **slot = nullptr;
        switch (yyjson_get_len(key)) {
            case 2:
                if (memcmp(k, "id", 2) == 0) slot = &m.id;
                break;
            case 4:
                if (memcmp(k, "name", 4) == 0)
                    slot = &m.name;
                else if (memcmp(k, "size", 4) == 0)
                    slot = &m.size;
                break;
            case 11:
                if (memcmp(k, "downloadUrl", 11) == 0) slot = &m.link;
                break;
            default:
                break;
        }
        if (slot && !*slot) {
            *slot = yyjson_obj_iter_get_val(key);
            --left;
        }
    }
    return m;
}

// A string value's text inside the document and its length (the bytes
// before its terminating NUL, which may hold an earlier NUL of its own), or
// null for any other value. The record holds the document's text until
// take() copies it.
char *text_of(yyjson_val *v, size_t *length) {
    if (!yyjson_is_str(v)) return nullptr;
    *length = yyjson_get_len(v);
    return const_cast<char *>(yyjson_get_str(v));
}

// Copies length bytes and the NUL after them to *at and advances it.
char *take(char **at, const char *text, size_t length) {
    if (!text) return nullptr;
    char *copy = *at;
    memcpy(copy, text, length + 1);
    *at += length + 1;
    return copy;
}

}  // namespace

// The records come in two blocks, whatever their number: the records, and
// one block for all their texts (rather than three heap copies a record). A
// first pass finds every record's members in the document, keeping
// pointers into it, and adds up their lengths, which yyjson knows; the
// second copies the texts into the block. A text holding a NUL reads up to
// it, as a heap copy of it did.
int plix_links_fill(yyjson_val *array, bool name_from_id, plix_links *list, const char *too_many,
                    char *message, size_t capacity) {
    size_t n = yyjson_arr_size(array);
    if (n > PLIX_LINKS_MAX) {
        plix_msg(message, capacity, "%s", too_many);
        return PLIX_E_OTHER;
    }
    *list = plix_links{};
    if (!n) return 0;
    struct lengths {
        size_t name, link, id;
    };
    plix_heap<plix_link> items(static_cast<plix_link *>(malloc(n * sizeof(plix_link))));
    plix_heap<lengths> lens(static_cast<lengths *>(malloc(n * sizeof(lengths))));
    if (!items || !lens) return plix_oom(message, capacity);
    uint64_t room = 0, text_bytes = 0, link_bytes = 0;
    size_t idx, max;
    yyjson_val *el;
    yyjson_arr_foreach(array, idx, max, el) {
        plix_link &rec = items.get()[idx];
        lengths &len = lens.get()[idx];
        rec = plix_link{nullptr, nullptr, -1, nullptr};
        len = lengths{0, 0, 0};
        if (!yyjson_is_obj(el)) continue;
        record_members m = find_members(el);
        rec.name = text_of(m.name, &len.name);
        rec.link = text_of(m.link, &len.link);
        rec.id = text_of(m.id, &len.id);
        rec.size = yyjson_is_int(m.size) ? yyjson_get_sint(m.size) : -1;
        room += (rec.name ? len.name + 1 : 0) + (rec.link ? len.link + 1 : 0) +
                (rec.id ? len.id + 1 : 0);
        text_bytes += len.name + len.link + len.id + (!rec.name && name_from_id ? len.id : 0);
        link_bytes += len.link;
    }
    plix_str texts(room ? static_cast<char *>(malloc(static_cast<size_t>(room))) : nullptr);
    if (room && !texts) return plix_oom(message, capacity);
    char *at = texts.get();
    for (size_t i = 0; i < n; ++i) {
        plix_link &rec = items.get()[i];
        const lengths &len = lens.get()[i];
        rec.name = take(&at, rec.name, len.name);
        rec.link = take(&at, rec.link, len.link);
        rec.id = take(&at, rec.id, len.id);
        if (!rec.name && name_from_id) rec.name = rec.id;
    }
    list->items = items.release();
    list->count = list->capacity = n;
    list->texts = texts.release();
    list->text_bytes = text_bytes;
    list->link_bytes = link_bytes;
    return 0;
}

yyjson_val *plix_value_array(yyjson_val *value) {
    if (yyjson_is_arr(value)) return value;
    if (yyjson_is_obj(value)) {
        yyjson_val *inner = yyjson_obj_get(value, "value");
        if (yyjson_is_arr(inner)) return inner;
    }
    return nullptr;
}

int plix_parse_downloader_list(const char *body, uint64_t length, plix_links *list, char *message,
                               size_t capacity) {
    *list = plix_links{};
    plix_doc doc;
    yyjson_val *value;
    int r = plix_parse_envelope(body, length, doc.out(), &value, message, capacity);
    if (r != 0) return r;
    return plix_downloader_rows_of_value(value, list, message, capacity);
}

int plix_downloader_rows_of_value(yyjson_val *value, plix_links *list, char *message,
                                  size_t capacity) {
    *list = plix_links{};
    yyjson_val *rows = plix_value_array(value);
    if (!rows) {
        plix_msg(message, capacity, "downloader/list returned no list");
        return PLIX_E_OTHER;
    }
    return plix_links_fill(rows, true, list, PLIX_TOO_MANY_ROWS, message, capacity);
}

int plix_parse_added(const char *body, uint64_t length, char **payload_out, char **url_out,
                     char **name_out, int64_t *size_out, char *message, size_t capacity) {
    *payload_out = nullptr;
    if (url_out) *url_out = nullptr;
    if (name_out) *name_out = nullptr;
    if (size_out) *size_out = -1;
    plix_doc doc;
    yyjson_val *value;
    int r = plix_parse_envelope(body, length, doc.out(), &value, message, capacity);
    if (r != 0) return r;

    yyjson_val *file = yyjson_is_obj(value) ? value : yyjson_arr_get_first(value);
    if (!yyjson_is_obj(file)) {
        plix_msg(message, capacity, "downloader/add returned no hosted file");
        return PLIX_E_OTHER;
    }
    if (!plix_json_text(file, "id")) {
        plix_msg(message, capacity, "downloader/add returned no hosted-file id");
        return PLIX_E_OTHER;
    }

    // {"Files":[<object>]} for one hosted file; an array value stands in
    // "Files" as it is, so the files are not nested in a second array.
    plix_buf_guard payload;
    bool is_obj = yyjson_is_obj(value);
    if (!plix_buf_adds(&payload.get(), is_obj ? "{\"Files\":[" : "{\"Files\":") ||
        !plix_buf_json_val(&payload.get(), value) ||
        !plix_buf_adds(&payload.get(), is_obj ? "]}" : "}")) {
        plix_msg(message, capacity, "out of memory serialising the add result");
        return PLIX_E_NOMEM;
    }

    plix_str url_copy, name_copy;
    if (url_out || name_out || size_out) {
        yyjson_val *url = yyjson_obj_get(file, "downloadUrl");
        yyjson_val *name = yyjson_obj_get(file, "name");
        yyjson_val *size = yyjson_obj_get(file, "size");
        if (!yyjson_is_str(url)) {
            yyjson_val *first = yyjson_arr_get_first(yyjson_obj_get(file, "files"));
            if (yyjson_is_obj(first)) {
                url = yyjson_obj_get(first, "downloadUrl");
                if (!yyjson_is_str(name)) name = yyjson_obj_get(first, "name");
                if (!yyjson_is_int(size)) size = yyjson_obj_get(first, "size");
            }
        }
        if (url_out && yyjson_is_str(url) && !yyjson_get_str(url)[0]) url = nullptr;
        // A copy that cannot be made fails the whole read: an answer with
        // the member silently missing would read as the service's.
        if ((url_out && !copy_value(url, &url_copy)) || (name_out && !copy_value(name, &name_copy)))
            return plix_oom(message, capacity);
        if (size_out && yyjson_is_int(size)) *size_out = yyjson_get_sint(size);
    }
    if (url_out) *url_out = url_copy.release();
    if (name_out) *name_out = name_copy.release();
    *payload_out = payload.release().text;
    return 0;
}

int plix_parse_unlock(const char *body, uint64_t length, char **url_out, char **name_out,
                      int64_t *size_out, char *message, size_t capacity) {
    *url_out = nullptr;
    *name_out = nullptr;
    *size_out = -1;
    plix_doc doc;
    yyjson_val *value;
    int r = plix_parse_envelope(body, length, doc.out(), &value, message, capacity);
    if (r != 0) return r;
    const char *url = nullptr;
    if (yyjson_is_obj(value) && yyjson_obj_size(value) > 0) {
        url = plix_json_text(value, "downloadUrl");
        if (!url) url = plix_json_text(value, "url");
    }
    if (!url) {
        plix_msg(message, capacity, "hosted file has no downloadUrl");
        return PLIX_E_OTHER;
    }
    plix_str copy(plix_strdup(url));
    if (!copy) return plix_oom(message, capacity);
    plix_str name_copy;
    if (const char *name = plix_json_str(value, "name")) {
        name_copy.reset(plix_strdup(name));
        if (!name_copy) return plix_oom(message, capacity);
    }
    *size_out = plix_json_int(value, "size", -1);
    *name_out = name_copy.release();
    *url_out = copy.release();
    return 0;
}
