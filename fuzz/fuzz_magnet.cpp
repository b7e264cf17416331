// The magnet-link test.
#include "fuzz_common.h"

namespace {

bool all_in(const std::string &s, const char *set) {
    return s.find_first_not_of(set) == std::string::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::string text = fuzz_text(data, size);
    int got = plix_is_magnet_link(text.c_str());
    FUZZ_CHECK(got == 0 || got == 1, "answer %d", got);
    if (!got) return 0;
    // A yes needs the scheme and a btih hash of 40 hex or 32 base32 digits.
    FUZZ_CHECK(text.rfind("magnet:?", 0) == 0, "%s", text.c_str());
    size_t at = text.find("xt=urn:btih:");
    FUZZ_CHECK(at != std::string::npos, "%s", text.c_str());
    std::string hash = text.substr(at + 12);
    hash = hash.substr(0, hash.find('&'));
    FUZZ_CHECK((hash.size() == 40 && all_in(hash, "0123456789abcdefABCDEF")) ||
                   (hash.size() == 32 &&
                    all_in(hash, "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz234567")),
               "%s", text.c_str());
    return 0;
}
