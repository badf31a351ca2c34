// The unique table: one subtable of ordered chains per level and one for the constants, the node
// allocator with its blocks, free list and reserve, subtable growth, and the creation of variables.
#include <algorithm>
#include <cmath>

#include "../mtr/mtr.h"
#include "tarnInt.h"

namespace {

inline bool sameConstant(double a, double b, double epsilon) {
    uint64_t bitsA, bitsB;
    memcpy(&bitsA, &a, sizeof a);
    memcpy(&bitsB, &b, sizeof b);
    return bitsA == bitsB || std::fabs(a - b) < epsilon;
}

void makeFreshSubtable(DdManager *dd, int level, DdNode **buckets) {
    DdSubtable &table = dd->subtables[level];
    table = DdSubtable{};
    table.buckets = buckets;
    table.slots = dd->initialSlots;
    table.shift = 32;
    for (unsigned s = dd->initialSlots; s > 1; s >>= 1) table.shift--;
    table.keyLimit = tarnKeyLimit(dd, dd->initialSlots);
    table.symmetryNext = static_cast<unsigned>(level);
    std::fill(buckets, buckets + dd->initialSlots, tarnSentinel(dd));
}

// The word after a block's link says how the block was obtained: a block cut from a chunk is freed
// with its chunk, a block of its own with util_free. Every block starts on a 32-byte boundary (a
// chunk is cut in multiples of 32 bytes, a block of its own is allocated so aligned), so its nodes
// start at offset 32 and the word is never part of a node.
static_assert(TARN_BLOCKS_PER_CHUNK * TARN_NODE_BLOCK_BYTES + sizeof(void *) <=
                  TARN_NODE_CHUNK_BYTES,
              "a chunk holds its blocks and its link");
static_assert(TARN_NODE_BLOCK_BYTES % 32 == 0, "blocks cut from a chunk stay 32-byte aligned");

enum NodeBlockKind : uintptr_t { BLOCK_IN_CHUNK = 0, BLOCK_OWN = 1 };

inline uintptr_t &blockKind(void *block) { return static_cast<uintptr_t *>(block)[1]; }

// Threads the nodes of a fresh block onto the (empty) free list in address order.
void addNodeBlock(DdManager *dd, void *block, NodeBlockKind kind) {
    auto **link = static_cast<void **>(block);
    *link = dd->nodeBlocks;
    dd->nodeBlocks = link;
    blockKind(block) = kind;
    auto *nodes = reinterpret_cast<DdNode *>(tarnAlign32After(block));
    for (int i = 0; i < TARN_NODES_PER_BLOCK - 1; i++) {
        nodes[i].ref = 0;
        nodes[i].next = &nodes[i + 1];
    }
    nodes[TARN_NODES_PER_BLOCK - 1].ref = 0;
    nodes[TARN_NODES_PER_BLOCK - 1].next = nullptr;
    dd->freeList = nodes;
    dd->memoryInUse += TARN_NODE_BLOCK_BYTES;
}

// The next block of the current chunk, mapping a new chunk when it is used up; null when no chunk
// can be mapped. Chunks keep the nodes, which every unique-table probe reads at random, on huge
// pages.
void *cutNodeBlock(DdManager *dd) {
    if (dd->chunkBlocksLeft == 0) {
        char *chunk = static_cast<char *>(util_map_huge(TARN_NODE_CHUNK_BYTES));
        if (chunk == nullptr) return nullptr;
        tarnChunkLink(chunk) = dd->nodeChunks;
        dd->nodeChunks = chunk;
        dd->chunkNext = chunk;
        dd->chunkBlocksLeft = TARN_BLOCKS_PER_CHUNK;
    }
    void *block = dd->chunkNext;
    dd->chunkNext += TARN_NODE_BLOCK_BYTES;
    dd->chunkBlocksLeft--;
    return block;
}

// Whether the node count has reached the reordering threshold; waiting releases run first when
// it seems so, since their nodes may not count.
bool reorderDue(DdManager *dd) {
    auto reached = [dd] {
        return dd->keys - (dd->deadCountMask & dd->dead) >= dd->reorderThreshold;
    };
    if (!reached()) return false;
    if (dd->releasesWaiting == 0) return true;
    tarnRunWaitingReleases(dd);
    return reached();
}

// Runs the automatic reordering that the node count asked for. True when the node request must
// return null: the reordering ran (reorderState 1, the operation restarts), failed (reorderState
// 2), or the time limit or the termination callback stops the operation after it.
bool autoReorderInterrupts(DdManager *dd) {
    const int countBefore = dd->reorderCount;
    const int reordered = Tarn_Reorder(dd, dd->autoReorderMethod, 10);
    dd->reorderBudget--;
    if (reordered == 0) {
        dd->reorderState = 2;
        return true;
    }
    // The driver found too few nodes to reorder: nothing moved, so the node is made at once
    // rather than failing the operation without a reason.
    if (dd->reorderCount == countBefore) return false;
    if (dd->terminationCallback != nullptr && dd->terminationCallback(dd->terminationArg)) {
        dd->errorCode = TARN_TERMINATED;
        dd->reorderState = 0;
        return true;
    }
    const uint32_t elapsed = util_cpu_time_ms() - dd->startTime;
    if (elapsed > dd->timeLimit) {
        dd->errorCode = TARN_TIME_OUT;
        dd->reorderState = 0;
        return true;
    }
    if (dd->timeLimit - elapsed < static_cast<uint32_t>(dd->reorderTime)) dd->autoReorder = 0;
    return true;
}

}  // namespace

