// The account/infos answer.
#include "fuzz_common.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    fuzz_setup();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::string body = size ? fuzz_text(data + 1, size - 1) : "";
    plix_fake_set("GET", FUZZ_BASE "/account/infos?" FUZZ_AUTH, fuzz_status(data, size),
                  body.c_str());
    fuzz_out out;
    int code = plix_validate(FUZZ_SETTINGS, out.text, fuzz_out::size);
    fuzz_check_outcome(code, out.text);
    FUZZ_CHECK(code >= -5, "code %d", code);
    if (code == 0) {
        yyjson_doc *d = fuzz_parse(out.text);
        yyjson_val *root = yyjson_doc_get_root(d);
        FUZZ_CHECK(yyjson_equals_str(yyjson_obj_get(root, "ID"), "7"), "%s", out.text);
        yyjson_doc_free(d);
    }
    return 0;
}
