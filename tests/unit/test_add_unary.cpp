// The ADD complement, negation, extreme leaves, if-then-else and cube.
#include <algorithm>

#include "add_oracle.h"

using addoracle::kInf;
using addoracle::kNaN;
using addoracle::Table;

namespace {

Table mapped(Table t, double (*f)(double)) {
    for (double &v : t) v = f(v);
    return t;
}

}  // namespace

TEST_F(AddTest, ComplementIsOneExactlyOnZeroLeaves) {
    struct Case {
        double leaf;
        DdNode *DdManager::*expected;
    };
    for (Case c : {Case{0.0, &DdManager::one}, Case{1.0, &DdManager::zero},
                   Case{5.0, &DdManager::zero}, Case{kInf, &DdManager::zero},
                   Case{kNaN, &DdManager::zero}}) {
        EXPECT_EQ(Tarn_AddCmpl(dd, constant(c.leaf)), dd->*c.expected) << c.leaf;
    }
    addoracle::Generator gen(11, addoracle::fullPool());
    for (int round = 0; round < 20; round++) {
        const Table f = gen.table();
        expectLeaves(Tarn_AddCmpl(dd, make(f)),
                     mapped(f, [](double v) { return v == 0.0 ? 1.0 : 0.0; }));
        const Table b = gen.zeroOne();
        DdNode *once = hold(Tarn_AddCmpl(dd, make(b)));
        Tarn_Ref(once);
        EXPECT_EQ(Tarn_AddCmpl(dd, once), make(b)) << "twice on a 0/1 ADD gives it back";
    }
}

TEST_F(AddTest, NegationFlipsEveryLeaf) {
    EXPECT_EQ(Tarn_AddNegate(dd, dd->zero), dd->zero);
    EXPECT_EQ(Tarn_AddNegate(dd, dd->plusInfinity), dd->minusInfinity);
    EXPECT_EQ(Tarn_AddNegate(dd, dd->minusInfinity), dd->plusInfinity);
    const Table f = {2, -3, 2, -3, 0, 0, kInf, -kInf, 2, 2, 2, 2, -3, -3, 0.5, kNaN};
    DdNode *F = make(f);
    DdNode *r = Tarn_AddNegate(dd, F);
    expectLeaves(r, mapped(f, [](double v) { return addoracle::canonical(-v); }));
    addoracle::Generator gen(12, addoracle::fullPool());
    for (int round = 0; round < 20; round++) {
        const Table t = gen.table();
        expectLeaves(Tarn_AddNegate(dd, make(t)),
                     mapped(t, [](double v) { return addoracle::canonical(-v); }));
    }
}

TEST_F(AddTest, FindMaxAndMinReturnTheExtremeLeaf) {
    EXPECT_EQ(Tarn_AddFindMax(dd, constant(3.0)), constant(3.0));
    EXPECT_EQ(Tarn_AddFindMin(dd, constant(4.0)), constant(4.0));
    EXPECT_EQ(Tarn_AddFindMax(dd, make({1, kInf, 7, 1, 1, 7, 7, 1, 1, 1, 7, 1, 1, 1, 1, 7})),
              dd->plusInfinity);
    addoracle::Generator gen(13, addoracle::nanFreePool());
    for (int round = 0; round < 40; round++) {
        const Table t = gen.table();
        DdNode *f = make(t);
        const double *hi = std::max_element(t.begin(), t.end());
        const double *lo = std::min_element(t.begin(), t.end());
        EXPECT_EQ(Tarn_AddFindMax(dd, f), constant(*hi)) << "round " << round;
        EXPECT_EQ(Tarn_AddFindMin(dd, f), constant(*lo)) << "round " << round;
    }
}

