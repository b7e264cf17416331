/*
 * A complete plix host in C99 for Windows, with a transport on WinHTTP (part
 * of every Windows): checks the API key, lists the downloader folder and,
 * given a link, adds it to the account.
 *
 *   set PLIX_API_KEY=...
 *   winhttp_host [--server HOST:PORT --pin CERT.pem] [LINK]
 *
 * What the transport does, and how:
 * - one request handle per exchange on one shared session, so the plug-in
 *   may call it from several threads at once;
 * - TLS verified by WinHTTP against the system's store; for a test service,
 *   --server sends every request to HOST:PORT and --pin accepts exactly the
 *   server certificate in CERT.pem, checked before anything is sent;
 * - the key moved from the "apikey" parameter the plug-in appends into an
 *   "Authorization: Bearer" header; requests with the key follow no redirect;
 * - the torrent upload (content type "multipart/form-data; ...") framed as
 *   the one form part "file" the service reads;
 * - URLs and headers converted between UTF-8 (the plug-in) and UTF-16
 *   (WinHTTP); bodies handed back as malloc'd NUL-terminated text.
 */
/* windows.h comes first: the WinHTTP and CryptoAPI headers need it. */
/* clang-format off */
#include <windows.h>
#include <wincrypt.h>
#include <winhttp.h>
/* clang-format on */

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "plix.h"

static HINTERNET g_session;
static const char *g_server; /* HOST:PORT every request goes to, or NULL */
static BYTE *g_pin;          /* the one server certificate accepted (DER), or NULL */
static DWORD g_pin_size;

static wchar_t *widen(const char *s) {
    int n = MultiByteToWideChar(CP_UTF8, 0, s, -1, NULL, 0);
    wchar_t *w = malloc(sizeof(wchar_t) * (size_t)(n > 0 ? n : 1));
    if (w) MultiByteToWideChar(CP_UTF8, 0, s, -1, w, n);
    return w;
}

static char *copy_text(const char *s) {
    size_t n = strlen(s) + 1;
    char *p = malloc(n);
    if (p) memcpy(p, s, n);
    return p;
}

/* code is GetLastError() as read right after the call that failed, before
 * any other call can change it. */
static int failure(char **error_out, const char *what, DWORD code) {
    char text[128];
    snprintf(text, sizeof text, "WinHTTP: %s failed with error %lu", what, (unsigned long)code);
    *error_out = copy_text(text);
    return -1;
}

/* Moves "apikey=<key>" out of url: url keeps the other parameters, *key
 * receives the percent-decoded key (NULL when there is none). */
static void split_key(char *url, char **key) {
    char *q = strchr(url, '?'), *p, *w;
    *key = NULL;
    if (!q) return;
    for (p = w = q + 1; *p;) {
        size_t n = strcspn(p, "&");
        if (n > 7 && !strncmp(p, "apikey=", 7)) {
            char *k = malloc(n), *o = k;
            const char *c;
            for (c = p + 7; k && c < p + n; ++c) {
                unsigned v;
                if (*c == '%' && c + 2 < p + n && sscanf(c + 1, "%2x", &v) == 1) {
                    *o++ = (char)v;
                    c += 2;
                } else {
                    *o++ = *c;
                }
            }
            if (k) *o = '\0';
            free(*key);
            *key = k;
        } else {
            if (w != q + 1) *w++ = '&';
            memmove(w, p, n);
            w += n;
        }
        p += n + (p[n] == '&');
    }
    *(w == q + 1 ? q : w) = '\0';
}

/* --pin: runs before the request is sent; a different certificate closes
 * the request, so nothing (not the key) reaches that server. *context is
 * the exchange's verdict: 0 not checked, 1 passed, -1 failed. The exchange
 * goes on only when the check ran and passed. */
