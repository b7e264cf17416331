// Every exported function of the plug-in, and the per-thread result
// channel. The operations run in the handler's frame; the other exports
// forward to the module that does the work.
#include <stdlib.h>

#include "boundary/plix_boundary.h"
#include "dialect/plix_dialect.h"
#include "dialect/plix_identity.h"
#include "exchange/plix_http.h"
#include "exchange/plix_io_curl.h"
#include "exchange/plix_io_fake.h"
#include "platform/plix_platform.h"
#include "season/plix_season.h"
#include "util/plix_redact.h"
#include "util/plix_text.h"

namespace {

// The calling thread's result channel: its last answer and last message.
// Empty texts are kept as "nothing"; the getters read both as "".
// Every call writes its thread's channel, so each channel has a cache line
// of its own: two threads' channels side by side on one line would make
// calls on two cores wait for each other.
struct channel {
    char *result;
    char *error;
    bool error_lost;  // the last call failed and its message could not be copied
    void *block;      // the allocation the channel was placed in
};
constexpr size_t kLine = 64;

void channel_free(void *p) {
    auto *c = static_cast<channel *>(p);
    free(c->result);
    free(c->error);
    free(c->block);
}
constexpr plix_slot s_channel = {channel_free};

channel *channel_get(bool create) {
    auto *c = static_cast<channel *>(plix_slot_get(&s_channel));
    if (c || !create) return c;
    // A line-aligned line inside a block of three lines.
    void *block = calloc(1, 3 * kLine);
    if (!block) return nullptr;
    auto at = (reinterpret_cast<uintptr_t>(block) + kLine - 1) & ~(uintptr_t{kLine} - 1);
    c = reinterpret_cast<channel *>(at + kLine);
    c->block = block;
    return plix_slot_set(&s_channel, c) ? c : nullptr;
}

// Replaces a channel text, freeing what it held.
void put(char **text, char *value) {
    free(*text);
    *text = value;
}

// plix_redact's output, per thread, until the thread's next call.
enum { kRedactSize = 2048 };
void free_block(void *p) { free(p); }
constexpr plix_slot s_redacted = {free_block};

// The transport selection: g_io is null (none), &g_user_io (the host's
// table, copied) or the fake's table. Guarded by g_io_lock, which is held
// only while the selection is read or written; every call copies the
// selected table under it, so installing another table never disturbs a
// call that is running.
plix_lock g_io_lock;
const plix_io *g_io;
plix_io g_user_io;

using entry_fn = int (*)(const plix_io *, const char *, const char *, char *, int);

int f_validate(const plix_io *t, const char *settings, const char *, char *out, int cap) {
    return plix_handler_table.validate(t, settings, out, cap);
}
int f_list(const plix_io *t, const char *settings, const char *folder, char *out, int cap) {
    return plix_handler_table.list(t, settings, folder, out, cap);
}
int f_stream(const plix_io *t, const char *settings, const char *entry, char *out, int cap) {
    return plix_handler_table.stream_url(t, settings, entry, out, cap);
}
int f_download(const plix_io *t, const char *settings, const char *request, char *out, int cap) {
    return plix_handler_table.download(t, settings, request, out, cap);
}

// The common body of the flat exports. The call works on its own copy of
// the selected table, so a selection change never disturbs it. A success
// without a buffer is a success here: the answer is in the result channel.
int flat(entry_fn entry, const char *settings, const char *argument, char *out, int cap) {
    plix_io copy;
    const plix_io *transport = plix_io_snapshot(&copy) ? &copy : plix_io_curl();
    if (out && cap > 0) return entry(transport, settings, argument, out, cap);
    int r = entry(transport, settings, argument, nullptr, 0);
    if (r != PLIX_E_BUFFER) return r;
    channel *c = channel_get(false);
    if (c && c->result && c->result[0]) {
        put(&c->error, nullptr);
        c->error_lost = false;
        return 0;
    }
    return PLIX_E_BUFFER;
}

}  // namespace

void plix_publish_take(int failed, const char *error, char *result) {
    channel *c = channel_get(true);
    if (!c) {
        free(result);
        return;
    }
    bool has_error = failed && error && error[0];
    put(&c->error, has_error ? plix_strdup(error) : nullptr);
    c->error_lost = has_error && !c->error;
    if (result && !result[0]) {
        free(result);
        result = nullptr;
    }
    put(&c->result, result);
}

