// plix-mpv: a Debrid-Link account in mpv. mpv hands the plug-in every
// address it is about to open (its on_load hook); the plug-in resolves the
// "debridlink://" ones, and magnet links, through plix and the live
// transport the project's hosts share:
//
//   debridlink://                       the root: downloader, seedbox
//   debridlink://downloader             the downloader's files
//   debridlink://seedbox                the seedbox's torrents
//   debridlink://seedbox/<id>           one torrent's files
//   debridlink://downloader/<id>        one file, played (playlist entries)
//   debridlink://seedbox/<id>/<file id> one torrent file, played
//   debridlink://add/<link>, magnet:... added to the account (plix-add=yes)
//
// A folder becomes a memory:// playlist whose entries stay debridlink://
// addresses until they play, so mpv's resume finds them again and a
// download URL is fetched afresh each time a file opens. Every failure is
// one line on mpv's terminal, in its log and on the OSD, with the key
// masked, and the entry fails so that mpv moves on.
#include <mpv/client.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <yyjson.h>

#include <memory>
#include <string>
#include <vector>

#include "host_text.h"
#include "live_io.h"
#include "options.h"
#include "playlist.h"
#include "plix.h"

namespace {

constexpr char kScheme[] = "debridlink://";
constexpr size_t kSchemeLength = sizeof kScheme - 1;

class session {
  public:
    explicit session(mpv_handle *mpv) : mpv_(mpv) {}
    ~session() { plix_set_io(nullptr); }
    session(const session &) = delete;
    session &operator=(const session &) = delete;

    // Resolves the address mpv is about to open, when it is one of ours.
    void on_load();

  private:
    mpv_handle *mpv_;
    plix_options opt_;
    live_options http_;
    bool started_ = false;
    std::string settings_;

    void say(const std::string &line);
    bool prepare(std::string &why);
    bool call(int (*op)(const char *, const char *, char *, int), const std::string &argument,
              std::string &answer, std::string &why);
    bool list(const std::string &folder, std::vector<entry> &out, std::string &why);
    bool stream_url(const entry &e, std::string &url, std::string &why);

    bool root(std::string &why);
    bool folder(const std::string &name, std::string &why);
    bool torrent(const std::string &id, std::string &why);
    bool play(const std::string &folder_name, const std::string &id, std::string &why);
    bool add(const std::string &link, std::string &why);

