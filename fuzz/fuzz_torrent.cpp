// The torrent-file test, on an exactly sized copy so any read past the end
// is caught.
#include "fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    void *copy = malloc(size ? size : 1);
    if (size) memcpy(copy, data, size);
    int got = plix_is_torrent_file(size ? copy : nullptr, size);
    FUZZ_CHECK(got == 0 || got == 1, "answer %d", got);
    if (got) {
        std::string s(static_cast<const char *>(copy), size);
        FUZZ_CHECK(size >= 16 && s[0] == 'd' && s.find("4:info") != std::string::npos, "yes");
    }
    free(copy);
    return 0;
}
