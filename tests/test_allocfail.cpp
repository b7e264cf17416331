// The allocation-failure sweep: every scenario runs once per allocation it
// makes, with that allocation failing (and, in the persistent pass, every
// later one too), until a run meets no failure. Each run must end with a
// code the operation may give, a well-formed buffer, a message on failure,
// and every block it allocated released again, apart from the thread's two
// result-channel strings.
#include <gtest/gtest.h>
#include <stdio.h>
#include <string.h>
#include <yyjson.h>

#include <algorithm>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "failing_alloc.h"
#include "plix.h"
#include "plix_test_util.h"
#include "util/plix_utf8.h"

namespace {

const std::string B = PLIX_TEST_BASE;
const std::string kInfos = B + "/account/infos?" + kKey;
const std::string kDownloader = B + "/downloader/list?page=0&perPage=50&" + kKey;
const std::string kSeedbox = B + "/seedbox/list?page=-1&perPage=-1&" + kKey;
const std::string kTorrentFiles = B + "/seedbox/list?ids=t1&" + kKey;
const std::string kHash = "0123456789abcdef0123456789abcdef01234567";
const std::string kMagnetCfg = "{\"Link\":\"magnet:?xt=urn:btih:" + kHash + "\"}";
const std::string kMagnetAdd =
    B + "/downloader/add?url=magnet%3A%3Fxt%3Durn%3Abtih%3A" + kHash + "&password=&" + kKey;
const std::string kHoster = "https://hoster.example/f?a=1";
const std::string kHosterCfg = "{\"Link\":\"" + kHoster + "\"}";
const std::string kHosterAdd =
    B + "/downloader/add?url=https%3A%2F%2Fhoster.example%2Ff%3Fa%3D1&password=&" + kKey;
const std::string kSeedboxAdd = B + "/seedbox/add?" + kKey;
const std::string kSeedboxByLink =
    B + "/seedbox/add?url=https%3A%2F%2Fhoster.example%2Ff%3Fa%3D1&" + kKey;
const std::string kTorrent = "d8:announce9:udp://t/a4:infod4:name4:fileee";
const std::string kHosted =
    "{\"id\":\"h1\",\"name\":\"Film.2019.mkv\",\"downloadUrl\":\"https://dl.example/h1\","
    "\"size\":700}";
const std::string kRows =
    "[{\"id\":\"d1\",\"name\":\"Show.S01E01.mkv\",\"downloadUrl\":\"https://dl.example/1\","
    "\"size\":1234},{\"id\":\"d2\",\"downloadUrl\":\"https://dl.example/2?a=\\\"\"},"
    "{\"id\":\"d3\",\"name\":\"\\u00e9t\\u00e9\",\"size\":5}]";
const std::string kTorrents =
    "[{\"id\":\"t1\",\"name\":\"Film (2019)\",\"totalSize\":99,\"status\":4},{\"id\":\"t2\"},"
    "{\"id\":\"t3\",\"name\":\"Other\",\"status\":6}]";
const std::string kFiles =
    "[{\"id\":\"t1\",\"files\":[{\"id\":\"f1\",\"name\":\"a.mkv\",\"downloadUrl\":\"https://"
    "dl.example/f1\",\"size\":7},{\"id\":\"f2\",\"name\":\"b.srt\"},{\"id\":\"f3\"}]}]";
constexpr char kIdSettings[] = "{\"APIKey\":\"k3y-0001\",\"ID\":\"7\"}";

// ------------------------------------------------------------ host side

// A host transport that answers from a fixed table. It allocates its
// answers with malloc, so they are counted (and may fail, which it reports
// as a transport failure) like everything else.
struct host_route {
    const char *url;
    int status;
    const char *body;  // null: the exchange fails with error text "unreachable"
};
std::vector<host_route> g_host;

int host_answer(const char *url, char **body, int *status, char **error) {
    for (const host_route &r : g_host) {
        if (strcmp(r.url, url) != 0) continue;
        if (!r.body) {
            *error = strdup("unreachable\nsecond line");
            return 1;
        }
        *body = strdup(r.body);
        *status = r.status;
        return *body ? 0 : 1;
    }
    *body = strdup("none");
    *status = 404;
    return *body ? 0 : 1;
}
int host_get(void *, const char *url, char **body, int *status, char **error) {
    return host_answer(url, body, status, error);
}
int host_post(void *, const char *url, const char *, const char *, char **body, int *status,
              char **error) {
    return host_answer(url, body, status, error);
}
void host_free(void *, char *text) { free(text); }

// ------------------------------------------------------------ scenarios

using call_fn = std::function<int(char *, int)>;

struct scenario {
    const char *name;
    std::function<void()> setup;  // routes and switches, before every run
    call_fn call;
    std::vector<int> also = {};  // codes allowed besides the clean run's, -4 and -5
};

// The calls, each with its settings and argument fixed.
call_fn validating(std::string settings = kSettings) {
    return [settings](char *out, int cap) { return plix_validate(settings.c_str(), out, cap); };
}
call_fn listing(const char *folder) {
    return [folder](char *out, int cap) { return plix_list(kSettings, folder, out, cap); };
}
call_fn streaming(std::string entry) {
    return
        [entry](char *out, int cap) { return plix_stream_url(kSettings, entry.c_str(), out, cap); };
}
call_fn downloading(std::string config) {
    return
        [config](char *out, int cap) { return plix_download(kSettings, config.c_str(), out, cap); };
}

// Set-ups: the fake with routes, or the host transport with its table.
std::function<void()> fake(
    std::vector<std::pair<std::string, std::pair<int, std::string>>> gets,
    std::vector<std::pair<std::string, std::pair<int, std::string>>> posts = {}, int writes = 1) {
    return [=] {
        plix_use_fake();
        plix_fake_reset();
        plix_allow_writes(writes);
        for (const auto &g : gets)
            plix_fake_set("GET", g.first.c_str(), g.second.first, g.second.second.c_str());
        for (const auto &p : posts)
            plix_fake_set("POST", p.first.c_str(), p.second.first, p.second.second.c_str());
    };
}
std::function<void()> host(std::vector<host_route> routes) {
    return [routes] {
        static const plix_io table = {nullptr, host_get, host_post, host_free};
        plix_fake_reset();
        plix_set_io(&table);
        plix_allow_writes(1);
        g_host = routes;
    };
}

std::vector<scenario> scenarios() {
    std::string ok_infos = ok("{\"email\":\"a@b.c\",\"username\":\"u\",\"premiumLeft\":3600}");
    static const std::string host_infos = ok_infos, host_rows = ok(kRows),
                             host_hosted = ok(kHosted);
    return {
        {"validate", fake({{kInfos, {200, ok_infos}}}), validating(kIdSettings)},
        {"validate refused by status", fake({{kInfos, {401, refusal("badToken", "Bad API key")}}}),
         validating()},
        {"validate service error", fake({{kInfos, {200, refusal("invalidToken", "expired")}}}),
         validating()},
        {"validate transport failure",
         [] {
             fake({})();
             plix_fake_fail("GET", kInfos.c_str(), "connection refused\nmore");
         },
         validating()},
        {"validate unknown route", fake({}), validating()},
        {"validate rejected key", fake({}), validating("{\"APIKey\":\"QX-NOP-TKN\"}")},
        {"validate unusable answer", fake({{kInfos, {200, "<html>busy</html>"}}}), validating()},
        {"validate without transport", [] { plix_set_io(nullptr); }, validating()},
        {"settings: no key", fake({}), validating("{\"APIKey\":\"  \",\"ID\":\"1\"}")},
        {"settings: other runtime", fake({}),
         validating("{\"APIKey\":\"k\",\"RuntimeType\":\"OTHER\"}")},
        {"settings: not an object", fake({}), validating("[1,2,3]")},
        {"list root", fake({}), listing("")},
        {"list downloader, 3 rows", fake({{kDownloader, {200, ok(kRows)}}}), listing("downloader")},
        {"list seedbox, 3 torrents", fake({{kSeedbox, {200, ok(kTorrents)}}}), listing("seedbox")},
        {"list torrent, 3 files", fake({{kTorrentFiles, {200, ok(kFiles)}}}), listing("st1")},
        {"list no such folder", fake({}), listing("elsewhere")},
        {"list downloader, no list", fake({{kDownloader, {200, ok("{}")}}}), listing("downloader")},
        {"list torrent, none", fake({{kTorrentFiles, {200, ok("[]")}}}), listing("st1")},
        {"list seedbox limit", fake({{kSeedbox, {429, refusal("maxSeedbox", "limit")}}}),
         listing("seedbox")},
        {"stream_url", fake({}),
         streaming("{\"name\":\"a\",\"locator\":\"https://dl.example/x?a=1\",\"id\":\"1\"}")},
        {"stream_url, no locator", fake({}), streaming("{\"name\":\"a\",\"locator\":\"\"}")},
        {"stream_url, not an object", fake({}), streaming("\"locator\"")},
        {"download magnet", fake({}, {{kMagnetAdd, {200, ok(kHosted)}}}), downloading(kMagnetCfg)},
        {"download magnet refused", fake({}, {{kMagnetAdd, {401, refusal("badToken", "no")}}}),
         downloading(kMagnetCfg)},
        {"download hoster accepted",
         fake({{kHoster, {200, "<html/>"}}}, {{kHosterAdd, {200, ok("[" + kHosted + "]")}}}),
         downloading(kHosterCfg)},
        {"download torrent fallback",
         fake({{kHoster, {200, kTorrent}}},
              {{kHosterAdd, {200, refusal("unsupportedHoster", "no")}},
               {kSeedboxAdd, {200, ok(kHosted)}}}),
         downloading(kHosterCfg)},
        {"download cut torrent, added by link",
         fake({{kHoster, {200, kTorrent.substr(0, 30)}}},
              {{kHosterAdd, {400, refusal("hostNotValid", "no")}},
               {kSeedboxByLink, {200, ok(kHosted)}}}),
         downloading(kHosterCfg)},
        {"download hoster down, not a torrent",
         fake({{kHoster, {200, "<html/>"}}}, {{kHosterAdd, {200, refusal("notDebrid", "down")}}}),
         downloading(kHosterCfg)},
        {"download not a torrent", fake({{kHoster, {200, "<html/>"}}}, {{kHosterAdd, {404, ""}}}),
         downloading(kHosterCfg)},
        {"download service down",
         fake({{kHoster, {200, "<html/>"}}}, {{kHosterAdd, {503, refusal("busy", "later")}}}),
         downloading(kHosterCfg)},
        {"download gate closed", fake({}, {}, 0), downloading(kMagnetCfg)},
        {"download config refused", fake({}), downloading("{\"Link\":\"\"}")},
        {"host: validate", host({{kInfos.c_str(), 200, host_infos.c_str()}}),
         validating(kIdSettings)},
        {"host: list downloader", host({{kDownloader.c_str(), 200, host_rows.c_str()}}),
         listing("downloader")},
        {"host: torrent fallback",
         host({{kHosterAdd.c_str(), 404, ""},
               {kHoster.c_str(), 200, kTorrent.c_str()},
               {kSeedboxAdd.c_str(), 200, host_hosted.c_str()}}),
         downloading(kHosterCfg)},
        {"host: transport failure", host({{kInfos.c_str(), 0, nullptr}}), validating()},
    };
}

// ------------------------------------------------------------ the sweep

constexpr int kCap = 1 << 16;

struct outcome {
    int code;
    std::string out, result, error;
};

// One run of the scenario with allocation fail_at failing. Leaves the
// released-blocks check to the caller.
outcome run(const scenario &s, char *buf, long fail_at, bool persistent) {
    s.setup();
    memset(buf, '#', kCap);
    failing_alloc::arm(fail_at, persistent);
    int code = s.call(buf, kCap);
    failing_alloc::disarm();
    outcome o{code, std::string(buf, strnlen(buf, kCap)), plix_result_json(), plix_last_error()};
    plix_fake_reset();  // the fake's own record of the last URL goes too
    return o;
}

// Blocks still held that the run allocated, besides the result channel's.
std::string unreleased() {
    std::string s;
    const void *result = plix_result_json(), *error = plix_last_error();
    for (size_t i = 0; i < failing_alloc::live(); ++i) {
        void *p = failing_alloc::live_block(i);
        if (p != result && p != error) s += " " + std::to_string(reinterpret_cast<uintptr_t>(p));
    }
    return s;
}

// The "error" string of an error document, or null when doc is not one.
bool error_document(const std::string &doc, std::string *message) {
    yyjson_doc *d = yyjson_read(doc.c_str(), doc.size(), 0);
    yyjson_val *root = yyjson_doc_get_root(d);
    yyjson_val *e = yyjson_obj_get(root, "error");
    bool ok = yyjson_is_obj(root) && yyjson_obj_size(root) == 1 && yyjson_is_str(e);
    if (ok) *message = yyjson_get_str(e);
    yyjson_doc_free(d);
    return ok;
}

struct figures {
    long steps = 0;                // allocations of the clean run
    long runs = 0;                 // runs with a failing allocation
    std::set<const void *> sites;  // call sites reached, over all runs
    void add_sites() {
        for (long i = 0; i < failing_alloc::sites(); ++i) sites.insert(failing_alloc::site(i));
    }
};

// Runs the whole sweep of one scenario in one mode.
void sweep(const scenario &s, bool persistent, figures *f) {
    std::vector<char> buf(kCap);
    run(s, buf.data(), 0, false);  // warms the thread's state up
    outcome clean = run(s, buf.data(), 0, false);
    f->steps = failing_alloc::count();
    f->add_sites();
    EXPECT_EQ(unreleased(), "") << s.name << ": clean run";
    std::vector<int> allowed = s.also;
    allowed.insert(allowed.end(), {clean.code, -4, -5});

    for (long k = 1;; ++k) {
        outcome o = run(s, buf.data(), k, persistent);
        bool met = failing_alloc::failed();
        f->add_sites();
        f->runs += met;
        std::string where = std::string(s.name) + (persistent ? ", persistent" : "") +
                            ", allocation " + std::to_string(k);
        EXPECT_EQ(unreleased(), "") << where;
        if (o.code == 0) {
            // A success is the clean run's success, whole.
            EXPECT_EQ(clean.code, 0) << where;
            EXPECT_EQ(o.out, clean.out) << where;
            EXPECT_EQ(o.result, clean.out) << where;
            EXPECT_EQ(o.error, "") << where;
        } else {
            EXPECT_NE(std::find(allowed.begin(), allowed.end(), o.code), allowed.end())
                << where << ": code " << o.code << " " << o.error;
            EXPECT_EQ(o.result, "") << where;
            std::string doc_message;
            if (!o.out.empty()) {
                EXPECT_TRUE(error_document(o.out, &doc_message)) << where << ": " << o.out;
            }
            // The last error is the message, or "out of memory" when its
            // copy could not be made; never empty after a failure.
            EXPECT_FALSE(o.error.empty()) << where << ": no last error";
            // Where the clean run read every answer, a failed allocation
            // is reported as such, never as an unreadable answer.
            if (clean.code == 0 && o.code == PLIX_E_OTHER) {
                EXPECT_EQ(o.error.rfind("out of memory", 0), 0u) << where << ": " << o.error;
            }
            if (!o.out.empty() && o.error != "out of memory" &&
                plix_utf8_ok(o.error.data(), o.error.size())) {
                EXPECT_EQ(doc_message, o.error) << where;
            }
        }
        if (!met) {
            EXPECT_EQ(o.code, clean.code) << where;
            EXPECT_EQ(o.out, clean.out) << where;
            break;
        }
        if (k > 100000) {
            ADD_FAILURE() << where << ": no end";
            break;
        }
    }
}

TEST(AllocationFailure, EveryScenarioEveryAllocation) {
    long steps = 0, runs = 0;
    std::set<const void *> sites;
    for (const scenario &s : scenarios()) {
        figures f;
        sweep(s, false, &f);
        sweep(s, true, &f);
        steps += f.steps;
        runs += f.runs;
        sites.insert(f.sites.begin(), f.sites.end());
        printf("  %-32s %3ld allocations, %3ld sites reached, %3ld failing runs\n", s.name, f.steps,
               static_cast<long>(f.sites.size()), f.runs);
    }
    printf("  all: %ld allocations, %ld distinct sites, %ld failing runs\n", steps,
           static_cast<long>(sites.size()), runs);
    plix_fake_reset();
    plix_set_io(nullptr);
    plix_allow_writes(0);
}

}  // namespace
