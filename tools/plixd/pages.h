// What a browser or a player gets for a folder: a plain HTML index, or an
// M3U playlist of its media.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "catalog.h"

// The HTML index of dir, at the path of segments: a link to the folder
// above (but at the top), to each entry, and to the folder's playlist.
// Every name is escaped; every link is percent-encoded.
std::string html_index(const std::vector<std::string> &segments, const folder &dir);

// The media entries of dir in the order a playlist plays them: in episode
// order where the folder is organised, else those with a season and
// episode first, in that order, then the rest by name.
std::vector<const entry *> media_in_order(const folder &dir, bool organised);

// The M3U playlist of entries: "#EXTM3U", then per entry "#EXTINF:-1,name"
// and the URL url_of gives it.
std::string m3u_playlist(const std::vector<const entry *> &entries,
                         const std::function<std::string(const entry &)> &url_of);
