// A leaf-value oracle for ADDs (and a truth-table oracle for BDDs) over the variables 0 to 3 in
// their initial order (level = index). A function is a table with one entry per assignment; bit i
// of the assignment a is the value of variable i. The oracle reads a diagram by walking it from
// the root for every assignment, and builds the diagram of a table by Shannon expansion straight
// on the unique table, so it shares nothing with the operations under test.
#pragma once

#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "fixture.h"

namespace addoracle {

constexpr int kVars = 4;
constexpr unsigned kAssignments = 1u << kVars;

using Table = std::array<double, kAssignments>;
using Bits = uint32_t;  // a BDD's truth table: bit a is its value at the assignment a

constexpr double kInf = 1e302;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// The value a computed leaf ends up with in the constants table.
inline double canonical(double v) {
    if (v >= 1e151) return kInf;
    if (v <= -1e151) return -kInf;
    if (std::fabs(v) < 1e-12) return 0.0;
    return v;
}

// Two leaf values are the same constant: equal, or NaNs with the same bit pattern.
inline bool same(double a, double b) {
    if (std::isnan(a) || std::isnan(b)) return std::memcmp(&a, &b, sizeof a) == 0;
    return a == b;
}

// The leaf of an ADD at one assignment. ADDs have no complement marks.
inline double eval(DdNode *f, unsigned assignment) {
    for (;;) {
        EXPECT_FALSE(Tarn_IsComplement(f)) << "an ADD carries no complement mark";
        const DdNode *n = Tarn_Regular(f);
        if (n->index == TARN_MAXINDEX) return n->value;
        f = (assignment >> n->index & 1) ? n->T : n->E;
    }
}

inline Table tableOf(DdNode *f) {
    Table t{};
    for (unsigned a = 0; a < kAssignments; a++) t[a] = eval(f, a);
    return t;
}

// The value of a BDD at one assignment, counting the complement marks on the way to one.
inline bool evalBdd(DdNode *f, unsigned assignment) {
    bool complemented = false;
    for (;;) {
        complemented ^= Tarn_IsComplement(f);
        const DdNode *n = Tarn_Regular(f);
        if (n->index == TARN_MAXINDEX) return !complemented;
        f = (assignment >> n->index & 1) ? n->T : n->E;
    }
}

inline Bits bitsOf(DdNode *f) {
    Bits b = 0;
    for (unsigned a = 0; a < kAssignments; a++) b |= Bits{evalBdd(f, a)} << a;
    return b;
}

// The ADD of the leaves values[0..n) over the variables top.. (entry j: bit 0 of j is variable
// top), referenced once for the caller.
inline DdNode *buildLeaves(DdManager *dd, const double *values, unsigned n, int top) {
    bool constant = true;
    for (unsigned j = 1; j < n && constant; j++) constant = same(values[j], values[0]);
    if (constant) {
        DdNode *c = tarnUniqueConst(dd, values[0]);
        Tarn_Ref(c);
        return c;
    }
    std::vector<double> hi(n / 2), lo(n / 2);
    for (unsigned j = 0; j < n / 2; j++) {
        hi[j] = values[2 * j + 1];
        lo[j] = values[2 * j];
    }
    DdNode *t = buildLeaves(dd, hi.data(), n / 2, top + 1);
    DdNode *e = buildLeaves(dd, lo.data(), n / 2, top + 1);
    DdNode *r = t == e ? t : tarnUniqueInter(dd, top, t, e);
    Tarn_Ref(r);
    Tarn_RecursiveDeref(dd, t);
    Tarn_RecursiveDeref(dd, e);
    return r;
}

inline DdNode *build(DdManager *dd, const Table &t) {
    return buildLeaves(dd, t.data(), kAssignments, 0);
}

// The BDD of a truth table, referenced once for the caller.
inline DdNode *buildBdd(DdManager *dd, Bits bits) {
    Table t{};
    for (unsigned a = 0; a < kAssignments; a++) t[a] = (bits >> a & 1) ? 1.0 : 0.0;
    // Shannon expansion with the BDD rules: logical zero is the complement of one, and a
    // complemented then-child moves its mark to the node.
    struct Builder {
        DdManager *dd;
        DdNode *make(const double *v, unsigned n, int top) {
            bool constant = true;
            for (unsigned j = 1; j < n && constant; j++) constant = v[j] == v[0];
            if (constant) {
                DdNode *c = Tarn_NotCond(dd->one, v[0] == 0.0);
                Tarn_Ref(c);
                return c;
            }
            std::vector<double> hi(n / 2), lo(n / 2);
            for (unsigned j = 0; j < n / 2; j++) {
                hi[j] = v[2 * j + 1];
                lo[j] = v[2 * j];
            }
            DdNode *t = make(hi.data(), n / 2, top + 1);
            DdNode *e = make(lo.data(), n / 2, top + 1);
            DdNode *r = t;
            if (t != e) {
                const bool c = Tarn_IsComplement(t);
                r = Tarn_NotCond(tarnUniqueInter(dd, top, Tarn_Regular(t), Tarn_NotCond(e, c)), c);
            }
            Tarn_Ref(r);
            Tarn_DerefBdd(dd, t);
            Tarn_DerefBdd(dd, e);
            return r;
        }
    };
    return Builder{dd}.make(t.data(), kAssignments, 0);
}

// The cofactors of a table at variable i, as tables that no longer depend on i.
inline Table cofactor(const Table &t, int i, bool value) {
    Table r{};
    for (unsigned a = 0; a < kAssignments; a++) {
        r[a] = t[value ? (a | 1u << i) : (a & ~(1u << i))];
    }
    return r;
}

// Random tables over a pool of leaf values; a random set of variables is dropped so that operands
// have different supports and top variables.
class Generator {
public:
    Generator(uint64_t seed, std::vector<double> pool) : rng_(seed), pool_(std::move(pool)) {}

