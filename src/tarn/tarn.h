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
// Sets the error code back to TARN_NO_ERROR.
void Tarn_ClearErrorCode(DdManager *dd);
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
// Nodes per bucket a subtable holds before it grows or collects (4 in a new manager); n = 0 sets
// the measured default, 2, and n above 64 sets 64. The collection threshold, the fast-growth limit
// and the computed table's room keep their values for the same number of nodes.
void Tarn_SetKeysPerSlot(DdManager *dd, unsigned n);
unsigned Tarn_ReadKeysPerSlot(DdManager *dd);
void Tarn_SetCacheHardLimit(DdManager *dd, unsigned n);
// The computed table's soft limit, in entries per bucket of the unique table (counted at four
// nodes per bucket): the table grows by its hit rate only while it is at most half of it. A new
// manager has 4; n = 0 sets the measured default, 3, and n above 64 sets 64. The room for growth
// follows at once.
void Tarn_SetCacheSoftFactor(DdManager *dd, unsigned n);
unsigned Tarn_ReadCacheSoftFactor(DdManager *dd);
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
// Drops one reference of a BDD as Tarn_DerefBdd does, for callers outside the package. A node
// that loses its last reference waits among the last few such releases before its release walk
// runs: a diagram released and needed again soon (a fixpoint's sets of the previous step) is
// found alive instead of dying and being revived node by node. Collections, reorderings, the
// live count and the report run the waiting walks first, so they see what Tarn_DerefBdd would
// have left.
void Tarn_DeferredDerefBdd(DdManager *dd, DdNode *f);
// References the callers hold on f: its count, without the one of its own waiting release.
uint32_t Tarn_ReadCallerRefs(DdManager *dd, DdNode *f);

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

// ---- ITE and Boolean connectives ------------------------------------------------------------
//
// Negation is free: the complement of f is Tarn_Not(f).

DdNode *Tarn_BddAnd(DdManager *dd, DdNode *f, DdNode *g);
DdNode *Tarn_BddOr(DdManager *dd, DdNode *f, DdNode *g);
DdNode *Tarn_BddNand(DdManager *dd, DdNode *f, DdNode *g);
DdNode *Tarn_BddNor(DdManager *dd, DdNode *f, DdNode *g);
DdNode *Tarn_BddXor(DdManager *dd, DdNode *f, DdNode *g);
DdNode *Tarn_BddXnor(DdManager *dd, DdNode *f, DdNode *g);
// (f AND g) OR (NOT f AND h).
DdNode *Tarn_BddIte(DdManager *dd, DdNode *f, DdNode *g, DdNode *h);
// 1 when f implies g, else 0. Builds no nodes, so it never collects garbage or reorders.
int Tarn_BddImplies(DdManager *dd, DdNode *f, DdNode *g);

// ---- quantification and relational product ----------------------------------------------------
//
// The variables to abstract come as a positive cube: one (no variable) or a conjunction of
// un-negated variables. Anything else makes these operations return null with errorCode
// TARN_INVALID_ARGUMENT; the two abstractions also print
// "Error: Can only abstract positive cubes\n" to the manager's error stream.

// The disjunction of f over all values of the cube's variables.
DdNode *Tarn_BddExistAbstract(DdManager *dd, DdNode *f, DdNode *cube);
// The conjunction of f over all values of the cube's variables.
DdNode *Tarn_BddForAllAbstract(DdManager *dd, DdNode *f, DdNode *cube);
// Tarn_BddExistAbstract(f AND g, cube) without building f AND g.
DdNode *Tarn_BddAndAbstract(DdManager *dd, DdNode *f, DdNode *g, DdNode *cube);

// ---- ADD constants, apply and operators --------------------------------------------------------
//
// An ADD ends in constants carrying doubles; 1e302 and -1e302 stand for plus and minus infinity.
// ADD handles never carry complement marks. Every value an operator makes passes through the
// constants table: values at or beyond 1e151 in magnitude become the infinities, values below
// the epsilon become zero.

