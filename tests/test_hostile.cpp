// Hostile input: every entry point with settings and arguments a careless
// or malicious host might pass, service answers a broken or malicious
// service might send, and the API key under every failure path. Each case
// must end with its code and a well-formed buffer: never a crash, a hang
// or the key in the open.
#include <ctype.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <string.h>
#include <yyjson.h>

#include <functional>
#include <string>
#include <vector>

#include "dialect/plix_session.h"
#include "exchange/plix_http.h"
#include "exchange/plix_io_fake.h"
#include "exchange/plix_status.h"
#include "plix.h"
#include "plix_test_util.h"
#include "util/plix_redact.h"

namespace {

const std::string B = PLIX_TEST_BASE;
constexpr size_t kMiB = 1 << 20;
const std::string kHash = "0123456789abcdef0123456789abcdef01234567";
const std::string kMagnet = "magnet:?xt=urn:btih:" + kHash;
const std::string kInfos = B + "/account/infos?" + kKey;

bool strict_json(const std::string &s) {
    yyjson_doc *d = yyjson_read(s.c_str(), s.size(), 0);
    yyjson_doc_free(d);
    return d != nullptr;
}

// An operation with its argument fixed, called with some settings.
using entry = std::function<int(const char *settings, char *out, int cap)>;
struct entry_point {
    const char *name;
    entry call;
};

// Every operation entry point, flat and through the handler table, each
// with an argument that succeeds on the fake given good settings.
std::vector<entry_point> entry_points() {
    static const std::string item = "{\"locator\":\"https://dl.example/x\"}";
    static const std::string cfg = "{\"Link\":\"" + kMagnet + "\"}";
    const plix_handler *h = plhnd_get();
    return {
        {"plix_validate", [](const char *s, char *o, int c) { return plix_validate(s, o, c); }},
        {"plix_list", [](const char *s, char *o, int c) { return plix_list(s, "", o, c); }},
        {"plix_stream_url",
         [](const char *s, char *o, int c) { return plix_stream_url(s, item.c_str(), o, c); }},
        {"plix_download",
         [](const char *s, char *o, int c) { return plix_download(s, cfg.c_str(), o, c); }},
        {"handler validate",
         [h](const char *s, char *o, int c) { return h->validate(plix_io_fake(), s, o, c); }},
        {"handler list",
         [h](const char *s, char *o, int c) { return h->list(plix_io_fake(), s, nullptr, o, c); }},
        {"handler stream_url",
         [h](const char *s, char *o, int c) {
             return h->stream_url(plix_io_fake(), s, item.c_str(), o, c);
         }},
        {"handler download",
         [h](const char *s, char *o, int c) {
             return h->download(plix_io_fake(), s, cfg.c_str(), o, c);
         }},
    };
}

// One call with a large buffer full of '#'; checks what holds for every
// outcome: the buffer is the answer (valid JSON) or the error document of
// the last error, and the result channel agrees.
struct outcome {
    int code;
    std::string out, error;
};
outcome run(const std::function<int(char *, int)> &call) {
    // One buffer for all calls, kept full of '#': each call's bytes are
    // filled in again afterwards.
    static std::vector<char> out(8 * kMiB, '#');
    int code = call(out.data(), static_cast<int>(out.size()));
    outcome o{code, out.data(), plix_last_error()};
    EXPECT_LT(o.out.size(), out.size());
    memset(out.data(), '#', o.out.size() + 1);
    if (code == 0) {
        EXPECT_TRUE(strict_json(o.out)) << o.out.substr(0, 200);
        EXPECT_EQ(o.out, plix_result_json());
        EXPECT_EQ(o.error, "");
    } else {
        EXPECT_FALSE(o.error.empty());
        EXPECT_TRUE(strict_json(o.out)) << o.out.substr(0, 200);
        EXPECT_STREQ(plix_result_json(), "");
    }
    return o;
}

struct hostile : fake_test {
    void SetUp() override {
        fake_test::SetUp();
        plix_allow_writes(1);
        plix_fake_set("GET", kInfos.c_str(), 200, ok("{\"username\":\"u\"}").c_str());
        plix_fake_set("POST",
                      (B + "/downloader/add?url=magnet%3A%3Fxt%3Durn%3Abtih%3A" + kHash +
                       "&password=&" + kKey)
                          .c_str(),
                      200, ok("{\"id\":\"h1\",\"downloadUrl\":\"https://dl.example/h1\"}").c_str());
    }
};

// ------------------------------------------------------------ settings

std::string nested(size_t depth) { return std::string(depth, '[') + std::string(depth, ']'); }
std::string nested_object(size_t depth) {
    std::string s;
    for (size_t i = 0; i < depth; ++i) s += "{\"a\":";
    return "{\"APIKey\":\"k3y-0001\",\"x\":" + s + "1" + std::string(depth, '}') + "}";
}
std::string padded(size_t total) { return kSettings + std::string(total - strlen(kSettings), ' '); }

TEST_F(hostile, SettingsAtEveryEntryPoint) {
    const std::string long_key = "{\"APIKey\":\"" + std::string(kMiB - 20, 'k') + "\"}";
    struct row {
        const char *what;
        std::string settings;
        bool null;
        int code;  // 1: the entry point's own success
        const char *message;
    } rows[] = {
        {"null", "", true, -8, "settings are NULL"},
        {"empty", "", false, -8, "settings are not a JSON object"},
        {"exactly 1 MiB", padded(kMiB), false, 1, nullptr},
        {"1 MiB + 1", padded(kMiB + 1), false, -8, "settings are larger than 1 MiB"},
        {"invalid UTF-8", "{\"APIKey\":\"k3y\xff\"}", false, -8, "settings are not a JSON object"},
        {"overlong UTF-8", "{\"APIKey\":\"\xc0\xaf\"}", false, -8,
         "settings are not a JSON object"},
        {"100000 nested arrays", nested(100000), false, -8, "settings are not a JSON object"},
        {"100000 nested objects", nested_object(100000), false, 1, nullptr},
        {"unclosed nesting", std::string(100000, '['), false, -8, "settings are not a JSON object"},
        {"key beyond 64 bits", "{\"APIKey\":123456789012345678901234567890}", false, -8,
         "APIKey is empty"},
        {"key out of range", "{\"APIKey\":1e999}", false, -8, "settings are not a JSON object"},
        {"duplicate keys, first wins", "{\"APIKey\":\"k3y-0001\",\"APIKey\":\"QX-NOP-TKN\"}", false,
         1, nullptr},
        {"duplicate keys, empty first", "{\"APIKey\":\"\",\"APIKey\":\"k3y-0001\"}", false, -8,
         "APIKey is empty"},
        {"NUL inside the key", "{\"APIKey\":\"\\u0000k3y\"}", false, -8, "APIKey is empty"},
        {"control bytes in the key", "{\"APIKey\":\"\\u0001\\u001f\"}", false, 1, nullptr},
        {"trailing garbage", "{\"APIKey\":\"k3y-0001\"} x", false, -8,
         "settings are not a JSON object"},
        {"comments", "{\"APIKey\":\"k3y-0001\"/**/}", false, -8, "settings are not a JSON object"},
        {"NaN", "{\"APIKey\":\"k3y-0001\",\"ID\":NaN}", false, -8,
         "settings are not a JSON object"},
        {"RuntimeType beyond 64 bits", "{\"APIKey\":\"k\",\"RuntimeType\":99999999999999999999}",
         false, 1, nullptr},
    };
    for (const auto &ep : entry_points()) {
        for (const auto &r : rows) {
            SCOPED_TRACE(std::string(ep.name) + ", settings: " + r.what);
            const char *s = r.null ? nullptr : r.settings.c_str();
            outcome o = run([&](char *out, int cap) { return ep.call(s, out, cap); });
            if (r.code == 1) {
                // Every entry point either succeeds or reaches the service
                // with whatever key the settings hold.
                EXPECT_TRUE(o.code == 0 || o.code == -2) << o.code << " " << o.error;
            } else {
                EXPECT_EQ(o.code, r.code);
                EXPECT_EQ(o.error, r.message);
            }
        }
        // A key too long for a request URL.
        outcome o = run([&](char *out, int cap) { return ep.call(long_key.c_str(), out, cap); });
        EXPECT_TRUE(o.code == 0 || (o.code == -4 && o.error == "request URL longer than 8 KiB"))
            << ep.name << ": " << o.code << " " << o.error;
    }
}

// ------------------------------------------------------------ arguments

TEST_F(hostile, Arguments) {
    const std::string big(kMiB, 'x');
    const std::string big_locator = "{\"locator\":\"" + big + "\"}";
    const std::string control_link = "{\"Link\":\"https://h.example/\\u0001\\r\\nX-Injected: 1\"}";
    const std::string link_3072 = "{\"Link\":\"" + std::string(3072, 'a') + "\"}";
    const std::string link_3073 = "{\"Link\":\"" + std::string(3073, 'a') + "\"}";
    const std::string not_a_link = "Link is not a magnet, a redirect-to-magnet or a torrent file";
    const std::string long_id = "s" + std::string(3000, '/');
    const std::string duplicate_links = "{\"Link\":\"" + kMagnet + "\",\"Link\":7}";
    auto list = [](const char *folder) {
        return [folder](char *o, int c) { return plix_list(kSettings, folder, o, c); };
    };
    auto stream = [](const char *item) {
        return [item](char *o, int c) { return plix_stream_url(kSettings, item, o, c); };
    };
    auto download = [](const char *cfg) {
        return [cfg](char *o, int c) { return plix_download(kSettings, cfg, o, c); };
    };
    const std::string deep = nested(100000), unclosed(100000, '{');
    struct row {
        const char *what;
        std::function<int(char *, int)> call;
        int code;
        std::string message;  // checked for failures
    } rows[] = {
        {"folder null", list(nullptr), 0, ""},
        {"folder s", list("s"), -2, "no such folder: s"},
        {"folder with control bytes", list("\x01\n\x7f"), -2, "no such folder: \x01\n\x7f"},
        {"folder of 1 MiB", list(big.c_str()), -2,
         ("no such folder: " + big).substr(0, PLIX_MSG_SIZE - 1)},
        {"torrent id that would be a path", list("s../../x?y#z"), -2,
         "seedbox/list answered HTTP 404"},
        {"torrent id with the rejected key", list("sx&apikey=QX-NOP-TKN"), -2,
         "seedbox/list answered HTTP 404"},
        {"torrent id too long for a URL", list(long_id.c_str()), -4,
         "request URL longer than 8 KiB"},
        {"entry null", stream(nullptr), -8, "entry is not a JSON object"},
        {"entry empty", stream(""), -8, "entry is not a JSON object"},
        {"entry invalid UTF-8", stream("{\"locator\":\"\xed\xa0\x80\"}"), -8,
         "entry is not a JSON object"},
        {"entry nested 100000 deep", stream(deep.c_str()), -8, "entry is not a JSON object"},
        {"entry never closed", stream(unclosed.c_str()), -8, "entry is not a JSON object"},
        {"locator behind a NUL", stream("{\"locator\":\"\\u0000x\"}"), -2,
         "entry has no locator/link/path"},
        {"locator a big number", stream("{\"locator\":123456789012345678901234567890}"), -2,
         "entry has no locator/link/path"},
        {"locator with control bytes", stream("{\"locator\":\"\\u0001\\r\\n\"}"), 0, ""},
        {"locator of 1 MiB", stream(big_locator.c_str()), 0, ""},
        {"duplicate locators", stream("{\"locator\":\"a\",\"locator\":\"b\"}"), 0, ""},
        {"config null", download(nullptr), -8, "config is not a JSON object"},
        {"config empty", download(""), -8, "config is not a JSON object"},
        {"config nested 100000 deep", download(deep.c_str()), -8, "config is not a JSON object"},
        {"Link behind a NUL", download("{\"Link\":\"\\u0000magnet\"}"), -8, "config has no Link"},
        {"Link a number", download("{\"Link\":1e308}"), -8, "config has no Link"},
        {"Link of 3072 bytes", download(link_3072.c_str()), -5, not_a_link},
        {"Link of 3073 bytes", download(link_3073.c_str()), -8, "Link longer than 3 KiB"},
        {"Link with control bytes", download(control_link.c_str()), -5, not_a_link},
        {"duplicate Links", download(duplicate_links.c_str()), 0, ""},
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(r.what);
        outcome o = run(r.call);
        EXPECT_EQ(o.code, r.code) << o.error;
        if (r.code != 0) {
            EXPECT_EQ(o.error, r.message);
        }
    }
    // Every request went to the service's API, percent-encoded.
    plix_fake_reset();
    run(list("s../../x?y#z"));
    EXPECT_STREQ(plix_fake_last_url(),
                 (B + "/seedbox/list?ids=..%2F..%2Fx%3Fy%23z&" + kKey).c_str());
    // The gate is judged before the config.
    plix_allow_writes(0);
    EXPECT_EQ(run(download(nullptr)).code, -7);
}

TEST(HostileUtilities, NullsAndSizes) {
    EXPECT_EQ(plix_is_torrent_file(nullptr, 0), 0);
    EXPECT_EQ(plix_is_torrent_file(nullptr, 100), 0);
    EXPECT_EQ(plix_is_torrent_file("d", 0), 0);
    EXPECT_EQ(plix_is_magnet_link(nullptr), 0);
    EXPECT_EQ(plix_parse_season_episode(nullptr, nullptr, nullptr), 0);
    EXPECT_STREQ(plix_redact(nullptr), "");
    EXPECT_EQ(plix_set_io(nullptr), 0);
    plix_io no_get = {nullptr, nullptr, nullptr, nullptr};
    EXPECT_EQ(plix_set_io(&no_get), -8);
    EXPECT_EQ(plix_fake_set(nullptr, "u", 200, "x"), -8);
    EXPECT_EQ(plix_fake_set("PUT", "u", 200, "x"), -8);
    EXPECT_EQ(plix_fake_set("GET", nullptr, 200, "x"), -8);
    EXPECT_EQ(plix_fake_fail("get", "u", nullptr), -8);
    EXPECT_EQ(plix_fake_calls("BOGUS", "u"), 0);
    EXPECT_STREQ(plix_fake_last_body(nullptr), "");

    // Texts of 1 MiB built to make a scan go back and forth: each test
    // answers at once (a quadratic scan would take minutes here).
    struct row {
        const char *what;
        std::string text;
    } rows[] = {
        {"colons", std::string(kMiB, ':')},
        {"keys",
         [] {
             std::string s = "d";
             while (s.size() < kMiB) s += "4:inf8:announc6:lengt4:pat";
             return s;
         }()},
        {"markers",
         [] {
             std::string s;
             while (s.size() < kMiB) s += "S1xE Ep Season ";
             return s;
         }()},
        {"spaces and digits",
         [] {
             std::string s;
             while (s.size() < kMiB) s += " 12345";
             return s;
         }()},
        {"schemes",
         [] {
             std::string s;
             while (s.size() < kMiB) s += "a:@b://?apikey&apikey=";
             return s;
         }()},
        {"magnet", "magnet:?" + std::string(kMiB, 'x') + "xt=urn:btih:" + std::string(kMiB, 'a')},
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(r.what);
        EXPECT_EQ(plix_is_torrent_file(r.text.data(), r.text.size()), 0);
        EXPECT_EQ(plix_is_magnet_link(r.text.c_str()), 0);
        int season = 0, episode = 0;
        if (plix_parse_season_episode(r.text.c_str(), &season, &episode)) {
            EXPECT_TRUE(season >= 1 && season <= 99 && episode >= 1 && episode <= 9999);
        }
        EXPECT_LE(strlen(plix_redact(r.text.c_str())), 2047u);
    }
}

// ------------------------------------------------------------ answers

std::string rows_json(size_t n) {
    std::string s = "[";
    for (size_t i = 0; i < n; ++i) s += i ? ",{}" : "{}";
    return s + "]";
}

TEST_F(hostile, ServiceAnswers) {
    const std::string downloader = B + "/downloader/list?page=0&perPage=50&" + kKey;
    const std::string add =
        B + "/downloader/add?url=magnet%3A%3Fxt%3Durn%3Abtih%3A" + kHash + "&password=&" + kKey;
    const std::string deep_file = "{\"id\":\"h1\",\"x\":" + nested(100000) + "}";
    const std::string big_name = std::string(kMiB, 'n');
    struct row {
        const char *what;
        std::string url;
        bool post;
        int status;
        std::string body;
        int code;
        std::string want;  // the answer on success, the message on failure
    } rows[] = {
        {"premium beyond 64 bits", kInfos, false, 200,
         ok("{\"premiumLeft\":18446744073709551616,\"username\":\"u\",\"username\":\"v\"}"), 0,
         "{\"RuntimeType\":\"DEBRIDLINK\",\"ID\":\"\",\"AccountName\":\"u\"}"},
        {"number out of range", kInfos, false, 200, ok("{\"premiumLeft\":1e400}"), -5,
         "response is not a JSON object"},
        {"value nested 100000 deep", kInfos, false, 200, ok(nested(100000)), 0,
         "{\"RuntimeType\":\"DEBRIDLINK\",\"ID\":\"\"}"},
        {"answer nested 100000 deep", kInfos, false, 200, nested(100000), -5,
         "response is not a JSON object"},
        {"invalid UTF-8", kInfos, false, 200, ok("{\"username\":\"\xff\"}"), -5,
         "response is not a JSON object"},
        {"success not a boolean", kInfos, false, 200, "{\"success\":1,\"value\":{}}", -5,
         "response has no success field"},
        {"status 0", kInfos, false, 0, "", -5, "account/infos answered HTTP 0"},
        {"status -1", kInfos, false, -1, "", -5, "account/infos answered HTTP -1"},
        {"status 2147483647", kInfos, false, 2147483647, "", -5,
         "account/infos answered HTTP 2147483647"},
        {"error code of 1 MiB", kInfos, false, 200,
         "{\"success\":false,\"error\":\"" + big_name + "\"}", -5, ""},
        {"65536 rows", downloader, false, 200, ok(rows_json(65536)), 0, ""},
        {"65537 rows", downloader, false, 200, ok(rows_json(65537)), -5,
         "downloader list larger than 65536 rows"},
        {"names with NUL and escapes", downloader, false, 200,
         ok("[{\"name\":\"a\\u0000b\",\"downloadUrl\":\"\\u0001\\\"\\\\\",\"size\":"
            "-9223372036854775808}]"),
         0,
         "[{\"name\":\"a\",\"path\":\"\\u0001\\\"\\\\\",\"folder\":false,\"size\":"
         "-9223372036854775808,\"locator\":\"\\u0001\\\"\\\\\",\"id\":\"\"}]"},
        {"added file nested 100000 deep", add, true, 200, ok(deep_file), 0, ""},
        {"added name of 1 MiB", add, true, 200, ok("{\"id\":\"h1\",\"name\":\"" + big_name + "\"}"),
         0, ""},
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(r.what);
        plix_fake_set(r.post ? "POST" : "GET", r.url.c_str(), r.status, r.body.c_str());
        outcome o = run([&](char *out, int cap) {
            if (r.url == kInfos) return plix_validate(kSettings, out, cap);
            if (r.post)
                return plix_download(kSettings, ("{\"Link\":\"" + kMagnet + "\"}").c_str(), out,
                                     cap);
            return plix_list(kSettings, "downloader", out, cap);
        });
        EXPECT_EQ(o.code, r.code) << o.error.substr(0, 200);
        if (!r.want.empty()) {
            EXPECT_EQ(r.code == 0 ? o.out : o.error, r.want);
        }
        if (r.code != 0) {
            EXPECT_LT(o.error.size(), static_cast<size_t>(PLIX_MSG_SIZE));
        }
    }
    // An answer that does not fit: -9, an empty buffer, and the answer in
    // the result channel.
    plix_fake_set("GET", kInfos.c_str(), 200, ok("{\"username\":\"" + big_name + "\"}").c_str());
    std::vector<char> small(1024, '#');
    EXPECT_EQ(plix_validate(kSettings, small.data(), static_cast<int>(small.size())), -9);
    EXPECT_EQ(small[0], '\0');
    EXPECT_GT(strlen(plix_result_json()), kMiB);
    EXPECT_STREQ(plix_last_error(), "output buffer too small");
}

// ------------------------------------------------------------ the key

// Percent-encoding with hex digits of either case.
std::string pct(const std::string &s, bool upper) {
    static const char *hex[2] = {"0123456789abcdef", "0123456789ABCDEF"};
    std::string out;
    for (unsigned char c : s) {
        if (isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[upper][c >> 4];
            out += hex[upper][c & 15];
        }
    }
    return out;
}
std::string json_escaped(const std::string &s) {
    std::string out;
    for (char c : s) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out;
}
std::string replace_all(std::string s, const std::string &from, const std::string &to) {
    for (size_t at = s.find(from); at != std::string::npos; at = s.find(from, at + to.size()))
        s.replace(at, from.size(), to);
    return s;
}

// A host transport that answers every request alike from a template in
// which {KEY}, {ENC}, {enc} and {URL} stand for the key, its encodings and
// the request URL: a service (or a transport) that echoes what it got.
struct echo_io {
    std::string key;
    bool fail = false;
    int status = 200;
    std::string text;
    std::string fill(const char *url) const {
        std::string s = replace_all(text, "{KEY}", key);
        s = replace_all(s, "{ENC}", pct(key, true));
        s = replace_all(s, "{enc}", pct(key, false));
        return replace_all(s, "{URL}", url);
    }
    static int answer(void *ctx, const char *url, char **body, int *status, char **error) {
        auto *io = static_cast<echo_io *>(ctx);
        (io->fail ? *error : *body) = strdup(io->fill(url).c_str());
        *status = io->status;
        return io->fail ? 1 : 0;
    }
    static int get(void *ctx, const char *url, char **body, int *status, char **error) {
        return answer(ctx, url, body, status, error);
    }
    static int post(void *ctx, const char *url, const char *, const char *, char **body,
                    int *status, char **error) {
        return answer(ctx, url, body, status, error);
    }
};

TEST(KeyLeak, NoFailurePathShowsTheKey) {
    const std::vector<std::string> keys = {
        "abcd",        "k3y/with spaces&=?#%+\xc3\xa9",
        "Debrid-Link",  // in every service error message
        "answered",     // in every status message
        "a\"b\\c\"",   "0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef",
    };
    struct failure {
        const char *what;
        bool fail;
        int status;
        const char *text;
    } failures[] = {
        {"transport failure", true, 0, "no route to {URL} for {KEY} ({ENC}, {enc})"},
        {"long transport failure", true, 0,
         "xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx"
         "xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx"
         "{KEY} {ENC}"},
        {"refused, key echoed", false, 401,
         "{\"success\":false,\"error\":\"{KEY}\",\"error_description\":\"bad {KEY} {ENC}\"}"},
        {"service down, key echoed", false, 503,
         "{\"error\":\"{ENC}{KEY}\",\"error_description\":\"{URL}\"}"},
        {"service error, key echoed", false, 200,
         "{\"success\":false,\"error\":\"auth{KEY}\",\"error_description\":\"{KEY} {enc}\"}"},
        {"not JSON", false, 200, "{KEY} {URL}"},
        {"unusable answer", false, 200, "{\"success\":true,\"value\":\"{KEY}\"}"},
        {"not found", false, 404, ""},
    };
    for (const std::string &key : keys) {
        const std::string settings = "{\"APIKey\":\"" + json_escaped(key) + "\"}";
        const std::string link = "https://h.example/" + pct(key, true) + "?t=" + json_escaped(key);
        const std::vector<std::pair<const char *, std::function<int(char *, int)>>> ops = {
            {"validate", [&](char *o, int c) { return plix_validate(settings.c_str(), o, c); }},
            {"list downloader",
             [&](char *o, int c) { return plix_list(settings.c_str(), "downloader", o, c); }},
            {"list seedbox",
             [&](char *o, int c) { return plix_list(settings.c_str(), "seedbox", o, c); }},
            {"list torrent named after the key",
             [&](char *o, int c) {
                 return plix_list(settings.c_str(), ("s" + key).c_str(), o, c);
             }},
            {"list folder named after the key",
             [&](char *o, int c) { return plix_list(settings.c_str(), key.c_str(), o, c); }},
            {"stream_url, entry the key",
             [&](char *o, int c) { return plix_stream_url(settings.c_str(), key.c_str(), o, c); }},
            {"download magnet",
             [&](char *o, int c) {
                 return plix_download(settings.c_str(), ("{\"Link\":\"" + kMagnet + "\"}").c_str(),
                                      o, c);
             }},
            {"download link holding the key",
             [&](char *o, int c) {
                 return plix_download(settings.c_str(), ("{\"Link\":\"" + link + "\"}").c_str(), o,
                                      c);
             }},
            {"settings naming the key as RuntimeType",
             [&](char *o, int c) {
                 std::string s = "{\"APIKey\":\"" + json_escaped(key) + "\",\"RuntimeType\":\"" +
                                 json_escaped(key) + "\"}";
                 return plix_list(s.c_str(), "", o, c);
             }},
        };
        // The key in each form, and the first 8 bytes of each: bounded
        // messages cut texts, and no cut may leave a telling part behind.
        std::vector<std::string> forms;
        for (const std::string &f : {key, pct(key, true), pct(key, false), json_escaped(key)}) {
            forms.push_back(f);
            if (f.size() > 8) forms.push_back(f.substr(0, 8));
        }
        plix_allow_writes(1);
        for (const failure &f : failures) {
            echo_io io{key, f.fail, f.status, f.text};
            plix_io table = {&io, echo_io::get, echo_io::post, nullptr};
            ASSERT_EQ(plix_set_io(&table), 0);
            for (const auto &op : ops) {
                SCOPED_TRACE(std::string(op.first) + ", " + f.what + ", key " + key);
                outcome o = run(op.second);
                if (o.code == 0) continue;  // only failures are examined here
                for (const std::string &form : forms) {
                    for (const std::string &seen :
                         {o.out, o.error, std::string(plix_result_json())})
                        EXPECT_EQ(seen.find(form), std::string::npos) << form << " in " << seen;
                }
            }
        }
    }
    plix_set_io(nullptr);
    plix_allow_writes(0);
}

TEST(KeyLeak, ScrubMasksCutCopies) {
    struct row {
        const char *text, *secret, *out;
    } rows[] = {
        {"cut: 0123456789", "0123456789abcdef", "cut: **********"},
        {"cut: 0123", "0123456789abcdef", "cut: ****"},
        {"cut: 012", "0123456789abcdef", "cut: 012"},
        {"code 01234567: desc", "0123456789abcdef", "code ********: desc"},
        {"code 0123456: desc", "0123456789abcdef", "code 0123456: desc"},
        {"enc a%20b%2", "a b+c", "enc *******"},
        {"enc a%20", "a b+c", "enc ****"},
        {"raw a b+", "a b+c", "raw ****"},
        {"word abcd ends", "abcdefgh", "word abcd ends"},
    };
    for (const auto &r : rows) {
        std::string t = r.text;
        plix_scrub(t.data(), r.secret);
        EXPECT_EQ(t, r.out) << r.text;
    }
}

}  // namespace
