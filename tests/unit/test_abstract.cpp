// Existential and universal abstraction and the relational product against truth tables; cubes
// that are refused; a long random run on a small manager that collects garbage inside operations.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "oracle.h"

namespace {

using oracle::Table;

class AbstractTest : public BddTest {
protected:
    oracle::Generator gen{77};

    // Every cube over the six variables, from one (no variable) to all six.
    std::vector<DdNode *> cubes;
    void SetUp() override {
        BddTest::SetUp();
        for (unsigned vars = 0; vars < 64; vars++) cubes.push_back(make(oracle::cubeOf(vars)));
    }
};

TEST_F(AbstractTest, AbstractionsMatchTheTruthTableForEveryCube) {
    for (int n = 0; n < 12; n++) {
        const Table t = gen.function();
        DdNode *f = make(t);
        for (unsigned vars = 0; vars < 64; vars++) {
            SCOPED_TRACE(testing::Message() << "function " << n << ", cube " << vars);
            const Table cube = oracle::cubeOf(vars);
            expectFunction(Tarn_BddExistAbstract(dd, f, cubes[vars]), oracle::exists(t, cube));
            expectFunction(Tarn_BddForAllAbstract(dd, f, cubes[vars]), oracle::forall(t, cube));
            expectFunction(Tarn_BddExistAbstract(dd, tarnNot(f), cubes[vars]),
                           oracle::exists(~t, cube));
        }
    }
}

TEST_F(AbstractTest, SmallCasesGiveTheExpectedHandles) {
    DdNode *x = var(0), *y = var(1);
    DdNode *xy = make(oracle::variable(0) & oracle::variable(1));
    DdNode *xOrY = make(oracle::variable(0) | oracle::variable(1));
    DdNode *cx = cubes[0b1];
    EXPECT_EQ(Tarn_BddExistAbstract(dd, xy, cubes[0]), xy);     // empty cube
    EXPECT_EQ(Tarn_BddExistAbstract(dd, xy, cubes[0b110000]), xy);  // variables not in f
    EXPECT_EQ(Tarn_BddExistAbstract(dd, xy, cx), y);
    EXPECT_EQ(Tarn_BddForAllAbstract(dd, xOrY, cx), y);
    EXPECT_EQ(Tarn_BddForAllAbstract(dd, x, cx), zero());
    EXPECT_EQ(Tarn_BddExistAbstract(dd, one(), cx), one());
    EXPECT_EQ(Tarn_BddExistAbstract(dd, zero(), cx), zero());
}

TEST_F(AbstractTest, RelationalProductIsTheAbstractionOfTheConjunction) {
    for (int n = 0; n < 300; n++) {
        const Table a = gen.function(), b = gen.function();
        const unsigned vars = gen.below(64);
        DdNode *f = make(a), *g = make(b);
        SCOPED_TRACE(testing::Message() << "round " << n << ", cube " << vars);
        expectFunction(Tarn_BddAndAbstract(dd, f, g, cubes[vars]),
                       oracle::exists(a & b, oracle::cubeOf(vars)));
        expectFunction(Tarn_BddAndAbstract(dd, f, tarnNot(g), cubes[vars]),
                       oracle::exists(a & ~b, oracle::cubeOf(vars)));
        DdNode *product = Tarn_BddAndAbstract(dd, f, g, one());
        ASSERT_NE(product, nullptr);
        Tarn_Ref(product);
        EXPECT_EQ(product, Tarn_BddAnd(dd, f, g));
        Tarn_DerefBdd(dd, product);
        EXPECT_EQ(Tarn_BddAndAbstract(dd, f, tarnNot(f), cubes[vars]), zero());
    }
}

// The abstractions report a bad cube on the error stream; the relational product, which would
// otherwise walk it as if it were positive, refuses it silently.
TEST_F(AbstractTest, CubesThatAreNotPositiveAreRefused) {
    DdNode *f = make(gen.function());
    struct BadCube {
        const char *name;
        Table table;
        bool complemented;
    } bad[] = {
        {"complemented variable", oracle::variable(2), true},
        {"negated variable in a conjunction", oracle::variable(0) & ~oracle::variable(3), false},
        {"disjunction", oracle::variable(1) | oracle::variable(4), false},
        {"zero", oracle::kFalse, false},
    };
    struct Operation {
        const char *name;
        DdNode *(*run)(DdManager *, DdNode *, DdNode *);
        const char *message;
    } operations[] = {
        {"exist", Tarn_BddExistAbstract, "Error: Can only abstract positive cubes\n"},
        {"forall", Tarn_BddForAllAbstract, "Error: Can only abstract positive cubes\n"},
        {"relprod",
         [](DdManager *m, DdNode *g, DdNode *c) { return Tarn_BddAndAbstract(m, g, g, c); }, ""},
    };
    for (const BadCube &c : bad) {
        DdNode *cube = tarnNotCond(make(c.table), c.complemented);
        for (const Operation &op : operations) {
            SCOPED_TRACE(testing::Message() << op.name << " with " << c.name);
            dd->errorCode = TARN_NO_ERROR;
            ErrStream err(dd);
            EXPECT_EQ(op.run(dd, f, cube), nullptr);
            EXPECT_EQ(Tarn_ReadErrorCode(dd), TARN_INVALID_ARGUMENT);
            EXPECT_EQ(err.text(), op.message);
        }
    }
}

// ---- a long run under memory pressure --------------------------------------------------------

int collectionsInside;
bool insideOperation;
int countCollection(DdManager *, const char *, void *) {
    if (insideOperation) collectionsInside++;
    return 1;
}

// Thousands of random operations on a manager with 8 buckets per subtable, a small computed table
// and a small memory budget, so that the collector runs inside the operations and entries of the
// computed table die under them. Every result is checked against the oracle, kept with a
// reference in a pool and released when it is replaced; at the end the manager is back to its
// initial live-node count.
TEST(RandomRun, ResultsSurviveCollectionsAndReferencesBalance) {
    DdManager *dd = Tarn_Init(oracle::kVars, 0, 8, 16, uint64_t{1} << 16);
    ASSERT_NE(dd, nullptr);
    // No node block beyond the first: every empty free list makes the allocator collect.
    Tarn_SetMaxMemory(dd, dd->memoryInUse);
    collectionsInside = 0;
    Tarn_AddHook(dd, countCollection, TARN_PRE_GC_HOOK);
    const unsigned baseline = Tarn_ReadNodeCount(dd);

    oracle::Generator gen(5);
    constexpr int kPool = 32;
    Table tables[kPool];
    DdNode *pool[kPool];
    for (int i = 0; i < kPool; i++) {
        tables[i] = gen.function();
        pool[i] = oracle::build(dd, tables[i]);
    }

    for (int round = 0; round < 6000; round++) {
        // Operands, each complemented half of the time.
        Table t[3];
        DdNode *f[3];
        for (int k = 0; k < 3; k++) {
            const int i = static_cast<int>(gen.below(kPool));
            const bool c = gen.below(2) != 0;
            t[k] = c ? ~tables[i] : tables[i];
            f[k] = tarnNotCond(pool[i], c);
        }
        const unsigned vars = gen.below(64);
        const Table cube = oracle::cubeOf(vars);
        DdNode *cubeBdd = oracle::build(dd, cube);

        Table expected;
        DdNode *r;
        const unsigned op = gen.below(10);
        insideOperation = true;
        switch (op) {
            case 0: r = Tarn_BddAnd(dd, f[0], f[1]), expected = t[0] & t[1]; break;
            case 1: r = Tarn_BddOr(dd, f[0], f[1]), expected = t[0] | t[1]; break;
            case 2: r = Tarn_BddNand(dd, f[0], f[1]), expected = ~(t[0] & t[1]); break;
            case 3: r = Tarn_BddNor(dd, f[0], f[1]), expected = ~(t[0] | t[1]); break;
            case 4: r = Tarn_BddXor(dd, f[0], f[1]), expected = t[0] ^ t[1]; break;
            case 5: r = Tarn_BddXnor(dd, f[0], f[1]), expected = ~(t[0] ^ t[1]); break;
            case 6:
                r = Tarn_BddIte(dd, f[0], f[1], f[2]);
                expected = (t[0] & t[1]) | (~t[0] & t[2]);
                break;
            case 7:
                r = Tarn_BddExistAbstract(dd, f[0], cubeBdd);
                expected = oracle::exists(t[0], cube);
                break;
            case 8:
                r = Tarn_BddForAllAbstract(dd, f[0], cubeBdd);
                expected = oracle::forall(t[0], cube);
                break;
            default:
                r = Tarn_BddAndAbstract(dd, f[0], f[1], cubeBdd);
                expected = oracle::exists(t[0] & t[1], cube);
                break;
        }
        insideOperation = false;
        ASSERT_NE(r, nullptr) << "round " << round << ", operation " << op;
        Tarn_Ref(r);
        Tarn_DerefBdd(dd, cubeBdd);
        ASSERT_EQ(oracle::tableOf(r), expected) << "round " << round << ", operation " << op;

        // The result replaces a pool entry; now and then a fresh function keeps the pool varied.
        const int slot = static_cast<int>(gen.below(kPool));
        Tarn_DerefBdd(dd, pool[slot]);
        if (gen.below(3) == 0) {
            Tarn_DerefBdd(dd, r);
            tables[slot] = gen.function();
            pool[slot] = oracle::build(dd, tables[slot]);
        } else {
            tables[slot] = expected;
            pool[slot] = r;
        }
    }

    for (DdNode *f : pool) Tarn_DerefBdd(dd, f);
    EXPECT_GE(collectionsInside, 10);
    EXPECT_EQ(Tarn_ReadNodeCount(dd), baseline);
    // The collector stops the process if the dead counts disagree with the references.
    tarnGarbageCollect(dd, 1);
    EXPECT_EQ(Tarn_ReadNodeCount(dd), baseline);
    Tarn_Quit(dd);
}

}  // namespace