// A two-operand operator: returns its result when (f, g) is terminal for it; otherwise returns
// null, a commutative operator having first put its operands in handle order. Its address is its
// computed-table identity.
using DD_AOP = DdNode *(*)(DdManager *, DdNode **, DdNode **);
// A one-operand operator: returns its result when f is a terminal for it, else null.
using DD_MAOP = DdNode *(*)(DdManager *, DdNode *);

// What an operator returns when the constants table could not make its result; the apply then
// yields null with the reason in the error code.
inline DdNode *const TARN_OPERATOR_FAILED = reinterpret_cast<DdNode *>(uintptr_t{2});

// The operator parameters, process-wide and kept across managers. ENERGY_CAP stores (x, enable)
// when set is true and returns the cap when it is enabled, -1.0 when not; MINIMIZE_VALUE stores x
// when set is true and returns the value.
double ENERGY_CAP(double x, bool set, bool enable);
double MINIMIZE_VALUE(double x, bool set);

// The constant node of a value, after normalisation.
DdNode *Tarn_AddConst(DdManager *dd, double value);
// The ADD whose leaf at every assignment is op applied to the leaves of f and g (of f).
DdNode *Tarn_AddApply(DdManager *dd, DD_AOP op, DdNode *f, DdNode *g);
DdNode *Tarn_AddMonadicApply(DdManager *dd, DD_MAOP op, DdNode *f);

// Arithmetic. Plus infinity plus minus infinity is zero; a zero dividend gives zero.
DdNode *Tarn_AddPlus(DdManager *dd, DdNode **f, DdNode **g);
DdNode *Tarn_AddTimes(DdManager *dd, DdNode **f, DdNode **g);
DdNode *Tarn_AddMinus(DdManager *dd, DdNode **f, DdNode **g);
DdNode *Tarn_AddDivide(DdManager *dd, DdNode **f, DdNode **g);
DdNode *Tarn_AddMaximum(DdManager *dd, DdNode **f, DdNode **g);
DdNode *Tarn_AddMinimum(DdManager *dd, DdNode **f, DdNode **g);
// Logic on 0/1 leaves.
DdNode *Tarn_AddOr(DdManager *dd, DdNode **f, DdNode **g);
DdNode *Tarn_AddNand(DdManager *dd, DdNode **f, DdNode **g);
DdNode *Tarn_AddNor(DdManager *dd, DdNode **f, DdNode **g);
DdNode *Tarn_AddXor(DdManager *dd, DdNode **f, DdNode **g);
DdNode *Tarn_AddXnor(DdManager *dd, DdNode **f, DdNode **g);
// One where f > g, zero elsewhere (a NaN leaf gives zero).
DdNode *Tarn_AddGreaterThan(DdManager *dd, DdNode **f, DdNode **g);
// max(f - g, 0); an infinite subtrahend decides alone, and with ENERGY_CAP enabled and not
// negative a difference above the cap becomes plus infinity.
DdNode *Tarn_AddEnergyMinus(DdManager *dd, DdNode **f, DdNode **g);
// f + g where minus infinity absorbs finite values and the two infinities cancel to zero.
DdNode *Tarn_AddEnergyPlus(DdManager *dd, DdNode **f, DdNode **g);
// Natural logarithm of the leaves; plus infinity stays plus infinity.
DdNode *Tarn_AddLog(DdManager *dd, DdNode *f);
// Leaves equal to MINIMIZE_VALUE become minus infinity.
DdNode *Tarn_AddMinimizeValue(DdManager *dd, DdNode *f);

// ---- ADD one-operand operations and if-then-else ----------------------------------------------

// One where f's leaf is zero, zero elsewhere.
DdNode *Tarn_AddCmpl(DdManager *dd, DdNode *f);
// The leaf -v where f has the leaf v.
DdNode *Tarn_AddNegate(DdManager *dd, DdNode *f);
// The constant node of f's largest (smallest) leaf.
DdNode *Tarn_AddFindMax(DdManager *dd, DdNode *f);
DdNode *Tarn_AddFindMin(DdManager *dd, DdNode *f);
// g where the 0/1 ADD f is one, h where it is zero.
DdNode *Tarn_AddIte(DdManager *dd, DdNode *f, DdNode *g, DdNode *h);
// The product of the n projection functions vars[i], each complemented where phases[i] is 0;
// phases may be null (all positive). n = 0 gives one.
DdNode *Tarn_AddComputeCube(DdManager *dd, DdNode **vars, const int *phases, int n);

