// The exports of the plug-in a host is linked with (the mpv plug-in,
// plixd); plixctl, which loads the library at run time, never links this.
#include "host_plix.h"

plix_api plix_api_linked() {
    plix_api api;
#define PLIX_EXPORT(name, member) api.member = &name;
#include "plix_export_list.h"
#undef PLIX_EXPORT
    return api;
}
