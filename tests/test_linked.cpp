// A host linked against the library (through its import library on
// Windows) instead of loading it by path: the exports resolve at load time
// under the names plix.h declares.
#include <gtest/gtest.h>

#include "plix.h"

namespace {

TEST(Linked, ExportsResolveThroughTheImportLibrary) {
    EXPECT_STREQ(plix_version(), "1.0.0");
    EXPECT_EQ(plix_caps(), 47);
    const plix_handler *h = plhnd_get();
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(h->capabilities, 47);
    ASSERT_EQ(plix_use_fake(), PLIX_OK);
    char out[512];
    EXPECT_EQ(plix_list("{\"APIKey\":\"abcd-1234\"}", "", out, sizeof out), PLIX_OK);
    EXPECT_STREQ(plix_result_json(), out);
    EXPECT_EQ(plix_use_curl(), PLIX_E_NO_NETWORK);
}

}  // namespace
