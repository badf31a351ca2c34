// BDD operations from Java: apply0, ite0, not0, equalBDDs0, exist0, forAll0, relprod0. With isAdd
// set, apply0, ite0, not0, exist0 and forAll0 run their ADD forms (addOps.h).
#include "binding/addOps.h"
#include "binding/binding.h"

using namespace tarnjni;

namespace {

// The BDD operation of an apply0 code from 0 to kLastBddCode.
DdNode *apply_bdd(DdManager *dd, DdNode *a, DdNode *b, jint op) {
    switch (op) {
        case 0: return Tarn_BddAnd(dd, a, b);
        case 1: return Tarn_BddXor(dd, a, b);
        case 2: return Tarn_BddOr(dd, a, b);
        case 3: return Tarn_BddNand(dd, a, b);
        case 4: return Tarn_BddNor(dd, a, b);
        case 5: return Tarn_BddOr(dd, Tarn_Not(a), b);   // implication
        case 6: return Tarn_BddXnor(dd, a, b);           // equivalence
        case 7: return Tarn_BddAnd(dd, a, Tarn_Not(b));  // difference
        case 8: return Tarn_BddAnd(dd, Tarn_Not(a), b);  // less
        case 9: return Tarn_BddOr(dd, a, Tarn_Not(b));   // inverse implication
        default: return nullptr;
    }
}

constexpr jint kLastBddCode = 9;

// Raises "operation not supported" and yields no result.
DdNode *unsupported(JNIEnv *env) {
    throw_java(env, kInternalError, "operation not supported");
    return nullptr;
}

}  // namespace

// a op b. With releaseA, one reference of a is dropped after the result is referenced, and with
// releaseA and releaseB one of b as well; releaseB alone releases nothing. The releases happen also
// when the code is refused.
extern "C" JNIEXPORT jlong JNICALL Java_ordo_TARNFactory_apply0(JNIEnv *env, jclass, jlong a,
                                                                jlong b, jint op, jboolean isAdd,
                                                                jboolean releaseA,
                                                                jboolean releaseB) {
    return node_call(
        env, {a, b},
        [&](DdManager *dd) {
            if (is_true(isAdd)) return add_apply(env, dd, node(a), node(b), op);
            if (op < 0 || op > kLastBddCode) return unsupported(env);
            return apply_bdd(dd, node(a), node(b), op);
        },
        [&](DdManager *dd) {
            if (!is_true(releaseA)) return;
            Tarn_RecursiveDeref(dd, node(a));
            if (is_true(releaseB)) Tarn_RecursiveDeref(dd, node(b));
        });
}

extern "C" JNIEXPORT jlong JNICALL Java_ordo_TARNFactory_ite0(JNIEnv *env, jclass, jlong f,
                                                              jlong g, jlong h, jboolean isAdd) {
    return node_call(env, {f, g, h}, [&](DdManager *dd) {
        if (is_true(isAdd)) return add_ite(env, dd, node(f), node(g), node(h));
        return Tarn_BddIte(dd, node(f), node(g), node(h));
    });
}

// The complement of a BDD is its handle with the mark toggled; Java owns one more reference of
// the node.
extern "C" JNIEXPORT jlong JNICALL Java_ordo_TARNFactory_not0(JNIEnv *env, jclass, jlong f,
                                                              jboolean isAdd) {
    return node_call(env, {f}, [&](DdManager *dd) {
        if (is_true(isAdd)) return add_not(env, dd, node(f));
        return Tarn_Not(node(f));
    });
}

// Two BDDs are equal when each implies the other; the second test runs only when the first holds.
extern "C" JNIEXPORT jboolean JNICALL Java_ordo_TARNFactory_equalBDDs0(JNIEnv *env, jclass,
                                                                       jlong a, jlong b) {
    return locked_call(env, {a, b}, jboolean{JNI_FALSE}, [&](DdManager *dd) -> jboolean {
        const bool equal = Tarn_BddImplies(dd, node(a), node(b)) == 1 &&
                           Tarn_BddImplies(dd, node(b), node(a)) == 1;
        return equal ? JNI_TRUE : JNI_FALSE;
    });
}

extern "C" JNIEXPORT jlong JNICALL Java_ordo_TARNFactory_exist0(JNIEnv *env, jclass, jlong f,
                                                                jlong cube, jboolean isAdd) {
    return node_call(env, {f, cube}, [&](DdManager *dd) {
        if (is_true(isAdd)) return add_exist(env, dd, node(f), node(cube));
        return Tarn_BddExistAbstract(dd, node(f), node(cube));
    });
}

extern "C" JNIEXPORT jlong JNICALL Java_ordo_TARNFactory_forAll0(JNIEnv *env, jclass, jlong f,
                                                                 jlong cube, jboolean isAdd) {
    return node_call(env, {f, cube}, [&](DdManager *dd) {
        if (is_true(isAdd)) return add_forall(env, dd, node(f), node(cube));
        return Tarn_BddForAllAbstract(dd, node(f), node(cube));
    });
}

extern "C" JNIEXPORT jlong JNICALL Java_ordo_TARNFactory_relprod0(JNIEnv *env, jclass, jlong f,
                                                                  jlong g, jlong cube) {
    return node_call(env, {f, g, cube}, [&](DdManager *dd) {
        return Tarn_BddAndAbstract(dd, node(f), node(g), node(cube));
    });
}
