// Reference counting from Java: addRef, delRef. Both ignore the no-node handle 0, the
// missing-child value -1 and calls without a manager, so Java may release handles after done0.
#include "binding/binding.h"

using namespace tarnjni;

extern "C" JNIEXPORT void JNICALL Java_ordo_TARNFactory_addRef(JNIEnv *, jclass, jlong f) {
    if (f == kMissingChild) return;
    LibraryGuard guard(library_lock());
    if (g_state.manager == nullptr || f == 0) return;
    Tarn_Ref(node(f));
}

// Drops one reference of f. The constants one, its complement and the arithmetic zero keep their
// last reference (the manager's own), so releasing them too often from Java cannot kill them;
// other nodes are released only while referenced.
extern "C" JNIEXPORT void JNICALL Java_ordo_TARNFactory_delRef(JNIEnv *, jclass, jlong f,
                                                               jboolean isAdd) {
    LibraryGuard guard(library_lock());
    DdManager *dd = g_state.manager;
    if (dd == nullptr || f == kMissingChild || f == 0) return;
    DdNode *n = node(f);
    uint32_t refs = Tarn_ReadCallerRefs(dd, n);
    DdNode *one = Tarn_ReadOne(dd);
    bool pinned = n == one || n == Tarn_Not(one) || n == Tarn_ReadZero(dd);
    if (refs <= (pinned ? 1u : 0u)) return;
    if (is_true(isAdd)) {
        Tarn_RecursiveDeref(dd, n);
    } else {
        Tarn_DeferredDerefBdd(dd, n);
    }
}