bool tarnGiveUpChecksPass(DdManager *dd) {
    if (dd->terminationCallback != nullptr && dd->terminationCallback(dd->terminationArg)) {
        dd->errorCode = TARN_TERMINATED;
        return false;
    }
    // An unlimited budget can never be exceeded, so the clock is read only under a limit.
    if (dd->timeLimit != UINT32_MAX && util_cpu_time_ms() - dd->startTime > dd->timeLimit) {
        dd->errorCode = TARN_TIME_OUT;
        return false;
    }
    return true;
}

DdNode *tarnUniqueInter(DdManager *dd, int index, DdNode *T, DdNode *E) {
    if ((static_cast<uint64_t>(dd->cacheMisses) & TARN_GIVE_UP_CHECK_MASK) == 0 &&
        !tarnGiveUpChecksPass(dd)) {
        return nullptr;
    }
    if (index >= dd->size) {
        int amount = dd->size < 120 ? 5 : dd->size / 20;
        if (!tarnResizeTable(dd, index, amount)) return nullptr;
    }

    int level = dd->perm[index];
    DdSubtable *table = &dd->subtables[level];
    DdNode **previous = tarnFindInChain(&table->buckets[tarnHashNode(T, E, table->shift)], T, E);
    DdNode *looking = *previous;
    if (looking->T == T && looking->E == E) {
        if (looking->ref == 0) tarnReclaim(dd, looking);
        return looking;
    }

    // dynamic reordering: the caller gets no node and restarts its operation on the new order
    if (dd->autoReorder && dd->reorderBudget != 0 && reorderDue(dd) &&
        autoReorderInterrupts(dd)) {
        return nullptr;
    }

    if (table->keys > table->keyLimit) {
        bool collect = dd->gcEnabled &&
                       (dd->dead > dd->deadThreshold ||
                        (dd->dead > dd->deadThreshold / 2 &&
                         static_cast<double>(table->dead) > 0.95 * static_cast<double>(table->keys)));
        if (collect) {
            if (!tarnGiveUpChecksPass(dd)) return nullptr;
            tarnGarbageCollect(dd, 1);
        } else {
            tarnRehash(dd, level);
        }
        previous = tarnFindInChain(&table->buckets[tarnHashNode(T, E, table->shift)], T, E);
    }

    int gcNumber = dd->gcCount;
    DdNode *node = tarnAllocNode(dd);
    if (node == nullptr) return nullptr;
    dd->keys++;
    table->keys++;
    if (gcNumber != dd->gcCount) {
        // The allocator collected: the chain may have lost nodes around the remembered place.
        previous = tarnFindInChain(&table->buckets[tarnHashNode(T, E, table->shift)], T, E);
    }

    node->index = static_cast<uint32_t>(index);
    node->ref = 0;
    node->T = T;
    node->E = E;
    node->next = *previous;
    *previous = node;
    T->ref++;
    tarnRegular(E)->ref++;
    return node;
}

