// The settings text, through validate and the root listing.
#include "fuzz_common.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    fuzz_setup();
    plix_fake_set("GET", FUZZ_BASE "/account/infos?" FUZZ_AUTH, 200,
                  "{\"success\":true,\"value\":{\"email\":\"a@b.c\",\"username\":\"u\"}}");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::string settings = fuzz_text(data, size);
    fuzz_out out;
    int code = plix_validate(settings.c_str(), out.text, fuzz_out::size);
    fuzz_check_outcome(code, out.text);
    // Settings problems are -8; anything else a request could give.
    FUZZ_CHECK(code >= -5 || code == -8, "code %d", code);
    if (code == 0) {
        yyjson_doc *d = fuzz_parse(out.text);
        yyjson_val *rt = yyjson_obj_get(yyjson_doc_get_root(d), "RuntimeType");
        FUZZ_CHECK(yyjson_equals_str(rt, "DEBRIDLINK"), "%s", out.text);
        yyjson_doc_free(d);
    }
    int listed = plix_list(settings.c_str(), "", out.text, fuzz_out::size);
    fuzz_check_outcome(listed, out.text);
    FUZZ_CHECK(listed == 0 || listed == -8 || listed == -5, "code %d", listed);
    return 0;
}
