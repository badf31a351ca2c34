// Internal records and steps of the package: the node, the unique subtables, the manager, and the
// small inline helpers that every operation shares. Only the package's own files include this.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "../util/util.h"
#include "tarn.h"

struct MtrNode;

// ---- records ---------------------------------------------------------------------------------

// One node: 32 bytes at a 32-byte boundary, so the five low address bits are free (bit 0 marks a
// complemented handle, bits 1 to 3 carry computed-table tags). A constant keeps its value in the
// place of the then-child.
struct alignas(32) DdNode {
    uint32_t index;  // variable index; TARN_MAXINDEX for constants
    uint32_t ref;    // reference count; 0 means dead
    DdNode *next;    // unique-table chain or free list; bit 0 is a traversal's visit mark
    union {
        DdNode *T;     // then-child, always regular
        double value;  // constant value
    };
    DdNode *E;  // else-child; the only stored edge that may be complemented
};
static_assert(sizeof(DdNode) == 32, "nodes are 32 bytes");
static_assert(alignof(DdNode) == 32, "nodes are 32-byte aligned");

// One level's unique subtable (also used for the constants).
struct DdSubtable {
    DdNode **buckets;       // chain heads
    int shift;              // 32 - log2(slots)
    unsigned slots;         // buckets, a power of two
    unsigned keys;          // nodes, dead ones included
    unsigned keyLimit;      // above this the subtable grows or a collection is considered
    unsigned dead;          // dead nodes
    unsigned relinked;      // during a collection: live nodes linked back into emptied chains
    unsigned symmetryNext;  // next level of this level's symmetry group
    int bound;
    int varKind;
    int pairIndex;
    int handled;
    int groupState;
    // During a reordering: a bit per bucket, set while its chain holds a node (null otherwise, or
    // when it could not be had), so that a swap visits only the occupied buckets of a sparse level.
    uint64_t *occupied;
};

// One computed-table entry; an entry whose result is null is empty.
struct DdCache {
    DdNode *key1;
    DdNode *key2;
    DdNode *key3;
    DdNode *result;
};
static_assert(sizeof(DdCache) == 32, "computed-table entries are 32 bytes");

struct DdHook {
    DD_HFP f;
    DdHook *next;
};

struct DdLocalCache;
struct DdPermutationRegistry;

// Releases of outside callers that wait before their walks run (a power of two).
constexpr unsigned TARN_RELEASE_QUEUE_LENGTH = 8;

struct DdManager {
    DdNode sentinel;  // every chain of a variable subtable ends here
    DdNode *one;
    DdNode *zero;
    DdNode *plusInfinity;
    DdNode *minusInfinity;
    DdNode *background;
    // computed table: a large one in a mapping of its own (cacheMapped bytes, cacheMemory null),
    // a small one on the heap (cacheMemory the block, cacheMapped 0)
    DdCache *cacheMemory;
    size_t cacheMapped;
    DdCache *cache;
    // One byte per entry: the tag of the keys in it (tarnCacheTagOf), 0 for an empty entry. The
    // tags fit in the processor's caches where the entries do not, so a probe whose tag differs
    // answers a miss without waiting for the entry. A table of more than cacheTagLimit entries has
    // none (null): its tags would no longer stay in those caches, and a hit would wait for the tag
    // and then for the entry. Like the renamings' registry, the array is not counted in
    // memoryInUse, which the report prints as the table's entries alone.
    uint8_t *cacheTags;
    unsigned cacheTagLimit;
    unsigned cacheSlots;
    int cacheShift;
    double cacheMisses;
    double cacheHits;
    double hitRatioThreshold;
    int cacheRoom;
    unsigned cacheHardLimit;
    unsigned cacheSoftFactor;  // entries the table may reach per bucket of the unique table
    // identities of the renamings whose results the computed table keeps across calls
    DdPermutationRegistry *permutations;
    // unique table
    int size;
    int sizeZ;
    int capacity;
    int capacityZ;
    DdSubtable *subtables;
    DdSubtable *subtablesZ;
    DdSubtable constants;
    unsigned slots;
    unsigned keys;
    unsigned keysZ;
    unsigned dead;
    unsigned deadZ;
    unsigned liveLimit;
    unsigned deadThreshold;
    int gcEnabled;
    double deadFraction;
    unsigned fastGrowthLimit;
    unsigned keysPerSlot;  // nodes per bucket a subtable holds before it grows or collects
    unsigned initialSlots;
    DdNode **derefStack;
    double nodesAllocated;
    double nodesReclaimed;
    int *perm;
    int *permZ;
    int *invperm;
    int *invpermZ;
    DdNode **vars;
    int *varMap;
    DdNode **zddUniverse;
    int isolatedCount;
    unsigned siftStartSize;
    int linearSize;
    void *interaction;
    void *linearMatrix;
    // node memory
    void **nodeBlocks;  // newest block; each block's first word links the previous one
    // Node blocks are cut from chunks backed by huge pages while chunks can be had; each chunk's
    // tail word links the previous chunk.
    void *nodeChunks;
    char *chunkNext;
    int chunkBlocksLeft;
    DdNode *freeList;
    char *reserve;
    // delayed release
    DdNode **delayedQueue;
    int delayedDepth;
    int delayedNext;
    unsigned delayedMask;
    // Outside callers' releases whose walks wait (Tarn_DeferredDerefBdd): each non-null entry holds
    // the last reference of its node; releaseNext is the oldest entry once the ring is full.
    DdNode *releaseQueue[TARN_RELEASE_QUEUE_LENGTH];
    unsigned releaseNext;
    unsigned releasesWaiting;
    double epsilon;
    // reordering
    int reorderState;
    int reorderCount;
    unsigned reorderBudget;
    int siftVarLimit;
    int siftSwapLimit;
    int swapCount;
    int swapCountZ;
    int altGrowthPeriod;
    double siftGrowthLimit;
    double siftGrowthLimitAlt;
    int autoReorder;
    int autoReorderZ;
    int autoReorderMethod;
    int autoReorderMethodZ;
    int realignZddToBdd;
    int realignBddToZdd;
    unsigned reorderThreshold;
    unsigned deadCountMask;
    MtrNode *groupTree;
    MtrNode *groupTreeZ;
    int groupCheck;
    int recombThreshold;
    int symmetryViolation;
    int arcViolation;
    int gaPopulation;
    int gaCrossovers;
    unsigned randomizeMask;
    DdLocalCache *localCaches;
    DdHook *gcHooksBefore;
    DdHook *gcHooksAfter;
    DdHook *reorderHooksBefore;
    DdHook *reorderHooksAfter;
    // output, errors, limits
    FILE *out;
    FILE *err;
    int errorCode;
    uint32_t startTime;
    uint32_t timeLimit;
    DD_THFP terminationCallback;
    const void *terminationArg;
    DD_OOMFP outOfMemoryHandler;
    DD_TOHFP timeoutHandler;
    void *timeoutArg;
    uint64_t memoryInUse;
    uint64_t memorySoftLimit;
    uint64_t memoryHardLimit;
    // statistics
    int gcCount;
    int gcTime;
    int reorderTime;
    double cacheHitsBefore;
    double cacheMissesBefore;
    double cacheCollisions;
    double cacheInserts;
    double cacheInsertsAtResize;
    double cacheDeletions;
    unsigned peakLiveNodes;
    // pseudo-random generator of reordering: two generator states, the shuffle selector and the
    // shuffle table; all zero until the first draw seeds them
    int32_t randomState1;
    int32_t randomState2;
    int32_t randomSelector;
    int32_t randomTable[64];
};