static void CALLBACK check_pin(HINTERNET request, DWORD_PTR context, DWORD status, void *info,
                               DWORD length) {
    PCCERT_CONTEXT cert = NULL;
    DWORD size = sizeof cert;
    int *verdict = (int *)context;
    (void)info, (void)length;
    if (status != WINHTTP_CALLBACK_STATUS_SENDING_REQUEST || !verdict) return;
    if (WinHttpQueryOption(request, WINHTTP_OPTION_SERVER_CERT_CONTEXT, &cert, &size) && cert &&
        cert->cbCertEncoded == g_pin_size && !memcmp(cert->pbCertEncoded, g_pin, g_pin_size)) {
        CertFreeCertificateContext(cert);
        *verdict = 1;
        return;
    }
    if (cert) CertFreeCertificateContext(cert);
    *verdict = -1;
    WinHttpCloseHandle(request);
}

/* Whether the server at the end of connection shows the pinned certificate.
 * WinHTTP sends a request as soon as its handshake is done, and closing it in
 * the SENDING_REQUEST callback does not stop every WinHTTP; so a bare
 * "HEAD /" (no key, no path, no body) opens the connection first, and the
 * request itself follows only when its certificate is the pinned one. */
static int pin_matches(HINTERNET connection, const wchar_t *host_header) {
    HINTERNET probe = WinHttpOpenRequest(connection, L"HEAD", L"/", NULL, WINHTTP_NO_REFERER,
                                         WINHTTP_DEFAULT_ACCEPT_TYPES, WINHTTP_FLAG_SECURE);
    PCCERT_CONTEXT cert = NULL;
    DWORD size = sizeof cert,
          flags = SECURITY_FLAG_IGNORE_UNKNOWN_CA | SECURITY_FLAG_IGNORE_CERT_CN_INVALID;
    int match = 0;
    char sink[4096];
    if (!probe) return 0;
    WinHttpSetOption(probe, WINHTTP_OPTION_SECURITY_FLAGS, &flags, sizeof flags);
    if (WinHttpSendRequest(probe, host_header[0] ? host_header : WINHTTP_NO_ADDITIONAL_HEADERS,
                           host_header[0] ? (DWORD)-1L : 0, WINHTTP_NO_REQUEST_DATA, 0, 0, 0) &&
        WinHttpQueryOption(probe, WINHTTP_OPTION_SERVER_CERT_CONTEXT, &cert, &size) && cert) {
        match =
            cert->cbCertEncoded == g_pin_size && !memcmp(cert->pbCertEncoded, g_pin, g_pin_size);
        CertFreeCertificateContext(cert);
    }
    if (match && WinHttpReceiveResponse(probe, NULL)) {
        while (WinHttpReadData(probe, sink, sizeof sink, &size) && size) {
        }
    }
    WinHttpCloseHandle(probe);
    return match;
}

