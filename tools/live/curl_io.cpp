// The live transport on libcurl (Linux). Every exchange runs on an easy
// handle of its own, so the table takes any number of concurrent calls; the
// options it reads are never changed while it is installed.
//
// Strings handed to the plug-in are malloc'd here and come back through the
// table's free slot, which releases them with this program's free().
#include <curl/curl.h>
#include <stdlib.h>
#include <string.h>

#include "bearer.h"
#include "live_io.h"

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

int live_exchange(const live_options *options, const char *url, const char *body,
                  const char *content_type, char **body_out, int *status_out, char **error_out) {
    transfer t;
    if (!t.easy) {
        *error_out = live_copy_out("curl: cannot start a transfer");
        return -1;
    }
    CURL *h = t.easy;
    // The key goes in the Authorization header unless the host asked to
    // keep it in the URL. curl sends it to the service's host only, never
    // to another host a redirect leads to.
    keyed_url target = options->key_in_query ? keyed_url{url, "", false} : split_key(url);
    if (target.key.find_first_of("\r\n") != std::string::npos) {
        *error_out = live_copy_out("the API key holds a line break");
        return -1;
    }
    live_body answer;
    answer.limit = live_answer_limit(carries_key(target));
    curl_easy_setopt(h, CURLOPT_URL, target.url.c_str());
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
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT, options->connect_timeout);
    curl_easy_setopt(h, CURLOPT_TIMEOUT, options->timeout);
    curl_easy_setopt(h, CURLOPT_USERAGENT, options->user_agent.c_str());
    // An announced length past the bound fails before anything is read.
    curl_easy_setopt(h, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(answer.limit));
    curl_easy_setopt(h, CURLOPT_ACCEPT_ENCODING, "");
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, on_data);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &answer);

    if (body) {
        // No 100-continue round trip: bodies are small and some services
        // never answer it.
        t.headers = curl_slist_append(t.headers, "Expect:");
        if (starts_with(content_type, "multipart/form-data")) {
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
            std::string type = std::string("Content-Type: ") + content_type;
            t.headers = curl_slist_append(t.headers, type.c_str());
            curl_easy_setopt(h, CURLOPT_POST, 1L);
            curl_easy_setopt(h, CURLOPT_POSTFIELDS, body);
            curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(strlen(body)));
        }
        curl_easy_setopt(h, CURLOPT_HTTPHEADER, t.headers);
    }

    CURLcode code = curl_easy_perform(h);
    if (answer.too_large || code == CURLE_FILESIZE_EXCEEDED) {
        *error_out = live_copy_out(live_too_large(target.url, answer.limit));
        return -1;
    }
    if (answer.out_of_memory) {
        *error_out = live_copy_out("out of memory");
        return -1;
    }
    if (code != CURLE_OK) {
        *error_out = live_copy_out(failure_text(t, code));
        return -1;
    }
    long status = 0;
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status);
    *body_out = answer.take();
    if (!*body_out) {
        *error_out = live_copy_out("out of memory");
        return -1;
    }
    *status_out = static_cast<int>(status);
    return 0;
}

const char *live_io_stack() { return "libcurl"; }

bool live_io_start(const live_options *, std::string &error) {
    CURLcode code = curl_global_init(CURL_GLOBAL_DEFAULT);
    if (code != CURLE_OK) error = std::string("curl: ") + curl_easy_strerror(code);
    return code == CURLE_OK;
}
