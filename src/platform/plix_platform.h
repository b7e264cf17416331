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
#include <pthread.h>
#endif

// ------------------------------------------------------------------ lock

// An exclusive lock that a namespace-scope variable with no initialiser
// makes ready (statically initialised), so no set-up call is needed. Not
// recursive.
#if defined(_WIN32)
struct plix_lock {
    SRWLOCK srw;  // zero-filled is SRWLOCK_INIT
};
#else
struct plix_lock {
    pthread_mutex_t mutex = PTHREAD_MUTEX_INITIALIZER;
};
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

// ---------------------------------------------------------- thread slots
// Per-thread values. Each user of per-thread state owns a slot: a plix_slot
// constant at namespace scope, whose address tells it apart, and whose
// release function frees a value. A thread starts with no value in any
// slot; when it exits, the platform releases the values it holds.

struct plix_slot {
    void (*release)(void *value);
};

// The calling thread's value in slot, or null when it holds none.
[[nodiscard]] void *plix_slot_get(const plix_slot *slot);
// Makes value (null allowed) the calling thread's value in slot, releasing
// the value held before. false when the thread's state cannot be allocated;
// value is then released at once.
[[nodiscard]] bool plix_slot_set(const plix_slot *slot, void *value);

// ------------------------------------------------------ per-thread record
// What the platform keeps per thread: one value per slot in use. Only the
// platform files reach it.

enum { PLIX_THREAD_SLOTS = 4 };  // more slots than the plug-in's users

struct plix_thread {
    struct {
        const plix_slot *slot;
        void *value;
    } items[PLIX_THREAD_SLOTS];
};

// The calling thread's record. With create, it is made on first use; null
// when it does not exist yet (create false) or cannot be allocated. The
// platform releases it, and the values it holds, when the thread exits.
[[nodiscard]] plix_thread *plix_thread_get(bool create);

// Releases every value a thread's record holds, then the record (null is
// ignored); the platform's thread-exit hook calls it.
inline void plix_thread_free(plix_thread *t) {
    if (!t) return;
    for (auto &item : t->items)
        if (item.slot && item.value) item.slot->release(item.value);
    free(t);
}