static int exchange(const char *url_in, const char *body, const char *type, char **body_out,
                    int *status_out, char **error_out) {
    char *url = copy_text(url_in), *key = NULL, *data = NULL, *answer = NULL, *grown;
    wchar_t *wurl = NULL, *headers = NULL, host[256], path[4096];
    HINTERNET connection = NULL, request = NULL;
    URL_COMPONENTS parts;
    DWORD status = 0, size = sizeof status, avail, got, len = 0, data_len = 0, off;
    INTERNET_PORT port;
    int rc = -1, verdict = 0;
    char header_text[1024] = "";
    BOOL sent;

    if (!url) return failure(error_out, "malloc", ERROR_NOT_ENOUGH_MEMORY);
    split_key(url, &key);
    wurl = widen(url);
    memset(&parts, 0, sizeof parts);
    parts.dwStructSize = sizeof parts;
    parts.lpszHostName = host;
    parts.dwHostNameLength = 256;
    parts.lpszUrlPath = path;
    parts.dwUrlPathLength = 4096;
    if (!wurl || !WinHttpCrackUrl(wurl, 0, 0, &parts)) {
        rc = failure(error_out, "WinHttpCrackUrl", GetLastError());
        goto done;
    }
    port = parts.nPort;
    if (g_server) { /* the test service: connect there, name the real host */
        char name[256];
        WideCharToMultiByte(CP_UTF8, 0, host, -1, name, sizeof name, NULL, NULL);
        snprintf(header_text, sizeof header_text, "Host: %s\r\n", name);
        MultiByteToWideChar(CP_UTF8, 0, g_server, (int)strcspn(g_server, ":"), host, 255);
        host[strcspn(g_server, ":")] = 0;
        port = (INTERNET_PORT)atoi(strchr(g_server, ':') + 1);
    }
    connection = WinHttpConnect(g_session, host, port, 0);
    request = connection ? WinHttpOpenRequest(connection, body ? L"POST" : L"GET", path, NULL,
                                              WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                              WINHTTP_FLAG_SECURE)
                         : NULL;
    if (!request) {
        rc = failure(error_out, "WinHttpOpenRequest", GetLastError());
        goto done;
    }
    if (key) {
        off = WINHTTP_DISABLE_REDIRECTS;
        WinHttpSetOption(request, WINHTTP_OPTION_DISABLE_FEATURE, &off, sizeof off);
        snprintf(header_text + strlen(header_text), sizeof header_text - strlen(header_text),
                 "Authorization: Bearer %s\r\n", key);
    }
    if (g_pin) { /* the pin replaces the store and the name check */
        off = SECURITY_FLAG_IGNORE_UNKNOWN_CA | SECURITY_FLAG_IGNORE_CERT_CN_INVALID;
        WinHttpSetOption(request, WINHTTP_OPTION_SECURITY_FLAGS, &off, sizeof off);
        if (WinHttpSetStatusCallback(request, check_pin, WINHTTP_CALLBACK_FLAG_SEND_REQUEST, 0) ==
            WINHTTP_INVALID_STATUS_CALLBACK) {
            rc = failure(error_out, "WinHttpSetStatusCallback", GetLastError());
            goto done;
        }
    }
    if (body && !strncmp(type, "multipart/form-data", 19)) {
        static const char head[] =
            "--plixtorrent\r\nContent-Disposition: form-data; name=\"file\"; "
            "filename=\"upload.torrent\"\r\nContent-Type: application/x-bittorrent\r\n\r\n";
        static const char tail[] = "\r\n--plixtorrent--\r\n";
        data_len = (DWORD)(strlen(head) + strlen(body) + strlen(tail));
        data = malloc(data_len + 1);
        if (data) snprintf(data, data_len + 1, "%s%s%s", head, body, tail);
    } else if (body) {
        data_len = (DWORD)strlen(body);
        data = copy_text(body);
    }
    if (body) {
        snprintf(header_text + strlen(header_text), sizeof header_text - strlen(header_text),
                 "Content-Type: %s\r\n", type);
    }
    headers = widen(header_text);
    if ((body && !data) || !headers) {
        rc = failure(error_out, "malloc", ERROR_NOT_ENOUGH_MEMORY);
        goto done;
    }
    if (g_pin) { /* the probe carries the Host line only, never the key */
        wchar_t host_line[300] = L"";
        if (g_server) {
            size_t n = strcspn(header_text, "\r");
            MultiByteToWideChar(CP_UTF8, 0, header_text, (int)n, host_line, 296);
            host_line[n < 296 ? n : 296] = 0;
            wcscat(host_line, L"\r\n");
        }
        if (!pin_matches(connection, host_line)) {
            rc = failure(error_out, "the certificate check", ERROR_WINHTTP_SECURE_FAILURE);
            goto done;
        }
    }
    sent = WinHttpSendRequest(request, headers, (DWORD)-1L, data, data_len, data_len,
                              (DWORD_PTR)&verdict);
    if (g_pin && verdict != 1) {           /* not checked, or not the pinned certificate */
        if (verdict == -1) request = NULL; /* closed by check_pin */
        rc = failure(error_out, "the certificate check", ERROR_WINHTTP_SECURE_FAILURE);
        goto done;
    }
    if (!sent || !WinHttpReceiveResponse(request, NULL)) {
        rc = failure(error_out, "the exchange", GetLastError());
        goto done;
    }
    WinHttpQueryHeaders(request, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                        WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX);
    answer = calloc(1, 1);
    while (answer && WinHttpQueryDataAvailable(request, &avail) && avail) {
        grown = realloc(answer, len + avail + 1);
        if (!grown) break;
        answer = grown;
        if (!WinHttpReadData(request, answer + len, avail, &got) || !got) break;
        len += got;
        answer[len] = '\0';
    }
    if (!answer) {
        rc = failure(error_out, "malloc", ERROR_NOT_ENOUGH_MEMORY);
        goto done;
    }
    *body_out = answer;
    *status_out = (int)status;
    rc = 0;
done:
    if (request) WinHttpCloseHandle(request);
    if (connection) WinHttpCloseHandle(connection);
    free(url), free(key), free(data), free(wurl), free(headers);
    return rc;
}

