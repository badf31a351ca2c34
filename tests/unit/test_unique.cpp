// The unique table: canonical nodes, ordered chains across growth, revival of dead nodes,
// constants, and the creation of variables.
#include <cmath>
#include <limits>

#include "fixture.h"

namespace {

// Every chain of a subtable is ordered by decreasing (then, else) and ends at the sentinel, and
// every node sits in the bucket its hash names.
void expectChainsOrdered(DdManager *dd, int level) {
    const DdSubtable &t = dd->subtables[level];
    for (unsigned j = 0; j < t.slots; j++) {
        DdNode *previous = nullptr;
        for (DdNode *n = t.buckets[j]; n != &dd->sentinel; n = n->next) {
            ASSERT_NE(n, nullptr) << "chain " << j << " does not end at the sentinel";
            EXPECT_EQ(tarnHashNode(n->T, n->E, t.shift), j);
            if (previous != nullptr) {
                auto pt = reinterpret_cast<uintptr_t>(previous->T);
                auto nt = reinterpret_cast<uintptr_t>(n->T);
                EXPECT_TRUE(pt > nt || (pt == nt && reinterpret_cast<uintptr_t>(previous->E) >
                                                        reinterpret_cast<uintptr_t>(n->E)))
                    << "chain " << j << " out of order";
            }
            previous = n;
        }
    }
}

TEST_F(ManagerTest, SameTripleGivesSameNode) {
    DdNode *f = node(0, var(1), zero());
    Tarn_Ref(f);
    unsigned keys = dd->keys;
    EXPECT_EQ(node(0, var(1), zero()), f);
    EXPECT_EQ(dd->keys, keys);
    EXPECT_EQ(dd->subtables[0].keys, 2u);  // x0 itself and f
    // Children hold one reference each from the new node.
    EXPECT_EQ(var(1)->ref, 2u);
    EXPECT_EQ(f->ref, 1u);
    EXPECT_EQ(dd->dead, 0u);
}

// Makes many distinct nodes at level 0 over children from the lower levels, so that the subtable
// passes its key limit several times and doubles its buckets each time; checks the chains and that
// every node is still found.
class GrowthTest : public ManagerTest {
protected:
    void growLevelZero() {
        std::vector<DdNode *> children = {one(), zero()};
        for (int i = 1; i < 4; i++) {
            children.push_back(var(i));
            children.push_back(tarnNot(var(i)));
        }
        for (int i = 1; i < 4; i++) {
            for (int j = i + 1; j < 4; j++) {
                DdNode *a = node(i, var(j), zero());
                Tarn_Ref(a);
                children.push_back(a);
                children.push_back(tarnNot(a));
            }
        }
        std::vector<DdNode *> made;
        for (DdNode *T : children) {
            for (DdNode *E : children) {
                if (T == E) continue;
                DdNode *f = node(0, T, E);
                ASSERT_NE(f, nullptr);
                Tarn_Ref(f);
                made.push_back(f);
            }
        }
        const DdSubtable &t = dd->subtables[0];
        EXPECT_GT(t.slots, 8u);
        EXPECT_EQ(t.keyLimit, dd->keysPerSlot * t.slots);
        EXPECT_LE(t.keys, t.keyLimit);
        // the table doubled only as often as its density asked
        EXPECT_GT(t.keys, t.keyLimit / 2);
        EXPECT_EQ(chainNodes(0), t.keys);
        expectChainsOrdered(dd, 0);
        size_t k = 0;
        for (DdNode *T : children) {
            for (DdNode *E : children) {
                if (T == E) continue;
                EXPECT_EQ(node(0, T, E), made[k++]);
            }
        }
        EXPECT_EQ(dd->slots, t.slots + 3 * 8 + 8);
    }
};

TEST_F(GrowthTest, ChainsStayOrderedAcrossGrowth) { growLevelZero(); }

// At two nodes per bucket every subtable (also those made before the change) grows at half the
// node count; the collection threshold and the computed table's room are counted per node, so a
// table with twice the buckets has the thresholds the default density gives.
TEST_F(GrowthTest, DenserOrSparserSubtablesGrowAtTheirOwnLimit) {
    const unsigned threshold = dd->deadThreshold;
    const int room = dd->cacheRoom;
    Tarn_SetKeysPerSlot(dd, 1u << 31);  // capped, so no key limit overflows
    EXPECT_EQ(Tarn_ReadKeysPerSlot(dd), TARN_MAX_KEYS_PER_SLOT);
    Tarn_SetKeysPerSlot(dd, 0);
    EXPECT_EQ(Tarn_ReadKeysPerSlot(dd), 2u);
    for (int i = 0; i < dd->size; i++) {
        EXPECT_EQ(dd->subtables[i].keyLimit, 2 * dd->subtables[i].slots);
    }
    EXPECT_EQ(dd->constants.keyLimit, 2 * dd->constants.slots);
    EXPECT_EQ(dd->deadThreshold, threshold / 2);
    growLevelZero();
    // back at four per bucket with twice the buckets: the thresholds of the default density
    DdManager *wide = Tarn_Init(4, 0, 16, 256, 0);
    ASSERT_NE(wide, nullptr);
    Tarn_SetKeysPerSlot(wide, 2);
    EXPECT_EQ(wide->deadThreshold, threshold);
    EXPECT_EQ(wide->cacheRoom, room);
    Tarn_Quit(wide);
}

TEST_F(ManagerTest, ReleasingTheOnlyReferenceKillsJustThatNodeAndALookupRevivesIt) {
    DdNode *f = node(0, var(1), zero());  // x0 AND x1
    Tarn_Ref(f);
    Tarn_RecursiveDeref(dd, f);
    EXPECT_EQ(f->ref, 0u);
    EXPECT_EQ(dd->dead, 1u);
    EXPECT_EQ(dd->subtables[0].dead, 1u);
    EXPECT_EQ(var(1)->ref, 1u);  // the manager's own reference remains
    EXPECT_EQ(dd->peakLiveNodes, dd->keys);

    EXPECT_EQ(node(0, var(1), zero()), f);
    EXPECT_EQ(dd->dead, 0u);
    EXPECT_EQ(dd->subtables[0].dead, 0u);
    EXPECT_EQ(dd->nodesReclaimed, 1.0);
    EXPECT_EQ(f->ref, 0u);  // live but unreferenced until its caller takes it
    EXPECT_EQ(var(1)->ref, 2u);
}

TEST_F(ManagerTest, ReleaseWalkStopsAtSharedNodes) {
    DdNode *g = node(1, var(2), zero());  // x1 AND x2
    DdNode *f1 = node(0, g, zero());      // x0 AND g
    Tarn_Ref(f1);
    DdNode *f2 = node(0, g, one());  // NOT x0 OR g
    Tarn_Ref(f2);
    EXPECT_EQ(g->ref, 2u);

    Tarn_DerefBdd(dd, f1);
    EXPECT_EQ(dd->dead, 1u);
    EXPECT_EQ(g->ref, 1u);
    Tarn_RecursiveDeref(dd, f2);
    EXPECT_EQ(dd->dead, 3u);
    EXPECT_EQ(dd->subtables[0].dead, 2u);
    EXPECT_EQ(dd->subtables[1].dead, 1u);
    EXPECT_EQ(g->ref, 0u);
    EXPECT_EQ(var(2)->ref, 1u);

    // Reviving f1 revives g beneath it, and g takes back its references.
    EXPECT_EQ(node(0, g, zero()), f1);
    EXPECT_EQ(dd->dead, 1u);
    EXPECT_EQ(g->ref, 1u);
    EXPECT_EQ(var(2)->ref, 2u);
    EXPECT_EQ(dd->nodesReclaimed, 2.0);
}

TEST_F(ManagerTest, ReleaseWalkOfAddsHandlesConstants) {
    DdNode *three = tarnUniqueConst(dd, 3.0);
    DdNode *f = tarnUniqueInter(dd, 0, three, dd->zero);
    Tarn_Ref(f);
    unsigned keys = dd->keys;
    Tarn_RecursiveDeref(dd, f);
    EXPECT_EQ(three->ref, 0u);
    EXPECT_EQ(dd->constants.dead, 1u);
    EXPECT_EQ(dd->dead, 2u);
    EXPECT_EQ(tarnGarbageCollect(dd, 1), 2);
    EXPECT_EQ(dd->keys, keys - 2);
    EXPECT_EQ(dd->constants.keys, 4u);
}

struct ConstCase {
    double requested;
    double stored;
};

class ConstantNormalisation : public ManagerTest, public ::testing::WithParamInterface<ConstCase> {};

TEST_P(ConstantNormalisation, MapsToTheCanonicalValue) {
    DdNode *c = tarnUniqueConst(dd, GetParam().requested);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->index, TARN_MAXINDEX);
    EXPECT_EQ(c->value, GetParam().stored);
    EXPECT_FALSE(std::signbit(c->value) && c->value == 0.0);
    EXPECT_EQ(tarnUniqueConst(dd, GetParam().stored), c);
}

