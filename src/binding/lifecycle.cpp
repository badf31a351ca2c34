// Life cycle of the factory: initialize0, isInitialized0, done0, and the constants list that pins
// the constants published to Java.
#include <cstdio>

#include "binding/binding.h"
#include "binding/pairing.h"
#include "games/games.h"
#include "util/util.h"

namespace tarnjni {

namespace {

// Starts the constants list with the constant one and takes one reference on it.
bool init_const_list(JNIEnv *env, DdNode *one) {
    auto *cell = guarded_alloc_array<ConstCell>(1);
    if (cell == nullptr) {
        throw_java(env, kNullPointerException,
                   "TARN library error: malloc() has failed in init_const_list() method");
        return false;
    }
    *cell = ConstCell{one, nullptr};
    Tarn_Ref(one);
    g_state.constHead = cell;
    g_state.constTail = cell;
    return true;
}

// Appends a constant to the list, taking one reference on it when asked. On failure the list and
// the reference counts stay unchanged.
bool insert_new_const(JNIEnv *env, DdNode *constant, bool reference) {
    auto *cell = guarded_alloc_array<ConstCell>(1);
    if (cell == nullptr) {
        throw_java(env, kNullPointerException,
                   "TARN library error: malloc() has failed in insert_new_const() method");
        return false;
    }
    *cell = ConstCell{constant, nullptr};
    if (reference) Tarn_Ref(constant);
    g_state.constTail->next = cell;
    g_state.constTail = cell;
    return true;
}

// Drops the reference of every cell, first to last, and frees the cells.
void release_const_list(DdManager *dd) {
    while (g_state.constHead != nullptr) {
        ConstCell *cell = g_state.constHead;
        g_state.constHead = cell->next;
        Tarn_RecursiveDeref(dd, cell->handle);
        util_free(cell);
    }
    g_state.constTail = nullptr;
}

// Writes the static fields one, zero, addZero and info of ordo.TARNFactory. All four are looked
// up before any is written; false when one is missing.
bool publish_fields(JNIEnv *env, jclass cls, DdManager *dd) {
    static const char *const names[] = {"one", "zero", "addZero", "info"};
    const jlong values[] = {handle(g_state.one), handle(g_state.zero), handle(g_state.addZero),
                            static_cast<jlong>(reinterpret_cast<uintptr_t>(dd))};
    jfieldID ids[4];
    for (int i = 0; i < 4; ++i) {
        ids[i] = env->GetStaticFieldID(cls, names[i], "J");
        if (ids[i] == nullptr) {
            env->ExceptionClear();  // the NoSuchFieldError gives way to the library's message
            return false;
        }
    }
    for (int i = 0; i < 4; ++i) env->SetStaticLongField(cls, ids[i], values[i]);
    return true;
}

// A table size from Java; a negative size asks for the smallest table.
unsigned table_size(jint requested) { return requested > 0 ? static_cast<unsigned>(requested) : 0; }

}  // namespace

}  // namespace tarnjni

using namespace tarnjni;

extern "C" JNIEXPORT void JNICALL Java_ordo_TARNFactory_initialize0(JNIEnv *env, jclass cls,
                                                                    jint nodenum, jint cachesize) {
    LibraryGuard guard(library_lock());
    if (g_state.manager != nullptr) return;

    DdManager *dd = Tarn_Init(0, 0, table_size(nodenum), table_size(cachesize), 0);
    if (dd == nullptr) {
        throw_java(env, kInternalError, "unable to initialize TARN");
        return;
    }
    Tarn_SetStdout(dd, stdout);
    g_state.one = Tarn_ReadOne(dd);
    g_state.zero = Tarn_Not(g_state.one);
    g_state.addZero = Tarn_ReadZero(dd);

    // Without its constants list the factory cannot be shut down consistently: undo and stay
    // uninitialised.
    if (!init_const_list(env, g_state.one) || !insert_new_const(env, g_state.zero, true) ||
        !insert_new_const(env, g_state.addZero, true)) {
        release_const_list(dd);
        Tarn_Quit(dd);
        return;
    }
    g_state.manager = dd;

    if (!publish_fields(env, cls, dd)) {
        throw_java(env, kInternalError,
                   "cannot find static field members of TARNFactory: version mismatch ?");
        return;
    }
    Tarn_SetFastGrowthLimit(dd, 0);
    Tarn_SetCacheHardLimit(dd, 0);
    Tarn_SetKeysPerSlot(dd, 0);
    Tarn_SetCacheSoftFactor(dd, 0);
    Tarn_ResetStartTime(dd);
}

extern "C" JNIEXPORT jboolean JNICALL Java_ordo_TARNFactory_isInitialized0(JNIEnv *, jclass) {
    LibraryGuard guard(library_lock());
    return g_state.manager != nullptr ? JNI_TRUE : JNI_FALSE;
}

// Releases the game memories, the pairing records and the constants list under the lock, then
// destroys the manager outside it. The copies of the constants and the Java fields keep their
// values until the next initialize0.
extern "C" JNIEXPORT void JNICALL Java_ordo_TARNFactory_done0(JNIEnv *, jclass) {
    DdManager *dd;
    {
        LibraryGuard guard(library_lock());
        free_gr1_mem();
        free_rabin_mem();
        dd = g_state.manager;
        if (dd == nullptr) return;
        release_all_pairings(dd);
        release_const_list(dd);
        g_state.manager = nullptr;
    }
    Tarn_Quit(dd);
}
