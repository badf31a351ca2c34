// Variables and node inspection: setVarNum0, varNum0, ithVar0, var0, level2Var0, var2Level0,
// low0, high0, logicZero0.
#include "binding/binding.h"
#include "binding/pairing.h"

using namespace tarnjni;

namespace {

// Largest variable index plus one that can be asked for; larger indices name no variable.
constexpr uint32_t kVariableIndexLimit = 0x7FFFFFFE;

void throw_invalid_count(JNIEnv *env) {
    throw_java(env, kIllegalArgumentException, "invalid number of variables");
}

// The else-child (low) or then-child (high) of f; -1 for a constant. Read as a BDD, a complemented
// f passes its mark on to the child; read as an ADD, the child comes back as stored.
jlong child(JNIEnv *env, jlong f, jboolean isAdd, DdNode *(*select)(DdNode *)) {
    return locked_call(env, {f}, jlong{0}, [&](DdManager *) -> jlong {
        DdNode *n = node(f);
        if (Tarn_IsConstant(n)) return kMissingChild;
        DdNode *c = Tarn_NotCond(select(n), !is_true(isAdd) && Tarn_IsComplement(n));
        Tarn_Ref(c);
        return handle(c);
    });
}

}  // namespace

// Grows the variable count to num and returns the previous count. Every pairing record is
// extended first with the projection functions of the new indices (which creates the variables);
// any variables still missing are then created at the end of the order. The manager holds the BDD
// projection functions; a new ADD projection function gets one reference that keeps it alive.
extern "C" JNIEXPORT jint JNICALL Java_ordo_TARNFactory_setVarNum0(JNIEnv *env, jclass, jint num,
                                                                   jboolean isAdd) {
    if (num < 1) {
        throw_invalid_count(env);
        return 0;
    }
    const bool add = is_true(isAdd);
    return locked_call(env, {}, jint{0}, [&](DdManager *dd) -> jint {
        // The count is read under the lock: another thread may be adding variables or shutting
        // the factory down.
        int previous = Tarn_ReadSize(dd);
        if (num < previous) {
            throw_invalid_count(env);
            return 0;
        }
        GrowResult grown = grow_all_pairings(dd, num, add);
        if (grown != GrowResult::ok) {
            throw_grow_failure(env, dd, grown);
            return 0;
        }
        while (Tarn_ReadSize(dd) < num) {
            DdNode *var = add ? Tarn_AddNewVar(dd) : Tarn_BddNewVar(dd);
            if (var == nullptr) {
                throw_failure(env, Tarn_ReadErrorCode(dd));
                return 0;
            }
            if (add) Tarn_Ref(var);
        }
        return previous;
    });
}

extern "C" JNIEXPORT jint JNICALL Java_ordo_TARNFactory_varNum0(JNIEnv *env, jclass) {
    return locked_call(env, {}, jint{0}, [](DdManager *dd) { return Tarn_ReadSize(dd); });
}

// The projection function of variable var, creating the missing variables; 0 without an exception
// for an index (read as unsigned) of 2147483646 or more.
extern "C" JNIEXPORT jlong JNICALL Java_ordo_TARNFactory_ithVar0(JNIEnv *env, jclass, jint var,
                                                                 jboolean isAdd) {
    if (static_cast<uint32_t>(var) >= kVariableIndexLimit) return 0;
    return node_call(env, {}, [&](DdManager *dd) { return projection(dd, var, is_true(isAdd)); });
}

extern "C" JNIEXPORT jint JNICALL Java_ordo_TARNFactory_var0(JNIEnv *env, jclass, jlong f) {
    return locked_call(env, {f}, jint{-1}, [&](DdManager *) {
        return static_cast<jint>(Tarn_ReadNodeIndex(node(f)));
    });
}

extern "C" JNIEXPORT jint JNICALL Java_ordo_TARNFactory_level2Var0(JNIEnv *env, jclass,
                                                                   jint level) {
    return locked_call(env, {}, jint{-1},
                       [&](DdManager *dd) { return Tarn_ReadInvPerm(dd, level); });
}

extern "C" JNIEXPORT jint JNICALL Java_ordo_TARNFactory_var2Level0(JNIEnv *env, jclass, jint var) {
    return locked_call(env, {}, jint{-1}, [&](DdManager *dd) { return Tarn_ReadPerm(dd, var); });
}

extern "C" JNIEXPORT jlong JNICALL Java_ordo_TARNFactory_low0(JNIEnv *env, jclass, jlong f,
                                                              jboolean isAdd) {
    return child(env, f, isAdd, Tarn_Else);
}

extern "C" JNIEXPORT jlong JNICALL Java_ordo_TARNFactory_high0(JNIEnv *env, jclass, jlong f,
                                                               jboolean isAdd) {
    return child(env, f, isAdd, Tarn_Then);
}

extern "C" JNIEXPORT jlong JNICALL Java_ordo_TARNFactory_logicZero0(JNIEnv *env, jclass) {
    return node_call(env, {}, [](DdManager *dd) { return Tarn_ReadLogicZero(dd); });
}
