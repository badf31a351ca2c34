// Controller determinization: the kept output for every input against a model of the choice rule,
// on BDDs and on ADDs.
#include <algorithm>
#include <string>
#include <vector>

#include "add_oracle.h"

using addoracle::Bits;
using addoracle::Table;

namespace {

constexpr unsigned kAll = addoracle::kAssignments;

// The outputs (bits of `outputs`) kept for every input by the choice rule, the outputs sitting
// below the inputs in increasing index order: the outputs above the first one that f depends on
// are 1; that one is 1 when f allows it; every later output that the rest depends on takes 0 when
// the rest allows it, else 1; an output it does not depend on is 1. Where f depends on no output
// its leaf k is kept at the all-ones outputs. f is a table over n variables (entry a: bit i of a
// is variable i).
std::vector<double> keptModel(const std::vector<double> &f, int n, unsigned outputs) {
    const unsigned all = 1u << n;
    std::vector<unsigned> outs;
    for (int i = 0; i < n; i++) {
        if (outputs >> i & 1) outs.push_back(1u << i);
    }
    // the assignments of the outputs alone
    std::vector<unsigned> outAssignments;
    for (unsigned o = 0; o < all; o++) {
        if ((o & ~outputs) == 0) outAssignments.push_back(o);
    }
    std::vector<double> r(all, 0.0);
    for (unsigned in = 0; in < all; in++) {
        if ((in & outputs) != 0) continue;
        // f at the input with the outputs in `mask` fixed to `value`
        auto allows = [&](unsigned mask, unsigned value) {
            for (unsigned o : outAssignments) {
                if ((o & mask) == value && f[in | o] != 0) return true;
            }
            return false;
        };
        auto dependsOn = [&](unsigned w, unsigned mask, unsigned value) {
            for (unsigned o : outAssignments) {
                if ((o & mask) != value || (o & w) != 0) continue;
                if (f[in | o] != f[in | o | w]) return true;
            }
            return false;
        };
        if (!allows(0, 0)) continue;
        unsigned mask = 0, value = 0;
        size_t k = 0;
        while (k < outs.size() && !dependsOn(outs[k], 0, 0)) {
            mask |= outs[k];
            value |= outs[k];
            k++;
        }
        if (k == outs.size()) {
            r[in | outputs] = f[in];
            continue;
        }
        mask |= outs[k];
        if (allows(mask, value | outs[k])) value |= outs[k];
        for (k++; k < outs.size(); k++) {
            const unsigned w = outs[k];
            const bool tested = dependsOn(w, mask, value);
            mask |= w;
            if (!tested || !allows(mask, value)) value |= w;
        }
        r[in | value] = 1;
    }
    return r;
}

Table keptModel(const Table &f, unsigned outputs) {
    const std::vector<double> r =
        keptModel(std::vector<double>(f.begin(), f.end()), addoracle::kVars, outputs);
    Table t{};
    std::copy(r.begin(), r.end(), t.begin());
    return t;
}

Table tableOfBits(Bits b) {
    Table t{};
    for (unsigned a = 0; a < kAll; a++) t[a] = b >> a & 1;
    return t;
}

Bits bitsOfTable(const Table &t) {
    Bits b = 0;
    for (unsigned a = 0; a < kAll; a++) b |= Bits{t[a] != 0} << a;
    return b;
}

class DeterminizeTest : public AddTest {
protected:
    // Without an automatic method the order that the operation leaves stays as it is.
    void SetUp() override {
        AddTest::SetUp();
        dd->autoReorderMethod = TARN_REORDER_NONE;
    }

    // The positive cube of the variables whose bits are set: a BDD, or an ADD.
    DdNode *bddCube(unsigned vars) {
        Bits b = 0;
        for (unsigned a = 0; a < kAll; a++) b |= Bits{(a & vars) == vars} << a;
        return makeBdd(b);
    }
    DdNode *addCube(unsigned vars) { return make(tableOfBits(bitsOf(bddCube(vars)))); }
    static Bits bitsOf(DdNode *f) { return addoracle::bitsOf(f); }

    // A public operation's result, held; the outputs must then sit below the inputs, each part in
    // increasing index order. The order is set back to index order afterwards, the order that the
    // oracle builds its diagrams in.
    DdNode *determinize(DdNode *(*op)(DdManager *, DdNode *, DdNode *), DdNode *f, DdNode *cube,
                        unsigned outputs) {
        DdNode *r = op(dd, f, cube);
        if (r == nullptr) return nullptr;
        Tarn_Ref(r);
        hold(r);
        std::vector<int> expected;
        for (int pass = 0; pass < 2; pass++) {
            for (int i = 0; i < Tarn_ReadSize(dd); i++) {
                if ((outputs >> i & 1) == static_cast<unsigned>(pass)) expected.push_back(i);
            }
        }
        for (int level = 0; level < Tarn_ReadSize(dd); level++) {
            EXPECT_EQ(Tarn_ReadInvPerm(dd, level), expected[level]) << "level " << level;
        }
        setIndexOrder();
        return r;
    }
    DdNode *determinizeBdd(DdNode *f, DdNode *cube, unsigned outputs) {
        return determinize(Tarn_BddDeterminize, f, cube, outputs);
    }
    DdNode *determinizeAdd(DdNode *f, DdNode *cube, unsigned outputs) {
        return determinize(Tarn_AddDeterminize, f, cube, outputs);
    }
    void setIndexOrder() {
        std::vector<int> order(static_cast<size_t>(Tarn_ReadSize(dd)));
        for (size_t i = 0; i < order.size(); i++) order[i] = static_cast<int>(i);
        EXPECT_EQ(Tarn_SetOrder(dd, order.data()), 1);
    }

