// Restricting a diagram to part of its input space: the cofactor by a cube of literals (for BDDs
// and ADDs), and the restrict operations, which return a diagram that agrees with f wherever a
// care set holds and is chosen freely elsewhere to be small. Also the literal intersection of two
// cubes and the classification of two supports that the restrict operations start from.
#include "tarnInt.h"

namespace {

constexpr const char *kZeroRestriction = "Tarn_Cofactor: Invalid restriction 1\n";
constexpr const char *kNotACube = "Tarn_Cofactor: Invalid restriction 2\n";

// Zero of either kind: the logical zero of BDDs or the arithmetic zero of ADDs.
inline bool isZero(DdManager *dd, DdNode *f) { return f == tarnNot(dd->one) || f == dd->zero; }

inline void reportInvalid(DdManager *dd, const char *message) {
    fprintf(dd->err, "%s", message);
    dd->errorCode = TARN_INVALID_ARGUMENT;
}

// The node (index, t, e) of a BDD or an ADD: t itself when both are equal; a complemented t (BDDs
// only) moves its mark to the result. t and e carry the caller's temporary references, released
// here when the unique table fails.
inline DdNode *makeNodeAnyKind(DdManager *dd, uint32_t index, DdNode *t, DdNode *e) {
    if (t == e) return t;
    const bool complement = tarnIsComplement(t);
    DdNode *r = tarnUniqueInter(dd, static_cast<int>(index), tarnNotCond(t, complement),
                                tarnNotCond(e, complement));
    if (r == nullptr) {
        Tarn_RecursiveDeref(dd, t);
        Tarn_RecursiveDeref(dd, e);
        return nullptr;
    }
    return tarnNotCond(r, complement);
}

inline void reportTimeout(DdManager *dd) {
    if (dd->errorCode == TARN_TIME_OUT && dd->timeoutHandler != nullptr) {
        dd->timeoutHandler(dd, dd->timeoutArg);
    }
}

// cube AND the projection of variable index, referenced, with the old cube released; null (and
// the old cube released) on failure.
DdNode *conjoinVariable(DdManager *dd, DdNode *cube, int index) {
    DdNode *r = Tarn_BddAnd(dd, cube, dd->vars[index]);
    if (r != nullptr) tarnRef(r);
    tarnDerefBdd(dd, cube);
    return r;
}

// The step of the literal intersection: skips literals that occur in one cube only.
inline DdNode *skipLiteral(DdManager *dd, DdNode *cube) {
    DdNode *t = tarnThenOf(cube);
    return t == tarnNot(dd->one) ? tarnElseOf(cube) : t;
}

}  // namespace

// ---- public operations -------------------------------------------------------------------------

DdNode *Tarn_Cofactor(DdManager *dd, DdNode *f, DdNode *g) {
    if (isZero(dd, g)) {
        reportInvalid(dd, kZeroRestriction);
        return nullptr;
    }
    return tarnRestartLoop(dd, [&] { return tarnCofactorRecur(dd, f, g); });
}

DdNode *Tarn_BddRestrict(DdManager *dd, DdNode *f, DdNode *c) {
    DdNode *const one = dd->one;
    DdNode *const zero = tarnNot(one);
    if (c == zero) return zero;
    if (tarnIsConstantRegular(tarnRegular(f))) return f;
    if (f == c) return one;
    if (f == tarnNot(c)) return zero;

    // variables of c that f does not depend on are abstracted from c first
    DdNode *common, *onlyF, *onlyC;
    if (!Tarn_SupportClassify(dd, f, c, &common, &onlyF, &onlyC)) return nullptr;
    tarnRef(common);
    tarnRef(onlyF);
    tarnRef(onlyC);
    tarnDerefBdd(dd, onlyF);
    if (common == one) {
        tarnDerefBdd(dd, common);
        tarnDerefBdd(dd, onlyC);
        return f;
    }
    tarnDerefBdd(dd, common);
    DdNode *care = Tarn_BddExistAbstract(dd, c, onlyC);
    if (care == nullptr) {
        tarnDerefBdd(dd, onlyC);
        return nullptr;
    }
    tarnRef(care);
    tarnDerefBdd(dd, onlyC);

    DdNode *r = tarnRestartLoopNoTimeout(dd, [&] { return tarnBddRestrictRecur(dd, f, care); });
    if (r == nullptr) {
        tarnDerefBdd(dd, care);
        reportTimeout(dd);
        return nullptr;
    }
    tarnRef(r);
    tarnDerefBdd(dd, care);

    // the simplification is kept only when it is smaller
    if (Tarn_DagSize(r) < Tarn_DagSize(f)) {
        tarnDecRef(r);
        return r;
    }
    tarnDerefBdd(dd, r);
    return f;
}

