// The tree plixd serves, made from one picture of the account:
//
//   /downloader/                      every downloader link
//   /seedbox/<torrent>/...            every torrent and its files, folders as in the torrent
//   /shows/<Show>/Season NN/          the episodes of ready torrents and links, with subtitles
//   /movies/<Title (Year)>/           every other ready video, one folder each, with subtitles
//
// A catalog is immutable once made (a torrent's folder is made the first
// time it is asked for) and shared by the requests that read it; a change
// of the account makes a new one.
#pragma once

#include <stdint.h>

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "model.h"

struct folder;

// One entry of a folder. An account of a hundred thousand files has twice
// as many entries (its torrents' folders and the organised ones), so an
// entry points into the listings the catalog keeps rather than copying.
struct entry {
    std::string name;  // safe for a path, unique in its folder
    int64_t size = -1;
    uint64_t tag = 0;  // what the entity tag is made of: it changes when the entry does
    // A file: what it is, and the listing it was read from (which names its
    // torrent, if any).
    const media_file *file = nullptr;
    const file_list *listing = nullptr;
    // A torrent's folder in the seedbox, made on demand.
    const torrent *torrent_of = nullptr;
    // A folder: its contents, or null for a torrent folder made on demand.
    std::shared_ptr<const folder> child;
    // Order among episodes: season and number, 0 for the rest.
    int season = 0, number = 0;
    bool is_folder = false;
};

struct folder {
    std::vector<entry> entries;             // in the order they are shown
    std::shared_ptr<const file_list> keep;  // the listing a torrent's folder was made from
    std::vector<uint32_t> by_name;          // entries' places, sorted by name, for look-ups
    // The entry named name, or null.
    const entry *find(const std::string &name) const;
    // Sorts by_name; call once the entries are complete.
    void index();
};

// Where a path leads in a catalog.
struct place {
    enum kind { none, at_folder, at_file, pending } what = none;
    std::shared_ptr<const folder> dir;  // at_folder: the folder
    const entry *item = nullptr;        // at_file: the file; at_folder: the folder's own entry
    std::string torrent_id;             // pending: the torrent whose files are not listed yet
    bool organised = false;             // in /shows or /movies (played in episode order)
};

class catalog {
  public:
    // Finds the files of a torrent that were listed after the picture was
    // taken (the account's current ones), or null.
    using files_lookup = std::function<std::shared_ptr<const file_list>(const std::string &id)>;

    catalog(const account_view &view, files_lookup lookup);
    catalog(const catalog &) = delete;
    catalog &operator=(const catalog &) = delete;

    // Where the path's segments (decoded) lead.
    place resolve(const std::vector<std::string> &segments) const;

    const account_view &view() const { return view_; }

  private:
    account_view view_;
    files_lookup lookup_;
    std::shared_ptr<folder> root_;
    std::shared_ptr<folder> seedbox_;
    // Torrent folders made on demand, by the listing they were made from.
    mutable std::mutex made_mutex_;
    mutable std::map<const file_list *, std::shared_ptr<const folder>> made_;

    std::shared_ptr<const folder> torrent_folder(const entry &torrent_entry) const;
};

// The tree of one torrent's files: folders as the files' paths say.
std::shared_ptr<const folder> torrent_tree(const std::shared_ptr<const file_list> &files);

// The organised folders (/shows and /movies) of the ready torrents and the
// downloader's links.
void organise(const account_view &view, folder &shows, folder &movies);

// The downloader folder of a listing.
std::shared_ptr<const folder> link_folder(const std::shared_ptr<const file_list> &links);

// The seedbox folder: every torrent, a torrent not ready with its status in
// its name ("Sintel [downloading]").
std::shared_ptr<folder> torrent_folders(const std::shared_ptr<const torrent_list> &seedbox);
