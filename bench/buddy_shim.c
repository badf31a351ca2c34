// The C side of the peer engine: thin wrappers that take the reference of every node returned.
#include "buddy_shim.h"

#include <bdd.h>
#include <stdlib.h>

// The peer reorders blocks only: every variable gets a block of its own once per start.
static int blocksMade = 0;

// Collections are the peer's business; its default handler prints a line for each one.
static void quiet_gbc(int pre, bddGbcStat *stat) {
    (void)pre;
    (void)stat;
}

int bb_init(int nodes, int cache, int numVars) {
    if (bdd_init(nodes, cache) != 0) return 1;
    bdd_gbc_hook(quiet_gbc);
    bdd_setmaxincrease(1 << 26);
    if (bdd_setvarnum(numVars) != 0) return 1;
    return 0;
}

void bb_done(void) {
    bdd_done();
    blocksMade = 0;
}

static int keep(BDD r) { return bdd_addref(r); }

int bb_true(void) { return bdd_true(); }
int bb_false(void) { return bdd_false(); }
int bb_ithvar(int var) { return keep(bdd_ithvar(var)); }
int bb_nithvar(int var) { return keep(bdd_nithvar(var)); }
int bb_and(int a, int b) { return keep(bdd_apply(a, b, bddop_and)); }
int bb_or(int a, int b) { return keep(bdd_apply(a, b, bddop_or)); }
int bb_nand(int a, int b) { return keep(bdd_apply(a, b, bddop_nand)); }
int bb_diff(int a, int b) { return keep(bdd_apply(a, b, bddop_diff)); }
int bb_biimp(int a, int b) { return keep(bdd_apply(a, b, bddop_biimp)); }
int bb_not(int a) { return keep(bdd_not(a)); }
int bb_relprod(int a, int b, int cube) { return keep(bdd_appex(a, b, bddop_and, cube)); }

int bb_makeset(const int *vars, int n) {
    int *copy = malloc(sizeof(int) * (size_t)(n > 0 ? n : 1));
    for (int i = 0; i < n; i++) copy[i] = vars[i];
    BDD r = keep(bdd_makeset(copy, n));
    free(copy);
    return r;
}

void *bb_newpair(const int *from, const int *to, int n) {
    bddPair *pair = bdd_newpair();
    for (int i = 0; i < n; i++) bdd_setpair(pair, from[i], to[i]);
    return pair;
}

void bb_freepair(void *pair) { bdd_freepair((bddPair *)pair); }
int bb_replace(int f, void *pair) { return keep(bdd_replace(f, (bddPair *)pair)); }
void bb_release(int f) { bdd_delref(f); }
double bb_satcount(int f) { return bdd_satcount(f); }
int bb_level(int f) {
    return f == bdd_true() || f == bdd_false() ? bdd_varnum() : bdd_var2level(bdd_var(f));
}
int bb_low(int f) { return bdd_low(f); }
int bb_high(int f) { return bdd_high(f); }
int bb_is_true(int f) { return f == bdd_true(); }
int bb_var_level(int var) { return bdd_var2level(var); }

static void makeBlocks(void) {
    if (!blocksMade) {
        bdd_varblockall();
        blocksMade = 1;
    }
}

void bb_setorder(const int *order) {
    int n = bdd_varnum();
    int *copy = malloc(sizeof(int) * (size_t)(n > 0 ? n : 1));
    for (int i = 0; i < n; i++) copy[i] = order[i];
    bdd_setvarorder(copy);
    free(copy);
}
void bb_sift(void) {
    makeBlocks();
    bdd_reorder(BDD_REORDER_SIFT);
}
void bb_autosift(int on) {
    makeBlocks();
    bdd_autoreorder(on ? BDD_REORDER_SIFT : BDD_REORDER_NONE);
}
int bb_nodecount(int f) { return bdd_nodecount(f); }
