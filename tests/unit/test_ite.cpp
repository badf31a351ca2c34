// The Boolean connectives, ITE and the implication test against truth tables; the literal
// shortcut; giving up in the middle of a step.
#include <functional>

#include "oracle.h"

namespace {

using oracle::Table;

struct Connective {
    const char *name;
    DdNode *(*op)(DdManager *, DdNode *, DdNode *);
    Table (*expected)(Table, Table);
};

const Connective kConnectives[] = {
    {"And", Tarn_BddAnd, [](Table a, Table b) { return a & b; }},
    {"Or", Tarn_BddOr, [](Table a, Table b) { return a | b; }},
    {"Nand", Tarn_BddNand, [](Table a, Table b) { return ~(a & b); }},
    {"Nor", Tarn_BddNor, [](Table a, Table b) { return ~(a | b); }},
    {"Xor", Tarn_BddXor, [](Table a, Table b) { return a ^ b; }},
    {"Xnor", Tarn_BddXnor, [](Table a, Table b) { return ~(a ^ b); }},
};

class IteTest : public BddTest {
protected:
    oracle::Generator gen{20240611};
    std::vector<Table> tables;
    std::vector<DdNode *> bdds;

    void add(Table t) {
        tables.push_back(t);
        bdds.push_back(make(t));
    }

