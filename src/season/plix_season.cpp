// The recogniser is a cascade of six stages; the first stage that produces
// a usable pair decides. Every test is on single ASCII bytes, and every
// look-ahead stops at the terminating NUL, which is neither digit nor
// letter.
#include "season/plix_season.h"

#include "plix.h"

namespace {

using cstr = const char *;

constexpr bool digit(char c) { return c >= '0' && c <= '9'; }
constexpr bool s_letter(char c) { return c == 'S' || c == 's'; }
constexpr bool e_letter(char c) { return c == 'E' || c == 'e'; }
constexpr char fold(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

// A number of one or two digits at p, not followed by a further digit.
bool short_num(cstr p, int *v) {
    if (!digit(p[0])) return false;
    if (!digit(p[1])) {
        *v = p[0] - '0';
        return true;
    }
    if (digit(p[2])) return false;
    *v = (p[0] - '0') * 10 + (p[1] - '0');
    return true;
}

// word (lower case) at p, letters compared without regard to case.
bool word_at(cstr p, cstr word) {
    for (; *word; ++p, ++word)
        if (fold(*p) != *word) return false;  // the NUL never matches a letter
    return true;
}

bool episode_marker(cstr s, int *ep) {
    for (cstr p = s; *p; ++p)
        if (e_letter(*p) && short_num(p + 1, ep)) return true;
    for (cstr p = s; *p; ++p)
        if (p[0] == 'E' && p[1] == 'p' && short_num(p + 2, ep)) return true;
    return false;
}

bool season_marker(cstr s, int *season) {
    for (cstr p = s; *p; ++p)
        if (s_letter(*p) && short_num(p + 1, season)) return true;
    return false;
}

bool season_word(cstr s) {
    for (cstr p = s; *p; ++p)
        if (word_at(p, "season")) return true;
    return false;
}

// Each stage answers 1 (result), 0 (hand over to the next stage).
int stage_markers(cstr s, int *season, int *ep) {
    int e, n;
    if (!episode_marker(s, &e) || !season_marker(s, &n)) return 0;
    if (n > 0 && e > 0) {
        *season = n, *ep = e;
        return 1;
    }
    return 0;
}

// "Season N Episode M" with single spaces.
int stage_words(cstr s, int *season, int *ep) {
    for (cstr p = s; *p; ++p) {
        if (!s_letter(p[0]) || !word_at(p + 1, "eason ")) continue;
        int n, e;
        if (!short_num(p + 7, &n)) continue;
        cstr q = p + 7 + (digit(p[8]) ? 2 : 1);
        if (!word_at(q, " episode ") || !short_num(q + 9, &e)) continue;
        if (n != 0 && e > 0) {
            *season = n, *ep = e;
            return 1;
        }
        return 0;
    }
    return 0;
}

// "NxM" and "NNxM", small x only.
int stage_cross(cstr s, int *season, int *ep) {
    for (cstr p = s; *p; ++p) {
        if (!digit(p[0])) continue;
        int n;
        cstr x;
        if (p[1] == 'x') {
            n = p[0] - '0', x = p + 1;
        } else if (digit(p[1]) && p[2] == 'x') {
            n = (p[0] - '0') * 10 + (p[1] - '0'), x = p + 2;
        } else {
            continue;
        }
        int e;
        if (!short_num(x + 1, &e)) continue;
        if (n > 0 && e > 0) {
            *season = n, *ep = e;
            return 1;
        }
        return 0;
    }
    return 0;
}

// A bare number of 1 to 4 digits between spaces. 892 to 1199 are episodes
// of the long-running season 21 convention.
int stage_bare(cstr s, int *season, int *ep) {
    for (cstr p = s; *p; ++p) {
        if (*p != ' ') continue;
        int len = 0, v = 0;
        while (digit(p[1 + len])) {
            if (len < 4) v = v * 10 + (p[1 + len] - '0');
            ++len;
        }
        if (len < 1 || len > 4 || p[1 + len] != ' ') {
            p += len;  // go on after the run
            continue;
        }
        if (v == 0) return 0;
        *season = (v >= 892 && v <= 1199) ? 21 : 1;
        *ep = v;
        return 1;
    }
    return 0;
}

int stage_episode_only(cstr s, int *season, int *ep) {
    int e;
    if (episode_marker(s, &e) && e > 0) {
        *season = 1, *ep = e;
        return 1;
    }
    return 0;
}

// "SNNepMM", the parts directly after one another.
int stage_compact(cstr s, int *season, int *ep) {
    for (cstr p = s; *p; ++p) {
        int n, e;
        if (!s_letter(p[0]) || !short_num(p + 1, &n)) continue;
        cstr q = p + 1 + (digit(p[2]) ? 2 : 1);
        if (fold(q[0]) != 'e' || fold(q[1]) != 'p' || !short_num(q + 2, &e)) continue;
        if (n > 0 && e > 0) {
            *season = n, *ep = e;
            return 1;
        }
        return 0;
    }
    return 0;
}

}  // namespace

int plix_season_episode(const char *name, int *season, int *episode) {
    if (!name || !name[0]) return 0;
    if (stage_markers(name, season, episode) || stage_words(name, season, episode) ||
        stage_cross(name, season, episode))
        return 1;
    if (!season_word(name) &&
        (stage_bare(name, season, episode) || stage_episode_only(name, season, episode)))
        return 1;
    return stage_compact(name, season, episode);
}
