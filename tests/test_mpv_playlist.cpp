// The mpv plug-in's playlist rules: which files play, in which order, with
// which subtitles, and the memory:// text mpv reads.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "playlist.h"
#include "plix.h"

namespace {

std::vector<listing_item> files(std::initializer_list<const char *> names) {
    std::vector<listing_item> out;
    for (const char *n : names) {
        listing_item e;
        e.name = n;
        e.id = n;
        out.push_back(e);
    }
    return out;
}

std::vector<std::string> names(const std::vector<const listing_item *> &list) {
    std::vector<std::string> out;
    for (const listing_item *e : list) out.push_back(e->name);
    return out;
}

const listing_item &named(const std::vector<listing_item> &list, const std::string &name) {
    for (const listing_item &e : list)
        if (e.name == name) return e;
    ADD_FAILURE() << "no " << name;
    return list.front();
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
    listing_item folder;
    folder.name = "sub";
    folder.folder = true;
    listed.push_back(folder);
    EXPECT_EQ(play_order(listed, true, plix_parse_season_episode).size(), 11u);
}

// Which subtitles each video of a folder takes, with their language and
// title: "name|lang|title" per subtitle.
TEST(Playlist, SubtitlesBelongToTheirVideo) {
    auto listed = files({"Show - 1.mkv",
                         "Show - 10.mkv",
                         "Show - 1.srt",
                         "Show - 1.en.srt",
                         "Show - 10.srt",
                         "Subs/show - 1.FR.ass",
                         "Subs/Show - 1/2_English.srt",
                         "Subs/Show - 1/Portuguese.forced.srt",
                         "Show - 1.pt-BR.srt",
                         "Show - 1.eng.SDH.srt",
                         "Show - 1_de.vtt",
                         "Show - 1.nfo",
                         "Movie.mkv",
                         "Movie.Extended.mkv",
                         "Movie.Extended.en.srt",
                         "Movie.en.forced.srt",
                         "Movie.Commentary.srt",
                         "Movie.srt.txt",
                         "Other.srt",
                         "README",
                         "README.srt"});
    struct row {
        const char *video;
        std::vector<std::string> subs;
    } rows[] = {
        {"Show - 1.mkv",
         {"Show - 1.srt||Show - 1.srt", "Show - 1.en.srt|en|English",
          "Subs/show - 1.FR.ass|fr|French", "Subs/Show - 1/2_English.srt|en|English",
          "Subs/Show - 1/Portuguese.forced.srt|pt|Portuguese (forced)",
          "Show - 1.pt-BR.srt|pt-BR|Portuguese (BR)", "Show - 1.eng.SDH.srt|en|English (SDH)",
          "Show - 1_de.vtt|de|German"}},
        {"Show - 10.mkv", {"Show - 10.srt||Show - 10.srt"}},
        {"Movie.mkv",
         {"Movie.en.forced.srt|en|English (forced)", "Movie.Commentary.srt||Movie.Commentary.srt"}},
        {"Movie.Extended.mkv", {"Movie.Extended.en.srt|en|English"}},
        {"README", {}},
    };
    for (const row &r : rows) {
        std::vector<std::string> got;
        for (const subtitle &s : subtitles_for(listed, named(listed, r.video)))
            got.push_back(s.file->name + "|" + s.lang + "|" + s.title);
        EXPECT_EQ(got, r.subs) << r.video;
    }
}

TEST(Playlist, SubtitleWords) {
    struct row {
        const char *words, *lang, *title;
    } rows[] = {
        {".en", "en", "English"},
        {".eng", "en", "English"},
        {".fre", "fr", "French"},
        {".fra", "fr", "French"},
        {" - Spanish", "es", "Spanish"},
        {".pt-br", "pt-BR", "Portuguese (BR)"},
        {".zh-Hant", "zh-HANT", "Chinese (HANT)"},
        {".forced", "", "(forced)"},
        {".hi", "", "(SDH)"},
        {".en.hi.forced", "en", "English (SDH) (forced)"},
        {"", "", ""},
        {".Extended", "", ""},
        {".1080p", "", ""},
        {".x-yz", "", ""},
    };
    for (const row &r : rows) {
        std::string lang, title;
        subtitle_words(r.words, lang, title);
        EXPECT_EQ(lang, r.lang) << r.words;
        EXPECT_EQ(title, r.title) << r.words;
    }
}

TEST(Playlist, PreferredSubtitleFollowsSlang) {
    auto listed = files({"a.srt", "b.srt", "c.srt"});
    std::vector<subtitle> subs = {
        {&listed[0], "", "a"}, {&listed[1], "fr", "French"}, {&listed[2], "pt-BR", "Portuguese"}};
    EXPECT_EQ(preferred_subtitle(subs, {}), 0);
    EXPECT_EQ(preferred_subtitle(subs, {"fr"}), 1);
    EXPECT_EQ(preferred_subtitle(subs, {"fre"}), 1);
    EXPECT_EQ(preferred_subtitle(subs, {"de", "pt"}), 2);
    EXPECT_EQ(preferred_subtitle(subs, {"pt-BR", "fr"}), 2);
    EXPECT_EQ(preferred_subtitle(subs, {"pt-PT"}), 0);
    EXPECT_EQ(preferred_subtitle(subs, {"ja"}), 0);
    EXPECT_EQ(preferred_subtitle({}, {"fr"}), -1);
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
    std::vector<listing_item> out;
    ASSERT_TRUE(
        read_items("[{\"name\":\"a\",\"id\":\"1\",\"folder\":true,\"status\":6},"
                   "{\"name\":\"b\",\"locator\":\"https://x\"}]",
                   out));
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0].status, 6);
    EXPECT_TRUE(out[0].folder);
    EXPECT_EQ(out[1].json, "{\"name\":\"b\",\"locator\":\"https://x\"}");
    EXPECT_EQ(items_json(out), "[" + out[0].json + "," + out[1].json + "]");
    EXPECT_FALSE(read_items("{\"error\":\"x\"}", out));
}

}  // namespace