// ---- ADD abstraction ---------------------------------------------------------------------------
//
// The variables to remove come as an ADD cube: one, or a product of un-complemented projection
// functions. Anything else is refused with a message on the error stream and errorCode
// TARN_INVALID_ARGUMENT.

// Sum, maximum, minimum, disjunction (0/1 ADDs) and product over the cube's variables.
DdNode *Tarn_AddExistAbstract(DdManager *dd, DdNode *f, DdNode *cube);
DdNode *Tarn_AddMaxAbstract(DdManager *dd, DdNode *f, DdNode *cube);
DdNode *Tarn_AddMinAbstract(DdManager *dd, DdNode *f, DdNode *cube);
DdNode *Tarn_AddOrAbstract(DdManager *dd, DdNode *f, DdNode *cube);
DdNode *Tarn_AddUnivAbstract(DdManager *dd, DdNode *f, DdNode *cube);

// ---- conversions between ADDs and BDDs ---------------------------------------------------------
//
// Bounds act as the values of their constant nodes (a bound of 1e151 or more acts as plus
// infinity). A NaN leaf passes every test except the bit test, where it has only bit 31 set.

// The 0/1 ADD of a BDD.
DdNode *Tarn_BddToAdd(DdManager *dd, DdNode *f);
// The BDD of the leaves that are not zero / at least t / above t / in [lo, hi] / have bit i mod 32
// set in their integer part (truncated toward zero; out of the 32-bit range: bit 31 alone).
DdNode *Tarn_AddBddPattern(DdManager *dd, DdNode *f);
DdNode *Tarn_AddBddThreshold(DdManager *dd, DdNode *f, double t);
DdNode *Tarn_AddBddStrictThreshold(DdManager *dd, DdNode *f, double t);
DdNode *Tarn_AddBddInterval(DdManager *dd, DdNode *f, double lo, double hi);
DdNode *Tarn_AddBddIthBit(DdManager *dd, DdNode *f, int i);
// The 0/1 ADD of the leaves below t / above t / at most t / at least t.
DdNode *Tarn_AddThresholdLess(DdManager *dd, DdNode *f, double t);
DdNode *Tarn_AddThresholdGreater(DdManager *dd, DdNode *f, double t);
DdNode *Tarn_AddThresholdAtMost(DdManager *dd, DdNode *f, double t);
DdNode *Tarn_AddThresholdAtLeast(DdManager *dd, DdNode *f, double t);

// ---- substitution ------------------------------------------------------------------------------
//
// A permutation has one entry per variable index: entry i is the index of the variable that takes
// the place of variable i. A substitution vector has one function per variable index.

DdNode *Tarn_BddPermute(DdManager *dd, DdNode *f, const int *perm);
DdNode *Tarn_AddPermute(DdManager *dd, DdNode *f, const int *perm);
// The ADD f with the variables of the projection functions x[k] and y[k] exchanged, k < n.
DdNode *Tarn_AddSwapVariables(DdManager *dd, DdNode *f, DdNode **x, DdNode **y, int n);
// f with variable v replaced by g (for ADDs, g is the 0/1 condition of an if-then-else). A v
// outside 0..size-1 gives null with errorCode TARN_INVALID_ARGUMENT.
DdNode *Tarn_BddCompose(DdManager *dd, DdNode *f, DdNode *g, int v);
DdNode *Tarn_AddCompose(DdManager *dd, DdNode *f, DdNode *g, int v);
// f with every variable i replaced by vector[i] at once; an entry that is the projection function
// of its own variable leaves it unchanged.
DdNode *Tarn_BddVectorCompose(DdManager *dd, DdNode *f, DdNode **vector);
DdNode *Tarn_AddVectorCompose(DdManager *dd, DdNode *f, DdNode **vector);