    void open_playlist(const std::vector<playlist_item> &items);
};

// The text of one member of a JSON object answer.
std::string member_of(const std::string &answer, const char *key) {
    std::unique_ptr<yyjson_doc, void (*)(yyjson_doc *)> doc(
        yyjson_read(answer.data(), answer.size(), 0), yyjson_doc_free);
    const char *s = yyjson_get_str(yyjson_obj_get(yyjson_doc_get_root(doc.get()), key));
    return s ? s : "";
}

// The key from the key file (one line) or PLIX_API_KEY.
bool read_key(mpv_handle *mpv, const plix_options &o, std::string &key, std::string &why) {
    if (!o.key_file.empty()) return read_key_file(mpv_path(mpv, o.key_file), key, why);
    const char *env = getenv("PLIX_API_KEY");
    key = env ? trim(env) : "";
    if (key.empty()) why = "no API key: set PLIX_API_KEY or plix-key-file";
    return !key.empty();
}

void session::say(const std::string &line) {
    const char *print[] = {"print-text", line.c_str(), nullptr};
    mpv_command(mpv_, print);
    const char *osd[] = {"show-text", line.c_str(), "6000", nullptr};
    mpv_command(mpv_, osd);
}

// The line for a failure. The address (a link the user gave may carry user
// info or an apikey parameter) goes through plix's redactor; plix's own
// messages come with the key masked and every URL they quote redacted.
std::string failure_line(const std::string &address, const std::string &why) {
    return std::string("plix: ") + plix_redact(address.c_str()) + ": " + why;
}

bool session::prepare(std::string &why) {
    opt_ = options_read(mpv_);
    for (const std::string &p : opt_.problems) say("plix: " + p);
    std::string key;
    if (!read_key(mpv_, opt_, key, why)) return false;
    settings_ = "{\"APIKey\":" + json_string(key) + "}";
    http_.cacert = opt_.cacert.empty() ? "" : mpv_path(mpv_, opt_.cacert);
    http_.connect_to = opt_.connect_to;
    http_.timeout = opt_.timeout;
    http_.connect_timeout = opt_.timeout < 15 ? opt_.timeout : 15;
    http_.user_agent = "plix-mpv/" PLIX_MPV_VERSION;
    if (!started_) {
        std::string error;
        if (!live_io_start(&http_, error)) {
            why = error;
            return false;
        }
        started_ = true;
    }
    plix_io table = live_io_table(&http_);
    if (plix_set_io(&table) != PLIX_OK) {
        why = "plix refused the transport";
        return false;
    }
    return true;
}

bool session::call(int (*op)(const char *, const char *, char *, int), const std::string &argument,
                   std::string &answer, std::string &why) {
    std::vector<char> out(1 << 20);
    int rc = op(settings_.c_str(), argument.c_str(), out.data(), static_cast<int>(out.size()));
    if (rc == PLIX_OK) {
        answer = out.data();
        return true;
    }
    // An answer too large for the buffer is whole in the result channel;
    // asking again would repeat the request (and add a link twice).
    if (rc == PLIX_E_BUFFER && plix_result_json()[0]) {
        answer = plix_result_json();
        return true;
    }
    why = plix_last_error();
    if (why.empty()) why = "failed (" + std::to_string(rc) + ")";
    return false;
}

bool session::list(const std::string &folder, std::vector<entry> &out, std::string &why) {
    std::string answer;
    if (!call(plix_list, folder, answer, why)) return false;
    if (!entries_of(answer, out)) {
        why = "the listing of " + folder + " is not a JSON array";
        return false;
    }
    return true;
}

bool session::stream_url(const entry &e, std::string &url, std::string &why) {
    std::string answer;
    if (!call(plix_stream_url, e.json, answer, why)) return false;
    url = member_of(answer, "url");
    if (url.empty()) why = "no URL to play " + e.name;
    return !url.empty();
}

void session::open_playlist(const std::vector<playlist_item> &items) {
    std::string text = "memory://" + m3u(items);
    mpv_set_property_string(mpv_, "stream-open-filename", text.c_str());
}

bool session::root(std::string &why) {
    std::vector<entry> folders;
    if (!list("", folders, why)) return false;
    std::vector<playlist_item> items;
    for (const entry &e : folders) items.push_back({e.name, kScheme + percent_encode(e.name)});
    open_playlist(items);
    return true;
}

bool session::folder(const std::string &name, std::string &why) {
    std::vector<entry> entries;
    if (!list(name, entries, why)) return false;
    std::vector<playlist_item> items;
    if (name == "seedbox") {
        // Torrents in the service's order; one that cannot play yet keeps
        // its place with its status in its title.
        for (const entry &e : entries) {
            std::string title = e.name;
            if (!torrent_ready(e.status)) title += " [" + status_words(e.status) + "]";
            items.push_back({title, std::string(kScheme) + "seedbox/" + percent_encode(e.id)});
        }
    } else {
        // The downloader plays in the service's order.
        for (const entry &e : entries)
            if (!e.folder && (opt_.all_files || is_media(e.name)))
                items.push_back({e.name, std::string(kScheme) + name + "/" + percent_encode(e.id)});
    }
    open_playlist(items);
    return true;
}

bool session::torrent(const std::string &id, std::string &why) {
    std::vector<entry> torrents;
    if (!list("seedbox", torrents, why)) return false;
    const entry *found = nullptr;
    for (const entry &e : torrents)
        if (e.id == id) found = &e;
    if (!found) {
        why = "no torrent " + id + " in the seedbox";
        return false;
    }
    if (!torrent_ready(found->status)) {
        why = found->name + " is not ready to play yet (" + status_words(found->status) + ")";
        return false;
    }
    std::vector<entry> files;
    if (!list("s" + id, files, why)) return false;
    std::vector<playlist_item> items;
    std::string base = std::string(kScheme) + "seedbox/" + percent_encode(id) + "/";
    for (const entry *e : play_order(files, opt_.all_files, plix_parse_season_episode))
        items.push_back({e->name, base + percent_encode(e->id)});
    if (items.empty()) {
        why = found->name + " holds no media file (plix-all-files=yes plays every file)";
        return false;
    }
    open_playlist(items);
    return true;
}

bool session::play(const std::string &folder_name, const std::string &id, std::string &why) {
    std::vector<entry> files;
    if (!list(folder_name, files, why)) return false;
    const entry *file = nullptr;
    for (const entry &e : files)
        if (!e.folder && e.id == id) file = &e;
    if (!file) {
        why =
            "no file " + id + " in " + (folder_name == "downloader" ? folder_name : "the torrent");
        return false;
    }
    std::string url;
    if (!stream_url(*file, url, why)) return false;
    // Subtitles of the same torrent that start with the video's name.
    std::vector<std::string> subs;
    if (folder_name != "downloader")
        for (const entry *s : subtitles_for(files, *file)) {
            std::string sub_url, ignored;
            if (stream_url(*s, sub_url, ignored)) subs.push_back(sub_url);
        }
    mpv_set_property_string(mpv_, "stream-open-filename", url.c_str());
    mpv_set_property_string(mpv_, "file-local-options/force-media-title", file->name.c_str());
    if (!subs.empty()) {
        // A list node: mpv would split a string at the ":" of each URL.
        std::vector<mpv_node> values(subs.size());
        for (size_t i = 0; i < subs.size(); ++i) {
            values[i].format = MPV_FORMAT_STRING;
            values[i].u.string = const_cast<char *>(subs[i].c_str());
        }
        mpv_node_list list{static_cast<int>(values.size()), values.data(), nullptr};
        mpv_node node;
        node.format = MPV_FORMAT_NODE_ARRAY;
        node.u.list = &list;
        mpv_set_property(mpv_, "file-local-options/sub-files", MPV_FORMAT_NODE, &node);
    }
    return true;
}

bool session::add(const std::string &link, std::string &why) {
    if (!opt_.add) {
        why = "adding a link changes the account; set plix-add=yes to allow it (nothing was sent)";
        return false;
    }
    std::string answer;
    plix_allow_writes(1);
    bool ok = call(plix_download, "{\"Link\":" + json_string(link) + "}", answer, why);
    plix_allow_writes(0);
    if (!ok) return false;
    std::string url = member_of(answer, "InstantURL");
    std::string name = member_of(answer, "InstantName");
    if (name.empty()) name = link;
    if (url.empty()) {
        why = "added " + name + "; it is not ready to play yet";
        return false;
    }
    say("plix: added " + name);  // the service's name for it
    mpv_set_property_string(mpv_, "stream-open-filename", url.c_str());
    mpv_set_property_string(mpv_, "file-local-options/force-media-title", name.c_str());
    return true;
}

void session::on_load() {
    char *opened = mpv_get_property_string(mpv_, "stream-open-filename");
    if (!opened) return;
    std::string address = opened;
    mpv_free(opened);
    bool magnet = address.compare(0, 7, "magnet:") == 0;
    if (!magnet && address.compare(0, kSchemeLength, kScheme) != 0) return;

    std::string why;
    bool ok = prepare(why);
    if (ok) {
        std::string rest = magnet ? "" : address.substr(kSchemeLength);
        if (magnet) {
            ok = add(address, why);
        } else if (rest.compare(0, 4, "add/") == 0) {
            std::string link = rest.substr(4);
            // A link given percent-encoded whole ("magnet%3A%3F...").
            if (link.find(':') == std::string::npos) link = percent_decode(link);
            ok = add(link, why);
        } else {
            std::vector<std::string> parts;
            for (size_t at = 0; at <= rest.size();) {
                size_t end = rest.find('/', at);
                if (end == std::string::npos) end = rest.size();
                if (end > at) parts.push_back(percent_decode(rest.substr(at, end - at)));
                at = end + 1;
            }
            bool downloader = !parts.empty() && parts[0] == "downloader";
            bool seedbox = !parts.empty() && parts[0] == "seedbox";
            if (parts.empty()) {
                ok = root(why);
            } else if ((downloader || seedbox) && parts.size() == 1) {
                ok = folder(parts[0], why);
            } else if (seedbox && parts.size() == 2) {
                ok = torrent(parts[1], why);
            } else if (downloader && parts.size() == 2) {
                ok = play("downloader", parts[1], why);
            } else if (seedbox && parts.size() == 3) {
                ok = play("s" + parts[1], parts[2], why);
            } else {
                ok = false;
                why =
                    "no such address (debridlink://, downloader, seedbox, seedbox/<id>, "
                    "add/<link>)";
            }
        }
    }
    if (!ok) say(failure_line(address, why));
}

}  // namespace

// mpv runs this on a thread of its own for as long as the plug-in is loaded.
extern "C" __attribute__((visibility("default"))) int mpv_open_cplugin(mpv_handle *mpv) {
    session s(mpv);
    mpv_hook_add(mpv, 0, "on_load", 50);
    for (;;) {
        mpv_event *event = mpv_wait_event(mpv, -1);
        if (event->event_id == MPV_EVENT_SHUTDOWN) break;
        if (event->event_id != MPV_EVENT_HOOK) continue;
        auto *hook = static_cast<mpv_event_hook *>(event->data);
        s.on_load();
        // Every hook is answered, or mpv would wait for it for ever.
        mpv_hook_continue(mpv, hook->id);
    }
    return 0;
}
