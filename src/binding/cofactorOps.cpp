// Generalized cofactors from Java: restrict0 and restrictWith0 (the cofactor by a cube of
// literals) and simplify0 (restrict by a care set).
#include "binding/binding.h"

using namespace tarnjni;

// f with the variables of the cube c fixed as c fixes them.
extern "C" JNIEXPORT jlong JNICALL Java_ordo_TARNFactory_restrict0(JNIEnv *env, jclass, jlong f,
                                                                   jlong c) {
    return node_call(env, {f, c},
                     [&](DdManager *dd) { return Tarn_Cofactor(dd, node(f), node(c)); });
}

// restrict0, then one reference of f is dropped and, with releaseC, one of c; the releases happen
// under the lock taken again, also when the cofactor yielded no result.
extern "C" JNIEXPORT jlong JNICALL Java_ordo_TARNFactory_restrictWith0(JNIEnv *env, jclass,
                                                                       jlong f, jlong c,
                                                                       jboolean releaseC) {
    const jlong r = node_call(env, {f, c}, [&](DdManager *dd) {
        return Tarn_Cofactor(dd, node(f), node(c));
    });
    locked_call(env, {f, c}, [&](DdManager *dd) {
        Tarn_RecursiveDeref(dd, node(f));
        if (is_true(releaseC)) Tarn_RecursiveDeref(dd, node(c));
    });
    return r;
}

// A diagram that agrees with f wherever c is one and is never larger than f.
extern "C" JNIEXPORT jlong JNICALL Java_ordo_TARNFactory_simplify0(JNIEnv *env, jclass, jlong f,
                                                                   jlong c, jboolean isAdd) {
    return node_call(env, {f, c}, [&](DdManager *dd) -> DdNode * {
        if (!is_true(isAdd)) return Tarn_BddRestrict(dd, node(f), node(c));
        if (!check_add_operands(env, {node(f), node(c)})) return nullptr;
        return Tarn_AddRestrict(dd, node(f), node(c));
    });
}
