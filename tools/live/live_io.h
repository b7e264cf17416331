// The live transport of the project's own hosts (plixctl, the mpv
// plug-in, plixd): a transport table for the plug-in that talks to the
// service over HTTPS. One stack is built per platform: curl_io.cpp
// (libcurl) on Linux, winhttp_io.cpp (WinHTTP, part of every Windows) on
// Windows. Both behave alike toward the plug-in:
// - the key moves from the URL's "apikey" parameter into an
//   "Authorization: Bearer" header (unless key_in_query), and never goes to
//   another host a redirect leads to;
// - TLS is always verified;
// - an answer is read up to a bound (live_answer_limit), so a link to a
//   film that the plug-in fetches to see whether it is a torrent file
//   costs at most that much memory;
// - one exchange, its repeats included, ends within the time-out;
// - a read (GET) that meets a 5xx or 429 answer or a dropped connection is
//   sent again, at most twice, after a pause or the wait the answer asks
//   for (live_retry_wait); a POST, which changes the account, never is;
// - an exchange can be cancelled from another thread (live_cancel).
#pragma once

#include <stddef.h>
#include <stdlib.h>
#include <time.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "plix.h"

// The transport's options. They are read by every exchange and must not
// change while the table is installed.
struct live_options {
    std::string cacert;                   // CA certificates to verify the service with, or ""
    std::vector<std::string> connect_to;  // HOST1:PORT1:HOST2:PORT2, as curl's --connect-to
    std::string proxy;                    // the proxy to use, or "" for the system's settings
    long connect_timeout = 15;            // seconds to connect, within the time-out
    long timeout = 120;                   // seconds for the whole exchange, repeats included
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

// ------------------------------------------------------------- repeats

// How often a read is sent again at the most, the pauses before the first
// and the second repeat when the answer asks for none, and the longest
// wait an answer may ask for (Retry-After) that is still waited for.
inline constexpr int LIVE_RETRIES = 2;
inline constexpr long LIVE_BACKOFF_MS[LIVE_RETRIES] = {500, 1500};
inline constexpr long LIVE_RETRY_AFTER_MAX = 10;

// What one attempt of an exchange came to, as the repeat rule sees it.
struct live_attempt {
    bool post = false;       // a POST: it may have changed the account
    bool completed = false;  // an answer arrived, with status
    bool dropped = false;    // the connection closed before a whole answer
    int status = 0;
    bool flood = false;     // the answer's error code is "floodDetected"
    long retry_after = -1;  // seconds the answer asked to wait, or -1
};

// The pause in milliseconds before sending the request again after the
// attempt, which was repeat number `repeats` (0 for the first send), or -1
// when it is not sent again: a POST, an answer other than 5xx and 429, a
// flood refusal, a failure other than a dropped connection, no repeat
// left, or a Retry-After longer than LIVE_RETRY_AFTER_MAX.
long live_retry_wait(const live_attempt &a, int repeats);

// The seconds a Retry-After value asks for: delta-seconds, or an HTTP date
// (IMF-fixdate, "Sun, 06 Nov 1994 08:49:37 GMT") less now; -1 when it is
// neither, 0 for a date already past.
long live_retry_after(const std::string &value, time_t now);

// ---------------------------------------------------------- cancelling

// Ends exchanges from another thread. An exchange runs under the token of
// its thread's live_scope; cancel() ends every such exchange at once (a
// pause before a repeat included) and makes those that start later fail
// at once, with the line "cancelled". A token is cancelled for good.
class live_cancel {
  public:
    live_cancel() = default;
    live_cancel(const live_cancel &) = delete;
    live_cancel &operator=(const live_cancel &) = delete;

    // Thread-safe; may be called any number of times.
    void cancel();
    bool cancelled() const { return cancelled_.load(std::memory_order_acquire); }

    // For the stacks: what wakes one exchange in flight. attach() answers
    // false (and attaches nothing) when the token is cancelled already;
    // once detach() returns, wake is not called any more.
    struct waker {
        void (*wake)(void *arg);
        void *arg;
    };
    bool attach(waker *w);
    void detach(waker *w);
    // Sleeps ms milliseconds, or less when cancelled; false when cancelled.
    bool pause(long ms);

  private:
    std::atomic<bool> cancelled_{false};
    std::mutex mutex_;
    std::condition_variable wakeup_;
    std::vector<waker *> wakers_;
};

// What the exchanges of one thread run under while a scope lives on it
// (scopes nest; the innermost counts): the token that cancels them, how
// often a read may be repeated, and what they met, for the host to read
// after a call of the plug-in.
struct live_scope {
    explicit live_scope(live_cancel *cancel = nullptr, int retries = LIVE_RETRIES);
    ~live_scope();
    live_scope(const live_scope &) = delete;
    live_scope &operator=(const live_scope &) = delete;

    live_cancel *cancel;
    int retries;
    int sent = 0;            // requests sent, repeats included
    int status = 0;          // the HTTP status of the last answer
    std::string error_code;  // the service's last "error" code (such as "floodDetected")
    long wait_asked = -1;    // the longest wait (s) an answer asked for and did not get

    // The scope of the calling thread, or null.
    static live_scope *current();

  private:
    live_scope *outer_;
};

// -------------------------------------------------------------- table

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
    // Drops what was read (a redirect's body, a failed attempt's).
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

// One exchange, answered as the table's get (body null) and post slots
// answer: the key moved, the answer bounded, repeats as above.
int live_exchange(const live_options *options, const char *url, const char *body,
                  const char *content_type, char **body_out, int *status_out, char **error_out);

// A malloc'd copy of text, as the plug-in takes strings (its free slot
// releases them with free()); null without memory.
char *live_copy_out(const std::string &text);
