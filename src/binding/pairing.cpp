// Pairing records: alloc, reset0, free0, and the growth and release of the pairing list.
#include "binding/pairing.h"

#include "util/util.h"

namespace tarnjni {

namespace {

jlong address(PairingRecord *record) {
    return static_cast<jlong>(reinterpret_cast<uintptr_t>(record));
}

// Drops the references of the record's entries and frees it. The record must be off the list.
void release_pairing(DdManager *dd, PairingRecord *record) {
    for (int i = 0; i < record->count; ++i) Tarn_RecursiveDeref(dd, record->entries[i]);
    util_free(record->entries);
    util_free(record);
}

void unlink_pairing(PairingRecord *record) {
    for (PairingRecord **link = &g_state.pairings; *link != nullptr; link = &(*link)->next) {
        if (*link == record) {
            *link = record->next;
            return;
        }
    }
}

}  // namespace

void throw_grow_failure(JNIEnv *env, DdManager *dd, GrowResult result) {
    if (result == GrowResult::no_memory) throw_failure(env, TARN_OUT_OF_MEMORY);
    if (result == GrowResult::no_node) throw_failure(env, Tarn_ReadErrorCode(dd));
}

GrowResult grow_pairing(DdManager *dd, PairingRecord *record, int n, bool isAdd) {
    if (n <= record->count) return GrowResult::ok;
    DdNode **entries = guarded_alloc_array<DdNode *>(static_cast<size_t>(n));
    if (entries == nullptr) return GrowResult::no_memory;
    for (int i = 0; i < record->count; ++i) entries[i] = record->entries[i];
    util_free(record->entries);
    record->entries = entries;
    while (record->count < n) {
        DdNode *f = projection(dd, record->count, isAdd);
        if (f == nullptr) return GrowResult::no_node;
        Tarn_Ref(f);
        record->entries[record->count++] = f;
    }
    return GrowResult::ok;
}

GrowResult grow_all_pairings(DdManager *dd, int n, bool isAdd) {
    for (PairingRecord *record = g_state.pairings; record != nullptr; record = record->next) {
        GrowResult result = grow_pairing(dd, record, n, isAdd);
        if (result != GrowResult::ok) return result;
    }
    return GrowResult::ok;
}

void release_all_pairings(DdManager *dd) {
    while (g_state.pairings != nullptr) {
        PairingRecord *record = g_state.pairings;
        g_state.pairings = record->next;
        release_pairing(dd, record);
    }
}

PairingRecord *find_pairing(JNIEnv *env, jlong pairing) {
    if (pairing == 0) {
        throw_java(env, kIllegalArgumentException, "null pairing record");
        return nullptr;
    }
    for (PairingRecord *record = g_state.pairings; record != nullptr; record = record->next) {
        if (address(record) == pairing) return record;
    }
    throw_java(env, kIllegalArgumentException, "unknown or freed pairing record");
    return nullptr;
}

}  // namespace tarnjni

using namespace tarnjni;

// A new record mapping every variable to its own projection function. Returns 0 without an
// exception when the record's memory cannot be allocated.
extern "C" JNIEXPORT jlong JNICALL Java_ordo_TARNFactory_alloc(JNIEnv *env, jclass,
                                                               jboolean isAdd) {
    return locked_call(env, {}, jlong{0}, [&](DdManager *dd) -> jlong {
        auto *record = guarded_alloc_array<PairingRecord>(1);
        if (record == nullptr) return 0;
        *record = PairingRecord{nullptr, 0, nullptr};
        GrowResult result = grow_pairing(dd, record, Tarn_ReadSize(dd), is_true(isAdd));
        if (result != GrowResult::ok) {
            if (result == GrowResult::no_node) throw_failure(env, Tarn_ReadErrorCode(dd));
            release_pairing(dd, record);
            return 0;
        }
        record->next = g_state.pairings;
        g_state.pairings = record;
        return address(record);
    });
}

// Maps every variable of the record back to its own projection function. The new entry is
// referenced before the old one is released, so a failure leaves every entry owning its reference.
extern "C" JNIEXPORT void JNICALL Java_ordo_TARNFactory_reset0(JNIEnv *env, jclass, jlong pairing,
                                                               jboolean isAdd) {
    pairing_call(env, pairing, {}, [&](DdManager *dd, PairingRecord *record) {
        for (int i = 0; i < record->count; ++i) {
            DdNode *f = projection(dd, i, is_true(isAdd));
            if (f == nullptr) {
                throw_failure(env, Tarn_ReadErrorCode(dd));
                return;
            }
            Tarn_Ref(f);
            Tarn_RecursiveDeref(dd, record->entries[i]);
            record->entries[i] = f;
        }
        throw_grow_failure(env, dd, grow_pairing(dd, record, Tarn_ReadSize(dd), is_true(isAdd)));
    });
}

extern "C" JNIEXPORT void JNICALL Java_ordo_TARNFactory_free0(JNIEnv *env, jclass, jlong pairing) {
    pairing_call(env, pairing, {}, [&](DdManager *dd, PairingRecord *record) {
        unlink_pairing(record);
        release_pairing(dd, record);
    });
}
