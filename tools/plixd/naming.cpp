#include "naming.h"

#include <stdio.h>
#include <string.h>

#include <map>

#include "media_names.h"

namespace {

bool digit(char c) { return c >= '0' && c <= '9'; }
bool alnum(char c) {
    return digit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
           static_cast<unsigned char>(c) >= 0x80;
}

// The length of the well-formed UTF-8 sequence at p (n bytes left), or 0.
size_t utf8_length(const unsigned char *p, size_t n) {
    unsigned char c = p[0];
    size_t len = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    if (!len || len > n || (len == 2 && c < 0xc2)) return 0;
    for (size_t i = 1; i < len; ++i)
        if ((p[i] & 0xc0) != 0x80) return 0;
    if (len == 3 && ((c == 0xe0 && p[1] < 0xa0) || (c == 0xed && p[1] >= 0xa0))) return 0;
    if (len == 4 && ((c == 0xf0 && p[1] < 0x90) || c > 0xf4 || (c == 0xf4 && p[1] >= 0x90)))
        return 0;
    return len;
}

// The longest prefix of text of at most n bytes that ends on a character.
size_t cut_at(const std::string &text, size_t n) {
    if (text.size() <= n) return text.size();
    while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xc0) == 0x80) --n;
    return n;
}

// A four-digit year (1900 to 2099) standing alone at text[at].
bool year_at(const std::string &text, size_t at) {
    if (at + 4 > text.size() || (at > 0 && alnum(text[at - 1])) ||
        (at + 4 < text.size() && alnum(text[at + 4])))
        return false;
    for (size_t i = at; i < at + 4; ++i)
        if (!digit(text[i])) return false;
    return (text[at] == '1' && text[at + 1] == '9') || (text[at] == '2' && text[at + 1] == '0');
}

// The digits at text[at] as a number, and where they end; -1 without any.
long number_at(const std::string &text, size_t at, size_t &end) {
    end = at;
    long n = 0;
    while (end < text.size() && digit(text[end]) && end - at < 6) n = n * 10 + (text[end++] - '0');
    return end > at && (end == text.size() || !digit(text[end])) ? n : -1;
}

// Where in stem (lower case) the recogniser's season and episode are
// written, and whether a season is written at all: "s01e02", "1x02",
// "season", an "e02" or "ep02", or the episode's number standing alone;
// each at the start of a word, else "s01e02" anywhere ("ShowS01E02").
size_t marker_at(const std::string &stem, int season, int episode, bool &has_season) {
    has_season = false;
    size_t loose = std::string::npos;
    for (size_t i = 0; i < stem.size() && loose == std::string::npos; ++i) {
        size_t end;
        if (stem[i] == 's' && number_at(stem, i + 1, end) == season && end < stem.size() &&
            stem[end] == 'e')
            loose = i;
    }
    size_t best = std::string::npos;
    for (size_t i = 0; i < stem.size(); ++i) {
        if (i > 0 && alnum(stem[i - 1]) && !digit(stem[i])) continue;
        size_t end;
        if (stem[i] == 's' && number_at(stem, i + 1, end) == season) {
            has_season = true;
            return i;
        }
        if (digit(stem[i]) && (i == 0 || !digit(stem[i - 1])) &&
            number_at(stem, i, end) == season && end < stem.size() && stem[end] == 'x' &&
            number_at(stem, end + 1, end) == episode) {
            has_season = true;
            return i;
        }
        if (stem.compare(i, 6, "season") == 0) {
            has_season = true;
            return i;
        }
        if (best == std::string::npos) {
            size_t skip = stem.compare(i, 2, "ep") == 0 ? 2 : stem[i] == 'e' ? 1 : 0;
            if (skip && number_at(stem, i + skip, end) == episode)
                best = i;
            else if (digit(stem[i]) && (i == 0 || !alnum(stem[i - 1])) &&
                     number_at(stem, i, end) == episode)
                best = i;
        }
    }
    if (loose != std::string::npos) {
        has_season = true;
        return loose;
    }
    return best;
}

