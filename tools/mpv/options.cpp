#include "options.h"

#include <errno.h>
#include <mpv/client.h>
#include <stdio.h>
#include <stdlib.h>

#include "host_text.h"

namespace {

constexpr char kPrefix[] = "plix-";
constexpr size_t kPrefixLength = sizeof kPrefix - 1;

bool flag(const std::string &value, bool &out) {
    if (value == "yes" || value == "true" || value == "1") {
        out = true;
        return true;
    }
    if (value == "no" || value == "false" || value == "0") {
        out = false;
        return true;
    }
    return false;
}

}  // namespace

void option_set(plix_options &o, const std::string &name, const std::string &value) {
    bool ok = true;
    const char *takes = "";
    if (name == "key-file") {
        o.key_file = value;
    } else if (name == "add") {
        ok = flag(value, o.add);
        takes = "yes or no";
    } else if (name == "all-files") {
        ok = flag(value, o.all_files);
        takes = "yes or no";
    } else if (name == "timeout") {
        takes = "a number of seconds from 1 to 86400";
        char *end = nullptr;
        errno = 0;
        long v = strtol(value.c_str(), &end, 10);
        ok = !value.empty() && !*end && !errno && v > 0 && v <= 86400;
        if (ok) o.timeout = v;
    } else if (name == "connect-to") {
        // Several rules are separated by ";" (a "," would end the option
        // in --script-opts).
        o.connect_to.clear();
        for (size_t at = 0; at <= value.size();) {
            size_t end = value.find(';', at);
            if (end == std::string::npos) end = value.size();
            std::string rule = trim(value.substr(at, end - at));
            if (!rule.empty()) o.connect_to.push_back(rule);
            at = end + 1;
        }
    } else if (name == "cacert") {
        o.cacert = value;
    } else {
        o.problems.push_back("unknown option plix-" + name);
        return;
    }
    // The value is not repeated: it might be anything, a key included.
    if (!ok) o.problems.push_back("plix-" + name + " takes " + takes + "; ignored");
}

std::vector<std::pair<std::string, std::string>> conf_lines(const std::string &text) {
    std::vector<std::pair<std::string, std::string>> out;
    for (size_t at = 0; at < text.size();) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        std::string line = trim(text.substr(at, end - at));
        at = end + 1;
        size_t eq = line.find('=');
        if (line.empty() || line[0] == '#' || eq == std::string::npos) continue;
        std::string name = trim(line.substr(0, eq));
        if (name.compare(0, kPrefixLength, kPrefix) == 0) name.erase(0, kPrefixLength);
        out.emplace_back(name, trim(line.substr(eq + 1)));
    }
    return out;
}

std::string mpv_path(mpv_handle *mpv, const std::string &path) {
    const char *args[] = {"expand-path", path.c_str(), nullptr};
    mpv_node result;
    if (mpv_command_ret(mpv, args, &result) < 0) return path;
    std::string out = result.format == MPV_FORMAT_STRING ? result.u.string : path;
    mpv_free_node_contents(&result);
    return out;
}

plix_options options_read(mpv_handle *mpv) {
    plix_options o;
    std::string conf = mpv_path(mpv, "~~/script-opts/plix.conf");
    std::string text, missing;  // no plix.conf is no error
    if (read_file(conf, text, missing))
        for (const auto &kv : conf_lines(text)) option_set(o, kv.first, kv.second);
    mpv_node opts;
    if (mpv_get_property(mpv, "options/script-opts", MPV_FORMAT_NODE, &opts) >= 0) {
        if (opts.format == MPV_FORMAT_NODE_MAP) {
            for (int i = 0; i < opts.u.list->num; ++i) {
                std::string key = opts.u.list->keys[i];
                const mpv_node &v = opts.u.list->values[i];
                if (key.compare(0, kPrefixLength, kPrefix) != 0 || v.format != MPV_FORMAT_STRING)
                    continue;
                option_set(o, key.substr(kPrefixLength), v.u.string);
            }
        }
        mpv_free_node_contents(&opts);
    }
    return o;
}
