// ADD apply: the generic two- and one-operand apply driven by an operator function, every operator
// function with its terminal rules, and the process-wide operator parameters ENERGY_CAP and
// MINIMIZE_VALUE.
//
// An operator decides the pairs it can answer without looking below them (a terminal pair) and
// returns nothing for the others; a commutative operator then puts its operands in handle order,
// so (f, g) and (g, f) share one recursion and one computed-table entry. Its address is its
// computed-table identity. When the constants table cannot make the operator's result, the
// operator returns TARN_OPERATOR_FAILED and the apply yields null.
#include <cmath>
#include <utility>

#include "tarnInt.h"

// Operator functions are computed-table identities: their addresses must keep bits 0 to 3 free.
#define TARN_OPERATOR __attribute__((aligned(16)))

namespace {

struct EnergyCapSetting {
    double value = 0.0;
    bool enabled = false;
};
EnergyCapSetting energyCap;
double minimizeValue = 0.0;

inline TarnCacheTag operatorTag(DD_AOP op) { return reinterpret_cast<TarnCacheTag>(op); }
inline TarnCacheTag operatorTag(DD_MAOP op) { return reinterpret_cast<TarnCacheTag>(op); }

inline bool bothConstant(DdNode *f, DdNode *g) {
    return tarnIsConstantRegular(f) && tarnIsConstantRegular(g);
}

// The non-terminal answer of a commutative operator: the operands in handle order, no result.
inline DdNode *ordered(DdNode **f, DdNode **g) {
    if (reinterpret_cast<uintptr_t>(*f) > reinterpret_cast<uintptr_t>(*g)) std::swap(*f, *g);
    return nullptr;
}

// The constant node of an operator's result value.
inline DdNode *constant(DdManager *dd, double value) {
    DdNode *r = tarnUniqueConst(dd, value);
    return r != nullptr ? r : TARN_OPERATOR_FAILED;
}

// An operator's answer as a step result: a failed operator means no result.
inline DdNode *stepResult(DdNode *r) { return r == TARN_OPERATOR_FAILED ? nullptr : r; }

// The energy subtraction's entries carry the cap's constant node while capping applies (cap
// enabled and not negative), minus infinity otherwise (no active cap has a negative node). The
// minimization's entries carry the node of the value it replaces.
DdNode *energyCapKey(DdManager *dd, double cap) {
    return cap >= 0.0 ? tarnUniqueConst(dd, cap) : dd->minusInfinity;
}

DdNode *applyStep(DdManager *dd, DD_AOP op, DdNode *f, DdNode *g, DdNode *setting);
DdNode *monadicStep(DdManager *dd, DD_MAOP op, DdNode *f, DdNode *setting);

// Whether a setting's key node holds exactly that setting. A value within the tolerance of
// another constant (or beyond the infinity threshold) gets that constant's node, which it then
// shares with a value the operator treats differently.
bool keyHoldsExactly(const DdNode *key, double value) {
    return key->value == value || (std::isnan(key->value) && std::isnan(value));
}

// Runs a step keyed with a setting node, which is referenced while the step runs. A node that does
// not hold the setting exactly would let one setting find the other's results: the entries that
// carry it are cleared before the step and again after it.
template <class Step>
DdNode *withSetting(DdManager *dd, DdNode *setting, bool exact, Step &&step) {
    if (setting == nullptr) return nullptr;
    tarnRef(setting);
    if (!exact) tarnCacheClearKey(dd, setting);
    DdNode *r = step(setting);
    if (!exact) tarnCacheClearKey(dd, setting);
    if (r != nullptr) tarnRef(r);
    Tarn_RecursiveDeref(dd, setting);
    if (r != nullptr) tarnDecRef(r);
    return r;
}

}  // namespace

// ---- operator parameters -----------------------------------------------------------------------

double ENERGY_CAP(double x, bool set, bool enable) {
    if (set) {
        energyCap.value = x;
        energyCap.enabled = enable;
    }
    return energyCap.enabled ? energyCap.value : -1.0;
}

