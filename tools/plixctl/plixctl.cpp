// plixctl: the plug-in at a terminal. It loads the library by path and
// reaches it only through its exports, as a media-player host does, with
// either the plug-in's fake transport programmed with the demo account or a
// live transport of its own (tools/live: libcurl on Linux, WinHTTP on
// Windows). This file is the start-up: the command line, the account, the
// command. cli.cpp reads the command line, commands.cpp runs the commands,
// tour.cpp is the demo, text.cpp the terminal text.
#include <stdio.h>

#include <string>
#include <vector>

#include "cli.h"
#include "commands.h"
#include "library_path.h"
#include "live_io.h"
#include "text.h"

#if defined(_WIN32)
#include <windows.h>

// shellapi.h needs windows.h first.
#include <fcntl.h>
#include <io.h>
#include <shellapi.h>
#endif

namespace {

// Settings, and the transport: the fake with the demo account and its own
// key, or the live transport with the key of PLIX_API_KEY or --key-file.
int open_account(host &h, bool demo) {
    std::string key;
    bool blank_env = false;
    if (!demo && !h.opt.fake && !read_key(h.opt, key, blank_env)) return kExitSetup;
    h.fake = demo || h.opt.fake || (!h.opt.live && key.empty());
    if (h.fake && !demo && !h.opt.fake && blank_env)
        fprintf(stderr, "plixctl: no API key: the demo account, offline\n");
    if (h.opt.live && key.empty()) {
        fprintf(stderr,
                "plixctl: --live needs an API key: set PLIX_API_KEY or use --key-file FILE\n");
        return kExitUsage;
    }
    std::string error;
    if (h.fake) {
        std::string text = kDemoAccount;
        if (!h.opt.fixture_file.empty() && !read_file(h.opt.fixture_file, text, error)) {
            fprintf(stderr, "plixctl: %s\n", error.c_str());
            return kExitSetup;
        }
        if (!fixture_read(text, h.api.base_url(), h.demo, error) ||
            !fixture_install(h.api, h.demo, error)) {
            fprintf(stderr, "plixctl: demo account: %s\n", error.c_str());
            return kExitSetup;
        }
        key = h.demo.key;
    } else {
        h.opt.http.user_agent = "plixctl/" PLIXCTL_VERSION;
        if (!live_io_start(&h.opt.http, error)) {
            fprintf(stderr, "plixctl: %s\n", error.c_str());
            return kExitSetup;
        }
        plix_io table = live_io_table(&h.opt.http);
        if (int rc = h.api.set_io(&table); rc != PLIX_OK) {
            fprintf(stderr, "plixctl: the plug-in refused the transport table (%d)\n", rc);
            return kExitSetup;
        }
    }
    h.settings = settings_json(key);
    return kExitOk;
}

}  // namespace

int main(int argc, char **argv) {
#if defined(_WIN32)
    // UTF-8 at the console and in the arguments, as on Linux: names with
    // non-ASCII characters show as they are, and arguments arrive whole.
    SetConsoleOutputCP(CP_UTF8);
    // Bytes out as written ("\n", not "\r\n"), so the output is the same as
    // on Linux.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    std::vector<std::string> utf8_args;
    std::vector<char *> utf8_argv;
    int wide_argc = 0;
    if (wchar_t **wide = CommandLineToArgvW(GetCommandLineW(), &wide_argc)) {
        for (int i = 0; i < wide_argc; ++i) {
            int n = WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, nullptr, 0, nullptr, nullptr);
            std::string s(n > 0 ? static_cast<size_t>(n - 1) : 0, '\0');
            if (n > 1) WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, &s[0], n, nullptr, nullptr);
            utf8_args.push_back(s);
        }
        LocalFree(wide);
        for (std::string &s : utf8_args) utf8_argv.push_back(&s[0]);
        utf8_argv.push_back(nullptr);
        argc = wide_argc;
        argv = utf8_argv.data();
    }
#endif
    host h;
    int code;
    if (!parse_options(argc, argv, h.opt, code)) return code;
    if (h.opt.args.empty()) {
        fputs(kShortUsage, stderr);
        return kExitUsage;
    }
    const command *cmd = nullptr;
    for (const command &c : commands())
        if (h.opt.args[0] == c.name) cmd = &c;
    if (!cmd) {
        fprintf(stderr, "plixctl: unknown command %s (see plixctl --help)\n",
                h.opt.args[0].c_str());
        return kExitUsage;
    }
    size_t given = h.opt.args.size() - 1;
    if ((cmd->arguments >= 0 && given != static_cast<size_t>(cmd->arguments)) ||
        (cmd->arguments < 0 && given > 1)) {
        fprintf(stderr, "plixctl: %s takes %s\n", cmd->name,
                cmd->arguments == 0   ? "no argument"
                : cmd->arguments == 1 ? "one argument"
                                      : "at most one argument");
        return kExitUsage;
    }
    if (h.opt.library.empty()) h.opt.library = default_library_path();
    std::string error;
    if (!plix_api_load(h.api, h.opt.library, error)) {
        fprintf(stderr, "plixctl: %s\n", error.c_str());
        return kExitSetup;
    }
    if (cmd->account) {
        bool demo = std::string(cmd->name) == "demo";
        if (demo && (h.opt.live || !h.opt.key_file.empty())) {
            fprintf(stderr, "plixctl: demo runs on the demo account only\n");
            return kExitUsage;
        }
        if ((code = open_account(h, demo)) != kExitOk) return code;
    }
    code = cmd->run(h, given ? h.opt.args[1] : std::string());
    fflush(stdout);
    return code;
}
