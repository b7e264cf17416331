// The season recogniser: results lie in the ranges its stages produce.
#include "fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::string name = fuzz_text(data, size);
    int season = -100, episode = -100;
    int found = plix_parse_season_episode(name.c_str(), &season, &episode);
    FUZZ_CHECK(found == 0 || found == 1, "answer %d", found);
    if (!found) {
        FUZZ_CHECK(season == -100 && episode == -100, "written without a result");
        return 0;
    }
    // Marker, word, cross and compact stages: 1-99 each. The bare number:
    // season 1 (or 21 for 892-1199) with episode 1-9999.
    bool marked = season >= 1 && season <= 99 && episode >= 1 && episode <= 99;
    bool bare = episode >= 1 && episode <= 9999 &&
                (season == 1 || (season == 21 && episode >= 892 && episode <= 1199));
    FUZZ_CHECK(marked || bare, "%d %d for %s", season, episode, name.c_str());
    FUZZ_CHECK(plix_parse_season_episode(name.c_str(), nullptr, nullptr) == 1, "null outputs");
    return 0;
}
