// Game solving from Java: gr1Game0, gr1GameInc0, rabinGame0, rabinGameInc0, and the getters that
// read the solvers' memories back.
//
// The Java arrays are copied into native buffers before the solve starts, so that no array is
// pinned (and no garbage collection of the virtual machine is held up) while a solve runs, and
// the solver makes no Java calls.
#include <cstdio>
#include <vector>

#include "binding/binding.h"
#include "binding/pairing.h"
#include "games/games.h"
#include "util/util.h"

using namespace tarnjni;

namespace {

constexpr jbyte kGameError = static_cast<jbyte>(GAME_FAILED);

// A native copy of a Java array; empty (not obtained) for a null array or without memory.
template <class T, class J>
class JavaCopy {
public:
    ~JavaCopy() { util_free(data_); }
    bool obtained() const { return data_ != nullptr; }
    jsize length() const { return length_; }
    const T *data() const { return data_; }

    bool obtain(JNIEnv *env, J array) {
        if (array == nullptr) return false;
        length_ = env->GetArrayLength(array);
        data_ = guarded_alloc_array<T>(static_cast<size_t>(length_));
        if (data_ == nullptr) return false;
        copy(env, array);
        return true;
    }

private:
    void copy(JNIEnv *env, jlongArray array) {
        std::vector<jlong> values(static_cast<size_t>(length_));
        env->GetLongArrayRegion(array, 0, length_, values.data());
        for (jsize k = 0; k < length_; k++) data_[k] = node(values[static_cast<size_t>(k)]);
    }
    void copy(JNIEnv *env, jintArray array) { env->GetIntArrayRegion(array, 0, length_, data_); }

