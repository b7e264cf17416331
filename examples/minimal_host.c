/*
 * A minimal plix host in C99: loads the plug-in by path, installs a
 * transport table of its own, checks the API key, lists the downloader
 * folder and meets the write gate.
 *
 *   minimal_host [path/to/libplix.so.1]
 *
 * Its transport answers from canned bodies instead of the network, so the
 * example runs anywhere; a real host performs the HTTP exchange in get and
 * post (plixctl's libcurl transport is one).
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include "plix.h"

#ifndef PLIX_LIBRARY_PATH
#if defined(_WIN32)
#define PLIX_LIBRARY_PATH "plix.dll"
#else
#define PLIX_LIBRARY_PATH "libplix.so.1"
#endif
#endif

/* The exports this host calls. */
static struct {
    int (*set_io)(const plix_io *table);
    int (*allow_writes)(int flag);
    int (*validate)(const char *settings, char *out, int out_capacity);
    int (*list)(const char *settings, const char *folder, char *out, int out_capacity);
    int (*download)(const char *settings, const char *request, char *out, int out_capacity);
    const char *(*result_json)(void);
    const char *(*last_error)(void);
} plix;

static int bind_export(void *library, const char *name, void *slot) {
#if defined(_WIN32)
    FARPROC f = GetProcAddress((HMODULE)library, name);
#else
    void *f = dlsym(library, name);
#endif
    memcpy(slot, &f, sizeof f); /* a function pointer, as the export is */
    return f != NULL;
}

static int load(const char *path) {
#if defined(_WIN32)
    void *library = (void *)LoadLibraryA(path);
#else
    void *library = dlopen(path, RTLD_NOW | RTLD_LOCAL);
#endif
    if (!library) return 0;
    return bind_export(library, "plix_set_io", &plix.set_io) &&
           bind_export(library, "plix_allow_writes", &plix.allow_writes) &&
           bind_export(library, "plix_validate", &plix.validate) &&
           bind_export(library, "plix_list", &plix.list) &&
           bind_export(library, "plix_download", &plix.download) &&
           bind_export(library, "plix_result_json", &plix.result_json) &&
           bind_export(library, "plix_last_error", &plix.last_error);
}

/* ------------------------------------------------------------ transport */

/* Every string handed to the plug-in is the host's own allocation; the
 * plug-in gives each back exactly once, through the free slot. */
static char *copy(const char *text) {
    char *p = (char *)malloc(strlen(text) + 1);
    if (p) strcpy(p, text);
    return p;
}

static void host_free(void *context, char *text) {
    (void)context;
    free(text);
}

/* GET: any HTTP status is a completed exchange (answer 0, a body, the
 * status). The slots keep no mutable state, so concurrent calls are safe. */
static int host_get(void *context, const char *url, char **body_out, int *status_out,
                    char **error_out) {
    const char *body = "{\"success\":false,\"error\":\"notFound\"}";
    int status = 404;
    (void)context;
    if (strstr(url, "/account/infos?")) {
        body =
            "{\"success\":true,\"value\":{\"email\":\"host@example.org\","
            "\"username\":\"host\",\"premiumLeft\":86400}}";
        status = 200;
    } else if (strstr(url, "/downloader/list?")) {
        body =
            "{\"success\":true,\"value\":[{\"id\":\"a1\",\"name\":\"Nosferatu.1922.mkv\","
            "\"size\":734003200,\"downloadUrl\":\"https://example.org/dl/a1\"}]}";
        status = 200;
    }
    *body_out = copy(body);
    if (!*body_out) {
        *error_out = copy("out of memory");
        return -1;
    }
    *status_out = status;
    return 0;
}

/* POST: this host never reaches the network. A failure (no exchange took
 * place) answers non-zero; its error text's first line reaches the message. */
static int host_post(void *context, const char *url, const char *body, const char *content_type,
                     char **body_out, int *status_out, char **error_out) {
    (void)context, (void)url, (void)body, (void)content_type, (void)body_out, (void)status_out;
    *error_out = copy("this example host is offline");
    return -1;
}

/* ----------------------------------------------------------------- main */

/* The answer of a call: the buffer on success; the result channel when the
 * answer outgrew the buffer (-9), which still holds all of it. */
static const char *answer(int rc, const char *out) {
    if (rc == PLIX_OK) return out;
    if (rc == PLIX_E_BUFFER && plix.result_json()[0]) return plix.result_json();
    return NULL;
}

static int report(const char *what, int rc, const char *out) {
    const char *text = answer(rc, out);
    if (text)
        printf("%s: %s\n", what, text);
    else
        printf("%s failed (%d): %s\n", what, rc, plix.last_error());
    return text != NULL;
}

int main(int argc, char **argv) {
    const char *path = argc > 1 ? argv[1] : PLIX_LIBRARY_PATH;
    const char *settings = "{\"APIKey\":\"example-key\"}";
    const char *request = "{\"Link\":\"https://example.org/file/abc\"}";
    char out[4096];
    int ok;
    plix_io table;

    if (!load(path)) {
        fprintf(stderr, "cannot load the plix plug-in from %s\n", path);
        return 1;
    }

    /* The plug-in copies the table; only what context points to (nothing
     * here) must outlive the call. */
    table.context = NULL;
    table.get = host_get;
    table.post = host_post;
    table.free = host_free;
    if (plix.set_io(&table) != PLIX_OK) return 1;

    ok = report("validate", plix.validate(settings, out, (int)sizeof out), out);
    ok = report("downloader", plix.list(settings, "downloader", out, (int)sizeof out), out) && ok;

    /* download is the one call that changes the account: it is refused
     * until the host opens the write gate. */
    report("download, gate closed", plix.download(settings, request, out, (int)sizeof out), out);
    plix.allow_writes(1);
    report("download, gate open", plix.download(settings, request, out, (int)sizeof out), out);
    return ok ? 0 : 1;
}