DdNode *Tarn_AddRestrict(DdManager *dd, DdNode *f, DdNode *c) {
    // f is returned unchanged when it shares no variable with c
    DdNode *sf = Tarn_SupportCube(dd, f);
    if (sf == nullptr) return nullptr;
    tarnRef(sf);
    DdNode *sc = Tarn_SupportCube(dd, c);
    if (sc == nullptr) {
        Tarn_RecursiveDeref(dd, sf);
        return nullptr;
    }
    tarnRef(sc);
    DdNode *common = Tarn_BddLiteralIntersection(dd, sf, sc);
    if (common == nullptr) {
        Tarn_RecursiveDeref(dd, sf);
        Tarn_RecursiveDeref(dd, sc);
        return nullptr;
    }
    tarnRef(common);
    Tarn_RecursiveDeref(dd, sf);
    Tarn_RecursiveDeref(dd, sc);
    const bool disjoint = common == dd->one;
    Tarn_RecursiveDeref(dd, common);
    if (disjoint) return f;

    // without a result f itself is a valid answer
    DdNode *r = tarnRestartLoopNoTimeout(dd, [&] { return tarnAddRestrictRecur(dd, f, c); });
    if (r == nullptr) {
        reportTimeout(dd);
        return f;
    }

    // the simplification is kept only when it is smaller
    if (Tarn_DagSize(r) < Tarn_DagSize(f)) return r;
    tarnRef(r);
    Tarn_RecursiveDeref(dd, r);
    return f;
}

DdNode *Tarn_BddLiteralIntersection(DdManager *dd, DdNode *f, DdNode *g) {
    return tarnRestartLoop(dd, [&] { return tarnLiteralIntersectionRecur(dd, f, g); });
}

int Tarn_SupportClassify(DdManager *dd, DdNode *f, DdNode *c, DdNode **common, DdNode **onlyF,
                         DdNode **onlyC) {
    int *listF;
    int *listC;
    const int sizeF = Tarn_SupportList(dd, f, &listF);
    if (sizeF < 0) return 0;
    const int sizeC = Tarn_SupportList(dd, c, &listC);
    if (sizeC < 0) {
        util_free(listF);
        return 0;
    }

    DdNode *cubes[3] = {dd->one, dd->one, dd->one};  // common, only f's, only c's
    for (DdNode *cube : cubes) tarnRef(cube);
    // both lists from their largest index down; an exhausted list counts as -1
    int i = sizeF - 1;
    int j = sizeC - 1;
    bool ok = true;
    while (ok && (i >= 0 || j >= 0)) {
        const int indexF = i >= 0 ? listF[i] : -1;
        const int indexC = j >= 0 ? listC[j] : -1;
        int which;
        int index;
        if (indexF == indexC) {
            which = 0;
            index = indexF;
            i--;
            j--;
        } else if (indexF > indexC) {
            which = 1;
            index = indexF;
            i--;
        } else {
            which = 2;
            index = indexC;
            j--;
        }
        cubes[which] = conjoinVariable(dd, cubes[which], index);
        ok = cubes[which] != nullptr;
    }
    util_free(listF);
    util_free(listC);
    if (!ok) {
        for (DdNode *cube : cubes) {
            if (cube != nullptr) tarnDerefBdd(dd, cube);
        }
        return 0;
    }
    for (DdNode *cube : cubes) tarnDecRef(cube);
    *common = cubes[0];
    *onlyF = cubes[1];
    *onlyC = cubes[2];
    return 1;
}

// ---- recursive steps ---------------------------------------------------------------------------

DdNode *tarnCofactorRecur(DdManager *dd, DdNode *f, DdNode *g) {
    // terminal cases
    DdNode *F = tarnRegular(f);
    if (tarnIsConstantRegular(F) || g == dd->one) return f;

    // computed table: entries are kept for the regular node
    DdNode *r = tarnCacheLookup2(dd, TARN_OP_COFACTOR, F, g);
    if (r != nullptr) return tarnNotCond(r, tarnIsComplement(f));

    // give-up check
    if (__builtin_expect(tarnStepGivesUp(dd), 0)) return nullptr;

    // cofactors at the top level
    const uint32_t topf = tarnLevel(dd, F);
    const uint32_t topg = tarnLevel(dd, g);
    DdNode *Ft = F, *Fe = F, *gt = g, *ge = g;
    if (topf <= topg) {
        Ft = F->T;
        Fe = F->E;
    }
    if (topg <= topf) {
        gt = tarnThenOf(g);
        ge = tarnElseOf(g);
    }

    if (topf >= topg) {
        // g's top variable is fixed by its literal
        if (isZero(dd, ge)) {
            r = tarnCofactorRecur(dd, Ft, gt);
        } else if (isZero(dd, gt)) {
            r = tarnCofactorRecur(dd, Fe, ge);
        } else {
            reportInvalid(dd, kNotACube);
            return nullptr;
        }
        if (r == nullptr) return nullptr;
    } else {
        // recurse (then-side, else-side), holding temporary references
        DdNode *t = tarnCofactorRecur(dd, Ft, g);
        if (t == nullptr) return nullptr;
        tarnRef(t);
        DdNode *e = tarnCofactorRecur(dd, Fe, g);
        if (e == nullptr) {
            Tarn_RecursiveDeref(dd, t);
            return nullptr;
        }
        tarnRef(e);

        // build the node (complement rule), release temporaries
        r = makeNodeAnyKind(dd, F->index, t, e);
        if (r == nullptr) return nullptr;
        tarnDecRef(t);
        tarnDecRef(e);
    }

    // store in the computed table
    tarnCacheInsert2(dd, TARN_OP_COFACTOR, F, g, r);
    return tarnNotCond(r, tarnIsComplement(f));
}

