// The baseline of each case: the work no implementation can avoid, done with
// yyjson alone. It reads the same response body and the same host texts
// with the strict reader (no flags, default allocator), picks the same
// members, and writes an answer of the same content with yyjson's writer
// (no flags), which for these inputs escapes exactly as the plug-in does.
// It makes no request, keeps no result channel and copies into no caller's
// buffer. Each answer is a heap text (free it), or null on failure.
#pragma once

#include <stddef.h>

namespace baseline {

struct text {
    const char *bytes;
    size_t length;
};

// A downloader listing (rows named by "id" when they have no name) or, with
// torrent set, the file listing of the first torrent of a seedbox answer.
char *file_listing(text body, text settings, bool torrent);
// The seedbox folder: one folder item per torrent.
char *seedbox(text body, text settings);
// The validation answer from account/infos.
char *validate(text body, text settings);
// The stream answer of a listing entry.
char *stream(text entry, text settings);
// The add answer of downloader/add for a download request {"Link":...}.
char *download(text body, text request, text settings);

// The floors of a case: the least any implementation does with its texts
// (the response body, and the host's texts for the small cases).
// B1 reads every text with yyjson's strict reader and releases the
// documents; B2 does the same, then writes each whole parsed document with
// yyjson's compact writer and releases the texts. Both answer a number that
// depends on the work, so that none of it can be left out.
size_t floor_read(const text *texts, size_t count);
size_t floor_read_write(const text *texts, size_t count);

// One pass over the name that finds the common SxxEyy spelling only: the
// least a recogniser reads.
int season_episode(const char *name, int *season, int *episode);
// Copies text into output (size bytes, cut and NUL-terminated): the least a
// redactor writes.
void copy_text(const char *text, char *output, size_t size);

}  // namespace baseline
