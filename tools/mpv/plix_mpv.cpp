// plix-mpv: a Debrid-Link account in mpv. mpv hands the plug-in every
// address it is about to open (its on_load hook); the plug-in resolves the
// "debridlink://" ones, and magnet links, through plix and the live
// transport the project's hosts share:
//
//   debridlink://                       the root: downloader, seedbox
//   debridlink://downloader             the downloader's files, every page
//   debridlink://seedbox                the seedbox's torrents
//   debridlink://seedbox/<id>           one torrent's files
//   debridlink://downloader/<id>        one file, played (playlist entries)
//   debridlink://seedbox/<id>/<file id> one torrent file, played
//   debridlink://add/<link>, magnet:... added to the account (plix-add=yes)
//
// A folder becomes a memory:// playlist whose entries stay debridlink://
// addresses until they play, so mpv's resume finds them again and a
// download URL is fetched afresh each time a file opens again.
//
// The hook's work runs on a thread of its own while this one keeps reading
// mpv's events: when the user quits or moves on (mpv's playback-abort),
// the exchange in flight is cancelled at once. Every failure is one line
// on mpv's terminal, in its log and on the OSD, with the key masked, and
// the entry fails quietly (the scheme is registered as a stream that
// cannot be opened) so that mpv moves on; when the service asks plix to
// slow down, or fails for three entries in a row, the plug-in stops the
// playlist instead of burning through it.
#include <mpv/client.h>
#include <mpv/stream_cb.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <atomic>
#include <chrono>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "host_plix.h"
#include "host_text.h"
#include "live_io.h"
#include "options.h"
#include "playlist.h"
#include "plix.h"

namespace {

constexpr char kScheme[] = "debridlink://";
constexpr size_t kSchemeLength = sizeof kScheme - 1;
// How long a listing is reused by the next plays, and how many entries in
// a row may fail on the service before the playlist stops.
constexpr auto kListingLife = std::chrono::seconds(120);
constexpr int kFailuresToStop = 3;

using clock_type = std::chrono::steady_clock;

// A result code for a failure of the plug-in's own (not found, not ready),
// which says nothing of the service.
constexpr int kLocal = 1;

bool is_ours(const std::string &address) {
    return address.compare(0, 7, "magnet:") == 0 || address.compare(0, kSchemeLength, kScheme) == 0;
}

// One on_load hook being resolved on its thread.
struct job {
    uint64_t hook_id = 0;
    std::string address;
    long long position = -1;  // the entry's place in the playlist
    live_cancel cancel;
    std::atomic<bool> done{false};
    std::thread worker;
};

class plugin {
  public:
    explicit plugin(mpv_handle *mpv);
    ~plugin() { plix_set_io(nullptr); }
    plugin(const plugin &) = delete;
    plugin &operator=(const plugin &) = delete;

    // mpv's events until it shuts down.
    void run();

  private:
    mpv_handle *mpv_;
    plix_api api_ = plix_api_linked();
    plix_options opt_;
    live_options http_;
    std::string settings_;
    std::string setup_error_;  // why nothing can be resolved (no key, no transport)

    // What the resolving keeps between entries; only the job's thread
    // touches it, and one job runs at a time.
    struct listing {
        std::vector<listing_item> items;
        clock_type::time_point at;
    };
    std::map<std::string, listing> listings_;
    std::string last_address_;
    int service_failures_ = 0;

    // The failure of the entry being resolved.
    std::string why_;
    int code_ = PLIX_OK;
    job *job_ = nullptr;

    void say(const std::string &line);
    void start(job &j);
    void resolve(job &j);
    bool fail(int code, const std::string &why);

    bool call(const plix_op &op, std::string &answer);
    bool list(const std::string &folder, std::vector<listing_item> &out, bool fresh = false);
    page_lister lister(bool fresh);
    bool stream_url(const listing_item &e, std::string &url);
    std::string entry_title();

    bool root();
    bool folder(const std::string &name);
    bool torrent(const std::string &id);
    bool play_downloader(const std::string &id);
    bool play_torrent_file(const std::string &torrent_id, const std::string &file_id);
    bool play(const listing_item &file, const std::vector<listing_item> *folder_files);
    bool add(const std::string &link);

