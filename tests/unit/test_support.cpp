// Supports as lists, counts, cubes and masks against truth tables; satisfying cubes of BDDs; the
// first path of a diagram and the ADD cube built on it.
#include <vector>

#include "add_oracle.h"
#include "oracle.h"

namespace {

using oracle::Table;

// No node of the manager carries a visit mark.
::testing::AssertionResult noMarks(DdManager *dd) {
    auto marked = [](DdNode *n) { return (reinterpret_cast<uintptr_t>(n->next) & 1) != 0; };
    for (int level = 0; level < dd->size; level++) {
        const DdSubtable &t = dd->subtables[level];
        for (unsigned j = 0; j < t.slots; j++) {
            for (DdNode *n = t.buckets[j]; n != &dd->sentinel; n = tarnRegular(n->next)) {
                if (marked(n)) {
                    return ::testing::AssertionFailure() << "marked node at level " << level;
                }
            }
        }
    }
    return ::testing::AssertionSuccess();
}

// The variables a table depends on, in ascending order.
std::vector<int> supportOf(Table t) {
    std::vector<int> s;
    for (int i = 0; i < oracle::kVars; i++) {
        if (oracle::positiveCofactor(t, i) != oracle::negativeCofactor(t, i)) s.push_back(i);
    }
    return s;
}

class SupportTest : public BddTest {
protected:
    oracle::Generator gen{8080};

