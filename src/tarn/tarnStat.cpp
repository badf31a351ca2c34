// Statistics: the report of settings and counters, the live and peak node counts, and the use of
// the unique table's buckets.
#include <cmath>

#include "tarnInt.h"

unsigned Tarn_ReadNodeCount(DdManager *dd) {
    tarnClearDelayedQueue(dd);
    tarnRunWaitingReleases(dd);
    unsigned count = dd->keys - dd->dead;
    // Nodes held only by the manager are not the caller's.
    for (int i = 0; i < dd->size; i++) {
        if (dd->vars[i]->ref == 1) count--;
    }
    DdNode *constants[] = {dd->zero, dd->plusInfinity, dd->minusInfinity};
    for (DdNode *c : constants) {
        if (c->ref == 1) count--;
    }
    return count;
}

long Tarn_ReadPeakNodeCount(DdManager *dd) {
    long blocks = 0;
    for (void **block = dd->nodeBlocks; block != nullptr; block = static_cast<void **>(*block)) {
        blocks++;
    }
    return blocks * TARN_NODES_PER_BLOCK;
}

double tarnReadUsedSlots(DdManager *dd) {
    double used = 0;
    auto countUsed = [&used](const DdSubtable &table, const DdNode *empty) {
        for (unsigned j = 0; j < table.slots; j++) {
            if (table.buckets[j] != empty) used++;
        }
    };
    for (int i = 0; i < dd->size; i++) countUsed(dd->subtables[i], tarnSentinel(dd));
    for (int i = 0; i < dd->sizeZ; i++) countUsed(dd->subtablesZ[i], nullptr);
    countUsed(dd->constants, nullptr);
    return used / dd->slots;
}

double tarnExpectedUsedSlots(DdManager *dd) {
    double empty = 0;
    auto addEmpty = [&empty](const DdSubtable &table) {
        empty += table.slots * std::exp(-static_cast<double>(table.keys) / table.slots);
    };
    for (int i = 0; i < dd->size; i++) addEmpty(dd->subtables[i]);
    for (int i = 0; i < dd->sizeZ; i++) addEmpty(dd->subtablesZ[i]);
    addEmpty(dd->constants);
    return 1.0 - empty / dd->slots;
}

namespace {
const char *yesNo(bool flag) { return flag ? "yes" : "no"; }
}  // namespace

