// plixd's command line: its options, the help text and the checks made
// before anything is served.
#pragma once

#include <string>
#include <vector>

#include "live_io.h"

struct plixd_options {
    std::string host = "127.0.0.1";
    int port = 8080;
    bool demo = false;
    std::string key_file;
    std::string users_file;
    std::string tls_cert_file, tls_key_file;
    long refresh = 30;
    double rate = 4;
    bool proxy = false;
    live_options http;  // --cacert, --connect-to, --timeout
};

// Exit codes: 0 stopped cleanly, 2 a wrong command line, 3 something it
// needs cannot be had (a file, the key, the address).
enum : int { kPlixdOk = 0, kPlixdUsage = 2, kPlixdSetup = 3 };

// The whole --help text.
std::string plixd_usage();

// Reads the command line into o. false when plixd is to exit at once with
// code (after --help or --version, or a mistake, said on stderr).
bool plixd_parse(int argc, char **argv, plixd_options &o, int &code);

// Splits "ADDR:PORT" ("[v6]:PORT" for IPv6). false for anything else.
bool split_listen(const std::string &text, std::string &host, int &port);

// Whether an address is the machine's own loopback (127.0.0.0/8, ::1).
bool is_loopback(const std::string &host);
