// Request layer, status mapping and failure messages, the fake transport.
#include <gtest/gtest.h>
#include <limits.h>
#include <stdint.h>

#include <string>
#include <thread>

#include "exchange/plix_http.h"
#include "exchange/plix_io_fake.h"
#include "exchange/plix_status.h"
#include "recording_io.h"

namespace {

struct exchange : ::testing::Test {
    recording_io io;
    plix_io table{};
    plix_resp_guard r;
    char msg[768] = "";
    void SetUp() override { table = io.table(); }
    // The record, released first: a request zero-fills it without freeing.
    plix_resp *rec() {
        plix_resp_free(&r.get());
        return &r.get();
    }
};

// The record keeps the transport's body and gives it back through the free
// slot when released; the error string goes back at once.
TEST_F(exchange, CompletedExchangeKeepsBodyAndReleasesStrings) {
    recording_io::reply rep;
    rep.status = 204;
    rep.text = "";
    rep.error = "ignored";
    io.replies.push_back(rep);
    ASSERT_TRUE(plix_http(&table, "u", nullptr, rec(), msg, sizeof msg));
    EXPECT_EQ(r.get().status, 204);
    EXPECT_STREQ(r.get().body, "");
    EXPECT_EQ(r.get().length, 0u);
    EXPECT_EQ(io.handed, 2);
    EXPECT_EQ(io.returned, 1);
    EXPECT_STREQ(msg, "");  // untouched on success
    plix_resp_free(&r.get());
    EXPECT_EQ(io.returned, 2);
    ASSERT_EQ(io.seen.size(), 1u);
    EXPECT_EQ(io.seen[0].method, "GET");
}

TEST_F(exchange, BodyIsCutAtItsNul) {
    io.add(200, std::string("ab\0cd", 5));
    ASSERT_TRUE(plix_http(&table, "u", nullptr, rec(), msg, sizeof msg));
    EXPECT_STREQ(r.get().body, "ab");
    EXPECT_EQ(r.get().length, 2u);
}

TEST_F(exchange, NullFreeSlotUsesTheHeap) {
    io.with_free = false;
    table = io.table();
    io.add(200, "x");
    ASSERT_TRUE(plix_http(&table, "u", nullptr, rec(), msg, sizeof msg));
    EXPECT_EQ(io.returned, 0);  // released with free(); ASan/valgrind see leaks otherwise
}

TEST_F(exchange, FailuresGiveOneLineWithTheUrlRedacted) {
    struct row {
        int answer;
        bool body;
        const char *error;
        const char *suffix;
    } rows[] = {
        {1, false, "  \r\nconnection refused\r\nretry", ": connection refused"},
        {1, true, nullptr, ": transport failure"},   // a body beside a failure is dropped
        {0, false, nullptr, ": transport failure"},  // 0 without a body is a failure
        {7, false, "", ": "},
        {7, false, " \t ", ": "},
    };
    for (const auto &row : rows) {
        recording_io::reply rep;
        rep.answer = row.answer;
        rep.body = row.body;
        rep.error = row.error;
        io.replies.push_back(rep);
        ASSERT_FALSE(
            plix_http(&table, "svc://u:p@h/x?apikey=K3Y", nullptr, rec(), msg, sizeof msg));
        EXPECT_EQ(std::string(msg), std::string("GET svc://h/x?apikey=***") + row.suffix);
        EXPECT_EQ(r.get().body, nullptr);
        EXPECT_EQ(r.get().status, 0);
    }
    EXPECT_EQ(io.handed, io.returned);
}

TEST_F(exchange, LongErrorLineIsCutTo199) {
    std::string e(300, 'e');
    recording_io::reply rep;
    rep.answer = 1;
    rep.body = false;
    rep.error = e.c_str();
    io.replies.push_back(rep);
    ASSERT_FALSE(plix_http(&table, "u", nullptr, rec(), msg, sizeof msg));
    EXPECT_EQ(std::string(msg), "GET u: " + std::string(199, 'e'));
}

TEST_F(exchange, UrlBoundAppliesToTheFullUrl) {
    std::string base = "u?";
    std::string url = base + std::string(8192 - base.size() - 8 - 4, 'a');  // + "&apikey=" + key
    io.add(200, "{}");
    ASSERT_TRUE(plix_http_auth(&table, "KKKK", url.c_str(), nullptr, rec(), msg, sizeof msg));
    EXPECT_EQ(io.seen.back().url.size(), 8192u);
    ASSERT_FALSE(plix_http_auth(&table, "KKKKK", url.c_str(), nullptr, rec(), msg, sizeof msg));
    EXPECT_STREQ(msg, "request URL longer than 8 KiB");
    EXPECT_EQ(io.seen.size(), 1u);
}

TEST_F(exchange, KeyIsEncodedAndAppendedLast) {
    char *full = nullptr;
    ASSERT_TRUE(auth_url("h/account/infos", "a+b c", &full));
    EXPECT_STREQ(full, "h/account/infos?apikey=a%2Bb%20c");
    free(full);
    ASSERT_TRUE(auth_url("h/l?page=0&perPage=50", "Zz09", &full));
    EXPECT_STREQ(full, "h/l?page=0&perPage=50&apikey=Zz09");
    free(full);
    EXPECT_FALSE(auth_url(nullptr, "k", &full));
    EXPECT_FALSE(auth_url("u", nullptr, &full));
}

TEST_F(exchange, PostContentTypesAndSlots) {
    io.add(200, "a");
    ASSERT_TRUE(plix_http_post(&table, "u", nullptr, nullptr, rec(), msg, sizeof msg));
    EXPECT_EQ(io.seen.back().content_type, "application/x-www-form-urlencoded");
    EXPECT_EQ(io.seen.back().body, "");
    io.add(200, "a");
    ASSERT_TRUE(plix_http(&table, "u", "torrent", rec(), msg, sizeof msg));
    EXPECT_EQ(io.seen.back().method, "POST");
    EXPECT_EQ(io.seen.back().content_type, "multipart/form-data; boundary=plixtorrent");

    // POST needs only post; GET needs both slots.
    plix_io no_get = table;
    no_get.get = nullptr;
    io.add(200, "a");
    EXPECT_TRUE(plix_http_auth_post(&no_get, "KKKK", "u", "t/x", "b", rec(), msg, sizeof msg));
    EXPECT_EQ(io.seen.back().content_type, "t/x");
    EXPECT_FALSE(plix_http(&no_get, "u", "b", rec(), msg, sizeof msg));
    EXPECT_STREQ(msg, "no transport");
    EXPECT_FALSE(plix_http_auth(nullptr, "KKKK", "u", nullptr, rec(), msg, sizeof msg));
    EXPECT_FALSE(plix_http_post(nullptr, "u", nullptr, nullptr, rec(), msg, sizeof msg));
}

TEST_F(exchange, PostFailureMessage) {
    io.fail("reset by peer");
    ASSERT_FALSE(
        plix_http_post(&table, "svc://h/a?apikey=SECRET", nullptr, "b", rec(), msg, sizeof msg));
    EXPECT_STREQ(msg, "POST svc://h/a?apikey=***: reset by peer");
}

TEST(BodyLine, Rules) {
    char out[8];
    plix_body_line("abc", out, 3);
    EXPECT_STREQ(out, "ab");
    plix_body_line(nullptr, out, sizeof out);
    EXPECT_STREQ(out, "");
    plix_body_line("\n\t x y\rz", out, sizeof out);
    EXPECT_STREQ(out, "x y");
    out[0] = '#';
    plix_body_line("abc", out, 0);
    EXPECT_EQ(out[0], '#');
}

TEST(Status, MapTable) {
    struct row {
        int status, code;
    } rows[] = {{200, 0},  {204, 0},  {299, 0},  {300, -5}, {400, -5}, {401, -1},
                {402, -5}, {403, -1}, {404, -2}, {405, -5}, {418, -5}, {429, -3},
                {500, -4}, {599, -4}, {600, -5}, {0, -5},   {-1, -5},  {199, -5}};
    for (const auto &r : rows) EXPECT_EQ(plix_map_status(r.status), r.code) << r.status;
}

TEST(Status, Messages) {
    struct row {
        int status;
        const char *body, *label, *msg;
    } rows[] = {
        {401, "{\"success\":false,\"error\":\"badToken\",\"error_description\":\"Bad API key\"}",
         "account/infos", "account/infos: Debrid-Link error badToken: Bad API key"},
        {404, "{\"error\":\"notFound\"}", "downloader/list",
         "downloader/list: Debrid-Link error notFound"},
        {502, "<html>bad gateway</html>", "seedbox/list", "seedbox/list answered HTTP 502"},
        {500, "{\"error_description\":\"x\"}", "l", "l answered HTTP 500"},
        {500, "{\"error\":7}", "l", "l answered HTTP 500"},
        {500, "{\"error\":\"\",\"error_description\":\"d\"}", "l", "l answered HTTP 500"},
        {500, "{\"error\":\"one\",\"error\":\"two\"}", "l", "l: Debrid-Link error one"},
        {500, "{\"error\":\"a\",}", "l", "l answered HTTP 500"},
        {500, "[]", "l", "l answered HTTP 500"},
        {-3, nullptr, "l", "l answered HTTP -3"},
    };
    for (const auto &r : rows) {
        char msg[768];
        EXPECT_TRUE(
            plix_http_msg(r.status, r.body, r.body ? strlen(r.body) : 0, r.label, msg, sizeof msg));
        EXPECT_STREQ(msg, r.msg);
    }
    std::string code(100, 'c'), desc(300, 'd');
    std::string body = "{\"error\":\"" + code + "\",\"error_description\":\"" + desc + "\"}";
    char msg[768];
    EXPECT_TRUE(plix_http_msg(400, body.c_str(), body.size(), "l", msg, sizeof msg));
    EXPECT_EQ(std::string(msg),
              "l: Debrid-Link error " + code.substr(0, 63) + ": " + desc.substr(0, 191));
}

// ------------------------------------------------------------------ fake

struct fake : ::testing::Test {
    const plix_io *f = plix_io_fake();
    void SetUp() override { plix_fake_reset(); }
    void TearDown() override { plix_fake_reset(); }
    int get(const char *url, std::string *body, int *status, std::string *error = nullptr) {
        char *b = nullptr, *e = nullptr;
        int r = f->get(f->context, url, &b, status, &e);
        *body = b ? b : "<none>";
        if (error) *error = e ? e : "<none>";
        f->free(f->context, b);
        f->free(f->context, e);
        return r;
    }
    int post(const char *url, const char *body, std::string *error) {
        char *b = nullptr, *e = nullptr;
        int status;
        int r = f->post(f->context, url, body, "ignored", &b, &status, &e);
        *error = e ? e : "<none>";
        f->free(f->context, b);
        f->free(f->context, e);
        return r;
    }
};

TEST_F(fake, UnknownUrlIs404AndCounted) {
    std::string body;
    int status;
    EXPECT_EQ(get("u1", &body, &status), 0);
    EXPECT_EQ(status, 404);
    EXPECT_EQ(body, "The requested resource could not be found.");
    EXPECT_EQ(plix_fake_calls(nullptr, nullptr), 1);
    EXPECT_EQ(plix_fake_calls(nullptr, "u1"), 0);
    EXPECT_STREQ(plix_fake_last_url(), "u1");

    std::string error;
    EXPECT_EQ(get(nullptr, &body, &status, &error), -1);
    EXPECT_EQ(error, "null url");
    EXPECT_EQ(plix_fake_calls(nullptr, nullptr), 1);
}

TEST_F(fake, RoutesAnswerAndCount) {
    ASSERT_EQ(plix_fake_set("GET", "u", 200, "b"), 0);
    std::string body;
    int status;
    EXPECT_EQ(get("u", &body, &status), 0);
    EXPECT_EQ(status, 200);
    EXPECT_EQ(body, "b");
    EXPECT_EQ(plix_fake_calls("GET", "u"), 1);
    EXPECT_EQ(plix_fake_calls(nullptr, "u"), 1);
    EXPECT_EQ(plix_fake_calls("POST", "u"), 0);

    // Setting again keeps one route; its count goes on.
    ASSERT_EQ(plix_fake_set("GET", "u", 201, "c"), 0);
    EXPECT_EQ(get("u", &body, &status), 0);
    EXPECT_EQ(status, 201);
    EXPECT_EQ(body, "c");
    EXPECT_EQ(plix_fake_calls("GET", "u"), 2);

    // Exact URLs only.
    EXPECT_EQ(get("U", &body, &status), 0);
    EXPECT_EQ(status, 404);

    ASSERT_EQ(plix_fake_set("GET", "z", 0, nullptr), 0);
    EXPECT_EQ(get("z", &body, &status), 0);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(body, "");
}

TEST_F(fake, InvalidControls) {
    EXPECT_EQ(plix_fake_set("PUT", "u", 200, "b"), -8);
    EXPECT_EQ(plix_fake_set("get", "u", 200, "b"), -8);
    EXPECT_EQ(plix_fake_set(nullptr, "u", 200, "b"), -8);
    EXPECT_EQ(plix_fake_set("GET", nullptr, 200, "b"), -8);
    EXPECT_EQ(plix_fake_fail("DELETE", "u", nullptr), -8);
    EXPECT_EQ(plix_fake_fail("POST", nullptr, nullptr), -8);
}

TEST_F(fake, FailuresRecordBodiesAndCanBeLifted) {
    ASSERT_EQ(plix_fake_fail("POST", "u", nullptr), 0);
    std::string error;
    EXPECT_EQ(post("u", "x", &error), -1);
    EXPECT_EQ(error, "connection refused");
    EXPECT_STREQ(plix_fake_last_body("u"), "x");
    EXPECT_EQ(plix_fake_calls("POST", "u"), 1);
    EXPECT_EQ(post("u", "", &error), -1);
    EXPECT_STREQ(plix_fake_last_body("u"), "x");  // empty bodies leave the record

    ASSERT_EQ(plix_fake_set("POST", "u", 200, "ok"), 0);
    EXPECT_EQ(post("u", "y", &error), 0);
    EXPECT_STREQ(plix_fake_last_body("u"), "y");
    EXPECT_EQ(plix_fake_calls("POST", "u"), 3);

    ASSERT_EQ(plix_fake_fail("POST", "u", "boom"), 0);
    EXPECT_EQ(post("u", "z", &error), -1);
    EXPECT_EQ(error, "boom");

    ASSERT_EQ(plix_fake_set("GET", "g", 200, "x"), 0);
    EXPECT_STREQ(plix_fake_last_body("g"), "");
    EXPECT_STREQ(plix_fake_last_body(nullptr), "");
}

TEST_F(fake, RejectedKeyIsRefusedUntilRouted) {
    const char *url = "svc/x?apikey=QX-NOP-TKN";
    std::string body;
    int status;
    EXPECT_EQ(get(url, &body, &status), 0);
    EXPECT_EQ(status, 401);
    EXPECT_EQ(body,
              "{\"success\":false,\"error\":\"badToken\",\"error_description\":\"Bad API key\"}");
    EXPECT_EQ(plix_fake_calls(nullptr, url), 1);
    ASSERT_EQ(plix_fake_set("GET", url, 200, "fine"), 0);
    EXPECT_EQ(get(url, &body, &status), 0);
    EXPECT_EQ(status, 200);
    // A longer key that begins with the marker is refused the same way.
    EXPECT_EQ(get("svc/x?apikey=QX-NOP-TKN2", &body, &status), 0);
    EXPECT_EQ(status, 401);
}

TEST_F(fake, GettersShareOneThreadSlot) {
    ASSERT_EQ(plix_fake_set("POST", "p", 200, ""), 0);
    EXPECT_STREQ(plix_fake_last_url(), "");
    std::string error;
    post("p", "body", &error);
    const char *u = plix_fake_last_url();
    EXPECT_STREQ(u, "p");
    const char *b = plix_fake_last_body("p");
    EXPECT_STREQ(b, "body");  // u has been freed now (ASan would flag a later read)
    std::string other;
    std::thread([&] { other = plix_fake_last_url(); }).join();
    EXPECT_EQ(other, "p");
    EXPECT_STREQ(b, "body");
}

TEST_F(fake, TableGrowsAndResetEmpties) {
    for (int i = 0; i < 130; ++i)
        ASSERT_EQ(plix_fake_set("GET", ("u" + std::to_string(i)).c_str(), 200 + (i % 50), "b"), 0);
    std::string body;
    int status;
    for (int i = 0; i < 130; ++i) {
        ASSERT_EQ(get(("u" + std::to_string(i)).c_str(), &body, &status), 0);
        EXPECT_EQ(status, 200 + (i % 50));
    }
    EXPECT_EQ(plix_fake_calls(nullptr, nullptr), 130);
    plix_fake_reset();
    EXPECT_EQ(plix_fake_calls(nullptr, nullptr), 0);
    EXPECT_STREQ(plix_fake_last_url(), "");
    EXPECT_EQ(get("u0", &body, &status), 0);
    EXPECT_EQ(status, 404);
}

// Growth stops before the count or the block size overflows; counts past
// an int's range read as INT_MAX instead of wrapping negative.
TEST(FakeLimits, GrowthAndCounts) {
    EXPECT_EQ(plix_grow_count(0, 48), 32);
    EXPECT_EQ(plix_grow_count(32, 48), 64);
    EXPECT_EQ(plix_grow_count(INT_MAX / 2, 1), INT_MAX / 2 * 2);
    EXPECT_EQ(plix_grow_count(INT_MAX / 2 + 1, 1), 0);
    EXPECT_EQ(plix_grow_count(INT_MAX, 48), 0);
    EXPECT_EQ(plix_grow_count(1 << 20, SIZE_MAX / (1u << 20)), 0);
    EXPECT_EQ(plix_count_int(7), 7);
    EXPECT_EQ(plix_count_int(INT_MAX), INT_MAX);
    EXPECT_EQ(plix_count_int(int64_t{INT_MAX} + 1), INT_MAX);
    EXPECT_EQ(plix_count_int(int64_t{1} << 40), INT_MAX);
}

}  // namespace
