// plixctl's command line: its options, the usage text, the exit codes, and
// reading the files the options name.
#pragma once

#include <string>
#include <vector>

#include "host_text.h"  // read_file
#include "live_io.h"

// Exit codes besides the plug-in's classes, which exit with 10 + |code|.
enum : int {
    kExitOk = 0,
    kExitNo = 1,     // a test answered no (is-magnet, is-torrent, season)
    kExitUsage = 2,  // the command line is wrong
    kExitSetup = 3,  // the library, a file or the transport cannot be used
};

// The exit code of a plug-in result code.
int exit_for(int result);

// One exit code and what it means: the one table that --help prints and
// the README's table repeats.
struct exit_code {
    int code;
    const char *meaning;
};
extern const exit_code kExitCodes[];
extern const size_t kExitCodeCount;

// The whole --help text, and the short usage a bare plixctl prints.
std::string usage_text();
extern const char kShortUsage[];

// The longest time-out taken, in seconds (one day).
inline constexpr long kMaxSeconds = 86400;

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

// Reads the options and the command's words into o. false when plixctl is
// to exit at once with code (after --help, --version is a command).
bool parse_options(int argc, char **argv, options &o, int &code);

// The key from --key-file (one line) or PLIX_API_KEY; "" when there is none.
// blank_env tells that PLIX_API_KEY was set but empty or blank. false, after
// one line on stderr, when the key file cannot be used.
bool read_key(const options &o, std::string &key, bool &blank_env);
