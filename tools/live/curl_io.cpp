// The live transport on libcurl (Linux). Every attempt runs on an easy
// handle (and a multi handle, which a cancel wakes) of its own, so the
// table takes any number of concurrent calls; the options it reads are
// never changed while it is installed.
//
// Strings handed to the plug-in are malloc'd here and come back through the
// table's free slot, which releases them with this program's free().
#include <curl/curl.h>
#include <stdlib.h>
#include <string.h>

#include "live_stack.h"

namespace {

// Keeps what arrives; answering 0 (past the bound) stops the transfer.
size_t on_data(char *data, size_t size, size_t count, void *answer) {
    return static_cast<live_body *>(answer)->add(data, size * count) ? size * count : 0;
}

bool starts_with(const char *text, const char *prefix) {
    return strncmp(text, prefix, strlen(prefix)) == 0;
}

// Everything an exchange allocates, released on every path.
struct transfer {
    CURL *easy = curl_easy_init();
    curl_slist *headers = nullptr;
    curl_slist *connect_to = nullptr;
    curl_mime *mime = nullptr;
    char error[CURL_ERROR_SIZE] = "";
    ~transfer() {
        curl_mime_free(mime);
        curl_slist_free_all(headers);
        curl_slist_free_all(connect_to);
        if (easy) curl_easy_cleanup(easy);
    }
};

// One line: curl's own words, with any line breaks turned into spaces.
std::string failure_text(const transfer &t, CURLcode code) {
    std::string text = "curl: ";
    text += t.error[0] ? t.error : curl_easy_strerror(code);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    for (char &c : text)
        if (c == '\n' || c == '\r') c = ' ';
    return text;
}

}  // namespace

namespace {

void wake_multi(void *multi) { curl_multi_wakeup(static_cast<CURLM *>(multi)); }

// The errors that mean the connection went away before a whole answer.
bool dropped(CURLcode code) {
    return code == CURLE_GOT_NOTHING || code == CURLE_SEND_ERROR || code == CURLE_RECV_ERROR ||
           code == CURLE_PARTIAL_FILE;
}

// Runs the transfer on a multi handle of its own, so that a cancel can
// wake its wait at once. CURLE_OK or the transfer's own code; cancelled
// tells that it was stopped.
CURLcode run(CURL *easy, live_cancel *cancel, bool &cancelled) {
    cancelled = false;
    CURLM *multi = curl_multi_init();
    if (!multi || curl_multi_add_handle(multi, easy) != CURLM_OK) {
        if (multi) curl_multi_cleanup(multi);
        return CURLE_OUT_OF_MEMORY;
    }
    live_cancel::waker waker{wake_multi, multi};
    CURLcode result = CURLE_OK;
    if (cancel && !cancel->attach(&waker)) {
        cancelled = true;
    } else {
        int running = 0;
        CURLMcode mc = curl_multi_perform(multi, &running);
        while (mc == CURLM_OK && running && !(cancel && cancel->cancelled())) {
            mc = curl_multi_poll(multi, nullptr, 0, 1000, nullptr);
            if (mc == CURLM_OK) mc = curl_multi_perform(multi, &running);
        }
        if (cancel) cancel->detach(&waker);
        cancelled = cancel && cancel->cancelled() && running;
        if (mc != CURLM_OK) result = CURLE_OUT_OF_MEMORY;
        int left = 0;
        while (CURLMsg *msg = curl_multi_info_read(multi, &left))
            if (msg->msg == CURLMSG_DONE && msg->easy_handle == easy) result = msg->data.result;
    }
    curl_multi_remove_handle(multi, easy);
    curl_multi_cleanup(multi);
    return result;
}

}  // namespace

