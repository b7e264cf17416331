// The in-memory fake transport: canned routes matched by exact (method,
// url), a built-in 404 for unknown URLs and a 401 refusal for the rejected
// key. All shared state is guarded by g_fl, held for the whole of each
// exchange or control and never while another lock is taken.
#include "exchange/plix_io_fake.h"

#include <limits.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <atomic>
#include <new>

#include "platform/plix_platform.h"
#include "util/plix_text.h"

namespace {

// Every string the fake hands to the plug-in is a shared text: a reference
// count ahead of the bytes, released through the fake's free slot. A route's
// body is one, so an exchange hands it out by taking a reference instead of
// copying it (a listing's body is many megabytes); the route and every
// answer still holding it keep it alive, also across plix_fake_reset.
struct shared_head {
    std::atomic<int> refs;
};

// A new shared text holding the n bytes at text and a NUL; null without
// memory.
char *shared_new(const char *text, size_t n) {
    auto *head = static_cast<shared_head *>(malloc(sizeof(shared_head) + n + 1));
    if (!head) return nullptr;
    new (&head->refs) std::atomic<int>(1);
    char *bytes = reinterpret_cast<char *>(head + 1);
    memcpy(bytes, text, n);
    bytes[n] = '\0';
    return bytes;
}

char *shared_copy(const char *text) { return shared_new(text, strlen(text)); }

shared_head *head_of(char *text) { return reinterpret_cast<shared_head *>(text) - 1; }

char *shared_ref(char *text) {
    head_of(text)->refs.fetch_add(1, std::memory_order_relaxed);
    return text;
}

void shared_release(char *text) {
    if (text && head_of(text)->refs.fetch_sub(1, std::memory_order_acq_rel) == 1)
        free(head_of(text));
}

struct route {
    char *method;
    char *url;
    char *body;  // a shared text
    char *failure;
    char *last_body;
    int32_t status;
    int64_t calls;
};

constexpr char kNullUrl[] = "null url";
constexpr char kNotFound[] = "The requested resource could not be found.";
constexpr char kRejectedKey[] = "apikey=QX-NOP-TKN";
constexpr char kBadToken[] =
    "{\"success\":false,\"error\":\"badToken\",\"error_description\":\"Bad API key\"}";
constexpr char kRefused[] = "connection refused";
constexpr char kNoMemory[] = "out of memory";
// What a slot answers when no exchange took place (any value but 0).
constexpr int kNoExchange = -1;

plix_lock g_fl;
route *g_r;
int g_n;
int g_cap;
char *g_last_url;
size_t g_last_url_room;  // bytes g_last_url's block holds, kept between exchanges
int64_t g_total;         // every exchange, counted in 64 bits

}  // namespace

int plix_grow_count(int cap, size_t elem_size) {
    if (cap == 0) return 32;
    if (cap < 0 || cap > INT_MAX / 2 || static_cast<size_t>(cap) > SIZE_MAX / 2 / elem_size)
        return 0;
    return cap * 2;
}

int plix_count_int(int64_t n) { return n > INT_MAX ? INT_MAX : static_cast<int>(n); }

