// Minterm, path, node and leaf counts against truth tables and direct walks; the limits of the
// scaled minterm count; visit marks cleared after every count.
#include <cmath>
#include <set>

#include "add_oracle.h"
#include "oracle.h"

namespace {

using oracle::Table;

// No node of the manager carries a visit mark.
::testing::AssertionResult noMarks(DdManager *dd) {
    auto check = [](DdNode *n) { return (reinterpret_cast<uintptr_t>(n->next) & 1) == 0; };
    for (int level = 0; level < dd->size; level++) {
        const DdSubtable &t = dd->subtables[level];
        for (unsigned j = 0; j < t.slots; j++) {
            for (DdNode *n = t.buckets[j]; n != &dd->sentinel; n = tarnRegular(n->next)) {
                if (!check(n)) {
                    return ::testing::AssertionFailure() << "marked node at level " << level;
                }
            }
        }
    }
    for (unsigned j = 0; j < dd->constants.slots; j++) {
        for (DdNode *n = dd->constants.buckets[j]; n != nullptr; n = tarnRegular(n->next)) {
            if (!check(n)) return ::testing::AssertionFailure() << "marked constant " << n->value;
        }
    }
    return ::testing::AssertionSuccess();
}

// Paths of a BDD to one, counted by walking every path without memo.
double walkPaths(DdNode *f) {
    DdNode *F = tarnRegular(f);
    if (tarnIsConstantRegular(F)) return tarnIsComplement(f) ? 0 : 1;
    return walkPaths(tarnThenOf(f)) + walkPaths(tarnElseOf(f));
}

// The distinct regular nodes below f.
void collectNodes(DdNode *f, std::set<DdNode *> &nodes) {
    DdNode *F = tarnRegular(f);
    if (!nodes.insert(F).second || tarnIsConstantRegular(F)) return;
    collectNodes(F->T, nodes);
    collectNodes(F->E, nodes);
}

class CountTest : public BddTest {
protected:
    oracle::Generator gen{4242};
};

TEST_F(CountTest, MintermsAreTheSatisfyingAssignments) {
    const double epsilon = Tarn_ReadEpsilon(dd);
    for (int round = 0; round < 60; round++) {
        const Table t = round == 0 ? oracle::kTrue : round == 1 ? oracle::kFalse : gen.function();
        DdNode *f = make(t);
        const double count = __builtin_popcountll(t);
        EXPECT_EQ(Tarn_CountMinterms(dd, f, oracle::kVars), count);
        EXPECT_EQ(Tarn_CountMinterms(dd, tarnNot(f), oracle::kVars), 64 - count);
        EXPECT_EQ(Tarn_CountMinterms(dd, f, oracle::kVars + 3), 8 * count);
    }
    EXPECT_EQ(Tarn_ReadEpsilon(dd), epsilon) << "the count restores the tolerance";
}

TEST_F(CountTest, MintermLimitsOfTheScaledCount) {
    struct Case {
        int nvars;
        double one, literal;
    };
    const Case cases[] = {
        {1023, std::ldexp(1.0, 1023), std::ldexp(1.0, 1022)},
        {1024, 1e302, std::ldexp(1.0, 1023)},
        {2024, 1e302, 1e302},
        {2025, -1, -1},
        {100000, -1, -1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.nvars << " variables");
        EXPECT_EQ(Tarn_CountMinterms(dd, one(), c.nvars), c.one);
        EXPECT_EQ(Tarn_CountMinterms(dd, var(3), c.nvars), c.literal);
        EXPECT_EQ(Tarn_CountMinterms(dd, zero(), c.nvars), c.nvars >= 2025 ? -1 : 0);
    }
}

// A shared node whose scaled count exceeds the range of the constants table must come back from
// the memo with its exact value: x0..x599 AND (x1597 OR x1598) AND x1599 over 1600 variables,
// where the node of x1599 is met twice, has 3 * 2^997 minterms.
TEST(CountLarge, LargeSharedCountsComeBackExactly) {
    DdManager *dd = Tarn_Init(1600, 0, 8, 256, kTestMemory);
    ASSERT_NE(dd, nullptr);
    DdNode *f = Tarn_BddOr(dd, dd->vars[1597], dd->vars[1598]);
    Tarn_Ref(f);
    for (int i : {1599, 599}) {
        DdNode *g = Tarn_BddAnd(dd, f, dd->vars[i]);
        Tarn_Ref(g);
        Tarn_DerefBdd(dd, f);
        f = g;
    }
    for (int i = 598; i >= 0; i--) {
        DdNode *g = Tarn_BddAnd(dd, f, dd->vars[i]);
        Tarn_Ref(g);
        Tarn_DerefBdd(dd, f);
        f = g;
    }
    EXPECT_EQ(Tarn_CountMinterms(dd, f, 1600), 3 * std::ldexp(1.0, 997));
    EXPECT_EQ(Tarn_CountMinterms(dd, f, 2024), 1e302);
    const double small = Tarn_CountMinterms(dd, f, 1024);
    EXPECT_FALSE(std::isnan(small));
    EXPECT_EQ(small, 3 * std::ldexp(1.0, 421));
    Tarn_DerefBdd(dd, f);
    Tarn_Quit(dd);
}

// The minterm count leaves nothing in the constants table: its scaled intermediate counts (near
// 2^-1021 here) once stayed there as constants, and a later lookup of 0 within the tolerance then
// returned one of them instead of the ADD zero.
TEST(CountConstants, MintermCountLeavesNoConstantBehind) {
    DdManager *dd = Tarn_Init(9, 0, 8, 4, kTestMemory);
    ASSERT_NE(dd, nullptr);
    oracle::Generator gen{11};
    const unsigned constants = dd->constants.keys;
    for (int round = 0; round < 12; round++) {
        DdNode *f = dd->one;
        Tarn_Ref(f);
        for (int i = 0; i < 9; i++) {
            DdNode *v = Tarn_NotCond(dd->vars[(i * 5 + round) % 9], (gen.function() & 1) != 0);
            DdNode *g = (gen.function() & 2) != 0 ? Tarn_BddXor(dd, f, v) : Tarn_BddOr(dd, f, v);
            ASSERT_NE(g, nullptr);
            Tarn_Ref(g);
            Tarn_DerefBdd(dd, f);
            f = g;
        }
        EXPECT_GE(Tarn_CountMinterms(dd, f, 9), 0);
        EXPECT_EQ(dd->constants.keys, constants) << "round " << round;
        Tarn_DerefBdd(dd, f);
    }
    EXPECT_EQ(Tarn_AddConst(dd, 0.0), dd->zero);
    EXPECT_EQ(Tarn_AddConst(dd, std::ldexp(1.0, -1015)), dd->zero);
    Tarn_Quit(dd);
}

// Whatever constants the table holds, a value within the tolerance of 0 is the ADD zero.
TEST_F(ManagerTest, ValuesWithinTheToleranceOfZeroAreTheAddZero) {
    const double epsilon = Tarn_ReadEpsilon(dd);
    Tarn_SetEpsilon(dd, 0.0);
    std::vector<DdNode *> tiny;
    for (int k = 1; k <= 64; k++) {
        DdNode *c = Tarn_AddConst(dd, k * 1e-300);
        ASSERT_NE(c, nullptr);
        Tarn_Ref(c);
        tiny.push_back(c);
    }
    Tarn_SetEpsilon(dd, epsilon);
    for (double v : {0.0, -0.0, 1e-300, -5e-13}) EXPECT_EQ(Tarn_AddConst(dd, v), dd->zero) << v;
    for (DdNode *c : tiny) Tarn_RecursiveDeref(dd, c);
}

TEST_F(CountTest, PathsEndAtOneWithoutAComplement) {
    EXPECT_EQ(Tarn_CountPaths(one()), 1);
    EXPECT_EQ(Tarn_CountPaths(zero()), 0);
    EXPECT_EQ(Tarn_CountPaths(make(oracle::variable(0) | oracle::variable(1))), 2);
    EXPECT_EQ(Tarn_CountPaths(make(oracle::variable(0) ^ oracle::variable(1))), 2);
    for (int round = 0; round < 40; round++) {
        DdNode *f = make(gen.function());
        EXPECT_EQ(Tarn_CountPaths(f), walkPaths(f));
        EXPECT_EQ(Tarn_CountPaths(tarnNot(f)), walkPaths(tarnNot(f)));
    }
}

TEST_F(CountTest, DagSizeCountsDistinctNodesAndClearsItsMarks) {
    EXPECT_EQ(Tarn_DagSize(one()), 1);
    EXPECT_EQ(Tarn_DagSize(zero()), 1);
    EXPECT_EQ(Tarn_DagSize(var(2)), 2);
    EXPECT_EQ(Tarn_CountLeaves(var(2)), 1);
    for (int round = 0; round < 40; round++) {
        DdNode *f = make(gen.function());
        std::set<DdNode *> nodes;
        collectNodes(f, nodes);
        EXPECT_EQ(Tarn_DagSize(f), static_cast<int>(nodes.size()));
        EXPECT_EQ(Tarn_DagSize(tarnNot(f)), static_cast<int>(nodes.size()));
        EXPECT_EQ(Tarn_CountLeaves(f), 1);
        ASSERT_TRUE(noMarks(dd));
    }
}

// ADD counts: the minterms are the assignments whose leaf is not the background (zero).
class AddCountTest : public AddTest {};

TEST_F(AddCountTest, CountsOfAnAdd) {
    const addoracle::Table t = {0, 2, 2, 0, 5, 5, 2, 0, 0, 0, 7, 7, 0, 2, 5, 5};
    DdNode *f = make(t);
    EXPECT_EQ(Tarn_CountMinterms(dd, f, addoracle::kVars), 10);
    EXPECT_EQ(Tarn_CountLeaves(f), 4);
    std::set<DdNode *> nodes;
    collectNodes(f, nodes);
    EXPECT_EQ(Tarn_DagSize(f), static_cast<int>(nodes.size()));
    EXPECT_TRUE(noMarks(dd));
    EXPECT_EQ(Tarn_CountMinterms(dd, dd->zero, 4), 0);
    EXPECT_EQ(Tarn_CountMinterms(dd, dd->plusInfinity, 4), 16);
    EXPECT_EQ(Tarn_CountPaths(dd->zero), 0);
    EXPECT_EQ(Tarn_CountPaths(constant(3.0)), 1);
}

}  // namespace
