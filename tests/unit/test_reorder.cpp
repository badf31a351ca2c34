// Dynamic reordering: the group tree, the level swap, the driver with its methods, the move to a
// given order, and automatic reordering inside running operations.
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "fixture.h"
#include "mtr/mtr.h"

namespace {

// The value of a BDD at an assignment given per variable index; follows node indices, so it reads
// the function whatever the order.
bool eval(DdNode *f, const std::vector<bool> &values) {
    bool complemented = false;
    for (;;) {
        complemented ^= Tarn_IsComplement(f);
        const DdNode *n = Tarn_Regular(f);
        if (n->index == TARN_MAXINDEX) return !complemented;
        f = values[n->index] ? n->T : n->E;
    }
}

// The values of f at every assignment of n variables (n at most 20).
std::vector<bool> truthTable(DdNode *f, int n) {
    std::vector<bool> table(size_t{1} << n);
    std::vector<bool> values(static_cast<size_t>(n));
    for (size_t a = 0; a < table.size(); a++) {
        for (int i = 0; i < n; i++) values[i] = (a >> i & 1) != 0;
        table[a] = eval(f, values);
    }
    return table;
}

class ReorderTest : public ::testing::Test {
protected:
    DdManager *dd = nullptr;
    std::vector<DdNode *> held;

    void SetUp() override { dd = Tarn_Init(0, 0, 8, 256, kTestMemory); }
    void TearDown() override {
        for (DdNode *f : held) Tarn_RecursiveDeref(dd, f);
        Tarn_Quit(dd);
    }

    DdNode *hold(DdNode *f) {
        EXPECT_NE(f, nullptr);
        Tarn_Ref(f);
        held.push_back(f);
        return f;
    }

    // a_i = variable i, b_i = variable bits + i: the blocked order, bad for comparing the words.
    DdNode *equalWords(int bits) { return comparator(dd, bits); }

    static DdNode *comparator(DdManager *m, int bits) {
        DdNode *r = Tarn_ReadOne(m);
        Tarn_Ref(r);
        for (int i = bits - 1; i >= 0; i--) {
            DdNode *same = Tarn_BddXnor(m, Tarn_BddIthVar(m, i), Tarn_BddIthVar(m, bits + i));
            Tarn_Ref(same);
            DdNode *next = Tarn_BddAnd(m, r, same);
            Tarn_Ref(next);
            Tarn_RecursiveDeref(m, r);
            Tarn_RecursiveDeref(m, same);
            r = next;
        }
        Tarn_DecRef(r);
        return r;
    }

    // a < b as unsigned words, least significant bit first.
    DdNode *lessThan(int bits) {
        DdNode *r = Tarn_Not(Tarn_ReadOne(dd));
        Tarn_Ref(r);
        for (int i = 0; i < bits; i++) {
            DdNode *a = Tarn_BddIthVar(dd, i);
            DdNode *b = Tarn_BddIthVar(dd, bits + i);
            DdNode *lt = Tarn_BddAnd(dd, Tarn_Not(a), b);
            Tarn_Ref(lt);
            DdNode *eq = Tarn_BddXnor(dd, a, b);
            Tarn_Ref(eq);
            DdNode *keep = Tarn_BddAnd(dd, eq, r);
            Tarn_Ref(keep);
            DdNode *next = Tarn_BddOr(dd, lt, keep);
            Tarn_Ref(next);
            for (DdNode *t : {r, lt, eq, keep}) Tarn_RecursiveDeref(dd, t);
            r = next;
        }
        Tarn_DecRef(r);
        return r;
    }

