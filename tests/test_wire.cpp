// Reading the service's answers: envelope, downloader rows, add results,
// hosted files, torrent files, and listing entries.
#include <gtest/gtest.h>
#include <yyjson.h>

#include <string>

#include "util/plix_text.h"
#include "wire/plix_wire.h"

namespace {

struct parsed {
    int code;
    std::string msg;
};

parsed envelope(const std::string &body, yyjson_val **value = nullptr,
                yyjson_doc **keep = nullptr) {
    yyjson_doc *doc = reinterpret_cast<yyjson_doc *>(1);
    yyjson_val *v = reinterpret_cast<yyjson_val *>(1);
    char msg[768] = "";
    int code = plix_parse_envelope(body.data(), body.size(), &doc, &v, msg, sizeof msg);
    if (code != 0) {
        EXPECT_EQ(doc, nullptr);
        EXPECT_EQ(v, nullptr);
    }
    if (value) *value = v;
    if (keep)
        *keep = doc;
    else
        yyjson_doc_free(doc);
    return {code, msg};
}

TEST(Envelope, Shapes) {
    struct row {
        const char *body;
        int code;
        const char *msg;
    } rows[] = {
        {"[]", -5, "response is not a JSON object"},
        {"\"s\"", -5, "response is not a JSON object"},
        {"null", -5, "response is not a JSON object"},
        {"{\"success\":true", -5, "response is not a JSON object"},
        {"{\"success\":true,}", -5, "response is not a JSON object"},
        {"{}", -5, "response has no success field"},
        {"{\"success\":1}", -5, "response has no success field"},
        {"{\"success\":\"true\"}", -5, "response has no success field"},
        {"{\"success\":true}", -5, "success response has no value"},
        {"{\"success\":false}", -5, "Debrid-Link error (no code): (no message)"},
        {"{\"success\":false,\"error\":\"badToken\",\"error_description\":\"Bad API key\"}", -1,
         "Debrid-Link error badToken: Bad API key"},
        {"{\"success\":false,\"error\":42}", -5, "Debrid-Link error (no code): (no message)"},
        {"{\"success\":false,\"error\":\"maxLink\",\"error_description\":\"\"}", -3,
         "Debrid-Link error maxLink: (no message)"},
        {"{\"success\":false,\"success\":true,\"value\":1}", -5,
         "Debrid-Link error (no code): (no message)"},
        {"{\"success\":true,\"value\":null}", 0, ""},
        {"{\"value\":[1],\"success\":true}", 0, ""},
    };
    for (const auto &r : rows) {
        parsed p = envelope(r.body);
        EXPECT_EQ(p.code, r.code) << r.body;
        EXPECT_EQ(p.msg, r.msg) << r.body;
    }
    char msg[768];
    yyjson_doc *doc;
    yyjson_val *v;
    EXPECT_EQ(plix_parse_envelope("{}", 0, &doc, &v, msg, sizeof msg), -5);
    EXPECT_STREQ(msg, "empty response body");
    EXPECT_EQ(plix_parse_envelope(nullptr, 5, &doc, &v, msg, sizeof msg), -5);
    // A short buffer gets a cut, terminated message.
    char small[10];
    std::string b = "{\"success\":false,\"error\":\"maxLink\"}";
    EXPECT_EQ(plix_parse_envelope(b.data(), b.size(), &doc, &v, small, sizeof small), -3);
    EXPECT_STREQ(small, "Debrid-Li");
}

TEST(Envelope, ValueIsHandedOver) {
    yyjson_val *v;
    yyjson_doc *doc;
    ASSERT_EQ(envelope("{\"success\":true,\"value\":null}", &v, &doc).code, 0);
    EXPECT_TRUE(yyjson_is_null(v));
    yyjson_doc_free(doc);
}

TEST(Envelope, ErrorClasses) {
    struct row {
        const char *code;
        int cls;
    } rows[] = {
        {"badToken", -1},
        {"invalidToken", -1},
        {"auth", -1},
        {"authExpired", -1},
        {"AuthX", -1},
        {"AUTH_BAD", -1},
        {"aUth", -5},
        {"aut", -5},
        {"unknowH", -2},
        {"unknowR", -2},
        {"not_found", -2},
        {"notFound", -2},
        {"unknowId", -2},
        {"freeAccount", -3},
        {"needPremium", -3},
        {"maxNode", -3},
        {"maxLink", -3},
        {"maxSeedbox", -3},
        {"maxlink", -5},
        {"unsupportedHoster", -2},
        {"unSupportedHoster", -2},
        {"hosterUnsupported", -2},
        {"unknowHoster", -2},
        {"unknowHx", -5},
        {"", -5},
        {"serverError", -5},
        // The codes the service sends in the field.
        {"badSign", -1},
        {"hidedToken", -1},
        {"hostNotValid", -2},
        {"fileNotFound", -2},
        {"badFileUrl", -2},
        {"badId", -2},
        {"maxLinkHost", -3},
        {"maxData", -3},
        {"maxDataHost", -3},
        {"maxTorrent", -3},
        {"maxTransfer", -3},
        {"torrentTooBig", -3},
        {"floodDetected", -3},
        {"notFreeHost", -3},
        {"serverNotAllowed", -3},
        {"accountLocked", -3},
        {"internalError", -4},
        {"server_error", -4},
        {"notDebrid", -4},
        {"maintenanceHost", -4},
        {"noServerHost", -4},
        {"disabledHost", -4},
        {"disabledServerHost", -4},
        {"fileNotAvailable", -4},
        {"freeServerOverload", -4},
        {"floodDetected ", -5},
        {"notdebrid", -5},
        {"notAddTorrent", -5},
    };
    for (const auto &r : rows) EXPECT_EQ(plix_error_class(r.code), r.cls) << r.code;
}

// --------------------------------------------------------- downloader list

struct list_result {
    int code;
    std::string msg;
    std::string rows;  // name|link|size|id per record, ';' between
};

std::string show(const char *s) { return s ? s : "<null>"; }

template <typename Parser>
list_result read_list(Parser parse, const std::string &value) {
    std::string body = "{\"success\":true,\"value\":" + value + "}";
    plix_links_guard g;
    char msg[768] = "";
    list_result r{parse(body.data(), body.size(), &g.get(), msg, sizeof msg), msg, ""};
    for (uint64_t i = 0; i < g.get().count; ++i) {
        const plix_link &l = g.get().items[i];
        r.rows += (i ? ";" : "") + show(l.name) + "|" + show(l.link) + "|" +
                  std::to_string(l.size) + "|" + show(l.id);
    }
    if (r.code != 0) {
        EXPECT_EQ(g.get().count, 0u);
    }
    return r;
}

TEST(DownloaderList, Rows) {
    struct row {
        const char *value;
        int code;
        const char *rows;
    } rows[] = {
        {"[]", 0, ""},
        {"{\"value\":[]}", 0, ""},
        {"null", -5, ""},
        {"{}", -5, ""},
        {"{\"value\":{}}", -5, ""},
        {"\"x\"", -5, ""},
        {"[{\"id\":\"abc\"}]", 0, "abc|<null>|-1|abc"},
        {"[{\"name\":\"\",\"id\":\"abc\"}]", 0, "|<null>|-1|abc"},
        {"[{\"name\":5,\"id\":\"abc\"}]", 0, "abc|<null>|-1|abc"},
        {"[7,{}]", 0, "<null>|<null>|-1|<null>;<null>|<null>|-1|<null>"},
        {"[{\"size\":1.5},{\"size\":\"12\"},{\"size\":1e3},{\"size\":0},{\"size\":-4}]", 0,
         "<null>|<null>|-1|<null>;<null>|<null>|-1|<null>;<null>|<null>|-1|<null>;"
         "<null>|<null>|0|<null>;<null>|<null>|-4|<null>"},
        {"[{\"name\":\"N\",\"downloadUrl\":\"L\",\"size\":9,\"id\":\"I\",\"name\":\"M\"}]", 0,
         "N|L|9|I"},
        {"{\"value\":[{\"id\":\"x\",\"size\":18446744073709551614}]}", 0, "x|<null>|-2|x"},
    };
    for (const auto &r : rows) {
        list_result got = read_list(plix_parse_downloader_list, r.value);
        EXPECT_EQ(got.code, r.code) << r.value;
        EXPECT_EQ(got.rows, r.rows) << r.value;
        if (r.code == -5) {
            EXPECT_EQ(got.msg, "downloader/list returned no list") << r.value;
        }
    }
}

std::string many(size_t n, const char *item) {
    std::string s = "[";
    for (size_t i = 0; i < n; ++i) s += (i ? "," : "") + std::string(item);
    return s + "]";
}

TEST(DownloaderList, RowLimit) {
    EXPECT_EQ(read_list(plix_parse_downloader_list, many(65536, "{}")).code, 0);
    list_result over = read_list(plix_parse_downloader_list, many(65537, "{}"));
    EXPECT_EQ(over.code, -5);
    EXPECT_EQ(over.msg, "downloader list larger than 65536 rows");
}

TEST(DownloaderList, EnvelopeFailurePassesThrough) {
    std::string body = "{\"success\":false,\"error\":\"badToken\"}";
    plix_links_guard g;
    char msg[768];
    EXPECT_EQ(plix_parse_downloader_list(body.data(), body.size(), &g.get(), msg, sizeof msg), -1);
}

TEST(Links, FreeTwiceIsHarmless) {
    plix_links list{};
    plix_links_free(&list);
    plix_links_free(nullptr);
    std::string body =
        "{\"success\":true,\"value\":" + many(17, "{\"name\":\"n\",\"downloadUrl\":\"u\"}") + "}";
    char msg[768];
    ASSERT_EQ(plix_parse_downloader_list(body.data(), body.size(), &list, msg, sizeof msg), 0);
    EXPECT_EQ(list.count, 17u);
    plix_links_free(&list);
    EXPECT_EQ(list.items, nullptr);
    EXPECT_EQ(list.texts, nullptr);
    plix_links_free(&list);
}

// ---------------------------------------------------------------- seedbox

TEST(SeedboxFiles, Shapes) {
    struct row {
        const char *value;
        int code;
        const char *msg;
        const char *rows;
    } rows[] = {
        {"[]", -2, "seedbox/list returned no torrent", ""},
        {"[1]", -2, "seedbox/list returned no torrent", ""},
        {"{}", -5, "seedbox/list returned no torrent list", ""},
        {"null", -5, "seedbox/list returned no torrent list", ""},
        {"{\"value\":5}", -5, "seedbox/list returned no torrent list", ""},
        {"[{}]", 0, "", ""},
        {"[{\"files\":{}}]", 0, "", ""},
        {"[{\"files\":[]}]", 0, "", ""},
        {"{\"value\":[{\"files\":[{\"id\":\"f1\"}]}]}", 0, "", "<null>|<null>|-1|f1"},
        {"[{\"files\":[{\"name\":\"a\",\"downloadUrl\":\"u\",\"size\":3},7]},{\"files\":[{}]}]", 0,
         "", "a|u|3|<null>;<null>|<null>|-1|<null>"},
        {"[{\"files\":[{\"size\":2.0},{\"size\":\"2\"}]}]", 0, "",
         "<null>|<null>|-1|<null>;<null>|<null>|-1|<null>"},
    };
    for (const auto &r : rows) {
        list_result got = read_list(plix_parse_seedbox_files, r.value);
        EXPECT_EQ(got.code, r.code) << r.value;
        EXPECT_EQ(got.msg, r.msg) << r.value;
        EXPECT_EQ(got.rows, r.rows) << r.value;
    }
    std::string ok = "[{\"files\":" + many(65536, "{}") + "}]";
    EXPECT_EQ(read_list(plix_parse_seedbox_files, ok).code, 0);
    std::string over = "[{\"files\":" + many(65537, "{}") + "}]";
    list_result big = read_list(plix_parse_seedbox_files, over);
    EXPECT_EQ(big.code, -5);
    EXPECT_EQ(big.msg, "seedbox torrent larger than 65536 files");
}

// -------------------------------------------------------------- add result

struct added {
    int code;
    std::string msg, payload, url, name;
    int64_t size;
};

added read_added(const std::string &value) {
    std::string body = "{\"success\":true,\"value\":" + value + "}";
    char *payload = nullptr, *url = nullptr, *name = nullptr;
    int64_t size = 0;
    char msg[768] = "";
    int code =
        plix_parse_added(body.data(), body.size(), &payload, &url, &name, &size, msg, sizeof msg);
    added a{code, msg, show(payload), show(url), show(name), size};
    free(payload);
    free(url);
    free(name);
    return a;
}

TEST(Added, PayloadAndDetails) {
    added a = read_added("{\"id\":\"x1\",\"name\":\"N\",\"downloadUrl\":\"U\",\"size\":5}");
    EXPECT_EQ(a.code, 0);
    EXPECT_EQ(a.payload,
              "{\"Files\":[{\"id\":\"x1\",\"name\":\"N\",\"downloadUrl\":\"U\",\"size\":5}]}");
    EXPECT_EQ(a.url, "U");
    EXPECT_EQ(a.name, "N");
    EXPECT_EQ(a.size, 5);

    // An array value stands in "Files" as it is.
    a = read_added("[{\"id\":\"a\"},{\"id\":\"b\"}]");
    EXPECT_EQ(a.code, 0);
    EXPECT_EQ(a.payload, "{\"Files\":[{\"id\":\"a\"},{\"id\":\"b\"}]}");
    EXPECT_EQ(a.url, "<null>");
    EXPECT_EQ(a.name, "<null>");
    EXPECT_EQ(a.size, -1);
}

TEST(Added, FilesFallback) {
    struct row {
        const char *value;
        const char *url, *name;
        int64_t size;
    } rows[] = {
        {"{\"id\":\"h\",\"files\":[{\"downloadUrl\":\"u\",\"name\":\"n\",\"size\":9}]}", "u", "n",
         9},
        {"{\"id\":\"h\",\"name\":\"own\",\"size\":1,\"files\":[{\"downloadUrl\":\"u\",\"name\":"
         "\"n\","
         "\"size\":9}]}",
         "u", "own", 1},
        {"{\"id\":\"h\",\"downloadUrl\":\"\",\"files\":[{\"downloadUrl\":\"u\"}]}", "<null>",
         "<null>", -1},
        {"{\"id\":\"h\",\"downloadUrl\":7,\"files\":[5]}", "<null>", "<null>", -1},
        {"{\"id\":\"h\",\"name\":\"\"}", "<null>", "", -1},
        {"{\"id\":\"h\",\"size\":0}", "<null>", "<null>", 0},
    };
    for (const auto &r : rows) {
        added a = read_added(r.value);
        EXPECT_EQ(a.code, 0) << r.value;
        EXPECT_EQ(a.url, r.url) << r.value;
        EXPECT_EQ(a.name, r.name) << r.value;
        EXPECT_EQ(a.size, r.size) << r.value;
    }
}

TEST(Added, Refusals) {
    struct row {
        const char *value;
        const char *msg;
    } rows[] = {
        {"[]", "downloader/add returned no hosted file"},
        {"[5]", "downloader/add returned no hosted file"},
        {"null", "downloader/add returned no hosted file"},
        {"\"id\"", "downloader/add returned no hosted file"},
        {"{\"id\":\"\"}", "downloader/add returned no hosted-file id"},
        {"{\"id\":123}", "downloader/add returned no hosted-file id"},
        {"[{\"id\":7},{\"id\":\"ok\"}]", "downloader/add returned no hosted-file id"},
    };
    for (const auto &r : rows) {
        added a = read_added(r.value);
        EXPECT_EQ(a.code, -5) << r.value;
        EXPECT_EQ(a.msg, r.msg) << r.value;
        EXPECT_EQ(a.payload, "<null>");
        EXPECT_EQ(a.size, -1);
    }
    // Only the payload is required.
    std::string body = "{\"success\":true,\"value\":{\"id\":\"x\"}}";
    char *payload = nullptr;
    char msg[768];
    ASSERT_EQ(plix_parse_added(body.data(), body.size(), &payload, nullptr, nullptr, nullptr, msg,
                               sizeof msg),
              0);
    EXPECT_STREQ(payload, "{\"Files\":[{\"id\":\"x\"}]}");
    free(payload);
}

TEST(Unlock, UrlNameSize) {
    struct row {
        const char *value;
        int code;
        const char *url, *name;
        int64_t size;
    } rows[] = {
        {"{\"downloadUrl\":\"d\",\"url\":\"u\",\"name\":\"n\",\"size\":4}", 0, "d", "n", 4},
        {"{\"downloadUrl\":\"\",\"url\":\"u\"}", 0, "u", "<null>", -1},
        {"{\"url\":\"\"}", -5, "<null>", "<null>", -1},
        {"{}", -5, "<null>", "<null>", -1},
        {"[{\"url\":\"u\"}]", -5, "<null>", "<null>", -1},
    };
    for (const auto &r : rows) {
        std::string body = std::string("{\"success\":true,\"value\":") + r.value + "}";
        char *url = nullptr, *name = nullptr;
        int64_t size = 0;
        char msg[768] = "";
        int code = plix_parse_unlock(body.data(), body.size(), &url, &name, &size, msg, sizeof msg);
        EXPECT_EQ(code, r.code) << r.value;
        EXPECT_EQ(show(url), r.url) << r.value;
        EXPECT_EQ(show(name), r.name) << r.value;
        EXPECT_EQ(size, r.size) << r.value;
        if (code) {
            EXPECT_STREQ(msg, "hosted file has no downloadUrl");
        }
        free(url);
        free(name);
    }
}

// ------------------------------------------------------------------ entry

TEST(Entry, Preference) {
    struct row {
        const char *entry;
        int code;
        const char *link;
        const char *msg;
    } rows[] = {
        {"{\"name\":\"n\",\"path\":\"P\",\"folder\":false,\"size\":1,\"locator\":\"L\",\"id\":"
         "\"i\"}",
         0, "L", ""},
        {"{\"locator\":\"\",\"link\":\"K\",\"path\":\"P\"}", 0, "K", ""},
        {"{\"locator\":7,\"path\":\"P\"}", 0, "P", ""},
        {"{\"path\":\"P\",\"locator\":\"Q\"}", 0, "Q", ""},
        {"{\"locator\":\"\",\"locator\":\"Q\",\"path\":\"P\"}", 0, "P", ""},
        {"{\"name\":\"downloader\",\"path\":\"downloader\",\"folder\":true,\"size\":-1}", 0,
         "downloader", ""},
        {"{}", -2, "<null>", "entry has no locator/link/path"},
        {"{\"locator\":\"\",\"link\":null,\"path\":5}", -2, "<null>",
         "entry has no locator/link/path"},
        {"[]", -8, "<null>", "entry is not a JSON object"},
        {"\"s\"", -8, "<null>", "entry is not a JSON object"},
        {"{\"locator\":\"L\",}", -8, "<null>", "entry is not a JSON object"},
        {nullptr, -8, "<null>", "entry is not a JSON object"},
    };
    for (const auto &r : rows) {
        char *link = reinterpret_cast<char *>(1);
        char msg[768] = "";
        int code = plix_entry_link(r.entry, &link, msg, sizeof msg);
        EXPECT_EQ(code, r.code) << show(r.entry);
        EXPECT_EQ(show(link), r.link) << show(r.entry);
        EXPECT_STREQ(msg, r.msg);
        free(link);
    }
}

}  // namespace
