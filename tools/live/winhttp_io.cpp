// The live transport on WinHTTP (Windows): the system's own HTTP stack, so
// plixctl.exe needs no DLL beyond Windows'. It behaves toward the plug-in as
// the libcurl transport does:
// - one request handle per attempt on a shared session, so the table takes
//   concurrent calls;
// - WinHTTP's time-outs count per step (connect, send, each read), so each
//   is set to what is left of the exchange's time before the step, and the
//   exchange ends within its time-out as the libcurl one does; WinHTTP's
//   synchronous calls cannot be interrupted, so an attempt that may be
//   cancelled runs on a thread of its own, which the cancelled exchange
//   leaves behind to end by its deadline;
// - the key moved from the URL's "apikey" parameter into an
//   "Authorization: Bearer" header (unless key_in_query); a request with the
//   key never follows a redirect, so the header cannot reach another host,
//   and the unauthenticated fetch of a torrent link follows them (here, not
//   in WinHTTP, so that --connect-to applies to every hop);
// - TLS always verified: by WinHTTP against the system's store, or, with a
//   CA file or a --connect-to rule, by this file against that CA (or the
//   system's roots) and the name of the host the URL names, before the
//   request (and so the key) is sent;
// - texts are UTF-8 at the plug-in's side and UTF-16 at WinHTTP's.
//
// Strings handed to the plug-in are malloc'd here and come back through the
// table's free slot.
#if defined(_WIN32)

#include <windows.h>

// The WinHTTP and CryptoAPI headers need windows.h first.
#include <stdlib.h>
#include <string.h>
#include <wincrypt.h>
#include <winhttp.h>

#include <condition_variable>
#include <fstream>
#include <iterator>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "live_stack.h"

namespace {

HINTERNET g_session;
HCERTSTORE g_roots;  // the CA file's certificates, or null

std::wstring widen(const std::string &s) {
    if (s.empty()) return std::wstring();
    int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
    std::wstring w(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), &w[0], n);
    return w;
}

std::string narrow(const wchar_t *w, int n) {
    if (n <= 0) return std::string();
    int m = WideCharToMultiByte(CP_UTF8, 0, w, n, nullptr, 0, nullptr, nullptr);
    std::string s(static_cast<size_t>(m), '\0');
    WideCharToMultiByte(CP_UTF8, 0, w, n, &s[0], m, nullptr, nullptr);
    return s;
}

// One line naming the error: its number and the system's words for it.
std::string failure_text(DWORD code) {
    std::string text = "WinHTTP error " + std::to_string(code);
    wchar_t *words = nullptr;
    DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_HMODULE |
                                 FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                             GetModuleHandleW(L"winhttp.dll"), code, 0,
                             reinterpret_cast<wchar_t *>(&words), 0, nullptr);
    if (n && words) {
        std::string said = narrow(words, static_cast<int>(n));
        for (char &c : said)
            if (c == '\r' || c == '\n') c = ' ';
        while (!said.empty() && said.back() == ' ') said.pop_back();
        if (!said.empty()) text += ": " + said;
    }
    if (words) LocalFree(words);
    return text;
}

// Closes a WinHTTP handle when the scope ends.
struct handle {
    HINTERNET h = nullptr;
    ~handle() {
        if (h) WinHttpCloseHandle(h);
    }
};

// Where a request goes: the URL's host and port, or those a --connect-to
// rule names for them.
struct target {
    std::string host;  // the URL's host: the name the certificate must carry
    INTERNET_PORT port;
    std::string connect_host;
    INTERNET_PORT connect_port;
    bool redirected;  // a --connect-to rule applies
};

target route_of(const live_options *o, const std::string &host, INTERNET_PORT port) {
    target t{host, port, host, port, false};
    for (const std::string &rule : o->connect_to) {
        // HOST1:PORT1:HOST2:PORT2
        size_t a = rule.find(':'), b = rule.find(':', a + 1), c = rule.find(':', b + 1);
        if (a == std::string::npos || b == std::string::npos || c == std::string::npos) continue;
        if (rule.substr(0, a) != host || rule.substr(a + 1, b - a - 1) != std::to_string(port))
            continue;
        t.connect_host = rule.substr(b + 1, c - b - 1);
        t.connect_port = static_cast<INTERNET_PORT>(atoi(rule.c_str() + c + 1));
        t.redirected = true;
        break;
    }
    return t;
}

