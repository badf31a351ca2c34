// Pairing records: native arrays that map every variable index to a diagram, used for renaming,
// composition, the game solvers and the negative-cycle check. Java holds a record's address.
#pragma once

#include "binding/binding.h"

namespace tarnjni {

// A pairing record. entries[v] is the diagram of variable v and owns one reference. The record
// keeps its own entry count: variables can be created by other calls (ithVar0 beyond the count,
// for one), so a record may be shorter than the manager's variable count until it is grown. An
// entry point that reads one entry per variable grows the record to Tarn_ReadSize first.
struct PairingRecord {
    DdNode **entries;
    int count;
    PairingRecord *next;  // pairing list, newest first
};

// Outcome of growing a record.
enum class GrowResult { ok, no_memory, no_node };

// Grows the record to n entries, filling the new ones with the projection functions of their
// indices (ADD or BDD by isAdd), each with one reference. On failure the record keeps the entries
// it has (count tells how many); nothing is lost or leaked.
GrowResult grow_pairing(DdManager *dd, PairingRecord *record, int n, bool isAdd);

// Raises ordo.BDDException for a failed growth (nothing for ok).
void throw_grow_failure(JNIEnv *env, DdManager *dd, GrowResult result);

// Grows every record of the pairing list, newest first, to n entries; stops at the first failure.
GrowResult grow_all_pairings(DdManager *dd, int n, bool isAdd);

// Releases every record of the pairing list (the entries' references, the arrays, the records).
void release_all_pairings(DdManager *dd);

// The record at the address Java passed, or null after raising IllegalArgumentException when the
// address is 0 or names no live record. Call under the library lock.
PairingRecord *find_pairing(JNIEnv *env, jlong pairing);

// The frame for entry points that take a pairing record: locked_call with op(manager, record) run
// only for a live record.
template <class R, class Op>
R pairing_call(JNIEnv *env, jlong pairing, Handles operands, R fallback, Op &&op) {
    return locked_call(env, operands, fallback, [&](DdManager *dd) -> R {
        PairingRecord *record = find_pairing(env, pairing);
        if (record == nullptr) return fallback;
        return op(dd, record);
    });
}

template <class Op>
void pairing_call(JNIEnv *env, jlong pairing, Handles operands, Op &&op) {
    locked_call(env, operands, [&](DdManager *dd) {
        PairingRecord *record = find_pairing(env, pairing);
        if (record != nullptr) op(dd, record);
    });
}

}  // namespace tarnjni
