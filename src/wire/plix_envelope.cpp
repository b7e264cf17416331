// The service's response envelope and the classes of its error codes.
#include <string.h>
#include <yyjson.h>

#include <string_view>

#include "util/plix_json.h"
#include "util/plix_text.h"
#include "wire/plix_wire.h"

namespace {

struct code_class {
    std::string_view code;
    int result;
};

// Whole codes, compared exactly. No code appears twice, so order is free.
constexpr code_class kCodes[] = {
    {"badToken", PLIX_E_REFUSED},
    {"invalidToken", PLIX_E_REFUSED},
    {"unknowH", PLIX_E_NOT_FOUND},
    {"unknowR", PLIX_E_NOT_FOUND},
    {"not_found", PLIX_E_NOT_FOUND},
    {"notFound", PLIX_E_NOT_FOUND},
    {"unknowId", PLIX_E_NOT_FOUND},
    {"freeAccount", PLIX_E_LIMIT},
    {"needPremium", PLIX_E_LIMIT},
    {"maxNode", PLIX_E_LIMIT},
    {"maxLink", PLIX_E_LIMIT},
    {"maxSeedbox", PLIX_E_LIMIT},
    {"unsupportedHoster", PLIX_E_NOT_FOUND},
    {"unSupportedHoster", PLIX_E_NOT_FOUND},
    {"hosterUnsupported", PLIX_E_NOT_FOUND},
    {"unknowHoster", PLIX_E_NOT_FOUND},
    // The codes the service sends in the field beyond those above.
    {"badSign", PLIX_E_REFUSED},
    {"hidedToken", PLIX_E_REFUSED},
    {"hostNotValid", PLIX_E_NOT_FOUND},
    {"fileNotFound", PLIX_E_NOT_FOUND},
    {"badFileUrl", PLIX_E_NOT_FOUND},
    {"badId", PLIX_E_NOT_FOUND},
    {"maxLinkHost", PLIX_E_LIMIT},
    {"maxData", PLIX_E_LIMIT},
    {"maxDataHost", PLIX_E_LIMIT},
    {"maxTorrent", PLIX_E_LIMIT},
    {"maxTransfer", PLIX_E_LIMIT},
    {"torrentTooBig", PLIX_E_LIMIT},
    {"floodDetected", PLIX_E_LIMIT},
    {"notFreeHost", PLIX_E_LIMIT},
    {"serverNotAllowed", PLIX_E_LIMIT},
    {"accountLocked", PLIX_E_LIMIT},
    {"internalError", PLIX_E_SERVICE},
    {"server_error", PLIX_E_SERVICE},
    {"notDebrid", PLIX_E_SERVICE},
    {"maintenanceHost", PLIX_E_SERVICE},
    {"noServerHost", PLIX_E_SERVICE},
    {"disabledHost", PLIX_E_SERVICE},
    {"disabledServerHost", PLIX_E_SERVICE},
    {"fileNotAvailable", PLIX_E_SERVICE},
    {"freeServerOverload", PLIX_E_SERVICE},
};

}  // namespace

int plix_error_class(const char *code) {
    std::string_view c = code ? code : "";
    for (const auto &e : kCodes)
        if (c == e.code) return e.result;
    std::string_view head = c.substr(0, 4);
    if (head == "auth" || head == "Auth" || head == "AUTH") return PLIX_E_REFUSED;
    return PLIX_E_OTHER;
}

int plix_body_error_class(const char *body, uint64_t length) {
    if (!body || !length) return PLIX_E_OTHER;
    bool oom;
    plix_doc doc(plix_json_parse(body, static_cast<size_t>(length), &oom));
    if (oom) return PLIX_E_NOMEM;
    yyjson_val *root = plix_doc_root(doc);
    const char *code = yyjson_is_obj(root) ? plix_json_str(root, "error") : nullptr;
    return code ? plix_error_class(code) : PLIX_E_OTHER;
}

int plix_parse_envelope(const char *body, uint64_t length, yyjson_doc **doc_out,
                        yyjson_val **value_out, char *message, size_t capacity) {
    *doc_out = nullptr;
    *value_out = nullptr;
    if (!body || !length) {
        plix_msg(message, capacity, "empty response body");
        return PLIX_E_OTHER;
    }
    bool oom;
    plix_doc doc(plix_json_parse(body, static_cast<size_t>(length), &oom));
    if (oom) return plix_oom(message, capacity);
    yyjson_val *root = plix_doc_root(doc);
    if (!yyjson_is_obj(root)) {
        plix_msg(message, capacity, "response is not a JSON object");
        return PLIX_E_OTHER;
    }
    yyjson_val *success = yyjson_obj_get(root, "success");
    if (!yyjson_is_bool(success)) {
        plix_msg(message, capacity, "response has no success field");
        return PLIX_E_OTHER;
    }
    if (yyjson_get_bool(success)) {
        yyjson_val *value = yyjson_obj_get(root, "value");
        if (!value) {
            plix_msg(message, capacity, "success response has no value");
            return PLIX_E_OTHER;
        }
        *value_out = value;
        *doc_out = doc.release();
        return 0;
    }
    const char *code = plix_json_str(root, "error");
    const char *desc = plix_json_str(root, "error_description");
    code = code ? code : "";
    desc = desc ? desc : "";
    plix_msg(message, capacity, "Debrid-Link error %s: %s", code[0] ? code : "(no code)",
             desc[0] ? desc : "(no message)");
    return plix_error_class(code);
}
