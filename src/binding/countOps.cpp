// Counting, cubes, support and printing from Java: satCount0, pathCount0, getSize0, nodeCount0,
// satOne0, support0, varSupportIndex0, printSet0, printDot0. All of them hold the library lock:
// the node, leaf and support counts write visit marks into the nodes.
#include "binding/binding.h"
#include "util/util.h"

using namespace tarnjni;

// Satisfying assignments over all variables of the manager; -1 when they cannot be counted.
extern "C" JNIEXPORT jdouble JNICALL Java_ordo_TARNFactory_satCount0(JNIEnv *env, jclass,
                                                                     jlong f) {
    return locked_call(env, {f}, jdouble{-1.0}, [&](DdManager *dd) {
        return Tarn_CountMinterms(dd, node(f), Tarn_ReadSize(dd));
    });
}

// Paths to a non-zero constant; -1 without memory.
extern "C" JNIEXPORT jdouble JNICALL Java_ordo_TARNFactory_pathCount0(JNIEnv *env, jclass,
                                                                      jlong f) {
    return locked_call(env, {f}, jdouble{-1.0}, [&](DdManager *) {
        return Tarn_CountPaths(node(f));
    });
}

// Nodes of f, its constant included.
extern "C" JNIEXPORT jint JNICALL Java_ordo_TARNFactory_getSize0(JNIEnv *env, jclass, jlong f) {
    return locked_call(env, {f}, jint{0}, [&](DdManager *) { return Tarn_DagSize(node(f)); });
}

// Nodes of f without its constant.
extern "C" JNIEXPORT jint JNICALL Java_ordo_TARNFactory_nodeCount0(JNIEnv *env, jclass, jlong f) {
    return locked_call(env, {f}, jint{0}, [&](DdManager *) { return Tarn_DagSize(node(f)) - 1; });
}

// One satisfying cube of a BDD, or the 0/1 ADD of one path cube of an ADD. Both operations run the
// whole construction again when a reordering interrupted it.
extern "C" JNIEXPORT jlong JNICALL Java_ordo_TARNFactory_satOne0(JNIEnv *env, jclass, jlong f,
                                                                 jboolean isAdd) {
    return node_call(env, {f}, [&](DdManager *dd) -> DdNode * {
        const bool add = is_true(isAdd);
        if (add && !check_add_operands(env, {node(f)})) return nullptr;
        return add ? add_sat_one(dd, node(f)) : bdd_sat_one(dd, node(f));
    });
}

// The cube of the variables f depends on, as a BDD or as a 0/1 ADD.
extern "C" JNIEXPORT jlong JNICALL Java_ordo_TARNFactory_support0(JNIEnv *env, jclass, jlong f,
                                                                  jboolean isAdd) {
    return node_call(env, {f}, [&](DdManager *dd) -> DdNode * {
        DdNode *s = Tarn_SupportCube(dd, node(f));
        if (s == nullptr || !is_true(isAdd)) return s;
        Tarn_Ref(s);
        DdNode *a = Tarn_BddToAdd(dd, s);
        if (a != nullptr) Tarn_Ref(a);
        Tarn_RecursiveDeref(dd, s);
        if (a != nullptr) Tarn_DecRef(a);
        return a;
    });
}

// One entry per variable index: 1 where f depends on the variable, else 0.
extern "C" JNIEXPORT jintArray JNICALL Java_ordo_TARNFactory_varSupportIndex0(JNIEnv *env, jclass,
                                                                              jlong f) {
    return locked_call(env, {f}, jintArray{nullptr}, [&](DdManager *dd) -> jintArray {
        const int n = Tarn_ReadSize(dd);
        jintArray result = env->NewIntArray(n);
        if (result == nullptr) return nullptr;  // OutOfMemoryError is pending
        int *mask = Tarn_SupportMask(dd, node(f));
        if (mask == nullptr) {
            env->DeleteLocalRef(result);
            throw_failure(env, Tarn_ReadErrorCode(dd));
            return nullptr;
        }
        env->SetIntArrayRegion(result, 0, n, reinterpret_cast<const jint *>(mask));
        util_free(mask);
        return result;
    });
}

// Prints a summary of f (over the variables it depends on) to standard output, with the paths
// and the node list as the level asks; returns the status of the print.
extern "C" JNIEXPORT jint JNICALL Java_ordo_TARNFactory_printSet0(JNIEnv *env, jclass, jlong f,
                                                                  jint level) {
    return locked_call(env, {f}, jint{0}, [&](DdManager *dd) {
        const int n = Tarn_SupportCount(dd, node(f));
        return Tarn_PrintSummary(dd, node(f), n, level);
    });
}

// Prints every node reachable from f to standard output.
extern "C" JNIEXPORT void JNICALL Java_ordo_TARNFactory_printDot0(JNIEnv *env, jclass, jlong f) {
    locked_call(env, {f}, [&](DdManager *dd) {
        tarnPrintNodeList(dd, node(f));
        fflush(Tarn_ReadStdout(dd));
    });
}
