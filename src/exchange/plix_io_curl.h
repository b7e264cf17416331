// The built-in network transport, which the plug-in does not have.
#pragma once

#include "plix.h"

// Always null: hosts supply their own transport table.
const plix_io *plix_io_curl(void);
