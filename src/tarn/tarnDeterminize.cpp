// Determinization of a controller relation: of all the assignments of the output variables (those
// of a cube) that a relation f allows for an assignment of the other variables, keep exactly one.
//
// The outputs are moved below all other variables first. A path from f's root then tests inputs
// only, until it meets its first output variable; from there on only outputs remain, so one path
// search in that sub-diagram yields the kept assignment, without further recursion. The choice:
// an output above the first one tested is 1; the first one tested is 1 when f allows it; the
// outputs below it follow the first path of the remaining sub-diagram that takes else-branches
// first, and those the path does not test are 1.
#include "tarnInt.h"

namespace {

// The two kinds of diagrams differ in their zero, their projection functions, their if-then-else
// and their release.
struct BddKind {
    static constexpr TarnCacheTag tag = TARN_OP_BDD_DETERMINIZE;
    static DdNode *zero(DdManager *dd) { return tarnNot(dd->one); }
    static DdNode *ite(DdManager *dd, DdNode *f, DdNode *g, DdNode *h) {
        return tarnBddIteRecur(dd, f, g, h);
    }
    static void release(DdManager *dd, DdNode *f) { tarnDerefBdd(dd, f); }
    // The projection function of variable i, referenced: the manager holds the BDD ones.
    static DdNode *variable(DdManager *dd, uint32_t i) {
        DdNode *x = dd->vars[i];
        tarnRef(x);
        return x;
    }
};

struct AddKind {
    static constexpr TarnCacheTag tag = TARN_OP_ADD_DETERMINIZE;
    static DdNode *zero(DdManager *dd) { return dd->zero; }
    static DdNode *ite(DdManager *dd, DdNode *f, DdNode *g, DdNode *h) {
        return tarnAddIteRecur(dd, f, g, h);
    }
    static void release(DdManager *dd, DdNode *f) { Tarn_RecursiveDeref(dd, f); }
    // The ADD projection function (i, one, zero), referenced; null when the unique table fails.
    static DdNode *variable(DdManager *dd, uint32_t i) {
        DdNode *x = tarnUniqueInter(dd, static_cast<int>(i), dd->one, dd->zero);
        if (x != nullptr) tarnRef(x);
        return x;
    }
};

// ite(x_i, g, zero) when positive, else ite(x_i, zero, g): g with variable i fixed to 1 or to 0.
// g carries the caller's reference, which this takes over: the result (or null) replaces it.
template <class Kind>
DdNode *fixVariable(DdManager *dd, uint32_t i, DdNode *g, bool positive) {
    DdNode *x = Kind::variable(dd, i);
    if (x == nullptr) {
        Kind::release(dd, g);
        return nullptr;
    }
    DdNode *zero = Kind::zero(dd);
    DdNode *r = positive ? Kind::ite(dd, x, g, zero) : Kind::ite(dd, x, zero, g);
    if (r != nullptr) tarnRef(r);
    Kind::release(dd, x);
    Kind::release(dd, g);
    return r;
}

// The kept assignment below f's top variable v, which is the first output on the path: v is 1
// when f allows it (its then-cofactor t is not zero), and every variable below v follows the
// first path of the chosen cofactor; a variable the path does not test is 1. The result carries
// no reference.
template <class Kind>
DdNode *chooseBelow(DdManager *dd, DdNode *f, DdNode *t, DdNode *e) {
    const bool thenSide = t != Kind::zero(dd);
    int *path;
    DdPathGen *gen = tarnFirstPath(dd, thenSide ? t : e, &path, nullptr);
    if (gen == nullptr) return nullptr;

    const uint32_t level = tarnLevel(dd, f);
    DdNode *c = dd->one;
    tarnRef(c);
    for (int i = dd->size - 1; i >= 0 && c != nullptr; i--) {
        if (static_cast<uint32_t>(dd->perm[i]) <= level) continue;
        c = fixVariable<Kind>(dd, static_cast<uint32_t>(i), c, path[i] != 0);
    }
    tarnPathGenFree(gen);
    if (c == nullptr) return nullptr;
    c = fixVariable<Kind>(dd, tarnRegular(f)->index, c, thenSide);
    if (c != nullptr) tarnDecRef(c);
    return c;
}

// The order with the cube's variables (mask 1) below all others, each part in increasing index
// order. Null without memory.
int *outputsLastOrder(DdManager *dd, const int *mask) {
    const int size = dd->size;
    int *order = static_cast<int *>(tarnGuardedMalloc(dd, sizeof(int) * (size > 0 ? size : 1)));
    if (order == nullptr) {
        dd->errorCode = TARN_OUT_OF_MEMORY;
        return nullptr;
    }
    int level = 0;
    for (int j = 0; j < size; j++) {
        if (mask[j] != 1) order[level++] = j;
    }
    for (int j = 0; j < size; j++) {
        if (mask[j] == 1) order[level++] = j;
    }
    return order;
}

// The public operation around a step: refuse what is not a cube (on the error stream, leaving
// the error code alone), move the cube's variables to the bottom (again after every reordering
// that interrupted the step), run the step, and give the automatic reordering method one run on
// the result.
template <class Step>
DdNode *determinize(DdManager *dd, DdNode *f, DdNode *cube, bool isCube, Step &&step) {
    if (!isCube) {
        fprintf(dd->err, "Error:  Can only abstract cubes");
        return nullptr;
    }
    // no output to choose: f as it is, and the order as it is
    if (cube == dd->one) return f;

    int *mask = Tarn_SupportMask(dd, cube);
    if (mask == nullptr) return nullptr;
    int *order = outputsLastOrder(dd, mask);
    if (order == nullptr) {
        util_free(mask);
        return nullptr;
    }
    DdNode *r;
    do {
        // a group that the order would split keeps the order as it is
        Tarn_SetOrder(dd, order);
        dd->reorderState = 0;
        r = step();
    } while (dd->reorderState == 1);
    if (r != nullptr) {
        tarnRef(r);
        Tarn_Reorder(dd, TARN_REORDER_SAME, 10);
        tarnDecRef(r);
    }
    util_free(mask);
    util_free(order);
    return r;
}

}  // namespace

