// Shared state of the binding, its helpers, the library's load and unload hooks and the lookup of
// the reordering-method constants.
#include "binding/binding.h"

#include <optional>

#include "util/util.h"

namespace tarnjni {

BindingState g_state;

const char *const kReorderFieldNames[kReorderMethodCount] = {
    "REORDER_NONE", "REORDER_RANDOM", "REORDER_SIFT",  "REORDER_SIFTITE",
    "REORDER_WIN2", "REORDER_WIN2ITE", "REORDER_WIN3", "REORDER_WIN3ITE",
};

namespace {
std::optional<BiasedLock> libraryLock;
}  // namespace

BiasedLock &library_lock() { return *libraryLock; }

void throw_java(JNIEnv *env, const char *className, const char *message) {
    if (env->ExceptionCheck()) return;
    jclass cls = env->FindClass(className);
    if (cls == nullptr) return;  // FindClass left its own error pending
    env->ThrowNew(cls, message);
    env->DeleteLocalRef(cls);
}

const char *failure_message(int errorCode) {
    switch (errorCode) {
        case TARN_NO_ERROR: return "TARN operation failed: no result";
        case TARN_OUT_OF_MEMORY: return "TARN operation failed: out of memory";
        case TARN_TOO_MANY_NODES: return "TARN operation failed: too many live nodes";
        case TARN_MEMORY_LIMIT: return "TARN operation failed: memory limit reached";
        case TARN_TIME_OUT: return "TARN operation failed: time limit exceeded";
        case TARN_TERMINATED: return "TARN operation failed: terminated on request";
        case TARN_INVALID_ARGUMENT: return "TARN operation failed: invalid argument";
        default: return "TARN operation failed: unknown error";
    }
}

void throw_failure(JNIEnv *env, int errorCode) {
    throw_java(env, kBDDException, failure_message(errorCode));
}

DdNode *refusal_as_invalid_argument(JNIEnv *env, DdManager *dd, DdNode *r) {
    if (r == nullptr && Tarn_ReadErrorCode(dd) == TARN_NO_ERROR) {
        throw_failure(env, TARN_INVALID_ARGUMENT);
    }
    return r;
}

void *guarded_malloc(size_t bytes) {
    UtilOutOfMemoryFn saved = util_out_of_memory;
    util_out_of_memory = nullptr;
    void *p = util_malloc(bytes);
    util_out_of_memory = saved;
    return p;
}

bool check_manager(JNIEnv *env, DdManager *dd) {
    if (dd != nullptr) return true;
    throw_java(env, kBDDException, "TARN is not initialized");
    return false;
}

bool check_operands(JNIEnv *env, Handles operands) {
    for (jlong h : operands) {
        if (h == 0) {
            throw_java(env, kIllegalArgumentException, "null node handle");
            return false;
        }
        if (h == kMissingChild) {
            throw_java(env, kIllegalArgumentException, "missing-child handle -1 is not a node");
            return false;
        }
    }
    return true;
}

bool check_add_operands(JNIEnv *env, std::initializer_list<DdNode *> operands) {
    for (DdNode *f : operands) {
        if (Tarn_IsComplement(f)) {
            throw_java(env, kIllegalArgumentException, "complemented handle is not an ADD");
            return false;
        }
    }
    return true;
}

}  // namespace tarnjni

using namespace tarnjni;

extern "C" JNIEXPORT jint JNICALL JNI_OnLoad(JavaVM *, void *) {
    libraryLock.emplace();
    return JNI_VERSION_1_4;
}

extern "C" JNIEXPORT void JNICALL JNI_OnUnload(JavaVM *, void *) { libraryLock.reset(); }

// Records the field ids of the eight reordering-method constants. When the class or a field is
// missing, the JVM's NoClassDefFoundError or NoSuchFieldError stays pending for the caller and no
// id is stored.
extern "C" JNIEXPORT void JNICALL Java_ordo_TARNFactory_registerNatives(JNIEnv *env, jclass) {
    jclass factory = env->FindClass("ordo/BDDFactory");
    if (factory == nullptr) return;
    jfieldID ids[kReorderMethodCount] = {};
    bool found = true;
    for (int i = 0; i < kReorderMethodCount && found; ++i) {
        ids[i] = env->GetStaticFieldID(factory, kReorderFieldNames[i],
                                       "Lordo/BDDFactory$ReorderMethod;");
        found = ids[i] != nullptr;
    }
    env->DeleteLocalRef(factory);
    if (!found) return;
    LibraryGuard guard(library_lock());
    for (int i = 0; i < kReorderMethodCount; ++i) g_state.reorderFields[i] = ids[i];
}
