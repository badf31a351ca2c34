// Every family of operations under automatic reordering that fires every few dozen new nodes: the
// results must equal a truth-table oracle over ten variables, and the manager must stay
// consistent (a collection checks the dead counts and stops the process on a mismatch).
#include <algorithm>
#include <bitset>
#include <stdexcept>
#include <functional>
#include <random>
#include <vector>

#include "fixture.h"
#include "mtr/mtr.h"

namespace {

constexpr int kN = 10;
constexpr size_t kRows = size_t{1} << kN;
using Table = std::bitset<kRows>;
using Values = std::vector<double>;

bool bit(size_t a, int i) { return (a >> i & 1) != 0; }

bool evalBdd(DdNode *f, size_t a) {
    bool complemented = false;
    for (;;) {
        complemented ^= Tarn_IsComplement(f);
        const DdNode *n = Tarn_Regular(f);
        if (n->index == TARN_MAXINDEX) return !complemented;
        f = bit(a, static_cast<int>(n->index)) ? n->T : n->E;
    }
}

double evalAdd(DdNode *f, size_t a) {
    while (f->index != TARN_MAXINDEX) f = bit(a, static_cast<int>(f->index)) ? f->T : f->E;
    return f->value;
}

Table tableOf(DdNode *f) {
    Table t;
    for (size_t a = 0; a < kRows; a++) t[a] = evalBdd(f, a);
    return t;
}

Values valuesOf(DdNode *f) {
    Values v(kRows);
    for (size_t a = 0; a < kRows; a++) v[a] = evalAdd(f, a);
    return v;
}

Table existsTable(Table t, unsigned vars) {
    for (int i = 0; i < kN; i++) {
        if (!(vars >> i & 1)) continue;
        Table r;
        for (size_t a = 0; a < kRows; a++) r[a] = t[a & ~(size_t{1} << i)] || t[a | (size_t{1} << i)];
        t = r;
    }
    return t;
}

struct StressCase {
    int method;
    bool blocks;
    const char *name;
    unsigned keysPerSlot = TARN_KEYS_PER_SLOT;
};

class ReorderStress : public ::testing::TestWithParam<StressCase> {
protected:
    DdManager *dd = nullptr;
    std::mt19937 rng{11};
    // held BDDs with their tables, held ADDs with their values
    std::vector<std::pair<DdNode *, Table>> bdds;
    std::vector<std::pair<DdNode *, Values>> adds;

    void SetUp() override {
        dd = Tarn_Init(kN, 0, 8, 256, kTestMemory);
        Tarn_SetKeysPerSlot(dd, GetParam().keysPerSlot);
        if (GetParam().blocks) {
            Tarn_MakeTreeNode(dd, 0, 3, MTR_FIXED);
            Tarn_MakeTreeNode(dd, 4, 4, 0);
            Tarn_MakeTreeNode(dd, 5, 2, 0);
        }
        Tarn_EnableAutoReorder(dd, GetParam().method);
    }
    void TearDown() override {
        for (auto &p : bdds) Tarn_RecursiveDeref(dd, p.first);
        for (auto &p : adds) Tarn_RecursiveDeref(dd, p.first);
        Tarn_Quit(dd);
    }

    int pick(int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); }
    DdNode *anyBdd() { return bdds[pick(static_cast<int>(bdds.size()))].first; }
    const Table &tableAt(DdNode *f) {
        for (auto &p : bdds) {
            if (p.first == f) return p.second;
        }
        throw std::logic_error("not held");
    }

    void keepBdd(DdNode *f, const Table &expected, const char *what) {
        ASSERT_NE(f, nullptr) << what;
        Tarn_Ref(f);
        bdds.push_back({f, expected});
        ASSERT_EQ(tableOf(f), expected) << what;
        if (bdds.size() > 24) {
            Tarn_RecursiveDeref(dd, bdds.front().first);
            bdds.erase(bdds.begin());
        }
    }
    void keepAdd(DdNode *f, const Values &expected, const char *what) {
        ASSERT_NE(f, nullptr) << what;
        Tarn_Ref(f);
        adds.push_back({f, expected});
        ASSERT_EQ(valuesOf(f), expected) << what;
        if (adds.size() > 8) {
            Tarn_RecursiveDeref(dd, adds.front().first);
            adds.erase(adds.begin());
        }
    }