    Table table() {
        Table t{};
        for (double &v : t) v = pool_[below(static_cast<unsigned>(pool_.size()))];
        for (int i = 0; i < kVars; i++) {
            if (below(3) == 0) t = cofactor(t, i, below(2) != 0);
        }
        return t;
    }
    Table zeroOne() {
        Table t{};
        for (double &v : t) v = below(2);
        for (int i = 0; i < kVars; i++) {
            if (below(3) == 0) t = cofactor(t, i, below(2) != 0);
        }
        return t;
    }
    Bits bits() { return static_cast<Bits>(rng_()) & ((Bits{1} << kAssignments) - 1); }
    unsigned below(unsigned n) { return static_cast<unsigned>(rng_() % n); }
    const std::vector<double> &pool() const { return pool_; }

private:
    std::mt19937_64 rng_;
    std::vector<double> pool_;
};

// Scalar models of the ADD operators' rules at two leaves: an apply gives this leaf at every
// assignment. Two constants are the same node exactly when their values are the same.
using Model = double (*)(double a, double b);

namespace model {

inline double plus(double a, double b) {
    if (a == 0.0) return b;
    if (b == 0.0) return a;
    return canonical(b + a);
}
inline double times(double a, double b) {
    if (a == 0.0 || b == 0.0) return 0.0;
    if (a == 1.0) return b;
    if (b == 1.0) return a;
    return canonical(b * a);
}
inline double minus(double a, double b) {
    if (same(a, b)) return 0.0;
    if (a == 0.0) return canonical(-b);
    if (b == 0.0) return a;
    return canonical(a - b);
}
inline double divide(double a, double b) {
    if (a == 0.0) return 0.0;
    if (b == 1.0) return a;
    return canonical(a / b);
}
inline double maximum(double a, double b) {
    if (same(a, b)) return a;
    if (a == -kInf) return b;
    if (b == -kInf) return a;
    return a >= b ? a : b;
}
inline double minimum(double a, double b) {
    if (a == kInf) return b;
    if (b == kInf) return a;
    if (same(a, b)) return a;
    return b >= a ? a : b;
}
inline double logicOr(double a, double b) { return a == 1.0 || b == 1.0 ? 1.0 : b; }
inline double nand(double a, double b) { return a == 0.0 || b == 0.0 ? 1.0 : 0.0; }
inline double nor(double a, double b) { return a == 1.0 || b == 1.0 ? 0.0 : 1.0; }
inline double logicXor(double a, double b) {
    if (same(a, b)) return 0.0;
    return (a == 1.0 && b == 0.0) || (a == 0.0 && b == 1.0) ? 1.0 : 0.0;
}
inline double xnor(double a, double b) { return same(a, b) ? 1.0 : 0.0; }
inline double greaterThan(double a, double b) {
    if (same(a, b) || b == kInf) return 0.0;
    return a > b ? 1.0 : 0.0;
}
inline double energyMinus(double a, double b) {
    if (same(a, b) || b == kInf) return 0.0;
    if (b == -kInf) return kInf;
    double d = a - b;
    if (!(d > 0.0)) d = 0.0;
    const double cap = ENERGY_CAP(0.0, false, false);
    if (cap >= 0.0 && d > cap) return kInf;
    return canonical(d);
}
inline double energyPlus(double a, double b) {
    if (a == 0.0) return b;
    if (b == 0.0) return a;
    if (a == kInf && b == -kInf) return 0.0;
    if (a == -kInf) return b == kInf ? 0.0 : -kInf;
    if (b == -kInf) return -kInf;
    if (a == kInf || b == kInf) return kInf;
    return canonical(b + a);
}

}  // namespace model

// Leaf values that exercise the infinity and NaN conventions.
inline std::vector<double> fullPool() { return {0.0, 1.0, 2.0, -3.0, 0.5, 7.0, kInf, -kInf, kNaN}; }
inline std::vector<double> nanFreePool() { return {0.0, 1.0, 2.0, -3.0, 0.5, 7.0, kInf, -kInf}; }

}  // namespace addoracle

