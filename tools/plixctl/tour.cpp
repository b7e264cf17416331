// plixctl demo: a tour of the demo account on the plug-in's fake
// transport, step by step as a user would type the commands.
#include <stdio.h>

#include <string>
#include <vector>

#include "commands.h"

// The tour of the demo account, in this process, so that what the add
// changes shows in the next listing.
int cmd_demo(host &h) {
    int step = 0;
    auto title = [&](const char *what, const std::string &command) {
        printf("%s== %d. %s\n$ plixctl %s\n", step ? "\n" : "", step + 1, what, command.c_str());
        ++step;
        fflush(stdout);
    };
    auto first = [&](const std::string &folder, bool want_folder, std::string &path) {
        std::string answer;
        std::vector<listing_item> items;
        if (h.list(folder, answer) != PLIX_OK || !read_items(answer, items)) return false;
        for (const listing_item &it : items) {
            if (it.folder == want_folder) {
                path = shown_path(folder, it);
                return true;
            }
        }
        return false;
    };
    int code;
    title("Check the demo account's key", "validate");
    if ((code = cmd_validate(h)) != kExitOk) return code;
    title("The root folder", "ls");
    if ((code = cmd_ls(h, "")) != kExitOk) return code;
    title("Links added to the downloader", "ls downloader");
    if ((code = cmd_ls(h, "downloader")) != kExitOk) return code;
    title("Torrents in the seedbox", "ls seedbox");
    if ((code = cmd_ls(h, "seedbox")) != kExitOk) return code;
    std::string torrent, file;
    if (!first("seedbox", true, torrent) || !first(torrent, false, file)) {
        fprintf(stderr, "plixctl: the demo account has no torrent with files\n");
        return kExitSetup;
    }
    title("One torrent's files", "ls " + torrent);
    if ((code = cmd_ls(h, torrent)) != kExitOk) return code;
    title("The URL to play one of them", "stream " + file);
    if ((code = cmd_stream(h, file)) != kExitOk) return code;
    std::string magnet = "'" + h.demo.magnet + "'";
    title("Adding a magnet link with the write gate closed is refused", "add " + magnet);
    bool writes = h.opt.allow_writes;
    h.opt.allow_writes = false;
    h.errors = stdout;
    code = cmd_add(h, h.demo.magnet);
    h.errors = stderr;
    if (code != exit_for(PLIX_E_WRITES_OFF)) return code == kExitOk ? kExitSetup : code;
    printf("(exit code %d)\n", code);
    title("Adding it with the gate open", "--allow-writes add " + magnet);
    h.opt.allow_writes = true;
    if ((code = cmd_add(h, h.demo.magnet)) != kExitOk) return code;
    h.opt.allow_writes = writes;
    title("The downloader now holds the added link", "ls downloader");
    return cmd_ls(h, "downloader");
}
