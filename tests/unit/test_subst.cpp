// Renaming, composition and vector composition of BDDs and ADDs against truth tables and leaf
// tables; their shortcuts; failures; and a long run under collection pressure.
#include <algorithm>
#include <array>
#include <memory>
#include <numeric>

#include "add_oracle.h"
#include "oracle.h"

namespace {

using oracle::Table;
constexpr int kVars = oracle::kVars;
constexpr unsigned kAssignments = 1u << kVars;

// The assignment that the renamed (or substituted) function reads at assignment a: variable i of
// f takes the value that bit(i) gives.
template <class Bit>
unsigned readAssignment(Bit bit) {
    unsigned b = 0;
    for (int i = 0; i < kVars; i++) b |= static_cast<unsigned>(bit(i) & 1) << i;
    return b;
}

Table permuted(Table f, const std::vector<int> &perm) {
    Table r = 0;
    for (unsigned a = 0; a < kAssignments; a++) {
        const unsigned b = readAssignment([&](int i) { return (a >> perm[i]) & 1; });
        r |= ((f >> b) & 1) << a;
    }
    return r;
}

Table composed(Table f, Table g, int v) {
    Table r = 0;
    for (unsigned a = 0; a < kAssignments; a++) {
        const unsigned b = (a & ~(1u << v)) | static_cast<unsigned>((g >> a) & 1) << v;
        r |= ((f >> b) & 1) << a;
    }
    return r;
}

Table vectorComposed(Table f, const std::array<Table, kVars> &vector) {
    Table r = 0;
    for (unsigned a = 0; a < kAssignments; a++) {
        const unsigned b = readAssignment([&](int i) { return (vector[i] >> a) & 1; });
        r |= ((f >> b) & 1) << a;
    }
    return r;
}

class SubstTest : public BddTest {
protected:
    oracle::Generator gen{7331};

    void SetUp() override {
        BddTest::SetUp();
        ASSERT_NE(var(kVars - 1), nullptr);
    }