    // perm and invperm are inverse permutations, the counters match the chains, and a collection
    // finds exactly the dead nodes it expects (it stops the process otherwise).
    void expectConsistent() {
        for (int i = 0; i < dd->size; i++) ASSERT_EQ(dd->invperm[dd->perm[i]], i);
        unsigned nodes = dd->constants.keys;
        for (int level = 0; level < dd->size; level++) {
            const DdSubtable &t = dd->subtables[level];
            unsigned count = 0;
            for (unsigned j = 0; j < t.slots; j++) {
                for (DdNode *n = t.buckets[j]; n != &dd->sentinel; n = n->next) {
                    ASSERT_EQ(n->index, static_cast<uint32_t>(dd->invperm[level]));
                    ASSERT_FALSE(Tarn_IsComplement(n->T));
                    // children lie below their parent
                    ASSERT_GT(Tarn_IsConstant(n->T) ? INT32_MAX : dd->perm[n->T->index], level);
                    DdNode *e = Tarn_Regular(n->E);
                    ASSERT_GT(Tarn_IsConstant(e) ? INT32_MAX : dd->perm[e->index], level);
                    count++;
                }
            }
            ASSERT_EQ(count, t.keys) << "level " << level;
            nodes += count;
        }
        ASSERT_EQ(nodes, dd->keys);
        tarnGarbageCollect(dd, 1);
    }