// ---- constants of the node store -----------------------------------------------------------

// A node block: a link word, then 1022 nodes from the first 32-byte boundary after the link.
constexpr size_t TARN_NODE_BLOCK_BYTES = 32736;
constexpr int TARN_NODES_PER_BLOCK = 1022;
// A chunk of node blocks: one huge page cut into 64 blocks; its last word links the previous
// chunk.
constexpr size_t TARN_NODE_CHUNK_BYTES = size_t{1} << 21;
constexpr int TARN_BLOCKS_PER_CHUNK =
    static_cast<int>(TARN_NODE_CHUNK_BYTES / TARN_NODE_BLOCK_BYTES);
inline void *&tarnChunkLink(void *chunk) {
    return *reinterpret_cast<void **>(static_cast<char *>(chunk) + TARN_NODE_CHUNK_BYTES -
                                      sizeof(void *));
}
// Variable indices from here on are refused.
constexpr uint32_t TARN_MAX_VARIABLE_INDEX = 2147483646u;
constexpr int TARN_DEFAULT_SLOTS = 8;
constexpr double TARN_PLUS_INFINITY_VALUE = 1e302;
constexpr double TARN_MINUS_INFINITY_VALUE = -1e302;
// Values at or beyond these magnitudes are normalised to the infinities.
constexpr double TARN_INFINITY_THRESHOLD = 1e151;
constexpr double TARN_DEFAULT_EPSILON = 1e-12;
constexpr double TARN_DEAD_FRACTION_HIGH = 4.0;
constexpr double TARN_DEAD_FRACTION_MID = 1.0;
constexpr double TARN_DEAD_FRACTION_LOW = 0.2;
// Measured defaults (bench/README.md): a computed table starts with at most this many entries,
// whatever size is asked for, and grows from there by its hit rate and with the unique table; the
// fast-growth limit that Tarn_SetFastGrowthLimit(0) derives from the memory size is at most this
// many buckets, so that a large table collects its dead nodes instead of growing past them.
constexpr unsigned TARN_CACHE_START_LIMIT = 1u << 18;
constexpr unsigned TARN_FAST_GROWTH_LIMIT_CAP = 1u << 16;
// A subtable grows (or collects) when it holds more than this many nodes per bucket; the
// collection threshold, the fast-growth limit and the computed table's room are counted in
// buckets of this many nodes (see tarnCapacitySlots). Tarn_SetKeysPerSlot changes the density.
constexpr unsigned TARN_KEYS_PER_SLOT = 4;
// The density Tarn_SetKeysPerSlot(0) sets: shorter chains for 4 more bytes of buckets per node.
constexpr unsigned TARN_MEASURED_KEYS_PER_SLOT = 2;
// The largest computed table with tags (TARN_CACHE_TAG_LIMIT bytes of them, a quarter of the
// last-level cache of the machines measured); a larger one probes its entries directly.
constexpr unsigned TARN_CACHE_TAG_LIMIT = 1u << 21;
// Densities above this are taken as this: the key limits must not overflow.
constexpr unsigned TARN_MAX_KEYS_PER_SLOT = 64;
// The computed table grows (by its hit rate) up to this many entries per bucket of the unique
// table, counted at TARN_KEYS_PER_SLOT nodes per bucket: its soft limit.
constexpr unsigned TARN_CACHE_SOFT_FACTOR = 4;
// The factor Tarn_SetCacheSoftFactor(0) sets: a table that stays in the processor's caches longer
// before it is allowed to double (bench/README.md).
constexpr unsigned TARN_MEASURED_CACHE_SOFT_FACTOR = 3;
// Factors above this are taken as this.
constexpr unsigned TARN_MAX_CACHE_SOFT_FACTOR = 64;
// Multipliers of the unique-table hash functions.
constexpr uint32_t TARN_P1 = 12582917u;
constexpr uint32_t TARN_P2 = 4256249u;
constexpr uint32_t TARN_P1P2 = 2080684509u;  // TARN_P1 * TARN_P2 mod 2^32
// The give-up checks of the unique table run when the low 17 bits of the miss count are zero.
constexpr uint64_t TARN_GIVE_UP_CHECK_MASK = (1u << 17) - 1;
constexpr unsigned TARN_DEFAULT_REORDER_THRESHOLD = 4004;

// ---- handle helpers ------------------------------------------------------------------------

