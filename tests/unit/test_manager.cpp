// Creation and destruction of managers, their defaults, readers, setters and hooks.
#include <algorithm>
#include <cmath>

#include "fixture.h"

namespace {

struct SlotCase {
    unsigned requested;
    unsigned slots;
};

class InitialSlots : public ::testing::TestWithParam<SlotCase> {};

TEST_P(InitialSlots, RoundUpToPowerOfTwoOfAtLeastEight) {
    DdManager *dd = Tarn_Init(2, 0, GetParam().requested, 0, kTestMemory);
    ASSERT_NE(dd, nullptr);
    EXPECT_EQ(dd->initialSlots, GetParam().slots);
    EXPECT_EQ(dd->subtables[0].slots, GetParam().slots);
    EXPECT_EQ(dd->subtables[1].keyLimit, 4 * GetParam().slots);
    EXPECT_EQ(dd->constants.slots, GetParam().slots);
    EXPECT_EQ(dd->slots, 3 * GetParam().slots);
    Tarn_Quit(dd);
}

INSTANTIATE_TEST_SUITE_P(Manager, InitialSlots,
                         ::testing::Values(SlotCase{0, 8}, SlotCase{1, 8}, SlotCase{8, 8},
                                           SlotCase{9, 16}, SlotCase{1000, 1024}));

struct CacheCase {
    unsigned requested;
    unsigned slots;
    unsigned buckets = 8;  // asked for per unique subtable
};

class InitialCache : public ::testing::TestWithParam<CacheCase> {};

TEST_P(InitialCache, IsLargestPowerOfTwoNotAboveRequestOrHalfTheBuckets) {
    DdManager *dd = Tarn_Init(0, 0, GetParam().buckets, GetParam().requested, kTestMemory);
    ASSERT_NE(dd, nullptr);
    EXPECT_EQ(dd->cacheSlots, GetParam().slots);
    EXPECT_EQ(Tarn_ReadCacheSlots(dd), GetParam().slots);
    EXPECT_EQ(dd->cacheShift, 32 - static_cast<int>(std::log2(GetParam().slots)));
    EXPECT_EQ(reinterpret_cast<uintptr_t>(dd->cache) % 32, 0u);
    EXPECT_GT(reinterpret_cast<uintptr_t>(dd->cache), reinterpret_cast<uintptr_t>(dd->cacheMemory));
    // The head start keeps a fresh table from growing on its first hits.
    double headStart = std::floor(GetParam().slots * (30.0 / 70.0) + 1.0);
    EXPECT_EQ(dd->cacheMisses, headStart);
    EXPECT_EQ(dd->cacheMissesBefore, -headStart);
    for (unsigned i = 0; i < dd->cacheSlots; i++) EXPECT_EQ(dd->cache[i].result, nullptr);
    Tarn_Quit(dd);
}

// A manager with no variables has 8 unique buckets (the constants), so the floor is 4; a large
// request starts at the start limit, unless the subtables were asked for 2^14 buckets or more.
INSTANTIATE_TEST_SUITE_P(Manager, InitialCache,
                         ::testing::Values(CacheCase{10000, 8192}, CacheCase{1, 4},
                                           CacheCase{0, 4}, CacheCase{4096, 4096},
                                           CacheCase{4194304, TARN_CACHE_START_LIMIT},
                                           CacheCase{1048576, TARN_CACHE_START_LIMIT, 8192},
                                           CacheCase{1048576, 1048576, 16384}));

TEST(Manager, FreshManagerHasDocumentedDefaults) {
    DdManager *dd = Tarn_Init(0, 0, 0, 0, kTestMemory);
    ASSERT_NE(dd, nullptr);
    EXPECT_EQ(dd->size, 0);
    EXPECT_EQ(dd->capacity, 5);
    EXPECT_EQ(dd->capacityZ, 5);
    EXPECT_EQ(dd->fastGrowthLimit, kTestMemory / 160);
    EXPECT_EQ(dd->cacheHardLimit, kTestMemory / 96);
    EXPECT_EQ(dd->memorySoftLimit, kTestMemory / 10 * 9);
    EXPECT_EQ(dd->deadFraction, 4.0);
    EXPECT_EQ(dd->deadThreshold, 32u);
    EXPECT_EQ(dd->delayedDepth, 65536);  // 2^floor(log2(419430 / 4))
    EXPECT_EQ(dd->delayedMask, 65535u);
    EXPECT_NE(dd->reserve, nullptr);
    EXPECT_EQ(dd->epsilon, 1e-12);
    EXPECT_EQ(dd->reorderThreshold, 4004u);
    EXPECT_EQ(dd->autoReorderMethod, 4);
    EXPECT_EQ(dd->siftVarLimit, 1000);
    EXPECT_EQ(dd->siftSwapLimit, 2000000);
    EXPECT_EQ(dd->groupCheck, 7);
    EXPECT_EQ(dd->liveLimit, UINT32_MAX);
    EXPECT_EQ(dd->timeLimit, UINT32_MAX);
    EXPECT_EQ(dd->errorCode, TARN_NO_ERROR);
    EXPECT_EQ(dd->out, stdout);
    EXPECT_EQ(dd->err, stderr);
    EXPECT_EQ(static_cast<void *>(&dd->sentinel), static_cast<void *>(dd));

    // The four constants, each held once by the manager.
    const std::pair<DdNode *, double> constants[] = {
        {dd->one, 1.0}, {dd->zero, 0.0}, {dd->plusInfinity, 1e302}, {dd->minusInfinity, -1e302}};
    for (const auto &[c, value] : constants) {
        EXPECT_EQ(c->index, TARN_MAXINDEX);
        EXPECT_EQ(c->value, value);
        EXPECT_EQ(c->ref, 1u);
    }
    EXPECT_EQ(dd->background, dd->zero);
    EXPECT_EQ(dd->keys, 4u);
    EXPECT_EQ(dd->constants.keys, 4u);
    Tarn_Quit(dd);
}

TEST_F(ManagerTest, ProjectionFunctionsAreHeldByTheManager) {
    EXPECT_EQ(dd->size, 4);
    EXPECT_EQ(dd->keys, 8u);
    for (int i = 0; i < 4; i++) {
        DdNode *v = dd->vars[i];
        EXPECT_EQ(v->index, static_cast<uint32_t>(i));
        EXPECT_EQ(v->T, one());
        EXPECT_EQ(v->E, zero());
        EXPECT_EQ(v->ref, 1u);
        EXPECT_EQ(dd->perm[i], i);
        EXPECT_EQ(dd->invperm[i], i);
    }
    // one: the manager's own reference plus two per projection function.
    EXPECT_EQ(dd->one->ref, 9u);
}

TEST_F(ManagerTest, OrderReadersGuardTheirBounds) {
    const std::pair<int, int> cases[] = {
        {0, 0}, {3, 3}, {4, -1}, {-1, -1}, {static_cast<int>(TARN_MAXINDEX), static_cast<int>(TARN_MAXINDEX)}};
    for (const auto &[argument, expected] : cases) {
        EXPECT_EQ(Tarn_ReadPerm(dd, argument), expected) << argument;
        EXPECT_EQ(Tarn_ReadInvPerm(dd, argument), expected) << argument;
    }
}

TEST_F(ManagerTest, ReadersOfHandles) {
    DdNode *x = var(1);
    EXPECT_EQ(Tarn_ReadLogicZero(dd), zero());
    EXPECT_FALSE(Tarn_IsConstant(x));
    EXPECT_TRUE(Tarn_IsConstant(zero()));
    EXPECT_EQ(Tarn_ReadNodeIndex(tarnNot(x)), 1u);
    EXPECT_EQ(Tarn_Then(tarnNot(x)), one());  // children as stored: no complement applied
    EXPECT_EQ(Tarn_Else(tarnNot(x)), zero());
    int method = 0;
    EXPECT_EQ(Tarn_ReadAutoReorder(dd, &method), 0);
    EXPECT_EQ(method, 4);
}

TEST(Manager, LimitsDerivedFromPhysicalMemoryUseItsWholeSize) {
    DdManager *dd = Tarn_Init(0, 0, 8, 0, 0);
    ASSERT_NE(dd, nullptr);
    unsigned growth = dd->fastGrowthLimit;
    unsigned cache = dd->cacheHardLimit;
    EXPECT_EQ(growth, std::min<uint64_t>(util_physical_memory() / 160, UINT32_MAX));
    EXPECT_EQ(cache, std::min<uint64_t>(util_physical_memory() / 96, UINT32_MAX));
    Tarn_SetFastGrowthLimit(dd, 0);
    Tarn_SetCacheHardLimit(dd, 0);
    // The setter's default keeps large tables collecting: the memory share, capped.
    EXPECT_EQ(dd->fastGrowthLimit, std::min(growth, TARN_FAST_GROWTH_LIMIT_CAP));
    EXPECT_EQ(dd->cacheHardLimit, cache);
    Tarn_SetFastGrowthLimit(dd, 1000);
    EXPECT_EQ(dd->fastGrowthLimit, 1000u);
    Tarn_Quit(dd);
}

// A new hard limit or soft factor of the computed table takes effect at once, not at the next
// growth of the unique table.
TEST_F(ManagerTest, CacheLimitsRecomputeTheRoom) {
    auto expectedRoom = [this](int64_t factor) {
        return std::min<int64_t>(dd->cacheHardLimit, factor * dd->slots) - 2ll * dd->cacheSlots;
    };
    EXPECT_EQ(Tarn_ReadCacheSoftFactor(dd), 4u);
    Tarn_SetCacheHardLimit(dd, dd->cacheSlots);
    EXPECT_LT(dd->cacheRoom, 0);
    EXPECT_EQ(dd->cacheRoom, expectedRoom(4));
    Tarn_SetCacheHardLimit(dd, 0);
    EXPECT_EQ(dd->cacheRoom, expectedRoom(4));

    Tarn_SetCacheSoftFactor(dd, 0);
    EXPECT_EQ(Tarn_ReadCacheSoftFactor(dd), 3u);
    EXPECT_EQ(dd->cacheRoom, expectedRoom(3));
    Tarn_SetCacheSoftFactor(dd, 1000);  // capped
    EXPECT_EQ(Tarn_ReadCacheSoftFactor(dd), 64u);
    EXPECT_EQ(dd->cacheRoom, expectedRoom(64));
}

TEST_F(ManagerTest, CacheHitThresholdIsStoredAsRatio) {
    Tarn_SetCacheHitThreshold(dd, 30);
    EXPECT_DOUBLE_EQ(dd->hitRatioThreshold, 30.0 / 70.0);
    Tarn_SetCacheHitThreshold(dd, 50);
    EXPECT_DOUBLE_EQ(dd->hitRatioThreshold, 1.0);
}

TEST_F(ManagerTest, EnablingAutoReorderEmptiesAndShortensTheDelayedQueue) {
    DdNode *f = node(0, var(1), zero());
    Tarn_Ref(f);
    Tarn_DelayedDerefBdd(dd, f);
    EXPECT_EQ(f->ref, 1u);  // held by the queue
    Tarn_EnableAutoReorder(dd, 0);
    EXPECT_EQ(dd->autoReorder, 1);
    EXPECT_EQ(dd->autoReorderMethod, 4);
    EXPECT_EQ(f->ref, 0u);
    EXPECT_EQ(dd->delayedDepth, 1);
    EXPECT_EQ(dd->delayedMask, 0u);
    Tarn_DisableAutoReorder(dd);
    EXPECT_EQ(dd->autoReorder, 0);
}

int hookCalls;
int countingHook(DdManager *, const char *, void *) { return ++hookCalls; }
int otherHook(DdManager *, const char *, void *) { return 1; }

TEST_F(ManagerTest, HooksAreAddedOnceAndRemovedByFunction) {
    EXPECT_EQ(Tarn_AddHook(dd, countingHook, TARN_PRE_GC_HOOK), 1);
    EXPECT_EQ(Tarn_AddHook(dd, countingHook, TARN_PRE_GC_HOOK), 1);
    EXPECT_EQ(Tarn_AddHook(dd, otherHook, TARN_PRE_GC_HOOK), 1);
    ASSERT_NE(dd->gcHooksBefore, nullptr);
    EXPECT_EQ(dd->gcHooksBefore->f, countingHook);
    EXPECT_EQ(dd->gcHooksBefore->next->f, otherHook);
    EXPECT_EQ(dd->gcHooksBefore->next->next, nullptr);
    EXPECT_EQ(Tarn_RemoveHook(dd, countingHook, TARN_POST_GC_HOOK), 0);
    EXPECT_EQ(Tarn_RemoveHook(dd, countingHook, 7), 0);
    EXPECT_EQ(Tarn_RemoveHook(dd, countingHook, TARN_PRE_GC_HOOK), 1);
    EXPECT_EQ(dd->gcHooksBefore->f, otherHook);
    // The rest is freed by Tarn_Quit (the sanitizer build checks for leaks).
    EXPECT_EQ(Tarn_AddHook(dd, countingHook, TARN_POST_REORDERING_HOOK), 1);
}

void recordOnly(size_t) {}

// Every allocation of a manager's creation may fail: the creation then returns null and leaves
// nothing behind (the sanitizer build checks for leaks).
TEST(Manager, CreationSurvivesEveryAllocationFailure) {
    UtilOutOfMemoryFn saved = util_out_of_memory;
    util_out_of_memory = recordOnly;
    testing::internal::CaptureStderr();
    int failures = 0;
    DdManager *dd = nullptr;
    for (long k = 0; k < 200 && dd == nullptr; k++) {
        util_fail_allocations_after(k);
        dd = Tarn_Init(3, 0, 8, 64, kTestMemory);
        util_fail_allocations_after(-1);
        if (dd == nullptr) failures++;
    }
    testing::internal::GetCapturedStderr();
    util_out_of_memory = saved;
    ASSERT_NE(dd, nullptr);
    EXPECT_GT(failures, 10);
    EXPECT_EQ(dd->size, 3);
    Tarn_Quit(dd);
}

}  // namespace
