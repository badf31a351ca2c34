// ADD operations on one diagram that are not written as an apply: the complement of a 0/1 ADD,
// additive negation, the largest and the smallest leaf; the ADD if-then-else and the ADD cube.
#include "tarnInt.h"

namespace {

// The restart loop of a one-operand step.
inline DdNode *restartOneOperand(DdManager *dd, DdNode *(*step)(DdManager *, DdNode *), DdNode *f) {
    return tarnRestartLoop(dd, [&] { return step(dd, f); });
}

// The leaf that a one-operand step gives a constant: the complement or the negation.
DdNode *complementOfLeaf(DdManager *dd, DdNode *f) { return f == dd->zero ? dd->one : dd->zero; }
DdNode *negationOfLeaf(DdManager *dd, DdNode *f) { return tarnUniqueConst(dd, -f->value); }

template <TarnCacheTag op, DdNode *(*leaf)(DdManager *, DdNode *)>
DdNode *leafMapRecur(DdManager *dd, DdNode *f);

// One search step for the extreme leaf. Better(a, b) tells whether leaf a is kept over leaf b, the
// then-side winning ties; the search stops beside a branch that reached the extreme constant.
template <TarnCacheTag op, bool (*better)(double, double)>
DdNode *findExtreme(DdManager *dd, DdNode *f, DdNode *extreme);

bool atLeast(double a, double b) { return a >= b; }
bool atMost(double a, double b) { return b >= a; }

}  // namespace

// ---- public operations -------------------------------------------------------------------------

DdNode *Tarn_AddCmpl(DdManager *dd, DdNode *f) {
    return restartOneOperand(dd, tarnAddCmplRecur, f);
}

DdNode *Tarn_AddNegate(DdManager *dd, DdNode *f) {
    return restartOneOperand(dd, tarnAddNegateRecur, f);
}

// Builds no node, so no reordering can interrupt it.
DdNode *Tarn_AddFindMax(DdManager *dd, DdNode *f) {
    return findExtreme<TARN_OP_ADD_FIND_MAX, atLeast>(dd, f, dd->plusInfinity);
}

DdNode *Tarn_AddFindMin(DdManager *dd, DdNode *f) {
    return findExtreme<TARN_OP_ADD_FIND_MIN, atMost>(dd, f, dd->minusInfinity);
}

DdNode *Tarn_AddIte(DdManager *dd, DdNode *f, DdNode *g, DdNode *h) {
    return tarnRestartLoop(dd, [&] { return tarnAddIteRecur(dd, f, g, h); });
}

// The product of the projection functions vars[0..n-1], each replaced by its complement where
// phases[i] is 0 (phases may be null: all positive). Built from the last variable up, so that
// every if-then-else puts one variable above the cube built so far.
DdNode *Tarn_AddComputeCube(DdManager *dd, DdNode **vars, const int *phases, int n) {
    DdNode *r = dd->one;
    tarnRef(r);
    for (int i = n - 1; i >= 0; i--) {
        const bool positive = phases == nullptr || phases[i] != 0;
        DdNode *s = positive ? Tarn_AddIte(dd, vars[i], r, dd->zero)
                             : Tarn_AddIte(dd, vars[i], dd->zero, r);
        if (s == nullptr) {
            Tarn_RecursiveDeref(dd, r);
            return nullptr;
        }
        tarnRef(s);
        Tarn_RecursiveDeref(dd, r);
        r = s;
    }
    tarnDecRef(r);
    return r;
}

// ---- recursive steps ---------------------------------------------------------------------------

DdNode *tarnAddCmplRecur(DdManager *dd, DdNode *f) {
    return leafMapRecur<TARN_OP_ADD_CMPL, complementOfLeaf>(dd, f);
}

DdNode *tarnAddNegateRecur(DdManager *dd, DdNode *f) {
    return leafMapRecur<TARN_OP_ADD_NEGATE, negationOfLeaf>(dd, f);
}