    T *data_ = nullptr;
    jsize length_ = 0;
};

using HandleArray = JavaCopy<DdNode *, jlongArray>;
using IntArray = JavaCopy<jint, jintArray>;

jsize length_of(JNIEnv *env, jarray array) {
    return array == nullptr ? 0 : env->GetArrayLength(array);
}

bool valid_handles(const DdNode *const *handles, long count) {
    for (long k = 0; k < count; k++) {
        if (handles[k] == nullptr || handles[k] == node(kMissingChild)) return false;
    }
    return true;
}

// The scalar arguments of every solver entry point.
struct GameArguments {
    jlong sysIni, envIni, sysTrans, envTrans, sysVars, envVars, sysPrimeVars, envPrimeVars;
    jlong pairing;
    bool efp, eun, fpr;
};

// The frame of the solver entry points: the lock, the manager and the handle operands checked,
// 255 when they are not.
template <class Op>
jbyte game_call(JNIEnv *env, const GameArguments &a, Op &&op) {
    return locked_call(env,
                       {a.sysIni, a.envIni, a.sysTrans, a.envTrans, a.sysVars, a.envVars,
                        a.sysPrimeVars, a.envPrimeVars},
                       kGameError, op);
}

// The justice arrays and the game structure of one solve.
struct Game {
    HandleArray sysJ, envJ;
    game_structure structure{};
};

// The common steps of the four entry points up to the solve: the justice arrays (with their
// messages), the pairing record grown to the variable count, and the release of the solver's
// memory. False when the entry point is to return 255.
bool prepare(JNIEnv *env, DdManager *dd, jlongArray sysJ, jlongArray envJ, const GameArguments &a,
             bool flushOnFailure, void (*freeMemory)(), Game *game) {
    printf("sysJSize = %d\n", static_cast<int>(length_of(env, sysJ)));
    printf("envJSize = %d\n", static_cast<int>(length_of(env, envJ)));
    if (!game->sysJ.obtain(env, sysJ)) {
        printf("sysJ is NULL\n");
        if (flushOnFailure) fflush(stdout);
        return false;
    }
    if (!game->envJ.obtain(env, envJ)) {
        printf("envJ is NULL\n");
        if (flushOnFailure) fflush(stdout);
        return false;
    }
    if (!valid_handles(game->sysJ.data(), game->sysJ.length()) ||
        !valid_handles(game->envJ.data(), game->envJ.length())) {
        throw_java(env, kIllegalArgumentException, "null handle in a justice array");
        return false;
    }
    PairingRecord *record = find_pairing(env, a.pairing);
    if (record == nullptr) return false;
    GrowResult grown = grow_pairing(dd, record, Tarn_ReadSize(dd), false);
    if (grown != GrowResult::ok) {
        throw_grow_failure(env, dd, grown);
        return false;
    }
    printf("varnum = %d\n", Tarn_ReadSize(dd));
    freeMemory();

    game_structure &s = game->structure;
    s.sysJ = game->sysJ.data();
    s.sysJSize = static_cast<int>(game->sysJ.length());
    s.envJ = game->envJ.data();
    s.envJSize = static_cast<int>(game->envJ.length());
    s.sysIni = node(a.sysIni);
    s.envIni = node(a.envIni);
    s.sysTrans = node(a.sysTrans);
    s.envTrans = node(a.envTrans);
    s.sysVars = node(a.sysVars);
    s.envVars = node(a.envVars);
    s.sysPrimeVars = node(a.sysPrimeVars);
    s.envPrimeVars = node(a.envPrimeVars);
    s.pairing = record->entries;
    return true;
}

jbyte verdict(int result) {
    return static_cast<jbyte>(result);
}

// The memory of an earlier solve, as Java hands it back.
struct IncArrays {
    IntArray sizeD3;
    HandleArray zMem, zMemFirstItr, xMem;
};

// Builds the GR(1) incremental record; false (after any message) when the input is missing or
// inconsistent.
bool build_gr1_inc(JNIEnv *env, jint sizeD1, jint sizeD2, jintArray sizeD3, jlong startZ,
                   jlongArray zMem, jlongArray zMemFirstItr, jlongArray xMem, IncArrays *arrays,
                   gr1_inc_data *inc) {
    const jsize lengthD3 = length_of(env, sizeD3);
    if (sizeD3 != nullptr && lengthD3 != sizeD1) {
        printf("inc_sizeD3 size (%d) != inc_data.sizeD1 (%d)\n", static_cast<int>(lengthD3),
               static_cast<int>(sizeD1));
        return false;
    }
    if (!arrays->sizeD3.obtain(env, sizeD3)) {
        printf("inc_data.sizeD3 is NULL\n");
        return false;
    }
    inc->sizeD1 = sizeD1;
    inc->sizeD2 = sizeD2;
    inc->sizeD3 = arrays->sizeD3.data();
    printf("inc data about sizaes updated\n");
    inc->start_z = startZ == kMissingChild ? nullptr : node(startZ);
    if (!arrays->zMem.obtain(env, zMem) || !arrays->zMemFirstItr.obtain(env, zMemFirstItr)) {
        return false;
    }
    // Only some kinds of change read the Z memories (a solve through gr1Game0 leaves no
    // first-iteration memory, and unreached justices no Z): an array that is too short or holds
    // a null handle is passed on as absent, and the solve refuses it only where it would read it.
    auto usable = [sizeD1](const HandleArray &array) {
        return array.length() >= sizeD1 && valid_handles(array.data(), sizeD1) ? array.data()
                                                                              : nullptr;
    };
    inc->z_mem = usable(arrays->zMem);
    inc->z_mem_first_itr = usable(arrays->zMemFirstItr);
    printf("inc data about Z updated\n");
    if (!arrays->xMem.obtain(env, xMem)) {
        printf("xArray is NULL\n");
        return false;
    }
    long used = 0;
    if (!unflatten_gr1_inc_x(inc, arrays->xMem.data(), arrays->xMem.length(), &used)) return false;
    if (!valid_handles(arrays->xMem.data(), used)) return false;
    printf("inc data about X updated\n");
    return true;
}

// The same for the Rabin form.
bool build_rabin_inc(JNIEnv *env, jint sizeD1, jint sizeD2, jintArray sizeD3, jlong startZ,
                     jlongArray zMem, jlongArray xMem, IncArrays *arrays, rabin_inc_data *inc) {
    const jsize lengthD3 = length_of(env, sizeD3);
    if (sizeD1 < 0 || sizeD2 < 0 ||
        (sizeD3 != nullptr && static_cast<long>(lengthD3) != static_cast<long>(sizeD1) * sizeD2)) {
        printf("inc_sizeD3 size (%d) != inc_data.sizeD1 (%d)\n", static_cast<int>(lengthD3),
               static_cast<int>(sizeD1));
        return false;
    }
    if (!arrays->sizeD3.obtain(env, sizeD3)) {
        printf("inc_data.sizeD3 is NULL\n");
        return false;
    }
    inc->sizeD1 = sizeD1;
    inc->sizeD2 = sizeD2;
    printf("cx = %d\n", static_cast<int>(lengthD3));
    printf("inc data of sizes updated\n");
    inc->start_z = startZ == kMissingChild ? nullptr : node(startZ);
    if (!arrays->zMem.obtain(env, zMem) || arrays->zMem.length() < sizeD1 ||
        !valid_handles(arrays->zMem.data(), sizeD1)) {
        return false;
    }
    inc->z_mem = arrays->zMem.data();
    printf("inc data about Z updated\n");
    if (!arrays->xMem.obtain(env, xMem)) {
        printf("xArray is NULL\n");
        return false;
    }
    long used = 0;
    if (!unflatten_rabin_inc(inc, arrays->sizeD3.data(), arrays->xMem.data(), arrays->xMem.length(),
                             &used)) {
        return false;
    }
    if (!valid_handles(arrays->xMem.data(), used)) return false;
    printf("xArrayIdx = %ld\n", used);
    printf("inc data about X updated\n");
    return true;
}

jlongArray java_handles(JNIEnv *env, const std::vector<DdNode *> &handles) {
    const auto n = static_cast<jsize>(handles.size());
    jlongArray array = env->NewLongArray(n);
    if (array == nullptr) return nullptr;
    std::vector<jlong> values(handles.size());
    for (size_t k = 0; k < handles.size(); k++) values[k] = handle(handles[k]);
    env->SetLongArrayRegion(array, 0, n, values.data());
    return array;
}

jintArray java_ints(JNIEnv *env, const std::vector<int> &ints) {
    const auto n = static_cast<jsize>(ints.size());
    jintArray array = env->NewIntArray(n);
    if (array == nullptr) return nullptr;
    env->SetIntArrayRegion(array, 0, n, ints.data());
    return array;
}

}  // namespace

