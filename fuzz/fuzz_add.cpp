// The add result, on each of the three download paths: a magnet link and a
// hoster link (the input answers downloader/add), and the torrent fallback
// (the input answers seedbox/add).
#include "fuzz_common.h"

namespace {

#define HASH "0123456789abcdef0123456789abcdef01234567"
const char kMagnet[] = "{\"Link\":\"magnet:?xt=urn:btih:" HASH "\"}";
const char kMagnetAdd[] =
    FUZZ_BASE "/downloader/add?url=magnet%3A%3Fxt%3Durn%3Abtih%3A" HASH "&password=&" FUZZ_AUTH;
const char kHosterLink[] = "https://hoster.example/f";
const char kHoster[] = "{\"Link\":\"https://hoster.example/f\"}";
const char kHosterAdd[] =
    FUZZ_BASE "/downloader/add?url=https%3A%2F%2Fhoster.example%2Ff&password=&" FUZZ_AUTH;
const char kSeedboxAdd[] = FUZZ_BASE "/seedbox/add?" FUZZ_AUTH;
const char kTorrent[] = "d8:announce9:udp://t/a4:infod4:name4:fileee";

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    fuzz_setup();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    int status = fuzz_status(data, size);
    int path = size > 1 ? data[1] % 3 : 0;
    std::string body = size > 2 ? fuzz_text(data + 2, size - 2) : "";
    plix_fake_reset();
    const char *config = kHoster;
    if (path == 0) {
        config = kMagnet;
        plix_fake_set("POST", kMagnetAdd, status, body.c_str());
    } else if (path == 1) {
        plix_fake_set("POST", kHosterAdd, status, body.c_str());
        plix_fake_set("GET", kHosterLink, 200, "<html>not a torrent</html>");
    } else {
        plix_fake_set("POST", kHosterAdd, 404, "");
        plix_fake_set("GET", kHosterLink, 200, kTorrent);
        plix_fake_set("POST", kSeedboxAdd, status, body.c_str());
    }
    fuzz_out out;
    int code = plix_download(FUZZ_SETTINGS, config, out.text, fuzz_out::size);
    fuzz_check_outcome(code, out.text);
    FUZZ_CHECK(code >= -5, "code %d", code);
    if (code == 0) {
        yyjson_doc *d = fuzz_parse(out.text);
        yyjson_val *root = yyjson_doc_get_root(d);
        yyjson_val *payload = yyjson_obj_get(root, "Payload");
        FUZZ_CHECK(yyjson_is_str(yyjson_obj_get(root, "InstantURL")) &&
                       yyjson_is_str(yyjson_obj_get(root, "InstantName")) &&
                       yyjson_is_arr(yyjson_obj_get(payload, "Files")),
                   "%s", out.text);
        yyjson_doc_free(d);
    }
    return 0;
}
