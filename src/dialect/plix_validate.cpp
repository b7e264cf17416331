// Account validation: GET account/infos and report whose account it is.
#include <yyjson.h>

#include "dialect/plix_dialect.h"
#include "dialect/plix_identity.h"
#include "dialect/plix_request.h"
#include "util/plix_json.h"
#include "wire/plix_wire.h"

int plix_do_validate(const plix_sess *sess, const char *id, plix_buf *out, char *message,
                     size_t capacity) {
    plix_resp_guard r;
    int code = plix_get_ok(sess, PLIX_BASE_URL "/account/infos", "account/infos", &r.get(), message,
                           capacity);
    if (code != 0) return code;
    plix_doc doc;
    yyjson_val *value;
    code = plix_parse_envelope(r.get().body, r.get().length, doc.out(), &value, message, capacity);
    r.reset();
    if (code != 0) return code;

    // Non-objects leave all three absent (the lookups answer null).
    const char *email = plix_json_text(value, "email");
    const char *user = plix_json_text(value, "username");
    int64_t premium = plix_json_int(value, "premiumLeft", -1);

    bool ok = plix_buf_adds(out, "{\"RuntimeType\":\"" PLIX_RUNTIME_TYPE "\",\"ID\":") &&
              plix_buf_json_str(out, id ? id : "");
    if (ok && email) ok = plix_buf_adds(out, ",\"AccountEmail\":") && plix_buf_json_str(out, email);
    if (ok && user) ok = plix_buf_adds(out, ",\"AccountName\":") && plix_buf_json_str(out, user);
    if (ok && premium >= 0)
        ok = plix_buf_adds(out, ",\"PremiumLeft\":\"") && plix_buf_int(out, premium) &&
             plix_buf_adds(out, "\"");
    ok = ok && plix_buf_adds(out, "}");
    return ok ? 0 : plix_oom(message, capacity);
}
