// POSIX side of the platform layer: a statically initialised mutex, and
// per-thread state with a thread-exit destructor.
#if !defined(_WIN32)

#include <pthread.h>
#include <stdlib.h>

#include <atomic>

#include "platform/plix_platform.h"

// ------------------------------------------------------------------ lock

void plix_lock_acquire(plix_lock *lock) { pthread_mutex_lock(&lock->mutex); }

void plix_lock_release(plix_lock *lock) { pthread_mutex_unlock(&lock->mutex); }

// ---------------------------------------------------------- thread state
// The pointer lives in a trivial thread_local; a pthread key carries the
// same pointer only so that its destructor runs when the thread exits. When
// the library is unloaded the key is deleted first, so no destructor of an
// unloaded library can run later (threads still alive then keep their few
// bytes).

namespace {

thread_local plix_thread *t_thread;
pthread_key_t s_key;
pthread_once_t s_key_once = PTHREAD_ONCE_INIT;
std::atomic<bool> s_key_ok{false};

void thread_release(void *p) {
    plix_thread_free(static_cast<plix_thread *>(p));
    t_thread = nullptr;
}

void key_create() {
    if (pthread_key_create(&s_key, thread_release) == 0)
        s_key_ok.store(true, std::memory_order_release);
}

__attribute__((destructor)) void key_delete() {
    if (s_key_ok.exchange(false)) pthread_key_delete(s_key);
}

}  // namespace

plix_thread *plix_thread_get(bool create) {
    if (t_thread || !create) return t_thread;
    pthread_once(&s_key_once, key_create);
    auto *t = static_cast<plix_thread *>(calloc(1, sizeof(plix_thread)));
    if (!t) return nullptr;
    // Without a key the state still works; it is then not released at exit.
    if (s_key_ok.load(std::memory_order_acquire) && pthread_setspecific(s_key, t) != 0) {
        free(t);
        return nullptr;
    }
    t_thread = t;
    return t;
}

#endif  // !_WIN32
