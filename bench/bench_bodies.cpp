#include "bench_bodies.h"

#include <stdarg.h>
#include <stdio.h>

namespace bodies {

namespace {

// splitmix64: small, seeded, the same on every machine.
struct rng {
    uint64_t s;
    uint64_t next() {
        uint64_t z = (s += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    int below(int n) { return static_cast<int>(next() % static_cast<uint64_t>(n)); }
    template <size_t N>
    const char *pick(const char *const (&list)[N]) {
        return list[below(static_cast<int>(N))];
    }
};

// Made-up titles; a few carry accents, non-Latin script, an apostrophe or a
// quotation mark, as real catalogues do.
constexpr const char *kTitles[] = {
    "The Northern Line",
    "Harbour Lights",
    "Quiet Meridian",
    "Cold Orchard",
    "Paper Lanterns",
    "The Long Field",
    "Ember and Ash",
    "Saltwater Kings",
    "Night Shift Radio",
    "Glass Houses",
    "Cité des Ombres",
    "Über den Dächern",
    "Station Nine Zero",
    "Quarry Lane",
    "Lakeside Protocol",
    "Red Kite Valley",
    "Small Hours",
    "Iron Bridge",
    "The Cartographer's Daughter",
    "Velvet Static",
    "Kaze no Michi",
    "風の道",
    "Sólo Tú",
    "Wolves of \"Old\" Town",
    "Broken Compass",
    "The Gilded Cage",
    "Fjord",
    "Dust Road",
    "Mercury Falls",
    "The Last Orbit",
    "Copper Sky",
    "Lantern Bay",
};
constexpr const char *kQuality[] = {"1080p", "720p", "2160p", "480p"};
constexpr const char *kSource[] = {"WEB-DL", "WEBRip", "BluRay", "HDTV", "WEB"};
constexpr const char *kCodec[] = {"x264", "x265", "H.264", "HEVC", "AV1"};
constexpr const char *kGroup[] = {"NTb", "FLUX", "GRP", "KOGi", "SiGMA", "EDITH", "RAWR"};
constexpr const char *kExt[] = {"mkv", "mp4", "mkv", "avi"};
constexpr const char *kHosts[] = {"files-a", "filedrop", "upstore-x", "megabox", "sendit"};

std::string dotted(const std::string &title) {
    std::string s = title;
    for (char &c : s)
        if (c == ' ') c = '.';
    return s;
}

std::string fmt(const char *format, ...) __attribute__((format(printf, 1, 2)));
std::string fmt(const char *format, ...) {
    char local[1024];
    va_list ap;
    va_start(ap, format);
    int n = vsnprintf(local, sizeof local, format, ap);
    va_end(ap);
    return std::string(local, n < 0 ? 0 : static_cast<size_t>(n));
}

std::string hex(rng &r, int digits) {
    static constexpr char h[] = "0123456789abcdef";
    std::string s;
    for (int i = 0; i < digits; ++i) s += h[r.below(16)];
    return s;
}

std::string token(rng &r, int n) {
    static constexpr char a[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    std::string s;
    for (int i = 0; i < n; ++i) s += a[r.below(62)];
    return s;
}

// A JSON string literal of s (the inputs hold no control bytes).
std::string js(const std::string &s) {
    std::string o = "\"";
    for (char c : s) {
        if (c == '"' || c == '\\') o += '\\';
        o += c;
    }
    return o + "\"";
}

std::string episode_file(rng &r) {
    std::string t = dotted(r.pick(kTitles));
    return fmt("%s.S%02dE%02d.%s.%s.%s-%s.%s", t.c_str(), 1 + r.below(9), 1 + r.below(24),
               r.pick(kQuality), r.pick(kSource), r.pick(kCodec), r.pick(kGroup), r.pick(kExt));
}

std::string film_file(rng &r) {
    std::string t = dotted(r.pick(kTitles));
    return fmt("%s.%d.%s.%s.%s-%s.%s", t.c_str(), 1960 + r.below(64), r.pick(kQuality),
               r.pick(kSource), r.pick(kCodec), r.pick(kGroup), r.pick(kExt));
}

std::string file_name(rng &r) { return r.below(4) ? episode_file(r) : film_file(r); }

int64_t file_size(rng &r) { return 150000000ll + static_cast<int64_t>(r.next() % 9000000000ull); }

std::string download_url(rng &r, const std::string &id, const std::string &name) {
    return fmt("https://dl%d.debrid-link.com/dl/%s/%s", 1 + r.below(24), id.c_str(),
               pct(name).c_str());
}

std::string tracker_list(rng &r) {
    int n = 1 + r.below(3);
    std::string s = "[";
    for (int i = 0; i < n; ++i) {
        if (i) s += ',';
        s += fmt("{\"announce\":\"udp://tracker%d.example.org:%d/announce\"}", r.below(40),
                 1000 + r.below(9000));
    }
    return s + "]";
}

// One torrent file of the seedbox answers.
std::string torrent_file(rng &r, const std::string &torrent, int index, const std::string &name) {
    std::string id = fmt("%s-%d", torrent.c_str(), index);
    return fmt("{\"id\":%s,\"name\":%s,\"downloadUrl\":%s,\"size\":%lld,\"downloadPercent\":100}",
               js(id).c_str(), js(name).c_str(), js(download_url(r, id, name)).c_str(),
               static_cast<long long>(file_size(r)));
}

std::string torrent(rng &r, const std::string &id, const std::string &name, int files,
                    bool folder_names) {
    std::string f = "[";
    for (int i = 0; i < files; ++i) {
        if (i) f += ',';
        std::string n = folder_names ? fmt("%s/Season %02d/%s", dotted(name).c_str(), 1 + i / 100,
                                           episode_file(r).c_str())
                                     : (files == 1 ? name : file_name(r));
        f += torrent_file(r, id, i, n);
    }
    f += "]";
    return fmt("{\"id\":%s,\"name\":%s,\"hashString\":\"%s\",\"uploadRatio\":%d.%02d,"
               "\"serverId\":\"ts%02d\",\"wait\":false,\"peersConnected\":%d,\"status\":%d,"
               "\"totalSize\":%lld,\"files\":",
               js(id).c_str(), js(name).c_str(), hex(r, 40).c_str(), r.below(4), r.below(100),
               r.below(40), r.below(60), r.below(3) ? 100 : 4 + r.below(3),
               static_cast<long long>(file_size(r) * files)) +
           f +
           fmt(",\"trackers\":%s,\"created\":%d,\"downloadPercent\":100,\"downloadSpeed\":0,"
               "\"uploadSpeed\":%d}",
               tracker_list(r).c_str(), 1600000000 + r.below(90000000), r.below(500000));
}

}  // namespace

std::string pct(const std::string &s) {
    static constexpr char h[] = "0123456789ABCDEF";
    std::string o;
    for (unsigned char c : s) {
        bool keep = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                    c == '-' || c == '.' || c == '_' || c == '~';
        if (keep) {
            o += static_cast<char>(c);
        } else {
            o += '%';
            o += h[c >> 4];
            o += h[c & 15];
        }
    }
    return o;
}

std::string api_key(uint64_t seed) {
    rng r{seed};
    return token(r, 40);
}

std::string settings(const std::string &key, const std::string &id) {
    return "{\"RuntimeType\":\"DEBRIDLINK\",\"ID\":" + js(id) + ",\"APIKey\":" + js(key) + "}";
}

std::string big_settings(const std::string &key, const std::string &id, size_t size) {
    // The host's own members first: a history of played titles. The key
    // comes last, so finding it means walking the whole object.
    rng r{7};
    std::string head = "{\"RuntimeType\":\"DEBRIDLINK\",\"ID\":" + js(id) + ",\"History\":[";
    std::string tail = "],\"APIKey\":" + js(key) + "}";
    std::string s = head;
    bool first = true;
    for (;;) {
        std::string item = fmt("{\"title\":%s,\"at\":%d,\"position\":%d}", js(file_name(r)).c_str(),
                               1600000000 + r.below(90000000), r.below(7200));
        if (s.size() + item.size() + 1 + tail.size() > size) break;
        if (!first) s += ',';
        s += item;
        first = false;
    }
    s += tail;
    // Pad with blanks (outside any string) to the exact size.
    s.insert(head.size() - 1, size - s.size(), ' ');
    return s;
}

std::string downloader_list(int rows, uint64_t seed) {
    rng r{seed};
    std::string s =
        "{\"success\":true,\"pagination\":{\"page\":0,\"pages\":1,\"next\":-1,"
        "\"previous\":-1},\"value\":[";
    for (int i = 0; i < rows; ++i) {
        if (i) s += ',';
        std::string id = hex(r, 10);
        std::string name = file_name(r);
        s +=
            fmt("{\"id\":\"%s\",\"name\":%s,\"url\":\"https://%s.example.net/f/%s\","
                "\"downloadUrl\":%s,\"host\":\"%s\",\"size\":%lld,\"chunk\":16,"
                "\"expired\":false,\"created\":%d}",
                id.c_str(), js(name).c_str(), r.pick(kHosts), token(r, 12).c_str(),
                js(download_url(r, id, name)).c_str(), r.pick(kHosts),
                static_cast<long long>(file_size(r)), 1600000000 + r.below(90000000));
    }
    return s + "]}";
}

std::string seedbox_list(int torrents, uint64_t seed) {
    rng r{seed};
    std::string s = "{\"success\":true,\"value\":[";
    for (int i = 0; i < torrents; ++i) {
        if (i) s += ',';
        int files = 1 + (r.below(4) ? 0 : r.below(4));
        s += torrent(r, hex(r, 12), r.below(3) ? episode_file(r) : film_file(r), files, false);
    }
    return s + "]}";
}

std::string torrent_files(const std::string &id, int files, uint64_t seed) {
    rng r{seed};
    return "{\"success\":true,\"value\":[" +
           torrent(r, id, "The Complete Collection", files, true) + "]}";
}

std::string account_infos() {
    return "{\"success\":true,\"value\":{\"email\":\"someone.viewer@example.org\","
           "\"emailVerified\":true,\"accountType\":1,\"premiumLeft\":2591873,\"pts\":1240,"
           "\"trafficshare\":0,\"vouchersUrl\":\"https://debrid-link.com/premium/vouchers\","
           "\"editPasswordUrl\":\"https://debrid-link.com/account/password\","
           "\"editEmailUrl\":\"https://debrid-link.com/account/email\","
           "\"viewSessidUrl\":\"https://debrid-link.com/account/sessions\","
           "\"upgradeAccountUrl\":\"https://debrid-link.com/premium\","
           "\"registerDate\":\"2019-05-01\",\"serverDetected\":false,"
           "\"avatar\":\"https://debrid-link.com/img/avatar/default.png\","
           "\"username\":\"viewer_1984\",\"settings\":{\"https\":true,\"torrentAdd\":1}}}";
}

std::string magnet(uint64_t seed) {
    rng r{seed};
    std::string s = "magnet:?xt=urn:btih:" + hex(r, 40) + "&dn=" + pct(episode_file(r));
    for (int i = 0; i < 4; ++i)
        s += "&tr=" + pct(fmt("udp://tracker%d.example.org:%d/announce", i, 1000 + r.below(9000)));
    return s;
}

std::string magnet_added(const std::string &magnet_link, uint64_t seed) {
    rng r{seed};
    std::string id = hex(r, 12);
    std::string t = torrent(r, id, episode_file(r), 3, false);
    // The added torrent also carries the link it came from.
    t.insert(t.size() - 1, ",\"url\":" + js(magnet_link));
    return "{\"success\":true,\"value\":" + t + "}";
}

std::string listing_entry(uint64_t seed) {
    rng r{seed};
    std::string id = hex(r, 10);
    std::string name = episode_file(r);
    std::string url = download_url(r, id, name);
    return fmt(
        "{\"name\":%s,\"path\":%s,\"folder\":false,\"size\":%lld,\"locator\":%s,"
        "\"id\":\"%s\"}",
        js(name).c_str(), js(url).c_str(), static_cast<long long>(file_size(r)), js(url).c_str(),
        id.c_str());
}

std::string long_url(const std::string &key, size_t size) {
    rng r{11};
    std::string s = "https://viewer:" + token(r, 16) + "@dl7.debrid-link.com/dl/" + hex(r, 10) +
                    "/" + pct(episode_file(r)) + "?apikey=" + key;
    int i = 0;
    while (s.size() < size) s += fmt("&p%d=%s", i++, token(r, 24).c_str());
    s.resize(size);
    return s;
}

std::vector<std::string> release_names(int count, uint64_t seed) {
    rng r{seed};
    std::vector<std::string> out;
    out.reserve(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        std::string t = r.pick(kTitles);
        int s = 1 + r.below(12), e = 1 + r.below(26);
        switch (r.below(20)) {
            case 0:
            case 1:
            case 2:
            case 3:
            case 4:
            case 5:
            case 6:
            case 7:
                out.push_back(episode_file(r));
                break;
            case 8:
                out.push_back(fmt("%s S%02dE%02d %s", t.c_str(), s, e, r.pick(kQuality)));
                break;
            case 9:
                out.push_back(fmt("%s - %dx%02d - Chapter %d", t.c_str(), s, e, 1 + r.below(30)));
                break;
            case 10:
                out.push_back(fmt("%s Season %d Episode %d", t.c_str(), s, e));
                break;
            case 11:
            case 12:
                out.push_back(fmt("[%s] %s - %d [%s]", r.pick(kGroup), t.c_str(), 1 + r.below(1200),
                                  r.pick(kQuality)));
                break;
            case 13:
                out.push_back(
                    fmt("%s.E%02d.%s.%s", dotted(t).c_str(), e, r.pick(kQuality), r.pick(kSource)));
                break;
            case 14:
                out.push_back(fmt("%s.S%02dep%02d.%s", dotted(t).c_str(), s, e, r.pick(kQuality)));
                break;
            default:
                out.push_back(film_file(r));
        }
    }
    return out;
}

}  // namespace bodies
