#include "bench_baseline.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <yyjson.h>

#include <charconv>
#include <initializer_list>

namespace baseline {

namespace {

// Owns the parsed documents and the answer's document of one call.
struct docs {
    yyjson_doc *settings = nullptr;
    yyjson_doc *body = nullptr;
    yyjson_doc *extra = nullptr;
    yyjson_mut_doc *out = yyjson_mut_doc_new(nullptr);
    ~docs() {
        yyjson_doc_free(settings);
        yyjson_doc_free(body);
        yyjson_doc_free(extra);
        yyjson_mut_doc_free(out);
    }
};

yyjson_doc *read(text t) { return yyjson_read(t.bytes, t.length, 0); }

// The member's string when it is one, else null.
const char *str(yyjson_val *obj, const char *key) {
    yyjson_val *v = yyjson_obj_get(obj, key);
    return yyjson_is_str(v) ? yyjson_get_str(v) : nullptr;
}

// The settings' key and id, as the plug-in requires them.
bool read_settings(docs &d, text settings, const char **id) {
    d.settings = read(settings);
    yyjson_val *root = yyjson_doc_get_root(d.settings);
    if (!yyjson_is_obj(root)) return false;
    const char *key = str(root, "APIKey");
    *id = str(root, "ID");
    return key && key[0];
}

// The envelope's value on success, else null.
yyjson_val *value_of(yyjson_doc *doc) {
    yyjson_val *root = yyjson_doc_get_root(doc);
    if (!yyjson_is_true(yyjson_obj_get(root, "success"))) return nullptr;
    return yyjson_obj_get(root, "value");
}

yyjson_val *array_of(yyjson_val *value) {
    if (yyjson_is_arr(value)) return value;
    yyjson_val *inner = yyjson_obj_get(value, "value");
    return yyjson_is_arr(inner) ? inner : nullptr;
}

// Adds a string member referring to the parsed text (no copy).
void add_str(yyjson_mut_doc *out, yyjson_mut_val *obj, const char *key, yyjson_val *v) {
    yyjson_mut_obj_add_strn(out, obj, key, yyjson_get_str(v), yyjson_get_len(v));
}

char *write(docs &d, yyjson_mut_val *root) {
    yyjson_mut_doc_set_root(d.out, root);
    return yyjson_mut_write(d.out, 0, nullptr);
}

}  // namespace

char *file_listing(text body, text settings, bool torrent) {
    docs d;
    const char *id;
    if (!read_settings(d, settings, &id)) return nullptr;
    d.body = read(body);
    yyjson_val *rows = array_of(value_of(d.body));
    if (torrent) rows = yyjson_obj_get(yyjson_arr_get_first(rows), "files");
    if (!yyjson_is_arr(rows)) return nullptr;
    yyjson_mut_val *arr = yyjson_mut_arr(d.out);
    static yyjson_val empty = [] {
        yyjson_val v{};
        v.tag = YYJSON_TYPE_STR;
        v.uni.str = "";
        return v;
    }();
    size_t idx, max;
    yyjson_val *row;
    yyjson_arr_foreach(rows, idx, max, row) {
        yyjson_val *name = yyjson_obj_get(row, "name");
        yyjson_val *link = yyjson_obj_get(row, "downloadUrl");
        yyjson_val *size = yyjson_obj_get(row, "size");
        yyjson_val *rid = yyjson_obj_get(row, "id");
        if (!yyjson_is_str(rid)) rid = &empty;
        if (!yyjson_is_str(name)) name = torrent ? &empty : rid;
        if (!yyjson_is_str(link)) link = &empty;
        yyjson_mut_val *item = yyjson_mut_arr_add_obj(d.out, arr);
        add_str(d.out, item, "name", name);
        add_str(d.out, item, "path", link);
        yyjson_mut_obj_add_false(d.out, item, "folder");
        yyjson_mut_obj_add_int(d.out, item, "size",
                               yyjson_is_int(size) ? yyjson_get_sint(size) : -1);
        add_str(d.out, item, "locator", link);
        add_str(d.out, item, "id", rid);
    }
    return write(d, arr);
}

char *seedbox(text body, text settings) {
    docs d;
    const char *id;
    if (!read_settings(d, settings, &id)) return nullptr;
    d.body = read(body);
    yyjson_val *torrents = array_of(value_of(d.body));
    if (!torrents) return nullptr;
    yyjson_mut_val *arr = yyjson_mut_arr(d.out);
    size_t idx, max;
    yyjson_val *t;
    yyjson_arr_foreach(torrents, idx, max, t) {
        if (!yyjson_is_obj(t) || !yyjson_obj_size(t)) continue;
        yyjson_val *tid = yyjson_obj_get(t, "id");
        if (!yyjson_is_str(tid) || !yyjson_get_len(tid)) continue;
        yyjson_val *name = yyjson_obj_get(t, "name");
        if (!yyjson_is_str(name) || !yyjson_get_len(name)) name = tid;
        yyjson_val *size = yyjson_obj_get(t, "totalSize");
        yyjson_val *status = yyjson_obj_get(t, "status");
        char path[1032];
        int n = snprintf(path, sizeof path, "s%s", yyjson_get_str(tid));
        size_t plen = n < static_cast<int>(sizeof path) ? static_cast<size_t>(n) : sizeof path - 1;
        yyjson_mut_val *p = yyjson_mut_strncpy(d.out, path, plen);
        yyjson_mut_val *item = yyjson_mut_arr_add_obj(d.out, arr);
        add_str(d.out, item, "name", name);
        yyjson_mut_obj_add_val(d.out, item, "path", p);
        yyjson_mut_obj_add_true(d.out, item, "folder");
        yyjson_mut_obj_add_int(d.out, item, "size",
                               yyjson_is_int(size) ? yyjson_get_sint(size) : -1);
        yyjson_mut_obj_add_int(
            d.out, item, "status",
            yyjson_is_int(status)
                ? static_cast<int32_t>(static_cast<uint32_t>(yyjson_get_uint(status)))
                : -1);
        add_str(d.out, item, "id", tid);
        yyjson_mut_obj_add_strn(d.out, item, "locator", yyjson_mut_get_str(p), plen);
    }
    return write(d, arr);
}

char *validate(text body, text settings) {
    docs d;
    const char *id;
    if (!read_settings(d, settings, &id)) return nullptr;
    d.body = read(body);
    yyjson_val *value = value_of(d.body);
    if (!value) return nullptr;
    const char *email = str(value, "email");
    const char *user = str(value, "username");
    yyjson_val *premium = yyjson_obj_get(value, "premiumLeft");
    yyjson_mut_val *obj = yyjson_mut_obj(d.out);
    yyjson_mut_obj_add_str(d.out, obj, "RuntimeType", "DEBRIDLINK");
    yyjson_mut_obj_add_str(d.out, obj, "ID", id ? id : "");
    if (email && email[0]) yyjson_mut_obj_add_str(d.out, obj, "AccountEmail", email);
    if (user && user[0]) yyjson_mut_obj_add_str(d.out, obj, "AccountName", user);
    if (yyjson_is_int(premium) && yyjson_get_sint(premium) >= 0) {
        char digits[24];
        auto end = std::to_chars(digits, digits + sizeof digits, yyjson_get_sint(premium)).ptr;
        yyjson_mut_obj_add_strncpy(d.out, obj, "PremiumLeft", digits,
                                   static_cast<size_t>(end - digits));
    }
    return write(d, obj);
}

char *stream(text entry, text settings) {
    docs d;
    const char *id;
    if (!read_settings(d, settings, &id)) return nullptr;
    d.body = read(entry);
    yyjson_val *root = yyjson_doc_get_root(d.body);
    const char *link = nullptr;
    for (const char *key : {"locator", "link", "path"})
        if ((link = str(root, key)) && link[0]) break;
    if (!link || !link[0]) return nullptr;
    yyjson_mut_val *obj = yyjson_mut_obj(d.out);
    yyjson_mut_obj_add_str(d.out, obj, "url", link);
    return write(d, obj);
}

char *download(text body, text request, text settings) {
    docs d;
    const char *id;
    if (!read_settings(d, settings, &id)) return nullptr;
    d.extra = read(request);
    const char *link = str(yyjson_doc_get_root(d.extra), "Link");
    if (!link || !link[0]) return nullptr;
    d.body = read(body);
    yyjson_val *value = value_of(d.body);
    yyjson_val *file = yyjson_is_obj(value) ? value : yyjson_arr_get_first(value);
    if (!yyjson_is_obj(file)) return nullptr;
    yyjson_val *url = yyjson_obj_get(file, "downloadUrl");
    yyjson_val *name = yyjson_obj_get(file, "name");
    yyjson_val *size = yyjson_obj_get(file, "size");
    if (!yyjson_is_str(url)) {
        yyjson_val *first = yyjson_arr_get_first(yyjson_obj_get(file, "files"));
        url = yyjson_obj_get(first, "downloadUrl");
        if (!yyjson_is_str(name)) name = yyjson_obj_get(first, "name");
        if (!yyjson_is_int(size)) size = yyjson_obj_get(first, "size");
    }
    yyjson_mut_val *obj = yyjson_mut_obj(d.out);
    yyjson_mut_obj_add_str(d.out, obj, "InstantURL", yyjson_is_str(url) ? yyjson_get_str(url) : "");
    yyjson_mut_obj_add_str(d.out, obj, "InstantName",
                           yyjson_is_str(name) ? yyjson_get_str(name) : "");
    if (yyjson_is_int(size) && yyjson_get_sint(size) >= 0)
        yyjson_mut_obj_add_int(d.out, obj, "InstantSize", yyjson_get_sint(size));
    yyjson_mut_val *payload = yyjson_mut_obj_add_obj(d.out, obj, "Payload");
    yyjson_mut_val *copy = yyjson_val_mut_copy(d.out, value);
    if (yyjson_is_obj(value)) {
        yyjson_mut_val *files = yyjson_mut_obj_add_arr(d.out, payload, "Files");
        yyjson_mut_arr_append(files, copy);
    } else {
        yyjson_mut_obj_add_val(d.out, payload, "Files", copy);
    }
    return write(d, obj);
}

size_t floor_read(const text *texts, size_t count) {
    size_t values = 0;
    for (size_t i = 0; i < count; ++i) {
        yyjson_doc *doc = read(texts[i]);
        values += yyjson_doc_get_val_count(doc);
        yyjson_doc_free(doc);
    }
    return values;
}

size_t floor_read_write(const text *texts, size_t count) {
    size_t written = 0;
    for (size_t i = 0; i < count; ++i) {
        yyjson_doc *doc = read(texts[i]);
        size_t length = 0;
        char *out = yyjson_write(doc, 0, &length);
        written += length;
        free(out);
        yyjson_doc_free(doc);
    }
    return written;
}

int season_episode(const char *name, int *season, int *episode) {
    auto digit = [](char c) { return c >= '0' && c <= '9'; };
    for (const char *p = name; *p; ++p) {
        if ((*p | 0x20) != 's' || !digit(p[1])) continue;
        const char *q = p + 1;
        int s = 0;
        while (digit(*q) && q - p <= 2) s = s * 10 + (*q++ - '0');
        if ((*q | 0x20) != 'e' || !digit(q[1])) continue;
        int e = 0;
        for (++q; digit(*q) && e < 100; ++q) e = e * 10 + (*q - '0');
        *season = s;
        *episode = e;
        return 1;
    }
    return 0;
}

void copy_text(const char *text, char *output, size_t size) {
    size_t n = strnlen(text, size - 1);
    memcpy(output, text, n);
    output[n] = '\0';
}

}  // namespace baseline