DdNode *tarnUniqueConst(DdManager *dd, double value) {
    DdSubtable *table = &dd->constants;
    if (table->keys > table->keyLimit) {
        if (dd->gcEnabled &&
            (dd->dead > dd->deadThreshold || 10 * table->dead > 9 * table->keys)) {
            if (!tarnGiveUpChecksPass(dd)) return nullptr;
            tarnGarbageCollect(dd, 1);
        } else {
            tarnRehash(dd, static_cast<int>(TARN_MAXINDEX));
        }
    }

    if (value >= TARN_INFINITY_THRESHOLD) {
        value = TARN_PLUS_INFINITY_VALUE;
    } else if (value <= -TARN_INFINITY_THRESHOLD) {
        value = TARN_MINUS_INFINITY_VALUE;
    } else if (std::fabs(value) < dd->epsilon) {
        // Zero is the ADD zero, never another constant that happens to lie within the tolerance
        // of it in the same chain.
        if (dd->zero != nullptr) return dd->zero;
        value = 0.0;
    }

    // Values match when they are within epsilon, or when their bit patterns are equal: a NaN
    // leaf is then one node like any other value instead of a new node on every request.
    for (DdNode *looking = table->buckets[tarnHashConst(value, table->shift)]; looking != nullptr;
         looking = looking->next) {
        if (sameConstant(looking->value, value, dd->epsilon)) {
            if (looking->ref == 0) tarnReclaim(dd, looking);
            return looking;
        }
    }

    DdNode *node = tarnAllocNode(dd);
    if (node == nullptr) return nullptr;
    dd->keys++;
    table->keys++;
    node->index = TARN_MAXINDEX;
    node->ref = 0;
    node->value = value;
    node->E = nullptr;
    DdNode **bucket = &table->buckets[tarnHashConst(value, table->shift)];
    node->next = *bucket;
    *bucket = node;
    return node;
}

DdNode *tarnAllocNode(DdManager *dd) {
    if (dd->freeList == nullptr) {
        if (!tarnGiveUpChecksPass(dd)) return nullptr;
        // nodes whose releases wait count as live only until those releases run
        auto overLimit = [dd] {
            return dd->keys + dd->keysZ - dd->dead - dd->deadZ > dd->liveLimit;
        };
        if (overLimit()) tarnRunWaitingReleases(dd);
        if (overLimit()) {
            dd->errorCode = TARN_TOO_MANY_NODES;
            return nullptr;
        }
        if (dd->reserve == nullptr || dd->memoryInUse > dd->memoryHardLimit) {
            tarnGarbageCollect(dd, 1);
        }
        if (dd->freeList == nullptr) {
            if (dd->memoryInUse > dd->memoryHardLimit) {
                dd->errorCode = TARN_MEMORY_LIMIT;
                return nullptr;
            }
            void *block = cutNodeBlock(dd);
            NodeBlockKind kind = BLOCK_IN_CHUNK;
            if (block == nullptr) {
                block = tarnGuardedMallocAligned(dd, 32, TARN_NODE_BLOCK_BYTES);
                kind = BLOCK_OWN;
            }
            if (block == nullptr) {
                tarnGarbageCollect(dd, 1);
                if (dd->freeList == nullptr) {
                    if (dd->reserve != nullptr) {
                        util_free(dd->reserve);
                        dd->reserve = nullptr;
                        tarnEnterLowMemoryMode(dd);
                        block = util_malloc_aligned(32, TARN_NODE_BLOCK_BYTES);
                    } else if (util_out_of_memory != nullptr) {
                        util_out_of_memory(TARN_NODE_BLOCK_BYTES);
                    }
                    if (block == nullptr) {
                        dd->errorCode = TARN_OUT_OF_MEMORY;
                        return nullptr;
                    }
                }
            }
            if (block != nullptr) addNodeBlock(dd, block, kind);
        }
    }
    dd->nodesAllocated++;
    DdNode *node = dd->freeList;
    dd->freeList = node->next;
    return node;
}

