// The collector, the delayed-release queue, and the computed table's growth and cleaning.
#include <set>

#include "fixture.h"

namespace {

int beforeCalls, afterCalls;
int before(DdManager *, const char *kind, void *) {
    EXPECT_STREQ(kind, "DD");
    beforeCalls++;
    return 1;
}
int after(DdManager *, const char *, void *) {
    afterCalls++;
    return 1;
}
int refuse(DdManager *, const char *, void *) { return 0; }

class CollectorTest : public ManagerTest {
protected:
    void SetUp() override {
        ManagerTest::SetUp();
        beforeCalls = afterCalls = 0;
    }
};

TEST_F(CollectorTest, NothingDeadCollectsNothingButRunsBothHookLists) {
    Tarn_AddHook(dd, before, TARN_PRE_GC_HOOK);
    Tarn_AddHook(dd, after, TARN_POST_GC_HOOK);
    EXPECT_EQ(tarnGarbageCollect(dd, 1), 0);
    EXPECT_EQ(dd->gcCount, 0);
    EXPECT_EQ(beforeCalls, 1);
    EXPECT_EQ(afterCalls, 1);
}

TEST_F(CollectorTest, RemovesDeadNodesAndReturnsThemToTheFreeList) {
    Tarn_AddHook(dd, before, TARN_PRE_GC_HOOK);
    Tarn_AddHook(dd, after, TARN_POST_GC_HOOK);
    DdNode *keep = node(0, var(1), zero());
    Tarn_Ref(keep);
    DdNode *g = node(1, var(2), zero());
    DdNode *drop = node(0, g, one());
    Tarn_Ref(drop);
    Tarn_DerefBdd(dd, drop);
    unsigned keys = dd->keys;

    EXPECT_EQ(tarnGarbageCollect(dd, 1), 2);
    EXPECT_EQ(dd->gcCount, 1);
    EXPECT_EQ(dd->keys, keys - 2);
    EXPECT_EQ(dd->dead, 0u);
    EXPECT_EQ(dd->subtables[0].dead, 0u);
    EXPECT_EQ(chainNodes(0), dd->subtables[0].keys);
    EXPECT_EQ(beforeCalls, 1);
    EXPECT_EQ(afterCalls, 1);
    EXPECT_EQ(node(0, var(1), zero()), keep);

    std::set<DdNode *> free;
    for (DdNode *n = dd->freeList; n != nullptr; n = n->next) free.insert(n);
    EXPECT_EQ(free.count(drop), 1u);
    EXPECT_EQ(free.count(g), 1u);
    EXPECT_EQ(free.size() + dd->keys, 1022u);
}

// A release with the wrong kind (an ADD released as a BDD, or the reverse) must still count its
// dead nodes right, and releasing the manager's constants too often must not kill them.
TEST_F(CollectorTest, ReleasesSurviveTheWrongKindAndOverReleasedConstants) {
    DdNode *five = Tarn_AddConst(dd, 5.0);
    Tarn_Ref(five);
    DdNode *x = Tarn_AddIthVar(dd, 0);
    Tarn_Ref(x);
    DdNode *scaled = Tarn_AddApply(dd, Tarn_AddTimes, x, five);
    Tarn_Ref(scaled);
    Tarn_RecursiveDeref(dd, x);
    Tarn_DerefBdd(dd, five);
    Tarn_DerefBdd(dd, scaled);  // its leaf dies with it
    EXPECT_EQ(dd->constants.dead, 1u);

    DdNode *f = Tarn_BddAnd(dd, var(0), var(1));
    Tarn_Ref(f);
    for (int i = 0; i < 64; i++) Tarn_RecursiveDeref(dd, dd->one);
    for (int i = 0; i < 64; i++) Tarn_RecursiveDeref(dd, dd->zero);
    Tarn_RecursiveDeref(dd, f);
    EXPECT_EQ(dd->one->ref, 1u);
    EXPECT_EQ(dd->zero->ref, 1u);
    EXPECT_GT(tarnGarbageCollect(dd, 1), 0);  // stops the process if a dead count is wrong
    EXPECT_EQ(Tarn_AddConst(dd, 1.0), dd->one);
    EXPECT_EQ(Tarn_AddConst(dd, 0.0), dd->zero);
    EXPECT_EQ(Tarn_BddAnd(dd, var(0), Tarn_Not(var(0))), zero());
}

TEST_F(CollectorTest, AFailingBeforeHookStopsTheCollection) {
    Tarn_AddHook(dd, refuse, TARN_PRE_GC_HOOK);
    DdNode *f = node(0, var(1), zero());
    Tarn_Ref(f);
    Tarn_DerefBdd(dd, f);
    EXPECT_EQ(tarnGarbageCollect(dd, 1), 0);
    EXPECT_EQ(dd->dead, 1u);
    EXPECT_EQ(dd->gcCount, 0);
}

TEST_F(CollectorTest, FreeListListsTheNewestBlockFirstInAddressOrder) {
    std::vector<DdNode *> made;
    for (int i = 0; i < 1500; i++) {
        DdNode *c = tarnUniqueConst(dd, 100.0 + i);
        Tarn_Ref(c);
        made.push_back(c);
    }
    for (size_t i = 0; i < made.size(); i += 3) Tarn_RecursiveDeref(dd, made[i]);
    ASSERT_GT(tarnGarbageCollect(dd, 1), 0);

    auto *newest = reinterpret_cast<DdNode *>(tarnAlign32After(dd->nodeBlocks));
    auto inNewest = [&](DdNode *n) { return n >= newest && n < newest + TARN_NODES_PER_BLOCK; };
    DdNode *n = dd->freeList;
    ASSERT_TRUE(inNewest(n));
    DdNode *previous = nullptr;
    bool leftNewest = false;
    for (; n != nullptr; previous = n, n = n->next) {
        EXPECT_EQ(n->ref, 0u);
        if (!inNewest(n)) {
            leftNewest = true;
        } else {
            EXPECT_FALSE(leftNewest) << "the newest block's nodes come first";
        }
        if (previous != nullptr && inNewest(previous) == inNewest(n)) {
            EXPECT_LT(previous, n);
        }
    }
    EXPECT_TRUE(leftNewest);
}

// After a collection every chain holds exactly the live nodes of its level, each in its own bucket
// and in sorted order, and the free list holds every other node. Random BDDs and ADDs over twelve
// variables, half of them released, so that every level but the lowest has dead nodes; rebuilding
// the kept functions afterwards must find their nodes again. A collection needs no memory: it
// must do the same when none is to be had.
class CollectionResultTest : public CollectorTest {
protected:
    void collectAndCheck(bool withoutMemory);
};

TEST_F(CollectionResultTest, LeavesSortedChainsOfExactlyTheLiveNodes) { collectAndCheck(false); }

TEST_F(CollectionResultTest, NeedsNoMemory) { collectAndCheck(true); }

void CollectionResultTest::collectAndCheck(bool withoutMemory) {
    constexpr int kVars = 12;
    for (int i = 0; i < kVars; i++) ASSERT_NE(var(i), nullptr);
    unsigned seed = 12345;
    auto random = [&seed] { return (seed = seed * 1103515245u + 12345u) >> 16; };
    auto build = [&](unsigned s, bool add) {
        seed = s;
        DdNode *f = add ? Tarn_AddConst(dd, 1.5) : one();
        Tarn_Ref(f);
        for (int k = 0; k < 6; k++) {
            const int v = static_cast<int>(random() % (kVars - 1));
            DdNode *h = add ? Tarn_AddIthVar(dd, v) : Tarn_BddAnd(dd, var(v), var(v + 1));
            if (h == nullptr) {
                Tarn_RecursiveDeref(dd, f);
                return h;
            }
            Tarn_Ref(h);
            DdNode *g = add ? Tarn_AddApply(dd, Tarn_AddPlus, f, h) : Tarn_BddXor(dd, f, h);
            if (g != nullptr) Tarn_Ref(g);
            Tarn_RecursiveDeref(dd, h);
            Tarn_RecursiveDeref(dd, f);
            if (g == nullptr) return g;
            f = g;
        }
        return f;
    };
    std::vector<DdNode *> kept;
    for (unsigned s = 1; s <= 60; s++) {
        DdNode *f = build(s, s % 3 == 0);
        ASSERT_NE(f, nullptr);
        if (s % 2 == 0) {
            kept.push_back(f);
        } else {
            Tarn_RecursiveDeref(dd, f);
        }
    }
    ASSERT_GT(dd->dead, 0u);
    const unsigned keysBefore = dd->keys, deadBefore = dd->dead;
    // Both kinds of level occur: those with dead nodes are rebuilt, the others left as they are.
    EXPECT_GT(dd->subtables[0].dead, 0u);
    EXPECT_EQ(dd->subtables[kVars - 1].dead, 0u);

    if (withoutMemory) util_fail_allocations_after(0);
    const int collected = tarnGarbageCollect(dd, 1);
    util_fail_allocations_after(-1);
    ASSERT_EQ(collected, static_cast<int>(deadBefore));
    EXPECT_EQ(dd->keys, keysBefore - deadBefore);
    std::set<DdNode *> chained;
    for (int level = 0; level < dd->size; level++) {
        const DdSubtable &t = dd->subtables[level];
        EXPECT_EQ(t.dead, 0u);
        for (unsigned j = 0; j < t.slots; j++) {
            DdNode *previous = nullptr;
            for (DdNode *n = t.buckets[j]; n != &dd->sentinel; previous = n, n = n->next) {
                EXPECT_GT(n->ref, 0u);
                EXPECT_EQ(dd->perm[n->index], level);
                EXPECT_EQ(tarnHashNode(n->T, n->E, t.shift), j);
                if (previous != nullptr) {
                    EXPECT_TRUE(previous->T > n->T || (previous->T == n->T && previous->E > n->E))
                        << "chains stay sorted";
                }
                chained.insert(n);
            }
        }
        EXPECT_EQ(chainNodes(level), t.keys);
    }
    std::set<DdNode *> free;
    for (DdNode *n = dd->freeList; n != nullptr; n = n->next) free.insert(n);
    for (void **block = dd->nodeBlocks; block != nullptr; block = static_cast<void **>(*block)) {
        auto *nodes = reinterpret_cast<DdNode *>(tarnAlign32After(block));
        for (int i = 0; i < TARN_NODES_PER_BLOCK; i++) {
            DdNode *n = &nodes[i];
            const bool internal = n->ref != 0 && n->index != TARN_MAXINDEX;
            EXPECT_EQ(free.count(n), n->ref == 0 ? 1u : 0u);
            EXPECT_EQ(chained.count(n), internal ? 1u : 0u);
        }
    }

    for (size_t k = 0; k < kept.size(); k++) {
        const auto s = static_cast<unsigned>(2 * (k + 1));
        DdNode *again = build(s, s % 3 == 0);
        EXPECT_EQ(again, kept[k]) << "seed " << s;
        Tarn_RecursiveDeref(dd, again);
        Tarn_RecursiveDeref(dd, kept[k]);
    }
}

TEST_F(CollectorTest, CleaningTheComputedTableDropsOnlyEntriesWithDeadNodes) {
    DdNode *live = node(0, var(1), zero());
    Tarn_Ref(live);
    DdNode *doomed = node(0, var(2), zero());
    Tarn_Ref(doomed);
    DdNode *op = reinterpret_cast<DdNode *>(uintptr_t{0x1000});  // an operation identity
    // The cleaning visits every slot, so the entries go to slots of their own, each with a tag.
    unsigned next = 0;
    auto put = [&](DdNode *k1, DdNode *k2, DdNode *k3, DdNode *result) {
        dd->cacheTags[next] = 1;
        DdCache &e = dd->cache[next++];
        e = DdCache{k1, k2, k3, result};
        return &e;
    };
    auto tagOf = [&](const DdCache *e) { return dd->cacheTags[e - dd->cache]; };
    DdCache *survivor = put(live, var(3), op, tarnNot(live));
    DdCache *deadResult = put(var(1), var(3), op, doomed);
    DdCache *deadKey = put(tarnNot(doomed), live, op, live);
    // A three-operand entry carries its tag in the keys' low bits; its third key is a node.
    DdCache *deadThird = put(reinterpret_cast<DdNode *>(reinterpret_cast<uintptr_t>(live) | 14),
                             var(1), doomed, live);
    DdCache *marker = put(var(2), live, op, reinterpret_cast<DdNode *>(uintptr_t{1}));

    Tarn_DerefBdd(dd, doomed);
    double deletions = dd->cacheDeletions;
    EXPECT_EQ(tarnGarbageCollect(dd, 1), 1);
    EXPECT_EQ(survivor->result, tarnNot(live));
    EXPECT_EQ(marker->result, reinterpret_cast<DdNode *>(uintptr_t{1}));
    EXPECT_EQ(deadResult->result, nullptr);
    EXPECT_EQ(deadKey->result, nullptr);
    EXPECT_EQ(deadThird->result, nullptr);
    EXPECT_EQ(dd->cacheDeletions, deletions + 3);
    // A cleared entry's tag goes with it, or a later insert there would count as a collision.
    EXPECT_EQ(tagOf(survivor), 1);
    EXPECT_EQ(tagOf(marker), 1);
    EXPECT_EQ(tagOf(deadResult), 0);
    EXPECT_EQ(tagOf(deadKey), 0);
    EXPECT_EQ(tagOf(deadThird), 0);
}

// Distinct BDD nodes at level 0, each referenced once; their children are projection functions,
// which the manager holds, so a release kills exactly the node.
std::vector<DdNode *> singlyReferenced(DdManager *dd, int count) {
    std::vector<DdNode *> made;
    for (int i = 0; i < count; i++) {
        DdNode *n = tarnUniqueInter(dd, 0, dd->vars[1 + i % 3], tarnNotCond(dd->one, i / 3 == 0));
        Tarn_Ref(n);
        made.push_back(n);
    }
    return made;
}

TEST_F(CollectorTest, DelayedReleaseKillsTheOldestOnceTheQueueWraps) {
    // Shrink the queue to 4 entries (from 65536, a quarter at a time).
    while (dd->delayedDepth > 4) tarnShrinkDelayedQueue(dd);
    ASSERT_EQ(dd->delayedDepth, 4);
    std::vector<DdNode *> f = singlyReferenced(dd, 5);
    for (int i = 0; i < 4; i++) Tarn_DelayedDerefBdd(dd, f[i]);
    EXPECT_EQ(dd->dead, 0u);
    EXPECT_EQ(f[0]->ref, 1u);
    Tarn_DelayedDerefBdd(dd, f[4]);
    EXPECT_EQ(f[0]->ref, 0u);
    EXPECT_EQ(dd->dead, 1u);
    EXPECT_EQ(dd->delayedQueue[0], f[4]);

    // A node with other references is just decremented.
    DdNode *shared = node(2, var(3), zero());
    Tarn_Ref(shared);
    Tarn_Ref(shared);
    Tarn_Ref(shared);
    Tarn_DelayedDerefBdd(dd, shared);
    EXPECT_EQ(shared->ref, 2u);
    EXPECT_EQ(dd->delayedQueue[1], f[1]);

    // A collection empties the queue first.
    EXPECT_EQ(tarnGarbageCollect(dd, 1), 5);
    for (int i = 0; i < 4; i++) EXPECT_EQ(dd->delayedQueue[i], nullptr);
    EXPECT_EQ(dd->delayedNext, 0);
}

// Distinct BDD nodes at level 0 (then-child a projection function, else-child a constant or
// another one), each referenced once: a release kills exactly the node.
std::vector<DdNode *> distinctSinglyReferenced(DdManager *dd, int count) {
    std::vector<DdNode *> made;
    for (int t = 1; t <= 3 && static_cast<int>(made.size()) < count; t++) {
        for (int e = 0; e < 8 && static_cast<int>(made.size()) < count; e++) {
            DdNode *E = e < 2 ? tarnNotCond(dd->one, e == 1) : tarnNotCond(dd->vars[1 + (e - 2) / 2], e % 2 == 1);
            if (tarnRegular(E) == dd->vars[t]) continue;
            DdNode *n = tarnUniqueInter(dd, 0, dd->vars[t], E);
            Tarn_Ref(n);
            made.push_back(n);
        }
    }
    return made;
}

TEST_F(CollectorTest, DeferredReleaseWaitsUntilTheCountsAreRead) {
    const unsigned baseline = live();
    std::vector<DdNode *> f = distinctSinglyReferenced(dd, TARN_RELEASE_QUEUE_LENGTH + 1);
    ASSERT_EQ(f.size(), TARN_RELEASE_QUEUE_LENGTH + 1);
    for (unsigned i = 0; i < TARN_RELEASE_QUEUE_LENGTH; i++) Tarn_DeferredDerefBdd(dd, f[i]);
    // The nodes wait alive; the callers hold no reference on them any more.
    EXPECT_EQ(dd->dead, 0u);
    EXPECT_EQ(f[0]->ref, 1u);
    EXPECT_EQ(Tarn_ReadCallerRefs(dd, f[0]), 0u);
    EXPECT_EQ(Tarn_ReadCallerRefs(dd, tarnNot(f[8])), 1u);

    // Found again, a waiting node is alive: nothing is revived, and its next release waits too.
    const double reclaimed = dd->nodesReclaimed;
    DdNode *again = tarnUniqueInter(dd, 0, f[1]->T, f[1]->E);
    ASSERT_EQ(again, f[1]);
    Tarn_Ref(again);
    EXPECT_EQ(Tarn_ReadCallerRefs(dd, again), 1u);
    Tarn_DeferredDerefBdd(dd, again);
    EXPECT_EQ(f[1]->ref, 1u);
    EXPECT_EQ(dd->nodesReclaimed, reclaimed);

    // One release more than the queue holds runs the oldest walk.
    Tarn_DeferredDerefBdd(dd, f[8]);
    EXPECT_EQ(f[0]->ref, 0u);
    EXPECT_EQ(dd->dead, 1u);

    // A node with other references is just decremented.
    DdNode *shared = node(2, var(3), zero());
    Tarn_Ref(shared);
    Tarn_Ref(shared);
    Tarn_DeferredDerefBdd(dd, shared);
    EXPECT_EQ(shared->ref, 1u);

    // Reading the live count runs every waiting walk: the count is that of immediate releases.
    EXPECT_EQ(Tarn_ReadNodeCount(dd), Tarn_ReadNodeCount(dd));
    EXPECT_EQ(dd->dead, TARN_RELEASE_QUEUE_LENGTH + 1);
    EXPECT_EQ(live(), baseline + 1);
    EXPECT_EQ(dd->releasesWaiting, 0u);
    for (DdNode *waiting : dd->releaseQueue) EXPECT_EQ(waiting, nullptr);
    Tarn_DerefBdd(dd, shared);
}

// The report, a collection and a reordering each see the counts of immediate releases.
TEST_F(CollectorTest, DeferredReleasesRunBeforeEveryReaderOfTheCounts) {
    auto fill = [this] {
        std::vector<DdNode *> f = singlyReferenced(dd, 3);
        for (DdNode *n : f) Tarn_DeferredDerefBdd(dd, n);
        ASSERT_EQ(dd->releasesWaiting, 3u);
    };
    fill();
    FILE *sink = fopen("/dev/null", "w");
    ASSERT_NE(sink, nullptr);
    EXPECT_EQ(Tarn_PrintInfo(dd, sink), 1);
    fclose(sink);
    EXPECT_EQ(dd->releasesWaiting, 0u);
    EXPECT_EQ(dd->dead, 3u);

    fill();  // the same nodes: the dead ones are revived, then wait again
    EXPECT_EQ(tarnGarbageCollect(dd, 0), 3);
    EXPECT_EQ(dd->dead, 0u);

    DdNode *keep = node(0, var(1), var(2));
    Tarn_Ref(keep);
    fill();
    EXPECT_EQ(Tarn_Reorder(dd, TARN_REORDER_SIFT, 0), 1);
    EXPECT_EQ(dd->releasesWaiting, 0u);
    EXPECT_EQ(dd->dead, 0u);
    Tarn_DerefBdd(dd, keep);
}

// The live-node limit and the reordering trigger count what immediate releases would leave.
TEST_F(CollectorTest, WaitingReleasesCountNeitherForTheLiveLimitNorForTheTrigger) {
    std::vector<DdNode *> f = distinctSinglyReferenced(dd, 11);
    for (int i = 0; i < 3; i++) Tarn_DeferredDerefBdd(dd, f[static_cast<size_t>(i)]);
    while (dd->freeList != nullptr) {
        DdNode *c = tarnUniqueConst(dd, 100.0 + dd->keys);
        ASSERT_NE(c, nullptr);
        Tarn_Ref(c);
    }
    Tarn_SetMaxLive(dd, dd->keys - dd->dead - 3);
    EXPECT_NE(tarnUniqueConst(dd, -42.0), nullptr);
    EXPECT_EQ(dd->releasesWaiting, 0u);
    Tarn_SetMaxLive(dd, UINT32_MAX);

    Tarn_EnableAutoReorder(dd, TARN_REORDER_SIFT);
    for (int i = 3; i < 6; i++) Tarn_DeferredDerefBdd(dd, f[static_cast<size_t>(i)]);
    dd->reorderThreshold = dd->keys - dd->dead;  // reached only while the waiting nodes count
    DdNode *made = node(1, var(2), zero());
    EXPECT_NE(made, nullptr);
    EXPECT_EQ(dd->reorderCount, 0);
    EXPECT_EQ(dd->releasesWaiting, 0u);
}

// Random functions released at random, once with immediate and once with
// deferred releases: the live counts agree whenever they are read, and every collection finds the
// dead counts it expects (it stops the process otherwise).
TEST(DeferredReleaseStress, AgreesWithImmediateReleases) {
    DdManager *immediate = Tarn_Init(10, 0, 8, 64, kTestMemory);
    DdManager *deferred = Tarn_Init(10, 0, 8, 64, kTestMemory);
    ASSERT_NE(immediate, nullptr);
    ASSERT_NE(deferred, nullptr);
    const unsigned baseline = Tarn_ReadNodeCount(deferred);
    std::vector<DdNode *> heldA, heldB;
    uint32_t seed = 777;
    auto rnd = [&seed](uint32_t n) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 16) % n;
    };
    for (int i = 0; i < 10; i++) {
        heldA.push_back(Tarn_BddIthVar(immediate, i));
        heldB.push_back(Tarn_BddIthVar(deferred, i));
        Tarn_Ref(heldA.back());
        Tarn_Ref(heldB.back());
    }
    for (int step = 0; step < 20000; step++) {
        const auto a = rnd(static_cast<uint32_t>(heldA.size()));
        const auto b = rnd(static_cast<uint32_t>(heldA.size()));
        const auto op = rnd(4);
        const auto v = static_cast<int>(rnd(10));
        const bool negate = rnd(2) == 0;
        auto make = [&](DdManager *dd, std::vector<DdNode *> &held) {
            DdNode *g = tarnNotCond(held[b], negate);
            DdNode *r = op == 0   ? Tarn_BddAnd(dd, held[a], g)
                        : op == 1 ? Tarn_BddOr(dd, held[a], g)
                        : op == 2 ? Tarn_BddXor(dd, held[a], g)
                                  : Tarn_BddIte(dd, Tarn_BddIthVar(dd, v), held[a], g);
            ASSERT_NE(r, nullptr);
            Tarn_Ref(r);
            held.push_back(r);
        };
        make(immediate, heldA);
        make(deferred, heldB);
        if (heldA.size() > 40 || rnd(3) == 0) {
            const auto k = rnd(static_cast<uint32_t>(heldA.size()));
            Tarn_DerefBdd(immediate, heldA[k]);
            Tarn_DeferredDerefBdd(deferred, heldB[k]);
            heldA[k] = heldA.back();
            heldA.pop_back();
            heldB[k] = heldB.back();
            heldB.pop_back();
        }
        if (step % 500 == 0) {
            ASSERT_EQ(Tarn_ReadNodeCount(immediate), Tarn_ReadNodeCount(deferred)) << step;
        }
        if (step % 2000 == 1999) {
            Tarn_DeferredDerefBdd(deferred, Tarn_ReadOne(deferred));  // a constant never waits
            Tarn_Ref(Tarn_ReadOne(deferred));
            tarnCacheFlush(deferred);
            tarnGarbageCollect(deferred, 0);
            ASSERT_EQ(deferred->dead, 0u);
        }
    }
    for (DdNode *f : heldA) Tarn_DerefBdd(immediate, f);
    for (DdNode *f : heldB) Tarn_DeferredDerefBdd(deferred, f);
    EXPECT_EQ(Tarn_ReadNodeCount(immediate), baseline);
    EXPECT_EQ(Tarn_ReadNodeCount(deferred), baseline);
    Tarn_Quit(immediate);
    Tarn_Quit(deferred);
}