    std::vector<int> order() const { return std::vector<int>(dd->invperm, dd->invperm + dd->size); }
};

// ---- group tree ----------------------------------------------------------------------------------

std::string printed(DdManager *dd) {
    OutStream out(dd);
    EXPECT_EQ(Tarn_PrintGroupedOrder(dd, "BDD", nullptr), 1);
    return out.text();
}

TEST_F(ReorderTest, GroupsNestAdoptAndRefuseCuts) {
    for (int i = 0; i < 6; i++) Tarn_BddIthVar(dd, i);
    EXPECT_EQ(printed(dd), "(0,1,2,3,4,5)\n");
    struct Case {
        unsigned low, size, flags;
        bool accepted;
        const char *tree;
    };
    const Case cases[] = {
        {0, 3, 0, true, "((0,1,2),3,4,5)\n"},
        {3, 3, 0, true, "((0,1,2),(3,4,5))\n"},
        {0, 6, 0, true, "(((0,1,2),(3,4,5)))\n"},  // adopts both
        {1, 4, 0, false, nullptr},                   // would cut them
        {3, 3, MTR_FIXED, true, "(((0,1,2),((3,4,5|F))))\n"},  // the same range nests
        {0, 0, 0, false, nullptr},                             // empty
        {4, 1, 0, true, "(((0,1,2),((3,(4),5|F))))\n"},
    };
    for (const Case &c : cases) {
        MtrNode *g = Tarn_MakeTreeNode(dd, c.low, c.size, c.flags);
        EXPECT_EQ(g != nullptr, c.accepted) << c.low << "+" << c.size;
        if (c.tree != nullptr) {
            EXPECT_EQ(printed(dd), c.tree);
        }
    }
    Tarn_FreeTree(dd);
    EXPECT_EQ(printed(dd), "(0,1,2,3,4,5)\n");
}

TEST_F(ReorderTest, GroupCoveringANeighbourPartlyIsRefused) {
    for (int i = 0; i < 6; i++) Tarn_BddIthVar(dd, i);
    ASSERT_NE(Tarn_MakeTreeNode(dd, 0, 2, 0), nullptr);
    ASSERT_NE(Tarn_MakeTreeNode(dd, 3, 3, 0), nullptr);
    EXPECT_EQ(Tarn_MakeTreeNode(dd, 0, 4, 0), nullptr);
    EXPECT_EQ(printed(dd), "((0,1),2,(3,4,5))\n");
    // a group ending one before the end is followed by its comma
    Tarn_FreeTree(dd);
    ASSERT_NE(Tarn_MakeTreeNode(dd, 2, 2, MTR_FIXED), nullptr);
    EXPECT_EQ(printed(dd), "(0,1,(2,3|F),4,5)\n");
    ASSERT_NE(Tarn_MakeTreeNode(dd, 4, 1, 0), nullptr);
    EXPECT_EQ(printed(dd), "(0,1,(2,3|F),(4),5)\n");
}

TEST(MtrTest, ResortFollowsTheIndicesAndSortsSiblings) {
    MtrNode *root = Mtr_CreateTree(0, 6);
    MtrNode *a = Mtr_AddGroup(root, 0, 2, 0);
    MtrNode *b = Mtr_AddGroup(root, 2, 2, 0);
    MtrNode *c = Mtr_AddGroup(root, 4, 2, 0);
    a->index = 0;
    b->index = 2;
    c->index = 4;
    // the blocks now sit in the order c, a, b
    const int perm[6] = {2, 3, 4, 5, 0, 1};
    Mtr_ResortGroups(root, perm);
    EXPECT_EQ(root->child, c);
    EXPECT_EQ(c->younger, a);
    EXPECT_EQ(a->younger, b);
    EXPECT_EQ(b->younger, nullptr);
    EXPECT_EQ(a->elder, c);
    EXPECT_EQ(c->elder, nullptr);
    EXPECT_EQ((std::vector<uint32_t>{c->low, a->low, b->low}), (std::vector<uint32_t>{0, 2, 4}));
    Mtr_DestroyTree(root);
}

// ---- swap ----------------------------------------------------------------------------------------

TEST_F(ReorderTest, ThousandsOfRandomSwapsKeepFunctionsAndCounts) {
    const int bits = 4;
    DdNode *eq = hold(equalWords(bits));
    DdNode *lt = hold(lessThan(bits));
    const int n = 2 * bits;
    const auto eqTable = truthTable(eq, n);
    const auto ltTable = truthTable(lt, n);
    ASSERT_TRUE(tarnPrepareReordering(dd));
    std::mt19937 rng(7);
    for (int k = 0; k < 3000; k++) {
        const int x = static_cast<int>(rng() % (n - 1));
        ASSERT_GT(tarnSwapInPlace(dd, x, x + 1), 0);
    }
    tarnFreeInteraction(dd);
    EXPECT_EQ(dd->swapCount, 3000);
    expectConsistent();
    EXPECT_EQ(truthTable(eq, n), eqTable);
    EXPECT_EQ(truthTable(lt, n), ltTable);
    // releasing everything leaves only the projections and the constants
    for (DdNode *f : held) Tarn_RecursiveDeref(dd, f);
    held.clear();
    tarnGarbageCollect(dd, 1);
    EXPECT_EQ(dd->keys, static_cast<unsigned>(n) + dd->constants.keys);
}

TEST_F(ReorderTest, SwapOfVariablesThatNeverMeetOnlyExchangesLevels) {
    DdNode *f = hold(Tarn_BddAnd(dd, Tarn_BddIthVar(dd, 0), Tarn_BddIthVar(dd, 1)));
    Tarn_BddIthVar(dd, 2);
    ASSERT_TRUE(tarnPrepareReordering(dd));
    EXPECT_FALSE(tarnVarsInteract(dd, 1, 2));
    EXPECT_TRUE(tarnVarsInteract(dd, 0, 1));
    const DdNode *then = Tarn_Regular(f)->T;
    tarnSwapInPlace(dd, 1, 2);
    tarnFreeInteraction(dd);
    EXPECT_EQ(Tarn_Regular(f)->T, then);
    EXPECT_EQ(order(), (std::vector<int>{0, 2, 1}));
    expectConsistent();
}

// ---- the methods -----------------------------------------------------------------------------

struct MethodCase {
    int method;
    const char *name;
};

class EveryMethod : public ReorderTest, public ::testing::WithParamInterface<MethodCase> {};

TEST_P(EveryMethod, KeepsEveryHeldFunctionAndHandle) {
    const int bits = 5;
    const int n = 2 * bits;
    std::vector<DdNode *> fs = {hold(equalWords(bits)), hold(lessThan(bits))};
    fs.push_back(hold(Tarn_BddXor(dd, fs[0], Tarn_BddIthVar(dd, 3))));
    std::vector<std::vector<bool>> tables;
    for (DdNode *f : fs) tables.push_back(truthTable(f, n));
    const unsigned before = Tarn_ReadNodeCount(dd);

    ASSERT_EQ(Tarn_Reorder(dd, GetParam().method, 10), 1);
    EXPECT_EQ(dd->reorderCount, 1);
    for (size_t k = 0; k < fs.size(); k++) EXPECT_EQ(truthTable(fs[k], n), tables[k]) << k;
    expectConsistent();
    EXPECT_LE(Tarn_ReadNodeCount(dd), before);
    EXPECT_EQ(dd->interaction, nullptr);
    EXPECT_EQ(dd->reorderState, 1);
}

INSTANTIATE_TEST_SUITE_P(Methods, EveryMethod,
                         ::testing::Values(MethodCase{TARN_REORDER_RANDOM, "random"},
                                           MethodCase{TARN_REORDER_SIFT, "sift"},
                                           MethodCase{TARN_REORDER_SIFT_CONVERGE, "siftConverge"},
                                           MethodCase{TARN_REORDER_WINDOW2, "window2"},
                                           MethodCase{TARN_REORDER_WINDOW3, "window3"},
                                           MethodCase{TARN_REORDER_WINDOW2_CONVERGE, "window2Converge"},
                                           MethodCase{TARN_REORDER_WINDOW3_CONVERGE, "window3Converge"},
                                           MethodCase{TARN_REORDER_GROUP_SIFT, "groupSift"}),
                         [](const auto &info) { return std::string(info.param.name); });

// The swap has a second form for large diagrams that asks for its nodes ahead; forced on every
// level, it must reach the same orders and sizes as the plain form.
TEST_F(ReorderTest, BothFormsOfTheSwapReachTheSameOrders) {
    for (int method : {TARN_REORDER_SIFT, TARN_REORDER_WINDOW3_CONVERGE, TARN_REORDER_RANDOM}) {
        std::vector<std::vector<int>> orders;
        std::vector<unsigned> sizes;
        for (unsigned ahead : {0u, 1u}) {
            tarnSetSwapAhead(ahead, ahead);
            DdManager *m = Tarn_Init(0, 0, 8, 256, kTestMemory);
            DdNode *f = comparator(m, 6);
            Tarn_Ref(f);
            const auto table = truthTable(f, 12);
            EXPECT_EQ(Tarn_Reorder(m, method, 10), 1);
            EXPECT_EQ(truthTable(f, 12), table);
            orders.emplace_back(m->invperm, m->invperm + m->size);
            sizes.push_back(m->keys);
            Tarn_RecursiveDeref(m, f);
            Tarn_Quit(m);
        }
        tarnSetSwapAhead(0, 0);
        EXPECT_EQ(orders[0], orders[1]) << method;
        EXPECT_EQ(sizes[0], sizes[1]) << method;
    }
}

TEST_F(ReorderTest, SiftingShrinksTheBlockedComparatorToNearlyLinear) {
    const int bits = 8;
    DdNode *eq = hold(equalWords(bits));
    const int before = Tarn_DagSize(eq);
    ASSERT_EQ(Tarn_Reorder(dd, TARN_REORDER_SIFT, 10), 1);
    const int after = Tarn_DagSize(eq);
    EXPECT_LT(after, before);
    // the interleaved order needs 3 nodes per bit plus the constant
    EXPECT_LE(after, 3 * bits + 1 + 2 * bits);
    expectConsistent();
}

TEST_F(ReorderTest, UnbuiltAndTrivialMethods) {
    DdNode *eq = hold(equalWords(4));
    const auto start = order();
    for (int method : {3, 6, 7, 10, 13, 15, 16, 17, 18, 19, 20, 21, 99}) {
        EXPECT_EQ(Tarn_Reorder(dd, method, 10), 0) << method;
        EXPECT_EQ(order(), start) << method;
    }
    expectConsistent();
    const int count = dd->reorderCount;
    EXPECT_EQ(Tarn_Reorder(dd, TARN_REORDER_NONE, 10), 1);
    EXPECT_EQ(Tarn_Reorder(dd, TARN_REORDER_SIFT, 100000), 1);  // too few nodes
    EXPECT_EQ(dd->reorderCount, count);
    EXPECT_NE(eq, nullptr);
}

TEST_F(ReorderTest, RandomReorderingIsDeterministicFromAFreshManager) {
    hold(equalWords(6));
    ASSERT_EQ(Tarn_Reorder(dd, TARN_REORDER_RANDOM, 10), 1);
    DdManager *other = Tarn_Init(0, 0, 8, 256, kTestMemory);
    DdNode *f = comparator(other, 6);
    Tarn_Ref(f);
    ASSERT_EQ(Tarn_Reorder(other, TARN_REORDER_RANDOM, 10), 1);
    EXPECT_EQ(order(), std::vector<int>(other->invperm, other->invperm + other->size));
    EXPECT_NE(order(), (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}));
    Tarn_RecursiveDeref(other, f);
    Tarn_Quit(other);
}

