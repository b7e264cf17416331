// Heap accounting for the benchmark binary, in two measures: bytes
// allocated, and memory made resident.
//
// Allocated bytes: malloc, calloc, realloc and
// free are interposed (the shared library and yyjson resolve them here), so
// while a measurement is open every block's usable size is added to or
// taken from the live total, and the highest total is kept.
#pragma once

#include <stddef.h>
#include <stdint.h>

struct heap_peak {
    int64_t peak;    // highest live total above the level at the start
    int64_t allocs;  // allocations (malloc, calloc, realloc) while counting
};

// Resident memory: the process's peak above its resident size at the start
// (the kernel's high-water mark, reset at the start; free heap pages are
// handed back first, so the figure is what the call touched).
void resident_start();
int64_t resident_stop();

// Starts counting; live and peak start from the current level.
void heap_count_start();
// Stops counting and answers what was seen since the start.
heap_peak heap_count_stop();
