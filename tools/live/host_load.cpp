// Loading the plug-in at run time: dlopen on POSIX, LoadLibraryA on
// Windows. The library stays loaded until the process ends.
#include <type_traits>

#include "host_plix.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace {

#if defined(_WIN32)
using handle = HMODULE;
handle open_library(const std::string &path, std::string &error) {
    handle h = LoadLibraryA(path.c_str());
    if (!h) error = "cannot load " + path + " (error " + std::to_string(GetLastError()) + ")";
    return h;
}
void *symbol(handle h, const char *name) {
    return reinterpret_cast<void *>(GetProcAddress(h, name));
}
#else
using handle = void *;
handle open_library(const std::string &path, std::string &error) {
    handle h = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!h) {
        const char *why = dlerror();
        error = why ? why : "cannot load " + path;
    }
    return h;
}
void *symbol(handle h, const char *name) { return dlsym(h, name); }
#endif

}  // namespace

bool plix_api_load(plix_api &api, const std::string &path, std::string &error) {
    handle h = open_library(path, error);
    if (!h) return false;
    bool complete = true;
    auto bind = [&](auto &slot, const char *name) {
        slot = reinterpret_cast<std::remove_reference_t<decltype(slot)>>(symbol(h, name));
        if (!slot) complete = false;
    };
#define PLIX_EXPORT(name, member) bind(api.member, #name);
#include "plix_export_list.h"
#undef PLIX_EXPORT
    if (!complete) error = path + " is not the plix plug-in (exports missing)";
    return complete;
}
