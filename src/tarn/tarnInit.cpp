// Creation and destruction of a manager: the unique subtables, the computed table, the reserve,
// the constants and the projection functions.
#include <algorithm>

#include "../mtr/mtr.h"
#include "tarnInt.h"

namespace {

// Buckets per unique subtable from which a manager's computed table starts at the requested size.
constexpr unsigned kFullCacheSubtableSlots = 1u << 14;

// The manager's default out-of-memory handler: it reports and returns, so that the guarded
// allocation sees null and the caller can recover.
void tarnReportOutOfMemory(size_t size) {
    fflush(stdout);
    fprintf(stderr, "\nTARN: unable to allocate %zu bytes\n", size);
}

// Limits derived from a 64-bit memory size live in 32-bit fields; a machine with more memory than
// they can express gets the largest value instead of a wrapped one.
unsigned clampToUnsigned(uint64_t value) {
    return static_cast<unsigned>(std::min<uint64_t>(value, UINT32_MAX));
}

int log2Floor(uint64_t value) {
    int bits = 0;
    while (value > 1) {
        value >>= 1;
        ++bits;
    }
    return bits;
}

void initSubtable(DdManager *dd, DdSubtable *table, unsigned slots, int shift, unsigned level,
                  DdNode **buckets) {
    *table = DdSubtable{};
    table->buckets = buckets;
    table->shift = shift;
    table->slots = slots;
    table->keyLimit = tarnKeyLimit(dd, slots);
    table->symmetryNext = level;
}

void freeTables(DdManager *dd) {
    if (dd->subtables != nullptr) {
        for (int i = 0; i < dd->size; i++) util_free(dd->subtables[i].buckets);
    }
    if (dd->subtablesZ != nullptr) {
        for (int i = 0; i < dd->sizeZ; i++) util_free(dd->subtablesZ[i].buckets);
    }
    util_free(dd->constants.buckets);
    util_free(dd->subtables);
    util_free(dd->subtablesZ);
    util_free(dd->perm);
    util_free(dd->invperm);
    util_free(dd->permZ);
    util_free(dd->invpermZ);
    util_free(dd->derefStack);
    util_free(dd->delayedQueue);
}

}  // namespace

namespace {

// Runs one allocation with the manager's out-of-memory handler in force.
template <class Allocate>
void *underManagerHandler(DdManager *dd, Allocate &&allocate) {
    UtilOutOfMemoryFn saved = util_out_of_memory;
    util_out_of_memory = dd->outOfMemoryHandler;
    void *p = allocate();
    util_out_of_memory = saved;
    return p;
}

}  // namespace

void *tarnGuardedMalloc(DdManager *dd, size_t size) {
    return underManagerHandler(dd, [&] { return util_malloc(size); });
}

void *tarnGuardedRealloc(DdManager *dd, void *pointer, size_t size) {
    return underManagerHandler(dd, [&] { return util_realloc(pointer, size); });
}

void *tarnGuardedMallocAligned(DdManager *dd, size_t alignment, size_t size) {
    return underManagerHandler(dd, [&] { return util_malloc_aligned(alignment, size); });
}