// What comes before the first season marker of a season pack's name
// ("Show.S01.1080p" gives "Show."), or the whole name.
std::string before_season(const std::string &name) {
    std::string l = lower(name);
    for (size_t i = 0; i < l.size(); ++i) {
        if (i > 0 && alnum(l[i - 1])) continue;
        size_t end;
        if ((l[i] == 's' && number_at(l, i + 1, end) >= 0) || l.compare(i, 6, "season") == 0)
            return name.substr(0, i);
    }
    return name;
}

// A title whose last word is a year, as "Title (Year)".
std::string with_year(const std::string &title) {
    size_t n = title.size();
    if (n >= 6 && title[n - 1] == ')' && title[n - 6] == '(' && year_at(title, n - 5)) return title;
    if (n >= 6 && title[n - 5] == ' ' && year_at(title, n - 4))
        return title.substr(0, n - 5) + " (" + title.substr(n - 4) + ")";
    return title;
}

// Words that start a release's technical part ("1080p", "BluRay"): a title
// ends before them.
constexpr const char *kQualityWords[] = {
    "2160p",   "1080p", "1080i", "720p",   "576p",   "480p",  "4k",     "uhd",   "bluray",
    "blu-ray", "brrip", "bdrip", "webrip", "web-dl", "webdl", "web",    "hdtv",  "dvdrip",
    "x264",    "x265",  "h264",  "h265",   "hevc",   "remux", "proper", "repack"};

size_t quality_at(const std::string &stem) {
    std::string l = lower(stem);
    for (size_t i = 1; i < l.size(); ++i) {
        if (alnum(l[i - 1])) continue;
        for (const char *w : kQualityWords) {
            size_t n = strlen(w);
            if (l.compare(i, n, w) == 0 && (i + n == l.size() || !alnum(l[i + n]))) return i;
        }
    }
    return std::string::npos;
}

std::string movie_name(const std::string &stem) {
    for (size_t i = 1; i < stem.size(); ++i)
        if (year_at(stem, i)) {
            std::string title = tidy_title(stem.substr(0, i));
            if (!title.empty()) return title + " (" + stem.substr(i, 4) + ")";
        }
    size_t q = quality_at(stem);
    std::string title = tidy_title(q == std::string::npos ? stem : stem.substr(0, q));
    return title.empty() ? tidy_title(stem) : title;
}

}  // namespace

std::string safe_name(const std::string &name) {
    std::string out;
    out.reserve(name.size());
    const auto *p = reinterpret_cast<const unsigned char *>(name.data());
    for (size_t i = 0; i < name.size();) {
        size_t len = utf8_length(p + i, name.size() - i);
        if (!len) {
            out += "\xEF\xBF\xBD";
            ++i;
            continue;
        }
        unsigned char c = p[i];
        bool control = c < 0x20 || c == 0x7f || (len == 2 && c == 0xc2 && p[i + 1] < 0xa0);
        if (control || c == '/' || c == '\\')
            out += '_';
        else
            out.append(name, i, len);
        i += len;
    }
    while (!out.empty() && (out.back() == '.' || out.back() == ' ')) out.pop_back();
    if (!out.empty() && out[0] == '.') out[0] = '_';
    if (out.size() > 240) {
        std::string ext = extension_of(out);
        if (!ext.empty() && ext.size() <= 16)
            out = out.substr(0, cut_at(out, 239 - ext.size())) + "." +
                  out.substr(out.size() - ext.size());
        else
            out.resize(cut_at(out, 240));
    }
    return out.empty() ? "_" : out;
}