TEST_F(ReorderTest, BestOfThreeKeepsTheOrderWhenAllOrdersTie) {
    for (int i = 0; i < 3; i++) hold(Tarn_BddIthVar(dd, i));
    ASSERT_TRUE(tarnPrepareReordering(dd));
    EXPECT_EQ(tarnBestOfThree(dd, 0), 1);
    EXPECT_EQ(dd->swapCount, 6);
    tarnFreeInteraction(dd);
    EXPECT_EQ(order(), (std::vector<int>{0, 1, 2}));
}

TEST_F(ReorderTest, SortPutsLargerKeyCountsFirst) {
    std::mt19937 rng(3);
    for (int n : {0, 1, 2, 3, 4, 5, 6, 7, 13, 100}) {
        std::vector<DdSortEntry> entries;
        for (int i = 0; i < n; i++) entries.push_back({i, static_cast<int32_t>(rng() % 10)});
        tarnSortEntries(entries.data(), n);
        for (int i = 1; i < n; i++) EXPECT_GE(entries[i - 1].keys, entries[i].keys) << n;
    }
}

// ---- groups during reordering -----------------------------------------------------------------

TEST_F(ReorderTest, BlocksStayTogetherAndFixedBlocksKeepTheirOrder) {
    const int bits = 5;
    DdNode *eq = hold(equalWords(bits));
    const auto table = truthTable(eq, 2 * bits);
    // a fixed block of a0..a2, an ordinary block of b0..b4
    ASSERT_NE(Tarn_MakeTreeNode(dd, 0, 3, MTR_FIXED), nullptr);
    ASSERT_NE(Tarn_MakeTreeNode(dd, bits, bits, 0), nullptr);
    for (int method : {TARN_REORDER_SIFT, TARN_REORDER_RANDOM, TARN_REORDER_WINDOW3_CONVERGE,
                       TARN_REORDER_SIFT_CONVERGE}) {
        ASSERT_EQ(Tarn_Reorder(dd, method, 10), 1) << method;
        EXPECT_EQ(dd->perm[1], dd->perm[0] + 1) << method;
        EXPECT_EQ(dd->perm[2], dd->perm[0] + 2) << method;
        int lo = dd->size, hi = -1;
        for (int i = bits; i < 2 * bits; i++) {
            lo = std::min(lo, dd->perm[i]);
            hi = std::max(hi, dd->perm[i]);
        }
        EXPECT_EQ(hi - lo, bits - 1) << method;
        // the tree follows the blocks
        MtrNode *first = dd->groupTree->child;
        ASSERT_NE(first, nullptr);
        EXPECT_EQ(first->low, static_cast<uint32_t>(dd->perm[first->index]));
        ASSERT_NE(first->younger, nullptr);
        EXPECT_LT(first->low, first->younger->low);
        expectConsistent();
    }
    EXPECT_EQ(truthTable(eq, 2 * bits), table);
}