void live_send(const live_request &request, live_reply &reply) {
    const live_options *options = request.options;
    transfer t;
    if (!t.easy) {
        reply.error = "curl: cannot start a transfer";
        return;
    }
    CURL *h = t.easy;
    const keyed_url &target = request.target;
    live_body &answer = reply.body;
    curl_easy_setopt(h, CURLOPT_URL, target.url.c_str());
    // The key goes in the Authorization header unless the host asked to
    // keep it in the URL. curl sends it to the service's host only, never
    // to another host a redirect leads to.
    if (target.has_key) {
        curl_easy_setopt(h, CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_BEARER));
        curl_easy_setopt(h, CURLOPT_XOAUTH2_BEARER, target.key.c_str());
    }
    curl_easy_setopt(h, CURLOPT_ERRORBUFFER, t.error);
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(h, CURLOPT_MAXREDIRS, 10L);
#if LIBCURL_VERSION_NUM >= 0x075500
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
#else
    curl_easy_setopt(h, CURLOPT_PROTOCOLS, static_cast<long>(CURLPROTO_HTTP | CURLPROTO_HTTPS));
    curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS,
                     static_cast<long>(CURLPROTO_HTTP | CURLPROTO_HTTPS));
#endif
    curl_easy_setopt(h, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(h, CURLOPT_SSL_VERIFYHOST, 2L);
    if (!options->cacert.empty()) curl_easy_setopt(h, CURLOPT_CAINFO, options->cacert.c_str());
    for (const std::string &rule : options->connect_to)
        t.connect_to = curl_slist_append(t.connect_to, rule.c_str());
    if (t.connect_to) curl_easy_setopt(h, CURLOPT_CONNECT_TO, t.connect_to);
    if (!options->proxy.empty()) curl_easy_setopt(h, CURLOPT_PROXY, options->proxy.c_str());
    // The attempt ends by the exchange's deadline; connecting takes at most
    // the connect time-out of that.
    long left = live_ms_left(request.deadline);
    long connect = options->connect_timeout * 1000;
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, connect < left ? connect : left);
    curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, left);
    curl_easy_setopt(h, CURLOPT_USERAGENT, options->user_agent.c_str());
    // An announced length past the bound fails before anything is read.
    curl_easy_setopt(h, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(answer.limit));
    curl_easy_setopt(h, CURLOPT_ACCEPT_ENCODING, "");
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, on_data);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &answer);

    if (const char *body = request.body) {
        // No 100-continue round trip: bodies are small and some services
        // never answer it.
        t.headers = curl_slist_append(t.headers, "Expect:");
        if (starts_with(request.content_type, "multipart/form-data")) {
            // The plug-in hands over the raw file; it goes out as the one
            // form part the service reads.
            t.mime = curl_mime_init(h);
            curl_mimepart *part = curl_mime_addpart(t.mime);
            curl_mime_name(part, "file");
            curl_mime_filename(part, "upload.torrent");
            curl_mime_type(part, "application/x-bittorrent");
            curl_mime_data(part, body, strlen(body));
            curl_easy_setopt(h, CURLOPT_MIMEPOST, t.mime);
        } else {
            std::string type = std::string("Content-Type: ") + request.content_type;
            t.headers = curl_slist_append(t.headers, type.c_str());
            curl_easy_setopt(h, CURLOPT_POST, 1L);
            curl_easy_setopt(h, CURLOPT_POSTFIELDS, body);
            curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(strlen(body)));
        }
        curl_easy_setopt(h, CURLOPT_HTTPHEADER, t.headers);
    }

    bool cancelled = false;
    CURLcode code = run(h, request.cancel, cancelled);
    if (cancelled) {
        reply.error = "cancelled";
    } else if (answer.too_large || code == CURLE_FILESIZE_EXCEEDED) {
        reply.error = live_too_large(target.url, answer.limit);
    } else if (answer.out_of_memory) {
        reply.error = "out of memory";
    } else if (code != CURLE_OK) {
        reply.error = failure_text(t, code);
        reply.dropped = dropped(code);
    } else {
        long status = 0;
        curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status);
        reply.status = static_cast<int>(status);
        reply.completed = true;
        curl_header *retry = nullptr;
        if (curl_easy_header(h, "Retry-After", 0, CURLH_HEADER, -1, &retry) == CURLHE_OK && retry)
            reply.retry_after = retry->value;
    }
}

const char *live_io_stack() { return "libcurl"; }

bool live_io_start(const live_options *, std::string &error) {
    CURLcode code = curl_global_init(CURL_GLOBAL_DEFAULT);
    if (code != CURLE_OK) error = std::string("curl: ") + curl_easy_strerror(code);
    return code == CURLE_OK;
}
