// tarn: decision diagrams with complement edges (BDDs) and double-valued leaves (ADDs) in one
// node store. This is the package's public interface: the Java binding and the game solvers use
// nothing else.
//
// Handles are node addresses; bit 0 marks a complemented edge. An operation returns a handle
// without a reference of its own, or null when it could not finish; the reason is then in
// Tarn_ReadErrorCode. A caller references what it keeps (Tarn_Ref) before the next call that can
// create nodes, and releases it with Tarn_RecursiveDeref (any diagram) or Tarn_DerefBdd (BDDs).
#pragma once

#include <cstdint>
#include <cstdio>

struct DdNode;
struct DdManager;

// Index of every constant node.
constexpr uint32_t TARN_MAXINDEX = 0x7FFFFFFF;

// Error codes left in the manager by an operation that yields no result. The manager never
// clears them.
enum TarnErrorType {
    TARN_NO_ERROR = 0,
    TARN_OUT_OF_MEMORY = 1,
    TARN_TOO_MANY_NODES = 2,
    TARN_MEMORY_LIMIT = 3,
    TARN_TIME_OUT = 4,
    TARN_TERMINATED = 5,
    TARN_INVALID_ARGUMENT = 6,
};

// Hook lists of the manager.
enum TarnHookType {
    TARN_PRE_GC_HOOK = 0,
    TARN_POST_GC_HOOK = 1,
    TARN_PRE_REORDERING_HOOK = 2,
    TARN_POST_REORDERING_HOOK = 3,
};

// A hook: (manager, kind of diagrams, argument) -> 0 on failure.
using DD_HFP = int (*)(DdManager *, const char *, void *);
// Termination callback: non-zero asks the running operation to give up.
using DD_THFP = int (*)(const void *);
// Called with the requested byte count when a guarded allocation of the manager fails.
using DD_OOMFP = void (*)(size_t);
// Called by public operations after a time-out.
using DD_TOHFP = void (*)(DdManager *, void *);

// ---- handle arithmetic ---------------------------------------------------------------------

inline DdNode *Tarn_Regular(DdNode *f) {
    return reinterpret_cast<DdNode *>(reinterpret_cast<uintptr_t>(f) & ~uintptr_t{1});
}
inline DdNode *Tarn_Not(DdNode *f) {
    return reinterpret_cast<DdNode *>(reinterpret_cast<uintptr_t>(f) ^ uintptr_t{1});
}
inline DdNode *Tarn_NotCond(DdNode *f, bool c) {
    return reinterpret_cast<DdNode *>(reinterpret_cast<uintptr_t>(f) ^ uintptr_t{c});
}
inline bool Tarn_IsComplement(DdNode *f) { return (reinterpret_cast<uintptr_t>(f) & 1) != 0; }

// ---- manager life cycle ----------------------------------------------------------------------

// Creates a manager with numVars BDD/ADD variables (and numVarsZ ZDD levels), numSlots initial
// buckets per unique subtable, a computed table of about cacheSize entries and maxMemory bytes as
// the memory budget (0: the physical memory size). Null when an allocation fails.
DdManager *Tarn_Init(unsigned numVars, unsigned numVarsZ, unsigned numSlots, unsigned cacheSize,
                     uint64_t maxMemory);
// Frees the manager and all its memory; null is ignored.
void Tarn_Quit(DdManager *dd);

// ---- readers ---------------------------------------------------------------------------------