// The certificates of a PEM file in a memory store; null when there are none.
HCERTSTORE load_pem(const std::string &path, std::string &error) {
    std::ifstream in(path, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in && text.empty()) {
        error = "cannot read the CA file " + path;
        return nullptr;
    }
    HCERTSTORE store = CertOpenStore(CERT_STORE_PROV_MEMORY, 0, 0, 0, nullptr);
    if (!store) {
        error = "cannot make a certificate store";
        return nullptr;
    }
    static const char begin[] = "-----BEGIN CERTIFICATE-----", end[] = "-----END CERTIFICATE-----";
    int added = 0;
    for (size_t at = text.find(begin); at != std::string::npos; at = text.find(begin, at + 1)) {
        size_t stop = text.find(end, at);
        if (stop == std::string::npos) break;
        std::string pem = text.substr(at, stop + sizeof end - 1 - at);
        DWORD n = 0;
        if (!CryptStringToBinaryA(pem.c_str(), static_cast<DWORD>(pem.size()),
                                  CRYPT_STRING_BASE64HEADER, nullptr, &n, nullptr, nullptr))
            continue;
        std::string der(n, '\0');
        if (CryptStringToBinaryA(pem.c_str(), static_cast<DWORD>(pem.size()),
                                 CRYPT_STRING_BASE64HEADER, reinterpret_cast<BYTE *>(&der[0]), &n,
                                 nullptr, nullptr) &&
            CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING,
                                             reinterpret_cast<const BYTE *>(der.data()), n,
                                             CERT_STORE_ADD_ALWAYS, nullptr))
            ++added;
    }
    if (!added) {
        CertCloseStore(store, 0);
        error = "no certificate in the CA file " + path;
        return nullptr;
    }
    return store;
}

// What the certificate check of one exchange found. The request goes on
// only when the check ran and passed.
struct cert_check {
    std::wstring name;  // the host the URL names
    bool done = false;
    bool ok = false;
    bool passed() const { return done && ok; }
};

// Checks the server's certificate: its chain must end at one of the CA
// file's certificates (or, without a CA file, at a root the system trusts),
// and it must be valid for the host the URL names. Runs before the request
// is sent.
bool verify_server(HINTERNET request, const cert_check &check) {
    PCCERT_CONTEXT cert = nullptr;
    DWORD size = sizeof cert;
    if (!WinHttpQueryOption(request, WINHTTP_OPTION_SERVER_CERT_CONTEXT, &cert, &size) || !cert)
        return false;
    HCERTSTORE extra = CertOpenStore(CERT_STORE_PROV_COLLECTION, 0, 0, 0, nullptr);
    if (extra) {
        if (cert->hCertStore) CertAddStoreToCollection(extra, cert->hCertStore, 0, 0);
        if (g_roots) CertAddStoreToCollection(extra, g_roots, 0, 0);
    }
    CERT_CHAIN_PARA para{};
    para.cbSize = sizeof para;
    PCCERT_CHAIN_CONTEXT chain = nullptr;
    bool ok = CertGetCertificateChain(nullptr, cert, nullptr, extra, &para, 0, nullptr, &chain) &&
              chain && chain->cChain > 0;
    if (ok && g_roots) {
        // The chain's last certificate must be one of the CA file's.
        const CERT_SIMPLE_CHAIN *simple = chain->rgpChain[0];
        PCCERT_CONTEXT root = simple->rgpElement[simple->cElement - 1]->pCertContext;
        PCCERT_CONTEXT found = CertFindCertificateInStore(g_roots, X509_ASN_ENCODING, 0,
                                                          CERT_FIND_EXISTING, root, nullptr);
        ok = found != nullptr;
        if (found) CertFreeCertificateContext(found);
    }
    if (ok) {
        SSL_EXTRA_CERT_CHAIN_POLICY_PARA ssl{};
        ssl.cbSize = sizeof ssl;
        ssl.dwAuthType = AUTHTYPE_SERVER;
        // With a CA file its root is not in the system's store: that one
        // finding is what the check above settles; everything else counts.
        ssl.fdwChecks = g_roots ? SECURITY_FLAG_IGNORE_UNKNOWN_CA : 0;
        ssl.pwszServerName = const_cast<wchar_t *>(check.name.c_str());
        CERT_CHAIN_POLICY_PARA policy{};
        policy.cbSize = sizeof policy;
        policy.pvExtraPolicyPara = &ssl;
        CERT_CHAIN_POLICY_STATUS status{};
        status.cbSize = sizeof status;
        ok = CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, chain, &policy, &status) &&
             status.dwError == 0;
    }
    if (chain) CertFreeCertificateChain(chain);
    if (extra) CertCloseStore(extra, 0);
    CertFreeCertificateContext(cert);
    return ok;
}

