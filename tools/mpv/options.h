// The plug-in's options, from mpv's --script-opts (keys "plix-<name>") and
// from script-opts/plix.conf in mpv's config folder ("<name>=value" lines,
// "plix-<name>" taken too, "#" comments). --script-opts wins.
#pragma once

#include <string>
#include <utility>
#include <vector>

struct mpv_handle;

struct plix_options {
    std::string key_file;                 // plix-key-file: a file holding the API key
    bool add = false;                     // plix-add: may change the account
    bool all_files = false;               // plix-all-files: every file, not media only
    long timeout = 30;                    // plix-timeout: seconds for one exchange
    std::vector<std::string> connect_to;  // plix-connect-to: HOST:PORT:HOST2:PORT2 rules
    std::string cacert;                   // plix-cacert: CA file for the service's TLS
    std::vector<std::string> problems;    // one line per value that was not taken
};

// Takes one option by its name without the prefix; a bad value or unknown
// name adds a line to o.problems and leaves the option as it was.
void option_set(plix_options &o, const std::string &name, const std::string &value);

// The key=value lines of a plix.conf text, in order.
std::vector<std::pair<std::string, std::string>> conf_lines(const std::string &text);

// The options as mpv holds them now: plix.conf, then --script-opts.
plix_options options_read(mpv_handle *mpv);

// Expands a path as mpv does ("~/" and "~~/" for mpv's config folder).
std::string mpv_path(mpv_handle *mpv, const std::string &path);
