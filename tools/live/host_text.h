// Texts the project's hosts (plixctl, the mpv plug-in) share: JSON strings
// for the settings they send, percent-encoding of URL parts, and torrent
// status words.
#pragma once

#include <string>

// text as a JSON string, quoted and escaped.
std::string json_string(const std::string &text);

// Percent-encoding: A-Z a-z 0-9 - . _ ~ kept, every other byte as "%" and
// two upper-case hex digits, as the plug-in encodes.
std::string percent_encode(const std::string &text);
// Its reverse; a "%" without two hex digits stays as it is.
std::string percent_decode(const std::string &text);

// A torrent's status as words: 0 paused, 100 finished, else the flags
// 1 queued, 2 checking, 4 downloading, 8 seeding joined with "+" (such as
// "checking+downloading" for 6); other values as their number; "-" when
// negative (no status).
std::string status_words(long long status);