void tarnFreeNodeBlocks(DdManager *dd) {
    void **block = dd->nodeBlocks;
    while (block != nullptr) {
        auto **previous = static_cast<void **>(*block);
        if (blockKind(block) == BLOCK_OWN) util_free(block);
        block = previous;
    }
    void *chunk = dd->nodeChunks;
    while (chunk != nullptr) {
        void *previous = tarnChunkLink(chunk);
        util_unmap_huge(chunk, TARN_NODE_CHUNK_BYTES);
        chunk = previous;
    }
    dd->nodeBlocks = nullptr;
    dd->freeList = nullptr;
    dd->nodeChunks = nullptr;
    dd->chunkNext = nullptr;
    dd->chunkBlocksLeft = 0;
}

void tarnRehash(DdManager *dd, int level) {
    if (dd->deadFraction == TARN_DEAD_FRACTION_HIGH &&
        tarnCapacitySlots(dd) > dd->fastGrowthLimit) {
        dd->deadFraction = TARN_DEAD_FRACTION_MID;
        dd->deadThreshold = tarnDeadThresholdAt(dd, TARN_DEAD_FRACTION_MID);
    }
    if (dd->deadFraction != TARN_DEAD_FRACTION_LOW && dd->memoryInUse > dd->memorySoftLimit) {
        dd->deadFraction = TARN_DEAD_FRACTION_LOW;
        dd->deadThreshold = tarnDeadThresholdAt(dd, TARN_DEAD_FRACTION_LOW);
        tarnShrinkDelayedQueue(dd);
        if (tarnGarbageCollect(dd, 1) > 0) return;
    }

    bool isConstants = level == static_cast<int>(TARN_MAXINDEX);
    DdSubtable *table = isConstants ? &dd->constants : &dd->subtables[level];
    unsigned oldSlots = table->slots;
    unsigned newSlots = oldSlots << 1;
    auto **newBuckets =
        static_cast<DdNode **>(tarnGuardedMalloc(dd, sizeof(DdNode *) * newSlots));
    if (newBuckets != nullptr) util_advise_huge(newBuckets, sizeof(DdNode *) * newSlots);
    if (newBuckets == nullptr) {
        if (isConstants) {
            fprintf(dd->err, "Unable to resize constant subtable for lack of memory\n");
            tarnGarbageCollect(dd, 1);
            for (int i = 0; i < dd->size; i++) dd->subtables[i].keyLimit <<= 1;
            dd->constants.keyLimit <<= 1;
        } else {
            fprintf(dd->err, "Unable to resize subtable %d for lack of memory\n", level);
            tarnGarbageCollect(dd, 1);
            if (dd->reserve != nullptr) {
                util_free(dd->reserve);
                dd->reserve = nullptr;
                tarnEnterLowMemoryMode(dd);
            }
        }
        return;
    }

    DdNode **oldBuckets = table->buckets;
    int newShift = table->shift - 1;
    if (isConstants) {
        std::fill(newBuckets, newBuckets + newSlots, nullptr);
        for (unsigned j = 0; j < oldSlots; j++) {
            DdNode *node = oldBuckets[j];
            while (node != nullptr) {
                DdNode *next = node->next;
                DdNode **bucket = &newBuckets[tarnHashConst(node->value, newShift)];
                node->next = *bucket;
                *bucket = node;
                node = next;
            }
        }
    } else {
        // Chain j splits into 2j and 2j+1 by the next hash bit; appending keeps both in order.
        DdNode *sentinel = tarnSentinel(dd);
        for (unsigned j = 0; j < oldSlots; j++) {
            tarnPrefetchChainAhead(oldBuckets, j, oldSlots);
            DdNode **even = &newBuckets[2 * j];
            DdNode **odd = &newBuckets[2 * j + 1];
            for (DdNode *node = oldBuckets[j]; node != sentinel; node = node->next) {
                if (tarnHashNode(node->T, node->E, newShift) & 1) {
                    *odd = node;
                    odd = &node->next;
                } else {
                    *even = node;
                    even = &node->next;
                }
            }
            *even = sentinel;
            *odd = sentinel;
        }
    }
    table->buckets = newBuckets;
    table->slots = newSlots;
    table->shift = newShift;
    table->keyLimit = tarnKeyLimit(dd, newSlots);
    util_free(oldBuckets);

    dd->slots += oldSlots;
    dd->memoryInUse += sizeof(DdNode *) * oldSlots;
    dd->deadThreshold = tarnDeadThresholdAt(dd, dd->deadFraction);
    tarnUpdateCacheRoom(dd);
}

