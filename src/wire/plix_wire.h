// Service records: the response envelope, downloader rows and add results,
// seedbox torrent files, and the listing entry the host hands back.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "util/plix_json.h"

// Opens the service's envelope {"success":...,"value":...}. On 0 the
// caller owns *doc (release with yyjson_doc_free) and *value points inside
// it (a plix_doc's out() takes it). On failure (-1 to -5, the class of the
// service's error code) both are null and message says why.
[[nodiscard]] int plix_parse_envelope(const char *body, uint64_t length, yyjson_doc **doc,
                                      yyjson_val **value, char *message, size_t capacity);

// The result class of a service error code ("badToken" -1, "maxLink" -3,
// "notDebrid" -4, ...); -5 for a code it does not know.
[[nodiscard]] int plix_error_class(const char *code);

// The class of the "error" code in a refusal's body (an object with a string
// "error"); -5 when the body holds none or cannot be read, PLIX_E_NOMEM
// when memory ran out reading it.
[[nodiscard]] int plix_body_error_class(const char *body, uint64_t length);

// One playable file: a downloader row or a torrent's file. Owns its texts.
struct plix_link {
    char *name;
    char *link;    // the file's direct URL
    int64_t size;  // -1 when unknown
    char *id;
};

// A list of link records, in the service's order. Zero-filled is empty.
// A list filled from a document (plix_links_fill) keeps all its records'
// texts in one block, which texts points to, and knows how many bytes
// they hold.
struct plix_links {
    plix_link *items;
    uint64_t count;
    uint64_t capacity;
    char *texts;          // the block of every record's texts, or null
    uint64_t text_bytes;  // a filled list: the bytes of every name, link and id
    uint64_t link_bytes;  // a filled list: the bytes of every link
};

// The most records a list holds; a longer one fails with these messages.
inline constexpr uint64_t PLIX_LINKS_MAX = 65536;
#define PLIX_TOO_MANY_ROWS "downloader list larger than 65536 rows"
#define PLIX_TOO_MANY_FILES "seedbox torrent larger than 65536 files"

void plix_links_free(plix_links *list);

// A link list released when the scope ends.
using plix_links_guard = plix_owner<plix_links, plix_links_free>;

// downloader/list: the rows of "value" (or of "value"."value").
[[nodiscard]] int plix_parse_downloader_list(const char *body, uint64_t length, plix_links *list,
                                             char *message, size_t capacity);

// An add result (downloader/add, seedbox/add): the payload {"Files":...}
// and the hosted file's URL, name and size. url_out, name_out and size_out
// may be null. On failure nothing is handed out.
[[nodiscard]] int plix_parse_added(const char *body, uint64_t length, char **payload_out,
                                   char **url_out, char **name_out, int64_t *size_out,
                                   char *message, size_t capacity);

// A single hosted-file answer: URL ("downloadUrl", else "url"), name, size.
[[nodiscard]] int plix_parse_unlock(const char *body, uint64_t length, char **url_out,
                                    char **name_out, int64_t *size_out, char *message,
                                    size_t capacity);

// seedbox/list for one torrent: the files of the first torrent.
[[nodiscard]] int plix_parse_seedbox_files(const char *body, uint64_t length, plix_links *list,
                                           char *message, size_t capacity);

// What the two list parsers do once the envelope is open, for a caller
// that opens it itself (and so can release the body before the records are
// copied). value is the envelope's value; the results and messages are the
// parsers' own.
[[nodiscard]] int plix_downloader_rows_of_value(yyjson_val *value, plix_links *list, char *message,
                                                size_t capacity);
[[nodiscard]] int plix_seedbox_files_of_value(yyjson_val *value, plix_links *list, char *message,
                                              size_t capacity);

// The text to play from a listing entry: "locator", else "link", else
// "path" (each only as a non-empty string). 0, -8, -2 or -5.
[[nodiscard]] int plix_entry_link(const char *entry, char **link_out, char *message,
                                  size_t capacity);
