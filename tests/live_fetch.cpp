// One exchange through the live transport, for the end-to-end tests:
//   live_fetch [--cacert F] [--connect-to H1:P1:H2:P2] URL
// prints "HTTP <status>" and exits 0, or prints the transport's error line
// and exits 1. Built with a certificate check that cannot be installed, it
// shows that such a request is refused before anything is sent.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "live_io.h"

int main(int argc, char **argv) {
    live_options o;
    const char *url = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (!strcmp(argv[i], "--cacert") && i + 1 < argc)
            o.cacert = argv[++i];
        else if (!strcmp(argv[i], "--connect-to") && i + 1 < argc)
            o.connect_to.push_back(argv[++i]);
        else
            url = argv[i];
    }
    std::string error;
    if (!url || !live_io_start(&o, error)) {
        fprintf(stderr, "live_fetch: %s\n", url ? error.c_str() : "no URL");
        return 2;
    }
    char *body = nullptr, *failure = nullptr;
    int status = 0;
    int rc = live_exchange(&o, url, nullptr, nullptr, &body, &status, &failure);
    if (rc == 0)
        printf("HTTP %d\n", status);
    else
        printf("%s\n", failure ? failure : "failed");
    free(body);
    free(failure);
    return rc == 0 ? 0 : 1;
}
