// ADD abstraction: removing the variables of a cube from an ADD by combining, at every assignment
// of the other variables, the leaves over all assignments of the removed ones: by sum, maximum,
// minimum, disjunction (0/1 ADDs) or product.
//
// The cube is an ADD cube: one, or a chain of projection functions whose else-children are the
// zero constant, ending in one (Tarn_AddComputeCube with positive phases builds one).
#include "tarnInt.h"

namespace {

constexpr const char *kNotACube = "Error: Can only abstract cubes";
// The maximum, minimum and product abstractions word their refusal with two blanks.
constexpr const char *kNotACubeWide = "Error:  Can only abstract cubes";

// Refuses anything but an ADD cube with its message on the error stream; the manager's error
// code is left as it was.
bool acceptCube(DdManager *dd, DdNode *cube, const char *message) {
    const bool isCube =
        !tarnIsComplement(cube) &&
        (cube == dd->one || (!tarnIsConstantRegular(cube) && cube->E == dd->zero &&
                             tarnAddCheckCube(dd, cube->T)));
    if (__builtin_expect(isCube, 1)) return true;
    fprintf(dd->err, "%s", message);
    return false;
}

// The sum and the product over a cube variable that f does not depend on: f + f and f * f.
DdNode *combineWithItself(DdManager *dd, DD_AOP op, DdNode *r) {
    if (r == nullptr) return nullptr;
    tarnRef(r);
    DdNode *s = tarnAddApplyRecur(dd, op, r, r);
    if (s == nullptr) {
        Tarn_RecursiveDeref(dd, r);
        return nullptr;
    }
    tarnRef(s);
    Tarn_RecursiveDeref(dd, r);
    tarnDecRef(s);
    return s;
}

// The combination of the two halves t and e (both referenced by the caller) of an abstracted
// variable; t and e are released either way.
DdNode *combineHalves(DdManager *dd, DD_AOP op, DdNode *t, DdNode *e) {
    DdNode *r = tarnAddApplyRecur(dd, op, t, e);
    if (r != nullptr) tarnRef(r);
    Tarn_RecursiveDeref(dd, t);
    Tarn_RecursiveDeref(dd, e);
    if (r != nullptr) tarnDecRef(r);
    return r;
}

// The five abstractions differ in their operator, their terminal cases, the treatment of a cube
// variable above f, the disjunction's early stop and the give-up check.
enum class Abstraction { sum, maximum, minimum, disjunction, product };

template <Abstraction kind>
DdNode *abstractRecur(DdManager *dd, DdNode *f, DdNode *cube);

}  // namespace

// ---- public operations -------------------------------------------------------------------------

DdNode *Tarn_AddExistAbstract(DdManager *dd, DdNode *f, DdNode *cube) {
    if (!acceptCube(dd, cube, kNotACube)) return nullptr;
    return tarnRestartLoop(dd, [&] { return tarnAddExistAbstractRecur(dd, f, cube); });
}

DdNode *Tarn_AddMaxAbstract(DdManager *dd, DdNode *f, DdNode *cube) {
    if (!acceptCube(dd, cube, kNotACubeWide)) return nullptr;
    return tarnRestartLoopNoTimeout(dd, [&] { return tarnAddMaxAbstractRecur(dd, f, cube); });
}

DdNode *Tarn_AddMinAbstract(DdManager *dd, DdNode *f, DdNode *cube) {
    if (!acceptCube(dd, cube, kNotACubeWide)) return nullptr;
    return tarnRestartLoopNoTimeout(dd, [&] { return tarnAddMinAbstractRecur(dd, f, cube); });
}

DdNode *Tarn_AddOrAbstract(DdManager *dd, DdNode *f, DdNode *cube) {
    if (!acceptCube(dd, cube, kNotACube)) return nullptr;
    return tarnRestartLoop(dd, [&] { return tarnAddOrAbstractRecur(dd, f, cube); });
}

DdNode *Tarn_AddUnivAbstract(DdManager *dd, DdNode *f, DdNode *cube) {
    if (!acceptCube(dd, cube, kNotACubeWide)) return nullptr;
    return tarnRestartLoop(dd, [&] { return tarnAddUnivAbstractRecur(dd, f, cube); });
}

// Walks the rest of a chain: regular nodes with zero else-children, down to one.
int tarnAddCheckCube(DdManager *dd, DdNode *p) {
    if (tarnIsComplement(p)) return 0;
    while (p != dd->one) {
        if (tarnIsConstantRegular(p) || p->E != dd->zero) return 0;
        p = p->T;
        if (tarnIsComplement(p)) return 0;
    }
    return 1;
}

// ---- recursive steps ---------------------------------------------------------------------------

DdNode *tarnAddExistAbstractRecur(DdManager *dd, DdNode *f, DdNode *cube) {
    return abstractRecur<Abstraction::sum>(dd, f, cube);
}