    // A permutation over the manager's variables that shuffles the oracle's six.
    std::vector<int> randomPermutation() {
        std::vector<int> perm(Tarn_ReadSize(dd));
        std::iota(perm.begin(), perm.end(), 0);
        for (int i = kVars - 1; i > 0; i--) std::swap(perm[i], perm[gen.below(i + 1)]);
        return perm;
    }
    std::vector<int> identity() {
        std::vector<int> perm(Tarn_ReadSize(dd));
        std::iota(perm.begin(), perm.end(), 0);
        return perm;
    }
    // The projection functions of every variable of the manager.
    std::vector<DdNode *> identityVector() {
        std::vector<DdNode *> vector(Tarn_ReadSize(dd));
        for (int i = 0; i < Tarn_ReadSize(dd); i++) vector[i] = var(i);
        return vector;
    }
    // Operands that meet the terminal cases: constants, literals, random functions, complements.
    std::vector<Table> operands() {
        std::vector<Table> t = {oracle::kTrue, oracle::kFalse, oracle::variable(2),
                                ~oracle::variable(4)};
        for (int i = 0; i < 8; i++) {
            Table f = gen.function();
            t.push_back(f);
            t.push_back(~f);
        }
        return t;
    }
};

TEST_F(SubstTest, PermuteRenamesEveryVariable) {
    for (Table t : operands()) {
        DdNode *f = make(t);
        for (int round = 0; round < 4; round++) {
            const std::vector<int> perm = randomPermutation();
            expectFunction(Tarn_BddPermute(dd, f, perm.data()), permuted(t, perm));
        }
    }
}

// A renaming to a variable beyond the last one creates it; one to a variable that cannot exist
// gives no result.
TEST_F(SubstTest, PermuteToAMissingVariableCreatesItOrRefusesIt) {
    const int size = Tarn_ReadSize(dd);
    std::vector<int> perm(static_cast<size_t>(size));
    for (int i = 0; i < size; i++) perm[static_cast<size_t>(i)] = i;
    DdNode *f = Tarn_BddAnd(dd, var(0), var(1));
    Tarn_Ref(f);
    DdNode *g = Tarn_AddApply(dd, Tarn_AddTimes, Tarn_AddIthVar(dd, 0), Tarn_AddIthVar(dd, 1));
    Tarn_Ref(g);
    perm[0] = size + 2;
    DdNode *r = Tarn_BddPermute(dd, f, perm.data());
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(Tarn_ReadSize(dd), size + 3);
    EXPECT_EQ(r, Tarn_BddAnd(dd, var(size + 2), var(1)));
    for (int i = size; i < size + 3; i++) perm.push_back(i);  // one entry per variable
    EXPECT_EQ(Tarn_AddPermute(dd, g, perm.data()),
              Tarn_AddApply(dd, Tarn_AddTimes, Tarn_AddIthVar(dd, size + 2), Tarn_AddIthVar(dd, 1)));
    for (int bad : {-1, INT32_MAX}) {
        perm[0] = bad;
        dd->errorCode = TARN_NO_ERROR;
        EXPECT_EQ(Tarn_BddPermute(dd, f, perm.data()), nullptr) << bad;
        EXPECT_EQ(Tarn_ReadErrorCode(dd), TARN_INVALID_ARGUMENT);
        dd->errorCode = TARN_NO_ERROR;
        EXPECT_EQ(Tarn_AddPermute(dd, g, perm.data()), nullptr) << bad;
        EXPECT_EQ(Tarn_ReadErrorCode(dd), TARN_INVALID_ARGUMENT);
    }
}

// A renaming that creates its target variable and is then restarted by a reordering reads no
// more of the caller's permutation than the variables there were when it was called.
TEST_F(SubstTest, PermuteRestartedAfterCreatingAVariableReadsOnlyTheCallersEntries) {
    for (bool isAdd : {false, true}) {
        const int size = Tarn_ReadSize(dd);
        DdNode *f = isAdd ? Tarn_AddApply(dd, Tarn_AddTimes, Tarn_AddIthVar(dd, 0),
                                          Tarn_AddIthVar(dd, 1))
                          : Tarn_BddAnd(dd, var(0), var(1));
        Tarn_Ref(f);
        std::unique_ptr<int[]> perm(new int[static_cast<size_t>(size)]);  // exactly `size` entries
        for (int i = 0; i < size; i++) perm[i] = i;
        perm[1] = size + 1;
        const unsigned before = dd->reorderCount;
        Tarn_EnableAutoReorder(dd, TARN_REORDER_SIFT);
        dd->reorderThreshold = dd->keys - dd->dead + 1;  // the first new node reorders
        DdNode *r = isAdd ? Tarn_AddPermute(dd, f, perm.get()) : Tarn_BddPermute(dd, f, perm.get());
        Tarn_DisableAutoReorder(dd);
        ASSERT_NE(r, nullptr) << isAdd;
        EXPECT_GT(dd->reorderCount, before) << isAdd;
        EXPECT_EQ(Tarn_ReadSize(dd), size + 2) << isAdd;
        DdNode *want = isAdd ? Tarn_AddApply(dd, Tarn_AddTimes, Tarn_AddIthVar(dd, 0),
                                             Tarn_AddIthVar(dd, size + 1))
                             : Tarn_BddAnd(dd, var(0), var(size + 1));
        EXPECT_EQ(r, want) << isAdd;
        Tarn_RecursiveDeref(dd, f);
    }
}

TEST_F(SubstTest, IdentityGivesTheSameHandleAndASwapUndoesItself) {
    std::vector<int> swap = identity();
    std::swap(swap[1], swap[4]);
    for (Table t : operands()) {
        DdNode *f = make(t);
        EXPECT_EQ(Tarn_BddPermute(dd, f, identity().data()), f);
        DdNode *once = Tarn_BddPermute(dd, f, swap.data());
        ASSERT_NE(once, nullptr);
        Tarn_Ref(once);
        EXPECT_EQ(Tarn_BddPermute(dd, once, swap.data()), f);
        Tarn_DerefBdd(dd, once);
    }
}

// Renaming keeps its results across calls under the contents of the permutation. One array is
// edited in place between calls (an edit must never meet results made for the old contents), the
// memo is emptied by collections of the released results and by whole-table flushes, and more
// distinct permutations are used than the memo keeps identities for at once.
TEST_F(SubstTest, RenamingAcrossCallsFollowsThePermutationsContents) {
    std::vector<Table> tables;
    std::vector<DdNode *> functions;
    for (int i = 0; i < 8; i++) {
        tables.push_back(gen.function());
        functions.push_back(make(tables.back()));
    }
    std::vector<int> perm = identity();
    for (int round = 0; round < 900; round++) {
        SCOPED_TRACE(testing::Message() << "round " << round);
        if (round % 3 == 0) {
            // edit the same array: a transposition, or a new shuffle
            if (gen.below(2) == 0) {
                std::swap(perm[gen.below(kVars)], perm[gen.below(kVars)]);
            } else {
                perm = randomPermutation();
            }
        }
        const unsigned i = gen.below(8);
        const bool c = gen.below(2) != 0;
        expectFunction(Tarn_BddPermute(dd, tarnNotCond(functions[i], c), perm.data()),
                       permuted(c ? ~tables[i] : tables[i], perm));
        if (round % 97 == 0) tarnGarbageCollect(dd, 1);
        if (round % 131 == 0) tarnCacheFlush(dd);
    }

    // An equal permutation in another array finds the results of the first at once.
    const std::vector<int> copy = perm;
    DdNode *first = Tarn_BddPermute(dd, functions[0], perm.data());
    ASSERT_NE(first, nullptr);
    Tarn_Ref(first);
    const double inserts = dd->cacheInserts;
    EXPECT_EQ(Tarn_BddPermute(dd, functions[0], copy.data()), first);
    EXPECT_EQ(dd->cacheInserts, inserts);
    Tarn_DerefBdd(dd, first);
}

TEST_F(SubstTest, ComposeSubstitutesTheFunction) {
    const std::vector<Table> t = operands();
    for (Table ft : t) {
        DdNode *f = make(ft);
        for (Table gt : t) {
            DdNode *g = make(gt);
            for (int v = 0; v < kVars; v++) {
                SCOPED_TRACE(testing::Message() << "variable " << v);
                expectFunction(Tarn_BddCompose(dd, f, g, v), composed(ft, gt, v));
            }
        }
    }
}

TEST_F(SubstTest, ComposeShortcuts) {
    // f over variables 0 to 3 only
    const Table ft = oracle::positiveCofactor(oracle::positiveCofactor(gen.function() | 1, 4), 5);
    DdNode *f = make(ft);
    DdNode *g = make(gen.function());
    for (int v : {4, 5}) EXPECT_EQ(Tarn_BddCompose(dd, f, g, v), f) << "f does not depend on " << v;
    for (int v = 0; v < kVars; v++) {
        SCOPED_TRACE(testing::Message() << "variable " << v);
        EXPECT_EQ(Tarn_BddCompose(dd, f, var(v), v), f);
        EXPECT_EQ(Tarn_BddCompose(dd, tarnNot(f), var(v), v), tarnNot(f));
        expectFunction(Tarn_BddCompose(dd, f, one(), v), oracle::positiveCofactor(ft, v));
        expectFunction(Tarn_BddCompose(dd, f, zero(), v), oracle::negativeCofactor(ft, v));
    }
}

TEST_F(SubstTest, ComposeRefusesAVariableThatDoesNotExist) {
    DdNode *f = make(gen.function());
    for (int v : {-1, Tarn_ReadSize(dd), 1 << 30}) {
        dd->errorCode = TARN_TIME_OUT;  // the refusal leaves the code as it was
        EXPECT_EQ(Tarn_BddCompose(dd, f, one(), v), nullptr) << v;
        EXPECT_EQ(Tarn_ReadErrorCode(dd), TARN_TIME_OUT);
        EXPECT_EQ(Tarn_AddCompose(dd, dd->one, dd->one, v), nullptr) << v;
        EXPECT_EQ(Tarn_ReadErrorCode(dd), TARN_TIME_OUT);
    }
}

TEST_F(SubstTest, VectorComposeSubstitutesEveryVariableAtOnce) {
    for (Table ft : operands()) {
        DdNode *f = make(ft);
        EXPECT_EQ(Tarn_BddVectorCompose(dd, f, identityVector().data()), f);
        for (int round = 0; round < 4; round++) {
            std::vector<DdNode *> vector = identityVector();
            std::array<Table, kVars> tables;
            for (int i = 0; i < kVars; i++) {
                tables[i] = gen.below(3) == 0 ? oracle::variable(i) : gen.function();
                vector[i] = make(tables[i]);
            }
            expectFunction(Tarn_BddVectorCompose(dd, f, vector.data()),
                           vectorComposed(ft, tables));
        }
    }
}

TEST_F(SubstTest, VectorComposeWithOneChangedEntryIsCompose) {
    for (Table ft : operands()) {
        DdNode *f = make(ft);
        for (int v = 0; v < kVars; v++) {
            DdNode *g = make(gen.function());
            std::vector<DdNode *> vector = identityVector();
            vector[v] = g;
            DdNode *r = Tarn_BddVectorCompose(dd, f, vector.data());
            ASSERT_NE(r, nullptr);
            Tarn_Ref(r);
            EXPECT_EQ(r, Tarn_BddCompose(dd, f, g, v)) << "variable " << v;
            Tarn_DerefBdd(dd, r);
        }
    }
}

// ---- ADD forms ---------------------------------------------------------------------------------

constexpr int kAddVars = addoracle::kVars;

class AddSubstTest : public AddTest {
protected:
    addoracle::Generator gen{2718, addoracle::fullPool()};

