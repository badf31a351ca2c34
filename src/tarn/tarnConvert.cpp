// Conversions between the two kinds of diagram that share the node store: a BDD into the 0/1 ADD
// of the same function, and an ADD into a BDD or a 0/1 ADD by testing every leaf: nonzero, at or
// above a threshold, strictly above it, inside an interval, one bit of the leaf's integer part,
// and four threshold comparisons that keep the result an ADD.
//
// Thresholds, interval bounds and the bit number are interned as constant nodes first: the tests
// compare with the node's value, and the node keys the computed-table entries, so results for
// different bounds never mix. A NaN leaf fails every ordered comparison; each test is written so
// that this decides what a NaN leaf gives.
#include <cstdint>

#include "tarnInt.h"

namespace {

// ---- leaf tests --------------------------------------------------------------------------------

// The 32-bit integer of a value truncated toward zero; out of range and NaN give bit 31 alone.
int32_t truncatedInt(double v) {
    if (v > -2147483649.0 && v < 2147483648.0) return static_cast<int32_t>(v);
    return INT32_MIN;
}

bool atLeast(double v, double t) { return !(t > v); }      // v >= t; NaN passes
bool above(double v, double t) { return !(t >= v); }       // v > t; NaN passes
bool below(double v, double t) { return !(v >= t); }       // v < t; NaN passes
bool atMost(double v, double t) { return !(v > t); }       // v <= t; NaN passes
bool bitSet(double v, double i) {                          // bit i mod 32; NaN has bit 31 only
    const uint32_t bit = static_cast<uint32_t>(truncatedInt(i)) & 31;
    return (static_cast<uint32_t>(truncatedInt(v)) >> bit & 1) != 0;
}

// A leaf test with one bound node, memoized in the two-operand table under (f, bound).
struct BoundTest {
    TarnCacheTag op;
    bool (*test)(double v, double bound);
    DdNode *bound;

    bool passes(DdManager *, DdNode *leaf) const { return test(leaf->value, bound->value); }
    DdNode *lookup(DdManager *dd, DdNode *f) const { return tarnCacheLookup2(dd, op, f, bound); }
    void insert(DdManager *dd, DdNode *f, DdNode *r) const {
        tarnCacheInsert2(dd, op, f, bound, r);
    }
};

// The nonzero test, memoized in the one-operand table.
struct PatternTest {
    bool passes(DdManager *dd, DdNode *leaf) const { return leaf != dd->zero; }
    DdNode *lookup(DdManager *dd, DdNode *f) const {
        return tarnCacheLookup1(dd, TARN_OP_ADD_BDD_PATTERN, f);
    }
    void insert(DdManager *dd, DdNode *f, DdNode *r) const {
        tarnCacheInsert1(dd, TARN_OP_ADD_BDD_PATTERN, f, r);
    }
};

// lo <= v <= hi (NaN passes), memoized in the three-operand table under (f, lo, hi).
struct IntervalTest {
    DdNode *lo;
    DdNode *hi;

