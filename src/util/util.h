// Process services: allocation with a process-wide out-of-memory handler, CPU time and the size of
// physical memory.
#pragma once

#include <cstddef>
#include <cstdint>

// Called with the requested byte count when an allocation fails. The default prints a message and
// ends the process; guarded allocations of the manager swap in a handler that only reports.
using UtilOutOfMemoryFn = void (*)(size_t);

extern UtilOutOfMemoryFn util_out_of_memory;

// The default handler: flushes standard output, prints "\nTARN: out of memory allocating N bytes\n"
// to standard error and exits with status 1.
void util_default_out_of_memory(size_t size);

// malloc/realloc that call util_out_of_memory (when set) on failure and then return null.
void *util_malloc(size_t size);
void *util_realloc(void *pointer, size_t size);
// Zero-filled memory for count elements of size bytes.
void *util_calloc(size_t count, size_t size);
// Memory at a multiple of alignment (a power of two, at least sizeof(void *)); freed by util_free.
void *util_malloc_aligned(size_t alignment, size_t size);
void util_free(void *pointer);

// Memory for large, randomly accessed tables, backed by transparent huge pages where the system
// offers them: fewer TLB misses on every probe. util_map_huge returns `size` bytes (a multiple of
// UTIL_HUGE_PAGE) aligned to UTIL_HUGE_PAGE, zero-filled, or null without calling the out-of-memory
// handler; callers fall back to util_malloc. Freed only by util_unmap_huge with the same size.
constexpr size_t UTIL_HUGE_PAGE = size_t{1} << 21;
void *util_map_huge(size_t size);
void util_unmap_huge(void *pointer, size_t size);
// Grows a mapping of util_map_huge from oldSize to newSize bytes (multiples of UTIL_HUGE_PAGE),
// keeping its contents without copying them: the pages move, the added part is zero-filled. The
// result is aligned like the mapping; null when it cannot grow, and then the old mapping stands.
void *util_remap_huge(void *pointer, size_t oldSize, size_t newSize);
// Asks for huge pages on the whole huge pages inside [pointer, pointer + size); a hint only.
void util_advise_huge(void *pointer, size_t size);

template <class T>
inline T *util_alloc_array(size_t count) {
    return static_cast<T *>(util_malloc(count * sizeof(T)));
}

// User CPU time of the process in milliseconds, truncated to 32 bits; 0 when it cannot be read.
uint32_t util_cpu_time_ms();

// Total physical memory in bytes; 4294967295 when it cannot be read.
uint64_t util_physical_memory();

// Test seam: after `successes` more successful allocations, every util_malloc/util_realloc fails
// until the countdown is switched off again with a negative value.
void util_fail_allocations_after(long successes);
// Test seam: while set, util_map_huge fails (the heap still serves util_malloc).
void util_refuse_huge_maps(bool refuse);
