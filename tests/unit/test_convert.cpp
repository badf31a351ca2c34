// Conversions between ADDs and BDDs: the 0/1 ADD of a BDD, and the BDDs and 0/1 ADDs of the
// leaves that pass a test, with the bound acting as the value of its constant node.
#include <cmath>
#include <functional>

#include "add_oracle.h"

using addoracle::Bits;
using addoracle::kInf;
using addoracle::kNaN;
using addoracle::Table;

namespace {

// The 32-bit integer part of a leaf; out of range and NaN are -2^31 (bit 31 alone).
uint32_t integerPart(double v) {
    if (std::isnan(v) || v <= -2147483649.0 || v >= 2147483648.0) return 0x80000000u;
    return static_cast<uint32_t>(static_cast<int64_t>(std::trunc(v)));
}

using Test = std::function<bool(double leaf)>;

Bits passing(const Table &t, const Test &test) {
    Bits b = 0;
    for (unsigned a = 0; a < addoracle::kAssignments; a++) b |= Bits{test(t[a])} << a;
    return b;
}

Table zeroOne(Bits b) {
    Table t{};
    for (unsigned a = 0; a < addoracle::kAssignments; a++) t[a] = b >> a & 1;
    return t;
}

// A conversion with one bound, the bound's value as its constant node has it, and the model.
struct BoundConversion {
    const char *name;
    DdNode *(*convert)(DdManager *, DdNode *, double);
    bool (*passes)(double v, double t);
    bool bddResult;
};

const BoundConversion kBoundConversions[] = {
    {"threshold", Tarn_AddBddThreshold, [](double v, double t) { return !(t > v); }, true},
    {"strict threshold", Tarn_AddBddStrictThreshold, [](double v, double t) { return !(t >= v); },
     true},
    {"less", Tarn_AddThresholdLess, [](double v, double t) { return !(v >= t); }, false},
    {"greater", Tarn_AddThresholdGreater, [](double v, double t) { return !(t >= v); }, false},
    {"at most", Tarn_AddThresholdAtMost, [](double v, double t) { return !(v > t); }, false},
    {"at least", Tarn_AddThresholdAtLeast, [](double v, double t) { return !(t > v); }, false},
};

}  // namespace

TEST_F(AddTest, BddToAddKeepsTheFunction) {
    EXPECT_EQ(Tarn_BddToAdd(dd, dd->one), dd->one);
    EXPECT_EQ(Tarn_BddToAdd(dd, Tarn_Not(dd->one)), dd->zero);
    expectLeaves(Tarn_BddToAdd(dd, Tarn_Not(Tarn_BddIthVar(dd, 0))),
                 {1, 0, 1, 0, 1, 0, 1, 0, 1, 0, 1, 0, 1, 0, 1, 0});
    addoracle::Generator gen(31, {});
    for (int round = 0; round < 40; round++) {
        const Bits bits = gen.bits();
        DdNode *f = makeBdd(bits);
        DdNode *add = Tarn_BddToAdd(dd, f);
        expectLeaves(add, zeroOne(bits));
        Tarn_Ref(add);
        EXPECT_EQ(Tarn_AddBddPattern(dd, add), f) << "round " << round;
        Tarn_RecursiveDeref(dd, add);
    }
}

