// What both live transports share: the table (its slots run one
// exchange, strings go back with free()), the exchange itself with its
// repeats and deadline around the stack's attempts, and cancelling.
#include "live_io.h"

#include <stdlib.h>
#include <string.h>
#include <yyjson.h>

#include <thread>

#include "live_stack.h"

namespace {

int io_get(void *context, const char *url, char **body_out, int *status_out, char **error_out) {
    return live_exchange(static_cast<const live_options *>(context), url, nullptr, nullptr,
                         body_out, status_out, error_out);
}

int io_post(void *context, const char *url, const char *body, const char *content_type,
            char **body_out, int *status_out, char **error_out) {
    return live_exchange(static_cast<const live_options *>(context), url, body ? body : "",
                         content_type ? content_type : "application/x-www-form-urlencoded",
                         body_out, status_out, error_out);
}

void io_free(void *, char *text) { free(text); }

}  // namespace

std::string live_too_large(const std::string &url, size_t limit) {
    size_t start = url.find("://");
    start = start == std::string::npos ? 0 : start + 3;
    size_t end = url.find_first_of("/?#", start);
    std::string host = url.substr(start, end == std::string::npos ? end : end - start);
    size_t at = host.rfind('@');
    if (at != std::string::npos) host.erase(0, at + 1);  // never the user info
    return "the answer of " + host + " is larger than " + std::to_string(limit >> 20) + " MiB";
}

bool live_body::add(const void *bytes, size_t n) {
    if (too_large || out_of_memory) return false;
    if (n > limit - length) {
        too_large = true;
        free(data);
        data = nullptr;
        length = capacity = 0;
        return false;
    }
    if (length + n + 1 > capacity) {
        size_t want = capacity ? capacity : 16384;
        while (want < length + n + 1) want *= 2;
        if (want > limit + 1) want = limit + 1;
        char *grown = static_cast<char *>(realloc(data, want));
        if (!grown) {
            out_of_memory = true;
            return false;
        }
        data = grown;
        capacity = want;
    }
    memcpy(data + length, bytes, n);
    length += n;
    data[length] = '\0';
    return true;
}

char *live_body::take() {
    if (!data) data = static_cast<char *>(calloc(1, 1));
    char *text = data;
    data = nullptr;
    length = capacity = 0;
    return text;
}

char *live_copy_out(const std::string &text) {
    char *p = static_cast<char *>(malloc(text.size() + 1));
    if (p) memcpy(p, text.c_str(), text.size() + 1);
    return p;
}

plix_io live_io_table(const live_options *options) {
    plix_io table{};
    table.context = const_cast<live_options *>(options);
    table.get = io_get;
    table.post = io_post;
    table.free = io_free;
    return table;
}

// ---------------------------------------------------------------- repeats

long live_retry_wait(const live_attempt &a, int repeats) {
    if (a.post || repeats < 0 || repeats >= LIVE_RETRIES) return -1;
    bool again = a.completed ? (a.status >= 500 && a.status <= 599) || a.status == 429 : a.dropped;
    if (!again || a.flood) return -1;
    if (a.retry_after < 0) return LIVE_BACKOFF_MS[repeats];
    return a.retry_after <= LIVE_RETRY_AFTER_MAX ? a.retry_after * 1000 : -1;
}

namespace {

// Days from 1970-01-01 to the given civil date (proleptic Gregorian).
long long days_from_civil(long long y, unsigned m, unsigned d) {
    y -= m <= 2;
    long long era = (y >= 0 ? y : y - 399) / 400;
    unsigned yoe = static_cast<unsigned>(y - era * 400);
    unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long long>(doe) - 719468;
}

}  // namespace

long live_retry_after(const std::string &value, time_t now) {
    size_t start = value.find_first_not_of(" \t");
    if (start == std::string::npos) return -1;
    std::string v = value.substr(start, value.find_last_not_of(" \t") + 1 - start);
    constexpr long kYear = 86400L * 365;  // the longest wait told
    if (v.find_first_not_of("0123456789") == std::string::npos) {
        long n = v.size() > 9 ? kYear : atol(v.c_str());
        return n < kYear ? n : kYear;
    }
    // IMF-fixdate: "Sun, 06 Nov 1994 08:49:37 GMT".
    static const char *const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    char wday[4], mon[4], zone[4];
    int day, year, hh, mm, ss, used = 0;
    if (sscanf(v.c_str(), "%3[A-Za-z], %2d %3[A-Za-z] %4d %2d:%2d:%2d %3[A-Z]%n", wday, &day, mon,
               &year, &hh, &mm, &ss, zone, &used) != 8 ||
        static_cast<size_t>(used) != v.size() || strcmp(zone, "GMT") != 0)
        return -1;
    unsigned m = 0;
    while (m < 12 && strcmp(mon, months[m]) != 0) ++m;
    if (m == 12 || day < 1 || day > 31 || hh > 23 || mm > 59 || ss > 60) return -1;
    long long at =
        days_from_civil(year, m + 1, static_cast<unsigned>(day)) * 86400 + hh * 3600 + mm * 60 + ss;
    long long wait = at - static_cast<long long>(now);
    return wait < 0 ? 0 : wait > kYear ? kYear : static_cast<long>(wait);
}

