// Adding downloads: a magnet or hoster link goes to the downloader; a link
// that the downloader turns down for a reason other than the key or the
// account's limits is fetched, and a torrent file found there goes to the
// seedbox (uploaded when it arrived whole, else added by its link).
#include <string.h>

#include "dialect/plix_dialect.h"
#include "dialect/plix_request.h"
#include "wire/plix_wire.h"

namespace {

constexpr char kNotALink[] = "Link is not a magnet, a redirect-to-magnet or a torrent file";

// What an add result hands over.
struct added {
    plix_str payload, url, name;
    int64_t size = -1;
};

int read_added(const plix_resp *resp, added *a, char *message, size_t capacity) {
    return plix_parse_added(resp->body, resp->length, a->payload.out(), a->url.out(), a->name.out(),
                            &a->size, message, capacity);
}

// The add answer: InstantURL, InstantName, InstantSize (when known), Payload.
int write_added(const added &a, plix_buf *out, char *message, size_t capacity) {
    bool ok = plix_buf_adds(out, "{\"InstantURL\":") &&
              plix_buf_json_str(out, a.url ? a.url.get() : "") &&
              plix_buf_adds(out, ",\"InstantName\":") &&
              plix_buf_json_str(out, a.name ? a.name.get() : "");
    if (ok && a.size >= 0)
        ok = plix_buf_adds(out, ",\"InstantSize\":") && plix_buf_int(out, a.size);
    ok = ok && plix_buf_adds(out, ",\"Payload\":") &&
         plix_buf_adds(out, a.payload ? a.payload.get() : "{}") && plix_buf_adds(out, "}");
    return ok ? 0 : plix_oom(message, capacity);
}

// Reads an add result and writes the add answer.
int answer_added(const plix_resp *resp, plix_buf *out, char *message, size_t capacity) {
    added a;
    int code = read_added(resp, &a, message, capacity);
    return code != 0 ? code : write_added(a, out, message, capacity);
}

// POST <path>?url=<link>[&password=] with an empty form body: the
// downloader's add-link request, and the seedbox's add by link.
int add_by_link(const plix_sess *sess, const char *path, const char *link, bool password,
                plix_resp *resp, char *message, size_t capacity) {
    plix_buf_guard url;
    if (!plix_buf_adds(&url.get(), PLIX_BASE_URL) || !plix_buf_adds(&url.get(), path) ||
        !plix_buf_query(&url.get(), "url", link) ||
        (password && !plix_buf_query(&url.get(), "password", "")))
        return plix_oom(message, capacity);
    if (!plix_http_auth_post(sess->io, sess->cfg->api_key, url.get().text, PLIX_FORM_TYPE, "", resp,
                             message, capacity))
        return PLIX_E_SERVICE;
    return 0;
}

// Hands the fetched torrent file to the seedbox. Only a whole file is
// uploaded: bodies travel as NUL-terminated text, so a file with binary
// piece hashes arrives cut at its first NUL byte, and the service would
// refuse what is left. Such a file is added by its link instead, which
// the service fetches itself.
int add_torrent(const plix_sess *sess, const char *link, const plix_resp *file, plix_resp *resp,
                char *message, size_t capacity) {
    if (!plix_bencode_complete(file->body, file->length))
        return add_by_link(sess, "/seedbox/add", link, false, resp, message, capacity);
    if (!plix_http_auth_post(sess->io, sess->cfg->api_key, PLIX_BASE_URL "/seedbox/add",
                             PLIX_TORRENT_TYPE, file->body, resp, message, capacity))
        return PLIX_E_SERVICE;
    return 0;
}

// Fetches link and, when it is a torrent file, uploads it to the seedbox.
// service_msg, when non-null, is the message of a downloader failure that
// stands when the link turns out not to be a torrent file.
int torrent_fallback(const plix_sess *sess, const char *link, const char *service_msg,
                     plix_buf *out, char *message, size_t capacity) {
    plix_resp_guard got;
    if (!plix_http(sess->io, link, nullptr, &got.get(), message, capacity)) return PLIX_E_SERVICE;
    if (!got.get().body || !got.get().length ||
        !plix_sniff_torrent(got.get().body, got.get().length)) {
        if (service_msg) {
            plix_msg(message, capacity, "%s", service_msg);
            return PLIX_E_SERVICE;
        }
        plix_msg(message, capacity, "%s", kNotALink);
        return PLIX_E_OTHER;
    }
    plix_resp_guard up;
    int code = add_torrent(sess, link, &got.get(), &up.get(), message, capacity);
    if (code != 0) return code;
    got.reset();  // the fetched file is no longer needed
    code = plix_status_ok(&up.get(), "seedbox/add", message, capacity);
    if (code != 0) return code;
    return answer_added(&up.get(), out, message, capacity);
}

}  // namespace

int plix_do_download(const plix_sess *sess, const char *config, int writes_allowed, plix_buf *out,
                     char *message, size_t capacity) {
    if (!writes_allowed) {
        plix_msg(message, capacity,
                 "download() adds items to the account; call plix_allow_writes(1) first");
        return PLIX_E_WRITES_OFF;
    }
    plix_dlcfg cfg;
    int code = plix_dlcfg_parse(config, &cfg, message, capacity);
    if (code != 0) return code;
    plix_str link(cfg.link);

    plix_resp_guard add;
    code = add_by_link(sess, "/downloader/add", link.get(), true, &add.get(), message, capacity);
    if (code != 0) return code;

    if (plix_link_is_magnet(link.get())) {
        code = plix_status_ok(&add.get(), "downloader/add", message, capacity);
        return code != 0 ? code : answer_added(&add.get(), out, message, capacity);
    }

    // Hoster link: judge status and add result together.
    added a;
    code = plix_refusal_class(&add.get());
    if (code == 0) {
        code = read_added(&add.get(), &a, message, capacity);
        if (code == 0) return write_added(a, out, message, capacity);
    }
    // Memory running out is no verdict on the link.
    if (code == PLIX_E_NOMEM) return plix_oom(message, capacity);
    if (code == PLIX_E_REFUSED || code == PLIX_E_LIMIT) {
        if (!plix_http_msg(add.get().status, add.get().body, add.get().length, "downloader/add",
                           message, capacity))
            return PLIX_E_NOMEM;
        return code;
    }
    // The service failing (HTTP 5xx, or a code such as "notDebrid" for a
    // hoster that is down) is not a verdict on the link: keep its message
    // for the case that the link is no torrent file either.
    char service_msg[PLIX_MSG_SIZE];
    bool service_down = code == PLIX_E_SERVICE;
    if (service_down && !plix_http_msg(add.get().status, add.get().body, add.get().length,
                                       "downloader/add", service_msg, sizeof service_msg))
        return plix_oom(message, capacity);
    plix_resp_free(&add.get());
    return torrent_fallback(sess, link.get(), service_down ? service_msg : nullptr, out, message,
                            capacity);
}