    // Constants, projection nodes inside larger functions, random functions and complements.
    std::vector<Table> operands() {
        std::vector<Table> t = {oracle::kTrue, oracle::kFalse, oracle::variable(3),
                                oracle::variable(0) & oracle::variable(5),
                                oracle::variable(1) | ~oracle::variable(4)};
        for (int i = 0; i < 20; i++) t.push_back(gen.function());
        return t;
    }
};

TEST_F(SupportTest, ListCountCubeAndMaskNameTheVariablesFDependsOn) {
    for (Table t : operands()) {
        SCOPED_TRACE(testing::Message() << std::hex << t);
        const std::vector<int> expected = supportOf(t);
        for (DdNode *f : {make(t), tarnNot(make(t))}) {
            int *list = nullptr;
            const int n = Tarn_SupportList(dd, f, &list);
            ASSERT_EQ(n, static_cast<int>(expected.size()));
            EXPECT_EQ(std::vector<int>(list, list + n), expected);
            EXPECT_EQ(list == nullptr, n == 0);
            util_free(list);
            EXPECT_EQ(Tarn_SupportCount(dd, f), n);

            unsigned vars = 0;
            for (int i : expected) vars |= 1u << i;
            expectFunction(Tarn_SupportCube(dd, f), oracle::cubeOf(vars));

            int *mask = Tarn_SupportMask(dd, f);
            ASSERT_NE(mask, nullptr);
            for (int i = 0; i < Tarn_ReadSize(dd); i++) EXPECT_EQ(mask[i], (vars >> i) & 1) << i;
            util_free(mask);
            ASSERT_TRUE(noMarks(dd));
            // the projection nodes carry no leftover mark that would hide their variable
            EXPECT_EQ(Tarn_SupportCount(dd, f), n);
        }
    }
}

TEST_F(SupportTest, SatOnePrefersTheElseBranch) {
    EXPECT_EQ(bdd_sat_one(dd, zero()), zero());
    EXPECT_EQ(bdd_sat_one(dd, one()), one());
    const Table xOrY = oracle::variable(0) | oracle::variable(1);
    expectFunction(bdd_sat_one(dd, make(xOrY)), ~oracle::variable(0) & oracle::variable(1));
    expectFunction(bdd_sat_one(dd, make(~oracle::variable(2))), ~oracle::variable(2));

    // a cube (one node per variable, one live child each) that implies f
    for (int round = 0; round < 40; round++) {
        const Table t = gen.function();
        if (t == oracle::kFalse) continue;
        DdNode *r = bdd_sat_one(dd, make(t));
        ASSERT_NE(r, nullptr);
        Tarn_Ref(r);
        const Table rt = oracle::tableOf(r);
        EXPECT_NE(rt, oracle::kFalse);
        EXPECT_EQ(rt & ~t, oracle::kFalse) << "the cube implies f";
        for (DdNode *c = r; !Tarn_IsConstant(c);) {
            const bool thenZero = tarnThenOf(c) == zero();
            ASSERT_TRUE(thenZero || tarnElseOf(c) == zero()) << "a node with two live children";
            c = thenZero ? tarnElseOf(c) : tarnThenOf(c);
        }
        Tarn_DerefBdd(dd, r);
    }
}

class PathTest : public AddTest {};

TEST_F(PathTest, SupportOfAnAdd) {
    // leaves that depend on variables 1 and 3 only
    const addoracle::Table t = {0, 0, 2, 2, 0, 0, 2, 2, 5, 5, 7, 7, 5, 5, 7, 7};
    DdNode *f = make(t);
    int *list = nullptr;
    ASSERT_EQ(Tarn_SupportList(dd, f, &list), 2);
    EXPECT_EQ(std::vector<int>(list, list + 2), (std::vector<int>{1, 3}));
    util_free(list);
    int *mask = Tarn_SupportMask(dd, f);
    ASSERT_NE(mask, nullptr);
    EXPECT_EQ(std::vector<int>(mask, mask + 4), (std::vector<int>{0, 1, 0, 1}));
    util_free(mask);
    expectBdd(Tarn_SupportCube(dd, f), 0xCC00);  // x1 AND x3
}

TEST_F(PathTest, FirstPathSearchesElseBranchesFirst) {
    struct Case {
        const char *name;
        addoracle::Table leaves;
        int status;
        std::vector<int> cube;
        double value;
    };
    const Case cases[] = {
        {"x0 ? (x1 ? 5 : 0) : 0", {0, 0, 0, 5, 0, 0, 0, 5, 0, 0, 0, 5, 0, 0, 0, 5}, 1, {1, 1, 2, 2}, 5},
        {"x1 ? 2 : 7", {7, 7, 2, 2, 7, 7, 2, 2, 7, 7, 2, 2, 7, 7, 2, 2}, 1, {2, 0, 2, 2}, 7},
        {"constant 4", {4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4}, 1, {2, 2, 2, 2}, 4},
        {"zero", {}, 0, {2, 2, 2, 2}, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        int *cube;
        double value = -1;
        DdPathGen *gen = tarnFirstPath(dd, make(c.leaves), &cube, &value);
        ASSERT_NE(gen, nullptr);
        EXPECT_EQ(gen->status, c.status);
        EXPECT_EQ(std::vector<int>(cube, cube + 4), c.cube);
        if (c.status == 1) {
            EXPECT_EQ(value, c.value);
        }
        tarnPathGenFree(gen);
    }

    // a BDD path ends at one, not at the logical zero; the complement mark is followed
    DdNode *notX2 = makeBdd(0x0F0F);
    for (DdNode *f : {notX2, tarnNot(notX2)}) {
        int *cube;
        DdPathGen *gen = tarnFirstPath(dd, f, &cube, nullptr);
        ASSERT_NE(gen, nullptr);
        EXPECT_EQ(gen->status, 1);
        EXPECT_EQ(gen->value, 1.0);
        EXPECT_EQ(std::vector<int>(cube, cube + 4),
                  (std::vector<int>{2, 2, f == notX2 ? 0 : 1, 2}));
        tarnPathGenFree(gen);
    }
}

TEST_F(PathTest, AddSatOneIsTheCubeOfTheFirstPath) {
    EXPECT_EQ(add_sat_one(dd, dd->zero), dd->zero) << "no path to a non-zero leaf";
    EXPECT_EQ(add_sat_one(dd, constant(3.0)), dd->one);
    addoracle::Generator gen(31, addoracle::fullPool());
    for (int round = 0; round < 40; round++) {
        const addoracle::Table t = gen.table();
        DdNode *r = add_sat_one(dd, make(t));
        ASSERT_NE(r, nullptr);
        Tarn_Ref(r);
        const addoracle::Table rt = addoracle::tableOf(r);
        bool nonZero = false;
        for (unsigned a = 0; a < addoracle::kAssignments; a++) {
            nonZero |= t[a] != 0.0;
            ASSERT_TRUE(rt[a] == 0.0 || rt[a] == 1.0) << "a 0/1 ADD";
            if (rt[a] == 1.0) {
                EXPECT_NE(t[a], 0.0) << "the cube leads to a non-zero leaf";
            }
        }
        EXPECT_EQ(rt != addoracle::Table{}, nonZero);
        Tarn_RecursiveDeref(dd, r);
    }
}

}  // namespace