namespace {

route *find(const char *method, const char *url) {
    for (int i = 0; i < g_n; ++i)
        if (strcmp(g_r[i].method, method) == 0 && strcmp(g_r[i].url, url) == 0) return &g_r[i];
    return nullptr;
}

// The route (method, url) with its answer cleared, added when missing; null
// when it cannot be stored.
route *upsert(const char *method, const char *url) {
    if (route *r = find(method, url)) {
        shared_release(r->body);
        free(r->failure);
        r->body = r->failure = nullptr;
        return r;
    }
    if (g_n == g_cap) {
        int cap = plix_grow_count(g_cap, sizeof(route));
        if (!cap) return nullptr;
        auto *grown = static_cast<route *>(realloc(g_r, sizeof(route) * static_cast<size_t>(cap)));
        if (!grown) return nullptr;
        g_r = grown;
        g_cap = cap;
    }
    char *m = plix_strdup(method);
    char *u = plix_strdup(url);
    if (!m || !u) {
        free(m);
        free(u);
        return nullptr;
    }
    route *r = &g_r[g_n++];
    *r = route{};
    r->method = m;
    r->url = u;
    return r;
}

void route_free(route &r) {
    free(r.method);
    free(r.url);
    shared_release(r.body);
    free(r.failure);
    free(r.last_body);
}

// Removes the route upsert added last.
void drop_last() { route_free(g_r[--g_n]); }

// A canned answer that no route holds: status and a copy of text.
int reply(int status, const char *text, char **body_out, int *status_out, char **error_out) {
    *body_out = shared_copy(text);
    if (*body_out) {
        *status_out = status;
        return 0;
    }
    *error_out = shared_copy(kNoMemory);
    return kNoExchange;
}

// Keeps a copy of the exchange's URL for plix_fake_last_url, in a block
// that is reused while it is large enough. Without memory there is none.
void remember_url(const char *url) {
    size_t n = strlen(url) + 1;
    if (n > g_last_url_room) {
        free(g_last_url);
        g_last_url = static_cast<char *>(malloc(n));
        g_last_url_room = g_last_url ? n : 0;
    }
    if (g_last_url) memcpy(g_last_url, url, n);
}

bool valid_method(const char *method) {
    return method && (strcmp(method, "GET") == 0 || strcmp(method, "POST") == 0);
}

int fake_do(const char *method, const char *url, const char *request_body, char **body_out,
            int *status_out, char **error_out) {
    *body_out = nullptr;
    *error_out = nullptr;
    *status_out = 0;
    if (!url) {
        *error_out = shared_copy(kNullUrl);
        return kNoExchange;
    }
    plix_lock_guard hold(&g_fl);
    ++g_total;
    remember_url(url);
    route *r = find(method, url);
    if (!r && strstr(url, kRejectedKey)) {
        r = upsert(method, url);
        if (r) {
            r->status = 401;
            r->body = shared_new(kBadToken, sizeof kBadToken - 1);
            if (!r->body) {
                drop_last();
                r = nullptr;
            }
        }
        // The refusal stands also when its route cannot be stored.
        if (!r) return reply(401, kBadToken, body_out, status_out, error_out);
    }
    if (!r) return reply(404, kNotFound, body_out, status_out, error_out);
    ++r->calls;
    if (request_body && request_body[0]) {
        // Keep the previous record when the copy cannot be made.
        if (char *copy = plix_strdup(request_body)) {
            free(r->last_body);
            r->last_body = copy;
        }
    }
    if (r->failure) {
        *error_out = shared_copy(r->failure);
        return kNoExchange;
    }
    if (!r->body) {  // a route whose body could not be stored
        *error_out = shared_copy(kNoMemory);
        return kNoExchange;
    }
    *status_out = r->status;
    *body_out = shared_ref(r->body);
    return 0;
}

int f_get(void *, const char *url, char **body_out, int *status_out, char **error_out) {
    return fake_do("GET", url, nullptr, body_out, status_out, error_out);
}

int f_post(void *, const char *url, const char *body, const char *, char **body_out,
           int *status_out, char **error_out) {
    return fake_do("POST", url, body ? body : "", body_out, status_out, error_out);
}

void f_free(void *, char *text) { shared_release(text); }

constexpr plix_io g_fake = {nullptr, f_get, f_post, f_free};

void free_text(void *text) { free(text); }

// The last text the getters handed to the calling thread, kept until its
// next getter call.
constexpr plix_slot s_handed_out = {free_text};

// Hands a copy to the calling thread's slot and returns it ("" without one).
const char *hand_out(char *copy) {
    if (!plix_slot_set(&s_handed_out, copy)) return "";
    return copy ? copy : "";
}

}  // namespace

const plix_io *plix_io_fake(void) { return &g_fake; }

void plix_io_fake_reset() {
    plix_lock_guard hold(&g_fl);
    for (int i = 0; i < g_n; ++i) route_free(g_r[i]);
    free(g_r);
    g_r = nullptr;
    g_n = g_cap = g_total = 0;
    free(g_last_url);
    g_last_url = nullptr;
    g_last_url_room = 0;
}

int plix_io_fake_set(const char *method, const char *url, int status, const char *body) {
    if (!valid_method(method) || !url) return PLIX_E_INVALID;
    plix_lock_guard hold(&g_fl);
    route *r = upsert(method, url);
    if (!r) return PLIX_E_BUFFER;
    r->status = status;
    r->body = shared_copy(body ? body : "");
    return r->body ? 0 : PLIX_E_BUFFER;
}

int plix_io_fake_fail(const char *method, const char *url, const char *message) {
    if (!valid_method(method) || !url) return PLIX_E_INVALID;
    plix_lock_guard hold(&g_fl);
    route *r = upsert(method, url);
    if (!r) return PLIX_E_BUFFER;
    r->status = 0;
    r->failure = plix_strdup(message ? message : kRefused);
    return r->failure ? 0 : PLIX_E_BUFFER;
}

int plix_io_fake_calls(const char *method, const char *url) {
    plix_lock_guard hold(&g_fl);
    int64_t sum = 0;
    if (!url) {
        sum = g_total;
    } else {
        for (int i = 0; i < g_n; ++i)
            if (strcmp(g_r[i].url, url) == 0 && (!method || strcmp(g_r[i].method, method) == 0))
                sum += g_r[i].calls;
    }
    return plix_count_int(sum);
}

const char *plix_io_fake_last_body(const char *url) {
    char *copy = nullptr;
    if (url) {
        plix_lock_guard hold(&g_fl);
        if (route *r = find("POST", url)) copy = plix_strdup(r->last_body);
    }
    return hand_out(copy);
}

const char *plix_io_fake_last_url() {
    char *copy;
    {
        plix_lock_guard hold(&g_fl);
        copy = plix_strdup(g_last_url ? g_last_url : "");
    }
    return hand_out(copy);
}
