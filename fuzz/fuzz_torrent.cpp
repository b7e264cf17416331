// The torrent-file test and the whole-dictionary test, on an exactly sized
// copy so any read past the end is caught.
#include "dialect/plix_dialect.h"
#include "fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    void *copy = malloc(size ? size : 1);
    if (size) memcpy(copy, data, size);
    const void *bytes = size ? copy : nullptr;
    int got = plix_is_torrent_file(bytes, size);
    FUZZ_CHECK(got == 0 || got == 1, "answer %d", got);
    if (got) {
        std::string s(static_cast<const char *>(copy), size);
        FUZZ_CHECK(size >= 16 && s[0] == 'd' && s.find("4:info") != std::string::npos, "yes");
    }
    int whole = plix_bencode_complete(bytes, size);
    FUZZ_CHECK(whole == 0 || whole == 1, "whole %d", whole);
    if (whole) {
        // A whole dictionary opens with "d" and ends with "e"; no shorter
        // prefix of it is whole.
        const char *p = static_cast<const char *>(copy);
        FUZZ_CHECK(p[0] == 'd' && p[size - 1] == 'e', "whole shape");
        FUZZ_CHECK(plix_bencode_complete(bytes, size - 1) == 0, "prefix whole");
    }
    free(copy);
    return 0;
}