// ---- counting, cubes and support ---------------------------------------------------------------

// Assignments of nvars variables on which f is not zero (for ADDs: not the background); -1 on
// failure or when nvars is 2025 or more; 1e302 when the count is beyond the range of a double.
double Tarn_CountMinterms(DdManager *dd, DdNode *f, int nvars);
// Paths from f to a non-zero constant reached without a complement; -1 without memory.
double Tarn_CountPaths(DdNode *f);
// Distinct nodes reachable from f, constants included / distinct constants reachable from f.
int Tarn_DagSize(DdNode *f);
int Tarn_CountLeaves(DdNode *f);
// 1 when every leaf of the ADD f is the constant one or the ADD zero, else 0.
int Tarn_AddIsZeroOne(DdManager *dd, DdNode *f);
// The variables f depends on: their count, and in *out a new array of their indices in ascending
// order (null for none; the caller frees it). -1 without memory.
int Tarn_SupportList(DdManager *dd, DdNode *f, int **out);
int Tarn_SupportCount(DdManager *dd, DdNode *f);
// The conjunction of the positive literals of f's variables; one for a constant.
DdNode *Tarn_SupportCube(DdManager *dd, DdNode *f);
// A new array with one entry per variable index: 1 where f depends on it, else 0. The caller
// frees it.
int *Tarn_SupportMask(DdManager *dd, DdNode *f);
// One satisfying cube of the BDD f, following else-branches whenever they are not zero.
DdNode *bdd_sat_one(DdManager *dd, DdNode *f);
// The 0/1 ADD of the cube of the first path of the ADD f to a leaf other than the background;
// the ADD zero when there is none.
DdNode *add_sat_one(DdManager *dd, DdNode *f);

// ---- printing ----------------------------------------------------------------------------------
//
// To the manager's output stream. The statuses are 1 on success, 0 on failure.

// A summary line of f counted over n variables; level 2 adds the paths, level 3 the node list,
// level 4 and above both. Level 0 and below print nothing.
int Tarn_PrintSummary(DdManager *dd, DdNode *f, int n, int level);
// Every node reachable from f, one line each.
int tarnPrintNodeList(DdManager *dd, DdNode *f);

// ---- generalized cofactors ---------------------------------------------------------------------

// f with the variables of the cube of literals g fixed as g fixes them (BDDs and ADDs). A zero g,
// or a g that is not a cube, prints a message to the error stream and gives null with errorCode
// TARN_INVALID_ARGUMENT.
DdNode *Tarn_Cofactor(DdManager *dd, DdNode *f, DdNode *g);
// A diagram equal to f wherever the care set c is one, with strictly fewer nodes than f, or f
// itself. The ADD form takes a 0/1 ADD care set.
DdNode *Tarn_BddRestrict(DdManager *dd, DdNode *f, DdNode *c);
DdNode *Tarn_AddRestrict(DdManager *dd, DdNode *f, DdNode *c);
// The cube of the literals that two cubes share with the same sign.
DdNode *Tarn_BddLiteralIntersection(DdManager *dd, DdNode *f, DdNode *g);
// The positive cubes of the variables in both supports, only in f's and only in c's, without
// references of their own; 1 on success, 0 on failure.
int Tarn_SupportClassify(DdManager *dd, DdNode *f, DdNode *c, DdNode **common, DdNode **onlyF,
                         DdNode **onlyC);

