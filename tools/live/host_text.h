// Texts the project's hosts (plixctl, the mpv plug-in) share: JSON strings
// for the settings they send, percent-encoding of URL parts, torrent status
// words, and the files a user names (a key file).
#pragma once

#include <string>

// text as a JSON string, quoted and escaped.
std::string json_string(const std::string &text);

// Percent-encoding: A-Z a-z 0-9 - . _ ~ kept, every other byte as "%" and
// two upper-case hex digits, as the plug-in encodes.
std::string percent_encode(const std::string &text);
// Its reverse; a "%" without two hex digits stays as it is.
std::string percent_decode(const std::string &text);
// The value of a hex digit (either case), or -1.
int hex_value(char c);

// A torrent's status as words: 0 paused, 100 finished, else the flags
// 1 queued, 2 checking, 4 downloading, 8 seeding joined with "+" (such as
// "checking+downloading" for 6); other values as their number; "-" when
// negative (no status).
std::string status_words(long long status);

// text without leading and trailing blanks (space, tab, CR, LF).
std::string trim(const std::string &text);

// Reads a whole regular file. false with error ("cannot read PATH: why",
// one line) for a directory, a missing or unreadable file.
bool read_file(const std::string &path, std::string &out, std::string &error);

// The API key a key file holds: its text without surrounding blanks, which
// must be one non-empty line. false with error (one line, never the key)
// otherwise.
bool read_key_file(const std::string &path, std::string &key, std::string &error);
