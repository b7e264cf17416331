// Hiding secrets in texts: redaction of keys and user info in URLs, and
// masking of one known key.
#pragma once

#include <stddef.h>

// Writes text into output (size bytes, always NUL-terminated when size > 0)
// with every URL's user info dropped and every apikey parameter's value
// replaced by "***". Never allocates and never fails; a cut output never
// holds a byte redaction would have dropped.
void plix_redact_into(const char *text, char *output, size_t size);

// Masks every occurrence of secret (raw, and percent-encoded when that
// differs) in text with '*' bytes, in place, and every cut-short copy: a run
// of 8 bytes or more that begins it, or of 4 or more at the end of text.
// Secrets under 4 bytes are left.
void plix_scrub(char *text, const char *secret);