    // Constants, literals, random functions and their complements: every terminal case of the
    // steps is met among their pairs and triples.
    void SetUp() override {
        BddTest::SetUp();
        add(oracle::kTrue);
        add(oracle::kFalse);
        add(oracle::variable(0));
        add(~oracle::variable(0));
        add(oracle::variable(5));
        for (int i = 0; i < 6; i++) {
            Table t = gen.function();
            add(t);
            add(~t);
        }
    }
};

TEST_F(IteTest, EveryConnectiveMatchesItsTruthTable) {
    for (const Connective &c : kConnectives) {
        SCOPED_TRACE(c.name);
        for (size_t i = 0; i < bdds.size(); i++) {
            for (size_t j = 0; j < bdds.size(); j++) {
                SCOPED_TRACE(testing::Message() << "operands " << i << ", " << j);
                expectFunction(c.op(dd, bdds[i], bdds[j]), c.expected(tables[i], tables[j]));
            }
        }
    }
}

TEST_F(IteTest, IteMatchesItsTruthTable) {
    for (size_t i = 0; i < bdds.size(); i++) {
        for (size_t j = 0; j < bdds.size(); j++) {
            for (size_t k = 0; k < bdds.size(); k++) {
                SCOPED_TRACE(testing::Message() << "operands " << i << ", " << j << ", " << k);
                expectFunction(Tarn_BddIte(dd, bdds[i], bdds[j], bdds[k]),
                               (tables[i] & tables[j]) | (~tables[i] & tables[k]));
            }
        }
    }
}

TEST_F(IteTest, IteWithConstantBranchesReturnsTheConditionItself) {
    for (DdNode *f : bdds) {
        EXPECT_EQ(Tarn_BddIte(dd, f, one(), zero()), f);
        EXPECT_EQ(Tarn_BddIte(dd, f, zero(), one()), tarnNot(f));
        EXPECT_EQ(Tarn_BddIte(dd, bdds[5], f, f), f);
    }
}

TEST_F(IteTest, ImpliesMatchesTheTruthTable) {
    for (size_t i = 0; i < bdds.size(); i++) {
        for (size_t j = 0; j < bdds.size(); j++) {
            // Half of the pairs are made to hold: i implies (i OR j).
            Table weaker = tables[i] | tables[j];
            DdNode *w = make(weaker);
            EXPECT_EQ(Tarn_BddImplies(dd, bdds[i], w), 1) << i << ", " << j;
            EXPECT_EQ(Tarn_BddImplies(dd, bdds[i], bdds[j]), (tables[i] & ~tables[j]) == 0)
                << i << ", " << j;
        }
    }
}

TEST_F(IteTest, LiteralAboveBothBranchesBuildsTheNodeWithoutACacheEntry) {
    // g and h do not depend on variable 0.
    DdNode *g = make(oracle::positiveCofactor(gen.function() | oracle::variable(3), 0));
    DdNode *h = make(oracle::positiveCofactor(gen.function() & oracle::variable(4), 0));
    ASSERT_FALSE(Tarn_IsConstant(g) || Tarn_IsConstant(h) || g == h || g == tarnNot(h));
    DdNode *x = var(0);
    struct Case {
        DdNode *f, *g, *h;
    } cases[] = {
        {x, g, h}, {x, tarnNot(g), h}, {x, g, tarnNot(h)}, {tarnNot(x), tarnNot(g), h},
    };
    for (const Case &c : cases) {
        const double inserts = dd->cacheInserts;
        DdNode *r = Tarn_BddIte(dd, c.f, c.g, c.h);
        ASSERT_NE(r, nullptr);
        EXPECT_EQ(Tarn_ReadNodeIndex(r), 0u);
        EXPECT_EQ(tarnThenOf(r), c.f == x ? c.g : c.h);
        EXPECT_EQ(tarnElseOf(r), c.f == x ? c.h : c.g);
        EXPECT_EQ(dd->cacheInserts, inserts);
        Tarn_Ref(r);
        held_.push_back(r);
    }
}

// ---- giving up -----------------------------------------------------------------------------

int stopNow(const void *) { return 1; }

void countTimeout(DdManager *, void *calls) { ++*static_cast<int *>(calls); }

// Every step that gives up on the way releases the partial results it holds: for each step, the
// termination request is made to arrive at the first, second, third... computed-table miss until
// the operation finishes, and after each failed attempt the live nodes are those of before.
TEST_F(IteTest, GivingUpAtAnyDepthReleasesThePartialResults) {
    const Table ta = gen.function() | oracle::variable(0);
    const Table tb = gen.function() ^ oracle::variable(1);
    const Table tc = gen.function(), cube = oracle::cubeOf(0b011010);
    DdNode *a = make(ta), *b = make(tb), *c = make(tc), *k = make(cube);
    // Shared operands, so that the conjunction consults the computed table at the root too.
    Tarn_Ref(a);
    Tarn_Ref(b);
    const struct {
        const char *name;
        std::function<DdNode *()> run;
        Table expected;
    } steps[] = {
        {"And", [&] { return Tarn_BddAnd(dd, a, b); }, ta & tb},
        {"Xor", [&] { return Tarn_BddXor(dd, a, b); }, ta ^ tb},
        {"Ite", [&] { return Tarn_BddIte(dd, a, b, c); }, (ta & tb) | (~ta & tc)},
        {"Exist", [&] { return Tarn_BddExistAbstract(dd, a, k); }, oracle::exists(ta, cube)},
        {"ForAll", [&] { return Tarn_BddForAllAbstract(dd, a, k); }, oracle::forall(ta, cube)},
        {"AndAbstract", [&] { return Tarn_BddAndAbstract(dd, a, b, k); },
         oracle::exists(ta & tb, cube)},
    };
    for (const auto &step : steps) {
        SCOPED_TRACE(step.name);
        tarnCacheFlush(dd);
        const unsigned live = Tarn_ReadNodeCount(dd);
        Tarn_SetTerminationCallback(dd, stopNow, nullptr);
        int failures = 0;
        DdNode *r = nullptr;
        for (int miss = 1; r == nullptr && miss < 4096; miss++) {
            dd->cacheMisses = 2048 - miss;
            dd->cacheHits = 0;
            r = step.run();
            if (r == nullptr) {
                failures++;
                EXPECT_EQ(dd->errorCode, TARN_TERMINATED);
                ASSERT_EQ(Tarn_ReadNodeCount(dd), live) << "gave up at miss " << miss;
            }
        }
        Tarn_SetTerminationCallback(dd, nullptr, nullptr);
        EXPECT_GT(failures, 0);
        expectFunction(r, step.expected);
    }
    Tarn_DerefBdd(dd, a);
    Tarn_DerefBdd(dd, b);
}

TEST_F(IteTest, ATimeOutReturnsNullAndCallsTheTimeoutHandlerOfThatOperationOnly) {
    int calls = 0;
    Tarn_SetTimeoutHandler(dd, countTimeout, &calls);
    Tarn_SetTimeLimit(dd, 1);
    dd->startTime = util_cpu_time_ms() - 1000;
    using oracle::variable;
    const Table ta = variable(0) ^ variable(3) ^ (variable(1) & variable(5));
    const Table tb = variable(2) | (variable(4) & variable(0));
    DdNode *a = make(ta), *b = make(tb);
    dd->cacheMisses = 2047;
    EXPECT_EQ(Tarn_BddXor(dd, a, b), nullptr);
    EXPECT_EQ(dd->errorCode, TARN_TIME_OUT);
    EXPECT_EQ(calls, 1);

    // The error code stays, but a later operation that finishes is no time-out.
    Tarn_SetTimeLimit(dd, UINT32_MAX);
    expectFunction(Tarn_BddXor(dd, a, b), ta ^ tb);
    EXPECT_EQ(calls, 1);
}

}  // namespace