    // a random BDD from a few connectives of projections
    DdNode *randomBdd(Table *t) {
        DdNode *f = Tarn_BddIthVar(dd, pick(kN));
        Tarn_Ref(f);
        *t = tableOf(f);
        for (int k = 0; k < 6; k++) {
            const int v = pick(kN);
            DdNode *x = Tarn_BddIthVar(dd, v);
            Table tx;
            for (size_t a = 0; a < kRows; a++) tx[a] = bit(a, v);
            DdNode *g;
            if (k % 3 == 0) {
                g = Tarn_BddXor(dd, f, x);
                *t ^= tx;
            } else if (k % 3 == 1) {
                g = Tarn_BddOr(dd, f, x);
                *t |= tx;
            } else {
                g = Tarn_BddAnd(dd, f, Tarn_Not(x));
                *t &= ~tx;
            }
            Tarn_Ref(g);
            Tarn_RecursiveDeref(dd, f);
            f = g;
        }
        Tarn_DecRef(f);
        return f;
    }

    DdNode *cubeOf(unsigned vars) {
        DdNode *c = Tarn_ReadOne(dd);
        Tarn_Ref(c);
        for (int i = 0; i < kN; i++) {
            if (!(vars >> i & 1)) continue;
            DdNode *d = Tarn_BddAnd(dd, c, Tarn_BddIthVar(dd, i));
            Tarn_Ref(d);
            Tarn_RecursiveDeref(dd, c);
            c = d;
        }
        return c;  // referenced
    }

