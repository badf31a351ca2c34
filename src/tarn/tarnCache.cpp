// The computed table: growth, flushing and the usage profile. Probes and inserts are inline in
// tarnInt.h, on the hot path of every operation.
#include <cmath>

#include "tarnInt.h"

namespace {

size_t tableBytes(unsigned slots) { return static_cast<size_t>(slots) * sizeof(DdCache); }

size_t mappedBytes(unsigned slots) {
    return (tableBytes(slots) + UTIL_HUGE_PAGE - 1) & ~(UTIL_HUGE_PAGE - 1);
}

// A heap block holds one entry more than the table, so that the table can start on a 32-byte
// boundary.
size_t heapBytes(unsigned slots) { return tableBytes(slots) + sizeof(DdCache); }

void useMapping(DdManager *dd, void *mapped, unsigned slots) {
    dd->cacheMemory = nullptr;
    dd->cacheMapped = mappedBytes(slots);
    dd->cache = static_cast<DdCache *>(mapped);
}

void useHeapBlock(DdManager *dd, void *memory, unsigned slots) {
    util_advise_huge(memory, heapBytes(slots));
    dd->cacheMemory = static_cast<DdCache *>(memory);
    dd->cacheMapped = 0;
    dd->cache = reinterpret_cast<DdCache *>(tarnAlign32After(memory));
}

// Makes room for `newSlots` entries with the first `oldSlots` as they were; false when no memory
// is to be had, and then the old table stands. A table of a huge page or more lives in a mapping of
// its own, which grows by remapping: the old pages move without a copy and only the added half is
// new memory. A table of the heap that reaches that size moves into a mapping once; a mapping that
// cannot grow is copied to the heap, like a small table that is reallocated.
bool growBlock(DdManager *dd, unsigned oldSlots, unsigned newSlots) {
    const size_t oldBytes = tableBytes(oldSlots);
    if (dd->cacheMapped != 0) {
        void *moved = util_remap_huge(dd->cache, dd->cacheMapped, mappedBytes(newSlots));
        if (moved != nullptr) {
            useMapping(dd, moved, newSlots);
            return true;
        }
        void *memory = tarnGuardedMalloc(dd, heapBytes(newSlots));
        if (memory == nullptr) return false;
        memcpy(reinterpret_cast<void *>(tarnAlign32After(memory)), static_cast<void *>(dd->cache),
               oldBytes);
        util_unmap_huge(dd->cache, dd->cacheMapped);
        useHeapBlock(dd, memory, newSlots);
        return true;
    }
    if (tableBytes(newSlots) >= UTIL_HUGE_PAGE) {
        void *mapped = util_map_huge(mappedBytes(newSlots));
        if (mapped != nullptr) {
            memcpy(mapped, static_cast<void *>(dd->cache), oldBytes);
            util_free(dd->cacheMemory);
            useMapping(dd, mapped, newSlots);
            return true;
        }
    }
    const auto oldOffset = reinterpret_cast<char *>(dd->cache) -
                           reinterpret_cast<char *>(dd->cacheMemory);
    void *memory = tarnGuardedRealloc(dd, dd->cacheMemory, heapBytes(newSlots));
    if (memory == nullptr) return false;
    // A block that moved may sit differently against the 32-byte boundaries.
    auto *kept = static_cast<char *>(memory) + oldOffset;
    auto *table = reinterpret_cast<char *>(tarnAlign32After(memory));
    if (kept != table) memmove(table, kept, oldBytes);
    useHeapBlock(dd, memory, newSlots);
    return true;
}

}  // namespace

bool tarnCacheAllocate(DdManager *dd, unsigned slots) {
    uint8_t *tags = nullptr;
    if (slots <= dd->cacheTagLimit) {
        tags = static_cast<uint8_t *>(util_malloc(slots));
        if (tags == nullptr) return false;
        memset(tags, 0, slots);
    }
    if (tableBytes(slots) >= UTIL_HUGE_PAGE) {
        void *mapped = util_map_huge(mappedBytes(slots));
        if (mapped != nullptr) {
            useMapping(dd, mapped, slots);
            dd->cacheTags = tags;
            return true;
        }
    }
    void *memory = util_malloc(heapBytes(slots));
    if (memory == nullptr) {
        util_free(tags);
        return false;
    }
    useHeapBlock(dd, memory, slots);
    memset(static_cast<void *>(dd->cache), 0, tableBytes(slots));
    dd->cacheTags = tags;
    return true;
}