void tarnUpdateCacheRoom(DdManager *dd) {
    dd->cacheRoom = tarnCacheRoomFor(dd, dd->cacheSlots);
    if (dd->cacheSlots < tarnCapacitySlots(dd) / 2 && dd->cacheRoom >= 0) tarnCacheResize(dd);
}

void tarnLowMemoryAdjustments(DdManager *dd) {
    dd->cacheRoom = -static_cast<int>(dd->cacheSlots + 1);
    dd->cacheHardLimit = dd->cacheSlots - 1;
    for (int i = 0; i < dd->size; i++) dd->subtables[i].keyLimit <<= 2;
    dd->deadFraction = TARN_DEAD_FRACTION_LOW;
    dd->deadThreshold = tarnDeadThresholdAt(dd, TARN_DEAD_FRACTION_LOW);
}

void tarnEnterLowMemoryMode(DdManager *dd) {
    tarnLowMemoryAdjustments(dd);
    tarnShrinkDelayedQueue(dd);
}

int tarnResizeTable(DdManager *dd, int index, int amount) {
    const int oldSize = dd->size;
    const int added = index - oldSize + 1;
    const unsigned slots = dd->initialSlots;

    // Bucket arrays of the new levels, made first so that a failure changes nothing else.
    auto **newBuckets = util_alloc_array<DdNode **>(added);
    if (newBuckets == nullptr) {
        dd->errorCode = TARN_OUT_OF_MEMORY;
        return 0;
    }
    for (int k = 0; k < added; k++) {
        newBuckets[k] = static_cast<DdNode **>(tarnGuardedMalloc(dd, sizeof(DdNode *) * slots));
        if (newBuckets[k] == nullptr) {
            for (int m = 0; m < k; m++) util_free(newBuckets[m]);
            util_free(newBuckets);
            dd->errorCode = TARN_OUT_OF_MEMORY;
            return 0;
        }
    }

    if (index >= dd->capacity) {
        const int newCapacity = index + amount;
        const int oldCapacity = dd->capacity;
        auto *subtables = util_alloc_array<DdSubtable>(newCapacity);
        auto **vars = util_alloc_array<DdNode *>(newCapacity);
        auto *perm = util_alloc_array<int>(newCapacity);
        auto *invperm = util_alloc_array<int>(newCapacity);
        int *varMap = dd->varMap != nullptr ? util_alloc_array<int>(newCapacity) : nullptr;
        DdNode **stack = newCapacity > dd->capacityZ
                             ? util_alloc_array<DdNode *>(newCapacity + 1)
                             : dd->derefStack;
        if (subtables == nullptr || vars == nullptr || perm == nullptr || invperm == nullptr ||
            (dd->varMap != nullptr && varMap == nullptr) || stack == nullptr) {
            util_free(subtables);
            util_free(vars);
            util_free(perm);
            util_free(invperm);
            util_free(varMap);
            if (stack != dd->derefStack) util_free(stack);
            for (int k = 0; k < added; k++) util_free(newBuckets[k]);
            util_free(newBuckets);
            dd->errorCode = TARN_OUT_OF_MEMORY;
            return 0;
        }
        dd->memoryInUse += static_cast<uint64_t>(newCapacity - oldCapacity) * (slots + 9) * 8;
        if (varMap != nullptr) dd->memoryInUse += static_cast<uint64_t>(newCapacity - oldCapacity) * 4;
        for (int i = 0; i < oldSize; i++) {
            subtables[i] = dd->subtables[i];
            subtables[i].symmetryNext = static_cast<unsigned>(i);
            vars[i] = dd->vars[i];
            perm[i] = dd->perm[i];
            invperm[i] = dd->invperm[i];
            if (varMap != nullptr) varMap[i] = dd->varMap[i];
        }
        std::fill(vars + oldSize, vars + newCapacity, nullptr);
        if (stack != dd->derefStack) {
            stack[0] = nullptr;
            util_free(dd->derefStack);
            dd->derefStack = stack;
        }
        util_free(dd->subtables);
        util_free(dd->vars);
        util_free(dd->perm);
        util_free(dd->invperm);
        util_free(dd->varMap);
        dd->subtables = subtables;
        dd->vars = vars;
        dd->perm = perm;
        dd->invperm = invperm;
        dd->varMap = varMap;
        dd->capacity = newCapacity;
    }

    for (int i = oldSize; i <= index; i++) {
        makeFreshSubtable(dd, i, newBuckets[i - oldSize]);
        dd->perm[i] = dd->invperm[i] = i;
        if (dd->varMap != nullptr) dd->varMap[i] = i;
    }
    util_free(newBuckets);

    const unsigned oldSlots = dd->slots;
    const unsigned oldDeadThreshold = dd->deadThreshold;
    const int oldCacheRoom = dd->cacheRoom;
    dd->size = index + 1;
    if (dd->groupTree != nullptr) {
        dd->groupTree->size = std::max<uint32_t>(dd->groupTree->size, static_cast<uint32_t>(dd->size));
    }
    dd->slots += static_cast<unsigned>(added) * slots;
    dd->deadThreshold = tarnDeadThresholdAt(dd, dd->deadFraction);
    tarnUpdateCacheRoom(dd);

    // The projection functions are made with reordering off: a reordering now would run on a
    // half-built table.
    const int savedAutoReorder = dd->autoReorder;
    dd->autoReorder = 0;
    for (int i = oldSize; i <= index; i++) {
        DdNode *var = tarnUniqueInter(dd, i, dd->one, tarnNot(dd->one));
        if (var == nullptr) {
            dd->autoReorder = savedAutoReorder;
            // Undo: the projections made so far die and go straight back to the free list.
            for (int j = oldSize; j < i; j++) {
                DdNode *made = dd->vars[j];
                Tarn_RecursiveDeref(dd, made);
                dd->vars[j] = nullptr;
                dd->keys--;
                dd->dead--;
                made->next = dd->freeList;
                dd->freeList = made;
            }
            for (int j = oldSize; j <= index; j++) util_free(dd->subtables[j].buckets);
            dd->size = oldSize;
            dd->slots = oldSlots;
            dd->deadThreshold = oldDeadThreshold;
            dd->cacheRoom = oldCacheRoom;
            return 0;
        }
        Tarn_Ref(var);
        dd->vars[i] = var;
    }
    dd->autoReorder = savedAutoReorder;
    return 1;
}