// ---- solvers
// -------------------------------------------------------------------------------------

extern "C" JNIEXPORT jbyte JNICALL Java_ordo_TARNFactory_gr1Game0(
    JNIEnv *env, jclass, jlongArray sysJ, jlongArray envJ, jlong sysIni, jlong envIni,
    jlong sysTrans, jlong envTrans, jlong sysVars, jlong envVars, jlong sysPrimeVars,
    jlong envPrimeVars, jlong pairing, jboolean efp, jboolean eun, jboolean fpr) {
    const GameArguments a{sysIni,  envIni,       sysTrans,     envTrans,
                          sysVars, envVars,      sysPrimeVars, envPrimeVars,
                          pairing, is_true(efp), is_true(eun), is_true(fpr)};
    return game_call(env, a, [&](DdManager *dd) -> jbyte {
        Game game;
        if (!prepare(env, dd, sysJ, envJ, a, true, free_gr1_mem, &game)) return kGameError;
        return verdict(gr1_game(dd, game.structure, a.efp, a.eun, a.fpr, false, nullptr));
    });
}

extern "C" JNIEXPORT jbyte JNICALL Java_ordo_TARNFactory_gr1GameInc0(
    JNIEnv *env, jclass, jlongArray sysJ, jlongArray envJ, jlong sysIni, jlong envIni,
    jlong sysTrans, jlong envTrans, jlong sysVars, jlong envVars, jlong sysPrimeVars,
    jlong envPrimeVars, jlong pairing, jboolean efp, jboolean eun, jboolean fpr, jint incType,
    jlong startZ, jlongArray zMem, jlongArray zMemFirstItr, jlongArray xMem,
    jint leastRemovedJustice, jint sizeD1, jint sizeD2, jintArray sizeD3) {
    const GameArguments a{sysIni,  envIni,       sysTrans,     envTrans,
                          sysVars, envVars,      sysPrimeVars, envPrimeVars,
                          pairing, is_true(efp), is_true(eun), is_true(fpr)};
    return game_call(env, a, [&](DdManager *dd) -> jbyte {
        Game game;
        if (!prepare(env, dd, sysJ, envJ, a, true, free_gr1_mem, &game)) return kGameError;
        printf("gr1 data updated\n");
        printf("isIncData=%d\n", incType != 0);
        gr1_inc_data inc;
        inc.inc_type = incType;
        inc.least_removed_justice = leastRemovedJustice;
        IncArrays arrays;
        if (incType != 0 && !build_gr1_inc(env, sizeD1, sizeD2, sizeD3, startZ, zMem, zMemFirstItr,
                                           xMem, &arrays, &inc)) {
            free_gr1_inc_x(&inc);
            fflush(stdout);
            return kGameError;
        }
        const int result = gr1_game(dd, game.structure, a.efp, a.eun, a.fpr, true, &inc);
        free_gr1_inc_x(&inc);
        return verdict(result);
    });
}

extern "C" JNIEXPORT jbyte JNICALL Java_ordo_TARNFactory_rabinGame0(
    JNIEnv *env, jclass, jlongArray sysJ, jlongArray envJ, jlong sysIni, jlong envIni,
    jlong sysTrans, jlong envTrans, jlong sysVars, jlong envVars, jlong sysPrimeVars,
    jlong envPrimeVars, jlong pairing, jboolean efp, jboolean eun, jboolean fpr) {
    const GameArguments a{sysIni,  envIni,       sysTrans,     envTrans,
                          sysVars, envVars,      sysPrimeVars, envPrimeVars,
                          pairing, is_true(efp), is_true(eun), is_true(fpr)};
    return game_call(env, a, [&](DdManager *dd) -> jbyte {
        Game game;
        if (!prepare(env, dd, sysJ, envJ, a, false, free_rabin_mem, &game)) return kGameError;
        return verdict(rabin_game(dd, game.structure, a.efp, a.eun, a.fpr, false, nullptr));
    });
}

