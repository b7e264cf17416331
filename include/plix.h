/*
 * plix: the Debrid-Link client plug-in.
 *
 * A media-player host loads the plug-in and calls its 25 exported functions.
 * The plug-in holds no HTTP client: every exchange with the service goes
 * through a transport table the host installs (plix_io), or through the
 * built-in in-memory fake transport.
 *
 * Conventions
 * - Texts are NUL-terminated byte strings; JSON texts are UTF-8 and compact.
 * - Operations return a result code (PLIX_OK or a negative PLIX_E_* class).
 * - An operation copies its answer, or on failure an error document
 *   {"error":"..."}, into the caller's buffer (out, out_capacity counting the
 *   terminating NUL). The same outcome is kept in the calling thread's result
 *   channel: plix_result_json() and plix_last_error().
 * - Every export may be called from any thread, any number at once.
 *
 * This header compiles as C (C99 or later) and as C++.
 */
#ifndef PLIX_H
#define PLIX_H

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32)
#if defined(PLIX_BUILD)
#define PLIX_API __declspec(dllexport)
#else
#define PLIX_API __declspec(dllimport)
#endif
#elif defined(__GNUC__)
#define PLIX_API __attribute__((visibility("default")))
#else
#define PLIX_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ---------------------------------------------------------------- results */

/**
 * Result codes. 0 is success; each negative value is one failure class.
 * The service's own error codes fall into the classes -1 to -5 (for example
 * "badToken" -1, "fileNotFound" -2, "floodDetected" -3, "notDebrid" -4).
 *
 * download() of a hoster link the service does not support: the service's
 * -2 (or any refusal other than -1 and -3) makes the plug-in fetch the link
 * in case it is a torrent file; a web page then answers PLIX_E_OTHER with
 * "Link is not a magnet, a redirect-to-magnet or a torrent file", and a
 * hoster that is down (-4) answers PLIX_E_SERVICE with the service's message.
 */
enum {
    PLIX_OK = 0,            /**< success */
    PLIX_E_REFUSED = -1,    /**< the service refused the API key */
    PLIX_E_NOT_FOUND = -2,  /**< not found, no such folder (download: see above) */
    PLIX_E_LIMIT = -3,      /**< account limits or too many requests */
    PLIX_E_SERVICE = -4,    /**< no transport, request not performed, HTTP 5xx, service down */
    PLIX_E_OTHER = -5,      /**< out of memory, unusable answer, anything else */
    PLIX_E_NO_NETWORK = -6, /**< no built-in network transport (plix_use_curl) */
    PLIX_E_WRITES_OFF = -7, /**< the write gate is closed (plix_allow_writes) */
    PLIX_E_INVALID = -8,    /**< invalid input from the host */
    PLIX_E_BUFFER = -9      /**< output buffer too small, or a fake route not stored */
};

/* -------------------------------------------------------------- transport */

/**
 * Transport table: four slots the host fills in. The plug-in copies the
 * table when it is installed (plix_set_io) and when an operation starts, so
 * the host may release or reuse its own table right after the call; the
 * functions and the context it names must stay usable until plix_set_io
 * replaces it and every operation that started before has returned.
 *
 * Answers
 * - A completed exchange (any HTTP status, 4xx and 5xx included) answers 0,
 *   stores a body (empty allowed, never null) and the HTTP status.
 * - A failure (no exchange took place) answers non-zero, or 0 without a
 *   body; it may store an error text, whose first line reaches the message.
 * - Bodies travel as NUL-terminated text in both directions, so a body is cut
 *   at its first NUL byte. A fetched torrent file that arrives cut is not
 *   uploaded: download() asks the service to fetch it by its link instead.
 *
 * The key
 * - Authenticated URLs end with an "apikey" parameter. A transport should
 *   move it into an "Authorization: Bearer <key>" header (the service's
 *   clients send it so), which keeps the key out of proxy and server logs.
 *   URLs without that parameter (the fetch of a torrent link) carry no key.
 * - download() fetches a link the service turned down, to see whether it
 *   is a torrent file; users paste links to films. Bound what the transport
 *   reads (plixctl stops at 64 MiB for such a fetch, 512 MiB for an API
 *   answer) and fail the exchange past the bound.
 *
 * Threads
 * - Slots are called from whichever host thread runs the operation, with no
 *   plug-in lock held: a transport must accept concurrent calls, and its
 *   calls block that thread, so bound them with time-outs.
 */
