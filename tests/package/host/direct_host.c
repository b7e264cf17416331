/* Links the plug-in at build time and calls it directly. */
#include <stdio.h>

#include "plix.h"

int main(void) {
    char out[512];
    int rc;
    plix_use_fake();
    rc = plix_list("{\"APIKey\":\"package-test\"}", "", out, (int)sizeof out);
    printf("%s %s %d %s\n", plix_runtime_type(), plix_version(), rc, rc == PLIX_OK ? out : "");
    return rc == PLIX_OK ? 0 : 1;
}
