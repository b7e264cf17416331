#include "account.h"

#include <malloc.h>

#include <algorithm>

#include "host_text.h"

namespace {

constexpr char kDownloaderEndpoint[] = "downloader/list";
constexpr char kSeedboxEndpoint[] = "seedbox/list";
// The catalog is made again at most this often while listings come in.
constexpr auto kRebuildEvery = std::chrono::seconds(2);

media_file file_of(const listing_item &it) {
    media_file f;
    f.id = it.id;
    f.name = it.name;
    f.link = it.path;  // a file's path is its direct URL
    f.size = it.size;
    return f;
}

bool same_files(const std::vector<media_file> &a, const std::vector<media_file> &b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i].id != b[i].id || a[i].name != b[i].name || a[i].link != b[i].link ||
            a[i].size != b[i].size)
            return false;
    return true;
}

bool same_torrents(const std::vector<torrent> &a, const std::vector<torrent> &b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i].id != b[i].id || a[i].signature() != b[i].signature()) return false;
    return true;
}

}  // namespace

account::account(plix_api api, std::string settings, account_options options, logger &log)
    : api_(api), settings_(std::move(settings)), options_(options), log_(log) {
    catalog_ = std::make_shared<catalog>(view_, nullptr);
}

account::~account() { stop(); }

void account::start() {
    worker_ = std::thread([this] { run(); });
}

void account::stop() {
    {
        std::lock_guard<std::mutex> hold(mutex_);
        stopping_ = true;
    }
    cancel_.cancel();
    changed_.notify_all();
    if (worker_.joinable()) worker_.join();
}

std::shared_ptr<const catalog> account::current(long wait_ms) {
    std::unique_lock<std::mutex> hold(mutex_);
    if (wait_ms > 0)
        changed_.wait_for(hold, std::chrono::milliseconds(wait_ms), [this] {
            return stopping_ || (catalog_->view().downloader && catalog_->view().seedbox);
        });
    return catalog_;
}

bool account::complete() {
    std::lock_guard<std::mutex> hold(mutex_);
    if (!view_.downloader || !view_.seedbox) return false;
    for (const torrent &t : view_.seedbox->torrents) {
        auto f = view_.files.find(t.id);
        if (f == view_.files.end() || f->second->signature != t.signature()) return false;
    }
    return true;
}

void account::pace() {
    // Background requests keep to the rate: each waits for its slot.
    model_clock::time_point slot;
    {
        std::lock_guard<std::mutex> hold(mutex_);
        auto gap = std::chrono::duration_cast<model_clock::duration>(
            std::chrono::duration<double>(1.0 / options_.rate));
        slot = std::max(model_clock::now(), next_slot_);
        next_slot_ = slot + gap;
    }
    auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(slot - model_clock::now());
    if (wait.count() > 0) cancel_.pause(static_cast<long>(wait.count()));
}

bool account::blocked(const std::string &endpoint) {
    std::lock_guard<std::mutex> hold(mutex_);
    auto b = blocked_.find(endpoint);
    return b != blocked_.end() && model_clock::now() < b->second;
}

void account::note_failure(const std::string &endpoint, const live_scope &scope, int rc,
                           const std::string &why) {
    if (cancel_.cancelled()) return;
    std::string line;
    model_clock::time_point until{};
    if (scope.error_code == "floodDetected") {
        until = model_clock::now() + std::chrono::hours(1);
        line = "the service asked plixd to slow down on " + endpoint +
               " (floodDetected): background work on it stops for an hour; plixd serves what "
               "it has";
    } else if (scope.status == 429) {
        long wait = scope.wait_asked > 0 ? scope.wait_asked : 300;
        until = model_clock::now() + std::chrono::seconds(wait);
        line = "the service asked plixd to slow down on " + endpoint + " (HTTP 429): background " +
               "work on it stops for " + std::to_string(wait) + " s; plixd serves what it has";
    } else if (scope.error_code == "serverNotAllowed") {
        line =
            "the service refuses calls from this machine's address (serverNotAllowed): it does "
            "so for servers and VPNs; run plixd on a home connection";
    } else {
        line = why + "; the last listing stays";
        (void)rc;
    }
    std::lock_guard<std::mutex> hold(mutex_);
    if (until != model_clock::time_point{}) {
        bool was = blocked_.count(endpoint) && model_clock::now() < blocked_[endpoint];
        blocked_[endpoint] = until;
        if (!was) log_.say(line);
        return;
    }
    if (said_.insert(line).second) log_.say(line);
}

