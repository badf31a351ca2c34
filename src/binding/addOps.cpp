// ADD operations from Java: constants, the apply-based operators, negation and the extreme leaves,
// abstraction, the conversions between ADDs and BDDs, and the ADD forms of apply0, ite0, not0,
// exist0 and forAll0 (addOps.h).
//
// ADD handles carry no complement mark. A marked handle is a BDD given to an ADD operation, whose
// steps would read a misaligned node and could store a complemented then-edge in the unique table:
// the ADD entry points refuse it with IllegalArgumentException.
#include "binding/addOps.h"

#include <limits>

using namespace tarnjni;

namespace {

// The frame of an ADD entry point: node_call with the ADD operands checked as well.
template <class Op>
jlong add_call(JNIEnv *env, Handles operands, Op &&op) {
    return node_call(env, operands, [&](DdManager *dd) -> DdNode * {
        for (jlong h : operands) {
            if (!check_add_operands(env, {node(h)})) return nullptr;
        }
        return op(dd);
    });
}

// The frame of an abstraction, which checks its cube itself.
jlong abstract_call(JNIEnv *env, jlong f, jlong cube,
                    DdNode *(*abstraction)(DdManager *, DdNode *, DdNode *)) {
    return node_call(env, {f, cube}, [&](DdManager *dd) -> DdNode * {
        if (!check_add_operands(env, {node(f)})) return nullptr;
        return refusal_as_invalid_argument(env, dd, abstraction(dd, node(f), node(cube)));
    });
}

// Raises "operation not supported" and yields no result.
DdNode *unsupported(JNIEnv *env) {
    throw_java(env, kInternalError, "operation not supported");
    return nullptr;
}

// op(a', b') where the operand selected by complementA is replaced by its ADD complement, which is
// held only while the apply runs.
DdNode *apply_with_complement(DdManager *dd, DD_AOP op, DdNode *a, DdNode *b, bool complementA) {
    DdNode *c = Tarn_AddCmpl(dd, complementA ? a : b);
    if (c == nullptr) return nullptr;
    Tarn_Ref(c);
    DdNode *r = complementA ? Tarn_AddApply(dd, op, c, b) : Tarn_AddApply(dd, op, a, c);
    if (r != nullptr) Tarn_Ref(r);
    Tarn_RecursiveDeref(dd, c);
    if (r != nullptr) Tarn_DecRef(r);
    return r;
}

// A 0/1 ADD has only the leaves zero and one. Every leaf is looked at: a largest leaf of one and a
// smallest of zero leave room for leaves in between (0.5, say), and exist0 would then combine
// such leaves with the disjunction.
bool is_zero_one(DdManager *dd, DdNode *f) { return Tarn_AddIsZeroOne(dd, f) != 0; }

}  // namespace

// ---- ADD forms of the shared entry points ------------------------------------------------------

namespace tarnjni {

DdNode *add_apply(JNIEnv *env, DdManager *dd, DdNode *a, DdNode *b, jint op) {
    if (!check_add_operands(env, {a, b})) return nullptr;
    switch (op) {
        case 0:
        case 10: return Tarn_AddApply(dd, Tarn_AddTimes, a, b);
        case 1: return Tarn_AddApply(dd, Tarn_AddXor, a, b);
        case 2: return Tarn_AddApply(dd, Tarn_AddOr, a, b);
        case 3: return Tarn_AddApply(dd, Tarn_AddNand, a, b);
        case 4: return Tarn_AddApply(dd, Tarn_AddNor, a, b);
        case 5: return apply_with_complement(dd, Tarn_AddOr, a, b, true);  // implication
        case 6:
        case 18: return Tarn_AddApply(dd, Tarn_AddXnor, a, b);
        case 7: return apply_with_complement(dd, Tarn_AddTimes, a, b, false);  // difference
        case 8: return Tarn_AddApply(dd, Tarn_AddGreaterThan, b, a);           // a < b
        case 9: return apply_with_complement(dd, Tarn_AddOr, a, b, false);    // inverse implication
        case 11: return Tarn_AddApply(dd, Tarn_AddDivide, a, b);
        case 12: return Tarn_AddApply(dd, Tarn_AddPlus, a, b);
        case 13: return Tarn_AddApply(dd, Tarn_AddMinus, a, b);
        case 14: return Tarn_AddApply(dd, Tarn_AddMaximum, a, b);
        case 15: return Tarn_AddApply(dd, Tarn_AddMinimum, a, b);
        case 16:
            // plain max(a - b, 0): the cap of addEngSubtract0 is switched off
            ENERGY_CAP(0.0, true, false);
            return Tarn_AddApply(dd, Tarn_AddEnergyMinus, a, b);
        case 17: return Tarn_AddApply(dd, Tarn_AddEnergyPlus, a, b);
        default: return unsupported(env);
    }
}

DdNode *add_ite(JNIEnv *env, DdManager *dd, DdNode *f, DdNode *g, DdNode *h) {
    if (!check_add_operands(env, {f, g, h})) return nullptr;
    return Tarn_AddIte(dd, f, g, h);
}

DdNode *add_not(JNIEnv *env, DdManager *dd, DdNode *f) {
    if (!check_add_operands(env, {f})) return nullptr;
    return Tarn_AddCmpl(dd, f);
}

DdNode *add_exist(JNIEnv *env, DdManager *dd, DdNode *f, DdNode *cube) {
    if (!check_add_operands(env, {f})) return nullptr;
    DdNode *r = is_zero_one(dd, f) ? Tarn_AddOrAbstract(dd, f, cube)
                                   : Tarn_AddExistAbstract(dd, f, cube);
    return refusal_as_invalid_argument(env, dd, r);
}

DdNode *add_forall(JNIEnv *env, DdManager *dd, DdNode *f, DdNode *cube) {
    if (!check_add_operands(env, {f})) return nullptr;
    return refusal_as_invalid_argument(env, dd, Tarn_AddUnivAbstract(dd, f, cube));
}

}  // namespace tarnjni

