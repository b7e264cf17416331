// What the names of an account's files tell the project's hosts (the mpv
// plug-in, plixd): which files are media or subtitles, which torrents can
// play, which subtitles belong to which video and what language they are.
// Pure functions over names.
#pragma once

#include <stddef.h>

#include <string>
#include <vector>

// text with A-Z in lower case.
std::string lower(std::string text);
// A name's last part, after its folders ("/" or "\").
std::string base_of(const std::string &name);
// The name of the folder a name is in ("" at the top).
std::string folder_of(const std::string &name);
// A name without its folders and its extension.
std::string stem_of(const std::string &name);
// The extension of a name, lower case, without the dot ("" when none).
std::string extension_of(const std::string &name);
// Video and audio files by their extension.
bool is_media(const std::string &name);
// Video files alone.
bool is_video(const std::string &name);
// Subtitle files: .srt, .ass, .ssa, .vtt, .sub.
bool is_subtitle(const std::string &name);

// A torrent is ready to play when finished (100) or seeding (bit 8).
bool torrent_ready(long long status);

// The order a playlist plays names in: those with a season and episode
// first, in season and episode order, then the rest, each group by name;
// the answer holds the names' places. season_episode is the recogniser
// (plix_parse_season_episode).
using recogniser = int (*)(const char *name, int *season, int *episode);
std::vector<size_t> episode_order(const std::vector<std::string> &names, recogniser season_episode);

// A subtitle of a video, with what its name says of it.
struct subtitle_match {
    size_t index;       // the subtitle's place in the names
    std::string lang;   // the language code the name carries ("en", "pt-BR"), or ""
    std::string title;  // a readable title ("English", "French (forced)", or the file's name)
};

// The subtitle files among names (a folder's files, with their paths
// inside it) that belong to names[video]. A subtitle belongs to a video
// when its name, ignoring letter case and any folder, continues the
// video's name without its extension at a boundary (".", "-", "_", a
// space, or its own extension): "Show - 1.mkv" takes "Show - 1.srt" and
// "Subs/show - 1.en.srt", never "Show - 10.srt". A subtitle that several
// videos would take belongs to the one with the longest name
// ("Movie.Extended.en.srt" to "Movie.Extended.mkv" rather than to
// "Movie.mkv"). A subtitle in a folder named after the video
// ("Subs/Show - 1/English.srt") belongs to it too. In the names' order;
// only video and audio files take subtitles.
std::vector<subtitle_match> subtitles_of(const std::vector<std::string> &names, size_t video);
// The same for every name at once (empty for names that are no video): one
// pass over the videos a subtitle.
std::vector<std::vector<subtitle_match>> subtitles_of_all(const std::vector<std::string> &names);

// What the words of a subtitle's name after the video's name say: a
// language code or name ("en", "eng", "pt-BR", "English") and the marks
// "forced", "sdh", "cc", "hi". lang is a two-letter code where the
// language has one ("eng" and "English" give "en"), with its region
// ("pt-BR"); title names the language, "(forced)" or "(SDH)" after it.
// Both "" when the words name no language and no mark.
void subtitle_words(const std::string &words, std::string &lang, std::string &title);

// "en" for "eng", "English" or "en-US" alike: a language's two-letter code
// where it has one, else lang's own first part in lower case.
std::string code_of(const std::string &lang);
