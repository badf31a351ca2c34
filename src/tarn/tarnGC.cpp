// The garbage collector, which unlinks dead nodes from the unique table and rebuilds the free
// list, and the delayed-release queue, which keeps recently released BDDs alive for a while.
#include <cstdlib>

#include "tarnInt.h"

namespace {

constexpr const char *kCollector = "tarnGarbageCollect";

[[noreturn]] void reportDeadCountMismatch(DdManager *dd, const char *where, int level) {
    if (where != nullptr) {
        fprintf(dd->err, "%s: problem in %s", kCollector, where);
        if (level >= 0) fprintf(dd->err, " %d", level);
        fprintf(dd->err, "\n");
    }
    fprintf(dd->err, "  dead count != deleted\n");
    fprintf(dd->err,
            "  This problem is often due to a missing call to Tarn_Ref\n"
            "  or to an extra call to Tarn_RecursiveDeref.\n"
            "  See the TARN Programmer's Guide for additional details.");
    fflush(dd->err);
    abort();
}

// Runs a hook list in order; false as soon as one hook reports failure.
bool runHooks(DdManager *dd, DdHook *hook) {
    for (; hook != nullptr; hook = hook->next) {
        if (hook->f(dd, "DD", nullptr) == 0) return false;
    }
    return true;
}

// The node of a computed-table key, whose low bits may carry tags.
inline DdNode *keyNode(DdNode *key) {
    return reinterpret_cast<DdNode *>(reinterpret_cast<uintptr_t>(key) & ~uintptr_t{15});
}

inline bool isDeadKey(DdNode *key) { return keyNode(key)->ref == 0; }

// Entries ahead of the one examined whose nodes the cleaning asks for: the entries are read in
// order, their nodes at random, and each check waits on up to four of them.
constexpr unsigned kCleanAhead = 32;

// Clears the computed-table entries that mention a dead node.
void cleanCache(DdManager *dd) {
    DdCache *entry = dd->cache;
    for (unsigned i = 0; i < dd->cacheSlots; i++, entry++) {
        // Every node the entry ahead may name is requested: a key that is an operation's tag and
        // an empty or flag result give requests of unmapped addresses, which are dropped.
        if (i + kCleanAhead < dd->cacheSlots) {
            const DdCache &ahead = entry[kCleanAhead];
            __builtin_prefetch(keyNode(ahead.key1));
            __builtin_prefetch(keyNode(ahead.key2));
            __builtin_prefetch(tarnRegular(ahead.key3));
            __builtin_prefetch(tarnRegular(ahead.result));
        }
        if (entry->result == nullptr) continue;
        bool threeOperand = (reinterpret_cast<uintptr_t>(entry->key1) & 2) != 0;
        if (isDeadKey(entry->key1) || isDeadKey(entry->key2) ||
            (threeOperand && tarnRegular(entry->key3)->ref == 0) ||
            (entry->result != reinterpret_cast<DdNode *>(1) &&
             tarnRegular(entry->result)->ref == 0)) {
            tarnCacheEmpty(dd, i);
        }
    }
}

// Unlinks the dead nodes of one subtable; its chains end at end (the sentinel or null).
unsigned unlinkDead(DdSubtable *table, DdNode *end) {
    unsigned deleted = 0;
    for (unsigned j = 0; j < table->slots; j++) {
        tarnPrefetchChainAhead(table->buckets, j, table->slots);
        DdNode **previous = &table->buckets[j];
        for (DdNode *node = *previous; node != end; node = *previous) {
            if (node->ref == 0) {
                *previous = node->next;
                deleted++;
            } else {
                previous = &node->next;
            }
        }
    }
    return deleted;
}

// Unlinks the dead nodes of every subtable of one kind; a count that disagrees with the dead
// counters means corrupted references, and the process stops.
unsigned collectSubtables(DdManager *dd, DdSubtable *tables, int count, DdNode *end) {
    unsigned total = 0;
    for (int level = 0; level < count; level++) {
        DdSubtable *table = &tables[level];
        if (table->dead == 0) continue;
        unsigned deleted = unlinkDead(table, end);
        if (deleted != table->dead) reportDeadCountMismatch(dd, "table", level);
        table->keys -= deleted;
        table->dead = 0;
        total += deleted;
    }
    return total;
}

// One pass over the node blocks, newest block first and each block in address order. Every node
// without a reference joins the free list, in that order; each live node of a subtable that still
// counts dead nodes is linked back into its place in that subtable's emptied, sorted chains and
// counted in the subtable's `relinked`. Once the dead nodes are unlinked, every dead count is 0
// and the pass only rebuilds the free list.
void sweepNodeBlocks(DdManager *dd) {
    const int *perm = dd->perm;
    const auto size = static_cast<uint32_t>(dd->size);
    DdNode **tail = &dd->freeList;
    for (void **block = dd->nodeBlocks; block != nullptr; block = static_cast<void **>(*block)) {
        auto *nodes = reinterpret_cast<DdNode *>(tarnAlign32After(block));
        for (int i = 0; i < TARN_NODES_PER_BLOCK; i++) {
            DdNode *node = &nodes[i];
            if (node->ref == 0) {
                *tail = node;
                tail = &node->next;
                continue;
            }
            if (node->index >= size) continue;  // a constant
            DdSubtable *table = &dd->subtables[perm[node->index]];
            if (table->dead == 0) continue;  // its chains stand as they are
            DdNode **place = tarnFindInChain(
                &table->buckets[tarnHashNode(node->T, node->E, table->shift)], node->T, node->E);
            node->next = *place;
            *place = node;
            table->relinked++;
        }
    }
    *tail = nullptr;
}

// Collects the variable subtables and rebuilds the free list in one sweep of the node blocks: the
// chains of every subtable with dead nodes are emptied and the sweep links the live ones back.
// The chains end up exactly as unlinking the dead nodes would leave them, but the nodes are read
// in address order, not one chain link at a time, and most of a late collection's nodes are
// dead. It needs no memory, as a collection may run when none is left. Only BDD and ADD nodes may
// be in the blocks (no ZDD node, whose level the sweep could not tell), and the constants must
// already be collected, since their chains run through the dead constants' links that the free
// list takes over. Returns the number of nodes removed.
unsigned relinkLiveNodes(DdManager *dd) {
    DdNode *const sentinel = tarnSentinel(dd);
    for (int level = 0; level < dd->size; level++) {
        DdSubtable *table = &dd->subtables[level];
        if (table->dead == 0) continue;
        std::fill(table->buckets, table->buckets + table->slots, sentinel);
        table->relinked = 0;
    }
    sweepNodeBlocks(dd);

    unsigned total = 0;
    for (int level = 0; level < dd->size; level++) {
        DdSubtable *table = &dd->subtables[level];
        if (table->dead == 0) continue;
        const unsigned deleted = table->keys - table->relinked;
        if (deleted != table->dead) reportDeadCountMismatch(dd, "table", level);
        table->keys = table->relinked;
        table->dead = 0;
        total += deleted;
    }
    return total;
}

}  // namespace