DdNode *Tarn_BddIthVar(DdManager *dd, int i) {
    if (static_cast<uint32_t>(i) >= TARN_MAX_VARIABLE_INDEX) {
        dd->errorCode = TARN_INVALID_ARGUMENT;
        return nullptr;
    }
    if (i < dd->size) return dd->vars[i];
    return tarnUniqueInter(dd, i, dd->one, tarnNot(dd->one));
}

DdNode *Tarn_BddNewVar(DdManager *dd) {
    if (static_cast<uint32_t>(dd->size) >= TARN_MAX_VARIABLE_INDEX) {
        dd->errorCode = TARN_INVALID_ARGUMENT;
        return nullptr;
    }
    return tarnUniqueInter(dd, dd->size, dd->one, tarnNot(dd->one));
}

namespace {
DdNode *addProjection(DdManager *dd, int i) {
    DdNode *result;
    do {
        dd->reorderState = 0;
        result = tarnUniqueInter(dd, i, dd->one, dd->zero);
    } while (dd->reorderState == 1);
    if (dd->errorCode == TARN_TIME_OUT && dd->timeoutHandler != nullptr) {
        dd->timeoutHandler(dd, dd->timeoutArg);
    }
    return result;
}
}  // namespace

DdNode *Tarn_AddIthVar(DdManager *dd, int i) {
    if (static_cast<uint32_t>(i) >= TARN_MAX_VARIABLE_INDEX) {
        dd->errorCode = TARN_INVALID_ARGUMENT;
        return nullptr;
    }
    return addProjection(dd, i);
}

DdNode *Tarn_AddNewVar(DdManager *dd) {
    if (static_cast<uint32_t>(dd->size) >= TARN_MAX_VARIABLE_INDEX) {
        dd->errorCode = TARN_INVALID_ARGUMENT;
        return nullptr;
    }
    return addProjection(dd, dd->size);
}
