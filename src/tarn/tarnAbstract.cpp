// Quantification of BDDs over a positive cube of variables: existential and universal abstraction,
// and the relational product, which conjoins two BDDs and abstracts in one pass without building
// the conjunction.
#include <utility>

#include "tarnInt.h"

namespace {

constexpr const char *kBadCubeMessage = "Error: Can only abstract positive cubes\n";

// The abstractions accept one or a conjunction of un-negated variables; anything else is reported
// on the error stream and leaves TARN_INVALID_ARGUMENT in the manager.
inline bool acceptCube(DdManager *dd, DdNode *cube) {
    if (__builtin_expect(tarnIsPositiveCube(dd, cube), 1)) return true;
    fprintf(dd->err, "%s", kBadCubeMessage);
    dd->errorCode = TARN_INVALID_ARGUMENT;
    return false;
}

// t OR e for two referenced halves; null when the disjunction fails (both are then released).
inline DdNode *disjoin(DdManager *dd, DdNode *t, DdNode *e) {
    DdNode *r = tarnBddAndRecur(dd, tarnNot(t), tarnNot(e));
    if (r == nullptr) {
        tarnDerefBdd(dd, t);
        tarnDerefBdd(dd, e);
        return nullptr;
    }
    return tarnNot(r);
}

}  // namespace

DdNode *Tarn_BddExistAbstract(DdManager *dd, DdNode *f, DdNode *cube) {
    if (!acceptCube(dd, cube)) return nullptr;
    return tarnRestartLoop(dd, [&] { return tarnBddExistAbstractRecur(dd, f, cube); });
}

DdNode *Tarn_BddForAllAbstract(DdManager *dd, DdNode *f, DdNode *cube) {
    if (!acceptCube(dd, cube)) return nullptr;
    return tarnNotUnlessNull(
        tarnRestartLoop(dd, [&] { return tarnBddExistAbstractRecur(dd, tarnNot(f), cube); }));
}

DdNode *Tarn_BddAndAbstract(DdManager *dd, DdNode *f, DdNode *g, DdNode *cube) {
    // The recursion walks the cube's then-children: anything but a positive cube would send it
    // through complemented or constant handles. It is refused without a message.
    if (!tarnIsPositiveCube(dd, cube)) {
        dd->errorCode = TARN_INVALID_ARGUMENT;
        return nullptr;
    }
    return tarnRestartLoop(dd, [&] { return tarnBddAndAbstractRecur(dd, f, g, cube); });
}

int tarnIsPositiveCube(DdManager *dd, DdNode *cube) {
    if (tarnIsComplement(cube)) return 0;
    DdNode *const zero = tarnNot(dd->one);
    while (cube != dd->one) {
        if (tarnIsConstantRegular(cube) || cube->E != zero) return 0;
        cube = cube->T;
        if (tarnIsComplement(cube)) return 0;
    }
    return 1;
}

// ---- recursive steps -------------------------------------------------------------------------

__attribute__((hot)) DdNode *tarnBddExistAbstractRecur(DdManager *dd, DdNode *f, DdNode *cube) {
    DdNode *const one = dd->one;
    // terminal cases
    if (cube == one) return f;
    DdNode *F = tarnRegular(f);
    if (tarnIsConstantRegular(F)) return f;

    // normalise the operands: cube variables above f's top do not occur in f
    const int *perm = dd->perm;
    const int topf = perm[F->index];
    while (perm[cube->index] < topf) {
        cube = cube->T;
        if (cube == one) return f;
    }

    // computed table
    if (F->ref != 1) {
        DdNode *r = tarnCacheLookup2(dd, TARN_OP_BDD_EXIST_ABSTRACT, f, cube);
        if (r != nullptr) return r;
    }

    // give-up check
    if (__builtin_expect(tarnStepGivesUp(dd), 0)) return nullptr;

    // cofactors at the top level
    DdNode *T = tarnThenOf(f);
    DdNode *E = tarnElseOf(f);

    DdNode *r;
    if (cube->index == F->index) {
        // f's variable is abstracted: the result is T OR E over the rest of the cube
        if (T == one || E == one || T == tarnNot(E)) return one;

        // recurse (then-side, else-side), holding temporary references
        DdNode *t = tarnBddExistAbstractRecur(dd, T, cube->T);
        if (t == nullptr) return nullptr;
        if (t == one) {
            if (F->ref != 1) tarnCacheInsert2(dd, TARN_OP_BDD_EXIST_ABSTRACT, f, cube, one);
            return one;
        }
        tarnRef(t);
        DdNode *e = tarnBddExistAbstractRecur(dd, E, cube->T);
        if (e == nullptr) {
            tarnDerefBdd(dd, t);
            return nullptr;
        }
        tarnRef(e);

        // build the disjunction, release temporaries
        r = disjoin(dd, t, e);
        if (r == nullptr) return nullptr;
        tarnRef(r);
        tarnDerefBdd(dd, t);
        tarnDerefBdd(dd, e);

        // store in the computed table
        if (F->ref != 1) tarnCacheInsert2(dd, TARN_OP_BDD_EXIST_ABSTRACT, f, cube, r);
        tarnDecRef(r);
        return r;
    }

    // f's variable stays
    // recurse (then-side, else-side), holding temporary references
    DdNode *t = tarnBddExistAbstractRecur(dd, T, cube);
    if (t == nullptr) return nullptr;
    tarnRef(t);
    DdNode *e = tarnBddExistAbstractRecur(dd, E, cube);
    if (e == nullptr) {
        tarnDerefBdd(dd, t);
        return nullptr;
    }
    tarnRef(e);

    // build the node (complement rule), release temporaries. t and e depend only on variables
    // below F's, so the node is that of ITE(F's projection, t, e), made without the detour.
    r = tarnBddMakeNode(dd, F->index, t, e);
    if (r == nullptr) return nullptr;
    tarnDecRef(t);
    tarnDecRef(e);

    // store in the computed table
    if (F->ref != 1) tarnCacheInsert2(dd, TARN_OP_BDD_EXIST_ABSTRACT, f, cube, r);
    return r;
}

