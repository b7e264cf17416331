// plixctl's commands: each runs one of the plug-in's operations or tools
// and prints its answer as a table, a tree, or (--json) as it came.
#include "commands.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <yyjson.h>

#include <algorithm>

#include "live_io.h"
#include "text.h"

int host::fail(int rc, const char *hint) {
    fprintf(errors, "plixctl: %s%s\n", plix_failure(api, rc).c_str(), hint ? hint : "");
    return exit_for(rc);
}

int host::list(const std::string &folder, std::string &answer) {
    std::string name = folder_name(folder);
    if (name != "downloader") return plix_list_folder(api, settings, name, answer);
    std::vector<listing_item> items;
    int rc = plix_downloader_all(plix_lister(api, settings), items);
    if (rc == PLIX_OK) answer = items_json(items);
    return rc;
}

std::string folder_name(const std::string &folder) {
    size_t start = folder.find_first_not_of('/');
    if (start == std::string::npos) return "";
    size_t end = folder.find_last_not_of('/');
    std::string name = folder.substr(start, end + 1 - start);
    if (name.compare(0, 9, "seedbox/s") == 0) name.erase(0, 8);
    return name;
}

std::string shown_path(const std::string &folder, const listing_item &it) {
    if (it.folder || folder.empty()) return it.path;
    return folder + "/" + it.name;
}

namespace {

// Whether a plug-in folder name is a torrent folder, s<id>.
bool is_torrent_folder(const std::string &folder) {
    return folder.size() > 1 && folder[0] == 's' && folder != "seedbox";
}

// --json: the plug-in's answer as it came, one line.
int print_json(const std::string &answer) {
    printf("%s\n", answer.c_str());
    return kExitOk;
}

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

}  // namespace

namespace {

int bad_answer(const char *what) {
    fprintf(stderr, "plixctl: the plug-in's %s answer is not what it documents\n", what);
    return exit_for(PLIX_E_OTHER);
}

}  // namespace

