// The computed table's probes: hits, misses, collisions, revival of dead results, growth, and the
// tags that answer most misses without reading an entry.
#include "fixture.h"

namespace {

constexpr TarnCacheTag kOpA = 1 << 4;
constexpr TarnCacheTag kOpB = 2 << 4;
constexpr TarnCacheTag kIteTag = 14;

class CacheTest : public ManagerTest {
protected:
    DdNode *f = nullptr, *g = nullptr;
    void SetUp() override {
        ManagerTest::SetUp();
        f = node(0, var(1), zero());
        Tarn_Ref(f);
        g = node(1, var(2), one());
        Tarn_Ref(g);
    }
};

TEST_F(CacheTest, LookupFindsWhatWasInsertedUnderItsKindAndOperation) {
    // Each kind on its own: two entries may share a slot, and the newer one evicts the older.
    tarnCacheInsert3(dd, kIteTag, f, g, var(3), tarnNot(f));
    EXPECT_EQ(tarnCacheLookup3(dd, kIteTag, f, g, var(3)), tarnNot(f));
    EXPECT_EQ(tarnCacheLookup3(dd, 6, f, g, var(3)), nullptr);  // another tag
    tarnCacheInsert2(dd, kOpA, f, g, g);
    EXPECT_EQ(tarnCacheLookup2(dd, kOpA, f, g), g);
    EXPECT_EQ(tarnCacheLookup2(dd, kOpA, g, f), nullptr);  // operands swapped
    EXPECT_EQ(tarnCacheLookup2(dd, kOpB, f, g), nullptr);  // another operation
    tarnCacheInsert1(dd, kOpB, g, f);
    EXPECT_EQ(tarnCacheLookup1(dd, kOpB, g), f);
    EXPECT_EQ(tarnCacheLookup1(dd, kOpB, tarnNot(g)), nullptr);  // complemented operand
    EXPECT_EQ(dd->cacheHits, 3.0);
    EXPECT_EQ(dd->cacheInserts, 3.0);
}

TEST_F(CacheTest, ThreeOperandEntriesCarryTheirTagInTheKeys) {
    tarnCacheInsert3(dd, 46, f, g, var(3), one());
    const DdCache &e = *tarnCacheEntry(dd, tarnWithBits(f, 46 & 14), tarnWithBits(g, 46 >> 4), var(3));
    EXPECT_EQ(e.result, one());
    EXPECT_EQ(reinterpret_cast<uintptr_t>(e.key1) & 15, 14u);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(e.key2) & 15, 2u);
    EXPECT_EQ(e.key3, var(3));
}

TEST_F(CacheTest, OneOperandLookupIgnoresKey2) {
    tarnCacheInsert1(dd, kOpA, f, g);
    DdCache *e = tarnCacheEntry(dd, f, f, tarnOpKey(kOpA));
    e->key2 = var(2);
    EXPECT_EQ(tarnCacheLookup1(dd, kOpA, f), g);
}

TEST_F(CacheTest, CollidingInsertEvictsAndCounts) {
    tarnCacheInsert2(dd, kOpA, f, g, g);
    // Find another key pair that lands in the same slot.
    DdCache *slot = tarnCacheEntry(dd, f, g, tarnOpKey(kOpA));
    TarnCacheTag other = 0;
    for (TarnCacheTag op = 3 << 4; other == 0; op += 16) {
        if (tarnCacheEntry(dd, f, g, tarnOpKey(op)) == slot) other = op;
    }
    tarnCacheInsert2(dd, other, f, g, f);
    EXPECT_EQ(dd->cacheCollisions, 1.0);
    EXPECT_EQ(tarnCacheLookup2(dd, kOpA, f, g), nullptr);
    EXPECT_EQ(tarnCacheLookup2(dd, other, f, g), f);
}

TEST_F(CacheTest, HitOnADeadResultRevivesIt) {
    DdNode *h = node(0, var(2), zero());
    Tarn_Ref(h);
    tarnCacheInsert2(dd, kOpA, f, g, h);
    Tarn_DerefBdd(dd, h);
    ASSERT_EQ(dd->dead, 1u);
    DdNode *r = tarnCacheLookup2(dd, kOpA, f, g);
    EXPECT_EQ(r, h);
    EXPECT_EQ(dd->dead, 0u);
    EXPECT_EQ(h->ref, 0u);  // live, and the caller now references it
    Tarn_Ref(r);
    EXPECT_EQ(tarnGarbageCollect(dd, 1), 0);
}