    void SetUp() override {
        AddTest::SetUp();
        for (int i = 0; i < kAddVars; i++) addVar(i);
    }

    // The leaves of f read at the assignment that bit(a, i) gives each variable.
    template <class Bit>
    static addoracle::Table reread(const addoracle::Table &f, Bit bit) {
        addoracle::Table r{};
        for (unsigned a = 0; a < addoracle::kAssignments; a++) {
            unsigned b = 0;
            for (int i = 0; i < kAddVars; i++) b |= static_cast<unsigned>(bit(a, i)) << i;
            r[a] = f[b];
        }
        return r;
    }
    // The ADD projection functions of every variable of the manager.
    std::vector<DdNode *> identityVector() {
        std::vector<DdNode *> vector(Tarn_ReadSize(dd));
        for (int i = 0; i < Tarn_ReadSize(dd); i++) vector[i] = addVar(i);
        return vector;
    }
};

TEST_F(AddSubstTest, PermuteAndSwapRenameTheLeaves) {
    std::vector<int> perm(Tarn_ReadSize(dd));
    std::iota(perm.begin(), perm.end(), 0);
    for (int round = 0; round < 20; round++) {
        const addoracle::Table t = gen.table();
        DdNode *f = make(t);
        std::vector<int> p = perm;
        for (int i = kAddVars - 1; i > 0; i--) std::swap(p[i], p[gen.below(i + 1)]);
        expectLeaves(Tarn_AddPermute(dd, f, p.data()),
                     reread(t, [&](unsigned a, int i) { return (a >> p[i]) & 1; }));
        EXPECT_EQ(Tarn_AddPermute(dd, f, perm.data()), f);

        // swap (0 3) and (1 2) given as two pairs of projection functions
        DdNode *x[] = {addVar(0), addVar(1)};
        DdNode *y[] = {addVar(3), addVar(2)};
        const int swapped[] = {3, 2, 1, 0};
        expectLeaves(Tarn_AddSwapVariables(dd, f, x, y, 2),
                     reread(t, [&](unsigned a, int i) { return (a >> swapped[i]) & 1; }));
    }
}

// The ADD renaming and the variable swap keep their results across calls as the BDD renaming
// does: an array edited in place between calls, collections and flushes in between.
TEST_F(AddSubstTest, RenamingAcrossCallsFollowsThePermutationsContents) {
    std::vector<addoracle::Table> tables;
    std::vector<DdNode *> functions;
    for (int i = 0; i < 6; i++) {
        tables.push_back(gen.table());
        functions.push_back(make(tables.back()));
    }
    std::vector<int> perm(Tarn_ReadSize(dd));
    std::iota(perm.begin(), perm.end(), 0);
    for (int round = 0; round < 300; round++) {
        SCOPED_TRACE(testing::Message() << "round " << round);
        const unsigned i = gen.below(6);
        if (round % 2 == 0) {
            std::swap(perm[gen.below(kAddVars)], perm[gen.below(kAddVars)]);
            expectLeaves(Tarn_AddPermute(dd, functions[i], perm.data()),
                         reread(tables[i], [&](unsigned a, int v) { return (a >> perm[v]) & 1; }));
        } else {
            const int x = static_cast<int>(gen.below(kAddVars));
            const int y = static_cast<int>(gen.below(kAddVars));
            DdNode *xs[] = {addVar(x)};
            DdNode *ys[] = {addVar(y)};
            expectLeaves(Tarn_AddSwapVariables(dd, functions[i], xs, ys, 1),
                         reread(tables[i], [&](unsigned a, int v) {
                             const int from = v == x ? y : v == y ? x : v;
                             return (a >> from) & 1;
                         }));
        }
        if (round % 37 == 0) tarnGarbageCollect(dd, 1);
        if (round % 53 == 0) tarnCacheFlush(dd);
    }
}

TEST_F(AddSubstTest, ComposeAndVectorComposeUseZeroOneConditions) {
    for (int round = 0; round < 20; round++) {
        const addoracle::Table t = gen.table();
        DdNode *f = make(t);
        const addoracle::Table g = gen.zeroOne();
        DdNode *G = make(g);
        for (int v = 0; v < kAddVars; v++) {
            SCOPED_TRACE(testing::Message() << "variable " << v);
            expectLeaves(Tarn_AddCompose(dd, f, G, v), reread(t, [&](unsigned a, int i) {
                             return i == v ? g[a] != 0.0 : (a >> i) & 1;
                         }));
            EXPECT_EQ(Tarn_AddCompose(dd, f, addVar(v), v), f);
        }

        EXPECT_EQ(Tarn_AddVectorCompose(dd, f, identityVector().data()), f);
        std::vector<DdNode *> vector = identityVector();
        std::array<addoracle::Table, kAddVars> tables;
        for (int i = 0; i < kAddVars; i++) {
            tables[i] = gen.zeroOne();
            vector[i] = make(tables[i]);
        }
        expectLeaves(Tarn_AddVectorCompose(dd, f, vector.data()),
                     reread(t, [&](unsigned a, int i) { return tables[i][a] != 0.0; }));
    }
}

// ---- failures and collections -------------------------------------------------------------------

void recordOnly(size_t) {}

// Every allocation of the per-call node map may fail: the operation then has no result and
// TARN_OUT_OF_MEMORY, holds no reference, and works again once memory is back.
TEST_F(SubstTest, NodeMapFailuresLeaveNoResultAndNoReference) {
    const Table ft = gen.function() ^ gen.function();
    DdNode *f = make(ft);
    const std::vector<int> perm = randomPermutation();
    std::vector<DdNode *> vector = identityVector();
    vector[1] = make(gen.function());
    const unsigned baseline = live();
    UtilOutOfMemoryFn saved = util_out_of_memory;
    util_out_of_memory = recordOnly;
    testing::internal::CaptureStderr();  // the manager reports each failed allocation
    int failures = 0;
    for (long k = 0; k < 40; k++) {
        for (int op = 0; op < 2; op++) {
            dd->errorCode = TARN_NO_ERROR;
            util_fail_allocations_after(k);
            DdNode *r = op == 0 ? Tarn_BddPermute(dd, f, perm.data())
                                : Tarn_BddVectorCompose(dd, f, vector.data());
            util_fail_allocations_after(-1);
            if (r == nullptr) {
                failures++;
                EXPECT_EQ(Tarn_ReadErrorCode(dd), TARN_OUT_OF_MEMORY);
            } else {
                Tarn_Ref(r);
                Tarn_DerefBdd(dd, r);
            }
            tarnGarbageCollect(dd, 1);
            EXPECT_EQ(live(), baseline) << "after " << k << " allocations, operation " << op;
        }
    }
    testing::internal::GetCapturedStderr();
    util_out_of_memory = saved;
    EXPECT_GT(failures, 0);
    expectFunction(Tarn_BddPermute(dd, f, perm.data()), permuted(ft, perm));
}

int collectionsInside;
bool insideOperation;
int countCollection(DdManager *, const char *, void *) {
    if (insideOperation) collectionsInside++;
    return 1;
}

// Thousands of substitutions on a manager with a small memory budget, so that the collector runs
// inside them while the node maps hold references. Every result is checked against the oracle and
// kept in a pool; at the end the manager is back to its initial live-node count.
TEST(SubstRandomRun, ResultsSurviveCollectionsAndReferencesBalance) {
    DdManager *dd = Tarn_Init(kVars, 0, 8, 16, uint64_t{1} << 16);
    ASSERT_NE(dd, nullptr);
    Tarn_SetMaxMemory(dd, dd->memoryInUse);
    collectionsInside = 0;
    Tarn_AddHook(dd, countCollection, TARN_PRE_GC_HOOK);
    const unsigned baseline = Tarn_ReadNodeCount(dd);

    oracle::Generator gen(99);
    constexpr int kPool = 32;
    Table tables[kPool];
    DdNode *pool[kPool];
    for (int i = 0; i < kPool; i++) {
        tables[i] = gen.function();
        pool[i] = oracle::build(dd, tables[i]);
    }
    std::vector<int> perm(kVars);
    for (int round = 0; round < 4000; round++) {
        const int i = static_cast<int>(gen.below(kPool));
        const int j = static_cast<int>(gen.below(kPool));
        const bool c = gen.below(2) != 0;
        DdNode *f = tarnNotCond(pool[i], c);
        const Table t = c ? ~tables[i] : tables[i];
        DdNode *r;
        Table expected;
        insideOperation = true;
        switch (gen.below(3)) {
            case 0: {
                std::iota(perm.begin(), perm.end(), 0);
                for (int k = kVars - 1; k > 0; k--) std::swap(perm[k], perm[gen.below(k + 1)]);
                r = Tarn_BddPermute(dd, f, perm.data());
                expected = permuted(t, perm);
                break;
            }
            case 1: {
                const int v = static_cast<int>(gen.below(kVars));
                r = Tarn_BddCompose(dd, f, pool[j], v);
                expected = composed(t, tables[j], v);
                break;
            }
            default: {
                std::array<Table, kVars> vt;
                DdNode *vector[kVars];
                for (int k = 0; k < kVars; k++) {
                    const int m = static_cast<int>(gen.below(kPool));
                    const bool keep = gen.below(2) == 0;
                    vt[k] = keep ? oracle::variable(k) : tables[m];
                    vector[k] = keep ? dd->vars[k] : pool[m];
                }
                r = Tarn_BddVectorCompose(dd, f, vector);
                expected = vectorComposed(t, vt);
                break;
            }
        }
        insideOperation = false;
        ASSERT_NE(r, nullptr) << "round " << round;
        Tarn_Ref(r);
        ASSERT_EQ(oracle::tableOf(r), expected) << "round " << round;

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
    tarnGarbageCollect(dd, 1);
    EXPECT_EQ(Tarn_ReadNodeCount(dd), baseline);
    Tarn_Quit(dd);
}

}  // namespace
