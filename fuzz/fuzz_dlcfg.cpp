// The download config {"Link":...}. The fake knows no route, so every link
// that passes the config check meets a 404 from the service.
#include "fuzz_common.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    fuzz_setup();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::string config = fuzz_text(data, size);
    plix_fake_reset();
    fuzz_out out;
    int code = plix_download(FUZZ_SETTINGS, config.c_str(), out.text, fuzz_out::size);
    fuzz_check_outcome(code, out.text);
    FUZZ_CHECK(code == -8 || code == -2 || code == -4 || code == -5, "code %d", code);
    yyjson_doc *in = fuzz_parse(config.c_str());
    yyjson_val *link = yyjson_obj_get(yyjson_doc_get_root(in), "Link");
    size_t n = yyjson_is_str(link) ? strlen(yyjson_get_str(link)) : 0;
    bool usable = n > 0 && n <= 3072;
    FUZZ_CHECK(usable == (code != -8), "code %d", code);
    // A refused config sends nothing.
    FUZZ_CHECK(usable || plix_fake_calls(nullptr, nullptr) == 0, "calls");
    yyjson_doc_free(in);
    return 0;
}