    bool passes(DdManager *, DdNode *leaf) const {
        return !(lo->value > leaf->value) && !(leaf->value > hi->value);
    }
    DdNode *lookup(DdManager *dd, DdNode *f) const {
        return tarnCacheLookup3(dd, TARN_ADD_BDD_INTERVAL_TAG, f, lo, hi);
    }
    void insert(DdManager *dd, DdNode *f, DdNode *r) const {
        tarnCacheInsert3(dd, TARN_ADD_BDD_INTERVAL_TAG, f, lo, hi, r);
    }
};

// The result kinds of a leaf test: a BDD (complement edges, a give-up check) or a 0/1 ADD.
struct BddResult {
    static constexpr bool givesUp = true;
    static DdNode *leaf(DdManager *dd, bool passes) { return tarnNotCond(dd->one, !passes); }
    static DdNode *node(DdManager *dd, uint32_t index, DdNode *t, DdNode *e) {
        return tarnBddMakeNode(dd, index, t, e);
    }
    static void release(DdManager *dd, DdNode *f) { tarnDerefBdd(dd, f); }
};

struct AddResult {
    static constexpr bool givesUp = false;
    static DdNode *leaf(DdManager *dd, bool passes) { return passes ? dd->one : dd->zero; }
    static DdNode *node(DdManager *dd, uint32_t index, DdNode *t, DdNode *e) {
        return tarnAddMakeNode(dd, index, t, e);
    }
    static void release(DdManager *dd, DdNode *f) { Tarn_RecursiveDeref(dd, f); }
};

template <class Result, class Test>
DdNode *leafTestRecur(DdManager *dd, DdNode *f, const Test &test);

// Interns the bound values as constant nodes, referenced while run(bounds) works with them.
template <size_t n, class Run>
DdNode *withBounds(DdManager *dd, const double (&values)[n], Run &&run) {
    DdNode *bounds[n];
    for (size_t i = 0; i < n; i++) {
        bounds[i] = tarnUniqueConst(dd, values[i]);
        if (bounds[i] == nullptr) {
            while (i > 0) Tarn_RecursiveDeref(dd, bounds[--i]);
            return nullptr;
        }
        tarnRef(bounds[i]);
    }
    DdNode *r = run(bounds);
    if (r != nullptr) tarnRef(r);
    for (DdNode *b : bounds) Tarn_RecursiveDeref(dd, b);
    if (r != nullptr) tarnDecRef(r);
    return r;
}

// A BDD leaf test with one bound.
DdNode *bddOfLeaves(DdManager *dd, DdNode *f, TarnCacheTag op, bool (*test)(double, double),
                    double bound) {
    return withBounds(dd, {bound}, [&](DdNode *const *b) {
        const BoundTest leafTest{op, test, b[0]};
        return tarnRestartLoop(dd, [&] { return leafTestRecur<BddResult>(dd, f, leafTest); });
    });
}

// A 0/1 ADD leaf test with one bound; these report no time-out of their own.
DdNode *addOfLeaves(DdManager *dd, DdNode *f, TarnCacheTag op, bool (*test)(double, double),
                    double bound) {
    return withBounds(dd, {bound}, [&](DdNode *const *b) {
        const BoundTest leafTest{op, test, b[0]};
        return tarnRestartLoopNoTimeout(dd,
                                        [&] { return leafTestRecur<AddResult>(dd, f, leafTest); });
    });
}

}  // namespace

// ---- public operations -------------------------------------------------------------------------

// Reports no time-out of its own.
DdNode *Tarn_BddToAdd(DdManager *dd, DdNode *f) {
    return tarnRestartLoopNoTimeout(dd, [&] { return tarnBddToAddRecur(dd, f); });
}

DdNode *Tarn_AddBddPattern(DdManager *dd, DdNode *f) {
    return tarnRestartLoop(dd, [&] { return tarnAddBddPatternRecur(dd, f); });
}

DdNode *Tarn_AddBddThreshold(DdManager *dd, DdNode *f, double t) {
    return bddOfLeaves(dd, f, TARN_OP_ADD_BDD_THRESHOLD, atLeast, t);
}

DdNode *Tarn_AddBddStrictThreshold(DdManager *dd, DdNode *f, double t) {
    return bddOfLeaves(dd, f, TARN_OP_ADD_BDD_STRICT_THRESHOLD, above, t);
}

DdNode *Tarn_AddBddInterval(DdManager *dd, DdNode *f, double lo, double hi) {
    return withBounds(dd, {lo, hi}, [&](DdNode *const *b) {
        const IntervalTest test{b[0], b[1]};
        return tarnRestartLoop(dd, [&] { return leafTestRecur<BddResult>(dd, f, test); });
    });
}

DdNode *Tarn_AddBddIthBit(DdManager *dd, DdNode *f, int i) {
    return bddOfLeaves(dd, f, TARN_OP_ADD_BDD_ITH_BIT, bitSet, static_cast<double>(i));
}

DdNode *Tarn_AddThresholdLess(DdManager *dd, DdNode *f, double t) {
    return addOfLeaves(dd, f, TARN_OP_ADD_THRESHOLD_LESS, below, t);
}

