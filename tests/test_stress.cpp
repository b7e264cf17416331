// Concurrency stress: eight threads run mixed operations while another
// keeps switching the transport (host table, fake, none) and the write
// gate, and touches the fake's routes. Every answer must be one that some
// selection gives, and every thread's result channel must hold its own
// last outcome. Meant to run under ThreadSanitizer as well.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <string.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "plix.h"
#include "plix_test_util.h"

namespace {

const std::string B = PLIX_TEST_BASE;
const std::string kHash = "0123456789abcdef0123456789abcdef01234567";
const std::string kMagnetCfg = "{\"Link\":\"magnet:?xt=urn:btih:" + kHash + "\"}";

// The service as each transport plays it: the same shapes, told apart by
// the names in them.
std::string infos(const char *who) { return ok("{\"username\":\"" + std::string(who) + "\"}"); }
std::string rows(const char *who) {
    return ok("[{\"id\":\"d1\",\"name\":\"" + std::string(who) +
              "\",\"downloadUrl\":\"https://dl.example/1\",\"size\":1}]");
}
std::string hosted(const char *who) {
    return ok("{\"id\":\"h1\",\"name\":\"" + std::string(who) +
              "\",\"downloadUrl\":\"https://dl.example/h1\"}");
}

// A stateless host transport, safe for concurrent calls.
int host_answer(const char *url, char **body, int *status) {
    static const std::string i = infos("host"), r = rows("host"), h = hosted("host");
    const std::string *text = strstr(url, "/account/infos")     ? &i
                              : strstr(url, "/downloader/list") ? &r
                              : strstr(url, "/downloader/add")  ? &h
                                                                : nullptr;
    *status = text ? 200 : 404;
    *body = strdup(text ? text->c_str() : "none");
    return 0;
}
int host_get(void *, const char *url, char **body, int *status, char **) {
    return host_answer(url, body, status);
}
int host_post(void *, const char *url, const char *, const char *, char **body, int *status,
              char **) {
    return host_answer(url, body, status);
}

struct expected {
    std::vector<std::string> answers;  // the successes some selection gives
    std::vector<std::string> errors;   // the failure messages some selection gives
};

// The outcomes of one operation over the possible selections.
struct op {
    std::string name;
    std::function<int(char *, int)> call;
    expected want;
};

std::string listing(const char *who) {
    return "[{\"name\":\"" + std::string(who) +
           "\",\"path\":\"https://dl.example/1\",\"folder\":false,\"size\":1,\"locator\":"
           "\"https://dl.example/1\",\"id\":\"d1\"}]";
}
std::string added(const char *who) {
    return "{\"InstantURL\":\"https://dl.example/h1\",\"InstantName\":\"" + std::string(who) +
           "\",\"Payload\":{\"Files\":[{\"id\":\"h1\",\"name\":\"" + who +
           "\",\"downloadUrl\":\"https://dl.example/h1\"}]}}";
}

// The operations of worker w; each names the worker so that answers that
// reach the wrong thread show.
std::vector<op> operations(int w) {
    std::string id = "w" + std::to_string(w);
    std::string settings = "{\"APIKey\":\"k3y-0001\",\"ID\":\"" + id + "\"}";
    std::string locator = "https://dl.example/" + id;
    std::string entry = "{\"locator\":\"" + locator + "\"}";
    const std::string none = "no transport";
    auto validated = [id](const char *who) {
        return "{\"RuntimeType\":\"DEBRIDLINK\",\"ID\":\"" + id + "\",\"AccountName\":\"" + who +
               "\"}";
    };
    return {
        {"validate",
         [settings](char *out, int cap) { return plix_validate(settings.c_str(), out, cap); },
         {{validated("fake"), validated("host")}, {none}}},
        {"list downloader",
         [](char *out, int cap) { return plix_list(kSettings, "downloader", out, cap); },
         {{listing("fake"), listing("host")}, {none}}},
        {"list folder",
         [id](char *out, int cap) { return plix_list(kSettings, id.c_str(), out, cap); },
         {{}, {none, "no such folder: " + id}}},
        {"stream_url",
         [entry](char *out, int cap) {
             return plix_stream_url(kSettings, entry.c_str(), out, cap);
         },
         {{"{\"url\":\"" + locator + "\"}"}, {none}}},
        {"download",
         [](char *out, int cap) { return plix_download(kSettings, kMagnetCfg.c_str(), out, cap); },
         {{added("fake"), added("host")},
          {none, "download() adds items to the account; call plix_allow_writes(1) first"}}},
    };
}

bool one_of(const std::string &s, const std::vector<std::string> &set) {
    for (const auto &e : set)
        if (s == e) return true;
    return false;
}

TEST(Stress, MixedOperationsWhileTheSelectionChanges) {
    plix_fake_reset();
    plix_fake_set("GET", (B + "/account/infos?" + kKey).c_str(), 200, infos("fake").c_str());
    plix_fake_set("GET", (B + "/downloader/list?page=0&perPage=50&" + kKey).c_str(), 200,
                  rows("fake").c_str());
    plix_fake_set(
        "POST",
        (B + "/downloader/add?url=magnet%3A%3Fxt%3Durn%3Abtih%3A" + kHash + "&password=&" + kKey)
            .c_str(),
        200, hosted("fake").c_str());
    const plix_io host = {nullptr, host_get, host_post, nullptr};

    const char *env = getenv("PLIX_STRESS_SECONDS");
    const auto length = std::chrono::milliseconds(env ? atoi(env) * 1000 : 2000);
    const auto end = std::chrono::steady_clock::now() + length;
    std::atomic<bool> stop{false};
    std::atomic<long> calls{0}, switches{0};
    std::mutex bad_lock;
    std::vector<std::string> bad;

    std::thread switcher([&] {
        for (int i = 0; !stop; ++i) {
            switch (i % 4) {
                case 0:
                    plix_set_io(&host);
                    break;
                case 1:
                    plix_use_fake();
                    break;
                case 2:
                    plix_set_io(nullptr);
                    break;
                case 3:
                    plix_allow_writes(i % 8 == 3);
                    break;
            }
            // The fake's controls run alongside its exchanges.
            if (i % 16 == 0) {
                plix_fake_set("GET", "https://elsewhere.example/", 200, "x");
                plix_fake_calls(nullptr, nullptr);
                plix_fake_last_url();
            }
            ++switches;
            std::this_thread::yield();
        }
    });

    std::vector<std::thread> workers;
    for (int w = 0; w < 8; ++w)
        workers.emplace_back([&, w] {
            std::vector<op> ops = operations(w);
            std::vector<char> out(1 << 14);
            std::string redacted_in = "https://u:p@h.example/w" + std::to_string(w) + "?apikey=s";
            std::string redacted_want = "https://h.example/w" + std::to_string(w) + "?apikey=***";
            for (long n = 0; std::chrono::steady_clock::now() < end; ++n) {
                const op &o = ops[static_cast<size_t>(n) % ops.size()];
                memset(out.data(), '#', out.size());
                int code = o.call(out.data(), static_cast<int>(out.size()));
                std::string got = out.data(), result = plix_result_json(),
                            error = plix_last_error();
                std::string redacted = plix_redact(redacted_in.c_str());
                bool fine =
                    code == 0 ? one_of(got, o.want.answers) && result == got && error.empty()
                              : one_of(error, o.want.errors) && result.empty() && got == err(error);
                fine = fine && redacted == redacted_want;
                ++calls;
                if (!fine) {
                    std::lock_guard<std::mutex> hold(bad_lock);
                    bad.push_back(o.name + ": " + std::to_string(code) + " " + got + " | " +
                                  result + " | " + error + " | " + redacted);
                }
            }
        });
    for (auto &t : workers) t.join();
    stop = true;
    switcher.join();

    printf("  %ld calls and %ld switches\n", calls.load(), switches.load());
    EXPECT_GT(switches.load(), 100);
    EXPECT_TRUE(bad.empty()) << bad.size() << " bad, first: " << (bad.empty() ? "" : bad[0]);
    plix_fake_reset();
    plix_set_io(nullptr);
    plix_allow_writes(0);
}

}  // namespace
