// The answer of the st1 listing request.
#include "fuzz_list.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    fuzz_setup();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    return fuzz_listing(data, size, FUZZ_BASE "/seedbox/list?ids=t1&" FUZZ_AUTH, "st1", false);
}
