// What a folder of the account plays as in mpv: which files (media only,
// unless all are asked for), in which order (season and episode, then
// name), with which subtitles, written as mpv's memory:// M3U playlist.
// Pure functions over listing items, with no mpv and no network.
#pragma once

#include <stddef.h>

#include <string>
#include <vector>

#include "host_plix.h"

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
std::vector<const listing_item *> play_order(const std::vector<listing_item> &files, bool all_files,
                                             recogniser season_episode);

// A subtitle file of a video, with what its name says of it.
struct subtitle {
    const listing_item *file;
    std::string lang;   // the language code the name carries ("en", "pt-BR"), or ""
    std::string title;  // a readable title ("English", "French (forced)", or the file's name)
};

// The subtitle files among files that belong to video. A subtitle belongs
// to a video when its name, ignoring letter case and any folder, continues
// the video's name without its extension at a boundary (".", "-", "_", a
// space, or its own extension): "Show - 1.mkv" takes "Show - 1.srt" and
// "Subs/show - 1.en.srt", never "Show - 10.srt". A subtitle that several
// videos would take belongs to the one with the longest name
// ("Movie.Extended.en.srt" to "Movie.Extended.mkv" rather than to
// "Movie.mkv"). A subtitle in a folder named after the video
// ("Subs/Show - 1/English.srt") belongs to it too. In the folder's order.
std::vector<subtitle> subtitles_for(const std::vector<listing_item> &files,
                                    const listing_item &video);

// What the words of a subtitle's name after the video's name say: a
// language code or name ("en", "eng", "pt-BR", "English") and the marks
// "forced", "sdh", "cc", "hi". lang is a two-letter code where the
// language has one ("eng" and "English" give "en"), with its region
// ("pt-BR"); title names the language, "(forced)" or "(SDH)" after it.
// Both "" when the words name no language and no mark.
void subtitle_words(const std::string &words, std::string &lang, std::string &title);

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
