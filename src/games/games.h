// The game solvers and their process-wide memories.
//
// gr1_game decides GR(1) games (does the system win from every initial state?) and rabin_game the
// dual Rabin games (does the environment win from some initial state?) over a symbolic game
// structure. Each solver keeps the iterates of its last run in its memory (gr1_mem, rabin_mem),
// from which Java reads them back, and each has an incremental mode that restarts from the
// memory of an earlier solve, handed back as an inc_data record. Everything the solvers print goes
// to standard output.
//
// Every handle stored in a memory holds one reference. Releasing a memory frees its arrays only.
#pragma once

#include <vector>

#include "tarn/tarn.h"

// ---- the game structure ------------------------------------------------------------------------

// The inputs of one solve, all borrowed: the solvers neither reference nor release them.
struct game_structure {
    DdNode *const *sysJ;  // system justices
    int sysJSize;
    DdNode *const *envJ;  // environment justices
    int envJSize;
    DdNode *sysIni;
    DdNode *envIni;
    DdNode *sysTrans;
    DdNode *envTrans;
    // positive cubes of the unprimed and primed variables of each player
    DdNode *sysVars;
    DdNode *envVars;
    DdNode *sysPrimeVars;
    DdNode *envPrimeVars;
    DdNode *const *pairing;  // entry v: the projection function of the primed copy of variable v;
                             // one entry per variable of the manager
};

// The result of a solve that could not finish (an operation, priming or a growth failed, or the
// incremental input did not fit the game).
constexpr int GAME_FAILED = 255;

// ---- incremental input -------------------------------------------------------------------------

constexpr int INC_TYPE_NEW_INI_ADDED = 0x01;
constexpr int INC_TYPE_NEW_SAFETY_ADDED = 0x02;
constexpr int INC_TYPE_NEW_JUSTICE_ADDED = 0x04;
constexpr int INC_TYPE_PREV_INI_REMOVED = 0x08;
constexpr int INC_TYPE_PREV_SAFETY_REMOVED = 0x10;
constexpr int INC_TYPE_PREV_JUSTICE_REMOVED = 0x20;

// The memory of an earlier GR(1) solve handed back for an incremental one. The arrays are views:
// the record owns none of the handles. x_mem[i][j] holds sizeD3[i] handles.
struct gr1_inc_data {
    int inc_type = 0;
    DdNode *start_z = nullptr;
    DdNode ****x_mem = nullptr;
    DdNode *const *z_mem = nullptr;
    DdNode *const *z_mem_first_itr = nullptr;
    int sizeD1 = 0;
    int sizeD2 = 0;
    const int *sizeD3 = nullptr;
    int least_removed_justice = 0;
};

// The same for the Rabin solver: x_mem[zi][i] holds sizeD3[zi][i] handles.
struct rabin_inc_data {
    int inc_type = 0;
    DdNode *start_z = nullptr;
    DdNode ****x_mem = nullptr;
    DdNode *const *z_mem = nullptr;
    int sizeD1 = 0;
    int sizeD2 = 0;
    int **sizeD3 = nullptr;
    int least_removed_justice = 0;
};

// Prints the INC_TYPE line of an incremental solve.
void print_inc_type(int inc_type);

// True when inc_type describes a change of the initial states only.
bool is_only_ini_change(int inc_type);

// Splits the flattened X memory of an earlier GR(1) solve (the order of gr1_x_mem_flat) into
// inc->x_mem; the arrays point into flat. False when flat holds fewer than the counts ask for, a
// count is negative, or memory runs out. free_gr1_inc_x frees what it made.
bool unflatten_gr1_inc_x(gr1_inc_data *inc, DdNode *const *flat, long flatSize, long *used);
void free_gr1_inc_x(gr1_inc_data *inc);

// The same for the Rabin form: counts (sizeD1 x sizeD2, row by row) become inc->sizeD3 and the
// flattened X memory (the order of rabin_x_mem_flat) becomes inc->x_mem.
bool unflatten_rabin_inc(rabin_inc_data *inc, const int *counts, DdNode *const *flat, long flatSize,
                         long *used);
void free_rabin_inc(rabin_inc_data *inc);

// ---- the memories ------------------------------------------------------------------------------

// Iterates of the last GR(1) solve, per system justice j and environment justice i.
struct gr1_memory {
    int sizeD1 = 0;                      // system justices
    int sizeD2 = 0;                      // environment justices
    DdNode **z_mem = nullptr;            // [j]: the Z last stored for j (null: none)
    DdNode **z_mem_first_itr = nullptr;  // [j]: the Z of the first pass; incremental only
    DdNode ***y_mem = nullptr;           // [j][cy]: the Y iterates of j
    DdNode ****x_mem = nullptr;          // [j][i][cy]: the X fixpoints of j, i
    int *sizeD3 = nullptr;               // [j]: valid entries of y_mem[j] and x_mem[j][i]
};

