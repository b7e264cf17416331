// The live transport of the project's own hosts (plixctl, the mpv
// plug-in): a transport table for the plug-in that talks to the service
// over HTTPS. One implementation is built per platform: curl_io.cpp
// (libcurl) on Linux, winhttp_io.cpp (WinHTTP, part of every Windows) on
// Windows. Both behave alike toward the plug-in:
// - the key moves from the URL's "apikey" parameter into an
//   "Authorization: Bearer" header (unless key_in_query), and never goes to
//   another host a redirect leads to;
// - TLS is always verified;
// - an answer is read up to a bound (live_answer_limit), so a link to a
//   film that the plug-in fetches to see whether it is a torrent file
//   costs at most that much memory; a stalled answer ends at the time-out.
#pragma once

#include <stddef.h>
#include <stdlib.h>

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
    std::string user_agent = "plix";      // the User-Agent header
};

// The most an answer may hold: an API answer (a request that carries the
// key) or the unauthenticated fetch of a link (a torrent file is far
// smaller). A larger answer fails the exchange as soon as the bound is
// passed, with live_too_large's line.
inline constexpr size_t LIVE_API_MAX = size_t{512} << 20;
inline constexpr size_t LIVE_FETCH_MAX = size_t{64} << 20;
inline size_t live_answer_limit(bool keyed) { return keyed ? LIVE_API_MAX : LIVE_FETCH_MAX; }
// "the answer of <host> is larger than N MiB", host taken from url.
std::string live_too_large(const std::string &url, size_t limit);

// An answer as it arrives: a malloc'd block grown with realloc (so a large
// answer is never held twice), handed to the plug-in as it is.
struct live_body {
    char *data = nullptr;
    size_t length = 0, capacity = 0;
    size_t limit = LIVE_FETCH_MAX;
    bool too_large = false;  // an add went past limit; nothing more is kept
    bool out_of_memory = false;
    live_body() = default;
    live_body(const live_body &) = delete;
    live_body &operator=(const live_body &) = delete;
    ~live_body() { free(data); }
    // Appends n bytes; false (with too_large or out_of_memory set) when
    // they do not fit the limit or the memory.
    bool add(const void *bytes, size_t n);
    // Drops what was read (a redirect's body).
    void clear() { length = 0; }
    // The NUL-terminated text for the plug-in, which frees it; null
    // without memory.
    char *take();
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
