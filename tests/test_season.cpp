// The season/episode recogniser, through its export.
#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "plix.h"

namespace {

struct row {
    const char *name;
    int season, episode;  // 0 / 0: no result
};

constexpr row kNames[] = {
    {"Show.S01E02.mkv", 1, 2},
    {"Show.s1e2", 1, 2},
    {"Show.E05.S02", 2, 5},
    {"Show S01 part E05", 1, 5},
    {"Show.S01E02E03", 1, 2},
    {"S2 Show S01E05", 2, 5},
    {"S100 S01E05", 1, 5},
    {"Show S1Ep2", 1, 2},
    {"Show Season 1 Episode 2 S03E04", 3, 4},
    {"Show 01x02 S03E04", 3, 4},
    {"Show Season 1 Episode 2", 1, 2},
    {"Show SEASON 3 EPISODE 4", 3, 4},
    {"Show season 01 episode 12 720p", 1, 12},
    {"Show.Season.1.Episode.2", 0, 0},
    {"Show Season 0 Episode 2 1x03", 1, 3},
    {"Show 1x05", 1, 5},
    {"Show 12x05", 12, 5},
    {"Show 99x99", 99, 99},
    {"Show 123x45", 23, 45},
    {"x1x2", 1, 2},
    {"Show 2X5", 0, 0},
    {"1080x720", 0, 0},
    {"Show 0x05 1x02", 0, 0},
    {"Show.S1E123", 0, 0},
    {"Show S00E05", 1, 5},
    {"Show S01E00", 0, 0},
    {"Movie 2019 ", 1, 2019},
    {"Movie 2019", 0, 0},
    {"Show 2019 E05", 1, 2019},
    {"Show 2019 S01E05", 1, 5},
    {"Anime 891 ", 1, 891},
    {"Anime 892 ", 21, 892},
    {"Anime 1199 ", 21, 1199},
    {"Anime 1200 ", 1, 1200},
    {"Show 9999 ", 1, 9999},
    {"Show 10000 ", 0, 0},
    {"Show 12345 6 ", 1, 6},
    {"Anime 0 12 ", 0, 0},
    {" 7 ", 1, 7},
    {"7 ", 0, 0},
    {"Show 12 S01EP02", 1, 12},
    {"Show E05", 1, 5},
    {"Show e05", 1, 5},
    {"Show Ep05", 1, 5},
    {"Show EP05", 0, 0},
    {"Show ep05", 0, 0},
    {"Show Season pack E05", 0, 0},
    {"Show SEASONS 12 E05", 0, 0},
    {"Show S01EP02", 1, 2},
    {"Show s01ep02", 1, 2},
    {"Show S00EP02", 0, 0},
    {"Show E1 S1", 1, 1},
    {"", 0, 0},
    {"S", 0, 0},
    {"SE", 0, 0},
    {"x", 0, 0},
    {"Show \xd3"
     "01 E05",
     1, 5},  // a byte above 0x7f is no S-letter
    {"Show S01E0", 0, 0},
};

TEST(Season, Table) {
    for (const row &r : kNames) {
        int s = -7, e = -7;
        int got = plix_parse_season_episode(r.name, &s, &e);
        if (r.season == 0) {
            EXPECT_EQ(got, 0) << r.name;
            EXPECT_EQ(s, -7) << r.name;  // untouched
            EXPECT_EQ(e, -7) << r.name;
        } else {
            EXPECT_EQ(got, 1) << r.name;
            EXPECT_EQ(s, r.season) << r.name;
            EXPECT_EQ(e, r.episode) << r.name;
        }
    }
}

TEST(Season, NullArguments) {
    int s = 0;
    EXPECT_EQ(plix_parse_season_episode(nullptr, &s, &s), 0);
    EXPECT_EQ(plix_parse_season_episode("Show.S03E04", nullptr, nullptr), 1);
    EXPECT_EQ(plix_parse_season_episode("Show.S03E04", &s, nullptr), 1);
    EXPECT_EQ(s, 3);
}

TEST(Season, ReadsNothingPastTheEnd) {
    // Every prefix of a name ending in the middle of a pattern, copied into
    // an exact-size heap block, so ASan sees any read past the NUL. In
    // every build, the answer must not change when the same prefix is
    // followed, after its NUL, by bytes that would complete a pattern.
    const std::string names[] = {"Show Season 1 Episode 2", "S01EP02", "12x05", " 2019 ", "Ep05"};
    for (const std::string &n : names) {
        for (size_t len = 0; len <= n.size(); ++len) {
            char *p = static_cast<char *>(malloc(len + 1));
            memcpy(p, n.data(), len);
            p[len] = '\0';
            int s = -1, e = -1;
            int found = plix_parse_season_episode(p, &s, &e);
            free(p);
            std::string padded = n.substr(0, len) + '\0' + "E07 Season 3 Episode 4 S05E06";
            int ps = -1, pe = -1;
            int padded_found = plix_parse_season_episode(padded.c_str(), &ps, &pe);
            EXPECT_EQ(std::make_tuple(found, s, e), std::make_tuple(padded_found, ps, pe))
                << n.substr(0, len);
        }
    }
}

}  // namespace
