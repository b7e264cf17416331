#include "server.h"

#include <arpa/inet.h>
#include <microhttpd.h>
#include <netinet/in.h>
#include <string.h>
#include <sys/socket.h>
#include <time.h>

#include <vector>

#include "dav.h"
#include "media_names.h"
#include "pages.h"
#include "paths.h"
#include "proxy.h"

namespace {

constexpr char kAllow[] = "OPTIONS, GET, HEAD, PROPFIND";
// How long a request waits for the account's first listings.
constexpr long kFirstListingWait = 20000;
// The most bytes of written answers kept.
constexpr size_t kWrittenMax = size_t{64} << 20;

// What one request keeps between the calls libmicrohttpd makes for it.
struct request_state {
    std::string body;
    uint64_t received = 0;
    bool too_large = false;
    bool answered = false;
};

// A body past DAV_BODY_MAX is read to its end and dropped, so that the
// client hears 413; one past this is not read further, and its connection
// ends.
constexpr uint64_t kDrainMax = uint64_t{16} << 20;

// The text of a header of the request, or null.
const char *header(MHD_Connection *c, const char *name) {
    return MHD_lookup_connection_value(c, MHD_HEADER_KIND, name);
}

bool has_argument(MHD_Connection *c, const char *name) {
    return MHD_lookup_connection_value_n(c, MHD_GET_ARGUMENT_KIND, name, strlen(name), nullptr,
                                         nullptr) == MHD_YES;
}

std::string client_of(MHD_Connection *c) {
    const MHD_ConnectionInfo *info = MHD_get_connection_info(c, MHD_CONNECTION_INFO_CLIENT_ADDRESS);
    if (!info || !info->client_addr) return "?";
    char text[INET6_ADDRSTRLEN] = "?";
    const sockaddr *a = info->client_addr;
    if (a->sa_family == AF_INET)
        inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in *>(a)->sin_addr, text, sizeof text);
    else if (a->sa_family == AF_INET6)
        inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6 *>(a)->sin6_addr, text,
                  sizeof text);
    return text;
}

void free_shared(void *p) { delete static_cast<std::shared_ptr<const std::string> *>(p); }

// A response holding body, which it keeps until libmicrohttpd is done with
// it (no copy); null without memory.
MHD_Response *response_of(std::shared_ptr<const std::string> body, const char *type) {
    auto *holder = new std::shared_ptr<const std::string>(std::move(body));
    MHD_Response *r = MHD_create_response_from_buffer_with_free_callback_cls(
        (*holder)->size(), const_cast<char *>((*holder)->data()), free_shared, holder);
    if (!r) {
        delete holder;
        return nullptr;
    }
    if (type) MHD_add_response_header(r, "Content-Type", type);
    return r;
}

// Queues an answer with body and the headers given; MHD_YES when queued.
MHD_Result send(MHD_Connection *c, unsigned status, std::shared_ptr<const std::string> body,
                const char *type,
                std::initializer_list<std::pair<const char *, std::string>> headers = {}) {
    MHD_Response *r = response_of(std::move(body), type);
    if (!r) return MHD_NO;
    for (const auto &h : headers) MHD_add_response_header(r, h.first, h.second.c_str());
    MHD_Result q = MHD_queue_response(c, status, r);
    MHD_destroy_response(r);
    return q;
}

MHD_Result send(MHD_Connection *c, unsigned status, std::string body, const char *type,
                std::initializer_list<std::pair<const char *, std::string>> headers = {}) {
    return send(c, status, std::make_shared<const std::string>(std::move(body)), type, headers);
}

MHD_Result send_text(MHD_Connection *c, unsigned status, const std::string &text) {
    return send(c, status, text + "\n", "text/plain; charset=utf-8");
}

// An answer of size bytes whose body is never read (HEAD).
ssize_t no_body(void *, uint64_t, char *, size_t) { return MHD_CONTENT_READER_END_WITH_ERROR; }

MHD_Result send_head(MHD_Connection *c, int64_t size,
                     std::initializer_list<std::pair<const char *, std::string>> headers) {
    MHD_Response *r = MHD_create_response_from_callback(
        size >= 0 ? static_cast<uint64_t>(size) : MHD_SIZE_UNKNOWN, 4096, no_body, nullptr,
        nullptr);
    if (!r) return MHD_NO;
    for (const auto &h : headers) MHD_add_response_header(r, h.first, h.second.c_str());
    MHD_Result q = MHD_queue_response(c, MHD_HTTP_OK, r);
    MHD_destroy_response(r);
    return q;
}

bool write_method(const std::string &m) {
    for (const char *w :
         {"PUT", "DELETE", "MKCOL", "COPY", "MOVE", "PROPPATCH", "LOCK", "UNLOCK", "POST", "PATCH"})
        if (m == w) return true;
    return false;
}