// Runs as WinHTTP is about to send the request, after the TLS handshake.
void CALLBACK on_status(HINTERNET request, DWORD_PTR context, DWORD status, void *, DWORD) {
    if (status != WINHTTP_CALLBACK_STATUS_SENDING_REQUEST || !context) return;
    auto *check = reinterpret_cast<cert_check *>(context);
    check->done = true;
    check->ok = verify_server(request, *check);
    // Closing the request stops it before anything is sent.
    if (!check->ok) WinHttpCloseHandle(request);
}

// WinHTTP sends a request as soon as its TLS handshake is done, and closing
// the request in the SENDING_REQUEST callback does not stop every WinHTTP
// (Wine's has built the request and sends it whatever the callback did).
// So when the certificate is ours to check, a bare "HEAD /" that carries
// neither the key, the request's path nor its body opens the connection
// first; the request itself is sent only after that connection's
// certificate passed, on the connection WinHTTP keeps for the host. Should
// WinHTTP open another one for it (the server closed the probe's), that
// one is checked by the SENDING_REQUEST callback, which refuses to read the
// answer but, on Wine, cannot stop the send. This costs one round trip per
// exchange, and only with a CA file or a --connect-to rule. error is the
// line to report otherwise.
bool probe_verified(HINTERNET connection, const cert_check &check, const std::wstring &host_header,
                    const live_request &request, std::string &error);

// Every phase of a request may take what is left of the exchange's time.
void set_timeouts(HINTERNET h, const live_request &request);

bool probe_verified(HINTERNET connection, const cert_check &check, const std::wstring &host_header,
                    const live_request &request, std::string &error) {
    handle probe;
    probe.h = WinHttpOpenRequest(connection, L"HEAD", L"/", nullptr, WINHTTP_NO_REFERER,
                                 WINHTTP_DEFAULT_ACCEPT_TYPES, WINHTTP_FLAG_SECURE);
    if (!probe.h) {
        error = failure_text(GetLastError());
        return false;
    }
    set_timeouts(probe.h, request);
    DWORD flags = SECURITY_FLAG_IGNORE_UNKNOWN_CA | SECURITY_FLAG_IGNORE_CERT_CN_INVALID;
    WinHttpSetOption(probe.h, WINHTTP_OPTION_SECURITY_FLAGS, &flags, sizeof flags);
    DWORD off = WINHTTP_DISABLE_REDIRECTS;
    WinHttpSetOption(probe.h, WINHTTP_OPTION_DISABLE_FEATURE, &off, sizeof off);
    if (!WinHttpSendRequest(
            probe.h, host_header.empty() ? WINHTTP_NO_ADDITIONAL_HEADERS : host_header.c_str(),
            host_header.empty() ? 0 : static_cast<DWORD>(-1L), WINHTTP_NO_REQUEST_DATA, 0, 0, 0)) {
        error = failure_text(GetLastError());
        return false;
    }
    if (!verify_server(probe.h, check)) {
        error = "the server's certificate is not valid for " +
                narrow(check.name.c_str(), static_cast<int>(check.name.size()));
        return false;
    }
    // The answer is read so that the connection can serve the request.
    if (WinHttpReceiveResponse(probe.h, nullptr)) {
        char sink[4096];
        DWORD got = 0;
        while (WinHttpReadData(probe.h, sink, sizeof sink, &got) && got) {
        }
    }
    return true;
}

// Installs the certificate check on a request; false when WinHTTP refused
// it (the check would never run). A test build can make it refuse.
bool install_check(HINTERNET request) {
#if defined(PLIX_LIVE_TEST_NO_CERT_CALLBACK)
    (void)request;
    (void)on_status;
    return false;
#else
    return WinHttpSetStatusCallback(request, on_status, WINHTTP_CALLBACK_FLAG_SEND_REQUEST, 0) !=
           WINHTTP_INVALID_STATUS_CALLBACK;
#endif
}

// What one request and its response came to, without following redirects.
struct hop {
    DWORD status = 0;
    std::string location;     // a redirect's Location header
    std::string retry_after;  // the Retry-After header
    std::string error;        // what went wrong, when the request failed
    bool dropped = false;     // the connection closed before a whole answer
};

