// Unloading and loading the plug-in again, as a host does when it reloads
// its plug-ins: threads use it and exit, one thread is still alive at the
// unload and exits afterwards, and every new load starts from nothing (no
// transport, write gate closed, fake transport empty, no thread state).
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "plix.h"
#include "plix_loader.h"

namespace {

struct api : plix_api {
    plix_loader lib;
    bool load() { return lib.open(PLIX_LIBRARY_PATH) && bind(lib); }
};

constexpr char kSettings[] = "{\"APIKey\":\"abcd-1234\"}";
constexpr char kRoot[] =
    "[{\"name\":\"downloader\",\"path\":\"downloader\",\"folder\":true,\"size\":-1},"
    "{\"name\":\"seedbox\",\"path\":\"seedbox\",\"folder\":true,\"size\":-1}]";
constexpr char kMagnet[] =
    "{\"Link\":\"magnet:?xt=urn:btih:0123456789abcdef0123456789abcdef01234567\"}";
constexpr int kThreads = 4;
constexpr int kRounds = 25;

// One thread's work: the root listing (no exchange), a downloader listing
// the fake answers with 404, and a redaction of a text of its own. Every
// answer must be this thread's own. Returns the number of failed checks.
int work(const api &p, int id) {
    int bad = 0;
    const std::string secret = "https://u:p@h/x?apikey=t" + std::to_string(id);
    const std::string masked = "https://h/x?apikey=***";
    char out[1024];
    for (int i = 0; i < kRounds; ++i) {
        bad += p.list(kSettings, "", out, sizeof out) != PLIX_OK;
        bad += std::string(p.result_json()) != kRoot;
        bad += p.list(kSettings, "downloader", out, sizeof out) != PLIX_E_NOT_FOUND;
        bad += std::string(p.result_json()) != "" || std::string(p.last_error()).empty();
        bad += std::string(p.redact(secret.c_str())) != masked;
    }
    return bad;
}

// The state a load starts with. The calling thread has used an earlier load.
void expect_fresh(const api &p) {
    EXPECT_STREQ(p.result_json(), "");
    EXPECT_STREQ(p.last_error(), "");
    EXPECT_EQ(p.fake_calls(nullptr, nullptr), 0);
    char out[256];
    EXPECT_EQ(p.validate(kSettings, out, sizeof out), PLIX_E_SERVICE);
    EXPECT_STREQ(out, "{\"error\":\"no transport\"}");
    ASSERT_EQ(p.use_fake(), 0);
    EXPECT_EQ(p.download(kSettings, kMagnet, out, sizeof out), PLIX_E_WRITES_OFF);
}

TEST(Reload, ThreadsUnloadAndFreshLoad) {
    for (int cycle = 0; cycle < 3; ++cycle) {
        SCOPED_TRACE("load " + std::to_string(cycle + 1));
        api p;
        ASSERT_TRUE(p.load()) << "cannot load " << PLIX_LIBRARY_PATH;
        ASSERT_TRUE(plix_loader::loaded(PLIX_LIBRARY_PATH));
        expect_fresh(p);

        // Change every piece of process-wide state, so the next load shows
        // whether it starts afresh.
        ASSERT_EQ(p.allow_writes(1), 0);
        ASSERT_EQ(p.fake_set("GET", "https://example.invalid/", 200, "{}"), 0);

        std::atomic<int> bad{0};
        std::vector<std::thread> done;
        for (int id = 0; id < kThreads; ++id)
            done.emplace_back([&p, &bad, id] { bad += work(p, id); });
        // This one keeps its state until after the unload.
        std::atomic<bool> worked{false}, unloaded{false};
        std::thread alive([&] {
            bad += work(p, kThreads);
            worked = true;
            while (!unloaded) std::this_thread::yield();
        });
        for (std::thread &t : done) t.join();
        while (!worked) std::this_thread::yield();
        EXPECT_EQ(bad.load(), 0);
        // One exchange per downloader listing.
        EXPECT_EQ(p.fake_calls(nullptr, nullptr), (kThreads + 1) * kRounds);
        EXPECT_EQ(work(p, -1), 0);

        p.lib.close();
        EXPECT_FALSE(plix_loader::loaded(PLIX_LIBRARY_PATH)) << "the library stayed loaded";
        unloaded = true;
        alive.join();
    }
}

}  // namespace
