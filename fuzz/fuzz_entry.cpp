// The listing entry a host hands back to stream_url.
#include "fuzz_common.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    fuzz_setup();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::string entry = fuzz_text(data, size);
    fuzz_out out;
    int code = plix_stream_url(FUZZ_SETTINGS, entry.c_str(), out.text, fuzz_out::size);
    fuzz_check_outcome(code, out.text);
    FUZZ_CHECK(code == 0 || code == -8 || code == -2 || code == -5, "code %d", code);
    // The URL is the first of locator, link and path that is a non-empty
    // string.
    yyjson_doc *in = fuzz_parse(entry.c_str());
    const char *want = nullptr;
    yyjson_val *root = yyjson_doc_get_root(in);
    for (const char *key : {"locator", "link", "path"}) {
        yyjson_val *v = yyjson_obj_get(root, key);
        if (yyjson_is_str(v) && yyjson_get_len(v)) {
            want = yyjson_get_str(v);
            break;
        }
    }
    if (!yyjson_is_obj(root)) {
        FUZZ_CHECK(code == -8, "code %d", code);
    } else if (!want) {
        FUZZ_CHECK(code == -2, "code %d", code);
    } else if (code == 0) {
        yyjson_doc *d = fuzz_parse(out.text);
        yyjson_val *url = yyjson_obj_get(yyjson_doc_get_root(d), "url");
        // A locator with an embedded NUL ends there.
        FUZZ_CHECK(yyjson_is_str(url) && strcmp(yyjson_get_str(url), want) == 0, "%s", out.text);
        yyjson_doc_free(d);
    }
    yyjson_doc_free(in);
    return 0;
}