// ---- fixture of the ADD operation tests --------------------------------------------------------

class AddTest : public ManagerTest {
protected:
    std::vector<DdNode *> held_;

    void TearDown() override {
        for (DdNode *f : held_) Tarn_RecursiveDeref(dd, f);
        ManagerTest::TearDown();
    }

    // Diagrams held until the end of the test.
    DdNode *make(const addoracle::Table &t) { return hold(addoracle::build(dd, t)); }
    DdNode *makeBdd(addoracle::Bits bits) { return hold(addoracle::buildBdd(dd, bits)); }
    DdNode *constant(double v) {
        DdNode *c = tarnUniqueConst(dd, v);
        Tarn_Ref(c);
        return hold(c);
    }
    DdNode *addVar(int i) {
        DdNode *x = Tarn_AddIthVar(dd, i);
        Tarn_Ref(x);
        return hold(x);
    }
    DdNode *hold(DdNode *f) {
        held_.push_back(f);
        return f;
    }

    // An operation's result: present, with the expected leaf at every assignment, and the one
    // canonical ADD of those leaves.
    void expectLeaves(DdNode *r, const addoracle::Table &expected) {
        ASSERT_NE(r, nullptr) << "error code " << Tarn_ReadErrorCode(dd);
        Tarn_Ref(r);
        const addoracle::Table actual = addoracle::tableOf(r);
        for (unsigned a = 0; a < addoracle::kAssignments; a++) {
            EXPECT_TRUE(addoracle::same(actual[a], expected[a]))
                << "assignment " << a << ": leaf " << actual[a] << ", expected " << expected[a];
        }
        DdNode *canonical = addoracle::build(dd, expected);
        EXPECT_EQ(r, canonical) << "the result is not the canonical ADD of its leaves";
        Tarn_RecursiveDeref(dd, canonical);
        Tarn_RecursiveDeref(dd, r);
    }

    // A BDD result: present, with the expected truth table, and the one canonical handle.
    void expectBdd(DdNode *r, addoracle::Bits expected) {
        ASSERT_NE(r, nullptr) << "error code " << Tarn_ReadErrorCode(dd);
        Tarn_Ref(r);
        EXPECT_EQ(addoracle::bitsOf(r), expected);
        DdNode *canonical = addoracle::buildBdd(dd, expected);
        EXPECT_EQ(r, canonical) << "the result is not the canonical BDD of its truth table";
        Tarn_DerefBdd(dd, canonical);
        Tarn_RecursiveDeref(dd, r);
    }
};
