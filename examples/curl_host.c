/*
 * A complete plix host in C99 with a libcurl transport: checks the API key,
 * lists the downloader folder and, given a link, adds it to the account.
 *
 *   PLIX_API_KEY=... curl_host [--cacert FILE] [--connect-to H1:P1:H2:P2]... [LINK]
 *
 * What a host transport has to do, and how this one does it:
 * - one exchange per call, on its own easy handle, so that the plug-in may
 *   call it from several threads at once;
 * - TLS verified (libcurl's default; --cacert names other CA certificates);
 * - the key moved from the "apikey" parameter the plug-in appends into an
 *   "Authorization: Bearer" header, so it stays out of URLs and logs;
 * - the torrent upload (content type "multipart/form-data; ...") framed as
 *   the one form part "file" the service reads;
 * - bodies handed back as malloc'd NUL-terminated text, released by the
 *   plug-in through the table's free slot.
 */
#include <curl/curl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "plix.h"

struct options {
    const char *cacert;            /* CA certificates to verify with, or NULL */
    struct curl_slist *connect_to; /* HOST1:PORT1:HOST2:PORT2 rules */
};

/* A response body as it arrives. */
struct text {
    char *data;
    size_t size;
};

static size_t on_data(char *data, size_t size, size_t count, void *user) {
    struct text *t = user;
    size_t n = size * count;
    char *grown = realloc(t->data, t->size + n + 1);
    if (!grown) return 0; /* libcurl then fails the transfer */
    memcpy(grown + t->size, data, n);
    t->size += n;
    grown[t->size] = '\0';
    t->data = grown;
    return n;
}

static char *copy_text(const char *s) {
    size_t n = strlen(s) + 1;
    char *p = malloc(n);
    if (p) memcpy(p, s, n);
    return p;
}

static int hex(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

/*
 * The URL without its "apikey" parameter (malloc'd), and the key it held,
 * percent-decoded, in *key (malloc'd; NULL when the URL holds none, as for
 * the fetch of a torrent link). NULL when memory runs out.
 */
static char *split_key(const char *url, char **key) {
    const char *query = strchr(url, '?');
    size_t n = query ? (size_t)(query - url) : strlen(url);
    char *out = malloc(strlen(url) + 1);
    char sep = '?';
    int failed = 0;
    *key = NULL;
    if (!out) return NULL;
    memcpy(out, url, n);
    for (const char *p = query ? query + 1 : url + n; *p;) {
        const char *end = strchr(p, '&');
        if (!end) end = p + strlen(p);
        if (end - p >= 7 && memcmp(p, "apikey=", 7) == 0) {
            char *k = malloc((size_t)(end - p));
            size_t m = 0;
            if (!k) {
                failed = 1;
                break;
            }
            for (const char *c = p + 7; c < end; ++c) {
                if (*c == '%' && c + 2 < end && hex(c[1]) >= 0 && hex(c[2]) >= 0) {
                    k[m++] = (char)(hex(c[1]) * 16 + hex(c[2]));
                    c += 2;
                } else {
                    k[m++] = *c;
                }
            }
            k[m] = '\0';
            free(*key);
            *key = k;
        } else {
            out[n++] = sep;
            sep = '&';
            memcpy(out + n, p, (size_t)(end - p));
            n += (size_t)(end - p);
        }
        p = *end ? end + 1 : end;
    }
    out[n] = '\0';
    if (failed) {
        free(out);
        return NULL;
    }
    return out;
}

/* One exchange: GET when body is NULL, else POST. */
static int exchange(void *context, const char *url, const char *body, const char *content_type,
                    char **body_out, int *status_out, char **error_out) {
    const struct options *o = context;
    char error[CURL_ERROR_SIZE] = "";
    char type[256];
    struct text answer = {NULL, 0};
    struct curl_slist *headers = NULL;
    curl_mime *mime = NULL;
    char *key = NULL;
    char *target = split_key(url, &key);
    CURL *h = curl_easy_init();
    CURLcode code;
    long status = 0;
    int rc = -1;

    if (!target || !h) {
        *error_out = copy_text("out of memory");
        goto done;
    }
    curl_easy_setopt(h, CURLOPT_URL, target);
    curl_easy_setopt(h, CURLOPT_ERRORBUFFER, error);
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L); /* torrent links may redirect */
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT, 15L);
    curl_easy_setopt(h, CURLOPT_TIMEOUT, 120L);
    if (o->cacert) curl_easy_setopt(h, CURLOPT_CAINFO, o->cacert);
    if (o->connect_to) curl_easy_setopt(h, CURLOPT_CONNECT_TO, o->connect_to);
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, on_data);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &answer);
    if (key) {
        /* libcurl sends it to this host only, never across a redirect. */
        curl_easy_setopt(h, CURLOPT_HTTPAUTH, (long)CURLAUTH_BEARER);
        curl_easy_setopt(h, CURLOPT_XOAUTH2_BEARER, key);
    }
    if (body) {
        headers = curl_slist_append(headers, "Expect:");
        if (strncmp(content_type, "multipart/form-data", 19) == 0) {
            /* The plug-in hands over the raw file; frame it as a form part. */
            curl_mimepart *part;
            mime = curl_mime_init(h);
            part = curl_mime_addpart(mime);
            curl_mime_name(part, "file");
            curl_mime_filename(part, "upload.torrent");
            curl_mime_type(part, "application/x-bittorrent");
            curl_mime_data(part, body, CURL_ZERO_TERMINATED);
            curl_easy_setopt(h, CURLOPT_MIMEPOST, mime);
        } else {
            snprintf(type, sizeof type, "Content-Type: %s", content_type);
            headers = curl_slist_append(headers, type);
            curl_easy_setopt(h, CURLOPT_POSTFIELDS, body);
        }
        curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers);
    }
    code = curl_easy_perform(h);
    if (code != CURLE_OK) {
        *error_out = copy_text(error[0] ? error : curl_easy_strerror(code));
        goto done;
    }
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status);
    *body_out = answer.data ? answer.data : copy_text("");
    answer.data = NULL;
    if (!*body_out) {
        *error_out = copy_text("out of memory");
        goto done;
    }
    *status_out = (int)status;
    rc = 0;
