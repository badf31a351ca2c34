// Controller determinization: the kept output for every input against a model of the choice rule,
// on BDDs and on ADDs.
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
// its leaf k is kept at the all-ones outputs.
Table keptModel(const Table &f, unsigned outputs) {
    std::vector<unsigned> outs;
    for (int i = 0; i < addoracle::kVars; i++) {
        if (outputs >> i & 1) outs.push_back(1u << i);
    }
    Table r{};
    for (unsigned in = 0; in < kAll; in++) {
        if ((in & outputs) != 0) continue;
        // f at the input with the outputs in `mask` fixed to `value`
        auto allows = [&](unsigned mask, unsigned value) {
            for (unsigned o = 0; o < kAll; o++) {
                if ((o & ~outputs) == 0 && (o & mask) == value && f[in | o] != 0) return true;
            }
            return false;
        };
        auto dependsOn = [&](unsigned w, unsigned mask, unsigned value) {
            for (unsigned o = 0; o < kAll; o++) {
                if ((o & ~outputs) != 0 || (o & mask) != value || (o & w) != 0) continue;
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
    // The positive cube of the variables whose bits are set: a BDD, or an ADD.
    DdNode *bddCube(unsigned vars) {
        Bits b = 0;
        for (unsigned a = 0; a < kAll; a++) b |= Bits{(a & vars) == vars} << a;
        return makeBdd(b);
    }
    DdNode *addCube(unsigned vars) { return make(tableOfBits(bitsOf(bddCube(vars)))); }
    static Bits bitsOf(DdNode *f) { return addoracle::bitsOf(f); }

    DdNode *determinizeBdd(DdNode *f, DdNode *cube) {
        return tarnRestartLoop(dd, [&] { return tarnBddDeterminizeRecur(dd, f, cube); });
    }
    DdNode *determinizeAdd(DdNode *f, DdNode *cube) {
        return tarnRestartLoop(dd, [&] { return tarnAddDeterminizeRecur(dd, f, cube); });
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
    // variable 0 is an input; the outputs are the last variables of the order
    const Bits x1 = 0xCCCC, x2 = 0xF0F0, x3 = 0xFF00, in = 0xAAAA;
    const struct {
        const char *name;
        Bits f;
        unsigned outputs;
        Bits expected;
    } cases[] = {
        {"a OR b gives a AND b", x2 | x3, 0b1100, x2 & x3},
        {"NOT a gives NOT a AND b", static_cast<Bits>(~x2), 0b1100, static_cast<Bits>(~x2 & x3)},
        {"a AND (b OR c) gives a AND NOT b AND c", x1 & (x2 | x3), 0b1110,
         static_cast<Bits>(x1 & ~x2 & x3)},
        {"one gives a AND b", 0xFFFF, 0b1100, x2 & x3},
        {"zero gives zero", 0, 0b1100, 0},
        {"the input picks different outputs", static_cast<Bits>((in & x2) | (~in & ~x2 & x3)),
         0b1100, static_cast<Bits>((in & x2 & x3) | (~in & ~x2 & x3))},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        expectBdd(determinizeBdd(makeBdd(c.f), bddCube(c.outputs)), c.expected);
        EXPECT_EQ(bitsOfTable(keptModel(tableOfBits(c.f), c.outputs)), c.expected) << "model";
        expectLeaves(determinizeAdd(make(tableOfBits(c.f)), addCube(c.outputs)),
                     tableOfBits(c.expected));
    }
}

TEST_F(DeterminizeTest, TheCubeOneGivesTheOperand) {
    DdNode *f = makeBdd(0x1234);
    EXPECT_EQ(determinizeBdd(f, one()), f);
    DdNode *g = make(tableOfBits(0x1234));
    EXPECT_EQ(determinizeAdd(g, one()), g);
}

TEST_F(DeterminizeTest, RandomRelationsKeepOneAllowedOutputPerInput) {
    addoracle::Generator gen(99, {0.0, 1.0});
    const unsigned outputSets[] = {0b1000, 0b1100, 0b1110, 0b1111};
    for (int round = 0; round < 60; round++) {
        const unsigned outputs = outputSets[round % 4];
        const Bits bits = gen.bits();
        const Table f = tableOfBits(bits);
        const Table expected = keptModel(f, outputs);
        SCOPED_TRACE("round " + std::to_string(round) + ", relation " + std::to_string(bits));
        expectOneOutputPerInput(f, expected, outputs);
        expectBdd(determinizeBdd(makeBdd(bits), bddCube(outputs)), bitsOfTable(expected));
        expectLeaves(determinizeAdd(make(f), addCube(outputs)), expected);
    }
}

TEST_F(DeterminizeTest, AnAddLeafWithoutOutputsIsKeptAtTheAllOnesOutputs) {
    // 3 where the input is 1 whatever the outputs; 2 at the outputs 01 where the input is 0
    Table f{};
    for (unsigned a = 0; a < kAll; a++) f[a] = (a & 1) ? 3 : ((a >> 2) == 1 ? 2 : 0);
    Table expected{};
    expected[0b1111] = expected[0b1101] = 3;
    expected[0b0100] = expected[0b0110] = 1;
    expectLeaves(determinizeAdd(make(f), addCube(0b1100)), expected);
    EXPECT_EQ(keptModel(f, 0b1100), expected) << "model";
}
