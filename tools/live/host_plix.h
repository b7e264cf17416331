// The plug-in as the project's hosts (plixctl, the mpv plug-in, plixd)
// call it: its exports as one table of pointers, bound from a library
// loaded at run time or from the one the host is linked with; one call
// with its answer taken whole; listings read into items, the downloader
// across its pages; the settings and download requests; the account's key.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "plix.h"
#include "plix_fake.h"

struct plix_api {
    // One pointer per export, named by its short name in the export list.
#define PLIX_EXPORT(name, member) decltype(&name) member = nullptr;
#include "plix_export_list.h"
#undef PLIX_EXPORT
};

// Loads the library at path (it stays loaded) and binds every export.
// false with error (one line) when it cannot be loaded or lacks an export.
bool plix_api_load(plix_api &api, const std::string &path, std::string &error);

// The exports of the plug-in the host is linked with (host_linked.cpp,
// linked only into hosts that link plix).
plix_api plix_api_linked();

// One listing item as the hosts read it.
struct listing_item {
    std::string name, path, id;
    std::string json;  // the item as the plug-in listed it (for plix_stream_url)
    bool folder = false;
    long long size = -1;
    long long status = -1;  // a torrent's status, -1 when none
};

// Reads a listing answer (a JSON array of items); false when it is none.
bool read_items(const std::string &answer, std::vector<listing_item> &items);
// The items as one listing answer again.
std::string items_json(const std::vector<listing_item> &items);

// {"APIKey":<key>} and {"Link":<link>}.
std::string settings_json(const std::string &key);
std::string link_request_json(const std::string &link);

// One operation, run into a buffer. On PLIX_OK the answer is in answer: an
// answer too large for the buffer is taken from the result channel, where
// the plug-in keeps it whole, rather than asking again (which would add a
// link twice).
using plix_op = std::function<int(char *out, int capacity)>;
int plix_call(const plix_api &api, const plix_op &op, std::string &answer);
// The failure's message: the plug-in's last error, or "failed (<rc>)".
std::string plix_failure(const plix_api &api, int rc);

// The URL to play a listing entry (JSON): PLIX_OK with url, or the result
// code with why (the plug-in's message, or "no URL to play" for an answer
// without one).
int plix_play_url(const plix_api &api, const std::string &settings, const std::string &entry,
                  std::string &url, std::string &why);

// Lists folder with settings, as plix_call does.
int plix_list_folder(const plix_api &api, const std::string &settings, const std::string &folder,
                     std::string &answer);

// Lists one folder into items: PLIX_OK, or the failure's result code
// (PLIX_E_OTHER for an answer that is no listing).
using page_lister = std::function<int(const std::string &folder, std::vector<listing_item> &items)>;
// The lister that asks the plug-in each time.
page_lister plix_lister(const plix_api &api, const std::string &settings);

// The downloader's pages, 0, 1, 2 ..., each listed with list and handed to
// page() in order until one holds fewer than PLIX_DOWNLOADER_PAGE links,
// page() answers false, or PLIX_DOWNLOADER_PAGES_MAX pages were read.
// PLIX_OK, or the failing page's result code.
inline constexpr size_t PLIX_DOWNLOADER_PAGE = 50;
inline constexpr int PLIX_DOWNLOADER_PAGES_MAX = 1000;
int plix_downloader_pages(const page_lister &list,
                          const std::function<bool(std::vector<listing_item> &page)> &page);
// Every downloader link, in the service's order.
int plix_downloader_all(const page_lister &list, std::vector<listing_item> &items);

// The text of one member of a JSON object answer ("" when there is none).
std::string answer_member(const std::string &answer, const char *key);

// The account's key: the key file's one line when key_file is given, else
// PLIX_API_KEY trimmed ("" when unset or blank; blank_env tells that it
// was set but blank). false with error (one line, never the key) when the
// key file cannot be used.
bool read_account_key(const std::string &key_file, std::string &key, bool &blank_env,
                      std::string &error);