    void open_playlist(const std::vector<playlist_item> &items);
    void add_subtitles(const std::vector<subtitle> &subs);
};

// The line for a failure. The address (a link the user gave may carry user
// info or an apikey parameter) goes through plix's redactor; plix's own
// messages come with the key masked and every URL they quote redacted.
std::string failure_line(const std::string &address, const std::string &why) {
    return std::string("plix: ") + plix_redact(address.c_str()) + ": " + why;
}

// The scheme's stream: an address the hook could not resolve stays as it
// is and fails here without a word, where mpv would otherwise say that no
// protocol handler was compiled in.
int refuse_open(void *, char *, mpv_stream_cb_info *) { return MPV_ERROR_LOADING_FAILED; }

plugin::plugin(mpv_handle *mpv) : mpv_(mpv) {
    // Options are read once, and what was not taken is said once.
    opt_ = options_read(mpv_);
    for (const std::string &p : opt_.problems) say("plix: " + p);
    std::string key, error;
    bool blank = false;
    std::string key_file = opt_.key_file.empty() ? "" : mpv_path(mpv_, opt_.key_file);
    if (!read_account_key(key_file, key, blank, error))
        setup_error_ = error;
    else if (key.empty())
        setup_error_ = "no API key: set PLIX_API_KEY or plix-key-file";
    settings_ = settings_json(key);
    // The transport's options are fixed from here on.
    http_.cacert = opt_.cacert.empty() ? "" : mpv_path(mpv_, opt_.cacert);
    http_.connect_to = opt_.connect_to;
    http_.timeout = opt_.timeout;
    http_.connect_timeout = opt_.timeout < 15 ? opt_.timeout : 15;
    http_.user_agent = "plix-mpv/" PLIX_MPV_VERSION;
    if (setup_error_.empty()) {
        plix_io table = live_io_table(&http_);
        if (!live_io_start(&http_, error))
            setup_error_ = error;
        else if (plix_set_io(&table) != PLIX_OK)
            setup_error_ = "plix refused the transport";
    }
    key.assign(key.size(), '\0');
    mpv_stream_cb_add_ro(mpv_, "debridlink", nullptr, refuse_open);
}

void plugin::say(const std::string &line) {
    const char *print[] = {"print-text", line.c_str(), nullptr};
    mpv_command(mpv_, print);
    const char *osd[] = {"show-text", line.c_str(), "6000", nullptr};
    mpv_command(mpv_, osd);
}

void plugin::run() {
    mpv_hook_add(mpv_, 0, "on_load", 50);
    std::unique_ptr<job> current;
    // Ends the current job: waits for its thread, then lets mpv go on.
    auto finish = [&] {
        current->worker.join();
        mpv_hook_continue(mpv_, current->hook_id);
        current.reset();
    };
    for (;;) {
        mpv_event *event = mpv_wait_event(mpv_, current ? 0.1 : -1);
        if (event->event_id == MPV_EVENT_SHUTDOWN) {
            if (current) {
                current->cancel.cancel();
                finish();
            }
            return;
        }
        if (event->event_id == MPV_EVENT_HOOK) {
            auto *hook = static_cast<mpv_event_hook *>(event->data);
            char *opened = mpv_get_property_string(mpv_, "stream-open-filename");
            std::string address = opened ? opened : "";
            mpv_free(opened);
            // Every hook is answered, or mpv would wait for it for ever.
            if (current || !is_ours(address)) {
                mpv_hook_continue(mpv_, hook->id);
                continue;
            }
            current = std::make_unique<job>();
            current->hook_id = hook->id;
            current->address = address;
            int64_t pos = -1;
            if (mpv_get_property(mpv_, "playlist-current-pos", MPV_FORMAT_INT64, &pos) >= 0)
                current->position = pos;
            start(*current);
            continue;
        }
        if (!current) continue;
        if (current->done.load(std::memory_order_acquire)) {
            finish();
            continue;
        }
        // The user quit or moved on while the hook waits: mpv says so only
        // through this property, which it does not announce.
        int abort = 0;
        if (mpv_get_property(mpv_, "playback-abort", MPV_FORMAT_FLAG, &abort) >= 0 && abort)
            current->cancel.cancel();
    }
}

void plugin::start(job &j) {
    j.worker = std::thread([this, &j] {
        resolve(j);
        j.done.store(true, std::memory_order_release);
        mpv_wakeup(mpv_);
    });
}

bool plugin::fail(int code, const std::string &why) {
    code_ = code;
    why_ = why;
    return false;
}

void plugin::resolve(job &j) {
    job_ = &j;
    code_ = PLIX_OK;
    why_.clear();
    // A service that hiccuped for the entries before gets one try per
    // request, so that an outage stops the playlist within a few requests.
    live_scope scope(&j.cancel, service_failures_ ? 0 : LIVE_RETRIES);
    const std::string &address = j.address;
    bool ok = false;
    if (!setup_error_.empty()) {
        fail(kLocal, setup_error_);
    } else if (address.compare(0, 7, "magnet:") == 0) {
        ok = add(address);
    } else {
        std::string rest = address.substr(kSchemeLength);
        if (rest.compare(0, 4, "add/") == 0) {
            std::string link = rest.substr(4);
            // A link given percent-encoded whole ("magnet%3A%3F...").
            if (link.find(':') == std::string::npos) link = percent_decode(link);
            ok = add(link);
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
            if (parts.empty())
                ok = root();
            else if ((downloader || seedbox) && parts.size() == 1)
                ok = folder(parts[0]);
            else if (seedbox && parts.size() == 2)
                ok = torrent(parts[1]);
            else if (downloader && parts.size() == 2)
                ok = play_downloader(parts[1]);
            else if (seedbox && parts.size() == 3)
                ok = play_torrent_file(parts[1], parts[2]);
            else
                fail(kLocal,
                     "no such address (debridlink://, downloader, seedbox, seedbox/<id>, "
                     "add/<link>)");
        }
    }
    last_address_ = address;
    job_ = nullptr;
    // Quitting or moving on is the user's doing: nothing to say.
    if (j.cancel.cancelled()) return;
    if (ok) {
        if (code_ == PLIX_OK) service_failures_ = 0;
        return;
    }
    // A magnet link that could not be added fails as quietly as the
    // scheme's addresses do, as the address that adds it.
    if (address.compare(0, kSchemeLength, kScheme) != 0) {
        std::string quiet = std::string(kScheme) + "add/" + address;
        mpv_set_property_string(mpv_, "stream-open-filename", quiet.c_str());
    }

    std::string why = why_;
    if (scope.wait_asked > 0)
        why += " (the service asks to wait " + std::to_string(scope.wait_asked) + " s)";
    say(failure_line(address, why));
    bool flood = scope.error_code == "floodDetected";
    bool on_service = code_ == PLIX_E_REFUSED || code_ == PLIX_E_LIMIT || code_ == PLIX_E_SERVICE;
    if (on_service) ++service_failures_;
    if (flood || service_failures_ >= kFailuresToStop) {
        say(flood ? "plix: the service asked plix to slow down (floodDetected); the playlist "
                    "stops here"
                  : "plix: the service failed for " + std::to_string(service_failures_) +
                        " entries in a row; the playlist stops here");
        service_failures_ = 0;
        const char *stop[] = {"stop", nullptr};
        mpv_command(mpv_, stop);
    }
}

bool plugin::call(const plix_op &op, std::string &answer) {
    int rc = plix_call(api_, op, answer);
    return rc == PLIX_OK || fail(rc, plix_failure(api_, rc));
}

bool plugin::list(const std::string &folder, std::vector<listing_item> &out, bool fresh) {
    auto found = listings_.find(folder);
    if (!fresh && found != listings_.end() && clock_type::now() - found->second.at < kListingLife) {
        out = found->second.items;
        return true;
    }
    std::string answer;
    if (!call(
            [&](char *o, int cap) { return plix_list(settings_.c_str(), folder.c_str(), o, cap); },
            answer))
        return false;
    if (!read_items(answer, out))
        return fail(PLIX_E_OTHER, "the listing of " + folder + " is not a JSON array");
    listings_[folder] = listing{out, clock_type::now()};
    return true;
}

page_lister plugin::lister(bool fresh) {
    return [this, fresh](const std::string &folder, std::vector<listing_item> &items) {
        return list(folder, items, fresh) ? PLIX_OK : code_;
    };
}

bool plugin::stream_url(const listing_item &e, std::string &url) {
    std::string why;
    int rc = plix_play_url(api_, settings_, e.json, url, why);
    return rc == PLIX_OK || fail(rc, why);
}

// The title mpv's playlist shows for the entry being resolved: the file's
// name, which the plug-in put there, for messages about it.
std::string plugin::entry_title() {
    if (!job_ || job_->position < 0) return "";
    std::string property = "playlist/" + std::to_string(job_->position) + "/title";
    char *title = mpv_get_property_string(mpv_, property.c_str());
    std::string out = title ? title : "";
    mpv_free(title);
    return out;
}

void plugin::open_playlist(const std::vector<playlist_item> &items) {
    std::string text = "memory://" + m3u(items);
    mpv_set_property_string(mpv_, "stream-open-filename", text.c_str());
}

bool plugin::root() {
    std::vector<listing_item> folders;
    if (!list("", folders)) return false;
    std::vector<playlist_item> items;
    for (const listing_item &e : folders)
        items.push_back({e.name, kScheme + percent_encode(e.name)});
    open_playlist(items);
    return true;
}

bool plugin::folder(const std::string &name) {
    std::vector<playlist_item> items;
    if (name == "seedbox") {
        std::vector<listing_item> torrents;
        if (!list("seedbox", torrents)) return false;
        // Torrents in the service's order; one that cannot play yet keeps
        // its place with its status in its title.
        for (const listing_item &e : torrents) {
            std::string title = e.name;
            if (!torrent_ready(e.status)) title += " [" + status_words(e.status) + "]";
            items.push_back({title, std::string(kScheme) + "seedbox/" + percent_encode(e.id)});
        }
    } else {
        // Every page of the downloader, in the service's order.
        std::vector<listing_item> links;
        if (plix_downloader_all(lister(false), links) != PLIX_OK) return false;
        for (const listing_item &e : links)
            if (!e.folder && (opt_.all_files || is_media(e.name)))
                items.push_back(
                    {e.name, std::string(kScheme) + "downloader/" + percent_encode(e.id)});
    }
    open_playlist(items);
    return true;
}

bool plugin::torrent(const std::string &id) {
    std::vector<listing_item> torrents;
    if (!list("seedbox", torrents)) return false;
    const listing_item *found = nullptr;
    for (const listing_item &e : torrents)
        if (e.id == id) found = &e;
    if (!found) return fail(kLocal, "no torrent " + id + " in the seedbox");
    if (!torrent_ready(found->status))
        return fail(kLocal, found->name + " is not ready to play yet (" +
                                status_words(found->status) + ")");
    std::vector<listing_item> files;
    if (!list("s" + id, files)) return false;
    std::vector<playlist_item> items;
    std::string base = std::string(kScheme) + "seedbox/" + percent_encode(id) + "/";
    for (const listing_item *e : play_order(files, opt_.all_files, plix_parse_season_episode))
        items.push_back({e->name, base + percent_encode(e->id)});
    if (items.empty())
        return fail(kLocal,
                    found->name + " holds no media file (plix-all-files=yes plays every file)");
    open_playlist(items);
    return true;
}

bool plugin::play_downloader(const std::string &id) {
    // The link is looked for on every page: links added since the playlist
    // was made move it further down. Opening the same file again (a reload)
    // asks the service afresh.
    bool fresh = job_ && job_->address == last_address_;
    listing_item file;
    bool found = false;
    int rc = plix_downloader_pages(lister(fresh), [&](std::vector<listing_item> &page) {
        for (listing_item &e : page)
            if (!e.folder && e.id == id) {
                file = e;
                found = true;
            }
        return !found;
    });
    if (rc != PLIX_OK) return false;
    if (!found) {
        std::string name = entry_title();
        return fail(kLocal, "no file " + (name.empty() ? id : name) + " in the downloader");
    }
    return play(file, nullptr);
}

bool plugin::play_torrent_file(const std::string &torrent_id, const std::string &file_id) {
    bool fresh = job_ && job_->address == last_address_;
    std::vector<listing_item> files;
    if (!list("s" + torrent_id, files, fresh)) return false;
    for (const listing_item &e : files)
        if (!e.folder && e.id == file_id) return play(e, &files);
    std::string name = entry_title();
    return fail(kLocal, "no file " + (name.empty() ? file_id : name) + " in the torrent");
}

bool plugin::play(const listing_item &file, const std::vector<listing_item> *folder_files) {
    std::string url;
    if (!stream_url(file, url)) return false;
    mpv_set_property_string(mpv_, "stream-open-filename", url.c_str());
    mpv_set_property_string(mpv_, "file-local-options/force-media-title", file.name.c_str());
    if (folder_files) add_subtitles(subtitles_for(*folder_files, file));
    return true;
}

// The video's subtitles as tracks with their language and title, so that
// --slang chooses among them. mpv shows one of the files beside a video of
// its own accord; here that is the one --slang prefers, unless --sid says
// otherwise, and the rest wait in the track list.
void plugin::add_subtitles(const std::vector<subtitle> &subs) {
    if (subs.empty()) return;
    std::vector<std::string> langs;
    mpv_node node;
    if (mpv_get_property(mpv_, "slang", MPV_FORMAT_NODE, &node) >= 0) {
        if (node.format == MPV_FORMAT_NODE_ARRAY)
            for (int i = 0; i < node.u.list->num; ++i)
                if (node.u.list->values[i].format == MPV_FORMAT_STRING)
                    langs.push_back(node.u.list->values[i].u.string);
        mpv_free_node_contents(&node);
    }
    char *sid = mpv_get_property_string(mpv_, "sid");
    bool choose = !sid || strcmp(sid, "auto") == 0;
    mpv_free(sid);
    int shown = choose ? preferred_subtitle(subs, langs) : -1;
    for (size_t i = 0; i < subs.size(); ++i) {
        std::string url;
        if (!stream_url(*subs[i].file, url)) continue;
        const char *flag = static_cast<int>(i) == shown ? "select" : "auto";
        const char *add[] = {
            "sub-add", url.c_str(), flag, subs[i].title.c_str(), subs[i].lang.c_str(), nullptr};
        mpv_command(mpv_, add);
    }
    code_ = PLIX_OK;  // a subtitle that cannot be had does not fail the video
}

bool plugin::add(const std::string &link) {
    if (!opt_.add)
        return fail(kLocal,
                    "adding a link changes the account; set plix-add=yes to allow it (nothing was "
                    "sent)");
    std::string answer, request = link_request_json(link);
    plix_allow_writes(1);
    bool ok = call(
        [&](char *o, int cap) { return plix_download(settings_.c_str(), request.c_str(), o, cap); },
        answer);
    plix_allow_writes(0);
    if (!ok) return false;
    std::string url = answer_member(answer, "InstantURL");
    std::string name = answer_member(answer, "InstantName");
    if (name.empty()) name = link;
    if (url.empty()) return fail(kLocal, "added " + name + "; it is not ready to play yet");
    say("plix: added " + name);  // the service's name for it
    mpv_set_property_string(mpv_, "stream-open-filename", url.c_str());
    mpv_set_property_string(mpv_, "file-local-options/force-media-title", name.c_str());
    return true;
}

}  // namespace

// mpv runs this on a thread of its own for as long as the plug-in is loaded.
extern "C" __attribute__((visibility("default"))) int mpv_open_cplugin(mpv_handle *mpv) {
    plugin p(mpv);
    p.run();
    return 0;
}
