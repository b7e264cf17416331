// plixd: the account on every player. A long-running host of plix that
// serves the account over WebDAV and HTTP (server.cpp), from listings it
// keeps and refreshes (account.cpp) through plix and the live transport of
// tools/live. This file is the start-up: the command line, the checks, the
// key, and the clean stop on SIGINT or SIGTERM.
#include <malloc.h>
#include <signal.h>
#include <stdio.h>

#include <string>

#include "account.h"
#include "cli.h"
#include "fixture.h"
#include "host_plix.h"
#include "host_text.h"
#include "live_io.h"
#include "log.h"
#include "secrets.h"
#include "server.h"

int main(int argc, char **argv) {
    plixd_options o;
    int code;
    if (!plixd_parse(argc, argv, o, code)) return code;

    // A listing of the whole seedbox is tens of megabytes while it is read;
    // blocks that large come from the system and go back to it when freed,
    // and the threads of the connections share two heaps, so that the
    // memory plixd holds is what its listings need.
    mallopt(M_MMAP_THRESHOLD, 256 * 1024);
    mallopt(M_ARENA_MAX, 2);

    // The signals that stop plixd are taken by this thread alone, with
    // sigwait; every thread started later inherits the mask.
    sigset_t stop_signals;
    sigemptyset(&stop_signals);
    sigaddset(&stop_signals, SIGINT);
    sigaddset(&stop_signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);
    signal(SIGPIPE, SIG_IGN);

    logger log;
    auto setup_failed = [](const std::string &line) {
        fprintf(stderr, "plixd: %s\n", line.c_str());
        return kPlixdSetup;
    };
    bool loopback = is_loopback(o.host);
    if (!loopback && o.users_file.empty()) {
        fprintf(stderr,
                "plixd: %s is not a loopback address: serving there without --users would show "
                "the account to everyone on the network\n",
                o.host.c_str());
        return kPlixdUsage;
    }
    std::string secret;
    if (!secret_make(secret)) return setup_failed("the system gives no random bytes");
    user_list users(secret);
    std::string error;
    if (!o.users_file.empty() && !users.load(o.users_file, error)) return setup_failed(error);
    server_config config;
    config.host = o.host;
    config.port = o.port;
    config.proxy = o.proxy;
    config.upstream = &o.http;
    if (!o.tls_cert_file.empty() && (!read_file(o.tls_cert_file, config.tls_cert, error) ||
                                     !read_file(o.tls_key_file, config.tls_key, error)))
        return setup_failed(error);
    if (!o.users_file.empty() && !loopback && config.tls_cert.empty())
        log.say(
            "warning: passwords cross the network readable over plain HTTP; use --tls-cert "
            "and --tls-key");

    plix_api api = plix_api_linked();
    std::string settings;
    if (o.demo) {
        fixture demo;
        std::string text = kDemoAccount;
        if (!fixture_read(text, api.base_url(), demo, error) || !fixture_install(api, demo, error))
            return setup_failed("demo account: " + error);
        settings = settings_json(demo.key);
    } else {
        std::string key;
        bool blank = false;
        if (!read_account_key(o.key_file, key, blank, error)) return setup_failed(error);
        if (key.empty())
            return setup_failed(
                "no API key: set PLIX_API_KEY or use --key-file FILE (or --demo for the demo "
                "account)");
        o.http.user_agent = "plixd/" PLIXD_VERSION;
        if (!live_io_start(&o.http, error)) return setup_failed(error);
        plix_io table = live_io_table(&o.http);
        if (plix_set_io(&table) != PLIX_OK) return setup_failed("plix refused the transport");
        settings = settings_json(key);
        key.assign(key.size(), '\0');
    }

    account_options options;
    options.refresh = o.refresh;
    options.rate = o.rate;
    account acct(api, settings, options, log);
    token_keeper tokens(secret);
    server srv(acct, o.users_file.empty() ? nullptr : &users, tokens, config, log);
    if (!srv.start(error)) return setup_failed(error);
    printf("plixd: serving %s\n", srv.url().c_str());
    fflush(stdout);
    acct.start();
    log.say("serving " + srv.url() + (o.demo ? " (the demo account)" : ""));

    int sig = 0;
    sigwait(&stop_signals, &sig);
    log.say(std::string("stopping (") + (sig == SIGINT ? "SIGINT" : "SIGTERM") + ")");
    // Requests waiting on the service are cancelled, the ones in flight
    // answered, and the connections ended.
    acct.stop();
    srv.stop();
    log.say("stopped");
    return kPlixdOk;
}