INSTANTIATE_TEST_SUITE_P(Unique, ConstantNormalisation,
                         ::testing::Values(ConstCase{0.5e-12, 0.0}, ConstCase{-0.5e-12, 0.0},
                                           ConstCase{-0.0, 0.0}, ConstCase{2e151, 1e302},
                                           ConstCase{1e151, 1e302}, ConstCase{-1e151, -1e302},
                                           ConstCase{std::numeric_limits<double>::infinity(), 1e302},
                                           ConstCase{-std::numeric_limits<double>::infinity(), -1e302},
                                           ConstCase{2.5, 2.5}, ConstCase{-7.0, -7.0}));

TEST_F(ManagerTest, NormalisedConstantsAreTheManagersOwn) {
    EXPECT_EQ(tarnUniqueConst(dd, 0.5e-12), dd->zero);
    EXPECT_EQ(tarnUniqueConst(dd, -0.5e-12), dd->zero);
    EXPECT_EQ(tarnUniqueConst(dd, 2e151), dd->plusInfinity);
    EXPECT_EQ(tarnUniqueConst(dd, -3e200), dd->minusInfinity);
    EXPECT_EQ(tarnUniqueConst(dd, 1.0), dd->one);
}

TEST_F(ManagerTest, NanIsOneConstant) {
    DdNode *nan = tarnUniqueConst(dd, std::nan(""));
    ASSERT_NE(nan, nullptr);
    EXPECT_TRUE(std::isnan(nan->value));
    unsigned keys = dd->keys;
    EXPECT_EQ(tarnUniqueConst(dd, std::nan("")), nan);
    EXPECT_EQ(dd->keys, keys);
}

