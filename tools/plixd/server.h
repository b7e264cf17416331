// plixd's HTTP side, on libmicrohttpd: WebDAV (class 1, read-only) and
// plain HTTP for browsers and players, over the account's catalog.
#pragma once

#include <stddef.h>

#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "account.h"
#include "live_io.h"
#include "log.h"
#include "secrets.h"

struct MHD_Daemon;
struct MHD_Connection;

struct server_config {
    std::string host = "127.0.0.1";  // the address to listen on (IPv4 or IPv6)
    int port = 8080;                 // 0 for one the system picks
    std::string tls_cert, tls_key;   // PEM texts; both empty for plain HTTP
    bool proxy = false;              // stream file bytes through plixd instead of redirecting
    const live_options *upstream = nullptr;  // TLS settings for the bytes plixd streams
    unsigned connections = 128;              // at once, at the most
    unsigned per_client = 32;                // from one address, at the most
    unsigned idle_timeout = 30;              // seconds a connection may stay silent
    long token_life = 24 * 3600;             // seconds a playlist's entries play without a password
};

class server {
  public:
    server(account &acct, user_list *users, const token_keeper &tokens, server_config config,
           logger &log);
    ~server();
    server(const server &) = delete;
    server &operator=(const server &) = delete;

    // Listens and serves on threads of its own. false with error when the
    // address cannot be had or the TLS files are refused.
    bool start(std::string &error);
    // The root it serves, with the port it got ("http://127.0.0.1:8080/").
    std::string url() const;
    // Stops taking connections, answers the requests in flight, and ends.
    void stop();

    // Handles one request (libmicrohttpd's access handler).
    int handle(MHD_Connection *connection, const char *url, const char *method,
               const char *upload_data, size_t *upload_size, void **state);

  private:
    account &account_;
    user_list *users_;
    const token_keeper &tokens_;
    server_config config_;
    logger &log_;
    MHD_Daemon *daemon_ = nullptr;
    int bound_port_ = 0;

    // Multi-Status answers already written, by folder, depth and request:
    // a folder that is browsed again costs a copy, not a rendering.
    struct written {
        std::shared_ptr<const std::string> body;
        std::shared_ptr<const void> keep;  // what the key's folder pointer points at
    };
    std::mutex written_mutex_;
    std::map<std::string, written> written_;
    size_t written_bytes_ = 0;

    std::shared_ptr<const std::string> find_written(const std::string &key);
    void keep_written(const std::string &key, std::shared_ptr<const std::string> body,
                      std::shared_ptr<const void> keep);
};