TEST_F(CollectorTest, ShrinkingReleasesTheCutEntries) {
    while (dd->delayedDepth > 16) tarnShrinkDelayedQueue(dd);
    std::vector<DdNode *> f = singlyReferenced(dd, 6);
    for (DdNode *n : f) Tarn_DelayedDerefBdd(dd, n);
    tarnShrinkDelayedQueue(dd);
    EXPECT_EQ(dd->delayedDepth, 4);
    EXPECT_EQ(dd->delayedMask, 3u);
    EXPECT_EQ(dd->delayedNext, 0);  // 6 no longer fits
    for (int i = 0; i < 4; i++) EXPECT_EQ(f[i]->ref, 1u);
    EXPECT_EQ(f[4]->ref, 0u);
    EXPECT_EQ(f[5]->ref, 0u);
}

TEST_F(CollectorTest, CacheResizeKeepsEntriesAndRestartsTheHitCount) {
    DdNode *op = reinterpret_cast<DdNode *>(uintptr_t{0x2000});
    // Four entries in four different slots (a key whose slot is taken is skipped).
    std::vector<DdCache> stored;
    for (int i = 0; stored.size() < 4 && i < 8; i++) {
        DdNode *k1 = tarnNotCond(var(i % 4), i >= 4);
        DdCache &e = dd->cache[tarnCacheHash(k1, var(0), op, dd->cacheShift)];
        if (e.result != nullptr) continue;
        e = DdCache{k1, var(0), op, one()};
        stored.push_back(e);
    }
    ASSERT_GE(stored.size(), 2u);
    dd->cacheHits = 7;
    unsigned slots = dd->cacheSlots;
    tarnCacheResize(dd);
    EXPECT_EQ(dd->cacheSlots, 2 * slots);
    EXPECT_EQ(dd->cacheHits, 0.0);
    EXPECT_EQ(dd->cacheHitsBefore, 7.0);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(dd->cache) % 32, 0u);
    for (const DdCache &e : stored) {
        const DdCache &moved = dd->cache[tarnCacheHash(e.key1, e.key2, e.key3, dd->cacheShift)];
        EXPECT_EQ(moved.key1, e.key1);
        EXPECT_EQ(moved.result, e.result);
    }
    double deletions = dd->cacheDeletions;
    tarnCacheFlush(dd);
    EXPECT_EQ(dd->cacheDeletions, deletions + static_cast<double>(stored.size()));
    for (unsigned i = 0; i < dd->cacheSlots; i++) EXPECT_EQ(dd->cache[i].result, nullptr);
}