double MINIMIZE_VALUE(double x, bool set) {
    if (set) minimizeValue = x;
    return minimizeValue;
}

// ---- public operations -------------------------------------------------------------------------

DdNode *Tarn_AddConst(DdManager *dd, double value) { return tarnUniqueConst(dd, value); }

DdNode *Tarn_AddApply(DdManager *dd, DD_AOP op, DdNode *f, DdNode *g) {
    return tarnRestartLoop(dd, [&] { return tarnAddApplyRecur(dd, op, f, g); });
}

DdNode *Tarn_AddMonadicApply(DdManager *dd, DD_MAOP op, DdNode *f) {
    return tarnRestartLoop(dd, [&] { return tarnAddMonadicApplyRecur(dd, op, f); });
}

DdNode *tarnAddApplyRecur(DdManager *dd, DD_AOP op, DdNode *f, DdNode *g) {
    if (op != Tarn_AddEnergyMinus) return applyStep(dd, op, f, g, nullptr);
    // The energy subtraction also depends on the cap: its entries carry the cap's node.
    const double cap = ENERGY_CAP(0.0, false, false);
    DdNode *key = energyCapKey(dd, cap);
    const bool exact = key == nullptr || cap < 0.0 || keyHoldsExactly(key, cap);
    return withSetting(dd, key, exact,
                       [&](DdNode *setting) { return applyStep(dd, op, f, g, setting); });
}

DdNode *tarnAddMonadicApplyRecur(DdManager *dd, DD_MAOP op, DdNode *f) {
    if (op != Tarn_AddMinimizeValue) return monadicStep(dd, op, f, nullptr);
    // The value that minimization replaces keys its entries together with the operand.
    const double value = MINIMIZE_VALUE(0.0, false);
    DdNode *key = tarnUniqueConst(dd, value);
    const bool exact = key == nullptr || keyHoldsExactly(key, value);
    return withSetting(dd, key, exact,
                       [&](DdNode *setting) { return monadicStep(dd, op, f, setting); });
}

// ---- operator functions ------------------------------------------------------------------------

TARN_OPERATOR DdNode *Tarn_AddPlus(DdManager *dd, DdNode **f, DdNode **g) {
    DdNode *F = *f, *G = *g;
    if (F == dd->zero) return G;
    if (G == dd->zero) return F;
    if (bothConstant(F, G)) return constant(dd, G->value + F->value);
    return ordered(f, g);
}

TARN_OPERATOR DdNode *Tarn_AddTimes(DdManager *dd, DdNode **f, DdNode **g) {
    DdNode *F = *f, *G = *g;
    if (F == dd->zero || G == dd->zero) return dd->zero;
    if (F == dd->one) return G;
    if (G == dd->one) return F;
    if (bothConstant(F, G)) return constant(dd, G->value * F->value);
    return ordered(f, g);
}

TARN_OPERATOR DdNode *Tarn_AddMinus(DdManager *dd, DdNode **f, DdNode **g) {
    DdNode *F = *f, *G = *g;
    if (F == G) return dd->zero;
    if (F == dd->zero) {
        DdNode *r = tarnAddNegateRecur(dd, G);
        return r != nullptr ? r : TARN_OPERATOR_FAILED;
    }
    if (G == dd->zero) return F;
    if (bothConstant(F, G)) return constant(dd, F->value - G->value);
    return nullptr;
}

TARN_OPERATOR DdNode *Tarn_AddDivide(DdManager *dd, DdNode **f, DdNode **g) {
    DdNode *F = *f, *G = *g;
    if (F == dd->zero) return dd->zero;
    if (G == dd->one) return F;
    if (bothConstant(F, G)) return constant(dd, F->value / G->value);
    return nullptr;
}

