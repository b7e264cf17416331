#include "proxy.h"

#include <curl/curl.h>
#include <microhttpd.h>
#include <stdlib.h>
#include <string.h>

#include <vector>

namespace {

// What plixd holds of the bytes it passes on: at most this much is read
// ahead of the client.
constexpr size_t kAhead = size_t{1} << 20;

struct transfer {
    CURL *easy = nullptr;
    CURLM *multi = nullptr;
    curl_slist *headers = nullptr, *connect_to = nullptr;
    std::string buffer;
    size_t consumed = 0;
    uint64_t skip = 0;  // bytes the upstream sent before the range it did not honour
    bool paused = false, done = false;
    CURLcode result = CURLE_OK;
    ~transfer() {
        if (multi && easy) curl_multi_remove_handle(multi, easy);
        if (easy) curl_easy_cleanup(easy);
        if (multi) curl_multi_cleanup(multi);
        curl_slist_free_all(headers);
        curl_slist_free_all(connect_to);
    }
};

size_t on_data(char *data, size_t size, size_t count, void *p) {
    auto *t = static_cast<transfer *>(p);
    size_t n = size * count;
    size_t drop = t->skip < n ? static_cast<size_t>(t->skip) : n;
    t->skip -= drop;
    if (t->buffer.size() - t->consumed >= kAhead) {
        t->paused = true;
        return CURL_WRITEFUNC_PAUSE;
    }
    t->buffer.append(data + drop, n - drop);
    return n;
}

// Runs the transfer for at most ms milliseconds.
void pump(transfer &t, int ms) {
    int running = 0;
    curl_multi_perform(t.multi, &running);
    if (running) {
        curl_multi_poll(t.multi, nullptr, 0, ms, nullptr);
        curl_multi_perform(t.multi, &running);
    }
    if (!running && !t.done) {
        t.done = true;
        int left = 0;
        while (CURLMsg *m = curl_multi_info_read(t.multi, &left))
            if (m->msg == CURLMSG_DONE) t.result = m->data.result;
    }
}

ssize_t read_bytes(void *cls, uint64_t, char *out, size_t max) {
    auto *t = static_cast<transfer *>(cls);
    while (t->buffer.size() == t->consumed) {
        if (t->done)
            return t->result == CURLE_OK ? MHD_CONTENT_READER_END_OF_STREAM
                                         : MHD_CONTENT_READER_END_WITH_ERROR;
        if (t->paused) {
            t->paused = false;
            curl_easy_pause(t->easy, CURLPAUSE_CONT);
        }
        pump(*t, 1000);
    }
    size_t n = t->buffer.size() - t->consumed;
    if (n > max) n = max;
    memcpy(out, t->buffer.data() + t->consumed, n);
    t->consumed += n;
    if (t->consumed == t->buffer.size()) {
        t->buffer.clear();
        t->consumed = 0;
    }
    return static_cast<ssize_t>(n);
}

void free_transfer(void *cls) { delete static_cast<transfer *>(cls); }

MHD_Result send_plain(MHD_Connection *c, unsigned status, const char *text,
                      const char *content_range = nullptr) {
    MHD_Response *r = MHD_create_response_from_buffer(strlen(text), const_cast<char *>(text),
                                                      MHD_RESPMEM_PERSISTENT);
    if (!r) return MHD_NO;
    MHD_add_response_header(r, "Content-Type", "text/plain; charset=utf-8");
    if (content_range) MHD_add_response_header(r, "Content-Range", content_range);
    MHD_Result q = MHD_queue_response(c, status, r);
    MHD_destroy_response(r);
    return q;
}

}  // namespace

