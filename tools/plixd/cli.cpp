#include "cli.h"

#include <arpa/inet.h>
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {

constexpr char kUsage[] = R"(usage: plixd [options]

Serves a Debrid-Link account to every player: a read-only WebDAV share, and
HTTP for browsers (an index of each folder) and players (FOLDER?m3u, a
playlist of the folder's media). The tree:

  /downloader/                 every downloader link
  /seedbox/TORRENT/...         every torrent and its files
  /shows/SHOW/Season NN/       episodes of ready torrents and links, subtitles beside them
  /movies/TITLE (YEAR)/        every other ready video, subtitles beside it

A file answers a redirect to its download link (or, with --proxy, its
bytes). plixd serves until SIGINT or SIGTERM; its first line on standard
output is "plixd: serving URL". It logs one line an event on standard error.

Options
  --listen ADDR:PORT   where to listen (default 127.0.0.1:8080; [::1]:PORT for
                       IPv6; port 0 lets the system pick one). An address
                       other than loopback needs --users
  --demo               serve the demo account built in (no key, no network)
  --key-file FILE      read the API key from FILE; otherwise it comes from the
                       environment variable PLIX_API_KEY. Without a key, and
                       without --demo, plixd does not start
  --users FILE         an htpasswd file (htpasswd -B, bcrypt or SHA-crypt):
                       every request then needs one of its users' passwords
                       (HTTP Basic); playlists carry tokens instead
  --tls-cert FILE, --tls-key FILE
                       serve HTTPS with this certificate and key (PEM)
  --refresh SECONDS    how often the seedbox and the downloader are listed
                       again (default 30)
  --rate N             the most requests a second sent to the service for
                       background work (default 4; fractions allowed)
  --proxy              stream files' bytes through plixd (with Range) instead
                       of redirecting, for players that cannot follow one
  --cacert FILE        verify the service (and, with --proxy, download hosts)
                       against the CA certificates in FILE
  --connect-to H1:P1:H2:P2
                       connect to H2:P2 for requests to H1:P1, as curl does
                       (repeatable)
  --timeout SECONDS    how long one exchange with the service may take
                       (default 30)
  -V, --version        the version
  -h, --help           this text

Exit codes
  0     stopped by SIGINT or SIGTERM
  2     wrong command line
  3     a file, the key or the address cannot be used
)";

bool number(const std::string &text, double low, double high, double &out) {
    char *end = nullptr;
    errno = 0;
    double v = strtod(text.c_str(), &end);
    if (text.empty() || *end || errno || !(v >= low && v <= high)) return false;
    out = v;
    return true;
}

}  // namespace

std::string plixd_usage() { return kUsage; }

bool split_listen(const std::string &text, std::string &host, int &port) {
    size_t colon;
    if (!text.empty() && text[0] == '[') {
        size_t close = text.find(']');
        if (close == std::string::npos || close + 1 >= text.size() || text[close + 1] != ':')
            return false;
        host = text.substr(1, close - 1);
        colon = close + 1;
    } else {
        colon = text.rfind(':');
        if (colon == std::string::npos) return false;
        host = text.substr(0, colon);
        if (host.find(':') != std::string::npos) return false;
    }
    std::string digits = text.substr(colon + 1);
    if (digits.empty() || digits.size() > 5 ||
        digits.find_first_not_of("0123456789") != std::string::npos)
        return false;
    port = atoi(digits.c_str());
    if (port > 65535) return false;
    unsigned char buf[16];
    bool v6 = host.find(':') != std::string::npos;
    return inet_pton(v6 ? AF_INET6 : AF_INET, host.c_str(), buf) == 1;
}

bool is_loopback(const std::string &host) {
    unsigned char buf[16];
    if (host.find(':') != std::string::npos) {
        static const unsigned char one[16] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
        return inet_pton(AF_INET6, host.c_str(), buf) == 1 && memcmp(buf, one, 16) == 0;
    }
    return inet_pton(AF_INET, host.c_str(), buf) == 1 && buf[0] == 127;
}

bool plixd_parse(int argc, char **argv, plixd_options &o, int &code) {
    code = -1;
    o.http.timeout = 30;
    auto fail = [&](const std::string &line) {
        fprintf(stderr, "plixd: %s\n", line.c_str());
        code = kPlixdUsage;
        return false;
    };
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i], name = arg, value;
        size_t eq = arg.find('=');
        bool inline_value = arg.compare(0, 2, "--") == 0 && eq != std::string::npos;
        if (inline_value) {
            name = arg.substr(0, eq);
            value = arg.substr(eq + 1);
        }
        auto take = [&]() -> bool {
            if (inline_value) return true;
            if (i + 1 >= argc) return false;
            value = argv[++i];
            return true;
        };
        if (name == "-h" || name == "--help") {
            fputs(kUsage, stdout);
            code = kPlixdOk;
            return false;
        }
        if (name == "-V" || name == "--version") {
            printf("plixd %s\n", PLIXD_VERSION);
            code = kPlixdOk;
            return false;
        }
        if (name == "--demo") {
            o.demo = true;
        } else if (name == "--proxy") {
            o.proxy = true;
        } else if (name == "--key" || name == "--api-key") {
            // Never echoed: it may be the key itself.
            return fail(
                "the API key is never taken on the command line; set PLIX_API_KEY or use "
                "--key-file FILE");
        } else if (name == "--listen" || name == "--key-file" || name == "--users" ||
                   name == "--tls-cert" || name == "--tls-key" || name == "--refresh" ||
                   name == "--rate" || name == "--cacert" || name == "--connect-to" ||
                   name == "--timeout") {
            if (!take()) return fail(name + " needs a value");
            double v = 0;
            if (name == "--listen") {
                if (!split_listen(value, o.host, o.port))
                    return fail("--listen takes ADDR:PORT (such as 127.0.0.1:8080 or [::1]:8080)");
            } else if (name == "--key-file") {
                o.key_file = value;
            } else if (name == "--users") {
                o.users_file = value;
            } else if (name == "--tls-cert") {
                o.tls_cert_file = value;
            } else if (name == "--tls-key") {
                o.tls_key_file = value;
            } else if (name == "--refresh") {
                if (!number(value, 1, 86400, v) || v != static_cast<long>(v))
                    return fail("--refresh takes a number of seconds from 1 to 86400");
                o.refresh = static_cast<long>(v);
            } else if (name == "--rate") {
                if (!number(value, 0.01, 1000, v))
                    return fail("--rate takes a number of requests a second from 0.01 to 1000");
                o.rate = v;
            } else if (name == "--cacert") {
                o.http.cacert = value;
            } else if (name == "--connect-to") {
                o.http.connect_to.push_back(value);
            } else if (name == "--timeout") {
                if (!number(value, 1, 86400, v) || v != static_cast<long>(v))
                    return fail("--timeout takes a number of seconds from 1 to 86400");
                o.http.timeout = static_cast<long>(v);
            }
        } else {
            return fail("unknown option " + arg + " (see plixd --help)");
        }
    }
    if (o.tls_cert_file.empty() != o.tls_key_file.empty())
        return fail("--tls-cert and --tls-key go together");
    if (o.demo && !o.key_file.empty())
        return fail("--demo serves the demo account; it takes no key");
    o.http.connect_timeout = o.http.timeout < 15 ? o.http.timeout : 15;
    return true;
}