typedef struct plix_io {
    /**
     * Opaque host pointer, passed unchanged to every slot call; may be null.
     * The plug-in never reads through it and never frees it.
     */
    void *context;
    /**
     * GET url. Required. url is the plug-in's, valid during the call only.
     * On a completed exchange store a body into *body_out and the status
     * into *status_out; on a failure optionally an error text into
     * *error_out. Each string stored there is handed to the plug-in, which
     * copies what it needs and gives it back exactly once through free.
     */
    int (*get)(void *context, const char *url, char **body_out, int *status_out, char **error_out);
    /**
     * POST body (never null) with its content type (never null). Required.
     * url, body and content_type are valid during the call only; what it
     * stores follows get's rules.
     */
    int (*post)(void *context, const char *url, const char *body, const char *content_type,
                char **body_out, int *status_out, char **error_out);
    /**
     * Releases a string get or post stored, once per string, on the thread
     * of the operation that received it, before that operation returns.
     * Null means the plug-in releases them with its C runtime's free().
     * On Windows plix.dll allocates and frees with msvcrt.dll: a host built
     * against another C runtime (MSVC's ucrt) must fill this slot with the
     * release function that matches its own allocation, or leave it null
     * only if it allocates those strings with msvcrt's malloc.
     */
    void (*free)(void *context, char *text);
} plix_io;

/* ---------------------------------------------------------- handler table */

/** validate entry point of the handler table. */
typedef int (*plix_validate_fn)(const plix_io *transport, const char *settings, char *out,
                                int out_capacity);
/** list, stream_url and download entry points of the handler table. */
typedef int (*plix_call_fn)(const plix_io *transport, const char *settings, const char *argument,
                            char *out, int out_capacity);

/**
 * The constant handler table returned by plhnd_get(): eight 64-bit slots.
 * Each entry point takes the transport for that call as its first argument.
 */
typedef struct plix_handler {
    const char *runtime_type;  /**< offset  0: "DEBRIDLINK" */
    int64_t capabilities;      /**< offset  8: 47 (0x2f) */
    plix_validate_fn validate; /**< offset 16: (transport, settings, out, cap) */
    plix_call_fn list;         /**< offset 24: argument is the folder */
    plix_call_fn stream_url;   /**< offset 32: argument is a listing entry */
    plix_call_fn download;     /**< offset 40: argument is the download request */
    const void *reserved0;     /**< offset 48: null */
    const void *reserved1;     /**< offset 56: null */
} plix_handler;

#if defined(__cplusplus)
#define PLIX_STATIC_ASSERT(c, m) static_assert(c, m)
#elif defined(__STDC_VERSION__) && __STDC_VERSION__ >= 201112L
#define PLIX_STATIC_ASSERT(c, m) _Static_assert(c, m)
#else
#define PLIX_STATIC_ASSERT_2(c, l) typedef char plix_static_assert_##l[(c) ? 1 : -1]
#define PLIX_STATIC_ASSERT_1(c, l) PLIX_STATIC_ASSERT_2(c, l)
#define PLIX_STATIC_ASSERT(c, m) PLIX_STATIC_ASSERT_1(c, __LINE__)
#endif
PLIX_STATIC_ASSERT(sizeof(void *) == 8, "plix targets 64-bit hosts");
PLIX_STATIC_ASSERT(offsetof(plix_handler, runtime_type) == 0, "slot 0");
PLIX_STATIC_ASSERT(offsetof(plix_handler, capabilities) == 8, "slot 1");
PLIX_STATIC_ASSERT(offsetof(plix_handler, validate) == 16, "slot 2");
PLIX_STATIC_ASSERT(offsetof(plix_handler, list) == 24, "slot 3");
PLIX_STATIC_ASSERT(offsetof(plix_handler, stream_url) == 32, "slot 4");
PLIX_STATIC_ASSERT(offsetof(plix_handler, download) == 40, "slot 5");
PLIX_STATIC_ASSERT(offsetof(plix_handler, reserved0) == 48, "slot 6");
PLIX_STATIC_ASSERT(offsetof(plix_handler, reserved1) == 56, "slot 7");
PLIX_STATIC_ASSERT(sizeof(plix_handler) == 64, "eight slots");
PLIX_STATIC_ASSERT(offsetof(plix_io, get) == 8 && offsetof(plix_io, post) == 16 &&
                       offsetof(plix_io, free) == 24 && sizeof(plix_io) == 32,
                   "four pointer slots");

