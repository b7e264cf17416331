// The service's response envelope and the classes of its error codes.
#include <string.h>
#include <yyjson.h>

#include <string_view>

#include "util/plix_json.h"
#include "util/plix_util.h"
#include "wire/plix_wire.h"

namespace {

struct code_class {
    std::string_view code;
    int result;
};

// Whole codes, compared exactly. No code appears twice, so order is free.
constexpr code_class kCodes[] = {
    {"badToken", -1},
    {"invalidToken", -1},
    {"unknowH", -2},
    {"unknowR", -2},
    {"not_found", -2},
    {"notFound", -2},
    {"unknowId", -2},
    {"freeAccount", -3},
    {"needPremium", -3},
    {"maxNode", -3},
    {"maxLink", -3},
    {"maxSeedbox", -3},
    {"unsupportedHoster", -2},
    {"unSupportedHoster", -2},
    {"hosterUnsupported", -2},
    {"unknowHoster", -2},
    // The codes the service sends in the field beyond those above.
    {"badSign", -1},
    {"hidedToken", -1},
    {"hostNotValid", -2},
    {"fileNotFound", -2},
    {"badFileUrl", -2},
    {"badId", -2},
    {"maxLinkHost", -3},
    {"maxData", -3},
    {"maxDataHost", -3},
    {"maxTorrent", -3},
    {"maxTransfer", -3},
    {"torrentTooBig", -3},
    {"floodDetected", -3},
    {"notFreeHost", -3},
    {"serverNotAllowed", -3},
    {"accountLocked", -3},
    {"internalError", -4},
    {"server_error", -4},
    {"notDebrid", -4},
    {"maintenanceHost", -4},
    {"noServerHost", -4},
    {"disabledHost", -4},
    {"disabledServerHost", -4},
    {"fileNotAvailable", -4},
    {"freeServerOverload", -4},
};

}  // namespace

int plix_error_class(const char *code) {
    std::string_view c = code ? code : "";
    for (const auto &e : kCodes)
        if (c == e.code) return e.result;
    std::string_view head = c.substr(0, 4);
    if (head == "auth" || head == "Auth" || head == "AUTH") return -1;
    return -5;
}

int plix_body_error_class(const char *body, uint64_t length) {
    if (!body || !length) return -5;
    plix_doc doc(yyjson_read(body, static_cast<size_t>(length), 0));
    yyjson_val *root = doc.root();
    const char *code = yyjson_is_obj(root) ? plix_json_str(root, "error") : nullptr;
    return code ? plix_error_class(code) : -5;
}

int plix_parse_envelope(const char *body, uint64_t length, yyjson_doc **doc_out,
                        yyjson_val **value_out, char *message, size_t capacity) {
    *doc_out = nullptr;
    *value_out = nullptr;
    if (!body || !length) {
        plix_msg(message, capacity, "empty response body");
        return -5;
    }
    plix_doc doc(yyjson_read(body, static_cast<size_t>(length), 0));
    yyjson_val *root = doc.root();
    if (!yyjson_is_obj(root)) {
        plix_msg(message, capacity, "response is not a JSON object");
        return -5;
    }
    yyjson_val *success = yyjson_obj_get(root, "success");
    if (!yyjson_is_bool(success)) {
        plix_msg(message, capacity, "response has no success field");
        return -5;
    }
    if (yyjson_get_bool(success)) {
        yyjson_val *value = yyjson_obj_get(root, "value");
        if (!value) {
            plix_msg(message, capacity, "success response has no value");
            return -5;
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

int plix_envelope_open(const char *body, uint64_t length, plix_doc *doc, yyjson_val **value,
                       char *message, size_t capacity) {
    yyjson_doc *d;
    int r = plix_parse_envelope(body, length, &d, value, message, capacity);
    doc->reset(d);
    return r;
}
