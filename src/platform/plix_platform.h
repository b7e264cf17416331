// The three platform services the plug-in relies on: the export annotation
// (PLIX_API, from plix.h), an exclusive lock that works from static
// zero-initialisation, and per-thread state that starts empty on every
// thread and is released when the thread exits.
#pragma once

#include <stdint.h>
#include <stdlib.h>

#include "plix.h"

#if defined(_WIN32)
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <atomic>
#endif

// ------------------------------------------------------------------ lock

// An exclusive lock. A zero-filled object (a namespace-scope variable with
// no initialiser) is an unlocked lock, so no set-up call is needed. Not
// recursive.
#if defined(_WIN32)
struct plix_lock {
    SRWLOCK srw;
};
#else
struct plix_lock {
    std::atomic<int> state;  // 0 free, 1 held, 2 held with waiters
};
static_assert(sizeof(std::atomic<int>) == sizeof(int), "lock is one word");
#endif

void plix_lock_acquire(plix_lock *lock);
void plix_lock_release(plix_lock *lock);

// Holds a lock for one scope.
class plix_lock_guard {
  public:
    explicit plix_lock_guard(plix_lock *lock) : lock_(lock) { plix_lock_acquire(lock_); }
    ~plix_lock_guard() { plix_lock_release(lock_); }
    plix_lock_guard(const plix_lock_guard &) = delete;
    plix_lock_guard &operator=(const plix_lock_guard &) = delete;

  private:
    plix_lock *lock_;
};

// ---------------------------------------------------------- thread state

enum { PLIX_REDACT_SIZE = 2048 };

// Everything the plug-in keeps per thread. Heap strings are owned; null
// reads as the empty text.
struct plix_thread {
    char *result;                   // last success answer
    char *error;                    // last failure message
    char *fake_ret;                 // last text handed out by the fake's getters
    char redact[PLIX_REDACT_SIZE];  // plix_redact's output
};

// The calling thread's state. With create, it is made on first use; null
// when it does not exist yet (create false) or cannot be allocated. The
// platform releases it, and the strings it holds, when the thread exits.
plix_thread *plix_thread_get(bool create);

// Frees a thread's state and every string it holds (null is ignored); the
// platform's thread-exit hook calls it.
inline void plix_thread_free(plix_thread *t) {
    if (!t) return;
    free(t->result);
    free(t->error);
    free(t->fake_ret);
    free(t);
}