// Paths are decoded by split_path, which refuses what would leave the tree;
// libmicrohttpd hands them over as they came.
size_t keep_escaped(void *, MHD_Connection *, char *s) { return strlen(s); }

MHD_Result on_request(void *cls, MHD_Connection *c, const char *url, const char *method,
                      const char *, const char *upload_data, size_t *upload_size, void **state) {
    return static_cast<server *>(cls)->handle(c, url, method, upload_data, upload_size, state)
               ? MHD_YES
               : MHD_NO;
}

void on_done(void *, MHD_Connection *, void **state, MHD_RequestTerminationCode) {
    delete static_cast<request_state *>(*state);
    *state = nullptr;
}

void on_mhd_error(void *cls, const char *format, va_list ap) {
    char text[512];
    vsnprintf(text, sizeof text, format, ap);
    std::string line = text;
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    static_cast<logger *>(cls)->say("libmicrohttpd: " + line);
}

// A folder's resources for a Multi-Status answer: itself, and its entries
// at depth 1.
std::vector<dav_resource> resources_of(const std::vector<std::string> &segments, const place &p,
                                       int depth) {
    std::vector<dav_resource> out;
    auto resource = [](const std::vector<std::string> &path, const entry &e) {
        dav_resource r;
        r.href = href_of(path, e.is_folder);
        r.name = e.name;
        r.folder = e.is_folder;
        r.size = e.size;
        r.tag = e.tag;
        return r;
    };
    if (p.what == place::at_file) {
        out.push_back(resource(segments, *p.item));
        return out;
    }
    dav_resource self;
    self.href = href_of(segments, true);
    self.name = segments.empty() ? "" : segments.back();
    self.folder = true;
    self.tag = p.item ? p.item->tag : 0;
    out.push_back(self);
    if (depth == 1) {
        std::vector<std::string> path = segments;
        path.push_back("");
        for (const entry &e : p.dir->entries) {
            path.back() = e.name;
            out.push_back(resource(path, e));
        }
    }
    return out;
}

std::string request_key(const propfind &request) {
    std::string key = std::to_string(static_cast<int>(request.what));
    for (const prop_name &p : request.props) key += "|" + p.ns + " " + p.name;
    return key;
}

}  // namespace

server::server(account &acct, user_list *users, const token_keeper &tokens, server_config config,
               logger &log)
    : account_(acct), users_(users), tokens_(tokens), config_(std::move(config)), log_(log) {}

server::~server() { stop(); }

bool server::start(std::string &error) {
    sockaddr_storage address{};
    socklen_t length = 0;
    bool v6 = config_.host.find(':') != std::string::npos;
    if (v6) {
        auto *a = reinterpret_cast<sockaddr_in6 *>(&address);
        a->sin6_family = AF_INET6;
        a->sin6_port = htons(static_cast<uint16_t>(config_.port));
        if (inet_pton(AF_INET6, config_.host.c_str(), &a->sin6_addr) != 1) {
            error = "not an IP address: " + config_.host;
            return false;
        }
        length = sizeof(sockaddr_in6);
    } else {
        auto *a = reinterpret_cast<sockaddr_in *>(&address);
        a->sin_family = AF_INET;
        a->sin_port = htons(static_cast<uint16_t>(config_.port));
        if (inet_pton(AF_INET, config_.host.c_str(), &a->sin_addr) != 1) {
            error = "not an IP address: " + config_.host;
            return false;
        }
        length = sizeof(sockaddr_in);
    }
    (void)length;
    unsigned flags = MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_THREAD_PER_CONNECTION |
                     MHD_USE_POLL | MHD_USE_ITC | MHD_USE_ERROR_LOG;
    if (v6) flags |= MHD_USE_IPv6;
    bool tls = !config_.tls_cert.empty();
    if (tls) flags |= MHD_USE_TLS;
    MHD_OptionItem options[] = {
        {MHD_OPTION_EXTERNAL_LOGGER, reinterpret_cast<intptr_t>(on_mhd_error), &log_},
        {MHD_OPTION_SOCK_ADDR, 0, &address},
        {MHD_OPTION_CONNECTION_LIMIT, config_.connections, nullptr},
        {MHD_OPTION_PER_IP_CONNECTION_LIMIT, config_.per_client, nullptr},
        {MHD_OPTION_CONNECTION_TIMEOUT, config_.idle_timeout, nullptr},
        // Bounds what one connection holds for the request's head (the
        // request line and its headers): a larger head is refused.
        {MHD_OPTION_CONNECTION_MEMORY_LIMIT, 64 * 1024, nullptr},
        {MHD_OPTION_NOTIFY_COMPLETED, reinterpret_cast<intptr_t>(on_done), nullptr},
        {MHD_OPTION_UNESCAPE_CALLBACK, reinterpret_cast<intptr_t>(keep_escaped), nullptr},
        {tls ? MHD_OPTION_HTTPS_MEM_CERT : MHD_OPTION_END, 0,
         const_cast<char *>(config_.tls_cert.c_str())},
        {MHD_OPTION_HTTPS_MEM_KEY, 0, const_cast<char *>(config_.tls_key.c_str())},
        {MHD_OPTION_END, 0, nullptr},
    };
    daemon_ = MHD_start_daemon(flags, 0, nullptr, nullptr, on_request, this, MHD_OPTION_ARRAY,
                               options, MHD_OPTION_END);
    if (!daemon_) {
        error = "cannot listen on " + config_.host + ":" + std::to_string(config_.port) +
                (tls ? " (or the TLS certificate and key are refused)" : "");
        return false;
    }
    const MHD_DaemonInfo *info = MHD_get_daemon_info(daemon_, MHD_DAEMON_INFO_BIND_PORT);
    bound_port_ = info ? info->port : config_.port;
    return true;
}