int account::call_list(const std::string &folder, std::vector<listing_item> &items,
                       const std::string &endpoint, std::string &why) {
    live_scope scope(&cancel_);
    std::string answer;
    int rc = plix_list_folder(api_, settings_, folder, answer);
    if (rc == PLIX_OK && !read_items(answer, items)) rc = PLIX_E_OTHER;
    if (rc != PLIX_OK) {
        why = cancel_.cancelled() ? "plixd is stopping" : plix_failure(api_, rc);
        note_failure(endpoint, scope, rc, why);
    }
    return rc;
}

bool account::refresh_downloader(bool background) {
    if (blocked(kDownloaderEndpoint)) return false;
    auto list = std::make_shared<file_list>();
    std::string why;
    page_lister lister = [&](const std::string &folder, std::vector<listing_item> &items) {
        if (background) pace();
        return call_list(folder, items, kDownloaderEndpoint, why);
    };
    std::vector<listing_item> links;
    if (plix_downloader_all(lister, links) != PLIX_OK) return false;
    list->files.reserve(links.size());
    for (const listing_item &it : links)
        if (!it.folder) list->files.push_back(file_of(it));
    list->at = model_clock::now();
    std::lock_guard<std::mutex> hold(mutex_);
    // The same links as before keep the catalog (and the answers written
    // from it) as it is.
    if (view_.downloader && same_files(view_.downloader->files, list->files)) return true;
    view_.downloader = list;
    dirty_ = true;
    return true;
}

bool account::refresh_seedbox() {
    if (blocked(kSeedboxEndpoint)) return false;
    pace();
    std::vector<listing_item> items;
    std::string why;
    if (call_list("seedbox", items, kSeedboxEndpoint, why) != PLIX_OK) return false;
    auto list = std::make_shared<torrent_list>();
    for (const listing_item &it : items) {
        if (!it.folder || it.id.empty()) continue;
        list->torrents.push_back(torrent{it.id, it.name, it.size, it.status});
    }
    list->at = model_clock::now();
    std::lock_guard<std::mutex> hold(mutex_);
    // Torrents that are gone take their files with them.
    std::set<std::string> ids;
    for (const torrent &t : list->torrents) ids.insert(t.id);
    for (auto f = view_.files.begin(); f != view_.files.end();)
        f = ids.count(f->first) ? std::next(f) : view_.files.erase(f);
    if (view_.seedbox && same_torrents(view_.seedbox->torrents, list->torrents)) return true;
    view_.seedbox = list;
    dirty_ = true;
    return true;
}

bool account::refresh_torrent(const std::string &id, bool background, std::string &why) {
    std::string signature;
    {
        std::unique_lock<std::mutex> hold(mutex_);
        // Another request is listing it: this one waits for that listing.
        if (listing_.count(id)) {
            changed_.wait(hold, [&] { return stopping_ || !listing_.count(id); });
            if (view_.files.count(id)) return true;
            why = "the torrent's files could not be listed";
            return false;
        }
        if (view_.seedbox)
            for (const torrent &t : view_.seedbox->torrents)
                if (t.id == id) signature = t.signature();
        listing_.insert(id);
    }
    bool ok = false;
    if (blocked(kSeedboxEndpoint)) {
        why = "the service asked plixd to slow down; try again later";
    } else {
        if (background) pace();
        std::vector<listing_item> items;
        if (call_list("s" + id, items, kSeedboxEndpoint, why) == PLIX_OK) {
            auto list = std::make_shared<file_list>();
            list->files.reserve(items.size());
            for (const listing_item &it : items)
                if (!it.folder) list->files.push_back(file_of(it));
            list->at = model_clock::now();
            list->torrent_id = id;
            list->signature = signature;
            std::lock_guard<std::mutex> hold(mutex_);
            view_.files[id] = list;
            dirty_ = true;
            ok = true;
        }
    }
    {
        std::lock_guard<std::mutex> hold(mutex_);
        listing_.erase(id);
    }
    changed_.notify_all();
    return ok;
}

bool account::list_files(const std::string &id, std::string &why) {
    {
        std::lock_guard<std::mutex> hold(mutex_);
        if (view_.files.count(id)) return true;
    }
    return refresh_torrent(id, false, why);
}