    // Exactly one output per input that f allows, and one that f allows; none elsewhere.
    void expectOneOutputPerInput(const Table &f, const Table &r, unsigned outputs) {
        for (unsigned in = 0; in < kAll; in++) {
            if ((in & outputs) != 0) continue;
            int allowed = 0, kept = 0;
            for (unsigned o = 0; o < kAll; o++) {
                if ((o & ~outputs) != 0) continue;
                allowed += f[in | o] != 0;
                if (r[in | o] != 0) {
                    kept++;
                    EXPECT_NE(f[in | o], 0) << "input " << in << ": output " << o << " not allowed";
                }
            }
            EXPECT_EQ(kept, allowed > 0 ? 1 : 0) << "input " << in;
        }
    }
};

}  // namespace

TEST_F(DeterminizeTest, TheChoiceRuleOnSmallRelations) {
    const Bits x0 = 0xAAAA, x1 = 0xCCCC, x2 = 0xF0F0, x3 = 0xFF00;
    const struct {
        const char *name;
        Bits f;
        unsigned outputs;
        Bits expected;
    } cases[] = {
        {"a OR b gives a AND b", x0 | x1, 0b0011, x0 & x1},
        {"NOT a gives NOT a AND b", static_cast<Bits>(~x0), 0b0011, static_cast<Bits>(~x0 & x1)},
        {"a AND (b OR c) gives a AND NOT b AND c", x0 & (x1 | x2), 0b0111,
         static_cast<Bits>(x0 & ~x1 & x2)},
        {"one gives a AND b", 0xFFFF, 0b0011, x0 & x1},
        {"zero gives zero", 0, 0b0011, 0},
        {"the input picks different outputs", static_cast<Bits>((x3 & x0) | (~x3 & ~x0 & x1)),
         0b0011, static_cast<Bits>((x3 & x0 & x1) | (~x3 & ~x0 & x1))},
        {"outputs between inputs", static_cast<Bits>(~(x1 ^ x0) & (x3 | x2)), 0b1010,
         static_cast<Bits>(~(x1 ^ x0) & x3)},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        expectBdd(determinizeBdd(makeBdd(c.f), bddCube(c.outputs), c.outputs), c.expected);
        EXPECT_EQ(bitsOfTable(keptModel(tableOfBits(c.f), c.outputs)), c.expected) << "model";
        expectLeaves(determinizeAdd(make(tableOfBits(c.f)), addCube(c.outputs), c.outputs),
                     tableOfBits(c.expected));
    }
}

TEST_F(DeterminizeTest, TheCubeOneGivesTheOperandAndKeepsTheOrder) {
    DdNode *f = makeBdd(0x1234);
    DdNode *g = make(tableOfBits(0x1234));
    const int order[] = {3, 1, 2, 0};
    ASSERT_EQ(Tarn_SetOrder(dd, order), 1);
    EXPECT_EQ(Tarn_BddDeterminize(dd, f, one()), f);
    EXPECT_EQ(Tarn_AddDeterminize(dd, g, one()), g);
    for (int level = 0; level < 4; level++) EXPECT_EQ(Tarn_ReadInvPerm(dd, level), order[level]);
    setIndexOrder();
}

TEST_F(DeterminizeTest, RandomRelationsKeepOneAllowedOutputPerInput) {
    addoracle::Generator gen(99, {0.0, 1.0});
    for (int round = 0; round < 60; round++) {
        const unsigned outputs = 1 + round % 15;
        const Bits bits = gen.bits();
        const Table f = tableOfBits(bits);
        const Table expected = keptModel(f, outputs);
        SCOPED_TRACE("round " + std::to_string(round) + ", relation " + std::to_string(bits));
        expectOneOutputPerInput(f, expected, outputs);
        expectBdd(determinizeBdd(makeBdd(bits), bddCube(outputs), outputs), bitsOfTable(expected));
        expectLeaves(determinizeAdd(make(f), addCube(outputs), outputs), expected);
    }
}

