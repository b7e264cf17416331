#include "playlist.h"

#include <stdio.h>
#include <string.h>

#include <algorithm>

std::vector<const listing_item *> play_order(const std::vector<listing_item> &files, bool all_files,
                                             recogniser season_episode) {
    std::vector<const listing_item *> chosen;
    std::vector<std::string> names;
    for (const listing_item &e : files) {
        if (e.folder || (!all_files && !is_media(e.name))) continue;
        chosen.push_back(&e);
        names.push_back(e.name);
    }
    std::vector<const listing_item *> out;
    out.reserve(chosen.size());
    for (size_t i : episode_order(names, season_episode)) out.push_back(chosen[i]);
    return out;
}

std::vector<subtitle> subtitles_for(const std::vector<listing_item> &files,
                                    const listing_item &video) {
    std::vector<subtitle> out;
    if (video.folder) return out;
    std::vector<std::string> names;
    names.reserve(files.size());
    size_t at = files.size();
    for (const listing_item &e : files) {
        if (&e == &video) at = names.size();
        // A folder is never a subtitle or a video: no name of one matches.
        names.push_back(e.folder ? std::string() : e.name);
    }
    if (at == files.size()) return out;
    for (const subtitle_match &m : subtitles_of(names, at))
        out.push_back({&files[m.index], m.lang, m.title});
    return out;
}

int preferred_subtitle(const std::vector<subtitle> &subs, const std::vector<std::string> &langs) {
    if (subs.empty()) return -1;
    for (const std::string &want : langs) {
        std::string w = lower(want);
        for (size_t i = 0; i < subs.size(); ++i)
            if (!subs[i].lang.empty() &&
                (lower(subs[i].lang) == w ||
                 (w.find('-') == std::string::npos && code_of(subs[i].lang) == code_of(w))))
                return static_cast<int>(i);
    }
    return 0;
}

std::string m3u(const std::vector<playlist_item> &items) {
    std::string text = "#EXTM3U\n";
    size_t size = text.size();
    for (const playlist_item &i : items) size += i.title.size() + i.address.size() + 12;
    text.reserve(size);
    for (const playlist_item &i : items) {
        text += "#EXTINF:0,";
        for (char c : i.title) text += (c == '\r' || c == '\n') ? ' ' : c;
        text += '\n';
        for (char c : i.address)
            if (c != '\r' && c != '\n') text += c;
        text += '\n';
    }
    return text;
}
