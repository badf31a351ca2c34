#include "util.h"

#include <sys/mman.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

UtilOutOfMemoryFn util_out_of_memory = util_default_out_of_memory;

namespace {
long failureCountdown = -1;
bool hugeMapsRefused = false;

bool allocationRefused() {
    if (failureCountdown < 0) return false;
    if (failureCountdown == 0) return true;
    --failureCountdown;
    return false;
}
}  // namespace

void util_default_out_of_memory(size_t size) {
    fflush(stdout);
    fprintf(stderr, "\nTARN: out of memory allocating %zu bytes\n", size);
    exit(1);
}

void *util_malloc(size_t size) {
    void *p = allocationRefused() ? nullptr : malloc(size);
    if (p == nullptr && util_out_of_memory != nullptr) util_out_of_memory(size);
    return p;
}

void *util_realloc(void *pointer, size_t size) {
    void *p = allocationRefused() ? nullptr : realloc(pointer, size);
    if (p == nullptr && util_out_of_memory != nullptr) util_out_of_memory(size);
    return p;
}

void *util_calloc(size_t count, size_t size) {
    void *p = allocationRefused() ? nullptr : calloc(count, size);
    if (p == nullptr && util_out_of_memory != nullptr) util_out_of_memory(count * size);
    return p;
}

void *util_malloc_aligned(size_t alignment, size_t size) {
    void *p = nullptr;
    if (allocationRefused() || posix_memalign(&p, alignment, size) != 0) p = nullptr;
    if (p == nullptr && util_out_of_memory != nullptr) util_out_of_memory(size);
    return p;
}

void util_free(void *pointer) { free(pointer); }

namespace {

// `size` bytes of fresh address space at a multiple of UTIL_HUGE_PAGE, with the given protection:
// one huge page more is mapped and both ends are trimmed to the alignment.
void *mapAligned(size_t size, int protection, int flags) {
    const size_t mapped = size + UTIL_HUGE_PAGE;
    void *p = mmap(nullptr, mapped, protection, MAP_PRIVATE | MAP_ANONYMOUS | flags, -1, 0);
    if (p == MAP_FAILED) return nullptr;
    const uintptr_t start = reinterpret_cast<uintptr_t>(p);
    const uintptr_t aligned = (start + UTIL_HUGE_PAGE - 1) & ~(UTIL_HUGE_PAGE - 1);
    if (aligned > start) munmap(p, aligned - start);
    const size_t tail = start + mapped - (aligned + size);
    if (tail > 0) munmap(reinterpret_cast<void *>(aligned + size), tail);
    return reinterpret_cast<void *>(aligned);
}

}  // namespace

void *util_map_huge(size_t size) {
    if (hugeMapsRefused || allocationRefused()) return nullptr;
    void *result = mapAligned(size, PROT_READ | PROT_WRITE, 0);
    if (result != nullptr) madvise(result, size, MADV_HUGEPAGE);
    return result;
}

void *util_remap_huge(void *pointer, size_t oldSize, size_t newSize) {
    if (hugeMapsRefused || allocationRefused()) return nullptr;
    void *result = mremap(pointer, oldSize, newSize, 0);
    if (result == MAP_FAILED) {
        // No room behind the mapping: the pages move to an aligned range reserved for them, so
        // that the huge pages stay whole.
        void *target = mapAligned(newSize, PROT_NONE, MAP_NORESERVE);
        if (target == nullptr) return nullptr;
        result = mremap(pointer, oldSize, newSize, MREMAP_MAYMOVE | MREMAP_FIXED, target);
        if (result == MAP_FAILED) {
            munmap(target, newSize);
            return nullptr;
        }
    }
    madvise(result, newSize, MADV_HUGEPAGE);
    return result;
}

void util_unmap_huge(void *pointer, size_t size) {
    if (pointer != nullptr) munmap(pointer, size);
}

void util_advise_huge(void *pointer, size_t size) {
    const uintptr_t start = reinterpret_cast<uintptr_t>(pointer);
    const uintptr_t first = (start + UTIL_HUGE_PAGE - 1) & ~(UTIL_HUGE_PAGE - 1);
    const uintptr_t last = (start + size) & ~(UTIL_HUGE_PAGE - 1);
    if (last > first) madvise(reinterpret_cast<void *>(first), last - first, MADV_HUGEPAGE);
}

uint32_t util_cpu_time_ms() {
    struct rusage usage;
    if (getrusage(RUSAGE_SELF, &usage) != 0) return 0;
    uint64_t ms = static_cast<uint64_t>(usage.ru_utime.tv_sec) * 1000 +
                  static_cast<uint64_t>(usage.ru_utime.tv_usec) / 1000;
    return static_cast<uint32_t>(ms);
}

uint64_t util_physical_memory() {
    long pages = sysconf(_SC_PHYS_PAGES);
    long pageSize = sysconf(_SC_PAGESIZE);
    if (pages <= 0 || pageSize <= 0) return 4294967295u;
    return static_cast<uint64_t>(pages) * static_cast<uint64_t>(pageSize);
}

void util_fail_allocations_after(long successes) { failureCountdown = successes; }

void util_refuse_huge_maps(bool refuse) { hugeMapsRefused = refuse; }