int proxy_file(MHD_Connection *c, const live_options &upstream, const std::string &url,
               int64_t size, const std::string &etag, const char *type, unsigned &status) {
    byte_range range = parse_range(MHD_lookup_connection_value(c, MHD_HEADER_KIND, "Range"), size);
    // A range for another version of the file than this one: the whole file.
    const char *if_range = MHD_lookup_connection_value(c, MHD_HEADER_KIND, "If-Range");
    if (if_range && etag != if_range) range = byte_range{};
    if (range.what == byte_range::unsatisfiable) {
        status = MHD_HTTP_RANGE_NOT_SATISFIABLE;
        std::string unsat = "bytes */" + std::to_string(size);
        return send_plain(c, status, "range not satisfiable\n", unsat.c_str());
    }
    auto *t = new transfer();
    t->easy = curl_easy_init();
    t->multi = curl_multi_init();
    if (!t->easy || !t->multi) {
        delete t;
        status = MHD_HTTP_INTERNAL_SERVER_ERROR;
        return send_plain(c, status, "out of memory\n");
    }
    CURL *h = t->easy;
    curl_easy_setopt(h, CURLOPT_URL, url.c_str());
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(h, CURLOPT_MAXREDIRS, 10L);
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(h, CURLOPT_SSL_VERIFYHOST, 2L);
    if (!upstream.cacert.empty()) curl_easy_setopt(h, CURLOPT_CAINFO, upstream.cacert.c_str());
    for (const std::string &rule : upstream.connect_to)
        t->connect_to = curl_slist_append(t->connect_to, rule.c_str());
    if (t->connect_to) curl_easy_setopt(h, CURLOPT_CONNECT_TO, t->connect_to);
    if (!upstream.proxy.empty()) curl_easy_setopt(h, CURLOPT_PROXY, upstream.proxy.c_str());
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT, upstream.connect_timeout);
    // A download that stops sending ends rather than holding the client.
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_TIME, upstream.timeout);
    curl_easy_setopt(h, CURLOPT_USERAGENT, upstream.user_agent.c_str());
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, on_data);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, t);
    if (range.what == byte_range::part) {
        std::string ask = std::to_string(range.first) + "-" + std::to_string(range.last);
        curl_easy_setopt(h, CURLOPT_RANGE, ask.c_str());
    }
    curl_multi_add_handle(t->multi, h);
    // The answer's status waits for the download's: a download that fails
    // is a 502, not a 206 that ends early.
    long code = 0;
    auto deadline = upstream.timeout * 1000;
    for (long waited = 0; !t->done && code == 0 && waited < deadline; waited += 200) {
        pump(*t, 200);
        curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &code);
    }
    if (code == 0) curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &code);
    bool ranged = range.what == byte_range::part;
    if ((ranged && code != 206 && code != 200) || (!ranged && code != 200) ||
        (t->done && t->result != CURLE_OK && t->buffer.empty())) {
        delete t;
        status = MHD_HTTP_BAD_GATEWAY;
        return send_plain(c, status, "the file's download host did not answer\n");
    }
    // A host that answered the whole file to a range: its first bytes go.
    if (ranged && code == 200) {
        size_t have = t->buffer.size();
        size_t drop = range.first < have ? static_cast<size_t>(range.first) : have;
        t->buffer.erase(0, drop);
        t->skip = range.first - drop;
    }
    // The whole file is as long as its download host says, where it says.
    curl_off_t announced = -1;
    curl_easy_getinfo(h, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &announced);
    uint64_t length = ranged           ? range.last - range.first + 1
                      : announced >= 0 ? static_cast<uint64_t>(announced)
                      : size >= 0      ? static_cast<uint64_t>(size)
                                       : MHD_SIZE_UNKNOWN;
    MHD_Response *r =
        MHD_create_response_from_callback(length, 256 * 1024, read_bytes, t, free_transfer);
    if (!r) {
        delete t;
        status = MHD_HTTP_INTERNAL_SERVER_ERROR;
        return send_plain(c, status, "out of memory\n");
    }
    MHD_add_response_header(r, "Content-Type", type);
    MHD_add_response_header(r, "Accept-Ranges", "bytes");
    MHD_add_response_header(r, "ETag", etag.c_str());
    if (ranged) {
        std::string content_range = "bytes " + std::to_string(range.first) + "-" +
                                    std::to_string(range.last) + "/" + std::to_string(size);
        MHD_add_response_header(r, "Content-Range", content_range.c_str());
    }
    status = ranged ? MHD_HTTP_PARTIAL_CONTENT : MHD_HTTP_OK;
    MHD_Result q = MHD_queue_response(c, status, r);
    MHD_destroy_response(r);
    return q;
}
