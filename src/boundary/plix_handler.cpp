// The handler table and the frame every operation runs in: settings,
// transport check, session, routing, and the finishing step that writes the
// answer or the error document and publishes the outcome.
#include <stdio.h>
#include <string.h>
#include <yyjson.h>

#include <atomic>
#include <string_view>

#include "boundary/plix_boundary.h"
#include "dialect/plix_dialect.h"
#include "dialect/plix_identity.h"
#include "dialect/plix_session.h"
#include "util/plix_buf.h"
#include "util/plix_json.h"
#include "util/plix_redact.h"
#include "wire/plix_wire.h"

namespace {

std::atomic<int> s_writes{0};

}  // namespace

// ------------------------------------------------------------------ frame

namespace {

int finish(int result, plix_buf *output, char *message, const char *api_key, char *out,
           int out_capacity) {
    bool has_out = out && out_capacity > 0;
    result = plix_public_code(result);
    if (result != 0) {
        plix_scrub(message, api_key);
        plix_buf_guard doc;
        bool ok = plix_buf_adds(&doc.get(), "{\"error\":") &&
                  plix_buf_json_str(&doc.get(), message) && plix_buf_adds(&doc.get(), "}");
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
    int32_t page;
    if (plix_downloader_page(folder, &page))
        return plix_do_list_downloader(sess, page, out, message, PLIX_MSG_SIZE);
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

const plix_handler plix_handler_table = {
    PLIX_RUNTIME_TYPE, PLIX_CAPABILITIES, h_validate, h_list,
    h_stream_url,      h_download,        nullptr,    nullptr,
};

void plix_writes_allow(int flag) { s_writes.store(flag ? 1 : 0); }
