// Helpers the record readers share (internal to wire/).
#pragma once

#include "wire/plix_wire.h"

// Releases a record's texts and resets it (size -1).
void plix_link_free(plix_link *rec);

// Fills the (empty) list with one record per element of array: "name" (or,
// with name_from_id, "id" when there is no name string), "downloadUrl",
// "size", "id"; a non-object gives an empty record. too_many is the message
// for more than PLIX_LINKS_MAX elements. 0, or -5 with the list empty.
[[nodiscard]] int plix_links_fill(yyjson_val *array, bool name_from_id, plix_links *list,
                                  const char *too_many, char *message, size_t capacity);

// value itself when it is an array, or its own "value" member when that is
// an array; otherwise null.
yyjson_val *plix_value_array(yyjson_val *value);
