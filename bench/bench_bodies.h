// Realistic inputs for the benchmarks, made up by a seeded generator so that
// every run measures the same bytes: the service's answers (downloader rows,
// seedbox torrents with their files, account details, add results), host
// settings, listing entries, release names and long URLs.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

namespace bodies {

// The service's API base URL, as the plug-in builds its requests.
constexpr char kBase[] = "https://debrid-link.com/api/v2";

// Percent-encoding with the unreserved set A-Z a-z 0-9 - . _ ~ (the rule the
// plug-in uses for query values and the key).
std::string pct(const std::string &s);

// {"RuntimeType":"DEBRIDLINK","ID":id,"APIKey":key}
std::string settings(const std::string &key, const std::string &id);
// The same members around a host's own data, filled up to `size` bytes.
std::string big_settings(const std::string &key, const std::string &id, size_t size);
// An API key of the service's shape (seeded).
std::string api_key(uint64_t seed);

// downloader/list answer with `rows` links.
std::string downloader_list(int rows, uint64_t seed);
// seedbox/list answer with `torrents` torrents of one to four files each.
std::string seedbox_list(int torrents, uint64_t seed);
// seedbox/list?ids=<id> answer: one torrent with `files` files.
std::string torrent_files(const std::string &id, int files, uint64_t seed);
// account/infos answer.
std::string account_infos();

// A magnet link with a hex btih hash, a display name and trackers.
std::string magnet(uint64_t seed);
// downloader/add answer for that magnet: the torrent with its files.
std::string magnet_added(const std::string &magnet, uint64_t seed);

// One file item of a downloader listing, as the host hands it back.
std::string listing_entry(uint64_t seed);

// A download URL with user info and an apikey parameter, `size` bytes long.
std::string long_url(const std::string &key, size_t size);

// Release and file names of the kinds hosts see: SxxEyy in several
// spellings, NxM, "Season N Episode M", bare episode numbers, films.
std::vector<std::string> release_names(int count, uint64_t seed);

}  // namespace bodies