inline DdNode *tarnRegular(DdNode *f) { return Tarn_Regular(f); }
inline DdNode *tarnNot(DdNode *f) { return Tarn_Not(f); }
inline DdNode *tarnNotCond(DdNode *f, bool c) { return Tarn_NotCond(f, c); }
inline bool tarnIsComplement(DdNode *f) { return Tarn_IsComplement(f); }
inline bool tarnIsConstantRegular(const DdNode *n) { return n->index == TARN_MAXINDEX; }
inline uint32_t tarnLo32(const void *p) {
    return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p));
}
inline DdNode *tarnSentinel(DdManager *dd) { return &dd->sentinel; }

// The node count at which a subtable of `slots` buckets grows or collects.
inline unsigned tarnKeyLimit(const DdManager *dd, unsigned slots) {
    return dd->keysPerSlot * slots;
}
// The unique table's bucket count as it would be at TARN_KEYS_PER_SLOT nodes per bucket. The
// collection threshold, the fast-growth limit and the computed table's room are measured in it,
// so that for the same number of nodes they stay the same whatever the density.
inline uint64_t tarnCapacitySlots(const DdManager *dd) {
    return static_cast<uint64_t>(dd->slots) * dd->keysPerSlot / TARN_KEYS_PER_SLOT;
}
inline unsigned tarnDeadThresholdAt(const DdManager *dd, double fraction) {
    return static_cast<unsigned>(static_cast<double>(tarnCapacitySlots(dd)) * fraction);
}
// Entries the computed table may still grow by: up to the hard limit, and up to the soft factor's
// entries per bucket of the unique table (counted as above).
inline int tarnCacheRoomFor(const DdManager *dd, unsigned cacheSlots) {
    const int64_t soft = static_cast<int64_t>(dd->cacheSoftFactor) *
                         static_cast<int64_t>(tarnCapacitySlots(dd));
    const int64_t room = std::min<int64_t>(dd->cacheHardLimit, soft) - 2ll * cacheSlots;
    return static_cast<int>(std::clamp<int64_t>(room, INT32_MIN, INT32_MAX));
}
// Reference counting inside the package (Tarn_Ref and Tarn_DecRef are the same, out of line).
inline void tarnRef(DdNode *f) { tarnRegular(f)->ref++; }
inline void tarnDecRef(DdNode *f) { tarnRegular(f)->ref--; }

// Tarn_DerefBdd with its common case inline: a node that keeps other references only loses one.
// The peak of live nodes is noted first, as every release does.
inline void tarnDerefBdd(DdManager *dd, DdNode *f) {
    DdNode *N = tarnRegular(f);
    if (N->ref > 1) {
        const unsigned live = dd->keys - dd->dead;
        if (live > dd->peakLiveNodes) dd->peakLiveNodes = live;
        N->ref--;
        return;
    }
    Tarn_DerefBdd(dd, f);
}

// Level of a handle; constants sit below every variable level.
inline uint32_t tarnLevel(const DdManager *dd, DdNode *f) {
    const DdNode *n = tarnRegular(f);
    return n->index == TARN_MAXINDEX ? TARN_MAXINDEX : static_cast<uint32_t>(dd->perm[n->index]);
}

// Cofactors of a handle with respect to its own top variable, complement applied.
inline DdNode *tarnThenOf(DdNode *f) { return tarnNotCond(tarnRegular(f)->T, tarnIsComplement(f)); }
inline DdNode *tarnElseOf(DdNode *f) { return tarnNotCond(tarnRegular(f)->E, tarnIsComplement(f)); }

// Hash of a computed-table entry's keys. Its top bits are the entry's slot, so that a resize can
// move entries by their stored keys alone; the eight bits below them are the entry's tag.
inline uint32_t tarnCacheRawHash(DdNode *key1, DdNode *key2, DdNode *key3) {
    uint32_t k13 = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(key3) +
                                         reinterpret_cast<uintptr_t>(key1));
    return k13 * TARN_P1P2 + tarnLo32(key2) * TARN_P2;
}
inline uint32_t tarnCacheHash(DdNode *key1, DdNode *key2, DdNode *key3, int shift) {
    return tarnCacheRawHash(key1, key2, key3) >> shift;
}
// Never 0, which marks an empty entry. In a table of more than 2^24 entries the tag shares bits
// with the slot and tells fewer keys apart, which costs probes, not results.
inline uint8_t tarnCacheTagOf(uint32_t rawHash, int shift) {
    const auto tag = static_cast<uint8_t>(rawHash >> (shift > 8 ? shift - 8 : 0));
    return static_cast<uint8_t>(tag | (tag == 0));
}

// First 32-byte boundary after p, skipping p itself when it is on one: node blocks keep their link
// word there, and the computed table is laid out the same way.
inline uintptr_t tarnAlign32After(void *p) {
    return (reinterpret_cast<uintptr_t>(p) + 32) & ~uintptr_t{31};
}

// Bucket of an internal node (T, E) in a subtable with the given shift.
inline uint32_t tarnHashNode(DdNode *T, DdNode *E, int shift) {
    return (tarnLo32(T) * TARN_P1P2 + tarnLo32(E) * TARN_P2) >> shift;
}

// The place in a chain where (T, E) is or belongs. Chains are sorted by decreasing then-child and,
// among equal then-children, by decreasing else-child; the sentinel (T = E = 0) ends every chain.
inline DdNode **tarnFindInChain(DdNode **bucket, DdNode *T, DdNode *E) {
    const auto t = reinterpret_cast<uintptr_t>(T);
    const auto e = reinterpret_cast<uintptr_t>(E);
    DdNode **previous = bucket;
    DdNode *looking = *previous;
    while (t < reinterpret_cast<uintptr_t>(looking->T)) {
        previous = &looking->next;
        looking = *previous;
    }
    while (t == reinterpret_cast<uintptr_t>(looking->T) &&
           e < reinterpret_cast<uintptr_t>(looking->E)) {
        previous = &looking->next;
        looking = *previous;
    }
    return previous;
}

// Bucket of a constant value in the constants subtable.
inline uint32_t tarnHashConst(double value, int shift) {
    uint64_t bits;
    memcpy(&bits, &value, sizeof bits);
    uint32_t lo = static_cast<uint32_t>(bits);
    uint32_t hi = static_cast<uint32_t>(bits >> 32);
    return (hi * TARN_P2 + lo * TARN_P1P2) >> shift;
}

