#include "cli.h"

#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "host_plix.h"
#include "text.h"

int exit_for(int result) { return result == 0 ? kExitOk : 10 - result; }

const exit_code kExitCodes[] = {
    {0, "success, or yes"},
    {1, "no (is-magnet, is-torrent, season)"},
    {2, "wrong command line"},
    {3, "the library, a file or the transport cannot be used"},
    {11, "the service refused the API key"},
    {12, "not found: no such folder, torrent folder or entry"},
    {13, "account limits, or too many requests"},
    {14, "no transport, the request failed, or the service failed"},
    {15,
     "any other failure: an unusable answer, or a link that is no magnet, hoster link "
     "or torrent file (an unsupported hoster included)"},
    {16, "no built-in network transport"},
    {17, "the write gate is closed (add without --allow-writes)"},
    {18, "invalid input"},
    {19, "an answer too large for the output buffer"},
};
const size_t kExitCodeCount = sizeof kExitCodes / sizeof kExitCodes[0];

const char kShortUsage[] =
    "usage: plixctl [options] COMMAND [ARGUMENT]\n"
    "commands: validate, ls, tree, stream, add, season, redact, is-magnet, is-torrent,\n"
    "          version, demo, help\n"
    "plixctl --help shows them all with their options; plixctl demo tours the demo account\n";

namespace {

constexpr char kUsageHead[] = R"(usage: plixctl [options] COMMAND [ARGUMENT]

Commands
  validate          check the API key and show the account
  ls [FOLDER]       list a folder: the root (default), downloader (every page),
                    downloader/<n> (page n of 50), seedbox or a torrent folder
                    s<id>; the PATH column is what ls and stream take
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
  help              this text (also -h, --help)

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
  -V, --version     the same as the command version
  -h, --help        this text

)";

}  // namespace

std::string usage_text() {
    std::string text = kUsageHead;
    text += "Exit codes\n";
    for (size_t i = 0; i < kExitCodeCount; ++i) {
        // Long meanings wrap at 78 columns, under the meaning's first column.
        std::string line = "  " + std::to_string(kExitCodes[i].code);
        line.resize(6, ' ');
        std::string words = kExitCodes[i].meaning;
        size_t col = line.size();
        for (size_t at = 0; at < words.size();) {
            size_t end = words.find(' ', at);
            if (end == std::string::npos) end = words.size();
            std::string word = words.substr(at, end - at);
            if (col + word.size() > 78 && col > 6) {
                text += line + "\n";
                line = std::string(6, ' ');
                col = 6;
            } else if (col > 6) {
                line += ' ';
                ++col;
            }
            line += word;
            col += word.size();
            at = end + 1;
        }
        text += line + "\n";
    }
    return text;
}

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
        errno = 0;
        long v = strtol(text.c_str(), &end, 10);
        if (text.empty() || *end || errno || v <= 0 || v > kMaxSeconds) {
            fprintf(stderr, "plixctl: %s takes a number of seconds from 1 to %ld (one day)\n",
                    name.c_str(), kMaxSeconds);
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
            fputs(usage_text().c_str(), stdout);
            code = kExitOk;
        } else if (arg == "--version" || arg == "-V") {
            o.args.push_back("version");
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

bool read_key(const options &o, std::string &key, bool &blank_env) {
    std::string error;
    if (read_account_key(o.key_file, key, blank_env, error)) return true;
    fprintf(stderr, "plixctl: %s\n", error.c_str());
    return false;
}
