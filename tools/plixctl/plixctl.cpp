// plixctl: the plug-in at a terminal. It loads the library by path and
// reaches it only through its exports, as a media-player host does, with
// either the plug-in's fake transport programmed with the demo account or a
// live transport of its own (libcurl on Linux, WinHTTP on Windows).
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <yyjson.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "fixture.h"
#include "live_io.h"
#include "plugin.h"

#if defined(_WIN32)
#include <windows.h>

// shellapi.h needs windows.h first.
#include <fcntl.h>
#include <io.h>
#include <shellapi.h>
#endif

namespace {

// Exit codes besides the plug-in's classes, which exit with 10 + |code|.
enum : int {
    kExitOk = 0,
    kExitNo = 1,     // a test answered no (is-magnet, is-torrent, season)
    kExitUsage = 2,  // the command line is wrong
    kExitSetup = 3,  // the library, a file or the transport cannot be used
};

int exit_for(int result) { return result == PLIX_OK ? kExitOk : 10 - result; }

constexpr char kUsage[] = R"(usage: plixctl [options] COMMAND [ARGUMENT]

Commands
  validate          check the API key and show the account
  ls [FOLDER]       list a folder: the root (default), downloader, seedbox or a
                    torrent folder s<id>; the PATH column is what ls and stream take
  tree              walk the root, downloader, seedbox and every torrent folder
  stream ENTRY      the URL to play for ENTRY: a PATH shown by ls (FOLDER/NAME)
                    or a listing item as JSON
  add LINK          add a magnet, hoster link or link to a torrent file
                    (changes the account: needs --allow-writes)
  season NAME       season and episode numbers in a release name
  redact TEXT       TEXT with API keys and URL user info hidden
  is-magnet TEXT    whether TEXT is a magnet link
  is-torrent FILE   whether FILE is a torrent file
  version           versions, the library loaded, the service's API base URL
                    and the HTTP stack of --live
  demo              a tour of the demo account (no network, no key)

Options
  --library PATH    the plug-in to load (default: the one beside plixctl, or
                    in the installed tree's library folder)
  --fake            the plug-in's fake transport with the demo account and its
                    own key (the default when no API key is given)
  --fixture FILE    program the fake transport from FILE instead of the demo
                    account built into plixctl
  --live            the service itself, over HTTPS (libcurl on Linux, WinHTTP
                    on Windows; the default when an API key is given)
  --key-file FILE   read the API key from FILE; otherwise it comes from the
                    environment variable PLIX_API_KEY. Keys are never taken
                    on the command line and never printed.
  --cacert FILE     verify the service against the CA certificates in FILE
  --connect-to H1:P1:H2:P2
                    connect to H2:P2 for requests to H1:P1, as curl does
                    (repeatable); the certificate is checked against H1
  --proxy URL       use this proxy (http://HOST:PORT) instead of the
                    system's proxy settings
  --key-in-query    send the API key in the URL, as the plug-in writes it,
                    instead of moving it into an "Authorization: Bearer" header
  --connect-timeout SECONDS, --timeout SECONDS
                    time-outs of one exchange (default 15 and 120)
  --allow-writes    open the plug-in's write gate, so add may change the account
  --json            print the plug-in's answer as it came
  -h, --help        this text

Exit codes
  0   success, or yes
  1   no (is-magnet, is-torrent, season)
  2   wrong command line
  3   the library, a file or the transport cannot be used
  11  the service refused the API key
  12  not found: no such folder or entry, unsupported hoster
  13  account limits, or too many requests
  14  no transport, the request failed, or the service failed
  15  any other failure, such as an unusable answer or a link that is no
      magnet, hoster link or torrent file
  16  no built-in network transport
  17  the write gate is closed (add without --allow-writes)
  18  invalid input
  19  an answer too large for the output buffer
)";

struct options {
    std::string library;
    bool fake = false;
    bool live = false;
    bool json = false;
    bool allow_writes = false;
    std::string key_file;
    std::string fixture_file;
    live_options http;  // the live transport's options
    std::vector<std::string> args;
};

// ------------------------------------------------------------------ text

std::string json_string(const std::string &text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char esc[8];
            snprintf(esc, sizeof esc, "\\u%04x", c);
            out += esc;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

std::string human_size(long long bytes) {
    if (bytes < 0) return "-";
    if (bytes < 1024) return std::to_string(bytes) + " B";
    static const char *const units[] = {"KiB", "MiB", "GiB", "TiB", "PiB"};
    double v = static_cast<double>(bytes) / 1024;
    int u = 0;
    while (v >= 1024 && u < 4) {
        v /= 1024;
        ++u;
    }
    char text[32];
    snprintf(text, sizeof text, v < 10 ? "%.1f %s" : "%.0f %s", v, units[u]);
    return text;
}

// A torrent's status as words: 0 paused, 100 finished, else the flags
// 1 queued, 2 checking, 4 downloading, 8 seeding (combinations occur, such
// as 6). A value with other bits shows as its number.
std::string status_words(long long status) {
    if (status < 0) return "-";
    if (status == 0) return "paused";
    if (status == 100) return "finished";
    if (status & ~15LL) return std::to_string(status);
    static const char *const flags[] = {"queued", "checking", "downloading", "seeding"};
    std::string words;
    for (int bit = 0; bit < 4; ++bit)
        if (status & (1LL << bit)) words += (words.empty() ? "" : "+") + std::string(flags[bit]);
    return words;
}

// The columns text takes on a terminal: one per character, two for the
// wide characters of East Asian scripts and emoji, none for combining
// marks. Bytes that are not UTF-8 count one each.
size_t display_width(const std::string &text) {
    size_t width = 0;
    for (size_t i = 0; i < text.size();) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
        if (n == 0 || i + n > text.size()) {
            ++width;
            ++i;
            continue;
        }
        unsigned long cp = n == 1 ? c : c & (0x7f >> n);
        bool ok = true;
        for (size_t k = 1; k < n; ++k) {
            unsigned char d = static_cast<unsigned char>(text[i + k]);
            ok = ok && (d >> 6) == 2;
            cp = cp << 6 | (d & 0x3f);
        }
        if (!ok) {
            ++width;
            ++i;
            continue;
        }
        i += n;
        if ((cp >= 0x300 && cp <= 0x36f) || cp == 0x200b || (cp >= 0xfe00 && cp <= 0xfe0f))
            continue;
        bool wide = (cp >= 0x1100 && cp <= 0x115f) || (cp >= 0x2e80 && cp <= 0xa4cf) ||
                    (cp >= 0xac00 && cp <= 0xd7a3) || (cp >= 0xf900 && cp <= 0xfaff) ||
                    (cp >= 0xfe30 && cp <= 0xfe4f) || (cp >= 0xff00 && cp <= 0xff60) ||
                    (cp >= 0xffe0 && cp <= 0xffe6) || (cp >= 0x1f300 && cp <= 0x1f64f) ||
                    (cp >= 0x1f900 && cp <= 0x1f9ff) || (cp >= 0x20000 && cp <= 0x3fffd);
        width += wide ? 2 : 1;
    }
    return width;
}

// text padded with spaces to width display columns.
std::string pad(const std::string &text, size_t width) {
    size_t w = display_width(text);
    return w >= width ? text : text + std::string(width - w, ' ');
}

bool read_file(const std::string &path, std::string &out) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

std::string trim(std::string s) {
    const char *blank = " \t\r\n";
    size_t end = s.find_last_not_of(blank);
    if (end == std::string::npos) return "";
    return s.substr(s.find_first_not_of(blank), end + 1 - s.find_first_not_of(blank));
}

// ------------------------------------------------------------------ json

struct json_doc {
    yyjson_doc *doc = nullptr;
    explicit json_doc(const std::string &text) : doc(yyjson_read(text.data(), text.size(), 0)) {}
    ~json_doc() { yyjson_doc_free(doc); }
    json_doc(const json_doc &) = delete;
    json_doc &operator=(const json_doc &) = delete;
    yyjson_val *root() const { return yyjson_doc_get_root(doc); }
};

std::string str_of(yyjson_val *obj, const char *key) {
    const char *s = yyjson_get_str(yyjson_obj_get(obj, key));
    return s ? s : "";
}

long long int_of(yyjson_val *obj, const char *key, long long fallback) {
    yyjson_val *v = yyjson_obj_get(obj, key);
    return yyjson_is_int(v) ? yyjson_get_sint(v) : fallback;
}

std::string write_json(yyjson_val *v) {
    char *text = yyjson_val_write(v, 0, nullptr);
    std::string out = text ? text : "";
    free(text);
    return out;
}

// ------------------------------------------------------------------ host

struct item {
    std::string name, path, id, json;
    bool folder = false;
    long long size = -1;
    long long status = -1;
};

struct host {
    plugin api;
    options opt;
    std::string settings;  // {"APIKey": ...}
    bool fake = false;
    fixture demo;
    FILE *errors = stderr;  // the tour sends them to stdout, in line with its steps

    using op = std::function<int(char *, int)>;

    // Runs one operation. Success leaves its JSON in answer. An answer too
    // large for the buffer is taken from the result channel, where the
    // plug-in keeps it whole, rather than repeating the request.
    int call(const op &run, std::string &answer) {
        std::vector<char> out(256 * 1024);
        int rc = run(out.data(), static_cast<int>(out.size()));
        if (rc == PLIX_OK) {
            answer = out.data();
        } else if (rc == PLIX_E_BUFFER && api.result_json()[0]) {
            answer = api.result_json();
            rc = PLIX_OK;
        }
        return rc;
    }

    // One line on stderr with the plug-in's message; the exit code of its class.
    int fail(int rc, const char *hint = nullptr) {
        const char *why = api.last_error();
        fprintf(errors, "plixctl: %s%s\n", why[0] ? why : "failed", hint ? hint : "");
        return exit_for(rc);
    }

    int list(const std::string &folder, std::string &answer) {
        return call([&](char *out,
                        int cap) { return api.list(settings.c_str(), folder.c_str(), out, cap); },
                    answer);
    }
};

bool read_items(const std::string &answer, std::vector<item> &items) {
    json_doc doc(answer);
    if (!yyjson_is_arr(doc.root())) return false;
    size_t i, n;
    yyjson_val *v;
    yyjson_arr_foreach(doc.root(), i, n, v) {
        item it;
        it.name = str_of(v, "name");
        it.path = str_of(v, "path");
        it.id = str_of(v, "id");
        it.folder = yyjson_get_bool(yyjson_obj_get(v, "folder"));
        it.size = int_of(v, "size", -1);
        it.status = int_of(v, "status", -1);
        it.json = write_json(v);
        items.push_back(std::move(it));
    }
    return true;
}

// What ls and stream take for an item of folder: a folder's own path, a
// file's FOLDER/NAME.
std::string shown_path(const std::string &folder, const item &it) {
    if (it.folder || folder.empty()) return it.path;
    return folder + "/" + it.name;
}

int bad_answer(const char *what) {
    fprintf(stderr, "plixctl: the plug-in's %s answer is not what it documents\n", what);
    return exit_for(PLIX_E_OTHER);
}

// ------------------------------------------------------------------ commands

int cmd_validate(host &h) {
    std::string answer;
    int rc = h.call(
        [&](char *out, int cap) { return h.api.validate(h.settings.c_str(), out, cap); }, answer);
    if (rc != PLIX_OK) return h.fail(rc);
    if (h.opt.json) {
        printf("%s\n", answer.c_str());
        return kExitOk;
    }
    json_doc doc(answer);
    if (!yyjson_is_obj(doc.root())) return bad_answer("validate");
    std::string email = str_of(doc.root(), "AccountEmail");
    std::string name = str_of(doc.root(), "AccountName");
    std::string premium = str_of(doc.root(), "PremiumLeft");
    printf("key accepted\n");
    if (!name.empty()) printf("account:      %s\n", name.c_str());
    if (!email.empty()) printf("e-mail:       %s\n", email.c_str());
    if (!premium.empty()) {
        long long seconds = atoll(premium.c_str());
        printf("premium left: %lld days %lld h (%s s)\n", seconds / 86400, seconds % 86400 / 3600,
               premium.c_str());
    }
    return kExitOk;
}

int cmd_ls(host &h, const std::string &folder) {
    std::string answer;
    int rc = h.list(folder, answer);
    if (rc != PLIX_OK) return h.fail(rc);
    if (h.opt.json) {
        printf("%s\n", answer.c_str());
        return kExitOk;
    }
    std::vector<item> items;
    if (!read_items(answer, items)) return bad_answer("list");
    if (items.empty()) {
        printf("(empty)\n");
        return kExitOk;
    }
    size_t name_width = 4, status_width = 6;
    for (const item &it : items) {
        name_width = std::max(name_width, display_width(it.name));
        status_width = std::max(status_width, status_words(it.status).size());
    }
    printf("%-4s  %9s  %s  %s  %s\n", "TYPE", "SIZE", pad("STATUS", status_width).c_str(),
           pad("NAME", name_width).c_str(), "PATH");
    for (const item &it : items) {
        printf("%-4s  %9s  %s  %s  %s\n", it.folder ? "dir" : "file", human_size(it.size).c_str(),
               pad(status_words(it.status), status_width).c_str(), pad(it.name, name_width).c_str(),
               shown_path(folder, it).c_str());
    }
    return kExitOk;
}

int walk(host &h, const std::string &folder, int depth) {
    std::string answer;
    int rc = h.list(folder, answer);
    if (rc != PLIX_OK) return h.fail(rc);
    std::vector<item> items;
    if (!read_items(answer, items)) return bad_answer("list");
    std::string indent(static_cast<size_t>(depth) * 4, ' ');
    for (const item &it : items) {
        if (!it.folder) {
            printf("%s%s  (%s)\n", indent.c_str(), it.name.c_str(), human_size(it.size).c_str());
            continue;
        }
        std::string details;
        if (it.path != it.name) details += it.path;
        if (it.size >= 0) details += (details.empty() ? "" : ", ") + human_size(it.size);
        if (it.status >= 0) details += (details.empty() ? "" : ", ") + status_words(it.status);
        printf("%s%s/%s\n", indent.c_str(), it.name.c_str(),
               details.empty() ? "" : ("  [" + details + "]").c_str());
        // The tree is three levels deep: root, downloader and seedbox,
        // torrents. A folder naming itself is not entered again.
        if (depth < 2 && it.path != folder) {
            int code = walk(h, it.path, depth + 1);
            if (code != kExitOk) return code;
        }
    }
    return kExitOk;
}

int cmd_tree(host &h) {
    if (h.opt.json) {
        fprintf(stderr, "plixctl: tree has no --json form; use ls --json per folder\n");
        return kExitUsage;
    }
    return walk(h, "", 0);
}

int cmd_stream(host &h, const std::string &entry) {
    std::string json = trim(entry);
    if (json.empty() || json[0] != '{') {
        // A path shown by ls: the folder, then the name inside it.
        size_t slash = entry.find('/');
        std::string folder = slash == std::string::npos ? "" : entry.substr(0, slash);
        std::string name = slash == std::string::npos ? entry : entry.substr(slash + 1);
        std::string answer;
        int rc = h.list(folder, answer);
        if (rc != PLIX_OK) return h.fail(rc);
        std::vector<item> items;
        if (!read_items(answer, items)) return bad_answer("list");
        json.clear();
        for (const item &it : items) {
            if (it.name == name || shown_path(folder, it) == entry) {
                json = it.json;
                break;
            }
        }
        if (json.empty()) {
            fprintf(stderr, "plixctl: no entry %s in %s\n", name.c_str(),
                    folder.empty() ? "the root" : folder.c_str());
            return exit_for(PLIX_E_NOT_FOUND);
        }
    }
    std::string answer;
    int rc = h.call(
        [&](char *out, int cap) {
            return h.api.stream_url(h.settings.c_str(), json.c_str(), out, cap);
        },
        answer);
    if (rc != PLIX_OK) return h.fail(rc);
    if (h.opt.json) {
        printf("%s\n", answer.c_str());
        return kExitOk;
    }
    json_doc doc(answer);
    if (!yyjson_is_obj(doc.root())) return bad_answer("stream_url");
    printf("%s\n", str_of(doc.root(), "url").c_str());
    return kExitOk;
}

int cmd_add(host &h, const std::string &link) {
    // Without --allow-writes the gate stays closed and the plug-in refuses.
    if (h.opt.allow_writes) h.api.allow_writes(1);
    std::string request = "{\"Link\":" + json_string(link) + "}";
    std::string answer;
    int rc = h.call(
        [&](char *out, int cap) {
            return h.api.download(h.settings.c_str(), request.c_str(), out, cap);
        },
        answer);
    if (rc != PLIX_OK)
        return h.fail(rc, rc == PLIX_E_WRITES_OFF ? " (plixctl: pass --allow-writes)" : nullptr);
    if (h.fake) fixture_follow_up(h.api, h.demo);
    if (h.opt.json) {
        printf("%s\n", answer.c_str());
        return kExitOk;
    }
    json_doc doc(answer);
    if (!yyjson_is_obj(doc.root())) return bad_answer("download");
    std::string name = str_of(doc.root(), "InstantName");
    std::string url = str_of(doc.root(), "InstantURL");
    long long size = int_of(doc.root(), "InstantSize", -1);
    printf("added\n");
    printf("name: %s\n", name.empty() ? "(not known yet)" : name.c_str());
    printf("url:  %s\n", url.empty() ? "(not available yet)" : url.c_str());
    if (size >= 0)
        printf("size: %s (%lld bytes)\n", human_size(size).c_str(), size);
    else
        printf("size: (not known yet)\n");
    return kExitOk;
}

int cmd_season(host &h, const std::string &name) {
    int season = 0, episode = 0;
    if (!h.api.parse_season_episode(name.c_str(), &season, &episode)) {
        printf("no season or episode\n");
        return kExitNo;
    }
    printf("season %d, episode %d (S%02dE%02d)\n", season, episode, season, episode);
    return kExitOk;
}

int cmd_is_magnet(host &h, const std::string &text) {
    bool yes = h.api.is_magnet_link(text.c_str()) != 0;
    printf("%s\n", yes ? "yes" : "no");
    return yes ? kExitOk : kExitNo;
}

int cmd_is_torrent(host &h, const std::string &path) {
    std::string data;
    if (!read_file(path, data)) {
        fprintf(stderr, "plixctl: cannot read %s: %s\n", path.c_str(), strerror(errno));
        return kExitSetup;
    }
    bool yes = h.api.is_torrent_file(data.data(), data.size()) != 0;
    printf("%s\n", yes ? "yes" : "no");
    return yes ? kExitOk : kExitNo;
}

int cmd_version(host &h) {
    printf("plixctl %s\n", PLIXCTL_VERSION);
    printf("plug-in %s (%s, capabilities %d)\n", h.api.version(), h.api.runtime_type(),
           h.api.caps());
    printf("library %s\n", h.opt.library.c_str());
    printf("service %s\n", h.api.base_url());
    printf("live    over %s\n", live_io_stack());
    return kExitOk;
}

// The tour of the demo account, in this process, so that what the add
// changes shows in the next listing.
int cmd_demo(host &h) {
    int step = 0;
    auto title = [&](const char *what, const std::string &command) {
        printf("%s== %d. %s\n$ plixctl %s\n", step ? "\n" : "", step + 1, what, command.c_str());
        ++step;
        fflush(stdout);
    };
    auto first = [&](const std::string &folder, bool want_folder, std::string &path) {
        std::string answer;
        std::vector<item> items;
        if (h.list(folder, answer) != PLIX_OK || !read_items(answer, items)) return false;
        for (const item &it : items) {
            if (it.folder == want_folder) {
                path = shown_path(folder, it);
                return true;
            }
        }
        return false;
    };
    int code;
    title("Check the demo account's key", "validate");
    if ((code = cmd_validate(h)) != kExitOk) return code;
    title("The root folder", "ls");
    if ((code = cmd_ls(h, "")) != kExitOk) return code;
    title("Links added to the downloader", "ls downloader");
    if ((code = cmd_ls(h, "downloader")) != kExitOk) return code;
    title("Torrents in the seedbox", "ls seedbox");
    if ((code = cmd_ls(h, "seedbox")) != kExitOk) return code;
    std::string torrent, file;
    if (!first("seedbox", true, torrent) || !first(torrent, false, file)) {
        fprintf(stderr, "plixctl: the demo account has no torrent with files\n");
        return kExitSetup;
    }
    title("One torrent's files", "ls " + torrent);
    if ((code = cmd_ls(h, torrent)) != kExitOk) return code;
    title("The URL to play one of them", "stream " + file);
    if ((code = cmd_stream(h, file)) != kExitOk) return code;
    std::string magnet = "'" + h.demo.magnet + "'";
    title("Adding a magnet link with the write gate closed is refused", "add " + magnet);
    bool writes = h.opt.allow_writes;
    h.opt.allow_writes = false;
    h.errors = stdout;
    code = cmd_add(h, h.demo.magnet);
    h.errors = stderr;
    if (code != exit_for(PLIX_E_WRITES_OFF)) return code == kExitOk ? kExitSetup : code;
    printf("(exit code %d)\n", code);
    title("Adding it with the gate open", "--allow-writes add " + magnet);
    h.opt.allow_writes = true;
    if ((code = cmd_add(h, h.demo.magnet)) != kExitOk) return code;
    h.opt.allow_writes = writes;
    title("The downloader now holds the added link", "ls downloader");
    return cmd_ls(h, "downloader");
}

// ------------------------------------------------------------------ setup

bool parse_options(int argc, char **argv, options &o, int &code) {
    auto value = [&](int &i, const std::string &arg, const std::string &name,
                     std::string &out) -> bool {
        if (arg.size() > name.size() && arg.compare(0, name.size() + 1, name + "=") == 0) {
            out = arg.substr(name.size() + 1);
            return true;
        }
        if (arg != name) return false;
        if (i + 1 >= argc) {
            fprintf(stderr, "plixctl: %s needs a value\n", name.c_str());
            code = kExitUsage;
            return true;
        }
        out = argv[++i];
        return true;
    };
    auto seconds = [&](const std::string &name, const std::string &text, long &out) {
        char *end = nullptr;
        long v = strtol(text.c_str(), &end, 10);
        if (text.empty() || *end || v <= 0) {
            fprintf(stderr, "plixctl: %s takes a number of seconds\n", name.c_str());
            code = kExitUsage;
            return;
        }
        out = v;
    };
    code = -1;
    bool only_args = false;
    for (int i = 1; i < argc && code < 0; ++i) {
        std::string arg = argv[i], v;
        if (only_args || arg.empty() || arg[0] != '-' || arg == "-") {
            o.args.push_back(arg);
        } else if (arg == "--") {
            only_args = true;
        } else if (arg == "-h" || arg == "--help") {
            fputs(kUsage, stdout);
            code = kExitOk;
        } else if (arg == "--fake") {
            o.fake = true;
        } else if (arg == "--live") {
            o.live = true;
        } else if (arg == "--json") {
            o.json = true;
        } else if (arg == "--allow-writes") {
            o.allow_writes = true;
        } else if (arg == "--key-in-query") {
            o.http.key_in_query = true;
        } else if (value(i, arg, "--library", o.library) ||
                   value(i, arg, "--key-file", o.key_file) ||
                   value(i, arg, "--fixture", o.fixture_file) ||
                   value(i, arg, "--cacert", o.http.cacert) ||
                   value(i, arg, "--proxy", o.http.proxy)) {
        } else if (value(i, arg, "--connect-to", v)) {
            if (code < 0) o.http.connect_to.push_back(v);
        } else if (value(i, arg, "--connect-timeout", v)) {
            if (code < 0) seconds("--connect-timeout", v, o.http.connect_timeout);
        } else if (value(i, arg, "--timeout", v)) {
            if (code < 0) seconds("--timeout", v, o.http.timeout);
        } else if (arg == "--key" || arg.rfind("--key=", 0) == 0 || arg == "--api-key" ||
                   arg.rfind("--api-key=", 0) == 0) {
            // Never echo what follows: it may be the key itself.
            fprintf(stderr,
                    "plixctl: the API key is never taken on the command line; set PLIX_API_KEY "
                    "or use --key-file FILE\n");
            code = kExitUsage;
        } else {
            fprintf(stderr, "plixctl: unknown option %s (see plixctl --help)\n", arg.c_str());
            code = kExitUsage;
        }
    }
    if (code >= 0) return false;
    if (o.fake && o.live) {
        fprintf(stderr, "plixctl: --fake and --live exclude each other\n");
        code = kExitUsage;
        return false;
    }
    return true;
}

// The key from --key-file, else from PLIX_API_KEY; "" when there is none.
bool read_key(const options &o, std::string &key) {
    if (!o.key_file.empty()) {
        if (!read_file(o.key_file, key)) {
            fprintf(stderr, "plixctl: cannot read the key file %s: %s\n", o.key_file.c_str(),
                    strerror(errno));
            return false;
        }
        key = trim(key);
        if (key.empty()) {
            fprintf(stderr, "plixctl: the key file %s is empty\n", o.key_file.c_str());
            return false;
        }
        return true;
    }
    const char *env = getenv("PLIX_API_KEY");
    key = env ? trim(env) : "";
    return true;
}

struct command {
    const char *name;
    int arguments;  // 0, 1, or -1 for an optional one
    bool account;   // needs settings and a transport
    std::function<int(host &, const std::string &)> run;
};

const std::vector<command> &commands() {
    static const std::vector<command> all = {
        {"validate", 0, true, [](host &h, const std::string &) { return cmd_validate(h); }},
        {"ls", -1, true, cmd_ls},
        {"tree", 0, true, [](host &h, const std::string &) { return cmd_tree(h); }},
        {"stream", 1, true, cmd_stream},
        {"add", 1, true, cmd_add},
        {"season", 1, false, cmd_season},
        {"redact", 1, false,
         [](host &h, const std::string &text) {
             printf("%s\n", h.api.redact(text.c_str()));
             return kExitOk;
         }},
        {"is-magnet", 1, false, cmd_is_magnet},
        {"is-torrent", 1, false, cmd_is_torrent},
        {"version", 0, false, [](host &h, const std::string &) { return cmd_version(h); }},
        {"demo", 0, true, [](host &h, const std::string &) { return cmd_demo(h); }},
    };
    return all;
}

// Settings, and the transport: the fake with the demo account and its own
// key, or the live transport with the key of PLIX_API_KEY or --key-file.
int open_account(host &h, bool demo) {
    std::string key;
    if (!demo && !h.opt.fake && !read_key(h.opt, key)) return kExitSetup;
    h.fake = demo || h.opt.fake || (!h.opt.live && key.empty());
    if (h.opt.live && key.empty()) {
        fprintf(stderr,
                "plixctl: --live needs an API key: set PLIX_API_KEY or use --key-file FILE\n");
        return kExitUsage;
    }
    std::string error;
    if (h.fake) {
        std::string text = kDemoAccount;
        if (!h.opt.fixture_file.empty() && !read_file(h.opt.fixture_file, text)) {
            fprintf(stderr, "plixctl: cannot read %s: %s\n", h.opt.fixture_file.c_str(),
                    strerror(errno));
            return kExitSetup;
        }
        if (!fixture_read(text, h.api.base_url(), h.demo, error) ||
            !fixture_install(h.api, h.demo, error)) {
            fprintf(stderr, "plixctl: demo account: %s\n", error.c_str());
            return kExitSetup;
        }
        key = h.demo.key;
    } else {
        if (!live_io_start(&h.opt.http, error)) {
            fprintf(stderr, "plixctl: %s\n", error.c_str());
            return kExitSetup;
        }
        plix_io table = live_io_table(&h.opt.http);
        if (int rc = h.api.set_io(&table); rc != PLIX_OK) {
            fprintf(stderr, "plixctl: the plug-in refused the transport table (%d)\n", rc);
            return kExitSetup;
        }
    }
    h.settings = "{\"APIKey\":" + json_string(key) + "}";
    return kExitOk;
}

}  // namespace

int main(int argc, char **argv) {
#if defined(_WIN32)
    // UTF-8 at the console and in the arguments, as on Linux: names with
    // non-ASCII characters show as they are, and arguments arrive whole.
    SetConsoleOutputCP(CP_UTF8);
    // Bytes out as written ("\n", not "\r\n"), so the output is the same as
    // on Linux.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    std::vector<std::string> utf8_args;
    std::vector<char *> utf8_argv;
    int wide_argc = 0;
    if (wchar_t **wide = CommandLineToArgvW(GetCommandLineW(), &wide_argc)) {
        for (int i = 0; i < wide_argc; ++i) {
            int n = WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, nullptr, 0, nullptr, nullptr);
            std::string s(n > 0 ? static_cast<size_t>(n - 1) : 0, '\0');
            if (n > 1) WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, &s[0], n, nullptr, nullptr);
            utf8_args.push_back(s);
        }
        LocalFree(wide);
        for (std::string &s : utf8_args) utf8_argv.push_back(&s[0]);
        utf8_argv.push_back(nullptr);
        argc = wide_argc;
        argv = utf8_argv.data();
    }