done:
    free(answer.data);
    curl_mime_free(mime);
    curl_slist_free_all(headers);
    if (h) curl_easy_cleanup(h);
    free(target);
    free(key);
    return rc;
}

static int io_get(void *context, const char *url, char **body_out, int *status_out,
                  char **error_out) {
    return exchange(context, url, NULL, NULL, body_out, status_out, error_out);
}

static int io_post(void *context, const char *url, const char *body, const char *content_type,
                   char **body_out, int *status_out, char **error_out) {
    return exchange(context, url, body, content_type, body_out, status_out, error_out);
}

static void io_free(void *context, char *text) {
    (void)context;
    free(text);
}

/* {"<name>":"<value>"} with value escaped as a JSON string; malloc'd. */
static char *json_object(const char *name, const char *value) {
    char *out = malloc(strlen(name) + 6 * strlen(value) + 8);
    char *w = out;
    if (!out) return NULL;
    w += sprintf(w, "{\"%s\":\"", name);
    for (const unsigned char *c = (const unsigned char *)value; *c; ++c) {
        if (*c == '"' || *c == '\\')
            w += sprintf(w, "\\%c", *c);
        else if (*c < 0x20)
            w += sprintf(w, "\\u%04x", *c);
        else
            *w++ = (char)*c;
    }
    strcpy(w, "\"}");
    return out;
}

/* Prints an answer or the failure; a listing larger than out is taken
 * whole from the result channel. Returns the exit code. */
static int report(const char *what, int rc, const char *out) {
    if (rc == PLIX_E_BUFFER && plix_result_json()[0]) {
        out = plix_result_json();
        rc = PLIX_OK;
    }
    if (rc == PLIX_OK) {
        printf("%s: %s\n", what, out);
        return 0;
    }
    fprintf(stderr, "%s failed (%d): %s\n", what, rc, plix_last_error());
    return 10 - rc;
}

int main(int argc, char **argv) {
    static char out[1 << 20];
    struct options o = {NULL, NULL};
    plix_io io = {&o, io_get, io_post, io_free};
    const char *key = getenv("PLIX_API_KEY");
    const char *link = NULL;
    char *settings, *request = NULL;
    int code = 0;

    for (int i = 1; i < argc; ++i) {
        if (strcmp(argv[i], "--cacert") == 0 && i + 1 < argc)
            o.cacert = argv[++i];
        else if (strcmp(argv[i], "--connect-to") == 0 && i + 1 < argc)
            o.connect_to = curl_slist_append(o.connect_to, argv[++i]);
        else
            link = argv[i];
    }
    if (!key || !*key) {
        fprintf(stderr, "set PLIX_API_KEY\n");
        return 2;
    }
    if (curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK || plix_set_io(&io) != PLIX_OK) {
        fprintf(stderr, "cannot set up the transport\n");
        return 3;
    }
    settings = json_object("APIKey", key);
    if (link) request = json_object("Link", link);
    if (!settings || (link && !request)) return 3;

    code = report("validate", plix_validate(settings, out, sizeof out), out);
    if (!code) code = report("downloader", plix_list(settings, "downloader", out, sizeof out), out);
    if (!code && link) {
        plix_allow_writes(1); /* download changes the account: opened on purpose */
        code = report("download", plix_download(settings, request, out, sizeof out), out);
    }
    plix_set_io(NULL); /* the table points at o, which ends with main */
    free(settings);
    free(request);
    curl_slist_free_all(o.connect_to);
    curl_global_cleanup();
    return code;
}