TEST_F(ManagerTest, ConstantsWithinEpsilonShareANodeOnlyInOneBucket) {
    DdNode *a = tarnUniqueConst(dd, 5.0);
    DdNode *b = tarnUniqueConst(dd, 5.0 + 1e-13);
    bool sameBucket = tarnHashConst(5.0, dd->constants.shift) ==
                      tarnHashConst(5.0 + 1e-13, dd->constants.shift);
    EXPECT_EQ(a == b, sameBucket);
}

TEST_F(ManagerTest, ConstantsSubtableGrowsAndKeepsEveryValue) {
    std::vector<DdNode *> made;
    for (int i = 0; i < 200; i++) {
        DdNode *c = tarnUniqueConst(dd, 10.0 + i);
        ASSERT_NE(c, nullptr);
        Tarn_Ref(c);
        made.push_back(c);
    }
    EXPECT_GT(dd->constants.slots, 8u);
    for (int i = 0; i < 200; i++) EXPECT_EQ(tarnUniqueConst(dd, 10.0 + i), made[i]);
    for (DdNode *c : made) Tarn_RecursiveDeref(dd, c);
}

TEST_F(ManagerTest, AskingForAVariableBeyondSizeCreatesTheMissingOnes) {
    DdNode *x6 = Tarn_BddIthVar(dd, 6);
    ASSERT_NE(x6, nullptr);
    EXPECT_EQ(dd->size, 7);
    EXPECT_EQ(dd->vars[6], x6);
    for (int i = 4; i <= 6; i++) {
        EXPECT_EQ(dd->perm[i], i);
        EXPECT_EQ(dd->invperm[i], i);
        EXPECT_EQ(dd->vars[i]->ref, 1u);
        EXPECT_EQ(dd->subtables[i].slots, dd->initialSlots);
        EXPECT_EQ(dd->subtables[i].symmetryNext, static_cast<unsigned>(i));
    }
    EXPECT_EQ(dd->slots, 8u * 8);
    EXPECT_EQ(Tarn_BddNewVar(dd), dd->vars[7]);
    EXPECT_EQ(dd->size, 8);
}

