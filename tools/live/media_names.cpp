#include "media_names.h"

#include <string.h>

#include <algorithm>

namespace {

bool one_of(const std::string &ext, std::initializer_list<const char *> list) {
    for (const char *e : list)
        if (ext == e) return true;
    return false;
}

}  // namespace

std::string lower(std::string text) {
    for (char &c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

std::string base_of(const std::string &name) {
    size_t slash = name.find_last_of("/\\");
    return slash == std::string::npos ? name : name.substr(slash + 1);
}

// The name of the folder a name is in ("" at the top).
std::string folder_of(const std::string &name) {
    size_t slash = name.find_last_of("/\\");
    if (slash == std::string::npos) return "";
    size_t up = name.find_last_of("/\\", slash - 1);
    return name.substr(up == std::string::npos ? 0 : up + 1,
                       slash - (up == std::string::npos ? 0 : up + 1));
}

// A name without its folders and its extension.
std::string stem_of(const std::string &name) {
    std::string base = base_of(name);
    std::string ext = extension_of(base);
    return ext.empty() ? base : base.substr(0, base.size() - ext.size() - 1);
}

std::string extension_of(const std::string &name) {
    size_t dot = name.rfind('.');
    size_t slash = name.find_last_of("/\\");
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
    std::string ext = name.substr(dot + 1);
    for (char &c : ext)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return ext;
}

bool is_media(const std::string &name) {
    return one_of(extension_of(name),
                  {"mkv", "mp4",  "m4v",  "avi", "mov", "wmv", "flv",  "webm", "mpg",  "mpeg",
                   "ts",  "m2ts", "mts",  "vob", "ogv", "3gp", "divx", "mp3",  "flac", "wav",
                   "ogg", "oga",  "opus", "m4a", "aac", "wma", "alac", "ape",  "mka",  "wv"});
}

bool is_video(const std::string &name) {
    return one_of(extension_of(name),
                  {"mkv", "mp4", "m4v", "avi", "mov", "wmv", "flv", "webm", "mpg", "mpeg", "ts",
                   "m2ts", "mts", "vob", "ogv", "3gp", "divx"});
}

bool is_subtitle(const std::string &name) {
    return one_of(extension_of(name), {"srt", "ass", "ssa", "vtt", "sub"});
}

bool torrent_ready(long long status) { return status == 100 || (status >= 0 && (status & 8)); }

std::vector<size_t> episode_order(const std::vector<std::string> &names,
                                  recogniser season_episode) {
    struct keyed {
        size_t at;
        bool has;
        int season, episode;
    };
    std::vector<keyed> keys;
    keys.reserve(names.size());
    for (size_t i = 0; i < names.size(); ++i) {
        keyed k{i, false, 0, 0};
        k.has = season_episode && season_episode(names[i].c_str(), &k.season, &k.episode) != 0;
        keys.push_back(k);
    }
    std::stable_sort(keys.begin(), keys.end(), [&names](const keyed &a, const keyed &b) {
        if (a.has != b.has) return a.has;
        if (a.has && a.season != b.season) return a.season < b.season;
        if (a.has && a.episode != b.episode) return a.episode < b.episode;
        return names[a.at] < names[b.at];
    });
    std::vector<size_t> out;
    out.reserve(keys.size());
    for (const keyed &k : keys) out.push_back(k.at);
    return out;
}

namespace {

bool boundary(char c) { return c == '.' || c == '-' || c == '_' || c == ' '; }

// Whether the subtitle's stem (lower case) continues the video's stem at a
// boundary; rest receives what follows.
bool continues(const std::string &sub_stem, const std::string &video_stem, std::string &rest) {
    if (video_stem.empty() || sub_stem.compare(0, video_stem.size(), video_stem) != 0) return false;
    if (sub_stem.size() > video_stem.size() && !boundary(sub_stem[video_stem.size()])) return false;
    rest = sub_stem.substr(video_stem.size());
    return true;
}

// How much of a subtitle's name the video takes: the stem's length when
// the subtitle belongs to it (the folder rule counts as the whole stem), or
// -1; words receives the rest of the name.
long claim(const std::string &sub, const std::string &video, std::string &words) {
    std::string video_stem = lower(stem_of(video));
    if (continues(lower(stem_of(sub)), video_stem, words))
        return static_cast<long>(video_stem.size());
    if (!video_stem.empty() && lower(folder_of(sub)) == video_stem) {
        words = stem_of(sub);
        return static_cast<long>(video_stem.size());
    }
    return -1;
}

struct language {
    const char *code;    // ISO 639-1
    const char *code3;   // ISO 639-2 (bibliographic)
    const char *code3t;  // ISO 639-2 (terminological), or the same
    const char *name;
};

constexpr language kLanguages[] = {
    {"ar", "ara", "ara", "Arabic"},     {"bg", "bul", "bul", "Bulgarian"},
    {"bn", "ben", "ben", "Bengali"},    {"ca", "cat", "cat", "Catalan"},
    {"cs", "cze", "ces", "Czech"},      {"da", "dan", "dan", "Danish"},
    {"de", "ger", "deu", "German"},     {"el", "gre", "ell", "Greek"},
    {"en", "eng", "eng", "English"},    {"es", "spa", "spa", "Spanish"},
    {"et", "est", "est", "Estonian"},   {"fa", "per", "fas", "Persian"},
    {"fi", "fin", "fin", "Finnish"},    {"fr", "fre", "fra", "French"},
    {"he", "heb", "heb", "Hebrew"},     {"hi", "hin", "hin", "Hindi"},
    {"hr", "hrv", "hrv", "Croatian"},   {"hu", "hun", "hun", "Hungarian"},
    {"id", "ind", "ind", "Indonesian"}, {"is", "ice", "isl", "Icelandic"},
    {"it", "ita", "ita", "Italian"},    {"ja", "jpn", "jpn", "Japanese"},
    {"ko", "kor", "kor", "Korean"},     {"lt", "lit", "lit", "Lithuanian"},
    {"lv", "lav", "lav", "Latvian"},    {"ms", "may", "msa", "Malay"},
    {"nl", "dut", "nld", "Dutch"},      {"no", "nor", "nor", "Norwegian"},
    {"pl", "pol", "pol", "Polish"},     {"pt", "por", "por", "Portuguese"},
    {"ro", "rum", "ron", "Romanian"},   {"ru", "rus", "rus", "Russian"},
    {"sk", "slo", "slk", "Slovak"},     {"sl", "slv", "slv", "Slovenian"},
    {"sr", "srp", "srp", "Serbian"},    {"sv", "swe", "swe", "Swedish"},
    {"th", "tha", "tha", "Thai"},       {"tr", "tur", "tur", "Turkish"},
    {"uk", "ukr", "ukr", "Ukrainian"},  {"vi", "vie", "vie", "Vietnamese"},
    {"zh", "chi", "zho", "Chinese"},
};

// The language a word names (a code of two or three letters, or the
// language's English name), or null. "hi" is the hearing-impaired mark far
// more often than Hindi in subtitle names, so it is left to the marks.
const language *language_of(const std::string &word) {
    std::string w = lower(word);
    if (w == "hi") return nullptr;
    for (const language &l : kLanguages)
        if (w == l.code || w == l.code3 || w == l.code3t || w == lower(l.name)) return &l;
    return nullptr;
}

}  // namespace

std::string code_of(const std::string &lang) {
    std::string base = lower(lang.substr(0, lang.find('-')));
    const language *l = language_of(base);
    return l ? l->code : base;
}

void subtitle_words(const std::string &words, std::string &lang, std::string &title) {
    lang.clear();
    title.clear();
    std::string name;
    std::vector<std::string> marks;
    for (size_t at = 0; at <= words.size();) {
        size_t end = words.find_first_of("._ ", at);
        if (end == std::string::npos) end = words.size();
        std::string word = words.substr(at, end - at);
        at = end + 1;
        if (word.empty()) continue;
        std::string w = lower(word);
        if (w == "forced") {
            marks.push_back("forced");
        } else if (w == "sdh" || w == "cc" || w == "hi") {
            marks.push_back("SDH");
        } else if (lang.empty()) {
            // A region follows the code after a dash: "pt-BR", "en-us".
            size_t dash = word.find('-');
            std::string base = dash == std::string::npos ? word : word.substr(0, dash);
            std::string region = dash == std::string::npos ? "" : word.substr(dash + 1);
            bool region_ok = region.empty() || (region.size() >= 2 && region.size() <= 4);
            // A word such as "2_English" (a track number first) counts too.
            size_t digits = base.find_first_not_of("0123456789");
            if (digits != std::string::npos && digits > 0) base = base.substr(digits);
            if (const language *l = region_ok ? language_of(base) : nullptr) {
                lang = l->code;
                name = l->name;
                if (!region.empty()) {
                    std::string upper = region;
                    for (char &c : upper)
                        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
                    lang += "-" + upper;
                    name += " (" + upper + ")";
                }
            }
        }
    }
    title = name;
    for (const std::string &m : marks) {
        if (title.find("(" + m + ")") != std::string::npos) continue;
        title += (title.empty() ? "(" : " (") + m + ")";
    }
}

std::vector<std::vector<subtitle_match>> subtitles_of_all(const std::vector<std::string> &names) {
    std::vector<std::vector<subtitle_match>> out(names.size());
    // The videos that may take a subtitle, and the subtitles: a folder of
    // thousands of videos and no subtitle costs one pass.
    std::vector<size_t> videos, subs;
    for (size_t i = 0; i < names.size(); ++i) {
        if (is_subtitle(names[i]))
            subs.push_back(i);
        else if (is_media(names[i]))
            videos.push_back(i);
    }
    if (subs.empty()) return out;
    for (size_t s : subs) {
        // The video with the longest name that takes it (the first of them).
        long best = -1;
        size_t owner = 0;
        std::string best_words;
        for (size_t v : videos) {
            std::string words;
            long mine = claim(names[s], names[v], words);
            if (mine > best) {
                best = mine;
                owner = v;
                best_words = words;
            }
        }
        if (best < 0) continue;
        subtitle_match m{s, "", ""};
        subtitle_words(best_words, m.lang, m.title);
        if (m.title.empty()) m.title = base_of(names[s]);
        out[owner].push_back(m);
    }
    return out;
}

std::vector<subtitle_match> subtitles_of(const std::vector<std::string> &names, size_t video) {
    return subtitles_of_all(names)[video];
}