void plix_publish(int failed, const char *error, const char *result) {
    char *copy = result && result[0] ? plix_strdup(result) : nullptr;
    plix_publish_take(failed, error, copy);
}

bool plix_io_snapshot(plix_io *copy) {
    plix_lock_guard hold(&g_io_lock);
    *copy = g_io ? *g_io : plix_io{};
    return g_io != nullptr;
}

extern "C" {

PLIX_API int plix_validate(const char *settings, char *out, int out_capacity) {
    return flat(f_validate, settings, nullptr, out, out_capacity);
}

PLIX_API int plix_list(const char *settings, const char *folder, char *out, int out_capacity) {
    return flat(f_list, settings, folder, out, out_capacity);
}

PLIX_API int plix_stream_url(const char *settings, const char *entry, char *out, int out_capacity) {
    return flat(f_stream, settings, entry, out, out_capacity);
}

PLIX_API int plix_download(const char *settings, const char *request, char *out, int out_capacity) {
    return flat(f_download, settings, request, out, out_capacity);
}

PLIX_API int plix_set_io(const plix_io *table) {
    if (table && (!table->get || !table->post)) return PLIX_E_INVALID;
    plix_lock_guard hold(&g_io_lock);
    if (table) g_user_io = *table;
    g_io = table ? &g_user_io : nullptr;
    return 0;
}

PLIX_API int plix_use_curl(void) { return PLIX_E_NO_NETWORK; }

PLIX_API int plix_use_fake(void) {
    plix_lock_guard hold(&g_io_lock);
    g_io = plix_io_fake();
    return 0;
}

PLIX_API const char *plix_result_json(void) {
    channel *c = channel_get(false);
    return c && c->result ? c->result : "";
}

PLIX_API const char *plix_last_error(void) {
    channel *c = channel_get(false);
    if (!c) return "";
    return c->error ? c->error : c->error_lost ? "out of memory" : "";
}

PLIX_API const char *plix_version(void) { return PLIX_VERSION; }
PLIX_API const char *plix_runtime_type(void) { return PLIX_RUNTIME_TYPE; }
PLIX_API int plix_caps(void) { return static_cast<int>(plix_handler_table.capabilities); }
PLIX_API const char *plix_base_url(void) { return PLIX_BASE_URL; }

PLIX_API int plix_is_torrent_file(const void *data, uint64_t length) {
    return plix_sniff_torrent(data, length);
}

PLIX_API int plix_is_magnet_link(const char *text) { return plix_link_is_magnet(text); }

PLIX_API const char *plix_redact(const char *text) {
    auto *out = static_cast<char *>(plix_slot_get(&s_redacted));
    if (!out) {
        out = static_cast<char *>(malloc(kRedactSize));
        if (!out || !plix_slot_set(&s_redacted, out)) return "";
    }
    plix_redact_into(text, out, kRedactSize);
    return out;
}

PLIX_API int plix_parse_season_episode(const char *name, int *season_out, int *episode_out) {
    int season = 0, episode = 0;
    if (!plix_season_episode(name, &season, &episode)) return 0;
    if (season_out) *season_out = season;
    if (episode_out) *episode_out = episode;
    return 1;
}

PLIX_API const plix_handler *plhnd_get(void) { return &plix_handler_table; }

PLIX_API int plix_allow_writes(int flag) {
    plix_writes_allow(flag);
    return 0;
}

// The fake transport's routes and counters.

PLIX_API void plix_fake_reset(void) { plix_io_fake_reset(); }

PLIX_API int plix_fake_set(const char *method, const char *url, int status, const char *body) {
    return plix_io_fake_set(method, url, status, body);
}

PLIX_API int plix_fake_fail(const char *method, const char *url, const char *message) {
    return plix_io_fake_fail(method, url, message);
}

PLIX_API int plix_fake_calls(const char *method, const char *url) {
    return plix_io_fake_calls(method, url);
}

PLIX_API const char *plix_fake_last_body(const char *url) { return plix_io_fake_last_body(url); }

PLIX_API const char *plix_fake_last_url(void) { return plix_io_fake_last_url(); }

}  // extern "C"