std::string account::next_unlisted() {
    std::lock_guard<std::mutex> hold(mutex_);
    if (!view_.seedbox) return "";
    for (const torrent &t : view_.seedbox->torrents) {
        if (listing_.count(t.id)) continue;
        auto f = view_.files.find(t.id);
        if (f == view_.files.end() || f->second->signature != t.signature()) return t.id;
    }
    return "";
}

void account::rebuild() {
    account_view view;
    {
        std::lock_guard<std::mutex> hold(mutex_);
        view = view_;
        dirty_ = false;
    }
    // The catalog's torrent folders read the files listed after it was made.
    auto made = std::make_shared<catalog>(view, [this](const std::string &id) {
        std::lock_guard<std::mutex> hold(mutex_);
        auto f = view_.files.find(id);
        return f == view_.files.end() ? nullptr : f->second;
    });
    {
        std::lock_guard<std::mutex> hold(mutex_);
        catalog_ = made;
    }
    changed_.notify_all();
    made.reset();
    // The catalog replaced is gone (unless a request still reads it): its
    // memory goes back to the system rather than waiting in the heap.
    malloc_trim(0);
}

void account::run() {
    auto next_listing = model_clock::now();
    auto last_build = model_clock::time_point{};
    for (;;) {
        {
            std::lock_guard<std::mutex> hold(mutex_);
            if (stopping_) return;
        }
        auto now = model_clock::now();
        bool worked = false;
        if (now >= next_listing) {
            next_listing = now + std::chrono::seconds(options_.refresh);
            refresh_seedbox();
            refresh_downloader(true);
            bool dirty;
            {
                std::lock_guard<std::mutex> hold(mutex_);
                dirty = dirty_ || !catalog_->view().seedbox;
            }
            // The first listings make the first catalog; later ones only
            // what they changed.
            if (dirty) {
                rebuild();
                last_build = model_clock::now();
            }
            worked = true;
        } else {
            std::string id = next_unlisted();
            std::string why;
            if (!id.empty() && !blocked(kSeedboxEndpoint)) {
                refresh_torrent(id, true, why);
                worked = true;
            }
        }
        bool dirty;
        {
            std::lock_guard<std::mutex> hold(mutex_);
            dirty = dirty_;
        }
        if (dirty && (!worked || model_clock::now() - last_build >= kRebuildEvery)) {
            rebuild();
            last_build = model_clock::now();
        }
        {
            std::lock_guard<std::mutex> hold(mutex_);
            dirty = dirty_;
        }
        // Said once the catalog holds every listing.
        if (!dirty && !was_complete_ && complete()) {
            was_complete_ = true;
            log_.say("the whole account is listed");
        }
        if (worked) continue;
        // Nothing to do until the next listing, a listing a request made, or
        // a stop.
        std::unique_lock<std::mutex> hold(mutex_);
        changed_.wait_until(hold, next_listing, [this] { return stopping_ || dirty_; });
    }
}

bool account::play_url(const entry &e, std::string &url, std::string &why) {
    std::string link = e.file ? e.file->link : "";
    bool stale =
        e.listing && model_clock::now() - e.listing->at > std::chrono::seconds(options_.link_life);
    std::string torrent_id = e.listing ? e.listing->torrent_id : "";
    if (stale && e.file) {
        // A link older than it is taken to stay fresh: list its folder again
        // and take the file's new link.
        std::shared_ptr<const file_list> again;
        if (!torrent_id.empty()) {
            {
                std::lock_guard<std::mutex> hold(mutex_);
                view_.files.erase(torrent_id);
            }
            if (!refresh_torrent(torrent_id, false, why)) return false;
            std::lock_guard<std::mutex> hold(mutex_);
            again = view_.files[torrent_id];
        } else {
            if (!refresh_downloader(false)) {
                why = "the downloader could not be listed";
                return false;
            }
            std::lock_guard<std::mutex> hold(mutex_);
            again = view_.downloader;
        }
        link.clear();
        if (again)
            for (const media_file &f : again->files)
                if (f.id == e.file->id) link = f.link;
        if (link.empty()) {
            why = "the file is no longer in the account";
            return false;
        }
    }
    return plix_play_url(api_, settings_, "{\"locator\":" + json_string(link) + "}", url, why) ==
           PLIX_OK;
}