/** Returns the constant handler table; always the same pointer. */
PLIX_API const plix_handler *plhnd_get(void);

/* ------------------------------------------------------------- operations */
/*
 * Every operation takes the account settings and fills the caller's buffer.
 *
 * settings: JSON object text, at most 1 MiB, with "APIKey" (or
 * "ClientSecret"), optionally "ID" and "RuntimeType" ("DEBRIDLINK").
 *
 * out/out_capacity: the caller's buffer, out_capacity counting the NUL.
 * - The answer, or on failure the error document {"error":"<message>"},
 *   is copied in when it fits; an error document that does not fit leaves
 *   out[0] == '\0' and the message stays in plix_last_error().
 * - An answer that does not fit: PLIX_E_BUFFER, out[0] == '\0', and the
 *   whole answer in plix_result_json(). Read it there instead of calling
 *   again with a larger buffer (download would add the link twice).
 * - Null out or out_capacity <= 0: the flat exports below run the operation
 *   and answer 0 on success, with the answer in plix_result_json() only;
 *   the handler table's entry points answer PLIX_E_BUFFER then, with the
 *   answer likewise kept in the result channel.
 *
 * Result codes every operation may answer, besides its own below:
 * PLIX_E_INVALID (the settings are not a JSON object, exceed 1 MiB, have
 * no key or name another RuntimeType), PLIX_E_SERVICE (no transport, the
 * transport failed, HTTP 5xx), PLIX_E_OTHER (out of memory, an answer that
 * cannot be read) and PLIX_E_BUFFER.
 */

/**
 * Checks the API key; answers {"RuntimeType","ID","AccountEmail",
 * "AccountName","PremiumLeft"}.
 * PLIX_E_REFUSED: the service refused the key (HTTP 401/403, "badToken").
 * PLIX_E_LIMIT: too many requests (HTTP 429) or an account limit.
 */
PLIX_API int plix_validate(const char *settings, char *out, int out_capacity);

/**
 * Lists a folder: null or "" (root), "downloader", "downloader/<n>",
 * "seedbox", or "s<id>" for one seedbox torrent. Answers a JSON array of
 * listing items. The root is answered without an exchange.
 *
 * The downloader comes in pages of 50 links, in the service's order:
 * "downloader" is page 0, "downloader/<n>" page n (n a decimal number, no
 * sign or spaces, at most 999999999). To list every link, read pages
 * 0, 1, 2 ... until one holds fewer than 50 links. Any other spelling
 * ("downloader/", "downloader/x") is PLIX_E_NOT_FOUND, with nothing sent.
 * PLIX_E_REFUSED: the key was refused. PLIX_E_NOT_FOUND: no such folder,
 * or no torrent with that id. PLIX_E_LIMIT: too many requests.
 * PLIX_E_OTHER: also more rows than a listing holds.
 */
PLIX_API int plix_list(const char *settings, const char *folder, char *out, int out_capacity);

/**
 * Turns a listing item (JSON) into {"url":...}, the URL to play. Needs no
 * exchange: a listed file's locator is its URL.
 * PLIX_E_INVALID: entry is not a JSON object. PLIX_E_NOT_FOUND: the entry
 * has no "locator", "link" or "path".
 */
