// Streaming a file's bytes through plixd (--proxy), for clients that cannot
// follow a redirect: a single byte range (206, Content-Range), 416 past the
// end, and If-Range, fetched from the file's download URL with libcurl as
// the client reads.
#pragma once

#include <stdint.h>

#include <string>

#include "live_io.h"
#include "range.h"

struct MHD_Connection;

// Queues the answer to a GET of the file at url (size bytes, entity tag
// etag) for connection, and tells its status.
int proxy_file(MHD_Connection *connection, const live_options &upstream, const std::string &url,
               int64_t size, const std::string &etag, const char *type, unsigned &status);
