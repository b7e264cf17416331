// Helpers the record readers share (internal to wire/).
#pragma once

#include "wire/plix_wire.h"

// Releases a record's texts and resets it (size -1).
void plix_link_free(plix_link *rec);

// Reads one file object into rec: "name" (or, with name_from_id, "id" when
// there is no name string), "downloadUrl", "size", "id". A non-object gives
// an empty record. false when a copy could not be made (rec then empty).
[[nodiscard]] bool plix_link_read(yyjson_val *obj, bool name_from_id, plix_link *rec);

// Appends one record per element of array; too_many is the message for more
// than PLIX_LINKS_MAX elements. 0, or -5 with the list emptied.
[[nodiscard]] int plix_links_fill(yyjson_val *array, bool name_from_id, plix_links *list,
                                  const char *too_many, char *message, size_t capacity);

// value itself when it is an array, or its own "value" member when that is
// an array; otherwise null.
yyjson_val *plix_value_array(yyjson_val *value);