extern "C" JNIEXPORT jbyte JNICALL Java_ordo_TARNFactory_rabinGameInc0(
    JNIEnv *env, jclass, jlongArray sysJ, jlongArray envJ, jlong sysIni, jlong envIni,
    jlong sysTrans, jlong envTrans, jlong sysVars, jlong envVars, jlong sysPrimeVars,
    jlong envPrimeVars, jlong pairing, jboolean efp, jboolean eun, jboolean fpr, jint incType,
    jlong startZ, jlongArray zMem, jlongArray xMem, jint leastRemovedJustice, jint sizeD1,
    jint sizeD2, jintArray sizeD3) {
    const GameArguments a{sysIni,  envIni,       sysTrans,     envTrans,
                          sysVars, envVars,      sysPrimeVars, envPrimeVars,
                          pairing, is_true(efp), is_true(eun), is_true(fpr)};
    return game_call(env, a, [&](DdManager *dd) -> jbyte {
        Game game;
        if (!prepare(env, dd, sysJ, envJ, a, false, free_rabin_mem, &game)) return kGameError;
        printf("rabin data updated\n");
        printf("isIncData=%d\n", incType != 0);
        rabin_inc_data inc;
        inc.inc_type = incType;
        inc.least_removed_justice = leastRemovedJustice;
        IncArrays arrays;
        if (incType != 0 &&
            !build_rabin_inc(env, sizeD1, sizeD2, sizeD3, startZ, zMem, xMem, &arrays, &inc)) {
            free_rabin_inc(&inc);
            fflush(stdout);
            return kGameError;
        }
        const int result = rabin_game(dd, game.structure, a.efp, a.eun, a.fpr, true, &inc);
        free_rabin_inc(&inc);
        return verdict(result);
    });
}

// ---- getters
// -------------------------------------------------------------------------------------
//
// They read only the memories, so they need the lock but no manager.

extern "C" JNIEXPORT jintArray JNICALL Java_ordo_TARNFactory_getAttrSizes0(JNIEnv *env, jclass) {
    LibraryGuard guard(library_lock());
    return java_ints(env, gr1_attr_sizes("getAttrSizes0"));
}

extern "C" JNIEXPORT jlongArray JNICALL Java_ordo_TARNFactory_getXMem0(JNIEnv *env, jclass) {
    LibraryGuard guard(library_lock());
    return java_handles(env, gr1_x_mem_flat("getXMem0"));
}

extern "C" JNIEXPORT jlongArray JNICALL Java_ordo_TARNFactory_getYMem0(JNIEnv *env, jclass) {
    LibraryGuard guard(library_lock());
    return java_handles(env, gr1_y_mem_flat("getYMem0"));
}

extern "C" JNIEXPORT jlongArray JNICALL Java_ordo_TARNFactory_getZMem0(JNIEnv *env, jclass) {
    LibraryGuard guard(library_lock());
    return java_handles(env, gr1_z_mem_flat());
}

extern "C" JNIEXPORT jlongArray JNICALL Java_ordo_TARNFactory_getZMemFirstItr0(JNIEnv *env,
                                                                               jclass) {
    LibraryGuard guard(library_lock());
    return java_handles(env, gr1_z_mem_first_itr_flat());
}

extern "C" JNIEXPORT jint JNICALL Java_ordo_TARNFactory_getRabinZSize0(JNIEnv *, jclass) {
    LibraryGuard guard(library_lock());
    return rabin_z_size();
}

extern "C" JNIEXPORT jlongArray JNICALL Java_ordo_TARNFactory_getRabinZMem0(JNIEnv *env, jclass) {
    LibraryGuard guard(library_lock());
    return java_handles(env, rabin_z_mem_flat());
}

extern "C" JNIEXPORT jintArray JNICALL Java_ordo_TARNFactory_getRabinXSizes0(JNIEnv *env, jclass) {
    LibraryGuard guard(library_lock());
    return java_ints(env, rabin_x_sizes());
}

extern "C" JNIEXPORT jlongArray JNICALL Java_ordo_TARNFactory_getRabinXMem0(JNIEnv *env, jclass) {
    LibraryGuard guard(library_lock());
    return java_handles(env, rabin_x_mem_flat());
}
