// Helpers the record readers share (internal to wire/).
#pragma once

#include "wire/plix_wire.h"

// Fills the (empty) list with one record per element of array: "name" (or,
// with name_from_id, "id" when there is no name string), "downloadUrl",
// "size", "id"; a non-object gives an empty record. too_many is the message
// for more than PLIX_LINKS_MAX elements. 0, or -5 (PLIX_E_NOMEM when memory
// runs out) with the list empty.
[[nodiscard]] int plix_links_fill(yyjson_val *array, bool name_from_id, plix_links *list,
                                  const char *too_many, char *message, size_t capacity);

// value itself when it is an array, or its own "value" member when that is
// an array; otherwise null.
yyjson_val *plix_value_array(yyjson_val *value);
