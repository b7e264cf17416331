#include "playlist.h"

#include <stdio.h>
#include <string.h>
#include <yyjson.h>

#include <algorithm>
#include <memory>

namespace {

std::string str_of(yyjson_val *obj, const char *key) {
    const char *s = yyjson_get_str(yyjson_obj_get(obj, key));
    return s ? s : "";
}

bool one_of(const std::string &ext, std::initializer_list<const char *> list) {
    for (const char *e : list)
        if (ext == e) return true;
    return false;
}

// The recogniser's answer for one name, kept for sorting.
struct keyed {
    const entry *e;
    bool has;
    int season, episode;
};

}  // namespace

bool entries_of(const std::string &answer, std::vector<entry> &out) {
    std::unique_ptr<yyjson_doc, void (*)(yyjson_doc *)> doc(
        yyjson_read(answer.data(), answer.size(), 0), yyjson_doc_free);
    yyjson_val *root = yyjson_doc_get_root(doc.get());
    if (!yyjson_is_arr(root)) return false;
    out.clear();
    out.reserve(yyjson_arr_size(root));
    size_t i, n;
    yyjson_val *v;
    yyjson_arr_foreach(root, i, n, v) {
        entry e;
        e.name = str_of(v, "name");
        e.id = str_of(v, "id");
        e.folder = yyjson_get_bool(yyjson_obj_get(v, "folder"));
        yyjson_val *status = yyjson_obj_get(v, "status");
        e.status = yyjson_is_int(status) ? yyjson_get_sint(status) : -1;
        size_t len = 0;
        char *text = yyjson_val_write(v, 0, &len);
        if (text) e.json.assign(text, len);
        free(text);
        out.push_back(std::move(e));
    }
    return true;
}

std::string extension_of(const std::string &name) {
    size_t dot = name.rfind('.');
    size_t slash = name.find_last_of("/\\");
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
    std::string ext = name.substr(dot + 1);
    for (char &c : ext)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return ext;
}

bool is_media(const std::string &name) {
    return one_of(extension_of(name),
                  {"mkv", "mp4",  "m4v",  "avi", "mov", "wmv", "flv",  "webm", "mpg",  "mpeg",
                   "ts",  "m2ts", "mts",  "vob", "ogv", "3gp", "divx", "mp3",  "flac", "wav",
                   "ogg", "oga",  "opus", "m4a", "aac", "wma", "alac", "ape",  "mka",  "wv"});
}

bool is_subtitle(const std::string &name) {
    return one_of(extension_of(name), {"srt", "ass", "ssa", "vtt", "sub"});
}

bool torrent_ready(long long status) { return status == 100 || (status >= 0 && (status & 8)); }

std::vector<const entry *> play_order(const std::vector<entry> &files, bool all_files,
                                      recogniser season_episode) {
    std::vector<keyed> keys;
    keys.reserve(files.size());
    for (const entry &e : files) {
        if (e.folder || (!all_files && !is_media(e.name))) continue;
        keyed k{&e, false, 0, 0};
        k.has = season_episode && season_episode(e.name.c_str(), &k.season, &k.episode) != 0;
        keys.push_back(k);
    }
    std::stable_sort(keys.begin(), keys.end(), [](const keyed &a, const keyed &b) {
        if (a.has != b.has) return a.has;
        if (a.has && a.season != b.season) return a.season < b.season;
        if (a.has && a.episode != b.episode) return a.episode < b.episode;
        return a.e->name < b.e->name;
    });
    std::vector<const entry *> out;
    out.reserve(keys.size());
    for (const keyed &k : keys) out.push_back(k.e);
    return out;
}

std::vector<const entry *> subtitles_for(const std::vector<entry> &files, const entry &video) {
    std::vector<const entry *> out;
    std::string ext = extension_of(video.name);
    if (ext.empty()) return out;
    std::string stem = video.name.substr(0, video.name.size() - ext.size() - 1);
    for (const entry &e : files)
        if (&e != &video && !e.folder && is_subtitle(e.name) &&
            e.name.compare(0, stem.size(), stem) == 0)
            out.push_back(&e);
    return out;
}

std::string m3u(const std::vector<playlist_item> &items) {
    std::string text = "#EXTM3U\n";
    size_t size = text.size();
    for (const playlist_item &i : items) size += i.title.size() + i.address.size() + 12;
    text.reserve(size);
    for (const playlist_item &i : items) {
        text += "#EXTINF:0,";
        for (char c : i.title) text += (c == '\r' || c == '\n') ? ' ' : c;
        text += '\n';
        for (char c : i.address)
            if (c != '\r' && c != '\n') text += c;
        text += '\n';
    }
    return text;
}