static int io_get(void *context, const char *url, char **body_out, int *status_out,
                  char **error_out) {
    (void)context;
    return exchange(url, NULL, NULL, body_out, status_out, error_out);
}

static int io_post(void *context, const char *url, const char *body, const char *type,
                   char **body_out, int *status_out, char **error_out) {
    (void)context;
    return exchange(url, body, type, body_out, status_out, error_out);
}

static void io_free(void *context, char *text) {
    (void)context;
    free(text);
}

/* The first certificate of a PEM file, as DER. */
static int read_pin(const char *path) {
    static char pem[65536];
    FILE *f = fopen(path, "rb");
    size_t n = f ? fread(pem, 1, sizeof pem - 1, f) : 0;
    if (f) fclose(f);
    pem[n] = '\0';
    if (!CryptStringToBinaryA(pem, 0, CRYPT_STRING_BASE64HEADER, NULL, &g_pin_size, NULL, NULL))
        return 0;
    g_pin = malloc(g_pin_size);
    return g_pin &&
           CryptStringToBinaryA(pem, 0, CRYPT_STRING_BASE64HEADER, g_pin, &g_pin_size, NULL, NULL);
}

static int report(const char *what, int rc, const char *out) {
    if (rc == PLIX_E_BUFFER && plix_result_json()[0]) out = plix_result_json(), rc = PLIX_OK;
    if (rc == PLIX_OK) {
        printf("%s: %s\n", what, out);
        return 0;
    }
    fprintf(stderr, "%s failed (%d): %s\n", what, rc, plix_last_error());
    return 10 - rc;
}

int main(int argc, char **argv) {
    static char out[1 << 20], settings[1024], request[4096];
    plix_io io = {NULL, io_get, io_post, io_free};
    const char *key = getenv("PLIX_API_KEY"), *link = NULL;
    int i, code;

    for (i = 1; i < argc; ++i) {
        if (!strcmp(argv[i], "--server") && i + 1 < argc)
            g_server = argv[++i];
        else if (!strcmp(argv[i], "--pin") && i + 1 < argc) {
            if (!read_pin(argv[++i])) return 3;
        } else
            link = argv[i];
    }
    if (!key || !*key || strpbrk(key, "\"\\\r\n")) {
        fprintf(stderr, "set PLIX_API_KEY (without quotes or backslashes)\n");
        return 2;
    }
    g_session = WinHttpOpen(L"plix-example/1", WINHTTP_ACCESS_TYPE_DEFAULT_PROXY,
                            WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0);
    if (!g_session || plix_set_io(&io) != PLIX_OK) return 3;
    snprintf(settings, sizeof settings, "{\"APIKey\":\"%s\"}", key);

    code = report("validate", plix_validate(settings, out, sizeof out), out);
    if (!code) code = report("downloader", plix_list(settings, "downloader", out, sizeof out), out);
    if (!code && link && !strpbrk(link, "\"\\")) {
        snprintf(request, sizeof request, "{\"Link\":\"%s\"}", link);
        plix_allow_writes(1); /* download changes the account: opened on purpose */
        code = report("download", plix_download(settings, request, out, sizeof out), out);
    }
    plix_set_io(NULL);
    WinHttpCloseHandle(g_session);
    return code;
}
