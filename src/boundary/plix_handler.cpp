// The handler table and the frame every operation runs in: settings,
// transport check, session, routing, and the finishing step that writes the
// answer or the error document and publishes the outcome.
#include <stdio.h>
#include <string.h>
#include <yyjson.h>

#include <atomic>
#include <string_view>

#include "boundary/plix_boundary.h"
#include "boundary/plix_session.h"
#include "dialect/plix_dialect.h"
#include "dialect/plix_identity.h"
#include "util/plix_json.h"
#include "util/plix_util.h"
#include "wire/plix_wire.h"

namespace {

std::atomic<int> s_writes{0};

// ---------------------------------------------------------------- settings

// A settings member as text: a string, an integer's decimal digits, or
// "true"/"false"; null for every other type. num receives the digits.
const char *sval(yyjson_val *obj, const char *key, char (&num)[24]) {
    yyjson_val *v = yyjson_obj_get(obj, key);
    if (yyjson_is_str(v)) return yyjson_get_str(v);
    if (yyjson_is_int(v)) {
        snprintf(num, sizeof num, "%lld", static_cast<long long>(yyjson_get_sint(v)));
        return num;
    }
    if (yyjson_is_bool(v)) return yyjson_get_bool(v) ? "true" : "false";
    return nullptr;
}

constexpr bool blank(char c) { return c == '\t' || c == '\n' || c == '\r' || c == ' '; }

// The trimmed bytes of s, or an empty view.
std::string_view trimmed(const char *s) {
    if (!s) return {};
    while (blank(*s)) ++s;
    size_t n = strlen(s);
    while (n && blank(s[n - 1])) --n;
    return {s, n};
}

// A trimmed copy in *out (null when nothing is left). false when the copy
// could not be allocated.
bool trimdup(const char *s, char **out) {
    std::string_view t = trimmed(s);
    *out = t.empty() ? nullptr : plix_strndup(t.data(), t.size());
    return t.empty() || *out != nullptr;
}

// Masks the key the settings hold in a message written before the key was
// read (the host may have put it in another member too). Needs no memory:
// a key that does not fit the message cannot occur in it.
void mask_key(yyjson_val *root, char *message, size_t capacity) {
    char num[24];
    std::string_view key = trimmed(sval(root, "APIKey", num));
    if (key.empty()) key = trimmed(sval(root, "ClientSecret", num));
    char secret[PLIX_MSG_SIZE];
    if (key.empty() || key.size() >= capacity || key.size() >= sizeof secret) return;
    memcpy(secret, key.data(), key.size());
    secret[key.size()] = '\0';
    plix_scrub(message, secret);
}

}  // namespace

int plix_cfg_parse(const char *settings, bool require_key, plix_cfg *cfg, char *message,
                   size_t capacity) {
    *cfg = plix_cfg{};
    if (!settings) {
        plix_msg(message, capacity, "settings are NULL");
        return PLIX_E_INVALID;
    }
    size_t len = strnlen(settings, PLIX_SETTINGS_MAX + 1);
    if (len > PLIX_SETTINGS_MAX) {
        plix_msg(message, capacity, PLIX_SETTINGS_TOO_LARGE);
        return PLIX_E_INVALID;
    }
    bool oom;
    plix_doc doc(plix_json_parse(settings, len, &oom));
    if (oom) {
        plix_msg(message, capacity, "out of memory");
        return PLIX_E_OTHER;
    }
    yyjson_val *root = plix_doc_root(doc);
    if (!yyjson_is_obj(root)) {
        plix_msg(message, capacity, "settings are not a JSON object");
        return PLIX_E_INVALID;
    }
    char num[24];
    const char *rt = sval(root, "RuntimeType", num);
    if (rt && rt[0] && strcmp(rt, PLIX_RUNTIME_TYPE) != 0) {
        plix_msg(message, capacity,
                 "RuntimeType is \"%s\", this handler is \"" PLIX_RUNTIME_TYPE "\"", rt);
        mask_key(root, message, capacity);
        return PLIX_E_INVALID;
    }
    plix_cfg_guard read;
    bool ok = trimdup(sval(root, "APIKey", num), &read.get().api_key);
    if (ok && !read.get().api_key)
        ok = trimdup(sval(root, "ClientSecret", num), &read.get().api_key);
    ok = ok && trimdup(sval(root, "ID", num), &read.get().id);
    if (!ok) {
        plix_msg(message, capacity, "out of memory");
        return PLIX_E_OTHER;
    }
    if (require_key && !read.get().api_key) {
        plix_msg(message, capacity, "APIKey is empty");
        return PLIX_E_INVALID;
    }
    *cfg = read.release();
    return 0;
}