int exchange_once(const live_request &request, const keyed_url &target_url, live_body &answer,
                  hop &out);

// The errors that mean the connection went away before a whole answer.
bool dropped_error(DWORD code) {
    return code == ERROR_WINHTTP_CONNECTION_ERROR || code == ERROR_WINHTTP_INVALID_SERVER_RESPONSE;
}

// Every phase of a request may take what is left of the exchange's time,
// connecting at most the connect time-out of it: WinHTTP's time-outs count
// per step, so they are set afresh before each.
void set_timeouts(HINTERNET h, const live_request &request) {
    int left = static_cast<int>(live_ms_left(request.deadline));
    long connect_ms = request.options->connect_timeout * 1000;
    int connect = connect_ms < left ? static_cast<int>(connect_ms) : left;
    WinHttpSetTimeouts(h, connect, connect, left, left);
}

// One attempt, its redirects followed here.
void send_hops(const live_request &request, live_reply &reply) {
    keyed_url target_url = request.target;
    bool keyed = carries_key(target_url);
    for (int hops = 0;; ++hops) {
        hop h;
        if (exchange_once(request, target_url, reply.body, h) != 0) {
            reply.error = h.error;
            reply.dropped = h.dropped;
            return;
        }
        bool redirect = h.status == 301 || h.status == 302 || h.status == 303 || h.status == 307 ||
                        h.status == 308;
        // Only the unauthenticated GET of a link follows redirects.
        if (!redirect || keyed || request.body || h.location.empty() || hops == 10) {
            reply.completed = true;
            reply.status = static_cast<int>(h.status);
            reply.retry_after = h.retry_after;
            return;
        }
        std::string location = h.location;
        if (location.find("://") == std::string::npos) {
            // A path on the same host: keep the scheme and authority.
            size_t authority = target_url.url.find("://");
            size_t path =
                target_url.url.find('/', authority == std::string::npos ? 0 : authority + 3);
            std::string origin = target_url.url.substr(0, path);
            location = location[0] == '/' ? origin + location : origin + "/" + location;
        }
        target_url = keyed_url{location, "", false};
    }
}

// An attempt that runs on a thread of its own, so that the exchange that
// waits for it can be cancelled at once: WinHTTP's synchronous calls cannot
// be interrupted. A cancelled attempt is left to end by its deadline, on
// its own copies of what it sends; its answer is thrown away.
struct detached_attempt {
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    std::string body;  // the request's body, when it has one
    live_request request;
    live_reply reply;
};

void wake_attempt(void *p) {
    auto *a = static_cast<detached_attempt *>(p);
    std::lock_guard<std::mutex> hold(a->mutex);
    a->finished.notify_all();
}

// Hands what an attempt read over to the caller's reply.
void take_reply(live_reply &to, live_reply &from) {
    to.completed = from.completed;
    to.status = from.status;
    to.retry_after = from.retry_after;
    to.dropped = from.dropped;
    to.error = from.error;
    std::swap(to.body.data, from.body.data);
    std::swap(to.body.length, from.body.length);
    std::swap(to.body.capacity, from.body.capacity);
    to.body.too_large = from.body.too_large;
    to.body.out_of_memory = from.body.out_of_memory;
}

}  // namespace

void live_send(const live_request &request, live_reply &reply) {
    if (!request.cancel) return send_hops(request, reply);
    auto attempt = std::make_shared<detached_attempt>();
    attempt->request = request;
    attempt->request.cancel = nullptr;
    if (request.body) {
        attempt->body = request.body;
        attempt->request.body = attempt->body.c_str();
    }
    attempt->reply.body.limit = reply.body.limit;
    live_cancel::waker waker{wake_attempt, attempt.get()};
    if (!request.cancel->attach(&waker)) {
        reply.error = "cancelled";
        return;
    }
    std::thread([attempt] {
        send_hops(attempt->request, attempt->reply);
        std::lock_guard<std::mutex> hold(attempt->mutex);
        attempt->done = true;
        attempt->finished.notify_all();
    }).detach();
    bool done;
    {
        std::unique_lock<std::mutex> hold(attempt->mutex);
        attempt->finished.wait(hold, [&] { return attempt->done || request.cancel->cancelled(); });
        done = attempt->done;
    }
    // Detached outside the attempt's lock: a cancel takes the token's lock,
    // then this one.
    request.cancel->detach(&waker);
    if (done)
        take_reply(reply, attempt->reply);
    else
        reply.error = "cancelled";
}