TEST_F(AddTest, IteSelectsTheBranchByTheCondition) {
    addoracle::Generator gen(14, addoracle::fullPool());
    for (int round = 0; round < 40; round++) {
        const Table f = gen.zeroOne(), g = gen.table(), h = gen.table();
        Table expected{};
        for (unsigned a = 0; a < addoracle::kAssignments; a++) expected[a] = f[a] ? g[a] : h[a];
        SCOPED_TRACE(testing::Message() << "round " << round);
        expectLeaves(Tarn_AddIte(dd, make(f), make(g), make(h)), expected);
    }
}

TEST_F(AddTest, IteShortcuts) {
    DdNode *f = make({1, 0, 0, 1, 1, 1, 0, 0, 1, 0, 0, 1, 1, 1, 0, 0});
    DdNode *g = make({5, 6, 5, 6, 5, 6, 5, 6, 5, 6, 5, 6, 5, 6, 5, 6});  // x1 is not in g
    EXPECT_EQ(Tarn_AddIte(dd, f, dd->one, dd->zero), f);
    EXPECT_EQ(Tarn_AddIte(dd, f, f, dd->zero), f);
    EXPECT_EQ(Tarn_AddIte(dd, f, g, g), g);

    // A projection function above both branches builds the node directly, without an entry.
    DdNode *x0 = addVar(0);
    DdNode *h = make({7, 7, 8, 8, 7, 7, 8, 8, 7, 7, 8, 8, 7, 7, 8, 8});  // depends on x1 only
    DdNode *k = make({9, 9, 9, 9, 3, 3, 3, 3, 9, 9, 9, 9, 3, 3, 3, 3});  // x2 only
    const double inserts = dd->cacheInserts;
    DdNode *r = Tarn_AddIte(dd, x0, h, k);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->index, 0u);
    EXPECT_EQ(r->T, h);
    EXPECT_EQ(r->E, k);
    EXPECT_EQ(dd->cacheInserts, inserts);
    DdNode *notX0 = hold(Tarn_AddCmpl(dd, x0));
    Tarn_Ref(notX0);
    EXPECT_EQ(Tarn_AddIte(dd, notX0, h, k), Tarn_AddIte(dd, x0, k, h));
}

// A condition leaf other than zero and one between two different constants selects the
// then-branch, as the complement treats any nonzero leaf as true.
TEST_F(AddTest, IteWithANonzeroConditionLeafTakesTheThenBranch) {
    EXPECT_EQ(Tarn_AddIte(dd, constant(5.0), constant(2.0), constant(3.0)), constant(2.0));
    EXPECT_EQ(Tarn_AddIte(dd, constant(kNaN), constant(2.0), constant(3.0)), constant(2.0));
    const Table f = {5, 0, 1, 5, 5, 0, 1, 5, 5, 0, 1, 5, 5, 0, 1, 5};
    const Table g = {2, 2, 2, 2, 4, 4, 4, 4, 2, 2, 2, 2, 4, 4, 4, 4};
    const Table h = {3, 3, 3, 3, 3, 3, 3, 3, 6, 6, 6, 6, 6, 6, 6, 6};
    Table expected{};
    for (unsigned a = 0; a < addoracle::kAssignments; a++) expected[a] = f[a] != 0 ? g[a] : h[a];
    expectLeaves(Tarn_AddIte(dd, make(f), make(g), make(h)), expected);
}

TEST_F(AddTest, ComputeCubeIsTheProductOfTheLiterals) {
    EXPECT_EQ(Tarn_AddComputeCube(dd, nullptr, nullptr, 0), dd->one);
    DdNode *vars[] = {addVar(3), addVar(0), addVar(2)};
    const int mixed[] = {1, 0, 1};
    for (const int *phases : {static_cast<const int *>(nullptr), mixed}) {
        Table expected{};
        for (unsigned a = 0; a < addoracle::kAssignments; a++) {
            const bool x3 = a >> 3 & 1, x0 = a & 1, x2 = a >> 2 & 1;
            expected[a] = x3 && (phases == nullptr ? x0 : !x0) && x2 ? 1.0 : 0.0;
        }
        expectLeaves(Tarn_AddComputeCube(dd, vars, phases, 3), expected);
    }
}