__attribute__((hot)) DdNode *tarnBddAndAbstractRecur(DdManager *dd, DdNode *f, DdNode *g,
                                                     DdNode *cube) {
    DdNode *const one = dd->one;
    DdNode *const zero = tarnNot(one);
    // terminal cases
    if (f == zero || g == zero || f == tarnNot(g)) return zero;
    if (f == one && g == one) return one;
    if (cube == one) return tarnBddAndRecur(dd, f, g);
    if (f == one || f == g) return tarnBddExistAbstractRecur(dd, g, cube);
    if (g == one) return tarnBddExistAbstractRecur(dd, f, cube);

    // normalise the operands (operand order, cube advanced to the top level) for the computed
    // table
    if (reinterpret_cast<uintptr_t>(f) > reinterpret_cast<uintptr_t>(g)) std::swap(f, g);
    DdNode *F = tarnRegular(f);
    DdNode *G = tarnRegular(g);
    const int *perm = dd->perm;
    const int topf = perm[F->index];
    const int topg = perm[G->index];
    const int top = topf < topg ? topf : topg;
    int topcube;
    while ((topcube = perm[cube->index]) < top) {
        cube = cube->T;
        if (cube == one) return tarnBddAndRecur(dd, f, g);
    }

    // computed table: consulted for every pair, also of nodes referenced once, since the
    // fixpoints that call this step ask for the same pairs again from one call to the next
    {
        DdNode *r = tarnCacheLookup3(dd, TARN_AND_ABSTRACT_TAG, f, g, cube);
        if (r != nullptr) return r;
    }

    // give-up check
    if (__builtin_expect(tarnStepGivesUp(dd), 0)) return nullptr;

    // cofactors at the top level
    uint32_t index;
    DdNode *ft, *fe, *gt, *ge;
    if (topf == top) {
        index = F->index;
        ft = tarnThenOf(f);
        fe = tarnElseOf(f);
    } else {
        index = G->index;
        ft = fe = f;
    }
    if (topg == top) {
        gt = tarnThenOf(g);
        ge = tarnElseOf(g);
    } else {
        gt = ge = g;
    }

    DdNode *r;
    if (topcube == top) {
        // the top variable is abstracted: the result is the disjunction of the two halves
        DdNode *rest = cube->T;
        // recurse (then-side, else-side), holding temporary references
        DdNode *t = tarnBddAndAbstractRecur(dd, ft, gt, rest);
        if (t == nullptr) return nullptr;
        // The else half cannot add to a then half that is one or contains a whole else cofactor.
        if (t == one || t == fe || t == ge) {
            tarnCacheInsert3(dd, TARN_AND_ABSTRACT_TAG, f, g, cube, t);
            return t;
        }
        tarnRef(t);
        // A then half that is the complement of an else cofactor leaves only the other cofactor
        // to abstract.
        DdNode *e;
        if (t == tarnNot(fe)) {
            e = tarnBddExistAbstractRecur(dd, ge, rest);
        } else if (t == tarnNot(ge)) {
            e = tarnBddExistAbstractRecur(dd, fe, rest);
        } else {
            e = tarnBddAndAbstractRecur(dd, fe, ge, rest);
        }
        if (e == nullptr) {
            tarnDerefBdd(dd, t);
            return nullptr;
        }

        // build the disjunction, release temporaries
        if (t == e) {
            r = t;
            tarnDecRef(t);
        } else {
            tarnRef(e);
            r = disjoin(dd, t, e);
            if (r == nullptr) return nullptr;
            tarnRef(r);
            // The halves often come back in the next steps: their release is delayed.
            Tarn_DelayedDerefBdd(dd, t);
            Tarn_DelayedDerefBdd(dd, e);
            tarnDecRef(r);
        }
    } else {
        // the top variable stays
        // recurse (then-side, else-side), holding temporary references
        DdNode *t = tarnBddAndAbstractRecur(dd, ft, gt, cube);
        if (t == nullptr) return nullptr;
        tarnRef(t);
        DdNode *e = tarnBddAndAbstractRecur(dd, fe, ge, cube);
        if (e == nullptr) {
            tarnDerefBdd(dd, t);
            return nullptr;
        }

        // build the node (complement rule), release temporaries
        if (t == e) {
            r = t;
        } else {
            tarnRef(e);
            r = tarnBddMakeNode(dd, index, t, e);
            if (r == nullptr) return nullptr;
            tarnDecRef(e);
        }
        tarnDecRef(t);
    }

    // store in the computed table
    tarnCacheInsert3(dd, TARN_AND_ABSTRACT_TAG, f, g, cube, r);
    return r;
}
