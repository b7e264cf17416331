// Season and episode numbers in release and file names.
#pragma once

// 1 with *season and *episode written when name carries a season/episode
// pair (S01E02, 1x02, "Season 1 Episode 2", a bare number, ...), else 0
// with nothing written. Pure: no allocation, no state, linear in the name.
[[nodiscard]] int plix_season_episode(const char *name, int *season, int *episode);