namespace {

int exchange_once(const live_request &request, const keyed_url &target_url, live_body &answer,
                  hop &out) {
    auto fail = [&out](const std::string &text) {
        out.error = text;
        return -1;
    };
    auto fail_code = [&out](DWORD code) {
        out.error = failure_text(code);
        out.dropped = dropped_error(code);
        return -1;
    };
    // A cancel is seen between the steps of a request.
    auto cancelled = [&request] { return request.cancel && request.cancel->cancelled(); };
    const live_options *o = request.options;
    const char *body = request.body;
    const char *content_type = request.content_type;
    answer.clear();
    if (cancelled()) return fail("cancelled");

    std::wstring wide = widen(target_url.url);
    URL_COMPONENTS parts{};
    parts.dwStructSize = sizeof parts;
    parts.dwHostNameLength = parts.dwUrlPathLength = parts.dwExtraInfoLength = 1;
    parts.dwSchemeLength = 1;
    if (!WinHttpCrackUrl(wide.c_str(), 0, 0, &parts)) return fail(failure_text(GetLastError()));
    bool secure = parts.nScheme == INTERNET_SCHEME_HTTPS;
    std::string host = narrow(parts.lpszHostName, static_cast<int>(parts.dwHostNameLength));
    std::wstring object(parts.lpszUrlPath, parts.dwUrlPathLength);
    object.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
    target t = route_of(o, host, parts.nPort);

    handle connection, req;
    connection.h = WinHttpConnect(g_session, widen(t.connect_host).c_str(), t.connect_port, 0);
    if (!connection.h) return fail(failure_text(GetLastError()));
    req.h = WinHttpOpenRequest(connection.h, body ? L"POST" : L"GET", object.c_str(), nullptr,
                               WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                               secure ? WINHTTP_FLAG_SECURE : 0);
    if (!req.h) return fail(failure_text(GetLastError()));
    set_timeouts(req.h, request);

    // Redirects are followed by live_send, never by WinHTTP.
    DWORD off = WINHTTP_DISABLE_REDIRECTS;
    WinHttpSetOption(req.h, WINHTTP_OPTION_DISABLE_FEATURE, &off, sizeof off);

    // The certificate is checked here when WinHTTP cannot do it alone: with
    // a CA file of our own, or when the connection goes to another host
    // than the one the certificate must name.
    cert_check check;
    check.name = widen(host);
    bool own_check = secure && (g_roots || t.redirected);
    if (own_check) {
        DWORD flags = SECURITY_FLAG_IGNORE_UNKNOWN_CA | SECURITY_FLAG_IGNORE_CERT_CN_INVALID;
        WinHttpSetOption(req.h, WINHTTP_OPTION_SECURITY_FLAGS, &flags, sizeof flags);
        if (!install_check(req.h))
            return fail("the server's certificate cannot be checked for " + host);
    }

    std::wstring host_line;
    if (t.redirected) {
        std::string host_header = host;
        if (t.port != (secure ? 443 : 80)) host_header += ":" + std::to_string(t.port);
        host_line = L"Host: " + widen(host_header) + L"\r\n";
    }
    if (own_check) {
        std::string why;
        if (!probe_verified(connection.h, check, host_line, request, why)) return fail(why);
        if (cancelled()) return fail("cancelled");
        set_timeouts(req.h, request);
    }
    std::wstring headers = host_line;
    if (target_url.has_key) headers += L"Authorization: Bearer " + widen(target_url.key) + L"\r\n";
    std::string data;
    if (body) {
        if (strncmp(content_type, "multipart/form-data", 19) == 0) {
            // The plug-in hands over the raw file; it goes out as the one form
            // part the service reads, under the boundary the content type names.
            const char *b = strstr(content_type, "boundary=");
            std::string boundary = b ? b + 9 : "plixtorrent";
            data = "--" + boundary +
                   "\r\nContent-Disposition: form-data; name=\"file\"; filename=\"upload.torrent\""
                   "\r\nContent-Type: application/x-bittorrent\r\n\r\n" +
                   body + "\r\n--" + boundary + "--\r\n";
            headers += L"Content-Type: multipart/form-data; boundary=" + widen(boundary) + L"\r\n";
        } else {
            data = body;
            headers += L"Content-Type: " + widen(content_type) + L"\r\n";
        }
    }

    BOOL sent =
        WinHttpSendRequest(req.h, headers.empty() ? WINHTTP_NO_ADDITIONAL_HEADERS : headers.c_str(),
                           headers.empty() ? 0 : static_cast<DWORD>(-1L),
                           data.empty() ? WINHTTP_NO_REQUEST_DATA : const_cast<char *>(data.data()),
                           static_cast<DWORD>(data.size()), static_cast<DWORD>(data.size()),
                           reinterpret_cast<DWORD_PTR>(own_check ? &check : nullptr));
    DWORD send_error = sent ? 0 : GetLastError();
    if (own_check && check.done && !check.ok) {
        req.h = nullptr;  // closed by the callback
        return fail("the server's certificate is not valid for " + host);
    }
    if (!sent) return fail_code(send_error);
    // A request goes on only when the check ran and passed.
    if (own_check && !check.passed())
        return fail("the server's certificate was not checked for " + host);
    if (!WinHttpReceiveResponse(req.h, nullptr)) return fail_code(GetLastError());
    DWORD status = 0;
    DWORD size = sizeof status;
    WinHttpQueryHeaders(req.h, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                        WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX);
    out.status = status;
    wchar_t text[4096];
    DWORD text_size = sizeof text;
    if (WinHttpQueryHeaders(req.h, WINHTTP_QUERY_LOCATION, WINHTTP_HEADER_NAME_BY_INDEX, text,
                            &text_size, WINHTTP_NO_HEADER_INDEX))
        out.location = narrow(text, static_cast<int>(text_size / sizeof(wchar_t)));
    text_size = sizeof text;
    if (WinHttpQueryHeaders(req.h, WINHTTP_QUERY_RETRY_AFTER, WINHTTP_HEADER_NAME_BY_INDEX, text,
                            &text_size, WINHTTP_NO_HEADER_INDEX))
        out.retry_after = narrow(text, static_cast<int>(text_size / sizeof(wchar_t)));
    // An announced length past the bound fails before anything is read.
    wchar_t announced[32];
    DWORD announced_size = sizeof announced;
    if (WinHttpQueryHeaders(req.h, WINHTTP_QUERY_CONTENT_LENGTH, WINHTTP_HEADER_NAME_BY_INDEX,
                            announced, &announced_size, WINHTTP_NO_HEADER_INDEX) &&
        _wcstoui64(announced, nullptr, 10) > answer.limit)
        return fail(live_too_large(target_url.url, answer.limit));
    char chunk[65536];
    for (;;) {
        if (cancelled()) return fail("cancelled");
        DWORD receive = static_cast<DWORD>(live_ms_left(request.deadline));
        WinHttpSetOption(req.h, WINHTTP_OPTION_RECEIVE_TIMEOUT, &receive, sizeof receive);
        DWORD got = 0;
        if (!WinHttpReadData(req.h, chunk, sizeof chunk, &got)) return fail_code(GetLastError());
        if (!got) break;
        if (!answer.add(chunk, got))
            return fail(answer.too_large ? live_too_large(target_url.url, answer.limit)
                                         : "out of memory");
    }
    return 0;
}

}  // namespace