    // Each level's dead counter matches its nodes without references.
    void checkDeadCounts(int c) {
        for (int l = 0; l < dd->size; l++) {
            const DdSubtable &t = dd->subtables[l];
            unsigned d = 0;
            for (unsigned j = 0; j < t.slots; j++) {
                for (DdNode *n = t.buckets[j]; n != &dd->sentinel; n = n->next) d += n->ref == 0;
            }
            ASSERT_EQ(d, t.dead) << "step kind " << c << ", level " << l;
        }
    }
    // Every step is due to reorder a few dozen nodes after it starts; the reordering itself then
    // sets the next threshold, so an operation always gets room to finish.
    void step() {
        dd->reorderThreshold = dd->keys - dd->dead + 1 + static_cast<unsigned>(pick(60));
        int c = pick(14);
        stepCase(c);
        checkDeadCounts(c);
    }
    void stepCase(int c) {
        Table t;
        switch (c) {
            case 0: {
                DdNode *f = randomBdd(&t);
                keepBdd(f, t, "random");
                break;
            }
            case 1: {
                DdNode *f = anyBdd(), *g = anyBdd();
                keepBdd(Tarn_BddAnd(dd, f, g), tableAt(f) & tableAt(g), "and");
                break;
            }
            case 2: {
                DdNode *f = anyBdd(), *g = anyBdd();
                keepBdd(Tarn_BddXor(dd, f, g), tableAt(f) ^ tableAt(g), "xor");
                break;
            }
            case 3: {
                DdNode *f = anyBdd(), *g = anyBdd(), *h = anyBdd();
                const Table &tf = tableAt(f);
                keepBdd(Tarn_BddIte(dd, f, g, h), (tf & tableAt(g)) | (~tf & tableAt(h)), "ite");
                break;
            }
            case 4: {
                const unsigned vars = static_cast<unsigned>(rng()) & ((1u << kN) - 1);
                DdNode *cube = cubeOf(vars);
                DdNode *f = anyBdd(), *g = anyBdd();
                const Table both = existsTable(tableAt(f) & tableAt(g), vars);
                const Table one = existsTable(tableAt(f), vars);
                DdNode *r = Tarn_BddAndAbstract(dd, f, g, cube);
                ASSERT_NE(r, nullptr);
                Tarn_Ref(r);
                DdNode *e = Tarn_BddExistAbstract(dd, f, cube);
                ASSERT_NE(e, nullptr);
                Tarn_Ref(e);
                Tarn_RecursiveDeref(dd, cube);
                Tarn_DecRef(e);
                Tarn_DecRef(r);
                keepBdd(r, both, "andAbstract");
                keepBdd(e, one, "exist");
                break;
            }
            case 5: {
                std::vector<int> perm(kN);
                for (int i = 0; i < kN; i++) perm[i] = i;
                std::shuffle(perm.begin(), perm.end(), rng);
                DdNode *f = anyBdd();
                Table expected;
                const Table &tf = tableAt(f);
                for (size_t a = 0; a < kRows; a++) {
                    // the result at a is f at the assignment where variable i takes a's value of perm[i]
                    size_t b = 0;
                    for (int i = 0; i < kN; i++) b |= size_t{bit(a, perm[i])} << i;
                    expected[a] = tf[b];
                }
                keepBdd(Tarn_BddPermute(dd, f, perm.data()), expected, "permute");
                break;
            }
            case 6: {
                DdNode *f = anyBdd(), *g = anyBdd();
                const int v = pick(kN);
                Table expected;
                const Table &tf = tableAt(f);
                const Table &tg = tableAt(g);
                for (size_t a = 0; a < kRows; a++) {
                    const size_t b = tg[a] ? a | (size_t{1} << v) : a & ~(size_t{1} << v);
                    expected[a] = tf[b];
                }
                keepBdd(Tarn_BddCompose(dd, f, g, v), expected, "compose");
                break;
            }
            case 7: {
                std::vector<DdNode *> vector(kN);
                for (int i = 0; i < kN; i++) vector[i] = pick(2) ? Tarn_BddIthVar(dd, i) : anyBdd();
                DdNode *f = anyBdd();
                std::vector<Table> parts;
                for (DdNode *v : vector) parts.push_back(tableOf(v));
                Table expected;
                for (size_t a = 0; a < kRows; a++) {
                    size_t b = 0;
                    for (int i = 0; i < kN; i++) b |= size_t{parts[i][a]} << i;
                    expected[a] = tableAt(f)[b];
                }
                keepBdd(Tarn_BddVectorCompose(dd, f, vector.data()), expected, "vectorCompose");
                break;
            }
            case 8: {
                DdNode *f = anyBdd();
                DdNode *s = Tarn_SupportCube(dd, f);
                ASSERT_NE(s, nullptr);
                Tarn_Ref(s);
                DdNode *one = bdd_sat_one(dd, f);
                ASSERT_NE(one, nullptr);
                Tarn_Ref(one);
                EXPECT_EQ((tableOf(one) & ~tableAt(f)).none(), true) << "sat one implies f";
                EXPECT_EQ(tableOf(one).any(), tableAt(f).any());
                Tarn_RecursiveDeref(dd, one);
                Tarn_RecursiveDeref(dd, s);
                break;
            }
            case 9: {
                DdNode *f = anyBdd(), *c = anyBdd();
                DdNode *r = Tarn_BddRestrict(dd, f, c);
                ASSERT_NE(r, nullptr);
                Tarn_Ref(r);
                const Table &tc = tableAt(c);
                Table tr = tableOf(r);
                EXPECT_TRUE(((tr ^ tableAt(f)) & tc).none()) << "restrict agrees on the care set";
                Tarn_RecursiveDeref(dd, r);
                break;
            }
            case 10: {
                DdNode *f = anyBdd();
                DdNode *a = Tarn_BddToAdd(dd, f);
                Values v(kRows);
                for (size_t k = 0; k < kRows; k++) v[k] = tableAt(f)[k] ? 1.0 : 0.0;
                keepAdd(a, v, "bddToAdd");
                break;
            }
            case 11: {
                if (adds.size() < 2) break;
                auto &[f, vf] = adds[pick(static_cast<int>(adds.size()))];
                auto &[g, vg] = adds[pick(static_cast<int>(adds.size()))];
                Values v(kRows);
                for (size_t k = 0; k < kRows; k++) v[k] = vf[k] + 2 * vg[k];
                DdNode *two = Tarn_AddConst(dd, 2.0);
                Tarn_Ref(two);
                DdNode *g2 = Tarn_AddApply(dd, Tarn_AddTimes, g, two);
                Tarn_Ref(g2);
                DdNode *sum = Tarn_AddApply(dd, Tarn_AddPlus, f, g2);
                Tarn_Ref(sum);
                Tarn_RecursiveDeref(dd, two);
                Tarn_RecursiveDeref(dd, g2);
                Tarn_DecRef(sum);
                keepAdd(sum, v, "add plus times");
                break;
            }
            case 12: {
                if (adds.empty()) break;
                auto &[f, vf] = adds[pick(static_cast<int>(adds.size()))];
                const unsigned vars = static_cast<unsigned>(rng()) & ((1u << kN) - 1);
                DdNode *cube = cubeOf(vars);
                DdNode *acube = Tarn_BddToAdd(dd, cube);
                Tarn_Ref(acube);
                Tarn_RecursiveDeref(dd, cube);
                DdNode *r = Tarn_AddMaxAbstract(dd, f, acube);
                Tarn_Ref(r);
                Tarn_RecursiveDeref(dd, acube);
                Tarn_DecRef(r);
                Values v(kRows);
                for (size_t a = 0; a < kRows; a++) {
                    double best = vf[a & ~static_cast<size_t>(vars)];
                    for (size_t b = 0; b < kRows; b++) {
                        if ((b & ~static_cast<size_t>(vars)) == (a & ~static_cast<size_t>(vars))) {
                            best = std::max(best, vf[b]);
                        }
                    }
                    v[a] = best;
                }
                keepAdd(r, v, "maxAbstract");
                break;
            }
            case 13: {
                if (adds.empty()) break;
                auto &[f, vf] = adds[pick(static_cast<int>(adds.size()))];
                std::vector<int> perm(kN);
                for (int i = 0; i < kN; i++) perm[i] = i;
                std::shuffle(perm.begin(), perm.end(), rng);
                Values v(kRows);
                for (size_t a = 0; a < kRows; a++) {
                    size_t b = 0;
                    for (int i = 0; i < kN; i++) b |= size_t{bit(a, perm[i])} << i;
                    v[a] = vf[b];
                }
                keepAdd(Tarn_AddPermute(dd, f, perm.data()), v, "addPermute");
                DdNode *t = Tarn_AddBddThreshold(dd, adds.back().first, 1.0);
                Table expected;
                for (size_t a = 0; a < kRows; a++) expected[a] = v[a] >= 1.0;
                keepBdd(t, expected, "threshold");
                break;
            }
        }
    }
};