TEST_F(ReorderTest, FixedBlockKeepsTheOrderOfTheBlocksInside) {
    const int bits = 4;
    DdNode *eq = hold(equalWords(bits));
    // fixed a0..a3 with an ordinary block a1, a2 inside it
    ASSERT_NE(Tarn_MakeTreeNode(dd, 0, 4, MTR_FIXED), nullptr);
    ASSERT_NE(Tarn_MakeTreeNode(dd, 1, 2, 0), nullptr);
    for (int method : {TARN_REORDER_SIFT, TARN_REORDER_WINDOW3, TARN_REORDER_RANDOM}) {
        ASSERT_EQ(Tarn_Reorder(dd, method, 10), 1);
        for (int i = 1; i < bits; i++) EXPECT_EQ(dd->perm[i], dd->perm[0] + i) << method;
    }
    EXPECT_NE(eq, nullptr);
}

TEST_F(ReorderTest, PrintedTreeShowsMovedBlocksTogether) {
    for (int i = 0; i < 4; i++) Tarn_BddIthVar(dd, i);
    // variables 2 and 3 decide everything: sifting moves their block to the top
    DdNode *f = hold(Tarn_BddAnd(dd, Tarn_BddIthVar(dd, 2), Tarn_BddIthVar(dd, 3)));
    for (int i = 0; i < 2; i++) {
        DdNode *g = hold(Tarn_BddAnd(dd, Tarn_BddIthVar(dd, i), Tarn_BddIthVar(dd, 3)));
        f = hold(Tarn_BddOr(dd, f, g));
    }
    ASSERT_NE(Tarn_MakeTreeNode(dd, 2, 2, MTR_FIXED), nullptr);
    ASSERT_NE(Tarn_MakeTreeNode(dd, 0, 2, 0), nullptr);
    ASSERT_EQ(Tarn_SetOrder(dd, std::vector<int>{2, 3, 0, 1}.data()), 1);
    EXPECT_EQ(printed(dd), "((2,3|F),(0,1))\n");
}