// Iterates of the last Rabin solve, per Z entry zi and environment justice i.
struct rabin_memory {
    int sizeD1 = 0;                      // Z entries
    int sizeD2 = 0;                      // environment justices
    DdNode **z_mem = nullptr;            // [zi]: the accumulated Z after entry zi
    DdNode ****x_mem = nullptr;          // [zi][i][k]: the X iterates of entry zi
    int **sizeD3 = nullptr;              // [zi][i]: valid entries of x_mem[zi][i]
    DdNode ****x_mem_recycle = nullptr;  // [j][i][cy]: only during a solve with recycling
    int rows = 0;                        // rows allocated in z_mem and x_mem
    int recycle_rows = 0;                // rows allocated in x_mem_recycle
};

extern gr1_memory gr1_mem;
extern rabin_memory rabin_mem;

// Free the arrays of a memory (the stored references stay counted); the memory is empty after.
void free_gr1_mem();
void free_rabin_mem();

// ---- innermost handle arrays -----------------------------------------------------------------
//
// The innermost arrays of the memories know their own capacity, so that growing never shrinks
// one that an incremental copy made larger than the solver's common capacity.

DdNode **handle_array_new(int capacity);
int handle_array_capacity(DdNode **array);
// Grows *array to at least newSize entries, contents kept; false (array unchanged) on failure.
bool handle_array_grow(DdNode ***array, int newSize);
void handle_array_free(DdNode **array);

// ---- growth routines ---------------------------------------------------------------------------
//
// Each prints its start line and its end line (or its error line) on standard output and returns
// false when it could not grow everything.

bool extend_size_1D(DdNode ***array, int newSize);
bool extend_size_2D(DdNode ***rows, int rowCount, int newSize);
bool extend_size_3D(DdNode ****array, int count1, int count2, int newSize);
bool extend_size_1D_3D(DdNode *****array, int oldSize, int newSize, int sizeD2, int capacity);
bool extend_size_1D_2D_int(int ***array, int oldSize, int newSize, int sizeD2);

// ---- filling a memory from incremental input
// ------------------------------------------------------

// Restores gr1_mem (already allocated for the input's sizes) from the input: sizeD3, z_mem,
// z_mem_first_itr, x_mem, and zero Y entries. False when a resize failed.
bool copy_to_gr1_mem(DdManager *dd, const gr1_inc_data &inc, int capacity);

// Restores the first n Z entries of rabin_mem and their X iterates from the input, and their
// counts into the working counts. False when a resize failed.
bool copy_to_rabin_mem(DdManager *dd, const rabin_inc_data &inc, int **counts, int capacity, int n);

// ---- reading the memories --------------------------------------------------------------------
//
// The contents of the getter entry points, in their flattened orders. The GR(1) readers that
// depend on the counts first turn every -1 count into 0 (in the memory), printing one line each
// with their prefix. No reference is taken.

std::vector<int> gr1_attr_sizes(const char *prefix);
std::vector<DdNode *> gr1_x_mem_flat(const char *prefix);
std::vector<DdNode *> gr1_y_mem_flat(const char *prefix);
std::vector<DdNode *> gr1_z_mem_flat();
std::vector<DdNode *> gr1_z_mem_first_itr_flat();
int rabin_z_size();
std::vector<DdNode *> rabin_z_mem_flat();
std::vector<int> rabin_x_sizes();
std::vector<DdNode *> rabin_x_mem_flat();

// ---- the solvers -------------------------------------------------------------------------------

// Solves the GR(1) game; 1 when the system wins from all initial states, 0 when not, GAME_FAILED
// when the solve could not finish. inc is read only when incremental is true. gr1_mem must have
// been released before.
int gr1_game(DdManager *dd, const game_structure &game, bool efp, bool eun, bool fpr,
             bool incremental, const gr1_inc_data *inc);

// Solves the Rabin game; 1 when the environment wins from some initial state, 0 when not,
// GAME_FAILED when the solve could not finish. rabin_mem must have been released before.
int rabin_game(DdManager *dd, const game_structure &game, bool efp, bool eun, bool fpr,
               bool incremental, const rabin_inc_data *inc);

// The controllable predecessors: the states from which the system (the environment) can force
// the next state into p. Referenced, or null when an operation or the priming failed.
DdNode *sysCpre(DdManager *dd, const game_structure &game, DdNode *p);
DdNode *envCpre(DdManager *dd, const game_structure &game, DdNode *p);

// 1 when z holds the system's moves from every initial environment state (GR(1)), or when the
// environment has an initial state from which every system choice lies in z (Rabin); 0 when not,
// -1 when an operation failed. Each prints its verdict line.
int sysWinAllInitial(DdManager *dd, const game_structure &game, DdNode *z);
int envWinAllInitial(DdManager *dd, const game_structure &game, DdNode *z);
