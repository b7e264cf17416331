#include "host_plix.h"

#include <stdlib.h>
#include <yyjson.h>

#include <memory>

#include "host_text.h"

namespace {

using json_doc = std::unique_ptr<yyjson_doc, void (*)(yyjson_doc *)>;

json_doc read_json(const std::string &text) {
    return json_doc(yyjson_read(text.data(), text.size(), 0), yyjson_doc_free);
}

std::string str_of(yyjson_val *obj, const char *key) {
    const char *s = yyjson_get_str(yyjson_obj_get(obj, key));
    return s ? s : "";
}

long long int_of(yyjson_val *obj, const char *key) {
    yyjson_val *v = yyjson_obj_get(obj, key);
    return yyjson_is_int(v) ? yyjson_get_sint(v) : -1;
}

}  // namespace

bool read_items(const std::string &answer, std::vector<listing_item> &items) {
    json_doc doc = read_json(answer);
    yyjson_val *root = yyjson_doc_get_root(doc.get());
    if (!yyjson_is_arr(root)) return false;
    items.clear();
    items.reserve(yyjson_arr_size(root));
    size_t i, n;
    yyjson_val *v;
    yyjson_arr_foreach(root, i, n, v) {
        listing_item it;
        it.name = str_of(v, "name");
        it.path = str_of(v, "path");
        it.id = str_of(v, "id");
        it.folder = yyjson_get_bool(yyjson_obj_get(v, "folder"));
        it.size = int_of(v, "size");
        it.status = int_of(v, "status");
        size_t len = 0;
        char *text = yyjson_val_write(v, 0, &len);
        if (text) it.json.assign(text, len);
        free(text);
        items.push_back(std::move(it));
    }
    return true;
}

std::string items_json(const std::vector<listing_item> &items) {
    std::string out = "[";
    for (const listing_item &it : items) out += (out.size() > 1 ? "," : "") + it.json;
    return out + "]";
}

std::string settings_json(const std::string &key) {
    return "{\"APIKey\":" + json_string(key) + "}";
}

std::string link_request_json(const std::string &link) {
    return "{\"Link\":" + json_string(link) + "}";
}

int plix_call(const plix_api &api, const plix_op &op, std::string &answer) {
    std::vector<char> out(256 * 1024);
    int rc = op(out.data(), static_cast<int>(out.size()));
    if (rc == PLIX_OK) {
        answer = out.data();
    } else if (rc == PLIX_E_BUFFER && api.result_json()[0]) {
        answer = api.result_json();
        rc = PLIX_OK;
    }
    return rc;
}

std::string plix_failure(const plix_api &api, int rc) {
    std::string why = api.last_error();
    return why.empty() ? "failed (" + std::to_string(rc) + ")" : why;
}

int plix_play_url(const plix_api &api, const std::string &settings, const std::string &entry,
                  std::string &url, std::string &why) {
    std::string answer;
    int rc = plix_call(
        api,
        [&](char *out, int cap) {
            return api.stream_url(settings.c_str(), entry.c_str(), out, cap);
        },
        answer);
    if (rc != PLIX_OK) {
        why = plix_failure(api, rc);
        return rc;
    }
    url = answer_member(answer, "url");
    if (!url.empty()) return PLIX_OK;
    why = "no URL to play";
    return PLIX_E_OTHER;
}

int plix_list_folder(const plix_api &api, const std::string &settings, const std::string &folder,
                     std::string &answer) {
    return plix_call(
        api,
        [&](char *out, int cap) { return api.list(settings.c_str(), folder.c_str(), out, cap); },
        answer);
}

page_lister plix_lister(const plix_api &api, const std::string &settings) {
    return [&api, settings](const std::string &folder, std::vector<listing_item> &items) {
        std::string answer;
        int rc = plix_list_folder(api, settings, folder, answer);
        if (rc == PLIX_OK && !read_items(answer, items)) rc = PLIX_E_OTHER;
        return rc;
    };
}

int plix_downloader_pages(const page_lister &list,
                          const std::function<bool(std::vector<listing_item> &page)> &page) {
    for (int n = 0; n < PLIX_DOWNLOADER_PAGES_MAX; ++n) {
        std::vector<listing_item> items;
        int rc = list(n ? "downloader/" + std::to_string(n) : "downloader", items);
        if (rc != PLIX_OK) return rc;
        size_t count = items.size();
        if (!page(items) || count < PLIX_DOWNLOADER_PAGE) break;
    }
    return PLIX_OK;
}

int plix_downloader_all(const page_lister &list, std::vector<listing_item> &items) {
    items.clear();
    return plix_downloader_pages(list, [&](std::vector<listing_item> &page) {
        for (listing_item &it : page) items.push_back(std::move(it));
        return true;
    });
}

std::string answer_member(const std::string &answer, const char *key) {
    json_doc doc = read_json(answer);
    return str_of(yyjson_doc_get_root(doc.get()), key);
}

bool read_account_key(const std::string &key_file, std::string &key, bool &blank_env,
                      std::string &error) {
    blank_env = false;
    if (!key_file.empty()) return read_key_file(key_file, key, error);
    const char *env = getenv("PLIX_API_KEY");
    key = env ? trim(env) : "";
    blank_env = env && key.empty();
    return true;
}
