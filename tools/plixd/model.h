// What plixd knows of the account: the downloader's links, the seedbox's
// torrents, and each torrent's files, as the plug-in listed them and when.
// Every record is immutable once made and shared by pointer, so that a
// request keeps what it reads for as long as it needs it while a refresh
// replaces it.
#pragma once

#include <stdint.h>

#include <chrono>
#include <map>
#include <memory>
#include <string>
#include <vector>

using model_clock = std::chrono::steady_clock;

// One downloader link or one file of a torrent.
struct media_file {
    std::string id;
    std::string name;  // a torrent's file: its path inside the torrent
    std::string link;  // the URL to play, as listed
    int64_t size = -1;
};

// A listing of files, and when it was made.
struct file_list {
    std::vector<media_file> files;
    model_clock::time_point at;
    std::string torrent_id;  // the torrent whose files these are; "" for the downloader's links
    std::string signature;   // the torrent's name, size and status when its files were listed
};

struct torrent {
    std::string id, name;
    int64_t size = -1;
    long long status = -1;
    // What changes when the torrent does: its files are listed again then.
    std::string signature() const {
        return name + "\n" + std::to_string(size) + "\n" + std::to_string(status);
    }
};

struct torrent_list {
    std::vector<torrent> torrents;
    model_clock::time_point at;
};

// The files of the torrents listed so far, by torrent id.
using files_by_torrent = std::map<std::string, std::shared_ptr<const file_list>>;

// One consistent picture of the account. Null parts are not listed yet.
struct account_view {
    std::shared_ptr<const file_list> downloader;
    std::shared_ptr<const torrent_list> seedbox;
    files_by_torrent files;
};