// ---- constants ---------------------------------------------------------------------------------

// The constant of v after normalisation: 1e151 or more is plus infinity, below the epsilon zero.
extern "C" JNIEXPORT jlong JNICALL Java_ordo_TARNFactory_addConst0(JNIEnv *env, jclass, jdouble v) {
    return node_call(env, {}, [&](DdManager *dd) { return Tarn_AddConst(dd, v); });
}

extern "C" JNIEXPORT jlong JNICALL Java_ordo_TARNFactory_arithmeticZero0(JNIEnv *env, jclass) {
    return node_call(env, {}, [](DdManager *dd) { return Tarn_ReadZero(dd); });
}

extern "C" JNIEXPORT jlong JNICALL Java_ordo_TARNFactory_arithmeticLogicOne0(JNIEnv *env, jclass) {
    return node_call(env, {}, [](DdManager *dd) { return Tarn_ReadOne(dd); });
}

extern "C" JNIEXPORT jlong JNICALL Java_ordo_TARNFactory_arithmeticPlusInfinity0(JNIEnv *env,
                                                                                 jclass) {
    return node_call(env, {}, [](DdManager *dd) { return Tarn_ReadPlusInfinity(dd); });
}

extern "C" JNIEXPORT jlong JNICALL Java_ordo_TARNFactory_arithmeticMinusInfinity0(JNIEnv *env,
                                                                                  jclass) {
    return node_call(env, {}, [](DdManager *dd) { return Tarn_ReadMinusInfinity(dd); });
}

// Whether f's node (complement mark cleared) is a constant.
extern "C" JNIEXPORT jboolean JNICALL Java_ordo_TARNFactory_isAddConst0(JNIEnv *env, jclass,
                                                                        jlong f) {
    return locked_call(env, {f}, jboolean{JNI_FALSE}, [&](DdManager *) -> jboolean {
        return Tarn_IsConstant(node(f)) ? JNI_TRUE : JNI_FALSE;
    });
}

// The value of the constant at f; NaN for a node that is not a constant (its value field holds a
// child's address).
extern "C" JNIEXPORT jdouble JNICALL Java_ordo_TARNFactory_retrieveConstValue0(JNIEnv *env, jclass,
                                                                               jlong f) {
    constexpr jdouble kNotAConstant = std::numeric_limits<jdouble>::quiet_NaN();
    return locked_call(env, {f}, kNotAConstant, [&](DdManager *) {
        return Tarn_IsConstant(node(f)) ? Tarn_V(node(f)) : kNotAConstant;
    });
}

// ---- operators ---------------------------------------------------------------------------------

extern "C" JNIEXPORT jlong JNICALL Java_ordo_TARNFactory_addApplyLog0(JNIEnv *env, jclass,
                                                                      jlong f) {
    return add_call(env, {f}, [&](DdManager *dd) {
        return Tarn_AddMonadicApply(dd, Tarn_AddLog, node(f));
    });
}

// Sets MINIMIZE_VALUE to v (it stays set) and turns the leaves equal to v into minus infinity.
extern "C" JNIEXPORT jlong JNICALL Java_ordo_TARNFactory_addMinimizeVal0(JNIEnv *env, jclass,
                                                                         jlong f, jdouble v) {
    return add_call(env, {f}, [&](DdManager *dd) {
        MINIMIZE_VALUE(v, true);
        return Tarn_AddMonadicApply(dd, Tarn_AddMinimizeValue, node(f));
    });
}

// Enables ENERGY_CAP with the value cap (it stays set until the next call or apply0 code 16) and
// computes max(f - g, 0) with differences above a non-negative cap made plus infinity.
extern "C" JNIEXPORT jlong JNICALL Java_ordo_TARNFactory_addEngSubtract0(JNIEnv *env, jclass,
                                                                         jlong f, jlong g,
                                                                         jdouble cap) {
    return add_call(env, {f, g}, [&](DdManager *dd) {
        ENERGY_CAP(cap, true, true);
        return Tarn_AddApply(dd, Tarn_AddEnergyMinus, node(f), node(g));
    });
}

