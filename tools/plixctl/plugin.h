// The plug-in as plixctl sees it: a library loaded by path at run time and
// reached only through its exported functions.
#pragma once

#include <string>

#include "plix.h"

struct plugin {
    decltype(&plix_validate) validate = nullptr;
    decltype(&plix_list) list = nullptr;
    decltype(&plix_stream_url) stream_url = nullptr;
    decltype(&plix_download) download = nullptr;
    decltype(&plix_set_io) set_io = nullptr;
    decltype(&plix_use_fake) use_fake = nullptr;
    decltype(&plix_allow_writes) allow_writes = nullptr;
    decltype(&plix_result_json) result_json = nullptr;
    decltype(&plix_last_error) last_error = nullptr;
    decltype(&plix_version) version = nullptr;
    decltype(&plix_runtime_type) runtime_type = nullptr;
    decltype(&plix_caps) caps = nullptr;
    decltype(&plix_base_url) base_url = nullptr;
    decltype(&plix_parse_season_episode) parse_season_episode = nullptr;
    decltype(&plix_is_torrent_file) is_torrent_file = nullptr;
    decltype(&plix_is_magnet_link) is_magnet_link = nullptr;
    decltype(&plix_redact) redact = nullptr;
    decltype(&plix_fake_reset) fake_reset = nullptr;
    decltype(&plix_fake_set) fake_set = nullptr;
    decltype(&plix_fake_calls) fake_calls = nullptr;

    // Loads the library at path and binds every export above. On failure
    // error says why, in one line.
    bool load(const std::string &path, std::string &error);
};

// The library plixctl loads when --library is not given: the one beside the
// executable (the build tree), else the one in the installed tree's library
// folder.
std::string default_library_path();