DdNode *tarnBddRestrictRecur(DdManager *dd, DdNode *f, DdNode *c) {
    DdNode *const one = dd->one;
    DdNode *const zero = tarnNot(one);
    // terminal cases
    if (c == one) return f;
    if (c == zero) return zero;
    if (tarnIsConstantRegular(tarnRegular(f))) return f;
    if (f == c) return one;
    if (f == tarnNot(c)) return zero;

    // computed table: entries are kept for the regular node
    DdNode *F = tarnRegular(f);
    const bool complement = tarnIsComplement(f);
    DdNode *r = tarnCacheLookup2(dd, TARN_OP_BDD_RESTRICT, F, c);
    if (r != nullptr) return tarnNotCond(r, complement);

    // give-up check
    if (__builtin_expect(tarnStepGivesUp(dd), 0)) return nullptr;

    // c's top variable above F's: it is abstracted from c on the fly
    const uint32_t topf = tarnLevel(dd, F);
    const uint32_t topc = tarnLevel(dd, c);
    if (topc < topf) {
        DdNode *d = tarnBddAndRecur(dd, tarnNot(tarnThenOf(c)), tarnNot(tarnElseOf(c)));
        if (d == nullptr) return nullptr;
        tarnRef(d);
        r = tarnBddRestrictRecur(dd, F, tarnNot(d));
        if (r == nullptr) {
            tarnDerefBdd(dd, d);
            return nullptr;
        }
        tarnRef(r);
        tarnDerefBdd(dd, d);
        tarnDecRef(r);
        tarnCacheInsert2(dd, TARN_OP_BDD_RESTRICT, F, c, r);
        return tarnNotCond(r, complement);
    }

    // cofactors at the top level
    DdNode *Ft = F->T;
    DdNode *Fe = F->E;
    DdNode *ct = c, *ce = c;
    if (topc == topf) {
        ct = tarnThenOf(c);
        ce = tarnElseOf(c);
    }

    // then-side: where c's then-cofactor is zero, only the else-side matters
    DdNode *t;
    if (!tarnIsConstantRegular(tarnRegular(ct))) {
        t = tarnBddRestrictRecur(dd, Ft, ct);
        if (t == nullptr) return nullptr;
    } else if (ct == zero) {
        if (ce == one) return tarnNotCond(Fe, complement);
        r = tarnBddRestrictRecur(dd, Fe, ce);
        return r == nullptr ? nullptr : tarnNotCond(r, complement);
    } else {
        t = Ft;
    }
    tarnRef(t);

    // else-side: where c's else-cofactor is zero, the then-side is the result
    DdNode *e;
    if (!tarnIsConstantRegular(tarnRegular(ce))) {
        e = tarnBddRestrictRecur(dd, Fe, ce);
        if (e == nullptr) {
            tarnDerefBdd(dd, t);
            return nullptr;
        }
    } else if (ce == zero) {
        tarnDecRef(t);
        return tarnNotCond(t, complement);
    } else {
        e = Fe;
    }
    tarnRef(e);

    // build the node (complement rule), release temporaries
    r = tarnBddMakeNode(dd, F->index, t, e);
    if (r == nullptr) return nullptr;
    tarnDecRef(t);
    tarnDecRef(e);

    // store in the computed table
    tarnCacheInsert2(dd, TARN_OP_BDD_RESTRICT, F, c, r);
    return tarnNotCond(r, complement);
}

