// Cofactors by cubes, the restrict operations, the literal intersection and the support
// classification against truth tables; the messages for invalid restrictions; a long run under
// collection pressure.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "add_oracle.h"
#include "oracle.h"

namespace {

using oracle::Table;
constexpr int kVars = oracle::kVars;

// A cube of literals: the variables in `vars`, positive where `signs` has the bit.
Table cubeTable(unsigned vars, unsigned signs) {
    Table t = oracle::kTrue;
    for (int i = 0; i < kVars; i++) {
        if (vars >> i & 1) t &= (signs >> i & 1) ? oracle::variable(i) : ~oracle::variable(i);
    }
    return t;
}

Table cofactorTable(Table t, unsigned vars, unsigned signs) {
    for (int i = 0; i < kVars; i++) {
        if (vars >> i & 1) {
            t = (signs >> i & 1) ? oracle::positiveCofactor(t, i) : oracle::negativeCofactor(t, i);
        }
    }
    return t;
}

unsigned supportMask(Table t) {
    unsigned s = 0;
    for (int i = 0; i < kVars; i++) {
        if (oracle::positiveCofactor(t, i) != oracle::negativeCofactor(t, i)) s |= 1u << i;
    }
    return s;
}

class CofactorTest : public BddTest {
protected:
    oracle::Generator gen{1618};
};

TEST_F(CofactorTest, CofactorFixesTheCubesLiterals) {
    for (int round = 0; round < 60; round++) {
        const Table t = round == 0 ? oracle::kTrue : gen.function();
        DdNode *f = make(t);
        for (int k = 0; k < 6; k++) {
            const unsigned vars = k == 0 ? 0 : gen.below(64);
            const unsigned signs = gen.below(64);
            DdNode *g = make(cubeTable(vars, signs));
            SCOPED_TRACE(testing::Message() << "vars " << vars << " signs " << signs);
            expectFunction(Tarn_Cofactor(dd, f, g), cofactorTable(t, vars, signs));
            expectFunction(Tarn_Cofactor(dd, tarnNot(f), g), ~cofactorTable(t, vars, signs));
        }
        EXPECT_EQ(Tarn_Cofactor(dd, f, one()), f);
    }
}

TEST_F(CofactorTest, InvalidRestrictionsAreReportedOnce) {
    DdNode *z = var(3);
    DdNode *xOrY = make(oracle::variable(1) | oracle::variable(2));
    const struct {
        const char *name;
        DdNode *f;
        DdNode *g;
        const char *message;
    } cases[] = {
        {"logical zero", z, zero(), "Tarn_Cofactor: Invalid restriction 1\n"},
        {"ADD zero", z, dd->zero, "Tarn_Cofactor: Invalid restriction 1\n"},
        {"x OR y, f below", z, xOrY, "Tarn_Cofactor: Invalid restriction 2\n"},
        {"x OR y below a literal", make(oracle::variable(0) & oracle::variable(3)),
         make(oracle::variable(0) & (oracle::variable(1) | oracle::variable(2))),
         "Tarn_Cofactor: Invalid restriction 2\n"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        dd->errorCode = TARN_NO_ERROR;
        ErrStream err(dd);
        EXPECT_EQ(Tarn_Cofactor(dd, c.f, c.g), nullptr);
        EXPECT_EQ(Tarn_ReadErrorCode(dd), TARN_INVALID_ARGUMENT);
        EXPECT_EQ(err.text(), c.message);
    }
}

TEST_F(CofactorTest, BddRestrictAgreesOnTheCareSetAndIsNeverLarger) {
    int simplified = 0;
    for (int round = 0; round < 300; round++) {
        const Table t = gen.function();
        const Table c = round % 5 == 0 ? gen.function() | gen.function() : gen.function();
        DdNode *f = make(t);
        DdNode *r = Tarn_BddRestrict(dd, f, make(c));
        ASSERT_NE(r, nullptr);
        Tarn_Ref(r);
        EXPECT_EQ(oracle::tableOf(r) & c, t & c) << "round " << round;
        if (r != f) {
            simplified++;
            EXPECT_LT(Tarn_DagSize(r), Tarn_DagSize(f)) << "round " << round;
        }
        Tarn_DerefBdd(dd, r);
    }
    EXPECT_GT(simplified, 100);
}

TEST_F(CofactorTest, BddRestrictShortcuts) {
    const Table t = gen.function() ^ oracle::variable(1);
    DdNode *f = make(t);
    EXPECT_EQ(Tarn_BddRestrict(dd, f, one()), f);
    EXPECT_EQ(Tarn_BddRestrict(dd, f, zero()), zero());
    EXPECT_EQ(Tarn_BddRestrict(dd, f, f), one());
    EXPECT_EQ(Tarn_BddRestrict(dd, f, tarnNot(f)), zero());
    EXPECT_EQ(Tarn_BddRestrict(dd, one(), make(gen.function())), one());
    // a care set over variables f does not depend on
    DdNode *g = make(oracle::variable(0) & oracle::variable(1));
    DdNode *c = make(oracle::variable(4) | ~oracle::variable(5));
    EXPECT_EQ(Tarn_BddRestrict(dd, g, c), g);
}

TEST_F(CofactorTest, LiteralIntersectionKeepsSharedLiteralsWithTheSameSign) {
    for (int round = 0; round < 200; round++) {
        const unsigned varsF = gen.below(64), signsF = gen.below(64);
        const unsigned varsG = gen.below(64), signsG = gen.below(64);
        const unsigned shared = varsF & varsG & ~(signsF ^ signsG);
        DdNode *f = make(cubeTable(varsF, signsF));
        DdNode *g = make(cubeTable(varsG, signsG));
        expectFunction(Tarn_BddLiteralIntersection(dd, f, g), cubeTable(shared, signsF));
    }
}

TEST_F(CofactorTest, SupportClassifySplitsTheTwoSupports) {
    for (int round = 0; round < 60; round++) {
        const Table tf = gen.function();
        const Table tc = gen.function();
        DdNode *common, *onlyF, *onlyC;
        ASSERT_EQ(Tarn_SupportClassify(dd, make(tf), make(tc), &common, &onlyF, &onlyC), 1);
        const unsigned sf = supportMask(tf), sc = supportMask(tc);
        Tarn_Ref(common);
        Tarn_Ref(onlyF);
        Tarn_Ref(onlyC);
        EXPECT_EQ(oracle::tableOf(common), oracle::cubeOf(sf & sc));
        EXPECT_EQ(oracle::tableOf(onlyF), oracle::cubeOf(sf & ~sc));
        EXPECT_EQ(oracle::tableOf(onlyC), oracle::cubeOf(sc & ~sf));
        for (DdNode *cube : {common, onlyF, onlyC}) Tarn_DerefBdd(dd, cube);
    }
}

// ---- ADD forms ---------------------------------------------------------------------------------

class AddCofactorTest : public AddTest {
protected:
    addoracle::Generator gen{1414, addoracle::fullPool()};
};

TEST_F(AddCofactorTest, CofactorOfAnAddByAnAddCube) {
    DdNode *vars[addoracle::kVars];
    for (int i = 0; i < addoracle::kVars; i++) vars[i] = addVar(i);
    for (int round = 0; round < 40; round++) {
        const addoracle::Table t = gen.table();
        DdNode *f = make(t);
        const int a = static_cast<int>(gen.below(4)), b = static_cast<int>(gen.below(4));
        const int phases[] = {static_cast<int>(gen.below(2)), static_cast<int>(gen.below(2))};
        DdNode *literals[] = {vars[std::min(a, b)], vars[std::max(a, b)]};
        const int n = a == b ? 1 : 2;
        DdNode *cube = hold(Tarn_AddComputeCube(dd, literals, phases, n));
        Tarn_Ref(cube);
        addoracle::Table expected = addoracle::cofactor(t, std::min(a, b), phases[0] != 0);
        if (n == 2) expected = addoracle::cofactor(expected, std::max(a, b), phases[1] != 0);
        expectLeaves(Tarn_Cofactor(dd, f, cube), expected);
    }
}

TEST_F(AddCofactorTest, AddRestrictAgreesOnTheCareSetAndIsNeverLarger) {
    int simplified = 0;
    for (int round = 0; round < 200; round++) {
        const addoracle::Table t = gen.table();
        const addoracle::Table c = gen.zeroOne();
        DdNode *f = make(t);
        DdNode *r = Tarn_AddRestrict(dd, f, make(c));
        ASSERT_NE(r, nullptr);
        Tarn_Ref(r);
        const addoracle::Table rt = addoracle::tableOf(r);
        for (unsigned a = 0; a < addoracle::kAssignments; a++) {
            if (c[a] == 1.0) {
                EXPECT_TRUE(addoracle::same(rt[a], t[a])) << "round " << round << ", assignment " << a;
            }
        }
        if (r != f) {
            simplified++;
            EXPECT_LT(Tarn_DagSize(r), Tarn_DagSize(f));
        }
        Tarn_RecursiveDeref(dd, r);
    }
    EXPECT_GT(simplified, 50);
    DdNode *f = make(gen.table());
    EXPECT_EQ(Tarn_AddRestrict(dd, f, dd->one), f);
}

// ---- a long run under memory pressure ----------------------------------------------------------

int collections;
int countCollection(DdManager *, const char *, void *) {
    collections++;
    return 1;
}

// Cofactors, restricts and literal intersections on a manager with a small memory budget, so that
// the collector runs inside them. Every result is checked and released; at the end the manager is
// back to its initial live-node count.
TEST(CofactorRandomRun, ResultsSurviveCollectionsAndReferencesBalance) {
    DdManager *dd = Tarn_Init(kVars, 0, 8, 16, uint64_t{1} << 16);
    ASSERT_NE(dd, nullptr);
    Tarn_SetMaxMemory(dd, dd->memoryInUse);
    Tarn_AddHook(dd, countCollection, TARN_PRE_GC_HOOK);
    const unsigned baseline = Tarn_ReadNodeCount(dd);
    oracle::Generator gen(271);
    constexpr int kPool = 32;
    Table tables[kPool];
    DdNode *pool[kPool];
    for (int i = 0; i < kPool; i++) {
        tables[i] = gen.function();
        pool[i] = oracle::build(dd, tables[i]);
    }
    for (int round = 0; round < 4000; round++) {
        const int i = static_cast<int>(gen.below(kPool));
        const int j = static_cast<int>(gen.below(kPool));
        const unsigned vars = gen.below(64), signs = gen.below(64);
        const unsigned vars2 = gen.below(64), signs2 = gen.below(64);
        DdNode *cube = oracle::build(dd, cubeTable(vars, signs));
        DdNode *cube2 = oracle::build(dd, cubeTable(vars2, signs2));
        DdNode *r;
        const unsigned op = gen.below(3);
        if (op == 0) {
            r = Tarn_Cofactor(dd, pool[i], cube);
        } else if (op == 1) {
            r = Tarn_BddRestrict(dd, pool[i], pool[j]);
        } else {
            r = Tarn_BddLiteralIntersection(dd, cube, cube2);
        }
        ASSERT_NE(r, nullptr) << "round " << round;
        Tarn_Ref(r);
        const Table rt = oracle::tableOf(r);
        const Table expected = op == 0   ? cofactorTable(tables[i], vars, signs)
                               : op == 1 ? tables[i] & tables[j]
                                         : cubeTable(vars & vars2 & ~(signs ^ signs2), signs);
        ASSERT_EQ(op == 1 ? rt & tables[j] : rt, expected) << "round " << round << ", op " << op;
        Tarn_DerefBdd(dd, cube);
        Tarn_DerefBdd(dd, cube2);

        const int slot = static_cast<int>(gen.below(kPool));
        Tarn_DerefBdd(dd, pool[slot]);
        if (op == 0 && gen.below(2) == 0) {
            tables[slot] = rt;
            pool[slot] = r;
        } else {
            Tarn_DerefBdd(dd, r);
            tables[slot] = gen.function();
            pool[slot] = oracle::build(dd, tables[slot]);
        }
    }
    for (DdNode *f : pool) Tarn_DerefBdd(dd, f);
    EXPECT_GE(collections, 10);
    EXPECT_EQ(Tarn_ReadNodeCount(dd), baseline);
    tarnGarbageCollect(dd, 1);
    EXPECT_EQ(Tarn_ReadNodeCount(dd), baseline);
    Tarn_Quit(dd);
}

}  // namespace
