// A truth-table oracle for BDDs over the variables 0 to 5 in their initial order (level = index).
// A function is a 64-bit table: bit a holds its value at the assignment a, whose bit i is the
// value of variable i. The oracle reads a BDD by walking it from the root for every assignment,
// and builds the BDD of a table by Shannon expansion straight on the unique table, so it shares
// nothing with the operations under test.
#pragma once

#include <cstdint>
#include <random>
#include <vector>

#include "fixture.h"

namespace oracle {

using Table = uint64_t;

constexpr int kVars = 6;
constexpr Table kTrue = ~Table{0};
constexpr Table kFalse = 0;

// The assignments where variable i is true.
constexpr Table variable(int i) {
    constexpr Table masks[kVars] = {0xAAAAAAAAAAAAAAAAull, 0xCCCCCCCCCCCCCCCCull,
                                    0xF0F0F0F0F0F0F0F0ull, 0xFF00FF00FF00FF00ull,
                                    0xFFFF0000FFFF0000ull, 0xFFFFFFFF00000000ull};
    return masks[i];
}

// The cofactors of a table at variable i, as tables that no longer depend on i.
inline Table positiveCofactor(Table t, int i) {
    const Table half = t & variable(i);
    return half | (half >> (1u << i));
}
inline Table negativeCofactor(Table t, int i) {
    const Table half = t & ~variable(i);
    return half | (half << (1u << i));
}

inline Table exists(Table t, Table cube) {
    for (int i = 0; i < kVars; i++) {
        if ((cube & ~variable(i)) == 0) t = positiveCofactor(t, i) | negativeCofactor(t, i);
    }
    return t;
}
inline Table forall(Table t, Table cube) { return ~exists(~t, cube); }

// The conjunction of the variables whose bits are set in vars.
inline Table cubeOf(unsigned vars) {
    Table t = kTrue;
    for (int i = 0; i < kVars; i++) {
        if (vars >> i & 1) t &= variable(i);
    }
    return t;
}

// The value of a BDD at one assignment: follow the variables' values down to the constant one,
// counting the complement marks met on the way.
inline bool eval(DdNode *f, unsigned assignment) {
    bool complemented = false;
    for (;;) {
        complemented ^= Tarn_IsComplement(f);
        const DdNode *n = Tarn_Regular(f);
        if (n->index == TARN_MAXINDEX) {
            EXPECT_EQ(n->value, 1.0) << "a BDD ends only in the constant one";
            return !complemented;
        }
        f = (assignment >> n->index & 1) ? n->T : n->E;
    }
}

inline Table tableOf(DdNode *f) {
    Table t = 0;
    for (unsigned a = 0; a < 64; a++) {
        if (eval(f, a)) t |= Table{1} << a;
    }
    return t;
}

// The BDD of a table, referenced once for the caller. Temporary results are referenced because
// any node request may collect.
inline DdNode *build(DdManager *dd, Table t, int top = 0) {
    if (t == kTrue) {
        Tarn_Ref(dd->one);
        return dd->one;
    }
    if (t == kFalse) {
        Tarn_Ref(dd->one);
        return Tarn_Not(dd->one);
    }
    DdNode *hi = build(dd, positiveCofactor(t, top), top + 1);
    DdNode *lo = build(dd, negativeCofactor(t, top), top + 1);
    DdNode *r = hi;
    if (hi != lo) {
        const bool c = Tarn_IsComplement(hi);
        r = Tarn_NotCond(tarnUniqueInter(dd, top, Tarn_Regular(hi), Tarn_NotCond(lo, c)), c);
    }
    Tarn_Ref(r);
    Tarn_DerefBdd(dd, hi);
    Tarn_DerefBdd(dd, lo);
    return r;
}

// Random functions whose support is a random subset of the variables, so that operands have
// different top variables and share structure.
class Generator {
public:
    explicit Generator(uint64_t seed) : rng_(seed) {}

    Table function() {
        Table t = rng_();
        // each variable is dropped with probability 1/4
        const unsigned dropped = static_cast<unsigned>(rng_() & rng_()) & 63;
        for (int i = 0; i < kVars; i++) {
            if (dropped >> i & 1) t = positiveCofactor(t, i);
        }
        return t;
    }
    unsigned below(unsigned n) { return static_cast<unsigned>(rng_() % n); }

private:
    std::mt19937_64 rng_;
};

}  // namespace oracle

// ---- fixture of the BDD operation tests --------------------------------------------------------

class BddTest : public ManagerTest {
protected:
    std::vector<DdNode *> held_;

    void TearDown() override {
        for (DdNode *f : held_) Tarn_DerefBdd(dd, f);
        ManagerTest::TearDown();
    }

    // The BDD of a table, held until the end of the test.
    DdNode *make(oracle::Table t) {
        held_.push_back(oracle::build(dd, t));
        return held_.back();
    }

    // An operation's result: present, with the expected truth table, and the one canonical
    // handle of that function.
    void expectFunction(DdNode *r, oracle::Table expected) {
        ASSERT_NE(r, nullptr) << "error code " << Tarn_ReadErrorCode(dd);
        Tarn_Ref(r);
        EXPECT_EQ(oracle::tableOf(r), expected);
        DdNode *canonical = oracle::build(dd, expected);
        EXPECT_EQ(r, canonical);
        Tarn_DerefBdd(dd, canonical);
        Tarn_DerefBdd(dd, r);
    }
};