#endif
    host h;
    int code;
    if (!parse_options(argc, argv, h.opt, code)) return code;
    if (h.opt.args.empty()) {
        fputs(kUsage, stderr);
        return kExitUsage;
    }
    const command *cmd = nullptr;
    for (const command &c : commands())
        if (h.opt.args[0] == c.name) cmd = &c;
    if (!cmd) {
        fprintf(stderr, "plixctl: unknown command %s (see plixctl --help)\n",
                h.opt.args[0].c_str());
        return kExitUsage;
    }
    size_t given = h.opt.args.size() - 1;
    if ((cmd->arguments >= 0 && given != static_cast<size_t>(cmd->arguments)) ||
        (cmd->arguments < 0 && given > 1)) {
        fprintf(stderr, "plixctl: %s takes %s\n", cmd->name,
                cmd->arguments == 0   ? "no argument"
                : cmd->arguments == 1 ? "one argument"
                                      : "at most one argument");
        return kExitUsage;
    }
    if (h.opt.library.empty()) h.opt.library = default_library_path();
    std::string error;
    if (!h.api.load(h.opt.library, error)) {
        fprintf(stderr, "plixctl: %s\n", error.c_str());
        return kExitSetup;
    }
    if (cmd->account) {
        bool demo = std::string(cmd->name) == "demo";
        if (demo && (h.opt.live || !h.opt.key_file.empty())) {
            fprintf(stderr, "plixctl: demo runs on the demo account only\n");
            return kExitUsage;
        }
        if ((code = open_account(h, demo)) != kExitOk) return code;
    }
    code = cmd->run(h, given ? h.opt.args[1] : std::string());
    fflush(stdout);
    return code;
}
