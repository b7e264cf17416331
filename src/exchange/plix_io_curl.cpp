// The built-in network transport. The plug-in holds no HTTP client: hosts
// supply their own transport table, so there is none to offer.
#include "exchange/plix_io_curl.h"

const plix_io *plix_io_curl(void) { return nullptr; }
