#include "library_path.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <unistd.h>
#endif

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
std::string program_path() {
    std::vector<char> buf(32768);
    DWORD n = GetModuleFileNameA(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
    return std::string(buf.data(), n);
}
constexpr char kSeparators[] = "\\/";
bool exists(const std::string &path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}
#else
std::string program_path() {
    std::vector<char> buf(4096);
    ssize_t n = readlink("/proc/self/exe", buf.data(), buf.size() - 1);
    return n > 0 ? std::string(buf.data(), static_cast<size_t>(n)) : std::string();
}
constexpr char kSeparators[] = "/";
bool exists(const std::string &path) { return access(path.c_str(), F_OK) == 0; }
#endif

}  // namespace

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
