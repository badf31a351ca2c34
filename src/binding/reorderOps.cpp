// Variable ordering: reorder0, autoReorder0, autoReorder1, getreordermethod0, reorderTimes0,
// reorderVerbose0, setVarOrder0; variable blocks: addVarBlock0, clearVarBlocks0, printVarTree0.
#include <climits>

#include "binding/binding.h"
#include "mtr/mtr.h"

using namespace tarnjni;

namespace {

// Method codes of the reordering-method constants, in the order of kReorderFieldNames.
constexpr int kReorderCodes[kReorderMethodCount] = {1, 2, 4, 5, 8, 11, 9, 12};

// The method code of a ReorderMethod object; raises InternalError "Unknown Java reorder method!"
// and returns 0 when it is none of the constants.
int method_code(JNIEnv *env, jobject method) {
    jclass factory = env->FindClass("ordo/BDDFactory");
    int code = 0;
    if (factory != nullptr) {
        for (int i = 0; i < kReorderMethodCount && code == 0; ++i) {
            jfieldID id = g_state.reorderFields[i];
            if (id == nullptr) continue;
            jobject constant = env->GetStaticObjectField(factory, id);
            if (env->IsSameObject(method, constant)) code = kReorderCodes[i];
            env->DeleteLocalRef(constant);
        }
        env->DeleteLocalRef(factory);
    }
    if (code == 0) throw_java(env, kInternalError, "Unknown Java reorder method!");
    return code;
}

// The constant of a method code; raises InternalError "Unknown reorder method in TARN!" and returns
// null for a code that Java has no constant for.
jobject method_object(JNIEnv *env, int code) {
    int field = -1;
    for (int i = 0; i < kReorderMethodCount; ++i) {
        if (kReorderCodes[i] == code) field = i;
    }
    if (field < 0) {
        throw_java(env, kInternalError, "Unknown reorder method in TARN!");
        return nullptr;
    }
    if (env->ExceptionCheck() || g_state.reorderFields[field] == nullptr) return nullptr;
    jclass factory = env->FindClass("ordo/BDDFactory");
    if (factory == nullptr) return nullptr;
    jobject constant = env->GetStaticObjectField(factory, g_state.reorderFields[field]);
    env->DeleteLocalRef(factory);
    return constant;
}

}  // namespace

extern "C" JNIEXPORT void JNICALL Java_ordo_TARNFactory_reorder0(JNIEnv *env, jclass,
                                                                jobject method) {
    locked_call(env, {}, [&](DdManager *dd) {
        const int code = method_code(env, method);
        if (!env->ExceptionCheck()) Tarn_Reorder(dd, code, 10);
    });
}

extern "C" JNIEXPORT void JNICALL Java_ordo_TARNFactory_autoReorder0(JNIEnv *env, jclass,
                                                                    jobject method,
                                                                    jboolean setMax, jint max) {
    const int code = method_code(env, method);
    locked_call(env, {}, [&](DdManager *dd) {
        if (env->ExceptionCheck()) return;
        if (code == 1) {
            Tarn_DisableAutoReorder(dd);
            return;
        }
        Tarn_EnableAutoReorder(dd, code);
        if (is_true(setMax)) {
            Tarn_SetReorderBudget(dd, max == INT_MAX ? 4294967295u : static_cast<unsigned>(max));
        }
    });
}

extern "C" JNIEXPORT void JNICALL Java_ordo_TARNFactory_autoReorder1(JNIEnv *env, jclass) {
    locked_call(env, {}, [](DdManager *dd) { Tarn_EnableAutoReorder(dd, 0); });
}

extern "C" JNIEXPORT jobject JNICALL Java_ordo_TARNFactory_getreordermethod0(JNIEnv *env, jclass) {
    return locked_call(env, {}, jobject{nullptr}, [&](DdManager *dd) {
        int code = 0;
        Tarn_ReadAutoReorder(dd, &code);
        return method_object(env, code);
    });
}

extern "C" JNIEXPORT jint JNICALL Java_ordo_TARNFactory_reorderTimes0(JNIEnv *env, jclass) {
    return locked_call(env, {}, jint{0}, [](DdManager *dd) {
        return static_cast<jint>(Tarn_ReadReorderingTime(dd));
    });
}

extern "C" JNIEXPORT jint JNICALL Java_ordo_TARNFactory_reorderVerbose0(JNIEnv *env, jclass,
                                                                       jint v) {
    return locked_call(env, {}, jint{0}, [&](DdManager *dd) {
        const int before = Tarn_ReorderReportOn(dd);
        if (v != 0) {
            Tarn_EnableReorderReport(dd);
        } else {
            Tarn_DisableReorderReport(dd);
        }
        return before;
    });
}

extern "C" JNIEXPORT void JNICALL Java_ordo_TARNFactory_setVarOrder0(JNIEnv *env, jclass,
                                                                    jintArray order) {
    bool wrongLength = false;
    bool notPermutation = false;
    locked_call(env, {}, [&](DdManager *dd) {
        if (order == nullptr || env->GetArrayLength(order) != Tarn_ReadSize(dd)) {
            wrongLength = true;
            return;
        }
        auto *levels = static_cast<jint *>(env->GetPrimitiveArrayCritical(order, nullptr));
        if (levels == nullptr) return;
        // An order that splits a variable block is ignored; one that does not name every variable
        // exactly once is refused, so that the caller does not take the order as set.
        const int done = Tarn_SetOrder(dd, levels);
        env->ReleasePrimitiveArrayCritical(order, levels, JNI_ABORT);
        notPermutation = done == 0 && Tarn_ReadErrorCode(dd) == TARN_INVALID_ARGUMENT;
    });
    if (wrongLength) throw_java(env, kIllegalArgumentException, "array size != number of vars");
    if (notPermutation) {
        throw_java(env, kIllegalArgumentException, "order is not a permutation of the variables");
    }
}

extern "C" JNIEXPORT void JNICALL Java_ordo_TARNFactory_addVarBlock0(JNIEnv *env, jclass,
                                                                    jint first, jint last,
                                                                    jboolean fixed) {
    bool bad = false;
    locked_call(env, {}, [&](DdManager *dd) {
        const int lf = Tarn_ReadPerm(dd, first);
        const int ll = Tarn_ReadPerm(dd, last);
        // a variable that does not exist has no level to start or end a block at (the largest
        // index reads back as itself, not as -1)
        if (lf > ll || lf < 0 || ll >= Tarn_ReadSize(dd)) {
            bad = true;
            return;
        }
        Tarn_MakeTreeNode(dd, static_cast<unsigned>(first), static_cast<unsigned>(ll - lf + 1),
                          is_true(fixed) ? MTR_FIXED : 0);
    });
    if (bad) throw_java(env, kInternalError, "Bad indexes in variable block!");
}

extern "C" JNIEXPORT void JNICALL Java_ordo_TARNFactory_clearVarBlocks0(JNIEnv *env, jclass) {
    locked_call(env, {}, [](DdManager *dd) { Tarn_FreeTree(dd); });
}

extern "C" JNIEXPORT void JNICALL Java_ordo_TARNFactory_printVarTree0(JNIEnv *env, jclass) {
    locked_call(env, {}, [](DdManager *dd) {
        Tarn_PrintGroupedOrder(dd, "BDD", nullptr);
        fflush(Tarn_ReadStdout(dd));
    });
}
