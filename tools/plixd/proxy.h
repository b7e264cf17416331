// Streaming a file's bytes through plixd (--proxy), for clients that cannot
// follow a redirect: a single byte range (206, Content-Range), 416 past the
// end, and If-Range, fetched from the file's download URL with libcurl as
// the client reads.
#pragma once

#include <stdint.h>

#include <string>

#include "live_io.h"

struct MHD_Connection;

// One range of a file of size bytes, from a Range header.
struct byte_range {
    enum kind { whole, part, unsatisfiable } what = whole;
    uint64_t first = 0, last = 0;  // part: both included
};

// Reads a Range header (null: the whole file). Only one range of bytes is
// served; several, or a header that cannot be read, mean the whole file.
byte_range parse_range(const char *header, int64_t size);

// Queues the answer to a GET of the file at url (size bytes, entity tag
// etag) for connection, and tells its status.
int proxy_file(MHD_Connection *connection, const live_options &upstream, const std::string &url,
               int64_t size, const std::string &etag, const char *type, unsigned &status);