DdManager *tarnInitTable(unsigned numVars, unsigned numVarsZ, unsigned numSlots,
                         unsigned growthLimit) {
    auto *dd = static_cast<DdManager *>(util_malloc_aligned(alignof(DdManager), sizeof(DdManager)));
    if (dd == nullptr) return nullptr;
    memset(static_cast<void *>(dd), 0, sizeof(DdManager));

    dd->epsilon = TARN_DEFAULT_EPSILON;
    dd->size = static_cast<int>(numVars);
    dd->sizeZ = static_cast<int>(numVarsZ);
    dd->capacity = std::max(dd->size, 5);
    dd->capacityZ = std::max(dd->sizeZ, 5);

    unsigned slots = TARN_DEFAULT_SLOTS;
    while (slots < numSlots && slots < (1u << 31)) slots <<= 1;
    int shift = 32 - log2Floor(slots);
    dd->initialSlots = slots;

    dd->fastGrowthLimit = growthLimit;
    dd->keysPerSlot = TARN_KEYS_PER_SLOT;
    dd->cacheSoftFactor = TARN_CACHE_SOFT_FACTOR;
    dd->cacheTagLimit = TARN_CACHE_TAG_LIMIT;
    dd->liveLimit = UINT32_MAX;
    dd->gcEnabled = 1;
    dd->deadFraction = TARN_DEAD_FRACTION_HIGH;
    dd->slots = slots * (numVars + numVarsZ + 1);
    dd->deadThreshold = tarnDeadThresholdAt(dd, TARN_DEAD_FRACTION_HIGH);

    int stackLength = std::max(dd->capacity, dd->capacityZ) + 1;
    int queueLength = 1 << log2Floor(std::max(dd->fastGrowthLimit / 4, 1u));
    dd->subtables = util_alloc_array<DdSubtable>(dd->capacity);
    dd->subtablesZ = util_alloc_array<DdSubtable>(dd->capacityZ);
    dd->perm = util_alloc_array<int>(dd->capacity);
    dd->invperm = util_alloc_array<int>(dd->capacity);
    dd->permZ = util_alloc_array<int>(dd->capacityZ);
    dd->invpermZ = util_alloc_array<int>(dd->capacityZ);
    dd->derefStack = util_alloc_array<DdNode *>(stackLength);
    // The queue can be long and fills slowly: zeroed pages are mapped only once they are used.
    dd->delayedQueue = static_cast<DdNode **>(util_calloc(queueLength, sizeof(DdNode *)));
    dd->constants.buckets = util_alloc_array<DdNode *>(slots);
    if (dd->subtables == nullptr || dd->subtablesZ == nullptr || dd->perm == nullptr ||
        dd->invperm == nullptr || dd->permZ == nullptr || dd->invpermZ == nullptr ||
        dd->derefStack == nullptr || dd->delayedQueue == nullptr ||
        dd->constants.buckets == nullptr) {
        dd->size = dd->sizeZ = 0;
        freeTables(dd);
        util_free(dd);
        return nullptr;
    }
    dd->derefStack[0] = nullptr;
    dd->delayedDepth = queueLength;
    dd->delayedMask = static_cast<unsigned>(queueLength - 1);

    for (unsigned i = 0; i < numVars; i++) {
        DdNode **buckets = util_alloc_array<DdNode *>(slots);
        if (buckets == nullptr) {
            dd->size = static_cast<int>(i);
            dd->sizeZ = 0;
            freeTables(dd);
            util_free(dd);
            return nullptr;
        }
        std::fill(buckets, buckets + slots, tarnSentinel(dd));
        initSubtable(dd, &dd->subtables[i], slots, shift, i, buckets);
        dd->perm[i] = dd->invperm[i] = static_cast<int>(i);
    }
    for (unsigned i = 0; i < numVarsZ; i++) {
        DdNode **buckets = util_alloc_array<DdNode *>(slots);
        if (buckets == nullptr) {
            dd->sizeZ = static_cast<int>(i);
            freeTables(dd);
            util_free(dd);
            return nullptr;
        }
        std::fill(buckets, buckets + slots, nullptr);
        initSubtable(dd, &dd->subtablesZ[i], slots, shift, i, buckets);
        dd->permZ[i] = dd->invpermZ[i] = static_cast<int>(i);
    }
    std::fill(dd->constants.buckets, dd->constants.buckets + slots, nullptr);
    initSubtable(dd, &dd->constants, slots, shift, 0, dd->constants.buckets);
    dd->constants.symmetryNext = 0;

    dd->reorderBudget = UINT32_MAX;
    dd->siftVarLimit = 1000;
    dd->siftSwapLimit = 2000000;
    dd->siftGrowthLimit = 1.2;
    dd->siftGrowthLimitAlt = 2.4;
    dd->autoReorderMethod = TARN_REORDER_SIFT;
    dd->autoReorderMethodZ = TARN_REORDER_SIFT;
    dd->reorderThreshold = TARN_DEFAULT_REORDER_THRESHOLD;
    dd->deadCountMask = UINT32_MAX;
    dd->groupCheck = 7;
    dd->out = stdout;
    dd->err = stderr;
    dd->errorCode = TARN_NO_ERROR;
    dd->startTime = util_cpu_time_ms();
    dd->timeLimit = UINT32_MAX;
    dd->outOfMemoryHandler = tarnReportOutOfMemory;
    dd->memoryHardLimit = UINT64_MAX;

    dd->memoryInUse = sizeof(DdManager) + 8ull * (numVars + 1) * slots +
                      64ull * (dd->capacity + dd->capacityZ) + 8ull * stackLength +
                      8ull * queueLength;
    return dd;
}

unsigned tarnDefaultFastGrowthLimit() {
    return std::min(clampToUnsigned(util_physical_memory() / 160), TARN_FAST_GROWTH_LIMIT_CAP);
}