std::string server::url() const {
    bool v6 = config_.host.find(':') != std::string::npos;
    return std::string(config_.tls_cert.empty() ? "http" : "https") + "://" +
           (v6 ? "[" + config_.host + "]" : config_.host) + ":" + std::to_string(bound_port_) + "/";
}

void server::stop() {
    if (!daemon_) return;
    MHD_quiesce_daemon(daemon_);
    MHD_stop_daemon(daemon_);
    daemon_ = nullptr;
}

std::shared_ptr<const std::string> server::find_written(const std::string &key) {
    std::lock_guard<std::mutex> hold(written_mutex_);
    auto w = written_.find(key);
    return w == written_.end() ? nullptr : w->second.body;
}

void server::keep_written(const std::string &key, std::shared_ptr<const std::string> body,
                          std::shared_ptr<const void> keep) {
    std::lock_guard<std::mutex> hold(written_mutex_);
    if (written_bytes_ + body->size() > kWrittenMax) {
        written_.clear();
        written_bytes_ = 0;
    }
    written_bytes_ += body->size();
    written_[key] = written{std::move(body), std::move(keep)};
}

int server::handle(MHD_Connection *c, const char *url, const char *method_text,
                   const char *upload_data, size_t *upload_size, void **state_slot) {
    auto *state = static_cast<request_state *>(*state_slot);
    std::string method = method_text ? method_text : "";
    bool readable =
        method == "PROPFIND" || method == "GET" || method == "HEAD" || method == "OPTIONS";
    if (!state) {
        state = new request_state();
        *state_slot = state;
        // The methods plixd answers are answered once the request is whole
        // (libmicrohttpd then keeps the connection); any other is refused
        // at once, its body never read.
        if (readable) return MHD_YES;
    }
    if (*upload_size) {
        state->received += *upload_size;
        if (state->received > DAV_BODY_MAX) state->too_large = true;
        if (!state->too_large) state->body.append(upload_data, *upload_size);
        *upload_size = 0;
        return state->received <= kDrainMax ? MHD_YES : MHD_NO;
    }
    if (state->answered) return MHD_YES;
    state->answered = true;

    std::string path = url ? url : "";
    unsigned status = 0;
    auto done = [&](unsigned s, MHD_Result queued) {
        status = s;
        log_.say(client_of(c) + " " + method + " " + path + " " + std::to_string(status));
        return queued;
    };

    if (state->too_large)
        return done(413, send_text(c, MHD_HTTP_CONTENT_TOO_LARGE, "request body too large"));
    std::vector<std::string> segments;
    bool slash = false;
    if (!split_path(path, segments, slash))
        return done(400, send_text(c, MHD_HTTP_BAD_REQUEST, "bad path"));

    // The login comes before anything that could tell whether a path
    // exists. A playlist's entry carries a token that opens its one file.
    if (users_) {
        const char *token = MHD_lookup_connection_value(c, MHD_GET_ARGUMENT_KIND, "t");
        bool by_token = (method == "GET" || method == "HEAD") && token &&
                        tokens_.check(token, href_of(segments, false), time(nullptr));
        if (!by_token) {
            char *password = nullptr;
            char *user = MHD_basic_auth_get_username_password(c, &password);
            bool ok = user && password && users_->check(user, password);
            if (user) MHD_free(user);
            if (password) MHD_free(password);
            if (!ok) {
                MHD_Response *r = response_of(std::make_shared<const std::string>("login needed\n"),
                                              "text/plain; charset=utf-8");
                if (!r) return MHD_NO;
                MHD_Result q = MHD_queue_basic_auth_fail_response(c, "plixd", r);
                MHD_destroy_response(r);
                return done(401, q);
            }
        }
    }

    if (method == "OPTIONS")
        return done(200, send(c, MHD_HTTP_OK, std::string(), nullptr,
                              {{"DAV", "1"}, {"Allow", kAllow}, {"MS-Author-Via", "DAV"}}));
    if (write_method(method))
        return done(403, send_text(c, MHD_HTTP_FORBIDDEN, "plixd is read-only"));
    if (method != "PROPFIND" && method != "GET" && method != "HEAD")
        return done(405, send(c, MHD_HTTP_METHOD_NOT_ALLOWED, "method not allowed\n",
                              "text/plain; charset=utf-8", {{"Allow", kAllow}}));

    int depth = 0;
    propfind request;
    if (method == "PROPFIND") {
        if (!parse_depth(header(c, "Depth"), depth))
            return done(400, send_text(c, MHD_HTTP_BAD_REQUEST, "bad Depth"));
        if (depth < 0)
            return done(403, send(c, MHD_HTTP_FORBIDDEN, DAV_FINITE_DEPTH,
                                  "application/xml; charset=utf-8"));
        if (!parse_propfind(state->body.data(), state->body.size(), request))
            return done(400, send_text(c, MHD_HTTP_BAD_REQUEST, "not a PROPFIND document"));
    }

    std::shared_ptr<const catalog> cat = account_.current(kFirstListingWait);
    place p = cat->resolve(segments);
    if (p.what == place::pending) {
        // A torrent whose files are not listed yet: list them now.
        std::string why;
        if (!account_.list_files(p.torrent_id, why))
            return done(503, send_text(c, MHD_HTTP_SERVICE_UNAVAILABLE, why));
        p = cat->resolve(segments);
        if (p.what == place::pending) p.what = place::none;
    }
    if (p.what == place::none) return done(404, send_text(c, MHD_HTTP_NOT_FOUND, "not found"));

    if (method == "PROPFIND") {
        std::string key;
        std::shared_ptr<const void> keep;
        if (p.what == place::at_folder) {
            key = std::to_string(reinterpret_cast<uintptr_t>(p.dir.get())) + "|" +
                  std::to_string(depth) + "|" + href_of(segments, true) + "|" +
                  request_key(request);
            keep = p.dir;
        }
        std::shared_ptr<const std::string> body = key.empty() ? nullptr : find_written(key);
        if (!body) {
            auto made = std::make_shared<std::string>();
            write_multistatus(resources_of(segments, p, depth), request, *made);
            body = made;
            if (!key.empty()) keep_written(key, body, keep);
        }
        return done(207, send(c, MHD_HTTP_MULTI_STATUS, body, "application/xml; charset=utf-8",
                              {{"DAV", "1"}}));
    }

    if (p.what == place::at_folder) {
        if (has_argument(c, "m3u")) {
            // Entries that play without a further login: each with a token
            // that opens it alone, for a while.
            const char *host = header(c, "Host");
            std::string base =
                std::string(config_.tls_cert.empty() ? "http" : "https") + "://" +
                (host && host[0] ? host : this->url().substr(this->url().find("://") + 3));
            if (base.back() == '/') base.pop_back();
            time_t expires = time(nullptr) + config_.token_life;
            std::vector<std::string> file_path = segments;
            file_path.push_back("");
            std::string list =
                m3u_playlist(media_in_order(*p.dir, p.organised), [&](const entry &e) {
                    file_path.back() = e.name;
                    std::string href = href_of(file_path, false);
                    return base + href + (users_ ? "?t=" + tokens_.make(href, expires) : "");
                });
            return done(200, send(c, MHD_HTTP_OK, list, "audio/x-mpegurl; charset=utf-8"));
        }
        return done(200,
                    send(c, MHD_HTTP_OK, html_index(segments, *p.dir), "text/html; charset=utf-8"));
    }

    const entry &file = *p.item;
    std::string etag = etag_of(file.tag);
    if (method == "HEAD")
        return done(200, send_head(c, file.size,
                                   {{"Content-Type", content_type_of(file.name)},
                                    {"ETag", etag},
                                    {"Last-Modified", DAV_LAST_MODIFIED},
                                    {"Accept-Ranges", config_.proxy ? "bytes" : "none"}}));
    std::string target, why;
    if (!account_.play_url(file, target, why))
        return done(502, send_text(c, MHD_HTTP_BAD_GATEWAY, why));
    if (config_.proxy) {
        unsigned got = 0;
        auto q = static_cast<MHD_Result>(proxy_file(c, *config_.upstream, target, file.size, etag,
                                                    content_type_of(file.name), got));
        return done(got, q);
    }
    return done(302, send(c, MHD_HTTP_FOUND, "", "text/plain", {{"Location", target}}));
}