// Many diagrams made and released with tiny tables: subtables grow, the collector runs many times
// and checks its dead counts against the chains each time, and the computed table follows the
// unique table's growth.
TEST(CollectorStress, BuildAndReleaseManyDiagrams) {
    DdManager *dd = Tarn_Init(12, 0, 8, 4, kTestMemory);
    ASSERT_NE(dd, nullptr);
    unsigned cacheSlots = dd->cacheSlots;
    uint32_t seed = 12345;
    auto rnd = [&seed](uint32_t n) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 16) % n;
    };
    std::vector<DdNode *> held;
    unsigned baseline = dd->keys;
    for (int round = 0; round < 100000; round++) {
        // A random chain of nodes from the bottom level up; every intermediate is referenced
        // while the next level is made.
        DdNode *f = rnd(2) ? dd->one : tarnUniqueConst(dd, static_cast<double>(rnd(50)));
        Tarn_Ref(f);
        bool isAdd = !(f == dd->one);
        for (int level = 11; level >= 0; level--) {
            if (rnd(3) == 0) continue;
            DdNode *other = isAdd ? tarnUniqueConst(dd, static_cast<double>(rnd(50)))
                                  : tarnNotCond(dd->one, rnd(2));
            Tarn_Ref(other);
            DdNode *T = rnd(2) ? f : other;
            DdNode *E = T == f ? other : f;
            DdNode *n;
            if (T == E) {
                n = f;
            } else {
                bool c = !isAdd && tarnIsComplement(T);
                n = tarnUniqueInter(dd, level, tarnRegular(T), tarnNotCond(E, c));
                ASSERT_NE(n, nullptr);
                n = tarnNotCond(n, c);
            }
            Tarn_Ref(n);
            Tarn_RecursiveDeref(dd, f);
            Tarn_RecursiveDeref(dd, other);
            f = n;
        }
        held.push_back(f);
        if (held.size() > 300 || rnd(4) == 0) {
            size_t k = rnd(static_cast<uint32_t>(held.size()));
            Tarn_RecursiveDeref(dd, held[k]);
            held[k] = held.back();
            held.pop_back();
        }
    }
    EXPECT_GT(dd->gcCount, 5);
    EXPECT_GT(dd->slots, 13u * 8);
    EXPECT_GT(dd->cacheSlots, cacheSlots);
    for (DdNode *f : held) Tarn_RecursiveDeref(dd, f);
    tarnGarbageCollect(dd, 1);
    EXPECT_EQ(dd->keys, baseline);
    EXPECT_EQ(dd->dead, 0u);
    Tarn_Quit(dd);
}

}  // namespace