// ---- order changes ---------------------------------------------------------------------------------

TEST_F(ReorderTest, SetOrderMovesToTheOrderAndRefusesSplitsAndNonPermutations) {
    const int bits = 3;
    DdNode *eq = hold(equalWords(bits));
    const auto table = truthTable(eq, 2 * bits);
    const std::vector<int> interleaved = {0, 3, 1, 4, 2, 5};
    ASSERT_EQ(Tarn_SetOrder(dd, interleaved.data()), 1);
    EXPECT_EQ(order(), interleaved);
    EXPECT_EQ(Tarn_DagSize(eq), 3 * bits);
    EXPECT_EQ(truthTable(eq, 2 * bits), table);
    expectConsistent();

    ASSERT_NE(Tarn_MakeTreeNode(dd, 0, 2, 0), nullptr);  // variables 0 and 3
    const std::vector<std::vector<int>> refused = {
        {0, 1, 3, 4, 2, 5},  // splits the block
        {0, 0, 1, 2, 3, 4},  // names 0 twice
        {0, 1, 2, 3, 4, 6},  // no variable 6
    };
    for (const auto &o : refused) {
        EXPECT_EQ(Tarn_SetOrder(dd, o.data()), 0);
        EXPECT_EQ(order(), interleaved);
    }
    EXPECT_EQ(Tarn_SetOrder(dd, std::vector<int>{1, 4, 0, 3, 2, 5}.data()), 1);
    EXPECT_EQ(printed(dd), "(1,4,(0,3),2,5)\n");
    EXPECT_EQ(dd->reorderCount, 0);
}

// ---- report --------------------------------------------------------------------------------------