extern "C" JNIEXPORT jlong JNICALL Java_ordo_TARNFactory_addAdditiveNeg0(JNIEnv *env, jclass,
                                                                         jlong f) {
    return add_call(env, {f}, [&](DdManager *dd) { return Tarn_AddNegate(dd, node(f)); });
}

extern "C" JNIEXPORT jlong JNICALL Java_ordo_TARNFactory_addFindMax0(JNIEnv *env, jclass,
                                                                     jlong f) {
    return add_call(env, {f}, [&](DdManager *dd) { return Tarn_AddFindMax(dd, node(f)); });
}

extern "C" JNIEXPORT jlong JNICALL Java_ordo_TARNFactory_addFindMin0(JNIEnv *env, jclass,
                                                                     jlong f) {
    return add_call(env, {f}, [&](DdManager *dd) { return Tarn_AddFindMin(dd, node(f)); });
}

// ---- abstraction -------------------------------------------------------------------------------

extern "C" JNIEXPORT jlong JNICALL Java_ordo_TARNFactory_arithmeticExist0(JNIEnv *env, jclass,
                                                                          jlong f, jlong cube) {
    return abstract_call(env, f, cube, Tarn_AddExistAbstract);
}

extern "C" JNIEXPORT jlong JNICALL Java_ordo_TARNFactory_addAbstractMax0(JNIEnv *env, jclass,
                                                                         jlong f, jlong cube) {
    return abstract_call(env, f, cube, Tarn_AddMaxAbstract);
}

extern "C" JNIEXPORT jlong JNICALL Java_ordo_TARNFactory_addAbstractMin0(JNIEnv *env, jclass,
                                                                         jlong f, jlong cube) {
    return abstract_call(env, f, cube, Tarn_AddMinAbstract);
}

// ---- conversions -------------------------------------------------------------------------------

// The 0/1 ADD of a BDD (which may be complemented).
extern "C" JNIEXPORT jlong JNICALL Java_ordo_TARNFactory_toADD0(JNIEnv *env, jclass, jlong f) {
    return node_call(env, {f}, [&](DdManager *dd) { return Tarn_BddToAdd(dd, node(f)); });
}

extern "C" JNIEXPORT jlong JNICALL Java_ordo_TARNFactory_toBDD0(JNIEnv *env, jclass, jlong f) {
    return add_call(env, {f}, [&](DdManager *dd) { return Tarn_AddBddPattern(dd, node(f)); });
}

extern "C" JNIEXPORT jlong JNICALL Java_ordo_TARNFactory_toBDDThreshold(JNIEnv *env, jclass,
                                                                        jlong f, jdouble t) {
    return add_call(env, {f}, [&](DdManager *dd) {
        return Tarn_AddBddThreshold(dd, node(f), t);
    });
}

extern "C" JNIEXPORT jlong JNICALL Java_ordo_TARNFactory_toBDDStrictThreshold(JNIEnv *env, jclass,
                                                                              jlong f, jdouble t) {
    return add_call(env, {f}, [&](DdManager *dd) {
        return Tarn_AddBddStrictThreshold(dd, node(f), t);
    });
}

extern "C" JNIEXPORT jlong JNICALL Java_ordo_TARNFactory_toBDDInterval(JNIEnv *env, jclass,
                                                                       jlong f, jdouble lo,
                                                                       jdouble hi) {
    return add_call(env, {f}, [&](DdManager *dd) {
        return Tarn_AddBddInterval(dd, node(f), lo, hi);
    });
}

extern "C" JNIEXPORT jlong JNICALL Java_ordo_TARNFactory_toBDDIthBit(JNIEnv *env, jclass, jlong f,
                                                                     jint i) {
    return add_call(env, {f}, [&](DdManager *dd) { return Tarn_AddBddIthBit(dd, node(f), i); });
}

// The 0/1 ADD of the leaves below t (kind 1), above t (2), at most t (3) or at least t (4).
extern "C" JNIEXPORT jlong JNICALL Java_ordo_TARNFactory_convertToZeroOneADDByThres0(
    JNIEnv *env, jclass, jlong f, jlong kind, jdouble t) {
    return add_call(env, {f}, [&](DdManager *dd) {
        switch (kind) {
            case 1: return Tarn_AddThresholdLess(dd, node(f), t);
            case 2: return Tarn_AddThresholdGreater(dd, node(f), t);
            case 3: return Tarn_AddThresholdAtMost(dd, node(f), t);
            case 4: return Tarn_AddThresholdAtLeast(dd, node(f), t);
            default: return unsupported(env);
        }
    });
}

extern "C" JNIEXPORT jboolean JNICALL Java_ordo_TARNFactory_isZeroOneADD0(JNIEnv *env, jclass,
                                                                          jlong f) {
    return locked_call(env, {f}, jboolean{JNI_FALSE}, [&](DdManager *dd) -> jboolean {
        if (!check_add_operands(env, {node(f)})) return JNI_FALSE;
        return is_zero_one(dd, node(f)) ? JNI_TRUE : JNI_FALSE;
    });
}