int tarnGarbageCollect(DdManager *dd, int clearCache) {
    if (dd->timeLimit != UINT32_MAX && util_cpu_time_ms() - dd->startTime > dd->timeLimit) {
        dd->errorCode = TARN_TIME_OUT;
        return 0;
    }
    tarnClearDelayedQueue(dd);
    tarnRunWaitingReleases(dd);
    if (!runHooks(dd, dd->gcHooksBefore)) return 0;
    if (dd->dead + dd->deadZ == 0) {
        runHooks(dd, dd->gcHooksAfter);
        return 0;
    }
    // While the table is still small and memory is plentiful, growing it beats collecting.
    if (clearCache && dd->deadFraction == TARN_DEAD_FRACTION_MID &&
        tarnCapacitySlots(dd) <= dd->fastGrowthLimit && dd->reserve != nullptr) {
        dd->deadThreshold = tarnDeadThresholdAt(dd, TARN_DEAD_FRACTION_HIGH);
        dd->deadFraction = TARN_DEAD_FRACTION_HIGH;
        return 0;
    }

    uint32_t start = util_cpu_time_ms();
    dd->gcCount++;
    if (clearCache) cleanCache(dd);

    // The constants first: their chains are walked before the one-pass collection below gives
    // the dead constants' links to the free list. A wrong count is reported after the levels'.
    const unsigned constantsDead = dd->constants.dead;
    const unsigned constantsDeleted = constantsDead != 0 ? unlinkDead(&dd->constants, nullptr) : 0;
    const bool sweep = dd->keysZ == 0;
    unsigned total = sweep ? relinkLiveNodes(dd)
                           : collectSubtables(dd, dd->subtables, dd->size, tarnSentinel(dd));
    if (constantsDead != 0) {
        if (constantsDeleted != constantsDead) reportDeadCountMismatch(dd, "constants", -1);
        dd->constants.keys -= constantsDeleted;
        dd->constants.dead = 0;
        total += constantsDeleted;
    }
    if (total != dd->dead) reportDeadCountMismatch(dd, nullptr, -1);
    dd->keys -= total;
    dd->dead = 0;

    unsigned totalZ = collectSubtables(dd, dd->subtablesZ, dd->sizeZ, nullptr);
    if (totalZ != dd->deadZ) reportDeadCountMismatch(dd, nullptr, -1);
    dd->keysZ -= totalZ;
    dd->deadZ = 0;

    if (!sweep) sweepNodeBlocks(dd);
    dd->gcTime += static_cast<int>(util_cpu_time_ms() - start);
    if (!runHooks(dd, dd->gcHooksAfter)) return 0;
    return static_cast<int>(total + totalZ);
}