TEST_F(ManagerTest, GrowthPastCapacityKeepsExistingLevels) {
    DdNode *f = node(0, var(3), zero());
    Tarn_Ref(f);
    ASSERT_EQ(dd->capacity, 5);
    DdNode *x9 = Tarn_BddIthVar(dd, 9);
    ASSERT_NE(x9, nullptr);
    EXPECT_EQ(dd->size, 10);
    EXPECT_EQ(dd->capacity, 14);  // index + 5 spare entries
    EXPECT_EQ(node(0, var(3), zero()), f);
    for (int i = 0; i < 10; i++) {
        EXPECT_EQ(dd->perm[i], i);
        EXPECT_EQ(dd->vars[i]->index, static_cast<uint32_t>(i));
    }
    // The release stack grew with the levels: a walk down through all ten levels fits in it.
    DdNode *chain = one();
    for (int i = 9; i >= 0; i--) {
        DdNode *next = node(i, chain, zero());
        Tarn_Ref(next);
        if (chain != one()) Tarn_DerefBdd(dd, chain);
        chain = next;
    }
    Tarn_DerefBdd(dd, chain);
    EXPECT_EQ(dd->dead, 9u);  // levels 0 to 8; x9 itself is held by the manager
    EXPECT_EQ(tarnGarbageCollect(dd, 1), 9);
}

TEST_F(ManagerTest, AddProjectionsAreNotStored) {
    DdNode *a = Tarn_AddIthVar(dd, 2);
    EXPECT_EQ(a->T, dd->one);
    EXPECT_EQ(a->E, dd->zero);
    EXPECT_NE(a, dd->vars[2]);
    DdNode *n = Tarn_AddNewVar(dd);
    EXPECT_EQ(n->index, 4u);
    EXPECT_EQ(dd->size, 5);
    EXPECT_EQ(dd->vars[4]->E, zero());  // the BDD projection of the new variable exists too
}

TEST_F(ManagerTest, VariableIndicesFromTheLimitOnAreRefused) {
    const int refused[] = {2147483646, 2147483647, -1};
    for (int i : refused) {
        dd->errorCode = TARN_NO_ERROR;
        EXPECT_EQ(Tarn_BddIthVar(dd, i), nullptr);
        EXPECT_EQ(dd->errorCode, TARN_INVALID_ARGUMENT);
        dd->errorCode = TARN_NO_ERROR;
        EXPECT_EQ(Tarn_AddIthVar(dd, i), nullptr);
        EXPECT_EQ(dd->errorCode, TARN_INVALID_ARGUMENT);
    }
    EXPECT_EQ(dd->size, 4);
}

int giveUp(const void *) { return 1; }