const char *live_io_stack() { return "WinHTTP"; }

bool live_io_start(const live_options *o, std::string &error) {
    std::wstring agent = widen(o->user_agent);
    if (o->proxy.empty()) {
        // The system's proxy settings (the automatic kind where Windows has it).
        g_session = WinHttpOpen(agent.c_str(), WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY,
                                WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0);
        if (!g_session)
            g_session = WinHttpOpen(agent.c_str(), WINHTTP_ACCESS_TYPE_DEFAULT_PROXY,
                                    WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0);
    } else {
        // WinHTTP names a proxy as HOST:PORT (an http:// prefix is dropped).
        std::string p = o->proxy;
        if (p.compare(0, 7, "http://") == 0) p = p.substr(7);
        while (!p.empty() && p.back() == '/') p.pop_back();
        g_session = WinHttpOpen(agent.c_str(), WINHTTP_ACCESS_TYPE_NAMED_PROXY, widen(p).c_str(),
                                WINHTTP_NO_PROXY_BYPASS, 0);
    }
    if (!g_session) {
        error = failure_text(GetLastError());
        return false;
    }
    if (!o->cacert.empty()) {
        g_roots = load_pem(o->cacert, error);
        if (!g_roots) return false;
    }
    return true;
}

#endif  // _WIN32
