// Loads the plug-in by path at run time and looks up its exports, the way
// a host does: dlopen on POSIX, LoadLibraryA on Windows.
#pragma once

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include "plix.h"
#include "plix_fake.h"

struct plix_loader {
#if defined(_WIN32)
    HMODULE lib = nullptr;
    bool open(const char *path) { return (lib = LoadLibraryA(path)) != nullptr; }
    void *sym(const char *name) const {
        return reinterpret_cast<void *>(GetProcAddress(lib, name));
    }
    void close() {
        if (lib) FreeLibrary(lib);
        lib = nullptr;
    }
    // Whether the library at path is mapped in the process.
    static bool loaded(const char *path) { return GetModuleHandleA(path) != nullptr; }
#else
    void *lib = nullptr;
    bool open(const char *path) { return (lib = dlopen(path, RTLD_NOW | RTLD_LOCAL)) != nullptr; }
    void *sym(const char *name) const { return dlsym(lib, name); }
    void close() {
        if (lib) dlclose(lib);
        lib = nullptr;
    }
    static bool loaded(const char *path) {
        void *h = dlopen(path, RTLD_NOW | RTLD_NOLOAD);
        if (h) dlclose(h);
        return h != nullptr;
    }
#endif
    // The export name as a typed function pointer.
    template <typename F>
    F fn(const char *name) const {
        return reinterpret_cast<F>(sym(name));
    }
};

// Every export of the list, bound from a loaded library.
struct plix_api {
#define PLIX_EXPORT(name, member) decltype(&name) member = nullptr;
#include "plix_export_list.h"
#undef PLIX_EXPORT

    // Binds every export; false when one is missing.
    bool bind(const plix_loader &lib) {
        bool all = true;
#define PLIX_EXPORT(name, member)             \
    member = lib.fn<decltype(member)>(#name); \
    all = all && member != nullptr;
#include "plix_export_list.h"
#undef PLIX_EXPORT
        return all;
    }

    // Every bound pointer, for a check that none is missing.
    template <typename F>
    void each(F &&visit) const {
#define PLIX_EXPORT(name, member) visit(#name, reinterpret_cast<const void *>(member));
#include "plix_export_list.h"
#undef PLIX_EXPORT
    }
};
