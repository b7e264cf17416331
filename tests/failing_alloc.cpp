// Replaces the C heap functions of the process; see failing_alloc.h. The
// real work is glibc's (__libc_malloc and friends).
#include "failing_alloc.h"

#include <errno.h>
#include <execinfo.h>
#include <stdint.h>
#include <stdlib.h>

extern "C" {
void *__libc_malloc(size_t);
void *__libc_calloc(size_t, size_t);
void *__libc_realloc(void *, size_t);
void __libc_free(void *);
}

namespace {

constexpr size_t kMaxLive = 1 << 16;
constexpr size_t kMaxSites = 1024;

// Only the armed thread counts; the tables are touched by that thread and
// by frees, which all happen on it while a sweep runs.
thread_local bool t_armed;
long s_count, s_fail_at;
bool s_persistent, s_failed;
void *s_live[kMaxLive];
size_t s_nlive;
void *s_sites[kMaxSites];
size_t s_nsites;

thread_local bool t_inside;  // within the unwinder, which may allocate itself

// The call site of an allocation: the chain of its five callers, hashed,
// so that every use of a shared helper (plix_strdup, the buffer's growth)
// counts as its own site.
void *site_of() {
    void *frames[7];
    t_inside = true;
    int n = backtrace(frames, 7);
    t_inside = false;
    uintptr_t h = 1469598103934665603u;
    for (int i = 2; i < n; ++i) h = (h ^ reinterpret_cast<uintptr_t>(frames[i])) * 1099511628211u;
    return reinterpret_cast<void *>(h);
}

// Counts one allocation; true when it is to fail.
bool should_fail() {
    if (!t_armed || t_inside) return false;
    void *site = site_of();
    ++s_count;
    bool seen = false;
    for (size_t i = 0; i < s_nsites && !seen; ++i) seen = s_sites[i] == site;
    if (!seen && s_nsites < kMaxSites) s_sites[s_nsites++] = site;
    bool fail = s_fail_at > 0 && (s_count == s_fail_at || (s_persistent && s_count > s_fail_at));
    if (fail) s_failed = true;
    return fail;
}

void track(void *p) {
    if (p && t_armed && !t_inside && s_nlive < kMaxLive) s_live[s_nlive++] = p;
}

void untrack(void *p) {
    if (!p) return;
    for (size_t i = s_nlive; i-- > 0;)
        if (s_live[i] == p) {
            s_live[i] = s_live[--s_nlive];
            return;
        }
}

}  // namespace

namespace failing_alloc {

void arm(long fail_at, bool persistent) {
    site_of();  // the unwinder's first use loads it, allocating; not counted
    s_count = 0;
    s_fail_at = fail_at;
    s_persistent = persistent;
    s_failed = false;
    s_nlive = 0;
    s_nsites = 0;
    t_armed = true;
}

void disarm() { t_armed = false; }
long count() { return s_count; }
bool failed() { return s_failed; }
long sites() { return static_cast<long>(s_nsites); }
const void *site(long i) { return i >= 0 && i < sites() ? s_sites[i] : nullptr; }
size_t live() { return s_nlive; }
void *live_block(size_t i) { return i < s_nlive ? s_live[i] : nullptr; }

}  // namespace failing_alloc

// The replacements must be in the executable's dynamic symbol table, or
// shared libraries (yyjson) keep calling the C library's own.
#define REPLACES __attribute__((visibility("default")))

extern "C" {

REPLACES void *malloc(size_t n) noexcept {
    if (should_fail()) {
        errno = ENOMEM;
        return nullptr;
    }
    void *p = __libc_malloc(n);
    track(p);
    return p;
}

REPLACES void *calloc(size_t count, size_t size) noexcept {
    if (should_fail()) {
        errno = ENOMEM;
        return nullptr;
    }
    void *p = __libc_calloc(count, size);
    track(p);
    return p;
}

REPLACES void *realloc(void *old, size_t n) noexcept {
    if (old && n == 0) {
        untrack(old);
        return __libc_realloc(old, 0);
    }
    if (should_fail()) {
        errno = ENOMEM;
        return nullptr;
    }
    void *p = __libc_realloc(old, n);
    if (p) {
        untrack(old);
        track(p);
    }
    return p;
}

REPLACES void free(void *p) noexcept {
    untrack(p);
    __libc_free(p);
}

}  // extern "C"
