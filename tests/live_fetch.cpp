// One exchange through the live transport, for the end-to-end tests:
//   live_fetch [--cacert F] [--connect-to H1:P1:H2:P2] [--timeout S]
//              [--post] [--retries N] [--cancel-after MS] URL
// prints "HTTP <status>" and exits 0, or prints the transport's error line
// and exits 1; then "sent <n>" (requests sent, repeats included),
// "error <code>" when the last answer refused, "wait <s>" when an answer
// asked for a wait it did not get, and "took <ms>". --cancel-after
// cancels the exchange from another thread after MS milliseconds. Built
// with a certificate check that cannot be installed (Windows), it shows
// that such a request is refused before anything is sent.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <chrono>
#include <string>
#include <thread>

#include "live_io.h"

int main(int argc, char **argv) {
    live_options o;
    const char *url = nullptr;
    bool post = false;
    int retries = LIVE_RETRIES;
    long cancel_after = -1;
    for (int i = 1; i < argc; ++i) {
        if (!strcmp(argv[i], "--cacert") && i + 1 < argc)
            o.cacert = argv[++i];
        else if (!strcmp(argv[i], "--connect-to") && i + 1 < argc)
            o.connect_to.push_back(argv[++i]);
        else if (!strcmp(argv[i], "--timeout") && i + 1 < argc)
            o.timeout = atol(argv[++i]);
        else if (!strcmp(argv[i], "--retries") && i + 1 < argc)
            retries = atoi(argv[++i]);
        else if (!strcmp(argv[i], "--cancel-after") && i + 1 < argc)
            cancel_after = atol(argv[++i]);
        else if (!strcmp(argv[i], "--post"))
            post = true;
        else
            url = argv[i];
    }
    std::string error;
    if (!url || !live_io_start(&o, error)) {
        fprintf(stderr, "live_fetch: %s\n", url ? error.c_str() : "no URL");
        return 2;
    }
    live_cancel cancel;
    std::thread canceller;
    if (cancel_after >= 0)
        canceller = std::thread([&] {
            // Ends early when the exchange is over first.
            if (cancel.pause(cancel_after)) cancel.cancel();
        });
    char *body = nullptr, *failure = nullptr;
    int status = 0;
    auto started = std::chrono::steady_clock::now();
    int rc;
    live_scope scope(&cancel, retries);
    rc = live_exchange(&o, url, post ? "" : nullptr, "application/x-www-form-urlencoded", &body,
                       &status, &failure);
    long took = static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                      std::chrono::steady_clock::now() - started)
                                      .count());
    if (rc == 0)
        printf("HTTP %d\n", status);
    else
        printf("%s\n", failure ? failure : "failed");
    printf("sent %d\n", scope.sent);
    if (!scope.error_code.empty()) printf("error %s\n", scope.error_code.c_str());
    if (scope.wait_asked >= 0) printf("wait %ld\n", scope.wait_asked);
    printf("took %ld\n", took);
    fflush(stdout);
    free(body);
    free(failure);
    cancel.cancel();
    if (canceller.joinable()) canceller.join();
    return rc == 0 ? 0 : 1;
}
