#include "pages.h"

#include "dav.h"
#include "media_names.h"
#include "paths.h"
#include "plix.h"

namespace {

void html_escape(const std::string &text, std::string &out) { xml_escape(text, out); }

}  // namespace

std::string html_index(const std::vector<std::string> &segments, const folder &dir) {
    std::string here = href_of(segments, true);
    std::string title = segments.empty() ? "/" : segments.back();
    std::string out = "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>";
    html_escape(title, out);
    out += "</title></head><body>\n<h1>";
    html_escape(here == "/" ? "plixd" : title, out);
    out += "</h1>\n<ul>\n";
    if (!segments.empty()) {
        std::vector<std::string> up(segments.begin(), segments.end() - 1);
        out += "<li><a href=\"";
        html_escape(href_of(up, true), out);
        out += "\">..</a></li>\n";
    }
    for (const entry &e : dir.entries) {
        std::vector<std::string> path = segments;
        path.push_back(e.name);
        out += "<li><a href=\"";
        html_escape(href_of(path, e.is_folder), out);
        out += "\">";
        html_escape(e.name + (e.is_folder ? "/" : ""), out);
        out += "</a></li>\n";
    }
    out += "</ul>\n<p><a href=\"";
    html_escape(here + "?m3u", out);
    out += "\">Playlist of this folder</a></p>\n</body></html>\n";
    return out;
}

std::vector<const entry *> media_in_order(const folder &dir, bool organised) {
    std::vector<const entry *> media;
    std::vector<std::string> names;
    for (const entry &e : dir.entries) {
        if (e.is_folder || !is_media(e.name)) continue;
        media.push_back(&e);
        names.push_back(e.name);
    }
    // An organised folder is in episode order already.
    if (organised) return media;
    std::vector<const entry *> out;
    for (size_t i : episode_order(names, plix_parse_season_episode)) out.push_back(media[i]);
    return out;
}

std::string m3u_playlist(const std::vector<const entry *> &entries,
                         const std::function<std::string(const entry &)> &url_of) {
    std::string out = "#EXTM3U\n";
    for (const entry *e : entries) {
        out += "#EXTINF:-1,";
        for (char c : e->name) out += c == '\r' || c == '\n' ? ' ' : c;
        out += "\n" + url_of(*e) + "\n";
    }
    return out;
}
