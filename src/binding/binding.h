// Shared state and the common frame of the JNI entry points of ordo.TARNFactory.
//
// Every entry point that works on the manager runs the same frame: take the library lock, refuse a
// missing manager and null operand handles, convert the Java longs to handles unchanged, call one
// Tarn_ operation, reference the result once for Java, perform the releases it promises, drop the
// lock (on every path, by RAII) and return. The frame is written once below (locked_call,
// node_call); an entry point supplies only its operation, its releases and its fallback value.
#pragma once

#include <jni.h>
#include <ordo_TARNFactory.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <mutex>

#include "tarn/tarn.h"
#include "util/biasedLock.h"

namespace tarnjni {

// ---- shared state ----------------------------------------------------------------------------

// One cell of the constants list: a constant published to Java, holding one reference.
struct ConstCell {
    DdNode *handle;
    ConstCell *next;
};

struct PairingRecord;

// Number of reordering-method constants of ordo.BDDFactory.
constexpr int kReorderMethodCount = 8;

// Names of the reordering-method constants, in the order of BindingState::reorderFields.
extern const char *const kReorderFieldNames[kReorderMethodCount];

// Process-wide state of the binding. Everything but `manager` is read and written only under the
// library lock; `manager` is atomic because setVarNum0 reads the variable count before locking.
struct BindingState {
    std::atomic<DdManager *> manager{nullptr};
    DdNode *one = nullptr;      // the manager's constant one
    DdNode *zero = nullptr;     // the complement of one: the logical zero of BDDs
    DdNode *addZero = nullptr;  // the arithmetic zero of ADDs
    ConstCell *constHead = nullptr;
    ConstCell *constTail = nullptr;
    PairingRecord *pairings = nullptr;  // newest first
    // Static field ids of REORDER_NONE, REORDER_RANDOM, REORDER_SIFT, REORDER_SIFTITE,
    // REORDER_WIN2, REORDER_WIN2ITE, REORDER_WIN3, REORDER_WIN3ITE of ordo.BDDFactory; all null
    // until registerNatives has found every one of them.
    jfieldID reorderFields[kReorderMethodCount] = {};
};

extern BindingState g_state;

// The re-entrant library lock; it exists from JNI_OnLoad to JNI_OnUnload.
BiasedLock &library_lock();
using LibraryGuard = std::lock_guard<BiasedLock>;

// ---- Java exceptions -------------------------------------------------------------------------

constexpr const char *kInternalError = "java/lang/InternalError";
constexpr const char *kNullPointerException = "java/lang/NullPointerException";
constexpr const char *kIllegalArgumentException = "java/lang/IllegalArgumentException";
constexpr const char *kBDDException = "ordo/BDDException";

// Raises a Java exception of the class (JNI name) with the message. When an exception is already
// pending, that one is kept: Java sees the first failure of a call.
void throw_java(JNIEnv *env, const char *className, const char *message);

// The message of ordo.BDDException for a manager error code, e.g.
// "TARN operation failed: out of memory".
const char *failure_message(int errorCode);

// Raises ordo.BDDException for the manager error code.
void throw_failure(JNIEnv *env, int errorCode);

// ---- handles -----------------------------------------------------------------------------------

// Java's value for a missing child.
constexpr jlong kMissingChild = -1;

inline DdNode *node(jlong h) {
    return reinterpret_cast<DdNode *>(static_cast<uintptr_t>(h));
}
inline jlong handle(DdNode *f) {
    return static_cast<jlong>(reinterpret_cast<uintptr_t>(f));
}

inline bool is_true(jboolean b) { return b != JNI_FALSE; }

// Projection function of variable i: the ADD one when isAdd, else the BDD one. Creates the missing
// variables up to i.
inline DdNode *projection(DdManager *dd, int i, bool isAdd) {
    return isAdd ? Tarn_AddIthVar(dd, i) : Tarn_BddIthVar(dd, i);
}

// ---- allocation --------------------------------------------------------------------------------

// util_malloc with the process-wide out-of-memory handler switched off for its duration, so that a
// failure returns null to the caller instead of ending the process. The handler is a process-wide
// variable: call this only under the library lock.
void *guarded_malloc(size_t bytes);

template <class T>
T *guarded_alloc_array(size_t count) {
    return static_cast<T *>(guarded_malloc((count != 0 ? count : 1) * sizeof(T)));
}

// ---- the frame ---------------------------------------------------------------------------------

using Handles = std::initializer_list<jlong>;

// Raises the exception and returns false when no manager exists, or when an operand is the null
// handle 0 or the missing-child value -1.
bool check_manager(JNIEnv *env, DdManager *dd);
bool check_operands(JNIEnv *env, Handles operands);

// ADD operations read their operands' children straight from the nodes: a handle with a
// complement mark is a BDD. Raises IllegalArgumentException "complemented handle is not an ADD"
// and returns false for one.
bool check_add_operands(JNIEnv *env, std::initializer_list<DdNode *> operands);

// The result of an operation that refuses a bad argument without an error code (the ADD
// abstractions and the determinization with a cube that is not one, the composition with a
// variable that does not exist): a missing result with no code (the frame cleared it) is such a
// refusal, and Java hears it as an invalid argument.
DdNode *refusal_as_invalid_argument(JNIEnv *env, DdManager *dd, DdNode *r);

// Runs op(manager) under the library lock and returns its result. A missing manager or an invalid
// operand handle raises the Java exception and returns `fallback` without running op. The
// manager's error code is cleared first, so a failure reported by this call names its own reason,
// never that of an earlier call.
template <class R, class Op>
R locked_call(JNIEnv *env, Handles operands, R fallback, Op &&op) {
    LibraryGuard guard(library_lock());
    DdManager *dd = g_state.manager;
    if (!check_manager(env, dd) || !check_operands(env, operands)) return fallback;
    Tarn_ClearErrorCode(dd);
    return op(dd);
}

// The same frame for an operation without a result.
template <class Op>
void locked_call(JNIEnv *env, Handles operands, Op &&op) {
    locked_call(env, operands, 0, [&](DdManager *dd) {
        op(dd);
        return 0;
    });
}

struct NoRelease {
    void operator()(DdManager *) const {}
};

// The frame of an entry point whose operation yields a node. op(manager) returns the node or null.
// The node gets one reference, owned by Java, and is returned as a handle. Null means no result:
// no reference is taken, ordo.BDDException names the manager's error code (unless op raised an
// exception of its own) and 0 is returned. release(manager) performs the operand releases the
// entry point promises; it runs after the result is referenced, also when there is no result.
template <class Op, class Release = NoRelease>
jlong node_call(JNIEnv *env, Handles operands, Op &&op, Release &&release = Release{}) {
    return locked_call(env, operands, jlong{0}, [&](DdManager *dd) -> jlong {
        DdNode *result = op(dd);
        if (result == nullptr) {
            throw_failure(env, Tarn_ReadErrorCode(dd));
        } else {
            Tarn_Ref(result);
        }
        release(dd);
        return handle(result);
    });
}

}  // namespace tarnjni
