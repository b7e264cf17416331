// plix_redact: no apikey value and no URL user info survive.
#include "fuzz_common.h"

namespace {

bool is_param(const char *p) { return strncasecmp(p, "apikey=", 7) == 0; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::string text = fuzz_text(data, size);
    const char *got = plix_redact(text.c_str());
    size_t n = strlen(got);
    FUZZ_CHECK(n <= 2047, "length %zu", n);
    // Every apikey parameter of the output (at the start, or after "?" or
    // "&") has the value "***", or a cut prefix of it at the very end.
    for (size_t i = 0; i < n; ++i) {
        if (!(i == 0 || got[i - 1] == '?' || got[i - 1] == '&') || !is_param(got + i)) continue;
        size_t v = i + 7, e = v;
        while (e < n && got[e] != '&' && got[e] != '#') ++e;
        std::string value(got + v, e - v);
        FUZZ_CHECK(value == "***" || (e == n && std::string("***").rfind(value, 0) == 0),
                   "value %s in %s", value.c_str(), got);
    }
    // Nothing that would be redacted: the text comes back unchanged (cut
    // to the buffer).
    bool plain = !strstr(text.c_str(), "://");
    for (size_t i = 0; plain && i < text.size(); ++i) plain = !is_param(text.c_str() + i);
    if (plain) FUZZ_CHECK(text.compare(0, 2047, got) == 0, "%s", got);
    // The same text redacts the same way again.
    std::string first(got);
    FUZZ_CHECK(first == plix_redact(text.c_str()), "unstable");
    return 0;
}
