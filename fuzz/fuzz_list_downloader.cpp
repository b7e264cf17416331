// The answer of the downloader listing request.
#include "fuzz_list.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    fuzz_setup();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    return fuzz_listing(data, size, FUZZ_BASE "/downloader/list?page=0&perPage=50&" FUZZ_AUTH,
                        "downloader", false);
}