TEST_F(ReorderTest, ReportOfASiftingRun) {
    hold(equalWords(5));
    EXPECT_EQ(Tarn_ReorderReportOn(dd), 0);
    ASSERT_EQ(Tarn_EnableReorderReport(dd), 1);
    EXPECT_EQ(Tarn_ReorderReportOn(dd), 1);
    const long before = Tarn_ReadNodeCount(dd);
    std::string text;
    {
        OutStream out(dd);
        ASSERT_EQ(Tarn_Reorder(dd, TARN_REORDER_SIFT, 10), 1);
        ASSERT_EQ(Tarn_Reorder(dd, TARN_REORDER_WINDOW2_CONVERGE, 10), 1);
        text = out.text();
    }
    const long after = Tarn_ReadNodeCount(dd);
    // Two report lines; the sizes in between and the seconds are measured, not predicted.
    long from1 = -1, to1 = -1, from2 = -1, to2 = -1;
    double sec1 = -1.0, sec2 = -1.0;
    int end = 0;
    ASSERT_EQ(std::sscanf(text.c_str(),
                          "BDD reordering with sifting: from %ld to ... %ld nodes in %lf sec\n"
                          "BDD reordering with converging window: from %ld to ... %ld nodes in %lf sec\n%n",
                          &from1, &to1, &sec1, &from2, &to2, &sec2, &end),
              6)
        << text;
    EXPECT_EQ(static_cast<size_t>(end), text.size()) << text;
    EXPECT_EQ(from1, before);
    EXPECT_EQ(to1, from2);
    EXPECT_EQ(to2, after);
    EXPECT_GE(sec1, 0.0);
    EXPECT_GE(sec2, 0.0);
    EXPECT_EQ(Tarn_DisableReorderReport(dd), 1);
    EXPECT_EQ(Tarn_DisableReorderReport(dd), 0);
    EXPECT_EQ(Tarn_ReorderReportOn(dd), 0);
}

TEST_F(ReorderTest, ThresholdFollowsTheSizeThenGrowsSlowly) {
    hold(equalWords(4));
    ASSERT_EQ(Tarn_Reorder(dd, TARN_REORDER_SIFT, 10), 1);
    EXPECT_EQ(dd->reorderThreshold,
              dd->constants.keys + 2 * (dd->keys - dd->constants.keys + 1));
    dd->reorderCount = 30;
    const unsigned threshold = dd->reorderThreshold;
    ASSERT_EQ(Tarn_Reorder(dd, TARN_REORDER_SIFT, 10), 1);
    EXPECT_EQ(dd->reorderThreshold, threshold + 20);
}

TEST_F(ReorderTest, GeneratorStartsFromTheSameSeed) {
    DdManager *other = Tarn_Init(0, 0, 8, 256, kTestMemory);
    for (int k = 0; k < 100; k++) {
        const int32_t r = Tarn_NextRandom(dd);
        EXPECT_GE(r, 0);
        EXPECT_EQ(r, Tarn_NextRandom(other));
    }
    Tarn_Quit(other);
}

// ---- automatic reordering inside operations -------------------------------------------------------

class AutoReorderTest : public ReorderTest {
protected:
    DdManager *plain = nullptr;
    void SetUp() override {
        ReorderTest::SetUp();
        plain = Tarn_Init(0, 0, 8, 256, kTestMemory);
    }
    void TearDown() override {
        Tarn_Quit(plain);
        ReorderTest::TearDown();
    }
    void enable() {
        Tarn_EnableAutoReorder(dd, TARN_REORDER_SIFT);
        reorderAfter(20);
    }
    // the next automatic reordering once the live nodes have grown by this much
    void reorderAfter(unsigned growth) { dd->reorderThreshold = dd->keys - dd->dead + growth; }
};