// The maximum and the minimum keep their operands in the caller's order: with a NaN leaf the
// comparison picks g, so exchanging the operands by handle would make such a leaf's result depend
// on where the nodes happen to lie in memory.
TARN_OPERATOR DdNode *Tarn_AddMaximum(DdManager *dd, DdNode **f, DdNode **g) {
    DdNode *F = *f, *G = *g;
    if (F == G) return F;
    if (F == dd->minusInfinity) return G;
    if (G == dd->minusInfinity) return F;
    if (bothConstant(F, G)) return F->value >= G->value ? F : G;
    return nullptr;
}

TARN_OPERATOR DdNode *Tarn_AddMinimum(DdManager *dd, DdNode **f, DdNode **g) {
    DdNode *F = *f, *G = *g;
    if (F == dd->plusInfinity) return G;
    if (G == dd->plusInfinity) return F;
    if (F == G) return F;
    if (bothConstant(F, G)) return G->value >= F->value ? F : G;
    return nullptr;
}

TARN_OPERATOR DdNode *Tarn_AddOr(DdManager *dd, DdNode **f, DdNode **g) {
    DdNode *F = *f, *G = *g;
    if (F == dd->one || G == dd->one) return dd->one;
    if (tarnIsConstantRegular(F)) return G;
    if (tarnIsConstantRegular(G) || F == G) return F;
    return ordered(f, g);
}

TARN_OPERATOR DdNode *Tarn_AddNand(DdManager *dd, DdNode **f, DdNode **g) {
    DdNode *F = *f, *G = *g;
    if (F == dd->zero || G == dd->zero) return dd->one;
    if (bothConstant(F, G)) return dd->zero;
    return ordered(f, g);
}

TARN_OPERATOR DdNode *Tarn_AddNor(DdManager *dd, DdNode **f, DdNode **g) {
    DdNode *F = *f, *G = *g;
    if (F == dd->one || G == dd->one) return dd->zero;
    if (bothConstant(F, G)) return dd->one;
    return ordered(f, g);
}

TARN_OPERATOR DdNode *Tarn_AddXor(DdManager *dd, DdNode **f, DdNode **g) {
    DdNode *F = *f, *G = *g;
    if (F == G) return dd->zero;
    if ((F == dd->one && G == dd->zero) || (G == dd->one && F == dd->zero)) return dd->one;
    if (bothConstant(F, G)) return dd->zero;
    return ordered(f, g);
}

TARN_OPERATOR DdNode *Tarn_AddXnor(DdManager *dd, DdNode **f, DdNode **g) {
    DdNode *F = *f, *G = *g;
    if (F == G) return dd->one;
    if (bothConstant(F, G)) return dd->zero;
    return ordered(f, g);
}

TARN_OPERATOR DdNode *Tarn_AddGreaterThan(DdManager *dd, DdNode **f, DdNode **g) {
    DdNode *F = *f, *G = *g;
    if (F == G) return dd->zero;
    if (G == dd->plusInfinity) return dd->zero;
    if (!bothConstant(F, G)) return nullptr;
    return F->value > G->value ? dd->one : dd->zero;
}

TARN_OPERATOR DdNode *Tarn_AddEnergyMinus(DdManager *dd, DdNode **f, DdNode **g) {
    DdNode *F = *f, *G = *g;
    if (F == G) return dd->zero;
    if (!bothConstant(F, G)) return nullptr;
    if (G == dd->plusInfinity) return dd->zero;
    if (G == dd->minusInfinity) return dd->plusInfinity;
    double d = F->value - G->value;
    if (!(d > 0.0)) d = 0.0;  // a NaN difference counts as no gain as well
    const double cap = ENERGY_CAP(0.0, false, false);
    if (cap >= 0.0 && d > cap) return dd->plusInfinity;
    return constant(dd, d);
}

TARN_OPERATOR DdNode *Tarn_AddEnergyPlus(DdManager *dd, DdNode **f, DdNode **g) {
    DdNode *F = *f, *G = *g;
    if (F == dd->zero) return G;
    if (G == dd->zero) return F;
    if (!bothConstant(F, G)) return ordered(f, g);
    if (F == dd->plusInfinity && G == dd->minusInfinity) return dd->zero;
    if (F == dd->minusInfinity) return G == dd->plusInfinity ? dd->zero : dd->minusInfinity;
    if (G == dd->minusInfinity) return dd->minusInfinity;
    if (F == dd->plusInfinity || G == dd->plusInfinity) return dd->plusInfinity;
    return constant(dd, G->value + F->value);
}

