// Replaces the C heap functions of the process; see failing_alloc.h. The
// real work is glibc's (__libc_malloc and friends).
#include "failing_alloc.h"

#include <errno.h>
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

// Counts one allocation from site; true when it is to fail.
bool should_fail(void *site) {
    if (!t_armed) return false;
    ++s_count;
    bool seen = false;
    for (size_t i = 0; i < s_nsites && !seen; ++i) seen = s_sites[i] == site;
    if (!seen && s_nsites < kMaxSites) s_sites[s_nsites++] = site;
    bool fail = s_fail_at > 0 && (s_count == s_fail_at || (s_persistent && s_count > s_fail_at));
    if (fail) s_failed = true;
    return fail;
}

void track(void *p) {
    if (p && t_armed && s_nlive < kMaxLive) s_live[s_nlive++] = p;
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
size_t live() { return s_nlive; }
void *live_block(size_t i) { return i < s_nlive ? s_live[i] : nullptr; }

}  // namespace failing_alloc

extern "C" {

void *malloc(size_t n) noexcept {
    if (should_fail(__builtin_return_address(0))) {
        errno = ENOMEM;
        return nullptr;
    }
    void *p = __libc_malloc(n);
    track(p);
    return p;
}

void *calloc(size_t count, size_t size) noexcept {
    if (should_fail(__builtin_return_address(0))) {
        errno = ENOMEM;
        return nullptr;
    }
    void *p = __libc_calloc(count, size);
    track(p);
    return p;
}

void *realloc(void *old, size_t n) noexcept {
    if (old && n == 0) {
        untrack(old);
        return __libc_realloc(old, 0);
    }
    if (should_fail(__builtin_return_address(0))) {
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

void free(void *p) noexcept {
    untrack(p);
    __libc_free(p);
}

}  // extern "C"