// ------------------------------------------------------------- cancelling

void live_cancel::cancel() {
    std::lock_guard<std::mutex> hold(mutex_);
    cancelled_.store(true, std::memory_order_release);
    for (waker *w : wakers_) w->wake(w->arg);
    wakeup_.notify_all();
}

bool live_cancel::attach(waker *w) {
    std::lock_guard<std::mutex> hold(mutex_);
    if (cancelled()) return false;
    wakers_.push_back(w);
    return true;
}

void live_cancel::detach(waker *w) {
    std::lock_guard<std::mutex> hold(mutex_);
    for (size_t i = 0; i < wakers_.size(); ++i)
        if (wakers_[i] == w) {
            wakers_.erase(wakers_.begin() + static_cast<long>(i));
            break;
        }
}

bool live_cancel::pause(long ms) {
    std::unique_lock<std::mutex> hold(mutex_);
    wakeup_.wait_for(hold, std::chrono::milliseconds(ms), [this] { return cancelled(); });
    return !cancelled();
}

namespace {

thread_local live_scope *t_scope;

}  // namespace

live_scope::live_scope(live_cancel *c, int r) : cancel(c), retries(r), outer_(t_scope) {
    t_scope = this;
}

live_scope::~live_scope() { t_scope = outer_; }

live_scope *live_scope::current() { return t_scope; }

// --------------------------------------------------------------- exchange

long live_ms_left(live_clock::time_point deadline) {
    auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - live_clock::now()).count();
    return left < 1 ? 1 : static_cast<long>(left);
}

namespace {

// The service's error code in a refusal ({"success":false,"error":...});
// "" for anything else. Only short answers are read: refusals are small.
std::string error_code_of(const live_body &body) {
    if (!body.data || body.length > 65536) return "";
    yyjson_doc *doc = yyjson_read(body.data, body.length, 0);
    yyjson_val *root = yyjson_doc_get_root(doc);
    yyjson_val *success = yyjson_obj_get(root, "success");
    const char *code = yyjson_get_str(yyjson_obj_get(root, "error"));
    std::string out = yyjson_is_false(success) && code ? code : "";
    yyjson_doc_free(doc);
    return out;
}

int fail(char **error_out, const std::string &text) {
    *error_out = live_copy_out(text);
    return -1;
}

}  // namespace

int live_exchange(const live_options *options, const char *url, const char *body,
                  const char *content_type, char **body_out, int *status_out, char **error_out) {
    live_scope *scope = live_scope::current();
    live_cancel *cancel = scope ? scope->cancel : nullptr;
    int retries = scope ? scope->retries : LIVE_RETRIES;
    live_request request{
        options,      options->key_in_query ? keyed_url{url, "", false} : split_key(url), body,
        content_type, live_clock::now() + std::chrono::seconds(options->timeout),         cancel};
    if (request.target.key.find_first_of("\r\n") != std::string::npos)
        return fail(error_out, "the API key holds a line break");
    size_t limit = live_answer_limit(carries_key(request.target));
    for (int repeats = 0;; ++repeats) {
        if (cancel && cancel->cancelled()) return fail(error_out, "cancelled");
        live_reply reply;
        reply.body.limit = limit;
        live_send(request, reply);
        live_attempt a;
        a.post = body != nullptr;
        a.completed = reply.completed;
        a.dropped = reply.dropped;
        a.status = reply.status;
        std::string code = reply.completed ? error_code_of(reply.body) : "";
        a.flood = code == "floodDetected";
        a.retry_after = reply.completed ? live_retry_after(reply.retry_after, time(nullptr)) : -1;
        if (scope) {
            ++scope->sent;
            if (reply.completed) {
                scope->error_code = code;
                scope->status = reply.status;
            }
        }
        long wait = repeats < retries ? live_retry_wait(a, repeats) : -1;
        // A repeat goes out only while the exchange has time left for it.
        if (wait >= 0 &&
            live_clock::now() + std::chrono::milliseconds(wait + 1000) >= request.deadline)
            wait = -1;
        if (wait < 0 && a.retry_after >= 0 && scope && a.retry_after > scope->wait_asked &&
            (a.status == 429 || a.status >= 500))
            scope->wait_asked = a.retry_after;
        if (wait >= 0) {
            bool slept = true;
            if (cancel)
                slept = cancel->pause(wait);
            else
                std::this_thread::sleep_for(std::chrono::milliseconds(wait));
            if (!slept) return fail(error_out, "cancelled");
            continue;
        }
        if (!reply.completed)
            return fail(error_out, cancel && cancel->cancelled() ? "cancelled" : reply.error);
        *body_out = reply.body.take();
        if (!*body_out) return fail(error_out, "out of memory");
        *status_out = reply.status;
        return 0;
    }
}
