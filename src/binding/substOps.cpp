// Substitution from Java: compose0, replace0, replaceWith0, veccompose0, and the two entry points
// that edit a pairing record, set0 and set2.
//
// replace0 and veccompose0 read one pairing entry per variable: the record is grown to the
// manager's variable count first.
#include <initializer_list>

#include "binding/binding.h"
#include "binding/pairing.h"
#include "util/util.h"

using namespace tarnjni;

namespace {

constexpr const char *kPermutationMalloc =
    "replace0() method error: malloc() of the new permutation array has failed";
constexpr const char *kConstantPairing = "pairing entry is a constant, not a variable";
constexpr const char *kPairingIndex = "pairing index out of range";

// Grows the record to one entry per variable; false (with the exception raised) on failure.
bool grow_to_size(JNIEnv *env, DdManager *dd, PairingRecord *record, bool isAdd) {
    GrowResult grown = grow_pairing(dd, record, Tarn_ReadSize(dd), isAdd);
    throw_grow_failure(env, dd, grown);
    return grown == GrowResult::ok;
}

// The renaming of a pairing record as a permutation: entry i is the variable index of the top
// node of the record's entry i. Runs under the lock; the result is owned by the caller.
DdNode *permute(JNIEnv *env, DdManager *dd, PairingRecord *record, DdNode *f, bool isAdd) {
    if (isAdd && !check_add_operands(env, {f})) return nullptr;
    if (!grow_to_size(env, dd, record, isAdd)) return nullptr;
    const int n = Tarn_ReadSize(dd);
    int *perm = guarded_alloc_array<int>(static_cast<size_t>(n));
    if (perm == nullptr) {
        throw_java(env, kBDDException, kPermutationMalloc);
        return nullptr;
    }
    for (int i = 0; i < n; ++i) {
        // A constant names no variable: renaming to it would index past the variables.
        DdNode *entry = record->entries[i];
        if (Tarn_IsConstant(entry)) {
            util_free(perm);
            throw_java(env, kIllegalArgumentException, kConstantPairing);
            return nullptr;
        }
        perm[i] = static_cast<int>(Tarn_ReadNodeIndex(entry));
    }
    DdNode *r = isAdd ? Tarn_AddPermute(dd, f, perm) : Tarn_BddPermute(dd, f, perm);
    util_free(perm);
    return r;
}

jlong replace(JNIEnv *env, jlong f, jlong pairing, jboolean isAdd) {
    return node_call(env, {f}, [&](DdManager *dd) -> DdNode * {
        PairingRecord *record = find_pairing(env, pairing);
        if (record == nullptr) return nullptr;
        return permute(env, dd, record, node(f), is_true(isAdd));
    });
}

// Stores a new entry that already carries its own reference, then releases the old one (so that
// storing an entry's own handle again is safe).
void store_entry(DdManager *dd, PairingRecord *record, int index, DdNode *f) {
    DdNode *old = record->entries[index];
    record->entries[index] = f;
    Tarn_RecursiveDeref(dd, old);
}

bool check_index(JNIEnv *env, PairingRecord *record, jint index) {
    if (index >= 0 && index < record->count) return true;
    throw_java(env, kIllegalArgumentException, kPairingIndex);
    return false;
}

}  // namespace

// f with variable var replaced by g.
extern "C" JNIEXPORT jlong JNICALL Java_ordo_TARNFactory_compose0(JNIEnv *env, jclass, jlong f,
                                                                  jlong g, jint var,
                                                                  jboolean isAdd) {
    return node_call(env, {f, g}, [&](DdManager *dd) -> DdNode * {
        // the composition refuses a variable that does not exist without an error code
        if (!is_true(isAdd)) {
            return refusal_as_invalid_argument(env, dd, Tarn_BddCompose(dd, node(f), node(g), var));
        }
        if (!check_add_operands(env, {node(f), node(g)})) return nullptr;
        return refusal_as_invalid_argument(env, dd, Tarn_AddCompose(dd, node(f), node(g), var));
    });
}

// f with every variable renamed as the pairing record says.
extern "C" JNIEXPORT jlong JNICALL Java_ordo_TARNFactory_replace0(JNIEnv *env, jclass, jlong f,
                                                                  jlong pairing, jboolean isAdd) {
    return replace(env, f, pairing, isAdd);
}

// replace0, then one reference of f is dropped, also when replace0 raised an exception.
extern "C" JNIEXPORT jlong JNICALL Java_ordo_TARNFactory_replaceWith0(JNIEnv *env, jclass,
                                                                      jlong f, jlong pairing,
                                                                      jboolean isAdd) {
    const jlong r = replace(env, f, pairing, isAdd);
    locked_call(env, {f}, [&](DdManager *dd) { Tarn_RecursiveDeref(dd, node(f)); });
    return r;
}

// f with every variable replaced by its pairing entry at once.
extern "C" JNIEXPORT jlong JNICALL Java_ordo_TARNFactory_veccompose0(JNIEnv *env, jclass, jlong f,
                                                                     jlong pairing,
                                                                     jboolean isAdd) {
    const bool add = is_true(isAdd);
    return node_call(env, {f}, [&](DdManager *dd) -> DdNode * {
        PairingRecord *record = find_pairing(env, pairing);
        if (record == nullptr || !grow_to_size(env, dd, record, add)) return nullptr;
        if (!add) return Tarn_BddVectorCompose(dd, node(f), record->entries);
        if (!check_add_operands(env, {node(f)})) return nullptr;
        for (int i = 0; i < record->count; ++i) {
            if (!check_add_operands(env, {record->entries[i]})) return nullptr;
        }
        return Tarn_AddVectorCompose(dd, node(f), record->entries);
    });
}

// Entry index of the record becomes the projection function of variable var (created when
// missing).
extern "C" JNIEXPORT void JNICALL Java_ordo_TARNFactory_set0(JNIEnv *env, jclass, jlong pairing,
                                                             jint index, jint var,
                                                             jboolean isAdd) {
    pairing_call(env, pairing, {}, [&](DdManager *dd, PairingRecord *record) {
        if (!grow_to_size(env, dd, record, is_true(isAdd)) || !check_index(env, record, index)) {
            return;
        }
        DdNode *f = projection(dd, var, is_true(isAdd));
        if (f == nullptr) {
            throw_failure(env, Tarn_ReadErrorCode(dd));
            return;
        }
        Tarn_Ref(f);
        store_entry(dd, record, index, f);
    });
}

// Entry index of the record becomes node, which gets a reference of the record's own.
extern "C" JNIEXPORT void JNICALL Java_ordo_TARNFactory_set2(JNIEnv *env, jclass, jlong pairing,
                                                             jint index, jlong node_handle) {
    pairing_call(env, pairing, {node_handle}, [&](DdManager *dd, PairingRecord *record) {
        if (!check_index(env, record, index)) return;
        DdNode *f = node(node_handle);
        Tarn_Ref(f);
        store_entry(dd, record, index, f);
    });
}
