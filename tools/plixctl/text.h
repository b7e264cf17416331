// Terminal text for plixctl's tables and trees: sizes, torrent status
// words, display widths, and names made safe to print.
#pragma once

#include <string>

#include "host_text.h"  // json_string, status_words, trim

// A byte count as "1.4 GiB" ("-" when negative).
std::string human_size(long long bytes);

// The columns text takes on a terminal: one per character, two for the
// wide characters of East Asian scripts and emoji, none for combining
// marks. Bytes that are not UTF-8 count one each.
size_t display_width(const std::string &text);

// text padded with spaces to width display columns.
std::string pad(const std::string &text, size_t width);

// text with every control character escaped as ls does on a terminal
// (\n, \t, \r, \e, \\ and \xHH for the rest, C1 controls included), so a
// name from the service or a torrent cannot move the cursor, colour the
// terminal or break a table's line.
std::string shown(const std::string &text);
