// Readers and setters of manager fields, and the hook lists.
#include <algorithm>

#include "tarnInt.h"

int Tarn_ReadSize(DdManager *dd) { return dd->size; }
DdNode *Tarn_ReadOne(DdManager *dd) { return dd->one; }
DdNode *Tarn_ReadZero(DdManager *dd) { return dd->zero; }
DdNode *Tarn_ReadLogicZero(DdManager *dd) { return tarnNot(dd->one); }
DdNode *Tarn_ReadPlusInfinity(DdManager *dd) { return dd->plusInfinity; }
DdNode *Tarn_ReadMinusInfinity(DdManager *dd) { return dd->minusInfinity; }
DdNode *Tarn_ReadBackground(DdManager *dd) { return dd->background; }

namespace {
int readOrderEntry(const DdManager *dd, const int *order, int i) {
    if (i == static_cast<int>(TARN_MAXINDEX)) return i;
    if (i < 0 || i >= dd->size) return -1;
    return order[i];
}
}  // namespace

int Tarn_ReadPerm(DdManager *dd, int index) { return readOrderEntry(dd, dd->perm, index); }
int Tarn_ReadInvPerm(DdManager *dd, int level) { return readOrderEntry(dd, dd->invperm, level); }
double Tarn_ReadEpsilon(DdManager *dd) { return dd->epsilon; }
unsigned Tarn_ReadCacheSlots(DdManager *dd) { return dd->cacheSlots; }
long Tarn_ReadReorderingTime(DdManager *dd) { return dd->reorderTime; }
int Tarn_ReadErrorCode(DdManager *dd) { return dd->errorCode; }
void Tarn_ClearErrorCode(DdManager *dd) { dd->errorCode = TARN_NO_ERROR; }
FILE *Tarn_ReadStdout(DdManager *dd) { return dd->out; }
FILE *Tarn_ReadStderr(DdManager *dd) { return dd->err; }

int Tarn_ReadAutoReorder(DdManager *dd, int *method) {
    if (method != nullptr) *method = dd->autoReorderMethod;
    return dd->autoReorder;
}

bool Tarn_IsConstant(DdNode *f) { return tarnRegular(f)->index == TARN_MAXINDEX; }
uint32_t Tarn_ReadNodeIndex(DdNode *f) { return tarnRegular(f)->index; }
uint32_t Tarn_ReadNodeRef(DdNode *f) { return tarnRegular(f)->ref; }
DdNode *Tarn_Then(DdNode *f) { return tarnRegular(f)->T; }
DdNode *Tarn_Else(DdNode *f) { return tarnRegular(f)->E; }
double Tarn_V(DdNode *f) { return tarnRegular(f)->value; }

void Tarn_SetEpsilon(DdManager *dd, double epsilon) { dd->epsilon = epsilon; }
void Tarn_SetReorderBudget(DdManager *dd, unsigned budget) { dd->reorderBudget = budget; }

namespace {
// A limit derived from the whole physical memory size. (Taking only the size's low 32 bits would
// give 0 on every machine with a multiple of 4 GiB, and a computed table that can never grow.)
unsigned memoryShare(unsigned divisor) {
    uint64_t share = util_physical_memory() / divisor;
    return share > UINT32_MAX ? UINT32_MAX : static_cast<unsigned>(share);
}
}  // namespace

void Tarn_SetFastGrowthLimit(DdManager *dd, unsigned n) {
    dd->fastGrowthLimit = n != 0 ? n : tarnDefaultFastGrowthLimit();
}

void Tarn_SetKeysPerSlot(DdManager *dd, unsigned n) {
    dd->keysPerSlot = n == 0 ? TARN_MEASURED_KEYS_PER_SLOT : std::min(n, TARN_MAX_KEYS_PER_SLOT);
    for (int i = 0; i < dd->size; i++) {
        dd->subtables[i].keyLimit = tarnKeyLimit(dd, dd->subtables[i].slots);
    }
    for (int i = 0; i < dd->sizeZ; i++) {
        dd->subtablesZ[i].keyLimit = tarnKeyLimit(dd, dd->subtablesZ[i].slots);
    }
    dd->constants.keyLimit = tarnKeyLimit(dd, dd->constants.slots);
    dd->deadThreshold = tarnDeadThresholdAt(dd, dd->deadFraction);
    dd->cacheRoom = tarnCacheRoomFor(dd, dd->cacheSlots);
}

unsigned Tarn_ReadKeysPerSlot(DdManager *dd) { return dd->keysPerSlot; }