PLIX_API int plix_stream_url(const char *settings, const char *entry, char *out, int out_capacity);

/**
 * Adds {"Link":...} (magnet, hoster link, or a link to a torrent file) to
 * the account. Needs the write gate open; answers InstantURL, InstantName,
 * InstantSize (when known) and Payload.
 * PLIX_E_WRITES_OFF: the write gate is closed; nothing was sent.
 * PLIX_E_INVALID: request is not a JSON object with a non-empty "Link".
 * PLIX_E_REFUSED: the key was refused. PLIX_E_LIMIT: an account limit
 * (daily links, hoster quota, too many requests); the link was not added.
 * PLIX_E_SERVICE: also a hoster that is down ("notDebrid").
 * PLIX_E_OTHER: also a link that is neither magnet, hoster link nor
 * torrent file (see the result codes above).
 * PLIX_E_BUFFER: the account WAS changed and the answer is kept whole in
 * plix_result_json(); read it there and never repeat the call with a
 * larger buffer, which would add the link a second time.
 */
PLIX_API int plix_download(const char *settings, const char *request, char *out, int out_capacity);

/* -------------------------------------------------------------- selection */

/**
 * Installs a copy of the host's transport table (or, with null, removes the
 * selection so operations fail with "no transport"). Returns 0, or
 * PLIX_E_INVALID when get or post is null (the selection stays as it was).
 */
PLIX_API int plix_set_io(const plix_io *table);

/** There is no built-in network transport: always PLIX_E_NO_NETWORK. */
PLIX_API int plix_use_curl(void);

/** Selects the in-memory fake transport. Returns 0. */
PLIX_API int plix_use_fake(void);

/** Opens (flag != 0) or closes the write gate that download needs. Returns 0. */
PLIX_API int plix_allow_writes(int flag);

/* --------------------------------------------------------- result channel */

/*
 * Each thread has its own channel, replaced by that thread's next
 * operation (validate, list, stream_url, download, or a handler entry
 * point). A pointer from these two getters stays valid until then; copy
 * the text to keep it longer. A thread's channel is released when the
 * thread ends.
 */

/**
 * The calling thread's last success answer, or "" (never null). After
 * PLIX_E_BUFFER it holds the answer that did not fit.
 */
PLIX_API const char *plix_result_json(void);

/**
 * The calling thread's last failure message, or "" after a success (never
 * null). The API key is masked in it. When the message itself cannot be
 * kept for lack of memory it reads "out of memory".
 */
PLIX_API const char *plix_last_error(void);

/* -------------------------------------------------------------- constants */

/** "1.0.0". */
PLIX_API const char *plix_version(void);
/** "DEBRIDLINK". */
PLIX_API const char *plix_runtime_type(void);
/** The capability word, 47. */
PLIX_API int plix_caps(void);
/** The service's API base URL, "https://debrid-link.com/api/v2". */
PLIX_API const char *plix_base_url(void);

/* -------------------------------------------------------------- utilities */

/**
 * Finds season and episode numbers in a release name. Returns 1 and stores
 * them (through each non-null pointer), or 0 and stores nothing.
 */
PLIX_API int plix_parse_season_episode(const char *name, int *season_out, int *episode_out);

/** Nonzero when the length bytes at data look like a torrent file. */
PLIX_API int plix_is_torrent_file(const void *data, uint64_t length);

/** Nonzero when text is a magnet link with a btih hash (hex-40 or base32-32). */
PLIX_API int plix_is_magnet_link(const char *text);

/**
 * Returns text with URL user info dropped and every apikey parameter's value
 * replaced by "***" (at most 2047 bytes). The text lives in a per-thread
 * buffer until the same thread's next plix_redact call.
 */
PLIX_API const char *plix_redact(const char *text);

/*
 * The in-memory fake transport (plix_use_fake) is programmed through the
 * controls declared in plix_fake.h, for hosts' tests and demonstrations.
 */

#ifdef __cplusplus
}
#endif

#endif /* PLIX_H */
