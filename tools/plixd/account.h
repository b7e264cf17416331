// The account as plixd keeps it: listings made through plix, shared by
// every client, refreshed in the background within a request rate, and
// turned into the catalog that requests read.
//
// - The seedbox and the downloader are listed again every `refresh`
//   seconds; each torrent's files are listed once, and again only when the
//   torrent changes (its name, size or status).
// - Background requests keep to `rate` a second. A request for a folder
//   that is not listed yet lists it at once; requests for the same listing
//   wait for one another's.
// - HTTP 429 or floodDetected stops background work on that endpoint (for
//   the wait asked, or an hour for floodDetected), said once in the log;
//   other failures keep the last good listing.
#pragma once

#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>

#include "catalog.h"
#include "host_plix.h"
#include "live_io.h"
#include "log.h"
#include "model.h"

struct account_options {
    long refresh = 30;  // seconds between two listings of the seedbox and the downloader
    double rate = 4;    // background requests a second at the most
    // How long a listed link is taken to be fresh; an older one is listed again
    // before it is handed out.
    long link_life = 12 * 3600;
};

class account {
  public:
    account(plix_api api, std::string settings, account_options options, logger &log);
    ~account();
    account(const account &) = delete;
    account &operator=(const account &) = delete;

    // Starts the background work; the first listings are made at once.
    void start();
    // Stops it, and cancels every request to the service still waiting.
    void stop();

    // The catalog to serve. Before the first listings are in, waits for them
    // up to wait_ms.
    std::shared_ptr<const catalog> current(long wait_ms = 0);

    // Lists the files of torrent id unless they are listed (or being listed
    // by another request, which this one then waits for). false with why
    // when they cannot be had.
    bool list_files(const std::string &id, std::string &why);

    // The URL to play the file of e: its listed link while fresh, else the
    // link of a new listing; then turned into the URL by plix. false with
    // why when the file is gone or the service cannot be reached.
    bool play_url(const entry &e, std::string &url, std::string &why);

    // Whether the whole account is listed (every torrent's files), for
    // tests and the log.
    bool complete();

  private:
    plix_api api_;
    std::string settings_;
    account_options options_;
    logger &log_;

    std::mutex mutex_;
    std::condition_variable changed_;
    account_view view_;
    std::shared_ptr<const catalog> catalog_;
    bool dirty_ = false;
    bool stopping_ = false;
    std::set<std::string> listing_;                           // the torrents being listed now
    std::map<std::string, model_clock::time_point> blocked_;  // endpoint -> until when
    std::set<std::string> said_;                              // log lines said once
    model_clock::time_point next_slot_;  // the earliest time of the next background request
    bool was_complete_ = false;

    live_cancel cancel_;
    std::thread worker_;

    void run();
    void pace();
    void rebuild();
    bool blocked(const std::string &endpoint);
    int call_list(const std::string &folder, std::vector<listing_item> &items,
                  const std::string &endpoint, std::string &why);
    bool refresh_downloader(bool background);
    bool refresh_seedbox();
    bool refresh_torrent(const std::string &id, bool background, std::string &why);
    void note_failure(const std::string &endpoint, const live_scope &scope, int rc,
                      const std::string &why);
    std::string next_unlisted();
};