int tarnInitCache(DdManager *dd, unsigned cacheSize, unsigned maxCacheSize) {
    // A large request starts smaller: a table that outgrows what the operations reuse costs more
    // in memory stalls than it saves, and growth by hit rate finds the size that pays. A caller
    // that sizes every subtable for many nodes gets what it asks for: its long fixpoints reuse a
    // large table from the first step, and growth by hit rate, capped by the unique table's size,
    // comes too late for them.
    const unsigned limit =
        dd->initialSlots >= kFullCacheSubtableSlots ? cacheSize : TARN_CACHE_START_LIMIT;
    unsigned wanted = std::max(std::min(cacheSize, limit),
                               static_cast<unsigned>(tarnCapacitySlots(dd) / 2));
    unsigned cacheSlots = wanted <= 1 ? 1 : 1u << log2Floor(wanted);
    if (!tarnCacheAllocate(dd, cacheSlots)) {
        dd->errorCode = TARN_OUT_OF_MEMORY;
        return 0;
    }
    dd->cacheSlots = cacheSlots;
    dd->memoryInUse += (static_cast<size_t>(cacheSlots) + 1) * sizeof(DdCache);

    dd->cacheShift = 32 - log2Floor(cacheSlots);
    dd->cacheHardLimit = maxCacheSize;
    dd->cacheRoom = tarnCacheRoomFor(dd, cacheSlots);

    dd->hitRatioThreshold = 30.0 / 70.0;
    dd->cacheHits = dd->cacheHitsBefore = 0;
    dd->cacheCollisions = dd->cacheInserts = dd->cacheInsertsAtResize = dd->cacheDeletions = 0;
    // The head start keeps a new table from growing before it has earned enough hits.
    dd->cacheMisses = static_cast<double>(static_cast<int64_t>(cacheSlots * dd->hitRatioThreshold + 1.0));
    dd->cacheMissesBefore = -dd->cacheMisses;

    return 1;
}

DdManager *Tarn_Init(unsigned numVars, unsigned numVarsZ, unsigned numSlots, unsigned cacheSize,
                     uint64_t maxMemory) {
    if (maxMemory == 0) maxMemory = util_physical_memory();
    DdManager *dd = tarnInitTable(numVars, numVarsZ, numSlots, clampToUnsigned(maxMemory / 160));
    if (dd == nullptr) return nullptr;
    dd->memorySoftLimit = (maxMemory / 10) * 9;

    // A manager that cannot be completed is freed, so a failed creation loses no memory.
    if (!tarnInitCache(dd, cacheSize, clampToUnsigned(maxMemory / 96))) {
        Tarn_Quit(dd);
        return nullptr;
    }

    dd->reserve = static_cast<char *>(tarnGuardedMalloc(dd, maxMemory / 64 + 4));
    if (dd->reserve == nullptr) fprintf(dd->err, "Unable to set aside memory\n");

    DdNode **constants[] = {&dd->one, &dd->zero, &dd->plusInfinity, &dd->minusInfinity};
    const double values[] = {1.0, 0.0, TARN_PLUS_INFINITY_VALUE, TARN_MINUS_INFINITY_VALUE};
    for (int i = 0; i < 4; i++) {
        DdNode *c = tarnUniqueConst(dd, values[i]);
        if (c == nullptr) {
            Tarn_Quit(dd);
            return nullptr;
        }
        Tarn_Ref(c);
        *constants[i] = c;
    }
    dd->background = dd->zero;

    dd->vars = util_alloc_array<DdNode *>(dd->capacity);
    if (dd->vars == nullptr) {
        Tarn_Quit(dd);
        return nullptr;
    }
    std::fill(dd->vars, dd->vars + dd->capacity, nullptr);
    for (int i = 0; i < dd->size; i++) {
        DdNode *var = tarnUniqueInter(dd, i, dd->one, tarnNot(dd->one));
        if (var == nullptr) {
            Tarn_Quit(dd);
            return nullptr;
        }
        Tarn_Ref(var);
        dd->vars[i] = var;
    }
    dd->memoryInUse += 8ull * dd->capacity;
    return dd;
}

void Tarn_Quit(DdManager *dd) {
    if (dd == nullptr) return;
    util_free(dd->reserve);
    util_free(dd->zddUniverse);
    tarnFreeNodeBlocks(dd);
    freeTables(dd);
    tarnCacheRelease(dd);
    tarnPermutationRegistryFree(dd);
    util_free(dd->vars);
    util_free(dd->varMap);
    if (dd->groupTree != nullptr) Mtr_DestroyTree(dd->groupTree);
    if (dd->groupTreeZ != nullptr) Mtr_DestroyTree(dd->groupTreeZ);
    util_free(dd->linearMatrix);
    DdHook **lists[] = {&dd->gcHooksBefore, &dd->gcHooksAfter, &dd->reorderHooksBefore,
                        &dd->reorderHooksAfter};
    for (int which = 0; which < 4; which++) {
        while (*lists[which] != nullptr) Tarn_RemoveHook(dd, (*lists[which])->f, which);
    }
    util_free(dd);
}