// ---- public operations -------------------------------------------------------------------------

DdNode *Tarn_BddDeterminize(DdManager *dd, DdNode *f, DdNode *cube) {
    return determinize(dd, f, cube, tarnIsPositiveCube(dd, cube) != 0,
                       [&] { return tarnBddDeterminizeRecur(dd, f, cube); });
}

DdNode *Tarn_AddDeterminize(DdManager *dd, DdNode *f, DdNode *cube) {
    return determinize(dd, f, cube, tarnAddCheckCube(dd, cube) != 0,
                       [&] { return tarnAddDeterminizeRecur(dd, f, cube); });
}

// ---- recursive steps ---------------------------------------------------------------------------

DdNode *tarnBddDeterminizeRecur(DdManager *dd, DdNode *f, DdNode *cube) {
    DdNode *const one = dd->one;
    DdNode *const zero = tarnNot(one);
    // terminal cases
    if (cube == one) return f;
    if (f == zero) return zero;

    // computed table, for shared nodes only
    DdNode *F = tarnRegular(f);
    const bool shared = F->ref != 1;
    if (shared) {
        DdNode *r = tarnCacheLookup2(dd, BddKind::tag, f, cube);
        if (r != nullptr) return r;
    }

    // give-up check
    if (__builtin_expect(tarnStepGivesUp(dd), 0)) return nullptr;

    // an output above f's top variable (f does not test it here) is set to 1
    const uint32_t level = tarnLevel(dd, f);
    if (tarnLevel(dd, cube) < level || f == one) {
        DdNode *r = tarnBddDeterminizeRecur(dd, f, cube->T);
        if (r == nullptr) return nullptr;
        tarnRef(r);
        DdNode *s = tarnBddAndRecur(dd, r, dd->vars[cube->index]);
        if (s != nullptr) tarnRef(s);
        tarnDerefBdd(dd, r);
        if (s != nullptr) tarnDecRef(s);
        return s;
    }

    // cofactors at the top level
    DdNode *ft = tarnThenOf(f);
    DdNode *fe = tarnElseOf(f);

    DdNode *r;
    if (F->index == cube->index) {
        // f's top is its first output: one path search builds the rest
        r = chooseBelow<BddKind>(dd, f, ft, fe);
        if (r == nullptr) return nullptr;
    } else {
        // an input above the outputs: recurse (then-side, else-side), holding temporary
        // references
        DdNode *t = tarnBddDeterminizeRecur(dd, ft, cube);
        if (t == nullptr) return nullptr;
        tarnRef(t);
        DdNode *e = tarnBddDeterminizeRecur(dd, fe, cube);
        if (e == nullptr) {
            tarnDerefBdd(dd, t);
            return nullptr;
        }
        tarnRef(e);

        // join the halves at the input, release temporaries
        r = t == e ? t : tarnBddIteRecur(dd, dd->vars[F->index], t, e);
        if (r == nullptr) {
            tarnDerefBdd(dd, t);
            tarnDerefBdd(dd, e);
            return nullptr;
        }
        tarnRef(r);
        tarnDerefBdd(dd, t);
        tarnDerefBdd(dd, e);
        tarnDecRef(r);
    }

    // store in the computed table
    if (shared) tarnCacheInsert2(dd, BddKind::tag, f, cube, r);
    return r;
}

DdNode *tarnAddDeterminizeRecur(DdManager *dd, DdNode *f, DdNode *cube) {
    DdNode *const one = dd->one;
    DdNode *const zero = dd->zero;
    // terminal cases
    if (cube == one) return f;
    if (f == zero) return zero;

    // an output above f's top variable (f does not test it here) is set to 1: the remaining
    // choice times its projection function
    if (tarnLevel(dd, f) > tarnLevel(dd, cube) || tarnIsConstantRegular(f)) {
        DdNode *r = tarnAddDeterminizeRecur(dd, f, cube->T);
        if (r == nullptr) return nullptr;
        tarnRef(r);
        DdNode *x = AddKind::variable(dd, cube->index);
        if (x == nullptr) {
            Tarn_RecursiveDeref(dd, r);
            return nullptr;
        }
        DdNode *s = tarnAddApplyRecur(dd, Tarn_AddTimes, r, x);
        if (s != nullptr) tarnRef(s);
        Tarn_RecursiveDeref(dd, r);
        Tarn_RecursiveDeref(dd, x);
        if (s != nullptr) tarnDecRef(s);
        return s;
    }

    // computed table
    DdNode *r = tarnCacheLookup2(dd, AddKind::tag, f, cube);
    if (r != nullptr) return r;

    // f's top is its first output: one path search builds the rest (not stored)
    if (f->index == cube->index) return chooseBelow<AddKind>(dd, f, f->T, f->E);

    // an input above the outputs: recurse (then-side, else-side), holding temporary references
    DdNode *t = tarnAddDeterminizeRecur(dd, f->T, cube);
    if (t == nullptr) return nullptr;
    tarnRef(t);
    DdNode *e = tarnAddDeterminizeRecur(dd, f->E, cube);
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
    tarnCacheInsert2(dd, AddKind::tag, f, cube, r);
    return r;
}
