// plixd's PROPFIND bodies: any text is read as a request or refused, and a
// request is answered with a well-formed document whatever it asked for.
#include <expat.h>
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include "dav.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    propfind request;
    if (!parse_propfind(reinterpret_cast<const char *>(data), size, request)) return 0;
    std::vector<dav_resource> resources = {
        {"/seedbox/", "seedbox", true, -1, 1},
        {"/seedbox/a%20%26%20b.mkv", "a & b <\"x\">.mkv", false, 1234, 2},
    };
    std::string out;
    write_multistatus(resources, request, out);
    // The answer is XML that expat reads to its end.
    XML_Parser parser = XML_ParserCreateNS(nullptr, ' ');
    bool ok =
        XML_Parse(parser, out.data(), static_cast<int>(out.size()), XML_TRUE) == XML_STATUS_OK;
    if (!ok) {
        fprintf(stderr, "not well-formed: %s\n%s\n", XML_ErrorString(XML_GetErrorCode(parser)),
                out.c_str());
        abort();
    }
    XML_ParserFree(parser);
    return 0;
}
