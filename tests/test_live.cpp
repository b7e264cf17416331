// The live transport's rules that need no network: when a request is sent
// again and after how long, how a Retry-After reads, and cancelling.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "live_io.h"

namespace {

live_attempt answered(int status, bool post = false, long retry_after = -1, bool flood = false) {
    live_attempt a;
    a.completed = true;
    a.status = status;
    a.post = post;
    a.retry_after = retry_after;
    a.flood = flood;
    return a;
}

live_attempt failed(bool dropped, bool post = false) {
    live_attempt a;
    a.dropped = dropped;
    a.post = post;
    return a;
}

}  // namespace

TEST(LiveRetry, StatusesAndMethods) {
    struct row {
        const char *what;
        live_attempt attempt;
        long first, second, third;  // the pause after the first send, the first and second repeat
    } rows[] = {
        {"GET 503", answered(503), 500, 1500, -1},
        {"GET 500", answered(500), 500, 1500, -1},
        {"GET 599", answered(599), 500, 1500, -1},
        {"GET 429", answered(429), 500, 1500, -1},
        {"GET 429 Retry-After 3", answered(429, false, 3), 3000, 3000, -1},
        {"GET 503 Retry-After 0", answered(503, false, 0), 0, 0, -1},
        {"GET 503 Retry-After 10", answered(503, false, 10), 10000, 10000, -1},
        {"GET 503 Retry-After 11", answered(503, false, 11), -1, -1, -1},
        {"GET 429 floodDetected", answered(429, false, -1, true), -1, -1, -1},
        {"GET 503 floodDetected", answered(503, false, -1, true), -1, -1, -1},
        {"GET 400 floodDetected", answered(400, false, -1, true), -1, -1, -1},
        {"GET 200", answered(200), -1, -1, -1},
        {"GET 404", answered(404), -1, -1, -1},
        {"GET 401", answered(401), -1, -1, -1},
        {"GET 400", answered(400), -1, -1, -1},
        {"GET 600", answered(600), -1, -1, -1},
        {"GET dropped", failed(true), 500, 1500, -1},
        {"GET refused or timed out", failed(false), -1, -1, -1},
        {"POST 503", answered(503, true), -1, -1, -1},
        {"POST 429", answered(429, true), -1, -1, -1},
        {"POST dropped", failed(true, true), -1, -1, -1},
    };
    for (const auto &r : rows) {
        EXPECT_EQ(live_retry_wait(r.attempt, 0), r.first) << r.what;
        EXPECT_EQ(live_retry_wait(r.attempt, 1), r.second) << r.what;
        EXPECT_EQ(live_retry_wait(r.attempt, 2), r.third) << r.what;
    }
}

TEST(LiveRetry, RetryAfterValues) {
    const time_t now = 784111777;  // Sun, 06 Nov 1994 08:49:37 GMT
    struct row {
        const char *value;
        long seconds;
    } rows[] = {
        {"0", 0},
        {"7", 7},
        {" 120 ", 120},
        {"3600", 3600},
        {"99999999999999", 86400L * 365},
        {"Sun, 06 Nov 1994 08:49:37 GMT", 0},
        {"Sun, 06 Nov 1994 08:50:07 GMT", 30},
        {"Sun, 06 Nov 1994 09:49:37 GMT", 3600},
        {"Mon, 07 Nov 1994 08:49:37 GMT", 86400},
        {"Sat, 05 Nov 1994 08:49:37 GMT", 0},  // past
        {"Thu, 01 Jan 2004 00:00:00 GMT", 86400L * 365},
        {"", -1},
        {"soon", -1},
        {"-5", -1},
        {"1.5", -1},
        {"Sun, 06 Nov 1994 08:49:37 UTC", -1},
        {"Sun, 06 Foo 1994 08:49:37 GMT", -1},
        {"Sun, 06 Nov 1994 08:49:37 GMT trailing", -1},
        {"Sunday, 06-Nov-94 08:49:37 GMT", -1},
    };
    for (const auto &r : rows) EXPECT_EQ(live_retry_after(r.value, now), r.seconds) << r.value;
}

TEST(LiveCancel, PauseEndsAtOnceAndStaysCancelled) {
    live_cancel token;
    EXPECT_TRUE(token.pause(1));  // a short pause runs out
    auto started = std::chrono::steady_clock::now();
    std::thread canceller([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        token.cancel();
    });
    EXPECT_FALSE(token.pause(60000));
    canceller.join();
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
    EXPECT_TRUE(token.cancelled());
    EXPECT_FALSE(token.pause(60000));  // cancelled for good
    int woken = 0;
    live_cancel::waker w{[](void *n) { ++*static_cast<int *>(n); }, &woken};
    EXPECT_FALSE(token.attach(&w));  // nothing attaches to a cancelled token
    token.cancel();
    EXPECT_EQ(woken, 0);
}

TEST(LiveCancel, WakesWhatIsAttachedUntilDetached) {
    live_cancel token;
    int woken = 0;
    live_cancel::waker a{[](void *n) { ++*static_cast<int *>(n); }, &woken};
    live_cancel::waker b{[](void *n) { *static_cast<int *>(n) += 10; }, &woken};
    ASSERT_TRUE(token.attach(&a));
    ASSERT_TRUE(token.attach(&b));
    token.detach(&b);
    token.cancel();
    EXPECT_EQ(woken, 1);
}

TEST(LiveScope, InnermostCountsAndIsRestored) {
    EXPECT_EQ(live_scope::current(), nullptr);
    live_cancel token;
    {
        live_scope outer(&token);
        EXPECT_EQ(live_scope::current(), &outer);
        {
            live_scope inner(nullptr, 0);
            EXPECT_EQ(live_scope::current(), &inner);
            std::thread([] { EXPECT_EQ(live_scope::current(), nullptr); }).join();
        }
        EXPECT_EQ(live_scope::current(), &outer);
    }
    EXPECT_EQ(live_scope::current(), nullptr);
}