TEST_F(CacheTest, FlushEmptiesEverySlot) {
    tarnCacheInsert2(dd, kOpA, f, g, g);
    tarnCacheInsert1(dd, kOpB, f, g);
    double filled = 0;
    for (unsigned i = 0; i < dd->cacheSlots; i++) filled += dd->cache[i].result != nullptr;
    ASSERT_GE(filled, 1.0);  // two, unless both entries share a slot
    double deletions = dd->cacheDeletions;
    tarnCacheFlush(dd);
    EXPECT_EQ(dd->cacheDeletions, deletions + filled);
    EXPECT_EQ(dd->cacheInsertsAtResize, dd->cacheInserts);
    EXPECT_EQ(tarnCacheLookup2(dd, kOpA, f, g), nullptr);
    EXPECT_EQ(tarnCacheLookup1(dd, kOpB, f), nullptr);
    // The tags went with the entries: a new entry in a flushed slot is no collision.
    for (unsigned i = 0; i < dd->cacheSlots; i++) ASSERT_EQ(dd->cacheTags[i], 0) << i;
    const double collisions = dd->cacheCollisions;
    tarnCacheInsert2(dd, kOpA, f, g, g);
    EXPECT_EQ(dd->cacheCollisions, collisions);
    EXPECT_EQ(tarnCacheLookup2(dd, kOpA, f, g), g);
}

TEST_F(CacheTest, EnoughHitsGrowTheTable) {
    // The room a large unique table would give (this one is far smaller than the cache).
    dd->cacheRoom = 1 << 20;
    tarnCacheInsert2(dd, kOpA, f, g, g);
    unsigned slots = dd->cacheSlots;
    // Hits beyond 30/70 of the misses (head start included) let the next miss grow the table.
    double needed = dd->cacheMisses * dd->hitRatioThreshold + 1;
    for (double i = 0; i <= needed; i++) ASSERT_EQ(tarnCacheLookup2(dd, kOpA, f, g), g);
    EXPECT_EQ(dd->cacheSlots, slots);
    EXPECT_EQ(tarnCacheLookup2(dd, kOpB, f, g), nullptr);
    EXPECT_EQ(dd->cacheSlots, 2 * slots);
    EXPECT_EQ(dd->cacheHits, 0.0);
    EXPECT_EQ(dd->cacheRoom, (1 << 20) - static_cast<int>(2 * slots));
    EXPECT_EQ(tarnCacheLookup2(dd, kOpA, f, g), g);  // the entry moved with the resize

    // No room left: the table stays put however good the hit rate.
    dd->cacheRoom = -1;
    for (int i = 0; i < 10000; i++) tarnCacheLookup2(dd, kOpA, f, g);
    tarnCacheLookup2(dd, kOpB, f, g);
    EXPECT_EQ(dd->cacheSlots, 2 * slots);
}

// Fills a third more than the table and returns the keys whose entries stayed; each entry's
// result tells its key's parity.
DdNode *growthKey(unsigned k) { return reinterpret_cast<DdNode *>(uintptr_t{0x100000} + 64 * k); }

std::vector<unsigned> fillForGrowth(DdManager *dd, DdNode *f, DdNode *g) {
    dd->cacheRoom = -1;  // no growth while probing
    const unsigned entries = 3 * dd->cacheSlots;
    for (unsigned k = 0; k < entries; k++) {
        tarnCacheInsert2(dd, kOpA, growthKey(k), g, k % 2 ? f : g);
    }
    std::vector<unsigned> present;
    for (unsigned k = 0; k < entries; k++) {
        if (tarnCacheLookup2(dd, kOpA, growthKey(k), g) != nullptr) present.push_back(k);
    }
    return present;
}

// Entries in the table, each checked to sit in the slot of its hash under the tag of its keys
// (when the table has tags); every empty slot has tag 0.
unsigned occupiedSlots(DdManager *dd) {
    const uint8_t *tags = dd->cacheTags;
    unsigned n = 0;
    for (unsigned i = 0; i < dd->cacheSlots; i++) {
        const DdCache &e = dd->cache[i];
        if (e.result == nullptr) {
            if (tags != nullptr) {
                EXPECT_EQ(tags[i], 0) << i;
            }
            continue;
        }
        n++;
        const uint32_t rawHash = tarnCacheRawHash(e.key1, e.key2, e.key3);
        EXPECT_EQ(rawHash >> dd->cacheShift, i);
        if (tags != nullptr) {
            EXPECT_EQ(tags[i], tarnCacheTagOf(rawHash, dd->cacheShift)) << i;
        }
    }
    return n;
}

void expectEntriesKept(DdManager *dd, DdNode *f, DdNode *g, const std::vector<unsigned> &present) {
    EXPECT_EQ(reinterpret_cast<uintptr_t>(dd->cache) % 32, 0u);
    EXPECT_EQ(occupiedSlots(dd), present.size());
    for (unsigned k : present) {
        EXPECT_EQ(tarnCacheLookup2(dd, kOpA, growthKey(k), g), k % 2 ? f : g) << k;
    }
}

// Growth moves every entry within the same block, from the top slot down; each entry that was in the
// table before is found after two growths, and no other appears.
TEST_F(CacheTest, GrowthKeepsEveryEntryAndItsSlot) {
    const std::vector<unsigned> present = fillForGrowth(dd, f, g);
    ASSERT_GT(present.size(), dd->cacheSlots / 2);
    EXPECT_EQ(occupiedSlots(dd), present.size());
    const unsigned slots = dd->cacheSlots;
    tarnCacheResize(dd);
    tarnCacheResize(dd);
    ASSERT_EQ(dd->cacheSlots, 4 * slots);
    expectEntriesKept(dd, f, g, present);
}

