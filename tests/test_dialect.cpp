// The service operations, through the flat exports and the fake transport
// (and a recording host transport where the wire format matters).
#include <gtest/gtest.h>

#include <string>

#include "dialect/plix_dialect.h"
#include "exchange/plix_http.h"
#include "exchange/plix_io_fake.h"
#include "exchange/plix_status.h"
#include "plix_test_util.h"
#include "recording_io.h"

namespace {

const std::string B = PLIX_TEST_BASE;
const std::string kInfos = B + "/account/infos?" + kKey;
const std::string kDownloader = B + "/downloader/list?page=0&perPage=50&" + kKey;
const std::string kSeedbox = B + "/seedbox/list?page=-1&perPage=-1&" + kKey;

// ------------------------------------------------------------- validate

struct validation : fake_test {};

TEST_F(validation, AnswerMembers) {
    struct row {
        const char *settings;
        const char *value;
        const char *members;  // after RuntimeType and ID
        const char *id;
    } rows[] = {
        {"{\"APIKey\":\"k3y-0001\",\"ID\":\" 7 \"}",
         "{\"email\":\"a@b.c\",\"username\":\"u\",\"premiumLeft\":0}",
         ",\"AccountEmail\":\"a@b.c\",\"AccountName\":\"u\",\"PremiumLeft\":\"0\"", "7"},
        {kSettings, "{\"premiumLeft\":3600}", ",\"PremiumLeft\":\"3600\"", ""},
        {kSettings, "{\"premiumLeft\":-1}", "", ""},
        {kSettings, "{\"premiumLeft\":2.5}", "", ""},
        {kSettings, "{\"premiumLeft\":\"100\"}", "", ""},
        {kSettings, "{\"premiumLeft\":18446744073709551615}", "", ""},
        {kSettings, "{\"email\":\"\",\"username\":null}", "", ""},
        {kSettings, "{\"email\":5,\"username\":\"\"}", "", ""},
        {kSettings, "{\"Email\":\"x\",\"premiumleft\":5}", "", ""},
        {kSettings, "[{\"email\":\"x\"}]", "", ""},
        {kSettings, "null", "", ""},
        {kSettings, "{\"username\":7,\"username\":\"late\"}", "", ""},
        {"{\"APIKey\":\"k3y-0001\",\"ID\":42}", "{\"username\":\"q\\\"\"}",
         ",\"AccountName\":\"q\\\"\"", "42"},
    };
    for (const auto &r : rows) {
        plix_fake_set("GET", kInfos.c_str(), 200, ok(r.value).c_str());
        std::string want = std::string("{\"RuntimeType\":\"DEBRIDLINK\",\"ID\":\"") + r.id + "\"" +
                           r.members + "}";
        EXPECT_EQ(validate(r.settings), (answer{0, want})) << r.value;
        EXPECT_STREQ(plix_fake_last_url(), kInfos.c_str());
    }
}

TEST_F(validation, Refusals) {
    struct row {
        int status;
        std::string body;
        answer want;
    } rows[] = {
        {401,
         refusal("badToken", "Bad API key"),
         {-1, err("account/infos: Debrid-Link error badToken: Bad API key")}},
        {200,
         refusal("badToken", "Bad API key"),
         {-1, err("Debrid-Link error badToken: Bad API key")}},
        {500, "oops", {-4, err("account/infos answered HTTP 500")}},
        {429, "", {-3, err("account/infos answered HTTP 429")}},
        {302, "", {-5, err("account/infos answered HTTP 302")}},
        {200, "{\"success\":true}", {-5, err("success response has no value")}},
        {200, "", {-5, err("empty response body")}},
    };
    for (const auto &r : rows) {
        plix_fake_set("GET", kInfos.c_str(), r.status, r.body.c_str());
        EXPECT_EQ(validate(), r.want) << r.status << " " << r.body;
    }
    plix_fake_reset();
    EXPECT_EQ(validate(), (answer{-2, err("account/infos answered HTTP 404")}));
    plix_fake_fail("GET", kInfos.c_str(), nullptr);
    EXPECT_EQ(validate(),
              (answer{-4, err("GET " + B + "/account/infos?apikey=***: connection refused")}));
    EXPECT_EQ(validate("{\"APIKey\":\"QX-NOP-TKN\"}"),
              (answer{-1, err("account/infos: Debrid-Link error badToken: Bad API key")}));
}

// -------------------------------------------------------------- listings

struct listing : fake_test {};

TEST_F(listing, Downloader) {
    plix_fake_set("GET", kDownloader.c_str(), 200,
                  ok("[{\"id\":\"d1\",\"name\":\"Show.S01E01.mkv\",\"downloadUrl\":"
                     "\"https://dl.example/x?a=1&b=2\",\"size\":1234},{\"id\":\"d2\"},7]")
                      .c_str());
    EXPECT_EQ(
        call(plix_list, "downloader"),
        (answer{0,
                "[{\"name\":\"Show.S01E01.mkv\",\"path\":\"https://dl.example/x?a=1&b=2\","
                "\"folder\":false,\"size\":1234,\"locator\":\"https://dl.example/x?a=1&b=2\","
                "\"id\":\"d1\"},"
                "{\"name\":\"d2\",\"path\":\"\",\"folder\":false,\"size\":-1,\"locator\":\"\","
                "\"id\":\"d2\"},"
                "{\"name\":\"\",\"path\":\"\",\"folder\":false,\"size\":-1,\"locator\":\"\","
                "\"id\":\"\"}]"}));
    EXPECT_EQ(plix_fake_calls(nullptr, nullptr), 1);
    EXPECT_EQ(call(plix_list, "/downloader").code, 0);

    plix_fake_set("GET", kDownloader.c_str(), 200, ok("{\"value\":[]}").c_str());
    EXPECT_EQ(call(plix_list, "downloader"), (answer{0, "[]"}));
    plix_fake_set("GET", kDownloader.c_str(), 404, "{\"error\":\"notFound\"}");
    EXPECT_EQ(call(plix_list, "downloader"),
              (answer{-2, err("downloader/list: Debrid-Link error notFound")}));
    plix_fake_set("GET", kDownloader.c_str(), 200, ok("{}").c_str());
    EXPECT_EQ(call(plix_list, "downloader"), (answer{-5, err("downloader/list returned no list")}));
}

TEST_F(listing, Seedbox) {
    const char *torrents =
        "[{\"id\":\"\"},{\"id\":\"t1\",\"name\":\"Film (2019)\",\"totalSize\":99,"
        "\"status\":4294967297},{\"id\":\"t2\"},7,{},{\"id\":5},"
        "{\"id\":\"t3\",\"name\":\"\",\"totalSize\":1.5,\"status\":\"6\"},"
        "{\"id\":\"t4\",\"totalSize\":\"7\",\"status\":-2}]";
    const std::string want =
        "[{\"name\":\"Film (2019)\",\"path\":\"st1\",\"folder\":true,\"size\":99,\"status\":1,"
        "\"id\":\"t1\",\"locator\":\"st1\"},"
        "{\"name\":\"t2\",\"path\":\"st2\",\"folder\":true,\"size\":-1,\"status\":-1,\"id\":\"t2\","
        "\"locator\":\"st2\"},"
        "{\"name\":\"t3\",\"path\":\"st3\",\"folder\":true,\"size\":-1,\"status\":-1,\"id\":\"t3\","
        "\"locator\":\"st3\"},"
        "{\"name\":\"t4\",\"path\":\"st4\",\"folder\":true,\"size\":-1,\"status\":-2,\"id\":\"t4\","
        "\"locator\":\"st4\"}]";
    plix_fake_set("GET", kSeedbox.c_str(), 200, ok(torrents).c_str());
    EXPECT_EQ(call(plix_list, "seedbox"), (answer{0, want}));
    plix_fake_set("GET", kSeedbox.c_str(), 200,
                  ok(std::string("{\"value\":") + torrents + "}").c_str());
    EXPECT_EQ(call(plix_list, "/seedbox"), (answer{0, want}));
    for (const char *value : {"{\"value\":{}}", "{\"items\":[]}", "{}", "null", "5"}) {
        plix_fake_set("GET", kSeedbox.c_str(), 200, ok(value).c_str());
        EXPECT_EQ(call(plix_list, "seedbox"),
                  (answer{-5, err("seedbox/list returned no torrent list")}))
            << value;
    }
}

TEST_F(listing, LongTorrentIdIsCutInThePathOnly) {
    std::string id(2000, 'a');
    plix_fake_set("GET", kSeedbox.c_str(), 200, ok("[{\"id\":\"" + id + "\"}]").c_str());
    std::string path = "s" + id.substr(0, 1030);
    EXPECT_EQ(call(plix_list, "seedbox"),
              (answer{0, "[{\"name\":\"" + id + "\",\"path\":\"" + path +
                             "\",\"folder\":true,\"size\":-1,\"status\":-1,\"id\":\"" + id +
                             "\",\"locator\":\"" + path + "\"}]"}));
}

TEST_F(listing, TorrentFolder) {
    std::string url = B + "/seedbox/list?ids=42&" + kKey;
    plix_fake_set("GET", url.c_str(), 200,
                  ok("[{\"id\":\"42\",\"files\":[{\"id\":\"f1\",\"name\":\"Show.S02E03.mkv\","
                     "\"downloadUrl\":\"https://dl.example/f1\",\"size\":7},{\"id\":\"f2\"}]}]")
                      .c_str());
    EXPECT_EQ(call(plix_list, "s42"),
              (answer{0,
                      "[{\"name\":\"Show.S02E03.mkv\",\"path\":\"https://dl.example/f1\","
                      "\"folder\":false,\"size\":7,\"locator\":\"https://dl.example/f1\","
                      "\"id\":\"f1\"},"
                      "{\"name\":\"\",\"path\":\"\",\"folder\":false,\"size\":-1,\"locator\":\"\","
                      "\"id\":\"f2\"}]"}));
    plix_fake_set("GET", url.c_str(), 200, ok("[{\"id\":\"42\"}]").c_str());
    EXPECT_EQ(call(plix_list, "s42"), (answer{0, "[]"}));
    plix_fake_set("GET", url.c_str(), 200, ok("[]").c_str());
    EXPECT_EQ(call(plix_list, "s42"), (answer{-2, err("seedbox/list returned no torrent")}));

    call(plix_list, "sa&b c");
    EXPECT_EQ(std::string(plix_fake_last_url()), B + "/seedbox/list?ids=a%26b%20c&" + kKey);

    plix_buf_guard out;
    char msg[768] = "";
    plix_cfg cfg{};
    plix_sess sess{plix_io_fake(), &cfg};
    EXPECT_EQ(plix_do_list_seedbox_item(&sess, "", &out.get(), msg, sizeof msg), -2);
    EXPECT_STREQ(msg, "no such folder");
    EXPECT_EQ(plix_do_list_seedbox_item(&sess, nullptr, &out.get(), msg, sizeof msg), -2);
}

// ---------------------------------------------------------------- stream

struct streaming : fake_test {};

TEST_F(streaming, LocatorComesBackVerbatim) {
    plix_fake_set(
        "GET", kDownloader.c_str(), 200,
        ok("[{\"id\":\"d1\",\"name\":\"n\",\"downloadUrl\":\"https://dl.example/a?b=1\"}]")
            .c_str());
    answer listed = call(plix_list, "downloader");
    ASSERT_EQ(listed.code, 0);
    std::string item = listed.out.substr(1, listed.out.size() - 2);
    EXPECT_EQ(call(plix_stream_url, item.c_str()),
              (answer{0, "{\"url\":\"https://dl.example/a?b=1\"}"}));
    EXPECT_EQ(plix_fake_calls(nullptr, nullptr), 1);  // no request of its own

    EXPECT_EQ(call(plix_stream_url, "{\"locator\":\"a\\\"b\\\\c\"}"),
              (answer{0, "{\"url\":\"a\\\"b\\\\c\"}"}));
    EXPECT_EQ(call(plix_stream_url, "{\"path\":\"s42\",\"locator\":\"s42\"}"),
              (answer{0, "{\"url\":\"s42\"}"}));
    EXPECT_EQ(call(plix_stream_url, "{}"), (answer{-2, err("entry has no locator/link/path")}));
    EXPECT_EQ(call(plix_stream_url, "[]"), (answer{-8, err("entry is not a JSON object")}));

    plix_buf_guard out;
    char msg[768] = "";
    EXPECT_EQ(plix_do_stream(nullptr, "", &out.get(), msg, sizeof msg), -2);
    EXPECT_STREQ(msg, "entry has no locator");
}

// -------------------------------------------------------- link tests

TEST(Classify, Magnets) {
    const std::string hex40(40, 'a'), b32(32, 'Z');
    struct row {
        std::string link;
        int magnet;
    } rows[] = {
        {"magnet:?xt=urn:btih:" + hex40, 1},
        {"magnet:?xt=urn:btih:" + hex40 + "&dn=Show", 1},
        {"magnet:?xt=urn:btih:0123456789ABCDEFabcdef0123456789abcdef01", 1},
        {"magnet:?xt=urn:btih:" + hex40.substr(1), 0},
        {"magnet:?xt=urn:btih:" + hex40 + "a", 0},
        {"magnet:?xt=urn:btih:" + b32, 1},
        {"magnet:?xt=urn:btih:abcdefghijklmnopqrstuvwxyz234567", 1},
        {"magnet:?xt=urn:btih:abcdefghijklmnopqrstuvwxyz234560", 0},
        {"magnet:?xt=urn:btih:abcdefghijklmnopqrstuvwxyz234568", 0},
        {"magnet:?xt=urn:btih:" + hex40.substr(1) + "g", 0},
        {"magnet:?dn=Show&xt=urn:btih:" + hex40, 1},
        {"MAGNET:?xt=urn:btih:" + hex40, 0},
        {"magnet:?xt=URN:BTIH:" + hex40, 0},
        {"magnet:?xt=urn:btmh:" + hex40, 0},
        {"magnet:?xt=urn:btih:&dn=x", 0},
        {"magnet:?xt=urn:btih:", 0},
        {"magnet:?dn=xt=urn:btih:zz&xt=urn:btih:" + hex40, 0},
        {"magnet:xt=urn:btih:" + hex40, 0},
        {"", 0},
    };
    for (const auto &r : rows) EXPECT_EQ(plix_is_magnet_link(r.link.c_str()), r.magnet) << r.link;
    EXPECT_EQ(plix_is_magnet_link(nullptr), 0);
}

TEST(Classify, TorrentFiles) {
    struct row {
        std::string bytes;
        int torrent;
    } rows[] = {
        {"d8:announce3:url4:infod4:name1:xee", 1},
        {"d4:infod6:lengthi1e4:pathl1:aeee", 1},
        {"d8:announce3:urlee_padding_", 0},
        {"d4:infod6:lengthi1eeeeeeeeee", 0},
        {"d14:info_extra8:announceee", 1},
        {"D8:announce4:info", 0},
        {" 8:announce4:info", 0},
        {"l8:announce4:info", 0},
        {"d4:info8:annou", 0},  // a key running past the end does not count
        {"d4:info6:length4:path", 1},
        {std::string("d4:info\0\0\x01"
                     "8:announce",
                     20),
         1},
    };
    for (const auto &r : rows)
        EXPECT_EQ(plix_is_torrent_file(r.bytes.data(), r.bytes.size()), r.torrent) << r.bytes;
    EXPECT_EQ(plix_is_torrent_file("d8:announce4:in", 15), 0);
    EXPECT_EQ(plix_is_torrent_file(nullptr, 0), 0);
    EXPECT_EQ(plix_is_torrent_file(nullptr, 100), 0);
    // The bytes just past length are never read.
    std::string s = "d4:info8:announce";
    EXPECT_EQ(plix_is_torrent_file(s.data(), s.size() - 1), 0);
}

TEST(Classify, WholeBencodedDictionary) {
    const std::string deep = std::string(255, 'l') + std::string(255, 'e');
    struct row {
        std::string bytes;
        int whole;
    } rows[] = {
        {"de", 1},
        {"d8:announce9:udp://t/a4:infod4:name4:file6:lengthi-3eee", 1},
        {"d1:ai0e1:bl1:xi-0ei007ee1:cdee", 1},  // not canonical, still whole
        {"d0:0:e", 1},
        {"d4:info" + deep + "e", 1},  // 256 levels with the outer one
        {"d4:info" + std::string(256, 'l') + std::string(256, 'e') + "e", 0},
        {"d8:announce9:udp://t/a4:infod6:pieces20:\x01\x02", 0},  // cut short
        {"d8:announce9:udp://t/a4:infod4:name4:filee", 0},        // outer "e" missing
        {"d4:name4:filee ", 0},                                   // a byte after the end
        {"d4:name4:fileede", 0},                                  // two values
        {"d4:name5:file", 0},                                     // string runs past the end
        {"d4:name99999999999999999999999:x", 0},                  // length beyond any text
        {"di1e1:xe", 0},                                          // key that is no string
        {"d1:xi1-ee", 0},
        {"d1:xiee", 0},
        {"d1:xi-e", 0},
        {"d1:x:e", 0},
        {"d1:xq", 0},
        {"l1:xe", 0},
        {"", 0},
        {"d", 0},
    };
    for (const auto &r : rows)
        EXPECT_EQ(plix_bencode_complete(r.bytes.data(), r.bytes.size()), r.whole) << r.bytes;
    EXPECT_EQ(plix_bencode_complete(nullptr, 0), 0);
    // A NUL byte inside a string is just a byte; the bytes past length are
    // never read.
    const char with_nul[] = "d1:x3:a\0be";
    EXPECT_EQ(plix_bencode_complete(with_nul, sizeof with_nul - 1), 1);
    EXPECT_EQ(plix_bencode_complete(with_nul, sizeof with_nul - 2), 0);
}

// -------------------------------------------------------------- download

const std::string kHash = "0123456789abcdef0123456789abcdef01234567";
const std::string kMagnet = "magnet:?xt=urn:btih:" + kHash;
std::string add_url(const std::string &encoded_link) {
    return B + "/downloader/add?url=" + encoded_link + "&password=&" + kKey;
}
std::string config(const std::string &link) { return "{\"Link\":\"" + link + "\"}"; }
const std::string kMagnetAdd = add_url("magnet%3A%3Fxt%3Durn%3Abtih%3A" + kHash);
const char kHostedFile[] =
    "{\"id\":\"h1\",\"name\":\"Film.2019.mkv\",\"downloadUrl\":\"https://dl.example/h1\","
    "\"size\":700}";
const std::string kHostedAnswer =
    "{\"InstantURL\":\"https://dl.example/h1\",\"InstantName\":\"Film.2019.mkv\","
    "\"InstantSize\":700,\"Payload\":{\"Files\":[" +
    std::string(kHostedFile) + "]}}";

struct downloading : fake_test {
    void SetUp() override {
        fake_test::SetUp();
        plix_allow_writes(1);
    }
};

TEST_F(downloading, GateComesFirst) {
    plix_allow_writes(0);
    for (const char *cfg : {"{\"Link\":\"x\"}", "[]", static_cast<const char *>(nullptr)})
        EXPECT_EQ(call(plix_download, cfg),
                  (answer{-7, err("download() adds items to the account; call "
                                  "plix_allow_writes(1) first")}));
    EXPECT_EQ(plix_fake_calls(nullptr, nullptr), 0);
    plix_allow_writes(5);
    EXPECT_NE(call(plix_download, "{\"Link\":\"x\"}").code, -7);
}

TEST_F(downloading, ConfigRefusals) {
    std::string long_link(3073, 'a');
    struct row {
        const char *cfg;
        const char *msg;
    } rows[] = {
        {nullptr, "config is not a JSON object"},
        {"[]", "config is not a JSON object"},
        {"not json", "config is not a JSON object"},
        {"{\"Link\":\"x\",}", "config is not a JSON object"},
        {"{/*c*/\"Link\":\"x\"}", "config is not a JSON object"},
        {"{}", "config has no Link"},
        {"{\"Link\":\"\"}", "config has no Link"},
        {"{\"Link\":7}", "config has no Link"},
        {"{\"Link\":null}", "config has no Link"},
        {"{\"link\":\"x\"}", "config has no Link"},
        {"{\"Link\":\"\",\"Link\":\"x\"}", "config has no Link"},
    };
    for (const auto &r : rows) EXPECT_EQ(call(plix_download, r.cfg), (answer{-8, err(r.msg)}));
    EXPECT_EQ(call(plix_download, config(long_link).c_str()),
              (answer{-8, err("Link longer than 3 KiB")}));
    EXPECT_EQ(plix_fake_calls(nullptr, nullptr), 0);

    plix_dlcfg rec{};
    char msg[768];
    ASSERT_EQ(plix_dlcfg_parse(config(std::string(3072, 'a')).c_str(), &rec, msg, sizeof msg), 0);
    EXPECT_EQ(strlen(rec.link), 3072u);
    plix_dlcfg_free(&rec);
    ASSERT_EQ(plix_dlcfg_parse("{\"Link\":\" x \",\"Season\":2,\"FullSeason\":true}", &rec, msg,
                               sizeof msg),
              0);
    EXPECT_STREQ(rec.link, " x ");
    plix_dlcfg_free(&rec);
    plix_dlcfg_free(&rec);
}

TEST_F(downloading, MagnetIsOneRequest) {
    plix_fake_set("POST", kMagnetAdd.c_str(), 200, ok(kHostedFile).c_str());
    EXPECT_EQ(call(plix_download, config(kMagnet).c_str()), (answer{0, kHostedAnswer}));
    EXPECT_EQ(plix_fake_calls(nullptr, nullptr), 1);

    struct row {
        int status;
        std::string body;
        answer want;
    } rows[] = {
        {401,
         refusal("badToken", "Bad API key"),
         {-1, err("downloader/add: Debrid-Link error badToken: Bad API key")}},
        {503, "", {-4, err("downloader/add answered HTTP 503")}},
        {404, "", {-2, err("downloader/add answered HTTP 404")}},
        {200, refusal("maxLink", "too many"), {-3, err("Debrid-Link error maxLink: too many")}},
        {200, refusal("notDebrid", "down"), {-4, err("Debrid-Link error notDebrid: down")}},
        {200, refusal("hostNotValid", "no"), {-2, err("Debrid-Link error hostNotValid: no")}},
        // A status without a class of its own takes the class of the code.
        {400,
         refusal("floodDetected", "wait"),
         {-3, err("downloader/add: Debrid-Link error floodDetected: wait")}},
        {400,
         refusal("badArguments", "x"),
         {-5, err("downloader/add: Debrid-Link error badArguments: x")}},
        {400, "{\"error\":", {-5, err("downloader/add answered HTTP 400")}},
    };
    for (const auto &r : rows) {
        plix_fake_reset();
        plix_fake_set("POST", kMagnetAdd.c_str(), r.status, r.body.c_str());
        EXPECT_EQ(call(plix_download, config(kMagnet).c_str()), r.want) << r.status;
        EXPECT_EQ(plix_fake_calls(nullptr, nullptr), 1) << r.status;  // never a fetch
    }
}

TEST_F(downloading, AnswerSizes) {
    struct row {
        const char *file;
        const char *want;
    } rows[] = {
        {"{\"id\":\"h\"}",
         "{\"InstantURL\":\"\",\"InstantName\":\"\",\"Payload\":{\"Files\":[{\"id\":\"h\"}]}}"},
        {"{\"id\":\"h\",\"size\":0}",
         "{\"InstantURL\":\"\",\"InstantName\":\"\",\"InstantSize\":0,\"Payload\":{\"Files\":[{"
         "\"id\":"
         "\"h\",\"size\":0}]}}"},
        {"[{\"id\":\"a\"},{\"id\":\"b\"}]",
         "{\"InstantURL\":\"\",\"InstantName\":\"\",\"Payload\":{\"Files\":[{\"id\":\"a\"},{\"id\":"
         "\"b\"}]}}"},
    };
    for (const auto &r : rows) {
        plix_fake_set("POST", kMagnetAdd.c_str(), 200, ok(r.file).c_str());
        EXPECT_EQ(call(plix_download, config(kMagnet).c_str()), (answer{0, r.want}));
    }
}

const std::string kHoster = "https://hoster.example/file/1?x=1&y=a b";
const std::string kHosterAdd =
    add_url("https%3A%2F%2Fhoster.example%2Ffile%2F1%3Fx%3D1%26y%3Da%20b");
const std::string kTorrentBody = "d8:announce9:udp://t/a4:infod4:name4:fileee";
const std::string kSeedboxAdd = B + "/seedbox/add?" + kKey;

TEST_F(downloading, HosterAcceptedOrRefusedWithoutFetch) {
    plix_fake_set("POST", kHosterAdd.c_str(), 200, ok(kHostedFile).c_str());
    EXPECT_EQ(call(plix_download, config(kHoster).c_str()), (answer{0, kHostedAnswer}));
    EXPECT_EQ(plix_fake_calls(nullptr, nullptr), 1);

    struct row {
        int status;
        std::string body;
        answer want;
    } rows[] = {
        {401, "", {-1, err("downloader/add answered HTTP 401")}},
        {429, "", {-3, err("downloader/add answered HTTP 429")}},
        {200,
         refusal("maxLink", "limit"),
         {-3, err("downloader/add: Debrid-Link error maxLink: limit")}},
        {200,
         refusal("badToken", "Bad API key"),
         {-1, err("downloader/add: Debrid-Link error badToken: Bad API key")}},
        {200,
         refusal("floodDetected", "slow down"),
         {-3, err("downloader/add: Debrid-Link error floodDetected: slow down")}},
        {400,
         refusal("maxLinkHost", "hoster quota"),
         {-3, err("downloader/add: Debrid-Link error maxLinkHost: hoster quota")}},
        {200, refusal("hidedToken", ""), {-1, err("downloader/add: Debrid-Link error hidedToken")}},
    };
    for (const auto &r : rows) {
        plix_fake_reset();
        plix_fake_set("POST", kHosterAdd.c_str(), r.status, r.body.c_str());
        plix_fake_set("GET", kHoster.c_str(), 200, kTorrentBody.c_str());
        EXPECT_EQ(call(plix_download, config(kHoster).c_str()), r.want) << r.status;
        EXPECT_EQ(plix_fake_calls("GET", kHoster.c_str()), 0) << r.status;
    }
}

TEST_F(downloading, HosterRefusalLeadsToTheFetch) {
    const std::string not_a_link = "Link is not a magnet, a redirect-to-magnet or a torrent file";
    struct row {
        int status;
        std::string body;
        std::string fetched;
        answer want;
    } rows[] = {
        {404, "", "<html>no</html>", {-5, err(not_a_link)}},
        {200, refusal("unsupportedHoster", "no"), "<html>no</html>", {-5, err(not_a_link)}},
        {200, ok("{\"id\":\"\"}"), "", {-5, err(not_a_link)}},
        {400, "", "d4:info", {-5, err(not_a_link)}},
        // The service failing says nothing about the link: its message stands.
        {500, "", "<html>no</html>", {-4, err("downloader/add answered HTTP 500")}},
        {503,
         refusal("serverBusy", "later"),
         "",
         {-4, err("downloader/add: Debrid-Link error serverBusy: later")}},
        {200, refusal("hostNotValid", "no"), "<html>no</html>", {-5, err(not_a_link)}},
        // A hoster that is down (a 2xx envelope) is reported as the service
        // failing when the link is no torrent file.
        {200,
         refusal("notDebrid", "hoster down"),
         "<html>no</html>",
         {-4, err("downloader/add: Debrid-Link error notDebrid: hoster down")}},
    };
    for (const auto &r : rows) {
        plix_fake_reset();
        plix_fake_set("POST", kHosterAdd.c_str(), r.status, r.body.c_str());
        plix_fake_set("GET", kHoster.c_str(), 200, r.fetched.c_str());
        EXPECT_EQ(call(plix_download, config(kHoster).c_str()), r.want) << r.status;
        EXPECT_EQ(plix_fake_calls("GET", kHoster.c_str()), 1) << r.status;
        EXPECT_EQ(plix_fake_calls(nullptr, nullptr), 2) << r.status;
    }
    // A fetch that fails is reported as such.
    plix_fake_reset();
    plix_fake_set("POST", kHosterAdd.c_str(), 404, "");
    plix_fake_fail("GET", kHoster.c_str(), "host unreachable");
    EXPECT_EQ(call(plix_download, config(kHoster).c_str()),
              (answer{-4, err("GET " + kHoster + ": host unreachable")}));
}

TEST_F(downloading, TorrentFallbackUploads) {
    plix_fake_set("POST", kHosterAdd.c_str(), 404, "");
    plix_fake_set("GET", kHoster.c_str(), 404, kTorrentBody.c_str());  // status not examined
    plix_fake_set("POST", kSeedboxAdd.c_str(), 200, ok(kHostedFile).c_str());
    EXPECT_EQ(call(plix_download, config(kHoster).c_str()), (answer{0, kHostedAnswer}));
    EXPECT_EQ(plix_fake_calls(nullptr, nullptr), 3);
    EXPECT_EQ(std::string(plix_fake_last_body(kSeedboxAdd.c_str())), kTorrentBody);

    plix_fake_set("POST", kSeedboxAdd.c_str(), 401, refusal("badToken", "Bad API key").c_str());
    EXPECT_EQ(call(plix_download, config(kHoster).c_str()),
              (answer{-1, err("seedbox/add: Debrid-Link error badToken: Bad API key")}));
    plix_fake_set("POST", kSeedboxAdd.c_str(), 200, ok("[]").c_str());
    EXPECT_EQ(call(plix_download, config(kHoster).c_str()),
              (answer{-5, err("downloader/add returned no hosted file")}));
}

// A torrent file that did not arrive whole (cut at a NUL byte of its piece
// hashes, or damaged) is added by its link; nothing cut is uploaded.
TEST_F(downloading, CutTorrentFileIsAddedByItsLink) {
    const std::string seedbox_by_link =
        B + "/seedbox/add?url=https%3A%2F%2Fhoster.example%2Ffile%2F1%3Fx%3D1%26y%3Da%20b&" + kKey;
    const std::string cut = "d8:announce9:udp://t/a4:infod4:name4:file6:pieces20:\x01\x02";
    for (const std::string &fetched : {cut, kTorrentBody.substr(0, kTorrentBody.size() - 1)}) {
        recording_io io;
        io.add(404, "");
        io.add(200, fetched);
        io.add(200, ok(kHostedFile));
        plix_io t = io.table();
        ASSERT_EQ(plix_set_io(&t), 0);
        EXPECT_EQ(call(plix_download, config(kHoster).c_str()), (answer{0, kHostedAnswer}));
        ASSERT_EQ(io.seen.size(), 3u);
        EXPECT_EQ(io.seen[2].method, "POST");
        EXPECT_EQ(io.seen[2].url, seedbox_by_link);
        EXPECT_EQ(io.seen[2].content_type, "application/x-www-form-urlencoded");
        EXPECT_EQ(io.seen[2].body, "");
        EXPECT_EQ(io.handed, io.returned);
    }
    // The seedbox's answer is read as an upload's would be.
    plix_use_fake();
    plix_fake_set("POST", kHosterAdd.c_str(), 404, "");
    plix_fake_set("GET", kHoster.c_str(), 200, cut.c_str());
    plix_fake_set("POST", seedbox_by_link.c_str(), 400,
                  refusal("notAddTorrent", "cannot add").c_str());
    EXPECT_EQ(call(plix_download, config(kHoster).c_str()),
              (answer{-5, err("seedbox/add: Debrid-Link error notAddTorrent: cannot add")}));
    EXPECT_EQ(plix_fake_calls("POST", kSeedboxAdd.c_str()), 0);
}

TEST_F(downloading, WireFormatThroughAHostTransport) {
    recording_io io;
    io.add(404, "");
    io.add(200, kTorrentBody);
    io.add(200, ok(kHostedFile));
    plix_io t = io.table();
    ASSERT_EQ(plix_set_io(&t), 0);
    EXPECT_EQ(call(plix_download, config(kHoster).c_str()), (answer{0, kHostedAnswer}));
    ASSERT_EQ(io.seen.size(), 3u);
    EXPECT_EQ(io.seen[0].method, "POST");
    EXPECT_EQ(io.seen[0].url, kHosterAdd);
    EXPECT_EQ(io.seen[0].content_type, "application/x-www-form-urlencoded");
    EXPECT_EQ(io.seen[0].body, "");
    EXPECT_EQ(io.seen[1].method, "GET");
    EXPECT_EQ(io.seen[1].url, kHoster);
    EXPECT_EQ(io.seen[2].method, "POST");
    EXPECT_EQ(io.seen[2].url, kSeedboxAdd);
    EXPECT_EQ(io.seen[2].content_type, "multipart/form-data; boundary=plixtorrent");
    EXPECT_EQ(io.seen[2].body, kTorrentBody);
    EXPECT_EQ(io.handed, io.returned);
}

TEST_F(downloading, LinkEncodingAndUrlBound) {
    // 3072 bytes that all need encoding make a URL past 8 KiB.
    std::string spaces(3072, ' ');
    EXPECT_EQ(call(plix_download, config(spaces).c_str()),
              (answer{-4, err("request URL longer than 8 KiB")}));
    EXPECT_EQ(plix_fake_calls(nullptr, nullptr), 0);
    plix_fake_set("POST", kHosterAdd.c_str(), 200, ok(kHostedFile).c_str());
    EXPECT_EQ(call(plix_download, config(kHoster).c_str()).code, 0);
    EXPECT_EQ(plix_fake_calls("POST", kHosterAdd.c_str()), 1);
}

// ---------------------------------------------------------------- removal

struct removal : fake_test {
    plix_cfg cfg{const_cast<char *>("k3y-0001"), nullptr};
    plix_sess sess{plix_io_fake(), &cfg};
    char msg[768] = "";
    int remove(const char *id) { return plix_do_delete(&sess, id, msg, sizeof msg); }
};

TEST_F(removal, PathsByKind) {
    struct row {
        const char *id;
        std::string path;
    } rows[] = {
        {"sABC", "seedbox/ABC/remove"},
        {"dXYZ", "downloader/XYZ/remove"},
        {"XYZ", "downloader/XYZ/remove"},
        {"s", "seedbox//remove"},
        {"sa/b?c&d#e f", "seedbox/a%2Fb%3Fc%26d%23e%20f/remove"},
    };
    for (const auto &r : rows) {
        std::string url = B + "/" + r.path + "?" + kKey;
        plix_fake_set("GET", url.c_str(), 200, refusal("x", "y").c_str());  // body not read
        EXPECT_EQ(remove(r.id), 0) << r.id;
        EXPECT_EQ(std::string(plix_fake_last_url()), url);
    }
    EXPECT_EQ(remove(nullptr), -8);
    EXPECT_STREQ(msg, "no id to delete");
    EXPECT_EQ(remove(""), -8);
}

TEST_F(removal, MessagesNameThePathAsGiven) {
    EXPECT_EQ(remove("sa/b"), -2);
    EXPECT_STREQ(msg, "seedbox/a/b/remove answered HTTP 404");
    std::string id = "s" + std::string(300, 'q');
    EXPECT_EQ(remove(id.c_str()), -2);
    std::string label = ("seedbox/" + id.substr(1) + "/remove").substr(0, 255);
    EXPECT_EQ(std::string(msg), label + " answered HTTP 404");
    // The request names the whole item.
    EXPECT_EQ(std::string(plix_fake_last_url()),
              B + "/seedbox/" + id.substr(1) + "/remove?" + kKey);
}

}  // namespace
