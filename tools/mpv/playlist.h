// What a folder of the account plays as in mpv: which files (media only,
// unless all are asked for), in which order (season and episode, then
// name), with which subtitles, written as mpv's memory:// M3U playlist.
// Pure functions over listing items, with no mpv and no network.
#pragma once

#include <stddef.h>

#include <string>
#include <vector>

#include "host_plix.h"
#include "media_names.h"

// The files of a folder that play, in order: media only (every file with
// all_files), those with a season and episode first in season and episode
// order, then the rest, each group by name (episode_order). season_episode
// is the recogniser (plix_parse_season_episode).
std::vector<const listing_item *> play_order(const std::vector<listing_item> &files, bool all_files,
                                             recogniser season_episode);

// A subtitle file of a video, with what its name says of it.
struct subtitle {
    const listing_item *file;
    std::string lang;   // the language code the name carries ("en", "pt-BR"), or ""
    std::string title;  // a readable title ("English", "French (forced)", or the file's name)
};

// The subtitle files among files that belong to video (subtitles_of).
std::vector<subtitle> subtitles_for(const std::vector<listing_item> &files,
                                    const listing_item &video);

// The subtitle mpv shows first, as its own choice among files beside a
// video would be: the first whose language comes earliest in langs (the
// user's --slang), else the first; -1 when there is none.
int preferred_subtitle(const std::vector<subtitle> &subs, const std::vector<std::string> &langs);

// A playlist as mpv reads it from memory://: "#EXTM3U", then per entry a
// title line and its address. Titles lose their line breaks.
struct playlist_item {
    std::string title;
    std::string address;
};
std::string m3u(const std::vector<playlist_item> &items);
