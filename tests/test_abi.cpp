// Loads the built library by path and reaches it only through its exports
// and the handler table, as a host does.
#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "plix.h"
#include "plix_loader.h"

namespace {

struct api {
    plix_loader lib;
    decltype(&plix_validate) validate;
    decltype(&plix_list) list;
    decltype(&plix_stream_url) stream_url;
    decltype(&plix_download) download;
    decltype(&plix_set_io) set_io;
    decltype(&plix_use_curl) use_curl;
    decltype(&plix_use_fake) use_fake;
    decltype(&plix_result_json) result_json;
    decltype(&plix_last_error) last_error;
    decltype(&plix_version) version;
    decltype(&plix_runtime_type) runtime_type;
    decltype(&plix_caps) caps;
    decltype(&plix_allow_writes) allow_writes;
    decltype(&plhnd_get) handler;
    decltype(&plix_parse_season_episode) season;
    decltype(&plix_is_torrent_file) is_torrent;
    decltype(&plix_is_magnet_link) is_magnet;
    decltype(&plix_base_url) base_url;
    decltype(&plix_redact) redact;
    decltype(&plix_fake_reset) fake_reset;
    decltype(&plix_fake_set) fake_set;
    decltype(&plix_fake_fail) fake_fail;
    decltype(&plix_fake_calls) fake_calls;
    decltype(&plix_fake_last_body) fake_last_body;
    decltype(&plix_fake_last_url) fake_last_url;

    bool load() {
        if (!lib.open(PLIX_LIBRARY_PATH)) return false;
#define PLIX_BIND(field, name) field = lib.fn<decltype(field)>(#name)
        PLIX_BIND(validate, plix_validate);
        PLIX_BIND(list, plix_list);
        PLIX_BIND(stream_url, plix_stream_url);
        PLIX_BIND(download, plix_download);
        PLIX_BIND(set_io, plix_set_io);
        PLIX_BIND(use_curl, plix_use_curl);
        PLIX_BIND(use_fake, plix_use_fake);
        PLIX_BIND(result_json, plix_result_json);
        PLIX_BIND(last_error, plix_last_error);
        PLIX_BIND(version, plix_version);
        PLIX_BIND(runtime_type, plix_runtime_type);
        PLIX_BIND(caps, plix_caps);
        PLIX_BIND(allow_writes, plix_allow_writes);
        PLIX_BIND(handler, plhnd_get);
        PLIX_BIND(season, plix_parse_season_episode);
        PLIX_BIND(is_torrent, plix_is_torrent_file);
        PLIX_BIND(is_magnet, plix_is_magnet_link);
        PLIX_BIND(base_url, plix_base_url);
        PLIX_BIND(redact, plix_redact);
        PLIX_BIND(fake_reset, plix_fake_reset);
        PLIX_BIND(fake_set, plix_fake_set);
        PLIX_BIND(fake_fail, plix_fake_fail);
        PLIX_BIND(fake_calls, plix_fake_calls);
        PLIX_BIND(fake_last_body, plix_fake_last_body);
        PLIX_BIND(fake_last_url, plix_fake_last_url);
#undef PLIX_BIND
        return true;
    }
};

api &plug() {
    static api a;
    static bool ok = a.load();
    EXPECT_TRUE(ok) << "cannot load " << PLIX_LIBRARY_PATH;
    return a;
}

constexpr char kSettings[] = "{\"APIKey\":\"abcd-1234\"}";
constexpr char kRoot[] =
    "[{\"name\":\"downloader\",\"path\":\"downloader\",\"folder\":true,\"size\":-1},"
    "{\"name\":\"seedbox\",\"path\":\"seedbox\",\"folder\":true,\"size\":-1}]";

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
    for (const void *f : {(const void *)p.validate,     (const void *)p.list,
                          (const void *)p.stream_url,   (const void *)p.download,
                          (const void *)p.set_io,       (const void *)p.use_curl,
                          (const void *)p.use_fake,     (const void *)p.result_json,
                          (const void *)p.last_error,   (const void *)p.version,
                          (const void *)p.runtime_type, (const void *)p.caps,
                          (const void *)p.allow_writes, (const void *)p.handler,
                          (const void *)p.season,       (const void *)p.is_torrent,
                          (const void *)p.is_magnet,    (const void *)p.base_url,
                          (const void *)p.redact,       (const void *)p.fake_reset,
                          (const void *)p.fake_set,     (const void *)p.fake_fail,
                          (const void *)p.fake_calls,   (const void *)p.fake_last_body,
                          (const void *)p.fake_last_url})
        EXPECT_NE(f, nullptr);
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