TEST_F(DeterminizeTest, AnAddLeafWithoutOutputsIsKeptAtTheAllOnesOutputs) {
    // 3 where the input is 1 whatever the outputs; 2 at the outputs 01 where the input is 0
    Table f{};
    for (unsigned a = 0; a < kAll; a++) f[a] = (a & 1) ? 3 : ((a >> 2) == 1 ? 2 : 0);
    Table expected{};
    expected[0b1111] = expected[0b1101] = 3;
    expected[0b0100] = expected[0b0110] = 1;
    expectLeaves(determinizeAdd(make(f), addCube(0b1100), 0b1100), expected);
    EXPECT_EQ(keptModel(f, 0b1100), expected) << "model";
}

TEST_F(DeterminizeTest, AnythingButACubeIsRefused) {
    const Bits x0 = 0xAAAA, x1 = 0xCCCC;
    DdNode *f = makeBdd(x0 | x1);
    DdNode *g = make(tableOfBits(x0 | x1));
    const struct {
        const char *name;
        bool isAdd;
        DdNode *cube;
    } cases[] = {
        {"complemented BDD cube", false, tarnNot(bddCube(0b0011))},
        {"negative literal", false, makeBdd(static_cast<Bits>(~x0 & x1))},
        {"disjunction", false, makeBdd(x0 | x1)},
        {"ADD with a negative literal", true, make(tableOfBits(static_cast<Bits>(~x0 & x1)))},
        {"ADD constant 2", true, constant(2)},
        {"BDD cube given as ADD cube", true, bddCube(0b0011)},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        dd->errorCode = TARN_TIME_OUT;  // the refusal leaves the code as it was
        ErrStream err(dd);
        DdNode *r = c.isAdd ? Tarn_AddDeterminize(dd, g, c.cube) : Tarn_BddDeterminize(dd, f, c.cube);
        EXPECT_EQ(r, nullptr);
        EXPECT_EQ(err.text(), "Error:  Can only abstract cubes");
        EXPECT_EQ(Tarn_ReadErrorCode(dd), TARN_TIME_OUT);
        for (int level = 0; level < 4; level++) EXPECT_EQ(Tarn_ReadInvPerm(dd, level), level);
    }
}

TEST_F(DeterminizeTest, ReorderingsDuringTheStepKeepTheChoice) {
    // six inputs (even indices) and six outputs (odd indices); output k may copy input k or
    // input k+1. Interleaved, the relation is small; with the outputs last it is not, so the
    // step grows the table past the automatic reordering's threshold again and again.
    constexpr int n = 12;
    constexpr unsigned outputs = 0xAAA;
    const unsigned base = Tarn_ReadNodeCount(dd);
    DdNode *f = one();
    Tarn_Ref(f);
    DdNode *cube = one();
    Tarn_Ref(cube);
    for (int k = 0; k < n / 2; k++) {
        DdNode *o = var(2 * k + 1);
        DdNode *copyThis = hold(Tarn_BddXnor(dd, o, var(2 * k)));
        Tarn_Ref(copyThis);
        DdNode *copyNext = hold(Tarn_BddXnor(dd, o, var((2 * k + 2) % n)));
        Tarn_Ref(copyNext);
        DdNode *either = hold(Tarn_BddOr(dd, copyThis, copyNext));
        Tarn_Ref(either);
        DdNode *g = Tarn_BddAnd(dd, f, either);
        Tarn_Ref(g);
        Tarn_RecursiveDeref(dd, f);
        f = g;
        DdNode *c = Tarn_BddAnd(dd, cube, o);
        Tarn_Ref(c);
        Tarn_RecursiveDeref(dd, cube);
        cube = c;
    }
    std::vector<double> table(1u << n);
    for (unsigned a = 0; a < table.size(); a++) table[a] = addoracle::evalBdd(f, a);
    const std::vector<double> expected = keptModel(table, n, outputs);

    Tarn_EnableAutoReorder(dd, TARN_REORDER_SIFT);
    const std::vector<int> order = {0, 2, 4, 6, 8, 10, 1, 3, 5, 7, 9, 11};
    dd->reorderThreshold = dd->keys - dd->dead + 5;
    const int reorderings = dd->reorderCount;
    DdNode *r = Tarn_BddDeterminize(dd, f, cube);
    ASSERT_NE(r, nullptr);
    Tarn_Ref(r);
    EXPECT_GT(dd->reorderCount, reorderings + 1) << "reorderings inside the step and after it";
    bool outputsLast = true;
    for (int level = 0; level < n; level++) outputsLast &= Tarn_ReadInvPerm(dd, level) == order[level];
    EXPECT_FALSE(outputsLast) << "sifting runs once more on the result";
    for (unsigned a = 0; a < table.size(); a++) {
        ASSERT_EQ(addoracle::evalBdd(r, a), expected[a] != 0) << "assignment " << a;
    }
    Tarn_RecursiveDeref(dd, r);
    Tarn_RecursiveDeref(dd, f);
    Tarn_RecursiveDeref(dd, cube);
    for (DdNode *h : held_) Tarn_RecursiveDeref(dd, h);
    held_.clear();
    EXPECT_EQ(Tarn_ReadNodeCount(dd), base) << "no reference left behind";
}
