// A failing allocator for the allocation-failure sweep. The test executable
// that includes failing_alloc.cpp replaces malloc, calloc, realloc and free
// for the whole process (the plug-in's objects and yyjson alike); while a
// thread has armed it, that thread's allocations are counted, the k-th
// (or, persistently, the k-th and every later one) fails, and the blocks
// they hand out are tracked until they are freed.
#pragma once

#include <stddef.h>

namespace failing_alloc {

// Starts counting on the calling thread: allocation number fail_at (1 is
// the first; 0 never) fails, and with persistent every one after it too.
void arm(long fail_at, bool persistent);
// Stops counting and failing; tracking of the blocks handed out goes on
// until each is freed.
void disarm();

long count();              // allocations asked for since arm()
bool failed();             // whether one of them was failed
long sites();              // distinct call sites among them
const void *site(long i);  // one of them, as an opaque id
size_t live();             // tracked blocks not yet freed
void *live_block(size_t i);

}  // namespace failing_alloc