DdNode *Tarn_AddThresholdGreater(DdManager *dd, DdNode *f, double t) {
    return addOfLeaves(dd, f, TARN_OP_ADD_THRESHOLD_GREATER, above, t);
}

DdNode *Tarn_AddThresholdAtMost(DdManager *dd, DdNode *f, double t) {
    return addOfLeaves(dd, f, TARN_OP_ADD_THRESHOLD_AT_MOST, atMost, t);
}

DdNode *Tarn_AddThresholdAtLeast(DdManager *dd, DdNode *f, double t) {
    return addOfLeaves(dd, f, TARN_OP_ADD_THRESHOLD_AT_LEAST, atLeast, t);
}

// ---- recursive steps ---------------------------------------------------------------------------

DdNode *tarnBddToAddRecur(DdManager *dd, DdNode *f) {
    // terminal cases
    DdNode *F = tarnRegular(f);
    if (tarnIsConstantRegular(F)) return f == dd->one ? dd->one : dd->zero;

    // computed table: the key keeps f's complement mark
    DdNode *r = tarnCacheLookup1(dd, TARN_OP_BDD_TO_ADD, f);
    if (r != nullptr) return r;

    // give-up check
    if (__builtin_expect(tarnStepGivesUp(dd), 0)) return nullptr;

    // recurse (then-side, else-side) on the children as stored, holding temporary references
    DdNode *t = tarnBddToAddRecur(dd, F->T);
    if (t == nullptr) return nullptr;
    tarnRef(t);
    DdNode *e = tarnBddToAddRecur(dd, F->E);
    if (e == nullptr) {
        Tarn_RecursiveDeref(dd, t);
        return nullptr;
    }
    tarnRef(e);

    // build the node (the children of a BDD node differ), release temporaries
    r = tarnAddMakeNode(dd, F->index, t, e);
    if (r == nullptr) return nullptr;
    tarnDecRef(t);
    tarnDecRef(e);

    // a complemented f is the ADD complement of its node's ADD
    if (tarnIsComplement(f)) {
        tarnRef(r);
        DdNode *c = tarnAddCmplRecur(dd, r);
        if (c == nullptr) {
            Tarn_RecursiveDeref(dd, r);
            return nullptr;
        }
        tarnRef(c);
        Tarn_RecursiveDeref(dd, r);
        tarnDecRef(c);
        r = c;
    }

    // store in the computed table
    tarnCacheInsert1(dd, TARN_OP_BDD_TO_ADD, f, r);
    return r;
}

DdNode *tarnAddBddPatternRecur(DdManager *dd, DdNode *f) {
    return leafTestRecur<BddResult>(dd, f, PatternTest{});
}

namespace {

// The diagram of the leaves of f that pass the test, above the leaves shaped like f.
template <class Result, class Test>
DdNode *leafTestRecur(DdManager *dd, DdNode *f, const Test &test) {
    // terminal cases
    if (tarnIsConstantRegular(f)) return Result::leaf(dd, test.passes(dd, f));

    // computed table
    DdNode *r = test.lookup(dd, f);
    if (r != nullptr) return r;

    // give-up check (the 0/1 ADD results make none)
    if (Result::givesUp && __builtin_expect(tarnStepGivesUp(dd), 0)) return nullptr;

    // recurse (then-side, else-side), holding temporary references
    DdNode *t = leafTestRecur<Result>(dd, f->T, test);
    if (t == nullptr) return nullptr;
    tarnRef(t);
    DdNode *e = leafTestRecur<Result>(dd, f->E, test);
    if (e == nullptr) {
        Result::release(dd, t);
        return nullptr;
    }
    tarnRef(e);

    // build the node (complement rule), release temporaries
    r = Result::node(dd, f->index, t, e);
    if (r == nullptr) return nullptr;
    tarnDecRef(t);
    tarnDecRef(e);

    // store in the computed table
    test.insert(dd, f, r);
    return r;
}

}  // namespace