// ---- steps shared across files -------------------------------------------------------------

// creation (tarnInit.cpp)
DdManager *tarnInitTable(unsigned numVars, unsigned numVarsZ, unsigned numSlots,
                         unsigned growthLimit);
int tarnInitCache(DdManager *dd, unsigned cacheSize, unsigned maxCacheSize);
// The fast-growth limit in force when none is given: a share of the memory size, capped.
unsigned tarnDefaultFastGrowthLimit();
// Allocation under the manager's reporting out-of-memory handler.
void *tarnGuardedMalloc(DdManager *dd, size_t size);
void *tarnGuardedMallocAligned(DdManager *dd, size_t alignment, size_t size);
// util_realloc under the manager's out-of-memory handler; on failure the old block stays valid.
void *tarnGuardedRealloc(DdManager *dd, void *pointer, size_t size);

// unique table (tarnTable.cpp)
DdNode *tarnUniqueInter(DdManager *dd, int index, DdNode *T, DdNode *E);
DdNode *tarnUniqueConst(DdManager *dd, double value);
DdNode *tarnAllocNode(DdManager *dd);
void tarnRehash(DdManager *dd, int level);
int tarnResizeTable(DdManager *dd, int index, int amount);
void tarnEnterLowMemoryMode(DdManager *dd);
// The low-memory adjustments without shrinking the delayed-release queue.
void tarnLowMemoryAdjustments(DdManager *dd);
// The termination and time-limit checks; false (with errorCode set) means give up.
bool tarnGiveUpChecksPass(DdManager *dd);
// Recomputes cacheRoom after the bucket count changed and grows the computed table when it is
// smaller than half the unique table.
void tarnUpdateCacheRoom(DdManager *dd);
// Frees every node block.
void tarnFreeNodeBlocks(DdManager *dd);

// ---- reordering ------------------------------------------------------------------------------

// One recorded swap or group move. Records live in node slots taken from the node allocator and
// go back to the free list as free nodes when their list is dropped.
struct alignas(32) DdMove {
    DdMove *next;   // older move
    uint32_t x;     // upper level of the swap, or last boundary of a group move
    uint32_t y;
    uint32_t flags;
    uint32_t size;  // live size after the move
};
static_assert(sizeof(DdMove) == sizeof(DdNode), "a move record fills one node slot");

// The live size of the diagram while reordering.
inline int tarnLiveSize(const DdManager *dd) {
    return static_cast<int>(dd->keys) - dd->isolatedCount;
}

// swap and interaction matrix (tarnSwap.cpp)
int tarnSwapInPlace(DdManager *dd, int x, int y);
int tarnBuildInteraction(DdManager *dd);
void tarnFreeInteraction(DdManager *dd);
int tarnVarsInteract(DdManager *dd, int i, int j);
int tarnPrepareReordering(DdManager *dd);
// A move record {x, y, 0, size} pushed on *moves; 0 when no node slot can be had.
int tarnRecordMove(DdManager *dd, DdMove **moves, int x, int y, int size);
// Returns every record of the list to the free list.
void tarnFreeMoves(DdManager *dd, DdMove *moves);
// Test seam: swaps of levels of at least `keys` nodes in diagrams of at least `total` nodes ask for
// their nodes a few places ahead; (0, 0) restores the sizes the library chose.
void tarnSetSwapAhead(unsigned keys, unsigned total);
// Key count of a level less one when its variable's projection is held by the manager only.
inline int tarnLevelTerm(const DdManager *dd, int level) {
    return static_cast<int>(dd->subtables[level].keys) -
           (dd->vars[dd->invperm[level]]->ref == 1 ? 1 : 0);
}

// driver (tarnReorder.cpp)
int tarnReorderByTree(DdManager *dd, int method);
int tarnReorderGroupRange(DdManager *dd, MtrNode *group, int method);
void tarnLinkGroup(DdManager *dd, MtrNode *group, int low, int high);
int tarnReportBefore(DdManager *dd, const char *kind, void *method);
int tarnReportAfter(DdManager *dd, const char *kind, void *start);
// True (after switching automatic reordering off) when the time limit is exceeded or the
// termination callback asks to stop: sifting then ends early with success.
bool tarnReorderingMustStop(DdManager *dd);

// methods (tarnSift.cpp, tarnWindow.cpp, tarnGroup.cpp)
struct DdSortEntry {
    int32_t index;
    int32_t keys;
};
void tarnSortEntries(DdSortEntry *entries, int n);
int tarnSiftRange(DdManager *dd, int low, int high);
int tarnSiftVariable(DdManager *dd, int x, int low, int high);
int tarnUndoToBest(DdManager *dd, int size, DdMove *moves);
int tarnRandomExchanges(DdManager *dd, int low, int high, int method);
DdMove *tarnExchangeLevels(DdManager *dd, int x, int y, bool *failed);
int tarnWindowMethod(DdManager *dd, int low, int high, int method);
int tarnWindowPass2(DdManager *dd, int low, int high);
int tarnWindowPass3(DdManager *dd, int low, int high);
int tarnBestOfThree(DdManager *dd, int x);
int tarnWindowConvergePass2(DdManager *dd, int low, int high);
int tarnWindowConvergePass3(DdManager *dd, int low, int high);
using DD_CHKFP = int (*)(DdManager *, int, int);
int tarnNeverAggregate(DdManager *dd, int x, int y);
int tarnGroupSiftRange(DdManager *dd, int low, int high, DD_CHKFP check, int lazy);

// per-call node map (tarnNodeMap.cpp)
struct DdNodeMapItem {
    DdNodeMapItem *next;
    int64_t count;  // visits the key can still receive
    DdNode *value;  // holds one reference while the entry lives
    DdNode *key;
};
struct DdNodeMap {
    DdManager *manager;
    int keySize;  // node keys per entry; every user has one
    int itemSize;
    DdNodeMapItem **buckets;
    unsigned bucketCount;
    int shift;
    unsigned items;
    unsigned maxItems;
    DdNodeMapItem *freeItems;
    DdNodeMapItem *blocks;
};
DdNodeMap *tarnNodeMapCreate(DdManager *dd, int keySize, int initialSize);
int tarnNodeMapInsert(DdNodeMap *map, DdNode *f, DdNode *value, int64_t count);
DdNode *tarnNodeMapLookup(DdNodeMap *map, DdNode *f);
void tarnNodeMapDestroy(DdNodeMap *map);