// A table that grows past its tag limit drops the tags and reads its entries directly: every entry
// is still found, a store into a filled slot still counts a collision, and a collection still
// clears the entries of dead nodes.
TEST_F(CacheTest, GrowthPastTheTagLimitDropsTheTags) {
    const std::vector<unsigned> present = fillForGrowth(dd, f, g);
    dd->cacheTagLimit = dd->cacheSlots;
    tarnCacheResize(dd);
    ASSERT_EQ(dd->cacheTags, nullptr);
    expectEntriesKept(dd, f, g, present);

    const double collisions = dd->cacheCollisions;
    tarnCacheInsert2(dd, kOpA, growthKey(present.front()), g, one());
    EXPECT_EQ(dd->cacheCollisions, collisions + 1);
    EXPECT_EQ(tarnCacheLookup2(dd, kOpA, growthKey(present.front()), g), one());

    tarnCacheFlush(dd);  // the growth keys are no nodes: the collection must not meet them
    EXPECT_EQ(occupiedSlots(dd), 0u);
    TarnCacheTag other = kOpB;  // an operation whose entry for (f, g) has a slot of its own
    while (tarnCacheEntry(dd, f, g, tarnOpKey(other)) == tarnCacheEntry(dd, f, g, tarnOpKey(kOpA))) {
        other += 16;
    }
    DdNode *doomed = node(0, var(2), zero());
    Tarn_Ref(doomed);
    tarnCacheInsert2(dd, kOpA, f, g, doomed);
    tarnCacheInsert2(dd, other, f, g, g);
    Tarn_DerefBdd(dd, doomed);
    tarnGarbageCollect(dd, 1);
    EXPECT_EQ(tarnCacheLookup2(dd, kOpA, f, g), nullptr);
    EXPECT_EQ(tarnCacheLookup2(dd, other, f, g), g);
}

// Without memory for the new tags the table keeps its size and its entries, and stops growing.
TEST_F(CacheTest, GrowthWithoutMemoryKeepsTheTable) {
    const std::vector<unsigned> present = fillForGrowth(dd, f, g);
    const unsigned slots = dd->cacheSlots;
    util_fail_allocations_after(0);
    tarnCacheResize(dd);
    util_fail_allocations_after(-1);
    ASSERT_EQ(dd->cacheSlots, slots);
    EXPECT_LT(dd->cacheHardLimit, slots);
    EXPECT_LT(dd->cacheRoom, 0);
    expectEntriesKept(dd, f, g, present);
}

// A table that grows past a huge page moves from the heap into a mapping of its own, which then
// grows by remapping; where no mapping can be had it stays on the heap, and a mapping that cannot
// grow is copied back to the heap. Every way keeps every entry, through to the manager's end.
struct LargeGrowthCase {
    const char *name;
    int refuseMapsFromGrowth;  // growths before which mappings are refused; -1: never
};

class LargeCacheGrowth : public ::testing::TestWithParam<LargeGrowthCase> {
protected:
    DdManager *dd = nullptr;
    void TearDown() override {
        util_refuse_huge_maps(false);
        Tarn_Quit(dd);
    }
};

TEST_P(LargeCacheGrowth, KeepsEveryEntry) {
    const unsigned startSlots = static_cast<unsigned>(UTIL_HUGE_PAGE / sizeof(DdCache) / 2);
    if (GetParam().refuseMapsFromGrowth == 0) util_refuse_huge_maps(true);
    dd = Tarn_Init(4, 0, 1u << 14, startSlots, uint64_t{1} << 30);
    ASSERT_NE(dd, nullptr);
    ASSERT_EQ(dd->cacheSlots, startSlots);
    DdNode *f = Tarn_BddIthVar(dd, 0), *g = Tarn_BddIthVar(dd, 1);
    const std::vector<unsigned> present = fillForGrowth(dd, f, g);
    for (int growth = 1; growth <= 3; growth++) {
        if (growth == GetParam().refuseMapsFromGrowth) util_refuse_huge_maps(true);
        tarnCacheResize(dd);
        ASSERT_EQ(dd->cacheSlots, startSlots << growth);
        expectEntriesKept(dd, f, g, present);
    }
    const bool mapped = GetParam().refuseMapsFromGrowth < 0;
    EXPECT_EQ(dd->cacheMapped != 0, mapped);
}

INSTANTIATE_TEST_SUITE_P(Ways, LargeCacheGrowth,
                         ::testing::Values(LargeGrowthCase{"MappedThenRemapped", -1},
                                           LargeGrowthCase{"HeapOnly", 0},
                                           LargeGrowthCase{"MappingCopiedBackToTheHeap", 2}),
                         [](const auto &info) { return std::string(info.param.name); });

}  // namespace