// ---- variable order and reordering ------------------------------------------------------------
//
// Reordering changes the levels of the variables while every node keeps its address, so handles
// stay valid. Variable groups (Tarn_MakeTreeNode) move as blocks; a fixed group keeps its inside
// order.
struct MtrNode;
// Reordering method codes. Codes 1, 2, 4, 5, 8, 9, 11, 12 and 14 are built; Tarn_Reorder
// refuses the others as unknown (result 0).
enum TarnReorderingType {
    TARN_REORDER_SAME = 0,
    TARN_REORDER_NONE = 1,
    TARN_REORDER_RANDOM = 2,
    TARN_REORDER_RANDOM_PIVOT = 3,
    TARN_REORDER_SIFT = 4,
    TARN_REORDER_SIFT_CONVERGE = 5,
    TARN_REORDER_SYMM_SIFT = 6,
    TARN_REORDER_SYMM_SIFT_CONVERGE = 7,
    TARN_REORDER_WINDOW2 = 8,
    TARN_REORDER_WINDOW3 = 9,
    TARN_REORDER_WINDOW4 = 10,
    TARN_REORDER_WINDOW2_CONVERGE = 11,
    TARN_REORDER_WINDOW3_CONVERGE = 12,
    TARN_REORDER_WINDOW4_CONVERGE = 13,
    TARN_REORDER_GROUP_SIFT = 14,
    TARN_REORDER_GROUP_SIFT_CONVERGE = 15,
    TARN_REORDER_ANNEALING = 16,
    TARN_REORDER_GENETIC = 17,
    TARN_REORDER_LINEAR = 18,
    TARN_REORDER_LINEAR_CONVERGE = 19,
    TARN_REORDER_LAZY_SIFT = 20,
    TARN_REORDER_EXACT = 21,
};

// Reorders with a method code (0: the automatic method) when at least minSize nodes are live;
// 1 on success or when there is nothing to do, 0 on failure.
int Tarn_Reorder(DdManager *dd, int method, int minSize);
// Moves the variables to the order order[level] = variable index; 0 (order unchanged) when it
// would split a group, or on failure.
int Tarn_SetOrder(DdManager *dd, const int *order);
// The report of every reordering on the output stream: switch on / off, and whether it is on.
int Tarn_EnableReorderReport(DdManager *dd);
int Tarn_DisableReorderReport(DdManager *dd);
int Tarn_ReorderReportOn(DdManager *dd);
// A pseudo-random non-negative value from the manager's own generator.
int32_t Tarn_NextRandom(DdManager *dd);
// A group of size levels starting at the level of variable low; null when it cannot be made.
MtrNode *Tarn_MakeTreeNode(DdManager *dd, unsigned low, unsigned size, unsigned flags);
void Tarn_FreeTree(DdManager *dd);
// Prints the order with its groups ("BDD"; "ZDD" selects the ZDD order); 0 when a write fails.
int Tarn_PrintGroupedOrder(DdManager *dd, const char *kind, void *extra);

// ---- controller determinization and the negative-cycle check -----------------------------------

// One allowed assignment of the cube's variables (the outputs) for every assignment of the other
// variables at which f is not zero, zero elsewhere. f is a BDD with a positive BDD cube, or a 0/1
// ADD with an ADD cube; anything but a cube prints "Error:  Can only abstract cubes" to the error
// stream and gives null with errorCode TARN_INVALID_ARGUMENT. The cube's variables are moved below
// all others and the order is left that way; then the manager's automatic reordering method, unless
// it is TARN_REORDER_NONE, runs once more (also while automatic reordering is off). With the cube
// one, f comes back and the order is not touched.
DdNode *Tarn_BddDeterminize(DdManager *dd, DdNode *f, DdNode *cube);
DdNode *Tarn_AddDeterminize(DdManager *dd, DdNode *f, DdNode *cube);

// The minimum over the n variables of the ADD projection functions vars[] of f + g (plus infinity
// absorbs).
DdNode *Tarn_AddMinPlusAbstract(DdManager *dd, DdNode *f, DdNode *g, DdNode **vars, int n);

// Relaxes state values (the ADD curS over the primed variables, those of primeCube's support) along
// the weighted transition ADD T until they settle (0) or until more than 4^n relaxations for n
// primed variables (1: a negative cycle). pairing[j] is a projection function of the unprimed
// partner of primed variable j, with one entry per variable. Appends n fresh variables and leaves
// them in the manager; prints a trace to standard output. -1 when the check could not finish (a
// resource ran out, or a pairing entry names no variable); the error code tells why.
int Tarn_NegCycleCheck(DdManager *dd, DdNode *T, DdNode *curS, DdNode *primeCube,
                       DdNode **pairing);
