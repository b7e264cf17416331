// What a folder of the account plays as in mpv: which files (media only,
// unless all are asked for), in which order (season and episode, then
// name), with which subtitles, written as mpv's memory:// M3U playlist.
// Pure functions over listing items, with no mpv and no network.
#pragma once

#include <stddef.h>

#include <string>
#include <vector>

// One entry of a listing answer, as the playlist needs it.
struct entry {
    std::string name;
    std::string id;
    std::string json;  // the item as the plug-in listed it (for plix_stream_url)
    bool folder = false;
    long long status = -1;  // a torrent's status, -1 when none
};

// Reads a listing answer (a JSON array of items); false when it is none.
bool entries_of(const std::string &answer, std::vector<entry> &out);

// The extension of a name, lower case, without the dot ("" when none).
std::string extension_of(const std::string &name);
// Video and audio files by their extension.
bool is_media(const std::string &name);
// Subtitle files: .srt, .ass, .ssa, .vtt, .sub.
bool is_subtitle(const std::string &name);

// A torrent is ready to play when finished (100) or seeding (bit 8).
bool torrent_ready(long long status);
// The files of a folder that play, in order: media only (every file with
// all_files), those with a season and episode first in season and episode
// order, then the rest, each group by name. season_episode is the
// recogniser (plix_parse_season_episode).
using recogniser = int (*)(const char *name, int *season, int *episode);
std::vector<const entry *> play_order(const std::vector<entry> &files, bool all_files,
                                      recogniser season_episode);

// The subtitle files among files that belong to video: their names start
// with the video's name without its extension.
std::vector<const entry *> subtitles_for(const std::vector<entry> &files, const entry &video);

// A playlist as mpv reads it from memory://: "#EXTM3U", then per entry a
// title line and its address. Titles lose their line breaks.
struct playlist_item {
    std::string title;
    std::string address;
};
std::string m3u(const std::vector<playlist_item> &items);