// references (tarnRef.cpp)
void tarnReclaim(DdManager *dd, DdNode *f);

// collector and delayed release (tarnGC.cpp)
int tarnGarbageCollect(DdManager *dd, int clearCache);
void tarnClearDelayedQueue(DdManager *dd);
void tarnRunWaitingReleasesNow(DdManager *dd);
// Runs the release walks that Tarn_DeferredDerefBdd put off, oldest first. Collections,
// reorderings, the reordering trigger, the live-node limit, the live count and the report call it
// first, and so see what immediate releases would have left; the unique table's choice between
// collecting and growing sees the waiting nodes as live, as it sees those of the delayed-release
// queue. It kills nodes without freeing them, so it may run wherever a node may be made.
inline void tarnRunWaitingReleases(DdManager *dd) {
    if (dd->releasesWaiting != 0) tarnRunWaitingReleasesNow(dd);
}
void tarnShrinkDelayedQueue(DdManager *dd);

// computed table (tarnCache.cpp)
void tarnCacheResize(DdManager *dd);
// Sets up the computed table's memory for `slots` zero-filled entries; false when none is to be had.
bool tarnCacheAllocate(DdManager *dd, unsigned slots);
void tarnCacheRelease(DdManager *dd);
void tarnCacheFlush(DdManager *dd);
int tarnCacheProfile(DdManager *dd, FILE *fp);
// Empties the entries whose identity (key3 of a two- or one-operand entry) lies in [low, high).
void tarnCacheClearIdentities(DdManager *dd, uintptr_t low, uintptr_t high);
// Clears every entry whose second or third key is the node key.
void tarnCacheClearKey(DdManager *dd, DdNode *key);

// statistics (tarnStat.cpp)
double tarnReadUsedSlots(DdManager *dd);
double tarnExpectedUsedSlots(DdManager *dd);

// ITE and connectives (tarnIte.cpp); a step called from inside a restart loop
DdNode *tarnBddAndRecur(DdManager *dd, DdNode *f, DdNode *g);
DdNode *tarnBddXorRecur(DdManager *dd, DdNode *f, DdNode *g);
DdNode *tarnBddIteRecur(DdManager *dd, DdNode *f, DdNode *g, DdNode *h);

// quantification and relational product (tarnAbstract.cpp)
int tarnIsPositiveCube(DdManager *dd, DdNode *cube);
DdNode *tarnBddExistAbstractRecur(DdManager *dd, DdNode *f, DdNode *cube);
DdNode *tarnBddAndAbstractRecur(DdManager *dd, DdNode *f, DdNode *g, DdNode *cube);

// ---- recursive steps: give-up check and restart loop -----------------------------------------

// A recursive step that missed the computed table checks the termination callback and the time
// limit every 2048th miss, when the low 11 bits of the miss count are zero.
constexpr uint64_t TARN_STEP_CHECK_MASK = (1u << 11) - 1;

// True when the step must give up (errorCode is then set); the checks run only every 2048th miss.
inline bool tarnStepGivesUp(DdManager *dd) {
    if (__builtin_expect((static_cast<uint64_t>(dd->cacheMisses) & TARN_STEP_CHECK_MASK) != 0, 1)) {
        return false;
    }
    return !tarnGiveUpChecksPass(dd);
}

// The complement of a step's result; null (no result) stays null.
inline DdNode *tarnNotUnlessNull(DdNode *r) { return tarnNotCond(r, r != nullptr); }

// The BDD node with then-child t and else-child e at a variable index: t itself when both are
// equal; otherwise the stored then-edge must be regular, so a complemented t moves its mark to the
// result. t and e carry the caller's temporary references; when the unique table fails they are
// released here and null is returned.
inline DdNode *tarnBddMakeNode(DdManager *dd, uint32_t index, DdNode *t, DdNode *e) {
    if (t == e) return t;
    const bool complement = tarnIsComplement(t);
    DdNode *r = tarnUniqueInter(dd, static_cast<int>(index), tarnNotCond(t, complement),
                                tarnNotCond(e, complement));
    if (__builtin_expect(r == nullptr, 0)) {
        tarnDerefBdd(dd, t);
        tarnDerefBdd(dd, e);
        return nullptr;
    }
    return tarnNotCond(r, complement);
}

// A public operation runs its step again from the start while a dynamic reordering interrupted it
// (the unique table then returns null with reorderState 1). A time-out that left the operation
// without a result is reported to the time-out handler.
template <class Step>
inline DdNode *tarnRestartLoop(DdManager *dd, Step &&step) {
    DdNode *result;
    do {
        dd->reorderState = 0;
        result = step();
    } while (dd->reorderState == 1);
    if (result == nullptr && dd->errorCode == TARN_TIME_OUT && dd->timeoutHandler != nullptr) {
        dd->timeoutHandler(dd, dd->timeoutArg);
    }
    return result;
}

// ---- computed table probes -------------------------------------------------------------------
//
// Three-operand entries carry a tag (bit 1 set, bits 0 and 4 clear) in the spare low bits of
// their first two keys; two- and one-operand entries keep an operation identity in key3. An
// identity is any value with bits 0 to 3 clear that no other operation uses: a small constant
// (TarnCacheOp) or, for the ADD apply, the operator function's address.

using TarnCacheTag = uintptr_t;

// Identities of the operations that keep two- and one-operand entries (distinct, non-zero, bits 0
// to 3 clear), and the tags of three-operand entries. Each family adds its own here.
enum : TarnCacheTag {
    TARN_OP_BDD_AND = 1 << 4,
    TARN_OP_BDD_XOR = 2 << 4,
    TARN_OP_BDD_IMPLIES = 3 << 4,
    TARN_OP_BDD_EXIST_ABSTRACT = 4 << 4,
};
constexpr TarnCacheTag TARN_ITE_TAG = 14;
constexpr TarnCacheTag TARN_AND_ABSTRACT_TAG = 6;

