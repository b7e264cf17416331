// What the shared exchange (live_io.cpp) asks of each HTTP stack: one
// attempt of a request, with no repeat of its own.
#pragma once

#include <chrono>
#include <string>

#include "bearer.h"
#include "live_io.h"

using live_clock = std::chrono::steady_clock;

struct live_request {
    const live_options *options;
    keyed_url target;          // the URL without its key, and the key
    const char *body;          // null for a GET
    const char *content_type;  // the body's, for a POST
    live_clock::time_point deadline;
    live_cancel *cancel;  // null when nothing cancels the attempt
};

struct live_reply {
    bool completed = false;  // an answer arrived: status and body hold it
    int status = 0;
    live_body body;
    std::string retry_after;  // the answer's Retry-After header, or ""
    bool dropped = false;     // the connection closed before a whole answer
    std::string error;        // what went wrong, one line, when not completed
};

// One attempt: sends the request (following redirects where the stack
// does) and fills reply, ending by request.deadline and as soon as
// request.cancel is cancelled. reply.body.limit is set by the caller.
void live_send(const live_request &request, live_reply &reply);

// The milliseconds left until deadline, at least 1.
long live_ms_left(live_clock::time_point deadline);