TEST_F(AutoReorderTest, ConjunctionQuantificationAndPermutationGiveTheSameResults) {
    const int bits = 7;
    const int n = 2 * bits;
    DdNode *eqPlain = comparator(plain, bits);
    Tarn_Ref(eqPlain);
    enable();
    DdNode *eq = hold(equalWords(bits));
    EXPECT_GT(dd->reorderCount, 0) << "building the comparator reorders";
    EXPECT_EQ(truthTable(eq, n), truthTable(eqPlain, n));

    // quantification of the b word: the restart happens inside the abstraction
    DdNode *cube = Tarn_ReadOne(dd);
    Tarn_Ref(cube);
    for (int i = bits; i < n; i++) {
        DdNode *c = Tarn_BddAnd(dd, cube, Tarn_BddIthVar(dd, i));
        Tarn_Ref(c);
        Tarn_RecursiveDeref(dd, cube);
        cube = c;
    }
    DdNode *lt = hold(lessThan(bits));
    int count = dd->reorderCount;
    reorderAfter(5);
    DdNode *x = hold(Tarn_BddXor(dd, lt, Tarn_BddIthVar(dd, 0)));
    DdNode *ex = hold(Tarn_BddExistAbstract(dd, x, cube));
    EXPECT_GT(dd->reorderCount, count) << "the abstraction reorders";
    Tarn_RecursiveDeref(dd, cube);
    std::vector<bool> values(n);
    for (size_t a = 0; a < (size_t{1} << bits); a++) {
        // exists b: (a < b) xor a0
        bool expected = false;
        for (size_t b = 0; b < (size_t{1} << bits); b++) expected |= ((a < b) != ((a & 1) != 0));
        for (int i = 0; i < n; i++) values[i] = i < bits && (a >> i & 1);
        EXPECT_EQ(eval(ex, values), expected) << a;
    }

    // permutation exchanging the words: a < b becomes b < a
    std::vector<int> swapWords(n);
    for (int i = 0; i < n; i++) swapWords[i] = (i + bits) % n;
    count = dd->reorderCount;
    reorderAfter(1);
    DdNode *gt = hold(Tarn_BddPermute(dd, lt, swapWords.data()));
    EXPECT_GT(dd->reorderCount, count) << "the permutation reorders";
    const auto ltTable = truthTable(lt, n);
    const auto gtTable = truthTable(gt, n);
    for (size_t a = 0; a < ltTable.size(); a++) {
        const size_t swapped = (a >> bits) | ((a & ((size_t{1} << bits) - 1)) << bits);
        EXPECT_EQ(gtTable[a], ltTable[swapped]);
    }
    expectConsistent();
    Tarn_RecursiveDeref(plain, eqPlain);
}

TEST_F(AutoReorderTest, LargeConjunctionRestartsWithoutLeaks) {
    // the conjunction of two comparators built halfway in each manager, joined in one call
    const int bits = 8;
    auto half = [&](DdManager *m, int from, int to) {
        DdNode *r = Tarn_ReadOne(m);
        Tarn_Ref(r);
        for (int i = from; i < to; i++) {
            DdNode *same = Tarn_BddXnor(m, Tarn_BddIthVar(m, i), Tarn_BddIthVar(m, bits + i));
            Tarn_Ref(same);
            DdNode *next = Tarn_BddAnd(m, r, same);
            Tarn_Ref(next);
            Tarn_RecursiveDeref(m, r);
            Tarn_RecursiveDeref(m, same);
            r = next;
        }
        return r;
    };
    DdNode *p1 = half(plain, 0, 4), *p2 = half(plain, 4, bits);
    DdNode *pAll = Tarn_BddAnd(plain, p1, p2);
    Tarn_Ref(pAll);
    DdNode *h1 = half(dd, 0, 4), *h2 = half(dd, 4, bits);
    held.push_back(h1);
    held.push_back(h2);
    enable();
    reorderAfter(3);
    DdNode *all = hold(Tarn_BddAnd(dd, h1, h2));
    EXPECT_EQ(dd->reorderCount, 1);
    EXPECT_EQ(truthTable(all, 2 * bits), truthTable(pAll, 2 * bits));
    expectConsistent();
    for (DdNode *f : {p1, p2, pAll}) Tarn_RecursiveDeref(plain, f);
}

TEST_F(AutoReorderTest, BudgetLimitsTheAutomaticReorderings) {
    Tarn_BddIthVar(dd, 15);
    enable();
    Tarn_SetReorderBudget(dd, 2);
    for (int round = 0; round < 4; round++) {
        dd->reorderThreshold = 0;
        hold(equalWords(4 + round));
    }
    EXPECT_EQ(dd->reorderCount, 2);
    EXPECT_EQ(dd->reorderBudget, 0u);
}

}  // namespace