// Results stored in place of a node by operations whose answer is a flag.
inline DdNode *const TARN_CACHE_MARKER = reinterpret_cast<DdNode *>(uintptr_t{1});

inline DdNode *tarnWithBits(DdNode *f, uintptr_t bits) {
    return reinterpret_cast<DdNode *>(reinterpret_cast<uintptr_t>(f) | bits);
}
inline DdNode *tarnOpKey(TarnCacheTag op) { return reinterpret_cast<DdNode *>(op); }

inline DdNode *tarnCacheHit(DdManager *dd, DdNode *result) {
    dd->cacheHits++;
    if (result != TARN_CACHE_MARKER && tarnRegular(result)->ref == 0) tarnReclaim(dd, result);
    return result;
}

inline DdNode *tarnCacheMiss(DdManager *dd) {
    dd->cacheMisses++;
    if (dd->cacheRoom >= 0 && dd->cacheHits > dd->cacheMisses * dd->hitRatioThreshold) {
        tarnCacheResize(dd);
    }
    return nullptr;
}

inline DdCache *tarnCacheEntry(DdManager *dd, DdNode *key1, DdNode *key2, DdNode *key3) {
    return &dd->cache[tarnCacheHash(key1, key2, key3, dd->cacheShift)];
}

inline void tarnCacheStore(DdManager *dd, DdNode *key1, DdNode *key2, DdNode *key3,
                           DdNode *result) {
    const uint32_t rawHash = tarnCacheRawHash(key1, key2, key3);
    const uint32_t slot = rawHash >> dd->cacheShift;
    DdCache *entry = &dd->cache[slot];
    dd->cacheInserts++;
    if (uint8_t *tags = dd->cacheTags) {
        if (tags[slot] != 0) dd->cacheCollisions++;
        tags[slot] = tarnCacheTagOf(rawHash, dd->cacheShift);
    } else if (entry->result != nullptr) {
        dd->cacheCollisions++;
    }
    entry->key1 = key1;
    entry->key2 = key2;
    entry->key3 = key3;
    entry->result = result;
}

// Empties the entry in `slot` and its tag, and counts the deletion: every clearing of an entry
// goes through here, so that no tag outlives its entry.
inline void tarnCacheEmpty(DdManager *dd, unsigned slot) {
    dd->cache[slot].result = nullptr;
    if (dd->cacheTags != nullptr) dd->cacheTags[slot] = 0;
    dd->cacheDeletions++;
}

// The entry in the keys' slot, or null when its tag is not theirs: the entry is read only then.
inline const DdCache *tarnCacheProbe(DdManager *dd, DdNode *key1, DdNode *key2, DdNode *key3) {
    const uint32_t rawHash = tarnCacheRawHash(key1, key2, key3);
    const uint32_t slot = rawHash >> dd->cacheShift;
    const uint8_t *tags = dd->cacheTags;
    if (tags != nullptr && tags[slot] != tarnCacheTagOf(rawHash, dd->cacheShift)) return nullptr;
    return &dd->cache[slot];
}

inline DdNode *tarnCacheLookup3(DdManager *dd, TarnCacheTag tag, DdNode *f, DdNode *g, DdNode *h) {
    DdNode *key1 = tarnWithBits(f, tag & 14);
    DdNode *key2 = tarnWithBits(g, tag >> 4);
    const DdCache *e = tarnCacheProbe(dd, key1, key2, h);
    if (e != nullptr && e->result != nullptr && e->key1 == key1 && e->key2 == key2 &&
        e->key3 == h) {
        return tarnCacheHit(dd, e->result);
    }
    return tarnCacheMiss(dd);
}

inline DdNode *tarnCacheLookup2(DdManager *dd, TarnCacheTag op, DdNode *f, DdNode *g) {
    const DdCache *e = tarnCacheProbe(dd, f, g, tarnOpKey(op));
    if (e != nullptr && e->result != nullptr && e->key1 == f && e->key2 == g &&
        e->key3 == tarnOpKey(op)) {
        return tarnCacheHit(dd, e->result);
    }
    return tarnCacheMiss(dd);
}

inline DdNode *tarnCacheLookup1(DdManager *dd, TarnCacheTag op, DdNode *f) {
    const DdCache *e = tarnCacheProbe(dd, f, f, tarnOpKey(op));
    if (e != nullptr && e->result != nullptr && e->key1 == f && e->key3 == tarnOpKey(op)) {
        return tarnCacheHit(dd, e->result);
    }
    return tarnCacheMiss(dd);
}

inline void tarnCacheInsert3(DdManager *dd, TarnCacheTag tag, DdNode *f, DdNode *g, DdNode *h,
                             DdNode *result) {
    tarnCacheStore(dd, tarnWithBits(f, tag & 14), tarnWithBits(g, tag >> 4), h, result);
}

inline void tarnCacheInsert2(DdManager *dd, TarnCacheTag op, DdNode *f, DdNode *g,
                             DdNode *result) {
    tarnCacheStore(dd, f, g, tarnOpKey(op), result);
}

inline void tarnCacheInsert1(DdManager *dd, TarnCacheTag op, DdNode *f, DdNode *result) {
    tarnCacheStore(dd, f, f, tarnOpKey(op), result);
}

// Every helper that only prefetches is forced inline. g++ takes a function whose only statements
// are prefetches for one without side effects and deletes the calls it does not inline: at -O2 the
// conjunction step lost every prefetch but that of its own slot.
#define TARN_PREFETCH inline __attribute__((always_inline))

// Prefetches of what a step is about to read. A step asks for its computed-table slot before it
// reads its operands' nodes, so that the memory accesses overlap, and asks for the nodes and slots
// of its two halves before it waits for its own slot.
TARN_PREFETCH void tarnPrefetchNode(DdNode *f) { __builtin_prefetch(tarnRegular(f)); }

