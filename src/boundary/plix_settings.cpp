// The settings a host passes with every call: JSON text with the API key
// ("APIKey", else "ClientSecret"), an optional "ID" and "RuntimeType".
#include <stdio.h>
#include <string.h>
#include <yyjson.h>

#include <string_view>

#include "boundary/plix_boundary.h"
#include "dialect/plix_identity.h"
#include "dialect/plix_session.h"
#include "util/plix_json.h"
#include "util/plix_redact.h"
#include "util/plix_text.h"

namespace {

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
// the message holds at most capacity - 1 bytes, so the key cut to that
// length masks every copy of it, whole or cut short, that the message holds.
void mask_key(yyjson_val *root, char *message, size_t capacity) {
    char num[24];
    std::string_view key = trimmed(sval(root, "APIKey", num));
    if (key.empty()) key = trimmed(sval(root, "ClientSecret", num));
    char secret[PLIX_MSG_SIZE];
    size_t n = key.size();
    if (capacity && n > capacity - 1) n = capacity - 1;
    if (n > sizeof secret - 1) n = sizeof secret - 1;
    if (n == 0) return;
    memcpy(secret, key.data(), n);
    secret[n] = '\0';
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
    if (oom) return plix_oom(message, capacity);
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
    if (!ok) return plix_oom(message, capacity);
    if (require_key && !read.get().api_key) {
        plix_msg(message, capacity, "APIKey is empty");
        return PLIX_E_INVALID;
    }
    *cfg = read.release();
    return 0;
}