DdNode *tarnAddIteRecur(DdManager *dd, DdNode *f, DdNode *g, DdNode *h) {
    DdNode *const one = dd->one;
    DdNode *const zero = dd->zero;
    // terminal cases
    if (f == one) return g;
    if (f == zero) return h;

    // normalise the operands for the computed table: f as a branch is one or zero there
    if (f == g) g = one;
    if (f == h) h = zero;
    if (g == h) return g;
    if (g == one && h == zero) return f;

    // literal shortcut: f is a projection function (or its complement) above g and h, so the
    // result is the node (f's variable, g, h) (or (h, g)) itself
    const uint32_t lf = tarnLevel(dd, f);
    const uint32_t lg = tarnLevel(dd, g);
    const uint32_t lh = tarnLevel(dd, h);
    const uint32_t v = lg < lh ? lg : lh;
    if (lf < v) {
        const int index = static_cast<int>(f->index);
        if (f->T == one && f->E == zero) return tarnUniqueInter(dd, index, g, h);
        if (f->T == zero && f->E == one) return tarnUniqueInter(dd, index, h, g);
    }
    // A condition leaf other than zero and one between two different constant branches leaves
    // nothing to split on: a nonzero condition selects the then-branch, as the complement reads it.
    if (lf == TARN_MAXINDEX && v == TARN_MAXINDEX) return g;

    // computed table
    DdNode *r = tarnCacheLookup3(dd, TARN_ADD_ITE_TAG, f, g, h);
    if (r != nullptr) return r;

    // give-up check
    if (__builtin_expect(tarnStepGivesUp(dd), 0)) return nullptr;

    // cofactors at the top level
    const uint32_t top = lf < v ? lf : v;
    const uint32_t index = lf == top ? f->index : lg == top ? g->index : h->index;
    auto [fv, fnv] = tarnAddCofactors(f, lf == top);
    auto [gv, gnv] = tarnAddCofactors(g, lg == top);
    auto [hv, hnv] = tarnAddCofactors(h, lh == top);

    // recurse (then-side, else-side), holding temporary references
    DdNode *t = tarnAddIteRecur(dd, fv, gv, hv);
    if (t == nullptr) return nullptr;
    tarnRef(t);
    DdNode *e = tarnAddIteRecur(dd, fnv, gnv, hnv);
    if (e == nullptr) {
        Tarn_RecursiveDeref(dd, t);
        return nullptr;
    }
    tarnRef(e);

    // build the node, release temporaries
    r = tarnAddMakeNode(dd, index, t, e);
    if (r == nullptr) return nullptr;
    tarnDecRef(t);
    tarnDecRef(e);

    // store in the computed table
    tarnCacheInsert3(dd, TARN_ADD_ITE_TAG, f, g, h, r);
    return r;
}

namespace {

// The ADD with every leaf of f replaced by leaf(leaf of f), memoized under op.
template <TarnCacheTag op, DdNode *(*leaf)(DdManager *, DdNode *)>
DdNode *leafMapRecur(DdManager *dd, DdNode *f) {
    // terminal cases
    if (tarnIsConstantRegular(f)) return leaf(dd, f);

    // computed table
    DdNode *r = tarnCacheLookup1(dd, op, f);
    if (r != nullptr) return r;

    // give-up check
    if (__builtin_expect(tarnStepGivesUp(dd), 0)) return nullptr;

    // recurse (then-side, else-side), holding temporary references
    DdNode *t = leafMapRecur<op, leaf>(dd, f->T);
    if (t == nullptr) return nullptr;
    tarnRef(t);
    DdNode *e = leafMapRecur<op, leaf>(dd, f->E);
    if (e == nullptr) {
        Tarn_RecursiveDeref(dd, t);
        return nullptr;
    }
    tarnRef(e);

    // build the node, release temporaries
    r = tarnAddMakeNode(dd, f->index, t, e);
    if (r == nullptr) return nullptr;
    tarnDecRef(t);
    tarnDecRef(e);

    // store in the computed table
    tarnCacheInsert1(dd, op, f, r);
    return r;
}

template <TarnCacheTag op, bool (*better)(double, double)>
DdNode *findExtreme(DdManager *dd, DdNode *f, DdNode *extreme) {
    // terminal cases
    if (tarnIsConstantRegular(f)) return f;

    // computed table
    DdNode *r = tarnCacheLookup1(dd, op, f);
    if (r != nullptr) return r;

    // give-up check
    if (__builtin_expect(tarnStepGivesUp(dd), 0)) return nullptr;

    // recurse (then-side, else-side); nothing beats the extreme constant
    DdNode *t = findExtreme<op, better>(dd, f->T, extreme);
    if (t == nullptr || t == extreme) return t;
    DdNode *e = findExtreme<op, better>(dd, f->E, extreme);
    if (e == nullptr) return nullptr;
    r = better(t->value, e->value) ? t : e;  // a NaN comparison picks the else-side

    // store in the computed table
    tarnCacheInsert1(dd, op, f, r);
    return r;
}

}  // namespace
