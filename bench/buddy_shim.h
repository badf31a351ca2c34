// The peer package behind a plain C interface. Its header declares C++ classes when compiled as
// C++, and its static library carries only the C functions, so the C side lives in buddy_shim.c
// and the benchmark driver sees nothing but these declarations. A node is an int; every node the
// driver holds carries one reference (bb_* functions that return a node have already taken it).
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

// Starts the peer with `nodes` initial node slots, `cache` entries per operation cache and
// `numVars` variables; the node table may grow by up to 2^26 nodes at a time. Returns 0 on success.
int bb_init(int nodes, int cache, int numVars);
void bb_done(void);

int bb_true(void);
int bb_false(void);
int bb_ithvar(int var);
int bb_nithvar(int var);
int bb_and(int a, int b);
int bb_or(int a, int b);
int bb_nand(int a, int b);
int bb_diff(int a, int b);   // a AND NOT b
int bb_biimp(int a, int b);  // a <-> b
int bb_not(int a);
// Exists cube . a AND b
int bb_relprod(int a, int b, int cube);
// Conjunction of the (positive) variables.
int bb_makeset(const int *vars, int n);
// A renaming from[i] -> to[i]; bb_replace applies it.
void *bb_newpair(const int *from, const int *to, int n);
void bb_freepair(void *pair);
int bb_replace(int f, void *pair);

void bb_release(int f);

// Satisfying assignments over all variables.
double bb_satcount(int f);
// The node: its variable's level (the variable count for the constants) and its children.
int bb_level(int f);
int bb_low(int f);
int bb_high(int f);
int bb_is_true(int f);
// The level of a variable in the current order.
int bb_var_level(int var);

// Reordering: the variable order (order[level] = variable), sifting now, automatic sifting on or
// off, and the internal nodes of f.
void bb_setorder(const int *order);
void bb_sift(void);
void bb_autosift(int on);
int bb_nodecount(int f);

#ifdef __cplusplus
}
#endif
