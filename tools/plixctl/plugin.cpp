// Loading the plug-in: dlopen on POSIX, LoadLibraryA on Windows. The
// library stays loaded until the process ends.
#include "plugin.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#include <unistd.h>
#endif

#include <type_traits>
#include <vector>

// The library's file name and the installed tree's library folder relative
// to its program folder; the build passes both.
#ifndef PLIXCTL_LIBRARY_NAME
#if defined(_WIN32)
#define PLIXCTL_LIBRARY_NAME "plix.dll"
#else
#define PLIXCTL_LIBRARY_NAME "libplix.so.1"
#endif
#endif
#ifndef PLIXCTL_LIBDIR_FROM_BINDIR
#define PLIXCTL_LIBDIR_FROM_BINDIR "../lib"
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
std::string program_path() {
    std::vector<char> buf(32768);
    DWORD n = GetModuleFileNameA(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
    return std::string(buf.data(), n);
}
constexpr char kSeparators[] = "\\/";
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
std::string program_path() {
    std::vector<char> buf(4096);
    ssize_t n = readlink("/proc/self/exe", buf.data(), buf.size() - 1);
    return n > 0 ? std::string(buf.data(), static_cast<size_t>(n)) : std::string();
}
constexpr char kSeparators[] = "/";
#endif

bool exists(const std::string &path) {
#if defined(_WIN32)
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
#else
    return access(path.c_str(), F_OK) == 0;
#endif
}

}  // namespace

bool plugin::load(const std::string &path, std::string &error) {
    handle h = open_library(path, error);
    if (!h) return false;
    bool complete = true;
    auto bind = [&](auto &slot, const char *name) {
        slot = reinterpret_cast<std::remove_reference_t<decltype(slot)>>(symbol(h, name));
        if (!slot) complete = false;
    };
#define PLIX_EXPORT(name, member) bind(member, #name);
#include "plix_export_list.h"
#undef PLIX_EXPORT
    if (!complete) error = path + " is not the plix plug-in (exports missing)";
    return complete;
}

std::string default_library_path() {
    std::string self = program_path();
    size_t cut = self.find_last_of(kSeparators);
    std::string dir = cut == std::string::npos ? "." : self.substr(0, cut);
    std::string beside = dir + "/" + PLIXCTL_LIBRARY_NAME;
    if (exists(beside)) return beside;
    std::string installed = dir + "/" + PLIXCTL_LIBDIR_FROM_BINDIR + "/" + PLIXCTL_LIBRARY_NAME;
    if (exists(installed)) return installed;
    return beside;
}
