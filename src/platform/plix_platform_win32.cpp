// Windows side of the platform layer: slim reader/writer locks, and
// per-thread state in a fiber-local storage slot whose callback releases the
// state when its thread exits.
#if defined(_WIN32)

#include <stdlib.h>

#include "platform/plix_platform.h"

// ------------------------------------------------------------------ lock
// A zero-filled SRWLOCK is SRWLOCK_INIT, so static locks need no set-up.

void plix_lock_acquire(plix_lock *lock) { AcquireSRWLockExclusive(&lock->srw); }

void plix_lock_release(plix_lock *lock) { ReleaseSRWLockExclusive(&lock->srw); }

// ---------------------------------------------------------- thread state
// The slot is allocated on first use. Its callback runs when a thread that
// holds state exits, and for every thread still holding state when the slot
// is freed. The slot is freed when the library is unloaded (while its code is
// still mapped), so no callback into an unloaded library can run later; the
// states of threads still alive then are released at that moment.
//
// The state is not kept in a C++ thread_local: with this toolchain that is
// emulated, and the emulation aborts when it cannot allocate.

namespace {

INIT_ONCE s_once = INIT_ONCE_STATIC_INIT;
DWORD s_slot = FLS_OUT_OF_INDEXES;

void WINAPI thread_release(void *p) { plix_thread_free(static_cast<plix_thread *>(p)); }

BOOL CALLBACK slot_create(INIT_ONCE *, void *, void **) {
    s_slot = FlsAlloc(thread_release);
    return TRUE;
}

}  // namespace

plix_thread *plix_thread_get(bool create) {
    InitOnceExecuteOnce(&s_once, slot_create, nullptr, nullptr);
    // Without a slot there is no per-thread state at all.
    if (s_slot == FLS_OUT_OF_INDEXES) return nullptr;
    auto *t = static_cast<plix_thread *>(FlsGetValue(s_slot));
    if (t || !create) return t;
    t = static_cast<plix_thread *>(calloc(1, sizeof(plix_thread)));
    if (!t) return nullptr;
    if (!FlsSetValue(s_slot, t)) {
        free(t);
        return nullptr;
    }
    return t;
}

// Called by the C runtime's DLL entry point; unused when the objects are
// linked into a program. At process exit (reserved non-null) nothing is
// released: the process is going away and other threads are already gone.
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
    if (reason == DLL_PROCESS_DETACH && !reserved && s_slot != FLS_OUT_OF_INDEXES) {
        FlsFree(s_slot);
        s_slot = FLS_OUT_OF_INDEXES;
    }
    return TRUE;
}

#endif  // _WIN32