int cmd_validate(host &h) {
    std::string answer;
    int rc = h.call(
        [&](char *out, int cap) { return h.api.validate(h.settings.c_str(), out, cap); }, answer);
    if (rc != PLIX_OK) return h.fail(rc);
    if (h.opt.json) return print_json(answer);
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

int cmd_ls(host &h, const std::string &given) {
    std::string folder = folder_name(given);
    std::string answer;
    int rc = h.list(folder, answer);
    if (rc == PLIX_E_NOT_FOUND && is_torrent_folder(folder)) {
        fprintf(h.errors, "plixctl: no torrent folder %s\n", shown(folder).c_str());
        return exit_for(rc);
    }
    if (rc != PLIX_OK) return h.fail(rc);
    if (h.opt.json) return print_json(answer);
    std::vector<listing_item> items;
    if (!read_items(answer, items)) return bad_answer("list");
    if (items.empty()) {
        printf("(empty)\n");
        return kExitOk;
    }
    size_t name_width = 4, status_width = 6;
    for (const listing_item &it : items) {
        name_width = std::max(name_width, display_width(shown(it.name)));
        status_width = std::max(status_width, status_words(it.status).size());
    }
    printf("%-4s  %9s  %s  %s  %s\n", "TYPE", "SIZE", pad("STATUS", status_width).c_str(),
           pad("NAME", name_width).c_str(), "PATH");
    for (const listing_item &it : items) {
        printf("%-4s  %9s  %s  %s  %s\n", it.folder ? "dir" : "file", human_size(it.size).c_str(),
               pad(status_words(it.status), status_width).c_str(),
               pad(shown(it.name), name_width).c_str(), shown(shown_path(folder, it)).c_str());
    }
    return kExitOk;
}

namespace {

int walk(host &h, const std::string &folder, int depth) {
    std::string answer;
    int rc = h.list(folder, answer);
    if (rc != PLIX_OK) return h.fail(rc);
    std::vector<listing_item> items;
    if (!read_items(answer, items)) return bad_answer("list");
    std::string indent(static_cast<size_t>(depth) * 4, ' ');
    for (const listing_item &it : items) {
        if (!it.folder) {
            printf("%s%s  (%s)\n", indent.c_str(), shown(it.name).c_str(),
                   human_size(it.size).c_str());
            continue;
        }
        std::string details;
        if (it.path != it.name) details += shown(it.path);
        if (it.size >= 0) details += (details.empty() ? "" : ", ") + human_size(it.size);
        if (it.status >= 0) details += (details.empty() ? "" : ", ") + status_words(it.status);
        printf("%s%s/%s\n", indent.c_str(), shown(it.name).c_str(),
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

}  // namespace

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
        // A path shown by ls: the folder, then the name inside it (which
        // may hold slashes of its own: a file's path inside a torrent).
        std::string path = entry;
        while (!path.empty() && path[0] == '/') path.erase(0, 1);
        if (path.compare(0, 9, "seedbox/s") == 0) path.erase(0, 8);
        size_t slash = path.find('/');
        std::string folder = slash == std::string::npos ? "" : path.substr(0, slash);
        std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
        std::string answer;
        int rc = h.list(folder, answer);
        if (rc == PLIX_E_NOT_FOUND && is_torrent_folder(folder)) {
            fprintf(stderr, "plixctl: no torrent folder %s\n", shown(folder).c_str());
            return exit_for(rc);
        }
        if (rc != PLIX_OK) return h.fail(rc);
        std::vector<listing_item> items;
        if (!read_items(answer, items)) return bad_answer("list");
        json.clear();
        for (const listing_item &it : items) {
            // What ls printed, raw or with its control characters escaped.
            std::string listed = shown_path(folder, it);
            if (it.name == name || listed == path || shown(listed) == path) {
                json = it.json;
                break;
            }
        }
        if (json.empty()) {
            fprintf(stderr, "plixctl: no entry %s in %s\n", shown(name).c_str(),
                    folder.empty() ? "the root" : shown(folder).c_str());
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
    if (h.opt.json) return print_json(answer);
    json_doc doc(answer);
    if (!yyjson_is_obj(doc.root())) return bad_answer("stream_url");
    printf("%s\n", str_of(doc.root(), "url").c_str());
    return kExitOk;
}

int cmd_add(host &h, const std::string &link) {
    // Without --allow-writes the gate stays closed and the plug-in refuses.
    if (h.opt.allow_writes) h.api.allow_writes(1);
    std::string request = link_request_json(link);
    std::string answer;
    int rc = h.call(
        [&](char *out, int cap) {
            return h.api.download(h.settings.c_str(), request.c_str(), out, cap);
        },
        answer);
    if (rc != PLIX_OK)
        return h.fail(rc, rc == PLIX_E_WRITES_OFF ? " (plixctl: pass --allow-writes)" : nullptr);
    if (h.fake) fixture_follow_up(h.api, h.demo);
    if (h.opt.json) return print_json(answer);
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

namespace {

int cmd_season(host &h, const std::string &name) {
    int season = 0, episode = 0;
    if (!h.api.parse_season_episode(name.c_str(), &season, &episode)) {
        printf("no season or episode\n");
        return kExitNo;
    }
    printf("season %d, episode %d (S%02dE%02d)\n", season, episode, season, episode);
    return kExitOk;
}

}  // namespace

namespace {

int cmd_is_magnet(host &h, const std::string &text) {
    bool yes = h.api.is_magnet_link(text.c_str()) != 0;
    printf("%s\n", yes ? "yes" : "no");
    return yes ? kExitOk : kExitNo;
}

}  // namespace

namespace {

int cmd_is_torrent(host &h, const std::string &path) {
    std::string data, error;
    if (!read_file(path, data, error)) {
        fprintf(stderr, "plixctl: %s\n", error.c_str());
        return kExitSetup;
    }
    bool yes = h.api.is_torrent_file(data.data(), data.size()) != 0;
    printf("%s\n", yes ? "yes" : "no");
    return yes ? kExitOk : kExitNo;
}

}  // namespace

int cmd_version(host &h) {
    printf("plixctl %s\n", PLIXCTL_VERSION);
    printf("plug-in %s (%s, capabilities %d)\n", h.api.version(), h.api.runtime_type(),
           h.api.caps());
    printf("library %s\n", h.opt.library.c_str());
    printf("service %s\n", h.api.base_url());
    printf("live    over %s\n", live_io_stack());
    return kExitOk;
}

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
        {"help", 0, false,
         [](host &, const std::string &) {
             fputs(usage_text().c_str(), stdout);
             return kExitOk;
         }},
        {"demo", 0, true, [](host &h, const std::string &) { return cmd_demo(h); }},
    };
    return all;
}