TEST_F(ManagerTest, TerminationCallbackStopsNodeAllocation) {
    Tarn_SetTerminationCallback(dd, giveUp, nullptr);
    // Fill the free list's first block, so the next request needs the allocator's checks.
    while (dd->freeList != nullptr) {
        DdNode *c = tarnUniqueConst(dd, 100.0 + dd->keys);
        if (c == nullptr) break;
        Tarn_Ref(c);
    }
    EXPECT_EQ(tarnUniqueConst(dd, -42.0), nullptr);
    EXPECT_EQ(dd->errorCode, TARN_TERMINATED);
}

TEST_F(ManagerTest, LiveNodeLimitIsEnforced) {
    Tarn_SetMaxLive(dd, dd->keys);
    while (dd->freeList != nullptr) {
        DdNode *c = tarnUniqueConst(dd, 100.0 + dd->keys);
        ASSERT_NE(c, nullptr);
        Tarn_Ref(c);
    }
    EXPECT_EQ(tarnUniqueConst(dd, -42.0), nullptr);
    EXPECT_EQ(dd->errorCode, TARN_TOO_MANY_NODES);
}

TEST_F(ManagerTest, NodeBlocksHold1022AlignedNodes) {
    ASSERT_NE(dd->nodeBlocks, nullptr);
    unsigned free = 0;
    for (DdNode *n = dd->freeList; n != nullptr; n = n->next) {
        EXPECT_EQ(reinterpret_cast<uintptr_t>(n) % 32, 0u);
        free++;
    }
    EXPECT_EQ(free + dd->keys, 1022u);
    EXPECT_EQ(dd->nodesAllocated, static_cast<double>(dd->keys));
}

// Blocks are cut from huge-page chunks; when no chunk can be mapped they come from the heap, and
// the two kinds mix freely. Quitting frees both (the sanitizer run sees a leak or a bad free).
TEST_F(ManagerTest, NodeBlocksFallBackToTheHeapWhenNoChunkCanBeMapped) {
    auto blocks = [this] {
        unsigned n = 0;
        for (void **b = dd->nodeBlocks; b != nullptr; b = static_cast<void **>(*b)) n++;
        return n;
    };
    auto chunks = [this] {
        unsigned n = 0;
        for (void *c = dd->nodeChunks; c != nullptr; c = tarnChunkLink(c)) n++;
        return n;
    };
    std::vector<DdNode *> held;
    auto fillBlocks = [&](unsigned count) {
        const unsigned target = blocks() + count;
        while (blocks() < target) {
            DdNode *c = tarnUniqueConst(dd, 1000.0 + static_cast<double>(held.size()));
            ASSERT_NE(c, nullptr);
            Tarn_Ref(c);
            held.push_back(c);
        }
    };
    fillBlocks(TARN_BLOCKS_PER_CHUNK + 1);
    const unsigned chunksBefore = chunks();
    util_refuse_huge_maps(true);
    fillBlocks(TARN_BLOCKS_PER_CHUNK + 1);
    util_refuse_huge_maps(false);
    EXPECT_EQ(chunks(), chunksBefore);
    EXPECT_GT(blocks(), chunksBefore * TARN_BLOCKS_PER_CHUNK);
    fillBlocks(2);
    EXPECT_EQ(chunks(), chunksBefore + 1);
    // Every block, of either kind, starts on a 32-byte boundary, so its nodes start at offset 32.
    for (void **b = dd->nodeBlocks; b != nullptr; b = static_cast<void **>(*b)) {
        EXPECT_EQ(reinterpret_cast<uintptr_t>(b) % 32, 0u);
    }
    for (size_t i = 0; i < held.size(); i++) {
        EXPECT_EQ(Tarn_V(held[i]), 1000.0 + static_cast<double>(i));
    }
    for (DdNode *c : held) Tarn_RecursiveDeref(dd, c);
}

}  // namespace