DdNode *tarnAddMaxAbstractRecur(DdManager *dd, DdNode *f, DdNode *cube) {
    return abstractRecur<Abstraction::maximum>(dd, f, cube);
}

DdNode *tarnAddMinAbstractRecur(DdManager *dd, DdNode *f, DdNode *cube) {
    return abstractRecur<Abstraction::minimum>(dd, f, cube);
}

DdNode *tarnAddOrAbstractRecur(DdManager *dd, DdNode *f, DdNode *cube) {
    return abstractRecur<Abstraction::disjunction>(dd, f, cube);
}

DdNode *tarnAddUnivAbstractRecur(DdManager *dd, DdNode *f, DdNode *cube) {
    return abstractRecur<Abstraction::product>(dd, f, cube);
}

namespace {

// The computed-table identity of each abstraction.
constexpr TarnCacheTag abstractionTag(Abstraction kind) {
    switch (kind) {
        case Abstraction::sum: return TARN_OP_ADD_EXIST_ABSTRACT;
        case Abstraction::maximum: return TARN_OP_ADD_MAX_ABSTRACT;
        case Abstraction::minimum: return TARN_OP_ADD_MIN_ABSTRACT;
        case Abstraction::disjunction: return TARN_OP_ADD_OR_ABSTRACT;
        case Abstraction::product: return TARN_OP_ADD_UNIV_ABSTRACT;
    }
    return 0;
}

// The operator that combines the leaves.
constexpr DD_AOP combiningOperator(Abstraction kind) {
    switch (kind) {
        case Abstraction::sum: return Tarn_AddPlus;
        case Abstraction::maximum: return Tarn_AddMaximum;
        case Abstraction::minimum: return Tarn_AddMinimum;
        case Abstraction::disjunction: return Tarn_AddOr;
        case Abstraction::product: return Tarn_AddTimes;
    }
    return nullptr;
}

// The terminal cases, whose answer is f itself.
template <Abstraction kind>
inline bool terminal(DdManager *dd, DdNode *f, DdNode *cube) {
    switch (kind) {
        case Abstraction::sum: return f == dd->zero || cube == dd->one;
        case Abstraction::maximum:
        case Abstraction::minimum:
        case Abstraction::disjunction: return cube == dd->one || tarnIsConstantRegular(f);
        case Abstraction::product: return f == dd->zero || f == dd->one || cube == dd->one;
    }
    return false;
}

template <Abstraction kind>
DdNode *abstractRecur(DdManager *dd, DdNode *f, DdNode *cube) {
    constexpr TarnCacheTag tag = abstractionTag(kind);
    constexpr DD_AOP op = combiningOperator(kind);
    // terminal cases
    if (terminal<kind>(dd, f, cube)) return f;

    // normalise the operands: a cube variable above f's top does not occur in f; the sum and the
    // product count it by combining the result with itself
    const uint32_t lf = tarnLevel(dd, f);
    if (lf > tarnLevel(dd, cube)) {
        DdNode *r = abstractRecur<kind>(dd, f, cube->T);
        if (kind == Abstraction::sum || kind == Abstraction::product) {
            return combineWithItself(dd, op, r);
        }
        return r;
    }

    // computed table
    DdNode *r = tarnCacheLookup2(dd, tag, f, cube);
    if (r != nullptr) return r;

    // give-up check (the maximum and the minimum make none)
    if (kind != Abstraction::maximum && kind != Abstraction::minimum) {
        if (__builtin_expect(tarnStepGivesUp(dd), 0)) return nullptr;
    }

    if (f->index == cube->index) {
        // recurse (then-side, else-side) below the abstracted variable, holding temporary
        // references; the disjunction stops once the then-side is one
        DdNode *t = abstractRecur<kind>(dd, f->T, cube->T);
        if (t == nullptr) return nullptr;
        if (kind == Abstraction::disjunction && t == dd->one) {
            tarnCacheInsert2(dd, tag, f, cube, t);
            return t;
        }
        tarnRef(t);
        DdNode *e = abstractRecur<kind>(dd, f->E, cube->T);
        if (e == nullptr) {
            Tarn_RecursiveDeref(dd, t);
            return nullptr;
        }
        tarnRef(e);

        // combine the halves, release temporaries
        r = combineHalves(dd, op, t, e);
        if (r == nullptr) return nullptr;
    } else {
        // recurse (then-side, else-side) below f's variable, which stays, holding temporary
        // references
        DdNode *t = abstractRecur<kind>(dd, f->T, cube);
        if (t == nullptr) return nullptr;
        tarnRef(t);
        DdNode *e = abstractRecur<kind>(dd, f->E, cube);
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
    }

    // store in the computed table
    tarnCacheInsert2(dd, tag, f, cube, r);
    return r;
}

}  // namespace