TEST_F(AddTest, BddLeafTestsAtTheBoundValue) {
    DdNode *f = make({5, 4, kNaN, 6, 5, 4, kNaN, 6, 5, 4, kNaN, 6, 5, 4, kNaN, 6});
    const Bits leaf5 = 0x1111, nan = 0x4444, leaf6 = 0x8888;  // leaf 4 at 0x2222
    expectBdd(Tarn_AddBddThreshold(dd, f, 5), leaf5 | nan | leaf6);
    expectBdd(Tarn_AddBddStrictThreshold(dd, f, 5), nan | leaf6);
    expectBdd(Tarn_AddBddInterval(dd, f, 5, 5), leaf5 | nan);
    expectBdd(Tarn_AddBddInterval(dd, f, 6, 4), nan);
    expectBdd(Tarn_AddBddPattern(dd, f), 0xFFFF);

    // 1e200 acts as plus infinity, 1e-13 as zero
    DdNode *g = make({kInf, 1e150, 0, 1e-12, kInf, 1e150, 0, 1e-12, kInf, 1e150, 0, 1e-12, kInf,
                      1e150, 0, 1e-12});
    expectBdd(Tarn_AddBddThreshold(dd, g, 1e200), 0x1111);
    expectBdd(Tarn_AddBddStrictThreshold(dd, g, 1e-13), 0x3333 | 0x8888);
}

TEST_F(AddTest, BitTestReadsTheTruncatedInteger) {
    DdNode *f = make({3.7, -3.7, kInf, kNaN, 2, 3.7, -3.7, kInf, kNaN, 2, 3.7, 3.7, 3.7, 3.7, 2,
                      2});
    const Table t = addoracle::tableOf(f);
    for (int i : {0, 1, 2, 31, 33, -1, 63}) {
        const Bits expected =
            passing(t, [i](double v) { return (integerPart(v) >> (i & 31) & 1) != 0; });
        SCOPED_TRACE(testing::Message() << "bit " << i);
        expectBdd(Tarn_AddBddIthBit(dd, f, i), expected);
    }
    EXPECT_EQ(Tarn_AddBddIthBit(dd, f, 33), Tarn_AddBddIthBit(dd, f, 1));
    DdNode *inf = constant(kInf);
    for (int i = 0; i < 32; i++) {
        EXPECT_EQ(Tarn_AddBddIthBit(dd, inf, i), Tarn_NotCond(dd->one, i != 31)) << "bit " << i;
    }
}

// Several bounds run on the same ADDs, so a result kept under another bound would show.
TEST_F(AddTest, RandomLeafTestsMatchTheModelAtEveryAssignment) {
    addoracle::Generator gen(32, addoracle::fullPool());
    const double bounds[] = {0, 1, 2, -3, 0.5, 7, kInf, -kInf, 1e200, 1e-13, 4.25};
    for (int round = 0; round < 15; round++) {
        const Table t = gen.table();
        DdNode *f = make(t);
        for (double bound : bounds) {
            const double b = addoracle::canonical(bound);
            for (const BoundConversion &c : kBoundConversions) {
                SCOPED_TRACE(testing::Message() << c.name << " " << bound << ", round " << round);
                const Bits expected = passing(t, [&](double v) { return c.passes(v, b); });
                if (c.bddResult) {
                    expectBdd(c.convert(dd, f, bound), expected);
                } else {
                    expectLeaves(c.convert(dd, f, bound), zeroOne(expected));
                }
            }
            for (double hi : bounds) {
                const double h = addoracle::canonical(hi);
                SCOPED_TRACE(testing::Message() << "interval " << bound << " " << hi);
                expectBdd(Tarn_AddBddInterval(dd, f, bound, hi),
                          passing(t, [&](double v) { return !(b > v) && !(v > h); }));
            }
        }
        expectBdd(Tarn_AddBddPattern(dd, f), passing(t, [](double v) { return v != 0.0; }));
    }
}

TEST_F(AddTest, LessAndAtLeastAreComplementaryOffNaN) {
    addoracle::Generator gen(33, addoracle::nanFreePool());
    for (int round = 0; round < 20; round++) {
        DdNode *f = make(gen.table());
        DdNode *less = hold(Tarn_AddThresholdLess(dd, f, 2.0));
        Tarn_Ref(less);
        DdNode *atLeast = hold(Tarn_AddThresholdAtLeast(dd, f, 2.0));
        Tarn_Ref(atLeast);
        EXPECT_EQ(Tarn_AddCmpl(dd, less), atLeast) << "round " << round;
    }
}