void Tarn_DelayedDerefBdd(DdManager *dd, DdNode *f) {
    unsigned live = dd->keys - dd->dead;
    if (live > dd->peakLiveNodes) dd->peakLiveNodes = live;
    DdNode *N = tarnRegular(f);
    if (tarnIsConstantRegular(N) || N->ref > 1) {
        N->ref--;
        return;
    }
    DdNode *&slot = dd->delayedQueue[dd->delayedNext];
    if (slot != nullptr) tarnDerefBdd(dd, slot);
    slot = N;
    dd->delayedNext = static_cast<int>((dd->delayedNext + 1) & dd->delayedMask);
}

void Tarn_DeferredDerefBdd(DdManager *dd, DdNode *f) {
    DdNode *N = tarnRegular(f);
    // A release that kills nothing is the plain one.
    if (tarnIsConstantRegular(N) || N->ref != 1) {
        Tarn_DerefBdd(dd, N);
        return;
    }
    // The walk would note the peak before it starts; the node keeps its reference meanwhile.
    const unsigned live = dd->keys - dd->dead;
    if (live > dd->peakLiveNodes) dd->peakLiveNodes = live;
    DdNode *&slot = dd->releaseQueue[dd->releaseNext];
    if (slot != nullptr) {
        Tarn_DerefBdd(dd, slot);
    } else {
        dd->releasesWaiting++;
    }
    slot = N;
    dd->releaseNext = (dd->releaseNext + 1) & (TARN_RELEASE_QUEUE_LENGTH - 1);
}

uint32_t Tarn_ReadCallerRefs(DdManager *dd, DdNode *f) {
    DdNode *N = tarnRegular(f);
    if (dd->releasesWaiting != 0) {
        for (DdNode *waiting : dd->releaseQueue) {
            if (waiting == N) return N->ref - 1;
        }
    }
    return N->ref;
}

void tarnRunWaitingReleasesNow(DdManager *dd) {
    // oldest first: once the ring has wrapped, the oldest entry is the next one to be written
    for (unsigned k = 0; k < TARN_RELEASE_QUEUE_LENGTH; k++) {
        DdNode *&slot = dd->releaseQueue[(dd->releaseNext + k) & (TARN_RELEASE_QUEUE_LENGTH - 1)];
        if (slot == nullptr) continue;
        DdNode *N = slot;
        slot = nullptr;
        Tarn_DerefBdd(dd, N);
    }
    dd->releaseNext = 0;
    dd->releasesWaiting = 0;
}

void tarnClearDelayedQueue(DdManager *dd) {
    for (int i = 0; i < dd->delayedDepth && dd->delayedQueue[i] != nullptr; i++) {
        tarnDerefBdd(dd, dd->delayedQueue[i]);
        dd->delayedQueue[i] = nullptr;
    }
    dd->delayedNext = 0;
}

void tarnShrinkDelayedQueue(DdManager *dd) {
    if (dd->delayedDepth < 4) return;
    int newDepth = dd->delayedDepth / 4;
    for (int i = newDepth; i < dd->delayedDepth && dd->delayedQueue[i] != nullptr; i++) {
        tarnDerefBdd(dd, dd->delayedQueue[i]);
        dd->delayedQueue[i] = nullptr;
    }
    dd->delayedDepth = newDepth;
    dd->delayedMask = static_cast<unsigned>(newDepth - 1);
    if (dd->delayedNext >= newDepth) dd->delayedNext = 0;
    // A failed shrink keeps the longer array, which still works.
    auto **shorter =
        static_cast<DdNode **>(util_realloc(dd->delayedQueue, sizeof(DdNode *) * newDepth));
    if (shorter != nullptr) dd->delayedQueue = shorter;
}
