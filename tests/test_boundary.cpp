// The frame every operation runs in: settings, transport check, routing,
// the answer or error document in the buffer, the result channel, key
// masking, transport selection and the write gate.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "boundary/plix_boundary.h"
#include "dialect/plix_session.h"
#include "platform/plix_platform.h"
#include "plix_test_util.h"
#include "recording_io.h"
#include "util/plix_redact.h"
#include "util/plix_text.h"

namespace {

constexpr char kRoot[] =
    "[{\"name\":\"downloader\",\"path\":\"downloader\",\"folder\":true,\"size\":-1},"
    "{\"name\":\"seedbox\",\"path\":\"seedbox\",\"folder\":true,\"size\":-1}]";

struct frame : fake_test {};

TEST_F(frame, SettingsRefusals) {
    std::string big(PLIX_SETTINGS_MAX + 1, ' ');
    struct row {
        const char *settings;
        const char *msg;
    } rows[] = {
        {nullptr, "settings are NULL"},
        {"[]", "settings are not a JSON object"},
        {"{\"APIKey\":\"k\"", "settings are not a JSON object"},
        {"", "settings are not a JSON object"},
        {"{\"APIKey\":\"k3y\",\"RuntimeType\":\"OTHER\"}",
         "RuntimeType is \"OTHER\", this handler is \"DEBRIDLINK\""},
        {"{\"APIKey\":\"k3y\",\"RuntimeType\":false}",
         "RuntimeType is \"false\", this handler is \"DEBRIDLINK\""},
        {"{\"APIKey\":\"k3y\",\"RuntimeType\":\"debridlink\"}",
         "RuntimeType is \"debridlink\", this handler is \"DEBRIDLINK\""},
        {"{\"APIKey\":\"k3y\",\"RuntimeType\":\" DEBRIDLINK\"}",
         "RuntimeType is \" DEBRIDLINK\", this handler is \"DEBRIDLINK\""},
        {"{}", "APIKey is empty"},
        {"{\"APIKey\":\"  \",\"ClientSecret\":\"\\t\"}", "APIKey is empty"},
        {"{\"APIKey\":1.5}", "APIKey is empty"},
        {"{\"APIKey\":null,\"APIKey\":\"late\"}", "APIKey is empty"},
        {big.c_str(), "settings are larger than 1 MiB"},
    };
    for (const auto &r : rows) {
        EXPECT_EQ(call(plix_list, "", r.settings), (answer{-8, err(r.msg)}))
            << (r.settings ? std::string(r.settings).substr(0, 40) : "null");
        EXPECT_STREQ(plix_last_error(), r.msg);
    }
    // Exactly 1 MiB is parsed.
    std::string exact = kSettings + std::string(PLIX_SETTINGS_MAX - strlen(kSettings), ' ');
    EXPECT_EQ(call(plix_list, "", exact.c_str()), (answer{0, kRoot}));
}

TEST_F(frame, SettingsValues) {
    struct row {
        const char *settings;
        const char *key;
        const char *id;
    } rows[] = {
        {"{\"APIKey\":\"  abc\\t\",\"ID\":\"\\r\\n 9 \"}", "abc", "9"},
        {"{\"APIKey\":12345}", "12345", nullptr},
        {"{\"APIKey\":-7,\"ID\":true}", "-7", "true"},
        {"{\"APIKey\":\"   \",\"ClientSecret\":\"sec\"}", "sec", nullptr},
        {"{\"APIKey\":null,\"APIKey\":\"x\",\"ClientSecret\":\"sec\"}", "sec", nullptr},
        {"{\"APIKey\":\"\\u000bk\\f\"}", "\vk\f", nullptr},
        {"{\"APIKey\":\"k\",\"RuntimeType\":\"\",\"ID\":\"\"}", "k", nullptr},
        {"{\"APIKey\":\"k\",\"RuntimeType\":null}", "k", nullptr},
        {"{\"APIKey\":\"k\",\"RuntimeType\":\"DEBRIDLINK\",\"Other\":[1]}", "k", nullptr},
        {"{\"APIKey\":18446744073709551615}", "-1", nullptr},
    };
    for (const auto &r : rows) {
        plix_cfg cfg;
        char msg[768] = "";
        ASSERT_EQ(plix_cfg_parse(r.settings, true, &cfg, msg, sizeof msg), 0) << r.settings;
        EXPECT_STREQ(cfg.api_key, r.key) << r.settings;
        EXPECT_STREQ(cfg.id ? cfg.id : "<null>", r.id ? r.id : "<null>") << r.settings;
        plix_cfg_free(&cfg);
        plix_cfg_free(&cfg);
    }
}

TEST_F(frame, NoTransportComesAfterSettings) {
    const plix_handler *h = plhnd_get();
    char out[256];
    const std::string none = err("no transport");
    EXPECT_EQ(h->validate(nullptr, kSettings, out, sizeof out), -4);
    EXPECT_EQ(out, none);
    for (auto entry : {h->list, h->stream_url, h->download}) {
        EXPECT_EQ(entry(nullptr, kSettings, "", out, sizeof out), -4);
        EXPECT_EQ(out, none);
    }
    EXPECT_EQ(h->stream_url(nullptr, kSettings, "[]", out, sizeof out), -4);  // before the entry
    EXPECT_EQ(h->list(nullptr, "{}", "", out, sizeof out), -8);
    EXPECT_EQ(out, err("APIKey is empty"));
    plix_set_io(nullptr);
    EXPECT_EQ(call(plix_list, ""), (answer{-4, none}));
}

TEST_F(frame, FolderRouting) {
    struct row {
        const char *folder;
        int code;
        std::string out;
    } rows[] = {
        {nullptr, 0, kRoot},
        {"", 0, kRoot},
        {"Seedbox", -2, err("no such folder: Seedbox")},
        {"s", -2, err("no such folder: s")},
        {"/s42", -2, err("no such folder: /s42")},
        {"s42", -2, err("seedbox/list answered HTTP 404")},
        {"downloader", -2, err("downloader/list answered HTTP 404")},
        {"/seedbox", -2, err("seedbox/list answered HTTP 404")},
    };
    for (const auto &r : rows)
        EXPECT_EQ(call(plix_list, r.folder), (answer{r.code, r.out}))
            << (r.folder ? r.folder : "null");
    EXPECT_EQ(plix_fake_calls(nullptr, nullptr), 3);
    EXPECT_EQ(std::string(plix_fake_last_url()),
              PLIX_TEST_BASE "/seedbox/list?page=-1&perPage=-1&apikey=k3y-0001");
}

// The downloader's pages: "downloader/<n>" asks for page n of 50; every
// other spelling is no folder, and sends nothing.
TEST_F(frame, DownloaderPages) {
    struct row {
        const char *folder;
        const char *page;  // the page asked for, or null: no such folder
    } rows[] = {
        {"downloader", "0"},
        {"/downloader", "0"},
        {"downloader/0", "0"},
        {"downloader/1", "1"},
        {"downloader/17", "17"},
        {"/downloader/3", "3"},
        {"downloader/007", "7"},
        {"downloader/999999999", "999999999"},
        {"downloader/", nullptr},
        {"downloader/x", nullptr},
        {"downloader/-1", nullptr},
        {"downloader/+1", nullptr},
        {"downloader/ 1", nullptr},
        {"downloader/1 ", nullptr},
        {"downloader/1/2", nullptr},
        {"downloader/1/", nullptr},
        {"downloader/1.5", nullptr},
        {"downloader/0x10", nullptr},
        {"downloader/1000000000", nullptr},
        {"downloader/99999999999999999999", nullptr},
        {"downloaders", nullptr},
        {"Downloader/1", nullptr},
        {"//downloader/1", nullptr},
    };
    for (const auto &r : rows) {
        plix_fake_reset();
        answer got = call(plix_list, r.folder);
        if (!r.page) {
            EXPECT_EQ(got, (answer{-2, err(std::string("no such folder: ") + r.folder)}))
                << r.folder;
            EXPECT_EQ(plix_fake_calls(nullptr, nullptr), 0) << r.folder;
            continue;
        }
        EXPECT_EQ(got.code, -2) << r.folder;  // the fake has no route: 404
        EXPECT_EQ(std::string(plix_fake_last_url()),
                  PLIX_TEST_BASE "/downloader/list?page=" + std::string(r.page) +
                      "&perPage=50&apikey=k3y-0001")
            << r.folder;
    }
    // A page answers exactly as the downloader folder does.
    std::string page2 = PLIX_TEST_BASE "/downloader/list?page=2&perPage=50&apikey=k3y-0001";
    plix_fake_set("GET", page2.c_str(), 200,
                  "{\"success\":true,\"value\":[{\"id\":\"d51\",\"name\":\"n\",\"size\":3}]}");
    EXPECT_EQ(call(plix_list, "downloader/2"),
              (answer{0,
                      "[{\"name\":\"n\",\"path\":\"\",\"folder\":false,\"size\":3,"
                      "\"locator\":\"\",\"id\":\"d51\"}]"}));
}

TEST_F(frame, BufferSizes) {
    const int len = static_cast<int>(strlen(kRoot));
    std::vector<char> out(len + 8, '#');
    EXPECT_EQ(plix_list(kSettings, "", out.data(), len), -9);
    EXPECT_EQ(out[0], '\0');
    EXPECT_STREQ(plix_result_json(), kRoot);
    EXPECT_STREQ(plix_last_error(), "output buffer too small");
    EXPECT_EQ(plix_list(kSettings, "", out.data(), len + 1), 0);
    EXPECT_STREQ(out.data(), kRoot);
    EXPECT_STREQ(plix_last_error(), "");

    // No buffer: flat calls succeed, the handler table reports -9.
    out.assign(out.size(), '#');
    EXPECT_EQ(plix_list(kSettings, "", nullptr, 0), 0);
    EXPECT_EQ(plix_list(kSettings, "", out.data(), 0), 0);
    EXPECT_EQ(plix_list(kSettings, "", out.data(), -5), 0);
    EXPECT_EQ(out[0], '#');  // not even the first byte
    EXPECT_STREQ(plix_result_json(), kRoot);
    EXPECT_STREQ(plix_last_error(), "");
    plix_io fake;
    plix_use_fake();
    const plix_handler *h = plhnd_get();
    recording_io io;
    fake = io.table();
    EXPECT_EQ(h->list(&fake, kSettings, "", nullptr, 0), -9);
    EXPECT_STREQ(plix_result_json(), kRoot);
    EXPECT_STREQ(plix_last_error(), "output buffer too small");

    // A failure whose document does not fit leaves an empty text, and its code.
    char small[20];
    memset(small, '#', sizeof small);
    EXPECT_EQ(plix_list(kSettings, "Seedbox", small, sizeof small), -2);
    EXPECT_EQ(small[0], '\0');
    EXPECT_STREQ(plix_last_error(), "no such folder: Seedbox");
    EXPECT_STREQ(plix_result_json(), "");
    EXPECT_EQ(plix_list(kSettings, "Seedbox", nullptr, 0), -2);
}

TEST_F(frame, ErrorDocumentsStayValidJson) {
    // Folder names come from the host: invalid UTF-8 and control bytes
    // still give a parseable document; the last error keeps the raw text.
    answer a = call(plix_list, "x\xff\x01\"");
    EXPECT_EQ(a, (answer{-2, "{\"error\":\"no such folder: x\xef\xbf\xbd\\u0001\\\"\"}"}));
    EXPECT_STREQ(plix_last_error(), "no such folder: x\xff\x01\"");
}

TEST_F(frame, KeyIsMaskedInEveryMessage) {
    // A host transport whose error text quotes the key, raw and encoded.
    const char *settings = "{\"APIKey\":\"a+b/c d\"}";
    recording_io io;
    io.fail("refused a+b/c d at svc/x?apikey=a%2Bb%2Fc%20d and a%2bb%2fc%20d");
    plix_io t = io.table();
    ASSERT_EQ(plix_set_io(&t), 0);
    answer a = validate(settings);
    EXPECT_EQ(a.code, -4);
    const std::string msg =
        "GET " PLIX_TEST_BASE
        "/account/infos?apikey=***: refused ******* at svc/x?apikey=*************"
        " and *************";
    EXPECT_EQ(a.out, err(msg));
    EXPECT_EQ(plix_last_error(), msg);

    // Keys under 4 bytes are never masked.
    EXPECT_EQ(call(plix_list, "abc", "{\"APIKey\":\"abc\"}"),
              (answer{-2, err("no such folder: abc")}));
    EXPECT_EQ(call(plix_list, "abcd", "{\"APIKey\":\"abcd\"}"),
              (answer{-2, err("no such folder: ****")}));
}

// No run of 16 bytes of a long key (raw or percent-encoded) comes back in
// the buffer, the last error or the last result, whichever member or
// argument the host put it in; the message buffer holds 768 bytes.
TEST_F(frame, LongKeysNeverComeBack) {
    const auto leaks = [](const std::string &text, const std::string &key) {
        for (size_t at = 0; at + 16 <= key.size(); ++at)
            if (text.find(key.substr(at, 16)) != std::string::npos) return true;
        return false;
    };
    plix_allow_writes(1);
    for (size_t length : {700u, 767u, 768u, 769u, 1500u, 5000u}) {
        std::string key, encoded;
        for (size_t i = 0; i < length; ++i) key += "Kk0+/9zZ"[(i * 7 + i / 8) % 8];
        for (char c : key) encoded += c == '+' ? "%2B" : c == '/' ? "%2F" : std::string(1, c);
        const std::string settings = "{\"APIKey\":\"" + key + "\"}";
        const std::string in_type = "{\"APIKey\":\"" + key + "\",\"RuntimeType\":\"" + key + "\"}";
        const std::string link = "{\"Link\":\"" + key + "\"}";
        const std::string entry = "{\"locator\":\"" + key + "\",\"link\":\"" + key + "\"}";
        answer answers[] = {
            validate(in_type.c_str()),
            call(plix_list, key.c_str(), settings.c_str()),
            call(plix_list, ("s" + key).c_str(), settings.c_str()),
            call(plix_download, link.c_str(), settings.c_str()),
            call(plix_stream_url, entry.c_str(), in_type.c_str()),
        };
        for (const answer &a : answers) {
            EXPECT_NE(a.code, 0);
            for (const std::string *k : {&key, &encoded}) {
                EXPECT_FALSE(leaks(a.out, *k)) << length << ": " << a.out.substr(0, 80);
                EXPECT_FALSE(leaks(plix_last_error(), *k)) << length;
            }
        }
    }
}

TEST(Scrub, Table) {
    struct row {
        const char *text, *secret, *out;
    } rows[] = {
        {"xxKEYSKEYSyy", "KEYS", "xx********yy"},
        {"aaaaaa", "aaaa", "****aa"},
        {"abc abc", "abc", "abc abc"},
        {"k=a%2Bb and a+b", "a+b", "k=a%2Bb and a+b"},  // under 4 bytes
        {"k=a%2Bbc and a+bc", "a+bc", "k=****** and ****"},
        {"none", nullptr, "none"},
    };
    for (const auto &r : rows) {
        std::string t = r.text;
        plix_scrub(t.data(), r.secret);
        EXPECT_EQ(t, r.out) << r.text;
    }
    plix_scrub(nullptr, "abcd");
}

TEST_F(frame, ResultChannelIsPerThread) {
    EXPECT_EQ(call(plix_list, "").code, 0);
    std::string fresh_result = "x", fresh_error = "x", theirs;
    std::thread([&] {
        fresh_result = plix_result_json();
        fresh_error = plix_last_error();
        call(plix_list, "nope");
        theirs = plix_last_error();
    }).join();
    EXPECT_EQ(fresh_result, "");
    EXPECT_EQ(fresh_error, "");
    EXPECT_EQ(theirs, "no such folder: nope");
    EXPECT_STREQ(plix_result_json(), kRoot);
    EXPECT_STREQ(plix_last_error(), "");
    call(plix_list, "nope");
    EXPECT_STREQ(plix_result_json(), "");  // a failure clears the last result
}

// The per-thread values of several users live side by side: each keeps its
// own, and a thread's values are released when it exits.
TEST(ThreadSlots, OwnValuesReleasedAtThreadExit) {
    static std::atomic<int> released{0};
    static constexpr plix_slot mine = {[](void *p) {
        free(p);
        ++released;
    }};
    std::thread([] {
        ASSERT_EQ(plix_slot_get(&mine), nullptr);
        const char *redacted = plix_redact("https://u:p@h/x?apikey=K");
        plix_fake_reset();
        const char *url = plix_fake_last_url();
        char *value = plix_strdup("own");
        ASSERT_TRUE(plix_slot_set(&mine, value));
        ASSERT_TRUE(plix_slot_set(&mine, plix_strdup("replaced")));  // frees "own"
        EXPECT_EQ(released.load(), 1);
        EXPECT_STREQ(static_cast<char *>(plix_slot_get(&mine)), "replaced");
        EXPECT_STREQ(redacted, "https://h/x?apikey=***");
        EXPECT_STREQ(url, "");
        EXPECT_STREQ(plix_result_json(), "");
    }).join();
    EXPECT_EQ(released.load(), 2);
    EXPECT_EQ(plix_slot_get(&mine), nullptr);  // this thread never set one
}

TEST_F(frame, SelectionIsCopied) {
    EXPECT_EQ(plix_use_curl(), -6);
    EXPECT_EQ(call(plix_list, "").code, 0);  // the fake stays selected

    recording_io io;
    plix_io t = io.table();
    plix_io no_get = t, no_post = t, bare = t;
    no_get.get = nullptr;
    no_post.post = nullptr;
    bare.context = nullptr;
    bare.free = nullptr;
    EXPECT_EQ(plix_set_io(&no_get), -8);
    EXPECT_EQ(plix_set_io(&no_post), -8);
    EXPECT_EQ(call(plix_list, "").code, 0);
    EXPECT_EQ(plix_set_io(&bare), 0);

    ASSERT_EQ(plix_set_io(&t), 0);
    t.get = nullptr;  // the host's table may change after the install
    io.add(200, ok("{}"));
    EXPECT_EQ(validate().code, 0);
    EXPECT_EQ(io.seen.size(), 1u);

    EXPECT_EQ(plix_set_io(nullptr), 0);
    EXPECT_EQ(validate(), (answer{-4, err("no transport")}));
    EXPECT_EQ(plix_use_curl(), -6);
    EXPECT_EQ(validate().code, -4);
}

// A change of the selection made on one thread reaches the very next call
// of a thread that has called before.
TEST_F(frame, SelectionChangeReachesAThreadThatCalledBefore) {
    std::atomic<int> step{0};
    std::vector<int> codes;
    std::thread worker([&] {
        for (int want = 1; want <= 3; ++want) {
            while (step.load() != want) std::this_thread::yield();
            // Twice each time: the second call runs with the thread state
            // the first one made.
            codes.push_back(call(plix_list, "").code);
            codes.push_back(call(plix_list, "").code);
            step.store(want * 10);
        }
    });
    auto run = [&](int s) {
        step.store(s);
        while (step.load() != s * 10) std::this_thread::yield();
    };
    run(1);  // the fake
    ASSERT_EQ(plix_set_io(nullptr), 0);
    run(2);  // none
    ASSERT_EQ(plix_use_fake(), 0);
    run(3);  // the fake again
    worker.join();
    EXPECT_EQ(codes, (std::vector<int>{0, 0, -4, -4, 0, 0}));
}

// Tables installed while calls run: each call sees one whole table.
struct tagged_io {
    static int get(void *ctx, const char *, char **body, int *status, char **error) {
        *status = 200;
        *body = strdup(static_cast<const char *>(ctx));
        *error = nullptr;
        return 0;
    }
    static int get_other(void *ctx, const char *, char **body, int *status, char **error) {
        *status = 200;
        *body = strdup(static_cast<const char *>(ctx));
        *error = nullptr;
        return 0;
    }
    static int post(void *, const char *, const char *, const char *, char **, int *, char **) {
        return 1;
    }
};

TEST_F(frame, ReplacingTheTransportWhileCallsRun) {
    static const std::string a = ok("{\"username\":\"a\"}"), b = ok("{\"username\":\"b\"}");
    plix_io ta{const_cast<char *>(a.c_str()), tagged_io::get, tagged_io::post, nullptr};
    plix_io tb{const_cast<char *>(b.c_str()), tagged_io::get_other, tagged_io::post, nullptr};
    ASSERT_EQ(plix_set_io(&ta), 0);
    std::atomic<bool> stop{false};
    std::thread switcher([&] {
        for (int i = 0; !stop; ++i) plix_set_io(i % 2 ? &ta : &tb);
    });
    std::vector<std::thread> callers;
    std::atomic<int> bad{0};
    for (int c = 0; c < 3; ++c)
        callers.emplace_back([&] {
            for (int i = 0; i < 300; ++i) {
                answer r = validate();
                if (r.code != 0 || (r.out.find("\"AccountName\":\"a\"") == std::string::npos &&
                                    r.out.find("\"AccountName\":\"b\"") == std::string::npos))
                    ++bad;
            }
        });
    for (auto &t : callers) t.join();
    stop = true;
    switcher.join();
    EXPECT_EQ(bad.load(), 0);
}

}  // namespace
