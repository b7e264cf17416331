// Loads the built library by path and reaches it only through its exports
// and the handler table, as a host does.
#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "plix.h"
#include "plix_loader.h"

namespace {

struct api : plix_api {
    plix_loader lib;
    bool load() { return lib.open(PLIX_LIBRARY_PATH) && bind(lib); }
};

api &plug() {
    static api a;
    static bool ok = a.load();
    EXPECT_TRUE(ok) << "cannot load " << PLIX_LIBRARY_PATH;
    return a;
}

constexpr char kSettings[] = "{\"APIKey\":\"abcd-1234\"}";

// Runs first (tests run in order of definition): the state at load.
TEST(Abi, FreshLoadHasNoTransport) {
    api &p = plug();
    EXPECT_STREQ(p.result_json(), "");
    EXPECT_STREQ(p.last_error(), "");
    char out[256];
    EXPECT_EQ(p.validate(kSettings, out, sizeof out), PLIX_E_SERVICE);
    EXPECT_STREQ(out, "{\"error\":\"no transport\"}");
    EXPECT_STREQ(p.last_error(), "no transport");
}

TEST(Abi, EveryExportIsThere) {
    api &p = plug();
    p.each([](const char *name, const void *f) { EXPECT_NE(f, nullptr) << name; });
}

TEST(Abi, ConstantsAndHandlerTable) {
    api &p = plug();
    EXPECT_STREQ(p.version(), "1.0.0");
    EXPECT_STREQ(p.runtime_type(), "DEBRIDLINK");
    EXPECT_EQ(p.caps(), 47);
    EXPECT_STREQ(p.base_url(), "https://debrid-link.com/api/v2");
    const plix_handler *h = p.handler();
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(h, p.handler());
    EXPECT_STREQ(h->runtime_type, "DEBRIDLINK");
    EXPECT_EQ(h->capabilities, 47);
    EXPECT_EQ(h->reserved0, nullptr);
    EXPECT_EQ(h->reserved1, nullptr);
    // The slots read as raw 8-byte words at their fixed offsets.
    const auto *words = reinterpret_cast<const uint64_t *>(h);
    EXPECT_EQ(words[1], 47u);
    EXPECT_EQ(words[2], reinterpret_cast<uint64_t>(h->validate));
    EXPECT_EQ(words[5], reinterpret_cast<uint64_t>(h->download));
}

const char kRoot[] =
    "[{\"name\":\"downloader\",\"path\":\"downloader\",\"folder\":true,\"size\":-1},"
    "{\"name\":\"seedbox\",\"path\":\"seedbox\",\"folder\":true,\"size\":-1}]";
const std::string B = "https://debrid-link.com/api/v2";
const std::string K = "apikey=abcd-1234";

TEST(Abi, BufferAndResultChannel) {
    api &p = plug();
    ASSERT_EQ(p.use_fake(), 0);
    const int len = static_cast<int>(sizeof kRoot - 1);
    char out[512];
    struct row {
        char *buf;
        int cap;
        int code;
        const char *in_buf;  // null: not examined
        const char *error;
    } rows[] = {
        {out, len + 1, 0, kRoot, ""},
        {out, len, PLIX_E_BUFFER, "", "output buffer too small"},
        {nullptr, 0, 0, nullptr, ""},
        {out, 0, 0, nullptr, ""},
    };
    for (const auto &r : rows) {
        int code = p.list(kSettings, "", r.buf, r.cap);
        EXPECT_EQ(code, r.code) << r.cap;
        if (r.in_buf) {
            EXPECT_STREQ(out, r.in_buf);
        }
        EXPECT_STREQ(p.result_json(), kRoot);
        EXPECT_STREQ(p.last_error(), r.error);
    }
    // Through the handler table, a success without a buffer stays -9.
    plix_io none{};
    EXPECT_EQ(p.handler()->list(&none, kSettings, "", nullptr, 0), PLIX_E_BUFFER);
    EXPECT_STREQ(p.last_error(), "output buffer too small");
    // A failure empties the last result.
    EXPECT_EQ(p.list(kSettings, "nowhere", out, sizeof out), PLIX_E_NOT_FOUND);
    EXPECT_STREQ(out, "{\"error\":\"no such folder: nowhere\"}");
    EXPECT_STREQ(p.result_json(), "");
}

TEST(Abi, SettingsAndRouting) {
    api &p = plug();
    p.use_fake();
    char out[512];
    struct row {
        const char *settings, *folder;
        int code;
        const char *doc;
    } rows[] = {
        {nullptr, "", PLIX_E_INVALID, "{\"error\":\"settings are NULL\"}"},
        {"[]", "", PLIX_E_INVALID, "{\"error\":\"settings are not a JSON object\"}"},
        {"{\"APIKey\":\" \"}", "", PLIX_E_INVALID, "{\"error\":\"APIKey is empty\"}"},
        {"{\"APIKey\":\"k\",\"RuntimeType\":\"X\"}", "", PLIX_E_INVALID,
         "{\"error\":\"RuntimeType is \\\"X\\\", this handler is \\\"DEBRIDLINK\\\"\"}"},
        {kSettings, "Seedbox", PLIX_E_NOT_FOUND, "{\"error\":\"no such folder: Seedbox\"}"},
        {kSettings, "s", PLIX_E_NOT_FOUND, "{\"error\":\"no such folder: s\"}"},
        {kSettings, nullptr, 0, kRoot},
    };
    for (const auto &r : rows) {
        EXPECT_EQ(p.list(r.settings, r.folder, out, sizeof out), r.code);
        EXPECT_STREQ(out, r.doc);
    }
}

TEST(Abi, PerThreadResults) {
    api &p = plug();
    p.use_fake();
    char out[512];
    ASSERT_EQ(p.list(kSettings, "", out, sizeof out), 0);
    std::string other_before = "x", other_after;
    std::thread t([&] {
        other_before = p.result_json();
        char o[512];
        p.list(kSettings, "elsewhere", o, sizeof o);
        other_after = p.last_error();
    });
    t.join();
    EXPECT_EQ(other_before, "");
    EXPECT_EQ(other_after, "no such folder: elsewhere");
    EXPECT_STREQ(p.result_json(), kRoot);
    EXPECT_STREQ(p.last_error(), "");
}

TEST(Abi, FakeControlsAndKeyMasking) {
    api &p = plug();
    p.use_fake();
    p.fake_reset();
    EXPECT_EQ(p.fake_set("PUT", "u", 200, ""), PLIX_E_INVALID);
    const std::string infos = B + "/account/infos?" + K;
    ASSERT_EQ(p.fake_fail("GET", infos.c_str(), "refused for abcd-1234"), 0);
    char out[512];
    EXPECT_EQ(p.validate(kSettings, out, sizeof out), PLIX_E_SERVICE);
    const std::string msg = "GET " + B + "/account/infos?apikey=***: refused for *********";
    EXPECT_EQ(std::string(out), "{\"error\":\"" + msg + "\"}");
    EXPECT_EQ(p.last_error(), msg);
    EXPECT_EQ(p.fake_calls("GET", infos.c_str()), 1);
    EXPECT_EQ(p.fake_calls(nullptr, nullptr), 1);
    EXPECT_EQ(std::string(p.fake_last_url()), infos);
    EXPECT_STREQ(p.redact("svc://u:pw@h/x?apikey=abcd-1234"), "svc://h/x?apikey=***");
    p.fake_reset();
}

TEST(Abi, SelectionAndGate) {
    api &p = plug();
    EXPECT_EQ(p.use_curl(), PLIX_E_NO_NETWORK);
    plix_io bad{};
    EXPECT_EQ(p.set_io(&bad), PLIX_E_INVALID);
    EXPECT_EQ(p.set_io(nullptr), 0);
    char out[512];
    EXPECT_EQ(p.list(kSettings, "", out, sizeof out), PLIX_E_SERVICE);
    p.use_fake();
    EXPECT_EQ(p.allow_writes(0), 0);
    EXPECT_EQ(p.download(kSettings, "{\"Link\":\"x\"}", out, sizeof out), PLIX_E_WRITES_OFF);
    EXPECT_EQ(p.parse_season_episode("Show.S02E05.mkv", nullptr, nullptr), 1);
    EXPECT_EQ(p.is_torrent_file(nullptr, 0), 0);
    EXPECT_EQ(p.is_magnet_link("magnet:?xt=urn:btih:0123456789abcdef0123456789abcdef01234567"), 1);
}

// Browses the whole account tree and adds a link, as a host would.
TEST(Abi, WalkTheTree) {
    api &p = plug();
    p.use_fake();
    p.fake_reset();
    auto ok = [](const std::string &v) { return "{\"success\":true,\"value\":" + v + "}"; };
    p.fake_set("GET", (B + "/downloader/list?page=0&perPage=50&" + K).c_str(), 200,
               ok("[{\"id\":\"d1\",\"name\":\"Film.mkv\",\"downloadUrl\":\"https://dl/d1\","
                  "\"size\":10}]")
                   .c_str());
    p.fake_set("GET", (B + "/seedbox/list?page=-1&perPage=-1&" + K).c_str(), 200,
               ok("[{\"id\":\"t1\",\"name\":\"Show S01\",\"totalSize\":20,\"status\":6}]").c_str());
    p.fake_set("GET", (B + "/seedbox/list?ids=t1&" + K).c_str(), 200,
               ok("[{\"id\":\"t1\",\"files\":[{\"id\":\"f1\",\"name\":\"Show.S01E01.mkv\","
                  "\"downloadUrl\":\"https://dl/f1\",\"size\":5}]}]")
                   .c_str());
    const std::string magnet = "magnet:?xt=urn:btih:0123456789abcdef0123456789abcdef01234567";
    p.fake_set("POST",
               (B +
                "/downloader/add?url=magnet%3A%3Fxt%3Durn%3Abtih%3A"
                "0123456789abcdef0123456789abcdef01234567&password=&" +
                K)
                   .c_str(),
               200,
               ok("{\"id\":\"d2\",\"name\":\"New\",\"downloadUrl\":\"https://dl/d2\"}").c_str());

    std::string out(1 << 16, '\0');
    auto run = [&](int code, const std::string &want, auto fn, auto... args) {
        EXPECT_EQ(fn(kSettings, args..., out.data(), static_cast<int>(out.size())), code);
        EXPECT_STREQ(out.c_str(), want.c_str());
    };
    run(0, kRoot, p.list, "");
    run(0,
        "[{\"name\":\"Film.mkv\",\"path\":\"https://dl/d1\",\"folder\":false,\"size\":10,"
        "\"locator\":\"https://dl/d1\",\"id\":\"d1\"}]",
        p.list, "downloader");
    run(0,
        "[{\"name\":\"Show S01\",\"path\":\"st1\",\"folder\":true,\"size\":20,\"status\":6,"
        "\"id\":\"t1\",\"locator\":\"st1\"}]",
        p.list, "seedbox");
    const std::string file =
        "{\"name\":\"Show.S01E01.mkv\",\"path\":\"https://dl/f1\",\"folder\":false,\"size\":5,"
        "\"locator\":\"https://dl/f1\",\"id\":\"f1\"}";
    run(0, "[" + file + "]", p.list, "st1");
    run(0, "{\"url\":\"https://dl/f1\"}", p.stream_url, file.c_str());
    const std::string cfg = "{\"Link\":\"" + magnet + "\"}";
    p.allow_writes(0);
    EXPECT_EQ(p.download(kSettings, cfg.c_str(), out.data(), static_cast<int>(out.size())),
              PLIX_E_WRITES_OFF);
    p.allow_writes(1);
    run(0,
        "{\"InstantURL\":\"https://dl/d2\",\"InstantName\":\"New\",\"Payload\":{\"Files\":[{"
        "\"id\":\"d2\",\"name\":\"New\",\"downloadUrl\":\"https://dl/d2\"}]}}",
        p.download, cfg.c_str());
    p.allow_writes(0);
    EXPECT_EQ(p.fake_calls(nullptr, nullptr), 4);
    p.fake_reset();
}

#if defined(_WIN32)
// The version resource, read as Windows and hosts read it.
TEST(Abi, VersionResource) {
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeA(PLIX_LIBRARY_PATH, &ignored);
    ASSERT_GT(size, 0u) << "no version resource";
    std::string data(size, '\0');
    ASSERT_TRUE(GetFileVersionInfoA(PLIX_LIBRARY_PATH, 0, size, data.data()));
    void *value = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(data.data(), "\\", &value, &length));
    const auto *fixed = static_cast<const VS_FIXEDFILEINFO *>(value);
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);  // 1.0
    EXPECT_EQ(fixed->dwFileVersionLS, 0u);           // .0.0
    EXPECT_EQ(fixed->dwProductVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwProductVersionLS, 0u);
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_DLL));
    const struct {
        const char *name, *text;
    } strings[] = {{"ProductName", "plix"},
                   {"ProductVersion", "1.0.0"},
                   {"FileVersion", "1.0.0"},
                   {"OriginalFilename", "plix.dll"}};
    for (const auto &s : strings) {
        std::string key = std::string("\\StringFileInfo\\040904B0\\") + s.name;
        ASSERT_TRUE(VerQueryValueA(data.data(), key.c_str(), &value, &length)) << s.name;
        EXPECT_STREQ(static_cast<const char *>(value), s.text) << s.name;
    }
}
#endif

}  // namespace