int Tarn_ReadSize(DdManager *dd);
DdNode *Tarn_ReadOne(DdManager *dd);
DdNode *Tarn_ReadZero(DdManager *dd);
DdNode *Tarn_ReadLogicZero(DdManager *dd);
DdNode *Tarn_ReadPlusInfinity(DdManager *dd);
DdNode *Tarn_ReadMinusInfinity(DdManager *dd);
DdNode *Tarn_ReadBackground(DdManager *dd);
// Level of a variable index / index at a level; TARN_MAXINDEX maps to itself, anything else
// outside 0..size-1 gives -1.
int Tarn_ReadPerm(DdManager *dd, int index);
int Tarn_ReadInvPerm(DdManager *dd, int level);
double Tarn_ReadEpsilon(DdManager *dd);
unsigned Tarn_ReadCacheSlots(DdManager *dd);
long Tarn_ReadReorderingTime(DdManager *dd);
int Tarn_ReadAutoReorder(DdManager *dd, int *method);
int Tarn_ReadErrorCode(DdManager *dd);
FILE *Tarn_ReadStdout(DdManager *dd);
FILE *Tarn_ReadStderr(DdManager *dd);

bool Tarn_IsConstant(DdNode *f);
uint32_t Tarn_ReadNodeIndex(DdNode *f);
// Reference count of the regular node of f.
uint32_t Tarn_ReadNodeRef(DdNode *f);
// Children of the regular node, as stored (no complement is applied).
DdNode *Tarn_Then(DdNode *f);
DdNode *Tarn_Else(DdNode *f);
double Tarn_V(DdNode *f);

// ---- setters ---------------------------------------------------------------------------------

void Tarn_SetEpsilon(DdManager *dd, double epsilon);
void Tarn_SetReorderBudget(DdManager *dd, unsigned budget);
// n = 0 derives the limit from the low 32 bits of the physical memory size.
void Tarn_SetFastGrowthLimit(DdManager *dd, unsigned n);
void Tarn_SetCacheHardLimit(DdManager *dd, unsigned n);
void Tarn_SetCacheHitThreshold(DdManager *dd, unsigned percent);
void Tarn_ResetStartTime(DdManager *dd);
void Tarn_SetTimeLimit(DdManager *dd, unsigned long ms);
void Tarn_SetTerminationCallback(DdManager *dd, DD_THFP callback, const void *arg);
void Tarn_SetTimeoutHandler(DdManager *dd, DD_TOHFP handler, void *arg);
void Tarn_SetOutOfMemoryHandler(DdManager *dd, DD_OOMFP handler);
void Tarn_SetStdout(DdManager *dd, FILE *fp);
void Tarn_SetStderr(DdManager *dd, FILE *fp);
void Tarn_SetMaxLive(DdManager *dd, unsigned maxLive);
void Tarn_SetMaxMemory(DdManager *dd, uint64_t maxMemory);
void Tarn_EnableGarbageCollection(DdManager *dd);
void Tarn_DisableGarbageCollection(DdManager *dd);

void Tarn_EnableAutoReorder(DdManager *dd, int method);
void Tarn_DisableAutoReorder(DdManager *dd);

// ---- hooks -----------------------------------------------------------------------------------

int Tarn_AddHook(DdManager *dd, DD_HFP f, int which);
int Tarn_RemoveHook(DdManager *dd, DD_HFP f, int which);

// ---- references ------------------------------------------------------------------------------

void Tarn_Ref(DdNode *f);
void Tarn_DecRef(DdNode *f);
void Tarn_RecursiveDeref(DdManager *dd, DdNode *f);
void Tarn_DerefBdd(DdManager *dd, DdNode *f);
void Tarn_DelayedDerefBdd(DdManager *dd, DdNode *f);

// ---- statistics ------------------------------------------------------------------------------

// Writes the report of settings and counters; 0 as soon as a write fails.
int Tarn_PrintInfo(DdManager *dd, FILE *fp);
// Live nodes, not counting those held only by the manager; empties the delayed-release queue.
unsigned Tarn_ReadNodeCount(DdManager *dd);
// Node slots allocated so far (1022 per node block); it only grows.
long Tarn_ReadPeakNodeCount(DdManager *dd);

// ---- variables -------------------------------------------------------------------------------

DdNode *Tarn_BddIthVar(DdManager *dd, int i);
DdNode *Tarn_BddNewVar(DdManager *dd);
DdNode *Tarn_AddIthVar(DdManager *dd, int i);
DdNode *Tarn_AddNewVar(DdManager *dd);