// Sweeps over a subtable's buckets (collection, growth) meet chains that start at random nodes:
// the head of the chain a few buckets ahead is requested while the current one is walked.
constexpr unsigned TARN_SWEEP_AHEAD = 8;
TARN_PREFETCH void tarnPrefetchChainAhead(DdNode *const *buckets, unsigned j, unsigned slots) {
    if (j + TARN_SWEEP_AHEAD < slots) __builtin_prefetch(buckets[j + TARN_SWEEP_AHEAD]);
}
// A slot's tag and its entry are both requested: the entry is read on a hit and written when the
// step stores its result.
TARN_PREFETCH void tarnCachePrefetchSlot(DdManager *dd, DdNode *key1, DdNode *key2, DdNode *key3) {
    const uint32_t slot = tarnCacheHash(key1, key2, key3, dd->cacheShift);
    if (dd->cacheTags != nullptr) __builtin_prefetch(&dd->cacheTags[slot]);
    __builtin_prefetch(&dd->cache[slot]);
}
TARN_PREFETCH void tarnCachePrefetch2(DdManager *dd, TarnCacheTag op, DdNode *f, DdNode *g) {
    tarnCachePrefetchSlot(dd, f, g, tarnOpKey(op));
}
TARN_PREFETCH void tarnCachePrefetch1(DdManager *dd, TarnCacheTag op, DdNode *f) {
    tarnCachePrefetchSlot(dd, f, f, tarnOpKey(op));
}
// The unique-table bucket of the BDD node (index, t, e), complement rule applied. A step whose
// two halves are known before its slot arrives (both are terminal) asks for the bucket at once.
TARN_PREFETCH void tarnUniquePrefetchBdd(DdManager *dd, uint32_t index, DdNode *t, DdNode *e) {
    if (t == e) return;
    const bool complement = tarnIsComplement(t);
    const DdSubtable &table = dd->subtables[dd->perm[index]];
    __builtin_prefetch(&table.buckets[tarnHashNode(tarnNotCond(t, complement),
                                                   tarnNotCond(e, complement), table.shift)]);
}

// ---- ADD operations ----------------------------------------------------------------------------

// Identities of the ADD operations' two- and one-operand entries (the apply uses its operator's
// address instead), and the tags of their three-operand entries.
enum : TarnCacheTag {
    TARN_OP_ADD_CMPL = 64 << 4,
    TARN_OP_ADD_NEGATE = 65 << 4,
    TARN_OP_ADD_FIND_MAX = 66 << 4,
    TARN_OP_ADD_FIND_MIN = 67 << 4,
    TARN_OP_ADD_EXIST_ABSTRACT = 68 << 4,
    TARN_OP_ADD_MAX_ABSTRACT = 69 << 4,
    TARN_OP_ADD_MIN_ABSTRACT = 70 << 4,
    TARN_OP_ADD_OR_ABSTRACT = 71 << 4,
    TARN_OP_ADD_UNIV_ABSTRACT = 72 << 4,
    TARN_OP_BDD_TO_ADD = 73 << 4,
    TARN_OP_ADD_BDD_PATTERN = 74 << 4,
    TARN_OP_ADD_BDD_THRESHOLD = 75 << 4,
    TARN_OP_ADD_BDD_STRICT_THRESHOLD = 76 << 4,
    TARN_OP_ADD_BDD_ITH_BIT = 77 << 4,
    TARN_OP_ADD_THRESHOLD_LESS = 78 << 4,
    TARN_OP_ADD_THRESHOLD_GREATER = 79 << 4,
    TARN_OP_ADD_THRESHOLD_AT_MOST = 80 << 4,
    TARN_OP_ADD_THRESHOLD_AT_LEAST = 81 << 4,
};
constexpr TarnCacheTag TARN_ADD_ITE_TAG = 2;
constexpr TarnCacheTag TARN_ADD_BDD_INTERVAL_TAG = 34;
// The energy subtraction keys its entries with (f, g, the cap's node).
constexpr TarnCacheTag TARN_ADD_ENERGY_MINUS_TAG = 42;

// apply and operators (tarnAddApply.cpp)
DdNode *tarnAddApplyRecur(DdManager *dd, DD_AOP op, DdNode *f, DdNode *g);
DdNode *tarnAddMonadicApplyRecur(DdManager *dd, DD_MAOP op, DdNode *f);

// one-operand operations and if-then-else (tarnAddUnary.cpp)
DdNode *tarnAddCmplRecur(DdManager *dd, DdNode *f);
DdNode *tarnAddNegateRecur(DdManager *dd, DdNode *f);
DdNode *tarnAddIteRecur(DdManager *dd, DdNode *f, DdNode *g, DdNode *h);

// abstraction (tarnAddAbstract.cpp)
int tarnAddCheckCube(DdManager *dd, DdNode *p);
DdNode *tarnAddExistAbstractRecur(DdManager *dd, DdNode *f, DdNode *cube);
DdNode *tarnAddMaxAbstractRecur(DdManager *dd, DdNode *f, DdNode *cube);
DdNode *tarnAddMinAbstractRecur(DdManager *dd, DdNode *f, DdNode *cube);
DdNode *tarnAddOrAbstractRecur(DdManager *dd, DdNode *f, DdNode *cube);
DdNode *tarnAddUnivAbstractRecur(DdManager *dd, DdNode *f, DdNode *cube);

// conversions (tarnConvert.cpp)
DdNode *tarnBddToAddRecur(DdManager *dd, DdNode *f);
DdNode *tarnAddBddPatternRecur(DdManager *dd, DdNode *f);

// The cofactors of an ADD (no complement marks) at an operation's top level: its children when it
// sits at that level, else the ADD itself for both sides.
struct TarnCofactors {
    DdNode *t;
    DdNode *e;
};
inline TarnCofactors tarnAddCofactors(DdNode *f, bool atTop) {
    return atTop ? TarnCofactors{f->T, f->E} : TarnCofactors{f, f};
}

