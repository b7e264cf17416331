// plixctl's live transport: a transport table for the plug-in that talks
// to the service over HTTPS. One implementation is built per platform:
// curl_io.cpp (libcurl) on Linux, winhttp_io.cpp (WinHTTP, part of every
// Windows) on Windows. Both behave alike toward the plug-in.
#pragma once

#include <string>
#include <vector>

#include "plix.h"

struct live_options {
    std::string cacert;                   // CA certificates to verify the service with, or ""
    std::vector<std::string> connect_to;  // HOST1:PORT1:HOST2:PORT2, as curl's --connect-to
    std::string proxy;                    // the proxy to use, or "" for the system's settings
    long connect_timeout = 15;            // seconds
    long timeout = 120;                   // seconds for the whole exchange
    bool key_in_query = false;            // send URLs as the plug-in wrote them, key included
};

// The HTTP stack the transport runs on, for messages ("libcurl", "WinHTTP").
const char *live_io_stack();

// Sets the HTTP stack up for the process; call once, before any thread uses
// the table. Answers false with error filled when it cannot start.
bool live_io_start(const live_options *options, std::string &error);

// The table. Its context points at options, which must stay unchanged and
// alive while the plug-in may call the table.
plix_io live_io_table(const live_options *options);

// What each stack implements (live_io.cpp makes the table of it): one
// exchange, answered as the table's get (body null) and post slots answer.
int live_exchange(const live_options *options, const char *url, const char *body,
                  const char *content_type, char **body_out, int *status_out, char **error_out);

// A malloc'd copy of text, as the plug-in takes strings (its free slot
// releases them with free()); null without memory.
char *live_copy_out(const std::string &text);