// The logarithm of plus infinity stays plus infinity: the constant 1e302 stands for infinity, and
// its plain logarithm (about 695) would turn an infinite leaf into a finite one.
TARN_OPERATOR DdNode *Tarn_AddLog(DdManager *dd, DdNode *f) {
    if (!tarnIsConstantRegular(f)) return nullptr;
    if (f == dd->plusInfinity) return f;
    return constant(dd, std::log(f->value));
}

TARN_OPERATOR DdNode *Tarn_AddMinimizeValue(DdManager *dd, DdNode *f) {
    if (!tarnIsConstantRegular(f)) return nullptr;
    return f->value == MINIMIZE_VALUE(0.0, false) ? dd->minusInfinity : f;
}

// ---- recursive steps ---------------------------------------------------------------------------

namespace {

// One step of the two-operand apply. setting is null for an operator that depends on its operands
// alone; otherwise it is the node of the operator's parameter, and entries are keyed with it.
DdNode *applyStep(DdManager *dd, DD_AOP op, DdNode *f, DdNode *g, DdNode *setting) {
    // terminal cases; a commutative operator also puts its operands in handle order here
    DdNode *r = op(dd, &f, &g);
    if (r != nullptr) return stepResult(r);

    // computed table
    r = setting == nullptr ? tarnCacheLookup2(dd, operatorTag(op), f, g)
                           : tarnCacheLookup3(dd, TARN_ADD_ENERGY_MINUS_TAG, f, g, setting);
    if (r != nullptr) return r;

    // give-up check
    if (__builtin_expect(tarnStepGivesUp(dd), 0)) return nullptr;

    // cofactors at the top level
    const uint32_t lf = tarnLevel(dd, f);
    const uint32_t lg = tarnLevel(dd, g);
    const uint32_t index = lf <= lg ? f->index : g->index;
    auto [fv, fnv] = tarnAddCofactors(f, lf <= lg);
    auto [gv, gnv] = tarnAddCofactors(g, lg <= lf);

    // recurse (then-side, else-side), holding temporary references
    DdNode *t = applyStep(dd, op, fv, gv, setting);
    if (t == nullptr) return nullptr;
    tarnRef(t);
    DdNode *e = applyStep(dd, op, fnv, gnv, setting);
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
    if (setting == nullptr) {
        tarnCacheInsert2(dd, operatorTag(op), f, g, r);
    } else {
        tarnCacheInsert3(dd, TARN_ADD_ENERGY_MINUS_TAG, f, g, setting, r);
    }
    return r;
}

// One step of the one-operand apply; setting as in applyStep (two-operand entries (f, setting)).
DdNode *monadicStep(DdManager *dd, DD_MAOP op, DdNode *f, DdNode *setting) {
    // terminal cases
    DdNode *r = op(dd, f);
    if (r != nullptr) return stepResult(r);

    // computed table
    r = setting == nullptr ? tarnCacheLookup1(dd, operatorTag(op), f)
                           : tarnCacheLookup2(dd, operatorTag(op), f, setting);
    if (r != nullptr) return r;

    // give-up check
    if (__builtin_expect(tarnStepGivesUp(dd), 0)) return nullptr;

    // recurse (then-side, else-side), holding temporary references
    DdNode *t = monadicStep(dd, op, f->T, setting);
    if (t == nullptr) return nullptr;
    tarnRef(t);
    DdNode *e = monadicStep(dd, op, f->E, setting);
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
    if (setting == nullptr) {
        tarnCacheInsert1(dd, operatorTag(op), f, r);
    } else {
        tarnCacheInsert2(dd, operatorTag(op), f, setting, r);
    }
    return r;
}

}  // namespace