void plix_cfg_free(plix_cfg *cfg) {
    if (!cfg) return;
    free(cfg->api_key);
    free(cfg->id);
    *cfg = plix_cfg{};
}

void plix_sess_open(plix_sess *sess, const plix_io *io, const plix_cfg *cfg) {
    sess->io = io;
    sess->cfg = cfg;
}

void plix_sess_close(plix_sess *sess) { *sess = plix_sess{}; }

// ------------------------------------------------------------------ scrub

namespace {

int hex_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    c = static_cast<char>(c | 0x20);
    return (c >= 'a' && c <= 'f') ? c - 'a' + 10 : -1;
}

// How many bytes at p begin the percent-encoded form of secret (hex digits
// in either case, possibly cut inside an escape).
size_t encoded_prefix(const char *p, const char *secret) {
    const char *q = p;
    for (const auto *s = reinterpret_cast<const unsigned char *>(secret); *s; ++s) {
        if (plix_unreserved(*s)) {
            if (static_cast<unsigned char>(*q) != *s) break;
            ++q;
            continue;
        }
        if (q[0] != '%') break;
        ++q;
        if (hex_value(q[0]) != *s >> 4) break;
        ++q;
        if (hex_value(q[0]) != (*s & 15)) break;
        ++q;
    }
    return static_cast<size_t>(q - p);
}

// How many bytes at p begin secret, raw or percent-encoded: the longer.
size_t prefix_at(const char *p, const char *secret) {
    size_t raw = 0;
    while (secret[raw] && p[raw] == secret[raw]) ++raw;
    size_t encoded = encoded_prefix(p, secret);
    return raw > encoded ? raw : encoded;
}

}  // namespace

void plix_scrub(char *text, const char *secret) {
    if (!text || !secret) return;
    size_t n = strlen(secret);
    if (n < 4) return;
    size_t encoded = plix_pct_len(secret);
    if (encoded != n) {
        for (char *p = text; *p;) {
            size_t m = encoded_prefix(p, secret) == encoded ? encoded : 0;
            if (m) {
                memset(p, '*', m);
                p += m;
            } else {
                ++p;
            }
        }
    }
    for (char *p = strstr(text, secret); p; p = strstr(p + n, secret)) memset(p, '*', n);
    // Messages and their parts are cut to bounds, so a key may also stand
    // cut short: a run of 8 or more bytes that begins it goes too, and at
    // the very end of the text (where most cuts fall) one of 4 or more.
    size_t length = strlen(text);
    for (size_t at = 0; at + 4 <= length;) {
        size_t m = prefix_at(text + at, secret);
        if (m >= 8 || (m >= 4 && at + m == length)) {
            memset(text + at, '*', m);
            at += m;
        } else {
            ++at;
        }
    }
}

// ------------------------------------------------------------------ frame

