// Controllers and weighted relations from Java: determinizeController0 and negCycleCheck0.
#include <cstdio>

#include "binding/binding.h"
#include "binding/pairing.h"

using namespace tarnjni;

// f with exactly one allowed assignment of the cube's variables kept for every input that f
// allows; the cube's variables are left at the bottom of the order.
extern "C" JNIEXPORT jlong JNICALL Java_ordo_TARNFactory_determinizeController0(JNIEnv *env,
                                                                                jclass, jlong f,
                                                                                jlong cube,
                                                                                jboolean isAdd) {
    return node_call(env, {f, cube}, [&](DdManager *dd) -> DdNode * {
        DdNode *r;
        if (!is_true(isAdd)) {
            r = Tarn_BddDeterminize(dd, node(f), node(cube));
        } else {
            if (!check_add_operands(env, {node(f), node(cube)})) return nullptr;
            r = Tarn_AddDeterminize(dd, node(f), node(cube));
        }
        return refusal_as_invalid_argument(env, dd, r);
    });
}

// Whether the weighted transition ADD lets state values decrease without end. The pairing record
// gives every primed variable its unprimed partner; it is grown to one entry per variable before
// the check reads it, and again afterwards, so that it also covers the fresh variables the check
// appends. The trace starts with the variable index of every entry of the record. A check that
// cannot finish raises ordo.BDDException and returns false.
extern "C" JNIEXPORT jboolean JNICALL Java_ordo_TARNFactory_negCycleCheck0(JNIEnv *env, jclass,
                                                                           jlong trans,
                                                                           jlong curS,
                                                                           jlong primeCube,
                                                                           jlong pairing) {
    return pairing_call(
        env, pairing, {trans, curS, primeCube}, jboolean{JNI_FALSE},
        [&](DdManager *dd, PairingRecord *record) -> jboolean {
            if (!check_add_operands(env, {node(trans), node(curS)})) return JNI_FALSE;
            GrowResult grown = grow_pairing(dd, record, Tarn_ReadSize(dd), true);
            if (grown != GrowResult::ok) {
                throw_grow_failure(env, dd, grown);
                return JNI_FALSE;
            }
            for (int j = 0; j < record->count; ++j) {
                printf("%d\n", static_cast<int>(Tarn_ReadNodeIndex(record->entries[j])));
            }
            const int result =
                Tarn_NegCycleCheck(dd, node(trans), node(curS), node(primeCube), record->entries);
            const int errorCode = Tarn_ReadErrorCode(dd);
            grown = grow_pairing(dd, record, Tarn_ReadSize(dd), true);
            if (result < 0) {
                throw_failure(env, errorCode);
                return JNI_FALSE;
            }
            throw_grow_failure(env, dd, grown);
            return result == 1 ? JNI_TRUE : JNI_FALSE;
        });
}
