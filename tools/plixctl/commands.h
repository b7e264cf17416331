// plixctl's commands: each runs one of the plug-in's operations or tools
// and prints its answer as a table, a tree, or (--json) as it came.
#pragma once

#include <stdio.h>

#include <functional>
#include <string>
#include <vector>

#include "cli.h"
#include "fixture.h"
#include "host_plix.h"

// What the commands share: the plug-in, the options, the account settings.
struct host {
    plix_api api;
    options opt;
    std::string settings;  // {"APIKey": ...}
    bool fake = false;
    fixture demo;
    FILE *errors = stderr;  // the tour sends them to stdout, in line with its steps

    // Runs one operation (plix_call). Success leaves its JSON in answer.
    int call(const plix_op &run, std::string &answer) { return plix_call(api, run, answer); }
    // One line on stderr with the plug-in's message; the exit code of its class.
    int fail(int rc, const char *hint = nullptr);
    // Lists a folder as the plug-in names it (see folder_name); the
    // downloader with every page.
    int list(const std::string &folder, std::string &answer);
};

// The plug-in's name of a folder as a user writes it: leading and trailing
// slashes dropped, and "seedbox/s<id>" (as a path) for the torrent folder
// "s<id>".
std::string folder_name(const std::string &folder);

// What ls and stream take for an item of folder: a folder's own path, a
// file's FOLDER/NAME.
std::string shown_path(const std::string &folder, const listing_item &it);

int cmd_validate(host &h);
int cmd_ls(host &h, const std::string &folder);
int cmd_tree(host &h);
int cmd_stream(host &h, const std::string &entry);
int cmd_add(host &h, const std::string &link);
int cmd_version(host &h);
// The tour of the demo account (tour.cpp).
int cmd_demo(host &h);

struct command {
    const char *name;
    int arguments;  // 0, 1, or -1 for an optional one
    bool account;   // needs settings and a transport
    std::function<int(host &, const std::string &)> run;
};
const std::vector<command> &commands();