// The room for growth follows the new limit at once, not only at the next growth of the unique
// table.
void Tarn_SetCacheHardLimit(DdManager *dd, unsigned n) {
    dd->cacheHardLimit = n != 0 ? n : memoryShare(96);
    dd->cacheRoom = tarnCacheRoomFor(dd, dd->cacheSlots);
}

void Tarn_SetCacheSoftFactor(DdManager *dd, unsigned n) {
    dd->cacheSoftFactor =
        n == 0 ? TARN_MEASURED_CACHE_SOFT_FACTOR : std::min(n, TARN_MAX_CACHE_SOFT_FACTOR);
    dd->cacheRoom = tarnCacheRoomFor(dd, dd->cacheSlots);
}

unsigned Tarn_ReadCacheSoftFactor(DdManager *dd) { return dd->cacheSoftFactor; }

void Tarn_SetCacheHitThreshold(DdManager *dd, unsigned percent) {
    dd->hitRatioThreshold = static_cast<double>(percent) / (100.0 - static_cast<double>(percent));
}

void Tarn_ResetStartTime(DdManager *dd) { dd->startTime = util_cpu_time_ms(); }
void Tarn_SetTimeLimit(DdManager *dd, unsigned long ms) { dd->timeLimit = static_cast<uint32_t>(ms); }

void Tarn_SetTerminationCallback(DdManager *dd, DD_THFP callback, const void *arg) {
    dd->terminationCallback = callback;
    dd->terminationArg = arg;
}

void Tarn_SetTimeoutHandler(DdManager *dd, DD_TOHFP handler, void *arg) {
    dd->timeoutHandler = handler;
    dd->timeoutArg = arg;
}

void Tarn_SetOutOfMemoryHandler(DdManager *dd, DD_OOMFP handler) { dd->outOfMemoryHandler = handler; }
void Tarn_SetStdout(DdManager *dd, FILE *fp) { dd->out = fp; }
void Tarn_SetStderr(DdManager *dd, FILE *fp) { dd->err = fp; }
void Tarn_SetMaxLive(DdManager *dd, unsigned maxLive) { dd->liveLimit = maxLive; }
void Tarn_SetMaxMemory(DdManager *dd, uint64_t maxMemory) { dd->memoryHardLimit = maxMemory; }
void Tarn_EnableGarbageCollection(DdManager *dd) { dd->gcEnabled = 1; }
void Tarn_DisableGarbageCollection(DdManager *dd) { dd->gcEnabled = 0; }

void Tarn_EnableAutoReorder(DdManager *dd, int method) {
    dd->autoReorder = 1;
    if (method != 0) dd->autoReorderMethod = method;
    // Reordering needs exact reference counts: nothing may wait in the delayed-release queue.
    tarnClearDelayedQueue(dd);
    dd->delayedDepth = 1;
    dd->delayedMask = 0;
    dd->delayedNext = 0;
    auto **shorter = static_cast<DdNode **>(util_realloc(dd->delayedQueue, sizeof(DdNode *)));
    if (shorter != nullptr) dd->delayedQueue = shorter;
}

void Tarn_DisableAutoReorder(DdManager *dd) { dd->autoReorder = 0; }

namespace {
DdHook **hookList(DdManager *dd, int which) {
    switch (which) {
        case TARN_PRE_GC_HOOK: return &dd->gcHooksBefore;
        case TARN_POST_GC_HOOK: return &dd->gcHooksAfter;
        case TARN_PRE_REORDERING_HOOK: return &dd->reorderHooksBefore;
        case TARN_POST_REORDERING_HOOK: return &dd->reorderHooksAfter;
        default: return nullptr;
    }
}
}  // namespace

int Tarn_AddHook(DdManager *dd, DD_HFP f, int which) {
    DdHook **link = hookList(dd, which);
    if (link == nullptr) return 0;
    for (; *link != nullptr; link = &(*link)->next) {
        if ((*link)->f == f) return 1;
    }
    auto *hook = util_alloc_array<DdHook>(1);
    if (hook == nullptr) {
        dd->errorCode = TARN_OUT_OF_MEMORY;
        return 0;
    }
    hook->f = f;
    hook->next = nullptr;
    *link = hook;
    return 1;
}

int Tarn_RemoveHook(DdManager *dd, DD_HFP f, int which) {
    DdHook **link = hookList(dd, which);
    if (link == nullptr) return 0;
    for (; *link != nullptr; link = &(*link)->next) {
        if ((*link)->f == f) {
            DdHook *hook = *link;
            *link = hook->next;
            util_free(hook);
            return 1;
        }
    }
    return 0;
}