// The ADD node with then-child t and else-child e at a variable index: t itself when both are
// equal. t and e carry the caller's temporary references; when the unique table fails they are
// released here and null is returned.
inline DdNode *tarnAddMakeNode(DdManager *dd, uint32_t index, DdNode *t, DdNode *e) {
    if (t == e) return t;
    DdNode *r = tarnUniqueInter(dd, static_cast<int>(index), t, e);
    if (__builtin_expect(r == nullptr, 0)) {
        Tarn_RecursiveDeref(dd, t);
        Tarn_RecursiveDeref(dd, e);
    }
    return r;
}

// The restart loop of the operations that leave a time-out to their callers.
template <class Step>
inline DdNode *tarnRestartLoopNoTimeout(DdManager *dd, Step &&step) {
    DdNode *result;
    do {
        dd->reorderState = 0;
        result = step();
    } while (dd->reorderState == 1);
    return result;
}

// ---- substitution, cofactors, counting and support ---------------------------------------------

// Identities of their two-operand entries and the tags of their three-operand entries.
enum : TarnCacheTag {
    TARN_OP_COFACTOR = 128 << 4,
    TARN_OP_BDD_RESTRICT = 129 << 4,
    TARN_OP_ADD_RESTRICT = 130 << 4,
    TARN_OP_LITERAL_INTERSECTION = 131 << 4,
};
constexpr TarnCacheTag TARN_BDD_COMPOSE_TAG = 46;
constexpr TarnCacheTag TARN_ADD_COMPOSE_TAG = 66;

// substitution (tarnSubst.cpp). The renaming steps also keep their results in the computed table
// as one-operand entries under the permutation's identity (0: no entries).
DdNode *tarnBddPermuteRecur(DdManager *dd, DdNodeMap *map, DdNode *f, const int *perm,
                            TarnCacheTag identity);
DdNode *tarnAddPermuteRecur(DdManager *dd, DdNodeMap *map, DdNode *f, const int *perm,
                            TarnCacheTag identity);

// The registry of renamings (tarnPermRegistry.cpp). The identity of a permutation array of
// `length` entries, the same for every array with the same entries and distinct from every other
// operation's; 0 when the registry has no memory. The identity stays valid until the next call
// that may intern another permutation or flush the computed table.
TarnCacheTag tarnPermutationIdentity(DdManager *dd, const int *perm, int length, bool isAdd);
// Forgets every permutation; only after the computed table holds none of their entries.
void tarnPermutationRegistryReset(DdManager *dd);
void tarnPermutationRegistryFree(DdManager *dd);
DdNode *tarnBddComposeRecur(DdManager *dd, DdNode *f, DdNode *g, DdNode *proj);
DdNode *tarnAddComposeRecur(DdManager *dd, DdNode *f, DdNode *g, DdNode *proj);
DdNode *tarnBddVectorComposeRecur(DdManager *dd, DdNodeMap *map, DdNode *f, DdNode **vector,
                                  int deepest);
DdNode *tarnAddVectorComposeRecur(DdManager *dd, DdNodeMap *map, DdNode *f, DdNode **vector,
                                  int deepest);

// generalized cofactors (tarnCofactor.cpp)
DdNode *tarnCofactorRecur(DdManager *dd, DdNode *f, DdNode *g);
DdNode *tarnBddRestrictRecur(DdManager *dd, DdNode *f, DdNode *c);
DdNode *tarnAddRestrictRecur(DdManager *dd, DdNode *f, DdNode *c);
DdNode *tarnLiteralIntersectionRecur(DdManager *dd, DdNode *f, DdNode *g);

// Visit marks of the traversals that must see each node once: bit 0 of a node's `next`. A
// traversal clears every mark it set before it returns (tarnClearMarks, tarnCount.cpp); while
// marks are set nothing may walk or change the unique table.
inline bool tarnIsMarked(const DdNode *n) {
    return (reinterpret_cast<uintptr_t>(n->next) & 1) != 0;
}
inline void tarnMark(DdNode *n) { n->next = tarnWithBits(n->next, 1); }
inline void tarnUnmark(DdNode *n) { n->next = tarnRegular(n->next); }
void tarnClearMarks(DdNode *f);

// The path generator (tarnSupport.cpp): positioned on a path (status 1) or on none (status 0).
// cube has one entry per variable index: 0 or 1 for the value on the path, 2 when the path does
// not test the variable; value is the constant at the end of the path; stack holds the path's
// handles from the root (room for one more than the variable count).
struct DdPathGen {
    DdManager *manager;
    int status;
    int *cube;
    double value;
    DdNode **stack;
    int depth;
};
// The generator of f positioned on its first path, searching else-branches first; its cube array
// and the constant's value through cube and value (either may be null). Null without memory.
DdPathGen *tarnFirstPath(DdManager *dd, DdNode *f, int **cube, double *value);
void tarnPathGenFree(DdPathGen *gen);

// printing (tarnPrint.cpp): every path of f to a non-zero constant as a line of 0, 1 and - per
// variable followed by the constant's value.
int tarnPrintPaths(DdManager *dd, DdNode *f);

// ---- controller determinization and the negative-cycle check -----------------------------------

// Identities of the determinization entries (key (f, cube)) and the tag of the min-plus product's
// three-operand entries (key (f, g, cube of the abstracted variables)).
enum : TarnCacheTag {
    TARN_OP_BDD_DETERMINIZE = 132 << 4,
    TARN_OP_ADD_DETERMINIZE = 133 << 4,
};
constexpr TarnCacheTag TARN_MIN_PLUS_ABSTRACT_TAG = 134;

// determinization (tarnDeterminize.cpp): the steps expect the cube's variables below every other
// variable of f
DdNode *tarnBddDeterminizeRecur(DdManager *dd, DdNode *f, DdNode *cube);
DdNode *tarnAddDeterminizeRecur(DdManager *dd, DdNode *f, DdNode *cube);

// min-plus product (tarnNegCycle.cpp); marks[i] is not negative for the abstracted variables
DdNode *tarnAddMinPlusAbstractRecur(DdManager *dd, DdNode *f, DdNode *g, const int *marks,
                                    DdNode *cube);
