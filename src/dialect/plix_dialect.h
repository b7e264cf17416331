// The service operations. Each appends its compact JSON answer to out and
// returns 0, or writes its message and returns a negative result code.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "dialect/plix_session.h"
#include "util/plix_buf.h"

[[nodiscard]] int plix_do_validate(const plix_sess *sess, const char *id, plix_buf *out,
                                   char *message, size_t capacity);
[[nodiscard]] int plix_do_list_root(plix_buf *out, char *message, size_t capacity);
// The downloader folder: "downloader" (page 0) or "downloader/<n>", n a
// decimal page number of at most PLIX_PAGE_MAX without sign or spaces (a
// leading "/" allowed, as for every folder). false for any other name.
inline constexpr int32_t PLIX_PAGE_MAX = 999999999;
[[nodiscard]] bool plix_downloader_page(const char *folder, int32_t *page);
// Page page of the downloader's links, 50 a page, in the service's order.
[[nodiscard]] int plix_do_list_downloader(const plix_sess *sess, int32_t page, plix_buf *out,
                                          char *message, size_t capacity);
[[nodiscard]] int plix_do_list_seedbox(const plix_sess *sess, plix_buf *out, char *message,
                                       size_t capacity);
[[nodiscard]] int plix_do_list_seedbox_item(const plix_sess *sess, const char *id, plix_buf *out,
                                            char *message, size_t capacity);
[[nodiscard]] int plix_do_stream(const plix_sess *sess, const char *locator, plix_buf *out,
                                 char *message, size_t capacity);
[[nodiscard]] int plix_do_download(const plix_sess *sess, const char *config, int writes_allowed,
                                   plix_buf *out, char *message, size_t capacity);
// Removes a downloader link ("d<id>" or "<id>") or a seedbox torrent
// ("s<id>"). No entry point reaches it.
[[nodiscard]] int plix_do_delete(const plix_sess *sess, const char *id, char *message,
                                 size_t capacity);

// The download config {"Link":...}.
struct plix_dlcfg {
    char *link;
};
// The longest link a download config may hold, and its refusal.
inline constexpr size_t PLIX_LINK_MAX = 3072;
#define PLIX_LINK_TOO_LONG "Link longer than 3 KiB"
[[nodiscard]] int plix_dlcfg_parse(const char *text, plix_dlcfg *record, char *message,
                                   size_t capacity);
void plix_dlcfg_free(plix_dlcfg *record);

// Link classification: pure tests, no allocation.
[[nodiscard]] int plix_link_is_magnet(const char *link);
[[nodiscard]] int plix_sniff_torrent(const void *data, uint64_t length);
// 1 when the length bytes are exactly one whole bencoded dictionary (nested
// at most 256 deep), else 0: a torrent file carried as text is cut at its
// first NUL byte and then fails this test.
[[nodiscard]] int plix_bencode_complete(const void *data, uint64_t length);
