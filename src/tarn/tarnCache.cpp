// The computed table: growth, flushing and the usage profile. Probes and inserts are inline in
// tarnInt.h, on the hot path of every operation.
#include <cmath>

#include "tarnInt.h"

// The table grows in place: the block is reallocated (a large block keeps its pages, so only the
// added half is new memory for the system to clear), and an entry at slot i moves to slot 2i or
// 2i + 1, since the slot is the top bits of the hash and one more bit is taken. Walking from the top
// slot down, every slot is read before the move of a lower entry writes it.
void tarnCacheResize(DdManager *dd) {
    const unsigned oldSlots = dd->cacheSlots;
    const unsigned newSlots = oldSlots << 1;
    const auto oldOffset = reinterpret_cast<char *>(dd->cache) -
                           reinterpret_cast<char *>(dd->cacheMemory);
    size_t bytes = (static_cast<size_t>(newSlots) + 1) * sizeof(DdCache);
    void *memory = tarnGuardedRealloc(dd, dd->cacheMemory, bytes);
    if (memory == nullptr) {
        // Keep the old table and never try to grow again.
        dd->cacheHardLimit = oldSlots - 1;
        dd->cacheRoom = -static_cast<int>(oldSlots + 1);
        return;
    }
    util_advise_huge(memory, bytes);
    auto *table = reinterpret_cast<DdCache *>(tarnAlign32After(memory));
    // A block that moved may sit differently against the 32-byte boundaries.
    auto *kept = reinterpret_cast<DdCache *>(static_cast<char *>(memory) + oldOffset);
    if (kept != table) memmove(static_cast<void *>(table), kept, sizeof(DdCache) * oldSlots);
    const int shift = dd->cacheShift - 1;

    double moved = 0;
    for (unsigned i = oldSlots; i-- > 0;) {
        const DdCache entry = table[i];
        table[2 * i] = DdCache{};
        table[2 * i + 1] = DdCache{};
        if (entry.result == nullptr) continue;
        table[tarnCacheHash(entry.key1, entry.key2, entry.key3, shift)] = entry;
        moved++;
    }

    dd->cacheMemory = static_cast<DdCache *>(memory);
    dd->cache = table;
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
        if (entry->result != nullptr && doomed(*entry)) {
            dd->cacheDeletions++;
            entry->result = nullptr;
        }
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