void tarnCacheRelease(DdManager *dd) {
    if (dd->cacheMapped != 0) {
        util_unmap_huge(dd->cache, dd->cacheMapped);
    } else {
        util_free(dd->cacheMemory);
    }
    util_free(dd->cacheTags);
    dd->cache = dd->cacheMemory = nullptr;
    dd->cacheTags = nullptr;
    dd->cacheMapped = 0;
}

// The table grows in place: an entry at slot i moves to slot 2i or 2i + 1, since the slot is the
// top bits of the hash and one more bit is taken. Walking from the top slot down, every slot is
// read before the move of a lower entry writes it. The tags, one bit further down the hash, are
// written afresh, unless the table outgrows its tags.
void tarnCacheResize(DdManager *dd) {
    const unsigned oldSlots = dd->cacheSlots;
    const unsigned newSlots = oldSlots << 1;
    const bool tagged = newSlots <= dd->cacheTagLimit;
    auto *tags = tagged ? static_cast<uint8_t *>(tarnGuardedMalloc(dd, newSlots)) : nullptr;
    if ((tagged && tags == nullptr) || !growBlock(dd, oldSlots, newSlots)) {
        // Keep the old table and never try to grow again.
        util_free(tags);
        dd->cacheHardLimit = oldSlots - 1;
        dd->cacheRoom = -static_cast<int>(oldSlots + 1);
        return;
    }
    if (tags != nullptr) memset(tags, 0, newSlots);
    DdCache *table = dd->cache;
    const int shift = dd->cacheShift - 1;

    double moved = 0;
    for (unsigned i = oldSlots; i-- > 0;) {
        const DdCache entry = table[i];
        table[2 * i] = DdCache{};
        table[2 * i + 1] = DdCache{};
        if (entry.result == nullptr) continue;
        const uint32_t rawHash = tarnCacheRawHash(entry.key1, entry.key2, entry.key3);
        table[rawHash >> shift] = entry;
        if (tags != nullptr) tags[rawHash >> shift] = tarnCacheTagOf(rawHash, shift);
        moved++;
    }
    util_free(dd->cacheTags);
    dd->cacheTags = tags;

    dd->cacheSlots = newSlots;
    dd->cacheShift = shift;
    dd->cacheRoom -= static_cast<int>(newSlots);
    dd->memoryInUse += sizeof(DdCache) * static_cast<uint64_t>(oldSlots);

    // A new head start, kept out of the accumulated misses.
    double offset = static_cast<double>(static_cast<int64_t>(newSlots * dd->hitRatioThreshold + 1.0));
    dd->cacheMissesBefore += dd->cacheMisses - offset;
    dd->cacheMisses = offset;
    dd->cacheHitsBefore += dd->cacheHits;
    dd->cacheHits = 0;
    dd->cacheInsertsAtResize = dd->cacheInserts - moved;
}

namespace {

// Clears every entry that `doomed` picks, counting each as a deletion.
template <class Doomed>
void clearEntries(DdManager *dd, Doomed &&doomed) {
    DdCache *entry = dd->cache;
    for (unsigned i = 0; i < dd->cacheSlots; i++, entry++) {
        if (entry->result != nullptr && doomed(*entry)) tarnCacheEmpty(dd, i);
    }
}

}  // namespace

void tarnCacheFlush(DdManager *dd) {
    clearEntries(dd, [](const DdCache &) { return true; });
    dd->cacheInsertsAtResize = dd->cacheInserts;
    // No entry is left under any renaming's identity: they may all be given out again.
    tarnPermutationRegistryReset(dd);
}

void tarnCacheClearIdentities(DdManager *dd, uintptr_t low, uintptr_t high) {
    clearEntries(dd, [low, high](const DdCache &entry) {
        const auto identity = reinterpret_cast<uintptr_t>(entry.key3);
        return identity >= low && identity < high;
    });
}

void tarnCacheClearKey(DdManager *dd, DdNode *key) {
    clearEntries(dd, [key](const DdCache &entry) { return entry.key2 == key || entry.key3 == key; });
}

int tarnCacheProfile(DdManager *dd, FILE *fp) {
    double unused = 0;
    for (unsigned i = 0; i < dd->cacheSlots; i++) {
        if (dd->cache[i].key3 == nullptr) unused++;
    }
    double slots = dd->cacheSlots;
    double used = 100.0 - 100.0 * unused / slots;
    double expected = 100.0 * (1.0 - std::exp(-(dd->cacheInserts - dd->cacheInsertsAtResize) / slots));
    return fprintf(fp, "Cache used slots = %.2f%% (expected %.2f%%)\n", used, expected) < 0 ? 0 : 1;
}
