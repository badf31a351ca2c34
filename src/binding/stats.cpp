// Counters and the statistics report: getCacheSize0, getNodeNum0, getAllocNum0, printStat0.
#include <cstdio>

#include "binding/binding.h"

using namespace tarnjni;

// Number of computed-table entries.
extern "C" JNIEXPORT jint JNICALL Java_ordo_TARNFactory_getCacheSize0(JNIEnv *env, jclass) {
    return locked_call(env, {}, jint{0},
                       [](DdManager *dd) { return static_cast<jint>(Tarn_ReadCacheSlots(dd)); });
}

// Live nodes that Java and the operations hold (the manager's own constants and projection
// functions are not counted). Reading the count empties the delayed-release queue.
extern "C" JNIEXPORT jint JNICALL Java_ordo_TARNFactory_getNodeNum0(JNIEnv *env, jclass) {
    return locked_call(env, {}, jint{0},
                       [](DdManager *dd) { return static_cast<jint>(Tarn_ReadNodeCount(dd)); });
}

// Node slots allocated so far: 1022 per node block.
extern "C" JNIEXPORT jint JNICALL Java_ordo_TARNFactory_getAllocNum0(JNIEnv *env, jclass) {
    return locked_call(env, {}, jint{0}, [](DdManager *dd) {
        return static_cast<jint>(Tarn_ReadPeakNodeCount(dd));
    });
}

// Prints the report of settings and counters to standard output. A write that fails, also one
// that only shows when the buffered report is flushed, raises InternalError.
extern "C" JNIEXPORT void JNICALL Java_ordo_TARNFactory_printStat0(JNIEnv *env, jclass) {
    locked_call(env, {}, [&](DdManager *dd) {
        int written = Tarn_PrintInfo(dd, stdout);
        if (fflush(stdout) != 0) written = 0;
        if (!written) throw_java(env, kInternalError, "Tarn_PrintInfo() has failed.");
    });
}
