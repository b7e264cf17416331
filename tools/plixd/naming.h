// How plixd names what it serves: names made safe for a path, names told
// apart within a folder, and the shows, seasons and movies that release
// names stand for. Pure functions over names, with no network.
#pragma once

#include <stddef.h>

#include <string>
#include <vector>

// name as one path segment: "/", "\" and control characters become "_",
// bytes that are not UTF-8 become U+FFFD, a leading "." becomes "_" (no
// hidden files), trailing dots and spaces go (players and Windows drop
// them), at most 240 bytes (the extension kept), and "_" when nothing is
// left.
std::string safe_name(const std::string &name);

// Tells apart the names of one folder that would be the same (letter case
// aside, as some clients' file systems do): every one but the one with the
// least id gets " [<id>]" before its extension (a folder's at its end), so
// that a path stays the same while the folder does not change. names and
// ids are parallel; ids are unique.
void tell_apart(std::vector<std::string> &names, const std::vector<std::string> &ids,
                const std::vector<bool> &folders);

// A release name as a title: separators ("." and "_") as spaces, groups in
// brackets ("[Group]") dropped, blanks and dashes trimmed, spaces single.
std::string tidy_title(const std::string &raw);

// What a video's name says it is.
struct release {
    bool episode = false;
    std::string show;  // "Pioneer One", "Doctor Who (2005)": the show's folder name
    std::string key;   // the show as compared: lower case, single spaces
    int season = 0, number = 0;
    std::string movie;  // "Metropolis (1927)", "Big Buck Bunny": the movie's folder name
};

// Reads a video's name (a file's name, its folders dropped) with the season
// and episode plix recognised in it (found false when none), and the name
// of the torrent it comes from ("" for a downloader link), which gives the
// show when the file's own name does not ("E01.mkv" in "Show.S01"). A
// number the recogniser took for an episode that is a year (1900 to 2099)
// with no season marker makes a movie, not an episode.
release read_release(const std::string &file_name, bool found, int season, int episode,
                     const std::string &torrent_name);

// "Season 01".
std::string season_folder(int season);

// Whether a name is a sample clip rather than the film: "sample" as a word
// of its name or of a folder it is in.
bool is_sample(const std::string &name);

// The name a subtitle takes beside its video: "<video stem>.<lang>.<ext>",
// or "<video stem>.<ext>" without a language; a second subtitle of the same
// language takes its number ("<stem>.en.2.srt").
std::string subtitle_beside(const std::string &video_name, const std::string &lang,
                            const std::string &subtitle_name, int nth);