namespace {

constexpr char kRootListing[] =
    "[{\"name\":\"downloader\",\"path\":\"downloader\",\"folder\":true,\"size\":-1},"
    "{\"name\":\"seedbox\",\"path\":\"seedbox\",\"folder\":true,\"size\":-1}]";

int finish(int result, plix_buf *output, char *message, const char *api_key, char *out,
           int out_capacity) {
    bool has_out = out && out_capacity > 0;
    if (result != 0) {
        plix_scrub(message, api_key);
        plix_buf_guard doc;
        bool ok = plix_buf_adds(&doc.get(), "{\"error\":") == 0 &&
                  plix_buf_json_str(&doc.get(), message) == 0 &&
                  plix_buf_adds(&doc.get(), "}") == 0;
        if (has_out) {
            // Never leave an earlier answer in the buffer, also when the
            // document could not be built.
            if (ok && static_cast<uint64_t>(out_capacity) >= doc.get().length + 1)
                memcpy(out, doc.get().text, doc.get().length + 1);
            else
                out[0] = '\0';
        }
        plix_publish_take(result, message, nullptr);
        return result;
    }
    char *answer = output->length ? output->text : nullptr;
    uint64_t length = answer ? output->length : 2;
    if (answer) {
        *output = plix_buf{};  // the channel takes the block
    } else {
        answer = plix_strdup("{}");
        if (!answer) {
            // Nothing to publish: report the allocation failure itself.
            char oom[] = "out of memory";
            return finish(PLIX_E_OTHER, output, oom, nullptr, out, out_capacity);
        }
    }
    if (!has_out || static_cast<uint64_t>(out_capacity) < length + 1) {
        if (has_out) out[0] = '\0';
        plix_publish_take(PLIX_E_BUFFER, "output buffer too small", answer);
        return PLIX_E_BUFFER;
    }
    memcpy(out, answer, length + 1);
    plix_publish_take(0, "", answer);
    return 0;
}

enum class op { validate, list, stream, download };

int run_list(const plix_sess *sess, const char *folder, plix_buf *out, char *message) {
    if (!folder || !folder[0]) return plix_do_list_root(out, message, PLIX_MSG_SIZE);
    if (!strcmp(folder, "downloader") || !strcmp(folder, "/downloader"))
        return plix_do_list_downloader(sess, out, message, PLIX_MSG_SIZE);
    if (!strcmp(folder, "seedbox") || !strcmp(folder, "/seedbox"))
        return plix_do_list_seedbox(sess, out, message, PLIX_MSG_SIZE);
    if (folder[0] == 's' && folder[1])
        return plix_do_list_seedbox_item(sess, folder + 1, out, message, PLIX_MSG_SIZE);
    plix_msg(message, PLIX_MSG_SIZE, "no such folder: %s", folder);
    return PLIX_E_NOT_FOUND;
}

int frame(op kind, const plix_io *transport, const char *settings, const char *argument, char *out,
          int out_capacity) {
    char message[PLIX_MSG_SIZE];
    memset(message, 0, sizeof message);
    plix_buf_guard output;
    plix_cfg_guard held;
    plix_cfg &cfg = held.get();
    int code = plix_cfg_parse(settings, true, &cfg, message, sizeof message);
    if (code != 0) return finish(code, &output.get(), message, nullptr, out, out_capacity);

    if (!transport) {
        plix_msg(message, sizeof message, "no transport");
        code = PLIX_E_SERVICE;
    } else {
        plix_io io = *transport;  // this call's own copy of the table
        plix_str link;
        if (kind == op::stream)
            code = plix_entry_link(argument, link.out(), message, sizeof message);
        if (code == 0) {
            plix_sess sess;
            plix_sess_open(&sess, &io, &cfg);
            switch (kind) {
                case op::validate:
                    code = plix_do_validate(&sess, cfg.id, &output.get(), message, sizeof message);
                    break;
                case op::list:
                    code = run_list(&sess, argument, &output.get(), message);
                    break;
                case op::stream:
                    code =
                        plix_do_stream(&sess, link.get(), &output.get(), message, sizeof message);
                    break;
                case op::download:
                    code = plix_do_download(&sess, argument, s_writes.load() != 0, &output.get(),
                                            message, sizeof message);
                    break;
            }
            plix_sess_close(&sess);
        }
    }
    return finish(code, &output.get(), message, cfg.api_key, out, out_capacity);
}

int h_validate(const plix_io *t, const char *settings, char *out, int cap) {
    return frame(op::validate, t, settings, nullptr, out, cap);
}
int h_list(const plix_io *t, const char *settings, const char *folder, char *out, int cap) {
    return frame(op::list, t, settings, folder, out, cap);
}
int h_stream_url(const plix_io *t, const char *settings, const char *entry, char *out, int cap) {
    return frame(op::stream, t, settings, entry, out, cap);
}
int h_download(const plix_io *t, const char *settings, const char *request, char *out, int cap) {
    return frame(op::download, t, settings, request, out, cap);
}

}  // namespace

int plix_do_list_root(plix_buf *out, char *message, size_t capacity) {
    if (plix_buf_add(out, kRootListing, sizeof kRootListing - 1) == 0) return 0;
    plix_msg(message, capacity, "out of memory");
    return PLIX_E_OTHER;
}

const plix_handler plix_handler_table = {
    PLIX_RUNTIME_TYPE, PLIX_CAPABILITIES, h_validate, h_list,
    h_stream_url,      h_download,        nullptr,    nullptr,
};

extern "C" {

PLIX_API const plix_handler *plhnd_get(void) { return &plix_handler_table; }

PLIX_API int plix_allow_writes(int flag) {
    s_writes.store(flag ? 1 : 0);
    return 0;
}

}  // extern "C"
