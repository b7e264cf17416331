// The mpv plug-in's playlist rules: which files play, in which order, with
// which subtitles, and the memory:// text mpv reads.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "playlist.h"
#include "plix.h"

namespace {

std::vector<entry> files(std::initializer_list<const char *> names) {
    std::vector<entry> out;
    for (const char *n : names) {
        entry e;
        e.name = n;
        e.id = n;
        out.push_back(e);
    }
    return out;
}

std::vector<std::string> names(const std::vector<const entry *> &list) {
    std::vector<std::string> out;
    for (const entry *e : list) out.push_back(e->name);
    return out;
}

TEST(Playlist, SeasonOrderThenNameMediaOnly) {
    auto listed = files({"Show.S01E10.mkv", "Show.S02E01.mkv", "Show.S01E02.mkv", "extras/b.mp4",
                         "Show.S01E01.mkv", "Show.nfo", "cover.JPG", "Show.S01E01.en.srt",
                         "extras/a.MKV", "sample.rar", "theme.flac"});
    EXPECT_EQ(names(play_order(listed, false, plix_parse_season_episode)),
              (std::vector<std::string>{"Show.S01E01.mkv", "Show.S01E02.mkv", "Show.S01E10.mkv",
                                        "Show.S02E01.mkv", "extras/a.MKV", "extras/b.mp4",
                                        "theme.flac"}));
    // Every file with all_files; folders never.
    listed.push_back(entry{"sub", "sub", "", true, -1});
    EXPECT_EQ(play_order(listed, true, plix_parse_season_episode).size(), 11u);
}

TEST(Playlist, SubtitlesStartWithTheVideosName) {
    auto listed = files({"Film.2008.mkv", "Film.2008.en.srt", "Film.2008.fr.ASS", "Film.2008.nfo",
                         "Other.srt", "Film.2008.mkv.vtt", "Film.srt"});
    EXPECT_EQ(
        names(subtitles_for(listed, listed[0])),
        (std::vector<std::string>{"Film.2008.en.srt", "Film.2008.fr.ASS", "Film.2008.mkv.vtt"}));
    auto bare = files({"README", "README.srt"});
    EXPECT_TRUE(subtitles_for(bare, bare[0]).empty());
}

TEST(Playlist, ReadyTorrents) {
    struct row {
        long long status;
        bool ready;
    } rows[] = {{100, true}, {8, true},  {12, true}, {4, false},
                {6, false},  {0, false}, {-1, false}};
    for (const row &r : rows) EXPECT_EQ(torrent_ready(r.status), r.ready) << r.status;
}

TEST(Playlist, M3uTitlesAndAddressesHoldNoLineBreaks) {
    EXPECT_EQ(m3u({{"A \"quoted\" \\ name\r\nsecond", "debridlink://seedbox/t1"},
                   {"été", "debridlink://downloader/d%0A1"}}),
              "#EXTM3U\n#EXTINF:0,A \"quoted\" \\ name  second\ndebridlink://seedbox/t1\n"
              "#EXTINF:0,été\ndebridlink://downloader/d%0A1\n");
}

TEST(Playlist, ListingAnswers) {
    std::vector<entry> out;
    ASSERT_TRUE(
        entries_of("[{\"name\":\"a\",\"id\":\"1\",\"folder\":true,\"status\":6},"
                   "{\"name\":\"b\",\"locator\":\"https://x\"}]",
                   out));
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0].status, 6);
    EXPECT_TRUE(out[0].folder);
    EXPECT_EQ(out[1].json, "{\"name\":\"b\",\"locator\":\"https://x\"}");
    EXPECT_FALSE(entries_of("{\"error\":\"x\"}", out));
}

}  // namespace