int Tarn_PrintInfo(DdManager *dd, FILE *fp) {
// Every line is one write; the first write that fails ends the report.
#define TARN_REPORT(...)                               \
    do {                                               \
        if (fprintf(fp, __VA_ARGS__) < 0) return 0;    \
    } while (0)

    // the counters below are those that immediate releases would have left
    tarnRunWaitingReleases(dd);
    TARN_REPORT("**** TARN modifiable parameters ****\n");
    TARN_REPORT("Hard limit for cache size: %u\n", dd->cacheHardLimit);
    TARN_REPORT("Cache hit threshold for resizing: %u%%\n",
                static_cast<unsigned>(100.0 * dd->hitRatioThreshold / (1.0 + dd->hitRatioThreshold) + 0.5));
    TARN_REPORT("Garbage collection enabled: %s\n", yesNo(dd->gcEnabled != 0));
    TARN_REPORT("Limit for fast unique table growth: %u\n", dd->fastGrowthLimit);
    TARN_REPORT("Maximum number of variables sifted per reordering: %d\n", dd->siftVarLimit);
    TARN_REPORT("Maximum number of variable swaps per reordering: %d\n", dd->siftSwapLimit);
    TARN_REPORT("Maximum growth while sifting a variable: %g\n", dd->siftGrowthLimit);
    TARN_REPORT("Dynamic reordering of BDDs enabled: %s\n", yesNo(dd->autoReorder != 0));
    TARN_REPORT("Default BDD reordering method: %d\n", dd->autoReorderMethod);
    TARN_REPORT("Dynamic reordering of ZDDs enabled: %s\n", yesNo(dd->autoReorderZ != 0));
    TARN_REPORT("Default ZDD reordering method: %d\n", dd->autoReorderMethodZ);
    TARN_REPORT("Realignment of ZDDs to BDDs enabled: %s\n", yesNo(dd->realignZddToBdd != 0));
    TARN_REPORT("Realignment of BDDs to ZDDs enabled: %s\n", yesNo(dd->realignBddToZdd != 0));
    TARN_REPORT("Dead nodes counted in triggering reordering: %s\n", yesNo(dd->deadCountMask == 0));
    TARN_REPORT("Group checking criterion: %u\n", static_cast<unsigned>(dd->groupCheck));
    TARN_REPORT("Recombination threshold: %d\n", dd->recombThreshold);
    TARN_REPORT("Symmetry violation threshold: %d\n", dd->symmetryViolation);
    TARN_REPORT("Arc violation threshold: %d\n", dd->arcViolation);
    TARN_REPORT("GA population size: %d\n", dd->gaPopulation);
    TARN_REPORT("Number of crossovers for GA: %d\n", dd->gaCrossovers);
    TARN_REPORT("Next reordering threshold: %u\n", dd->reorderThreshold);

    TARN_REPORT("**** TARN non-modifiable parameters ****\n");
    TARN_REPORT("Memory in use: %zu\n", static_cast<size_t>(dd->memoryInUse));
    TARN_REPORT("Peak number of nodes: %ld\n", Tarn_ReadPeakNodeCount(dd));
    if (dd->keys - dd->dead > dd->peakLiveNodes) dd->peakLiveNodes = dd->keys - dd->dead;
    TARN_REPORT("Peak number of live nodes: %d\n", static_cast<int>(dd->peakLiveNodes));
    TARN_REPORT("Number of BDD variables: %d\n", dd->size);
    TARN_REPORT("Number of ZDD variables: %d\n", dd->sizeZ);
    TARN_REPORT("Number of cache entries: %u\n", dd->cacheSlots);
    TARN_REPORT("Number of cache look-ups: %.0f\n",
                dd->cacheMisses + dd->cacheHits + dd->cacheHitsBefore + dd->cacheMissesBefore);
    TARN_REPORT("Number of cache hits: %.0f\n", dd->cacheHitsBefore + dd->cacheHits);
    TARN_REPORT("Number of cache insertions: %.0f\n", dd->cacheInserts);
    TARN_REPORT("Number of cache collisions: %.0f\n", dd->cacheCollisions);
    TARN_REPORT("Number of cache deletions: %.0f\n", dd->cacheDeletions);
    if (!tarnCacheProfile(dd, fp)) return 0;
    TARN_REPORT("Soft limit for cache size: %u\n",
                2 * dd->cacheSlots + static_cast<unsigned>(dd->cacheRoom));
    TARN_REPORT("Number of buckets in unique table: %u\n", dd->slots);
    TARN_REPORT("Used buckets in unique table: %.2f%% (expected %.2f%%)\n",
                100.0 * tarnReadUsedSlots(dd), 100.0 * tarnExpectedUsedSlots(dd));
    TARN_REPORT("Number of BDD and ADD nodes: %u\n", dd->keys);
    TARN_REPORT("Number of ZDD nodes: %u\n", dd->keysZ);
    TARN_REPORT("Number of dead BDD and ADD nodes: %u\n", dd->dead);
    TARN_REPORT("Number of dead ZDD nodes: %u\n", dd->deadZ);
    TARN_REPORT("Total number of nodes allocated: %.0f\n", dd->nodesAllocated);
    TARN_REPORT("Total number of nodes reclaimed: %.0f\n", dd->nodesReclaimed);
    TARN_REPORT("Garbage collections so far: %d\n", dd->gcCount);
    TARN_REPORT("Time for garbage collection: %.2f sec\n", dd->gcTime / 1000.0);
    TARN_REPORT("Reorderings so far: %d\n", dd->reorderCount);
    TARN_REPORT("Time for reordering: %.2f sec\n", dd->reorderTime / 1000.0);
#undef TARN_REPORT
    return 1;
}