TEST_P(ReorderStress, EveryOperationGivesTheOracleResultWhileReordering) {
    Table t;
    for (int k = 0; k < 4; k++) keepBdd(randomBdd(&t), t, "seed");
    for (int k = 0; k < 400 && !HasFatalFailure(); k++) step();
    EXPECT_GT(dd->reorderCount, 20);
    for (int i = 0; i < kN; i++) ASSERT_EQ(dd->invperm[dd->perm[i]], i);
    if (GetParam().blocks) {
        EXPECT_EQ(dd->perm[1], dd->perm[0] + 1);
        EXPECT_EQ(dd->perm[2], dd->perm[0] + 2);
    }
    for (auto &p : bdds) EXPECT_EQ(tableOf(p.first), p.second);
    for (auto &p : adds) EXPECT_EQ(valuesOf(p.first), p.second);
    tarnGarbageCollect(dd, 1);
}

INSTANTIATE_TEST_SUITE_P(
    Methods, ReorderStress,
    ::testing::Values(StressCase{TARN_REORDER_SIFT, false, "sift"},
                      StressCase{TARN_REORDER_SIFT, true, "siftBlocks"},
                      StressCase{TARN_REORDER_RANDOM, true, "randomBlocks"},
                      StressCase{TARN_REORDER_WINDOW3_CONVERGE, false, "window3Converge"},
                      StressCase{TARN_REORDER_WINDOW2, true, "window2Blocks"},
                      StressCase{TARN_REORDER_SIFT_CONVERGE, false, "siftConverge"},
                      // sparser subtables: the swaps resize levels at other node counts
                      StressCase{TARN_REORDER_SIFT, true, "siftBlocksOnePerBucket", 1},
                      StressCase{TARN_REORDER_WINDOW3_CONVERGE, false, "window3TwoPerBucket", 2}),
    [](const auto &info) { return std::string(info.param.name); });

}  // namespace
