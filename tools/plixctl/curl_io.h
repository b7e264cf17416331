// A transport table for the plug-in built on libcurl.
#pragma once

#include <string>
#include <vector>

#include "plix.h"

struct curl_options {
    std::string cacert;                   // CA bundle to verify the service with, or "" for curl's
    std::vector<std::string> connect_to;  // HOST1:PORT1:HOST2:PORT2, as curl's --connect-to
    long connect_timeout = 15;            // seconds
    long timeout = 120;                   // seconds for the whole exchange
    bool key_in_query = false;            // send URLs as the plug-in wrote them, key included
};

// Sets libcurl up for the process; call once, before any thread uses the
// table. Answers false with error filled when libcurl cannot start.
bool curl_io_start(std::string &error);

// The table. Its context points at options, which must stay unchanged and
// alive while the plug-in may call the table.
plix_io curl_io_table(const curl_options *options);