DdNode *tarnAddRestrictRecur(DdManager *dd, DdNode *f, DdNode *c) {
    DdNode *const one = dd->one;
    // terminal cases
    if (c == one) return f;
    if (c == dd->zero) return dd->zero;
    if (tarnIsConstantRegular(f)) return f;
    if (f == c) return one;

    // computed table
    DdNode *r = tarnCacheLookup2(dd, TARN_OP_ADD_RESTRICT, f, c);
    if (r != nullptr) return r;

    // give-up check
    if (__builtin_expect(tarnStepGivesUp(dd), 0)) return nullptr;

    // c's top variable above f's: it is abstracted from c on the fly
    const uint32_t topf = tarnLevel(dd, f);
    const uint32_t topc = tarnLevel(dd, c);
    if (topc < topf) {
        DdNode *d = tarnAddApplyRecur(dd, Tarn_AddOr, c->T, c->E);
        if (d == nullptr) return nullptr;
        tarnRef(d);
        r = tarnAddRestrictRecur(dd, f, d);
        if (r == nullptr) {
            Tarn_RecursiveDeref(dd, d);
            return nullptr;
        }
        tarnRef(r);
        Tarn_RecursiveDeref(dd, d);
        tarnCacheInsert2(dd, TARN_OP_ADD_RESTRICT, f, c, r);
        tarnDecRef(r);
        return r;
    }

    // cofactors at the top level
    DdNode *ft = f->T;
    DdNode *fe = f->E;
    auto [ct, ce] = tarnAddCofactors(c, topc == topf);

    // then-side: where c's then-cofactor is not one, only the else-side matters
    DdNode *t;
    if (!tarnIsConstantRegular(ct)) {
        t = tarnAddRestrictRecur(dd, ft, ct);
        if (t == nullptr) return nullptr;
    } else if (ct != one) {
        return ce == one ? fe : tarnAddRestrictRecur(dd, fe, ce);
    } else {
        t = ft;
    }
    tarnRef(t);

    // else-side: where c's else-cofactor is not one, the then-side is the result
    DdNode *e;
    if (!tarnIsConstantRegular(ce)) {
        e = tarnAddRestrictRecur(dd, fe, ce);
        if (e == nullptr) {
            Tarn_RecursiveDeref(dd, t);
            return nullptr;
        }
    } else if (ce != one) {
        tarnDecRef(t);
        return t;
    } else {
        e = fe;
    }
    tarnRef(e);

    // build the node, release temporaries
    r = tarnAddMakeNode(dd, f->index, t, e);
    if (r == nullptr) return nullptr;
    tarnDecRef(t);
    tarnDecRef(e);

    // store in the computed table
    tarnCacheInsert2(dd, TARN_OP_ADD_RESTRICT, f, c, r);
    return r;
}

DdNode *tarnLiteralIntersectionRecur(DdManager *dd, DdNode *f, DdNode *g) {
    DdNode *const one = dd->one;
    DdNode *const zero = tarnNot(one);
    // terminal cases
    if (f == g) return f;
    if (f == tarnNot(g)) return one;

    // normalise the operands: advance both cubes to a common variable
    uint32_t topf = tarnLevel(dd, f);
    uint32_t topg = tarnLevel(dd, g);
    while (topf != topg) {
        if (topf < topg) {
            f = skipLiteral(dd, f);
            topf = tarnLevel(dd, f);
        } else {
            g = skipLiteral(dd, g);
            topg = tarnLevel(dd, g);
        }
    }
    // a cube that ran out of literals shares none
    if (topf == TARN_MAXINDEX) return one;

    // computed table
    DdNode *r = tarnCacheLookup2(dd, TARN_OP_LITERAL_INTERSECTION, f, g);
    if (r != nullptr) return r;

    // give-up check
    if (__builtin_expect(tarnStepGivesUp(dd), 0)) return nullptr;

    // cofactors at the top level: the sign of each top literal and its live child
    DdNode *ft = tarnThenOf(f);
    DdNode *gt = tarnThenOf(g);
    const bool positiveF = ft != zero;
    const bool positiveG = gt != zero;
    DdNode *liveF = positiveF ? ft : tarnElseOf(f);
    DdNode *liveG = positiveG ? gt : tarnElseOf(g);

    // recurse on the rest of both cubes
    r = tarnLiteralIntersectionRecur(dd, liveF, liveG);
    if (r == nullptr) return nullptr;

    // a literal with the same sign in both cubes is shared
    if (positiveF == positiveG) {
        tarnRef(r);
        const uint32_t index = tarnRegular(f)->index;
        DdNode *literal = tarnNotCond(dd->vars[index], !positiveF);
        DdNode *conj = tarnBddAndRecur(dd, literal, r);
        if (conj == nullptr) {
            tarnDerefBdd(dd, r);
            return nullptr;
        }
        tarnRef(conj);
        tarnDerefBdd(dd, r);
        tarnDecRef(conj);
        r = conj;
    }

    // store in the computed table
    tarnCacheInsert2(dd, TARN_OP_LITERAL_INTERSECTION, f, g, r);
    return r;
}