void tell_apart(std::vector<std::string> &names, const std::vector<std::string> &ids,
                const std::vector<bool> &folders) {
    // Renaming can make a name that another one holds: go again until none
    // is shared (a few rounds at most).
    for (int round = 0; round < 4; ++round) {
        std::map<std::string, std::vector<size_t>> same;
        for (size_t i = 0; i < names.size(); ++i) same[lower(names[i])].push_back(i);
        bool renamed = false;
        for (auto &group : same) {
            if (group.second.size() < 2) continue;
            size_t keep = group.second[0];
            for (size_t i : group.second)
                if (ids[i] < ids[keep]) keep = i;
            for (size_t i : group.second) {
                if (i == keep) continue;
                std::string tag = " [" + safe_name(ids[i]) + "]";
                std::string ext = folders[i] ? "" : extension_of(names[i]);
                if (ext.empty())
                    names[i] += tag;
                else
                    names[i].insert(names[i].size() - ext.size() - 1, tag);
                renamed = true;
            }
        }
        if (!renamed) return;
    }
}

std::string tidy_title(const std::string &raw) {
    std::string out;
    int depth = 0;
    for (char c : raw) {
        if (c == '[' || c == '{') {
            ++depth;
            continue;
        }
        if ((c == ']' || c == '}') && depth > 0) {
            --depth;
            continue;
        }
        if (depth) continue;
        char w = c == '.' || c == '_' ? ' ' : c;
        if (w == ' ' && (out.empty() || out.back() == ' ')) continue;
        out += w;
    }
    // A title ends before an opening parenthesis or quotation mark left
    // alone ("Film (" of "Film (1999)" cut at its year), and before dashes
    // and commas.
    auto edge = [](char c) { return c == ' ' || c == '-' || c == ',' || c == '(' || c == '"'; };
    while (!out.empty() && edge(out.back())) out.pop_back();
    size_t start = 0;
    while (start < out.size() && (out[start] == ' ' || out[start] == '-' || out[start] == '"'))
        ++start;
    return out.substr(start);
}

release read_release(const std::string &file_name, bool found, int season, int episode,
                     const std::string &torrent_name) {
    release r;
    // The name as given (a file's own name, its folders dropped by the
    // caller: a backslash in it is the name's own).
    std::string ext = extension_of(file_name);
    std::string stem =
        ext.empty() ? file_name : file_name.substr(0, file_name.size() - ext.size() - 1);
    std::string l = lower(stem);
    if (found) {
        bool has_season;
        size_t at = marker_at(l, season, episode, has_season);
        bool year = !has_season && episode >= 1900 && episode <= 2099;
        if (at != std::string::npos && !year) {
            r.episode = true;
            r.season = season;
            r.number = episode;
            std::string show = tidy_title(stem.substr(0, at));
            if (show.empty()) show = tidy_title(before_season(torrent_name));
            if (show.empty()) show = tidy_title(torrent_name);
            if (show.empty()) show = "Unknown";
            r.show = with_year(show);
            r.key = lower(r.show);
            return r;
        }
    }
    r.movie = movie_name(stem);
    if (r.movie.empty()) r.movie = tidy_title(stem);
    if (r.movie.empty()) r.movie = stem.empty() ? "Unknown" : stem;
    return r;
}

std::string season_folder(int season) {
    char text[32];
    snprintf(text, sizeof text, "Season %02d", season);
    return text;
}

bool is_sample(const std::string &name) {
    std::string l = lower(name);
    for (size_t at = l.find("sample"); at != std::string::npos; at = l.find("sample", at + 1))
        if ((at == 0 || !alnum(l[at - 1])) && (at + 6 == l.size() || !alnum(l[at + 6])))
            return true;
    return false;
}

std::string subtitle_beside(const std::string &video_name, const std::string &lang,
                            const std::string &subtitle_name, int nth) {
    std::string out = stem_of(video_name);
    if (!lang.empty()) out += "." + lang;
    if (nth > 1) out += "." + std::to_string(nth);
    return out + "." + extension_of(subtitle_name);
}
