// Counting on one diagram without changing it: satisfying assignments (minterms), paths to the
// non-zero constants, nodes and constants.
//
// The node and leaf counts mark visited nodes in bit 0 of their `next` field and clear every mark
// in a second walk before they return, so no mark outlives the call.
#include <cmath>

#include "../st/st.h"
#include "tarnInt.h"

namespace {

// Minterm counts are kept scaled by 2^-1021 relative to the real count, so that the count over as
// many as 2024 variables stays finite and every intermediate count stays a normal double.
constexpr int kMintermScale = 1021;
// A scaled count from here on is 2^1024 or more in real terms: beyond the range of a double.
constexpr double kScaledOverflow = 8.0;
constexpr double kCountTooLarge = 1e302;

// The minterm count memoizes its intermediate counts in a private table of doubles (the bits of
// each double stored as the entry's value) that dies with the call. Kept as constant nodes, the
// scaled counts (near 2^-1021 for small diagrams) would stay in the constants table afterwards
// and a later lookup of a value within the merging tolerance of one of them, 0 included, would
// return the count's node instead.
inline st_value countBits(double count) {
    st_value bits;
    static_assert(sizeof bits == sizeof count, "a count fits an entry's value");
    memcpy(&bits, &count, sizeof bits);
    return bits;
}
inline double countOfBits(st_value bits) {
    double count;
    memcpy(&count, &bits, sizeof count);
    return count;
}

double mintermsRecur(DdManager *dd, st_table *table, DdNode *f, double max);
double pathsRecur(st_table *table, DdNode *f);
int dagSizeRecur(DdNode *n);
int leavesRecur(DdNode *n);

st_retval freeCount(st_key, st_value value, void *) {
    util_free(reinterpret_cast<double *>(value));
    return ST_WALK_ON;
}

}  // namespace

// ---- public operations -------------------------------------------------------------------------

double Tarn_CountMinterms(DdManager *dd, DdNode *f, int nvars) {
    const double max = std::pow(2.0, static_cast<double>(nvars) - kMintermScale);
    if (max >= kCountTooLarge) return -1.0;
    st_table *table = st_init_table(st_compare_addresses, st_hash_address);
    if (table == nullptr) {
        dd->errorCode = TARN_OUT_OF_MEMORY;
        return -1.0;
    }
    const double res = mintermsRecur(dd, table, f, max);
    st_release_table(table);

    if (res == -1.0) return -1.0;
    if (res >= kScaledOverflow) return kCountTooLarge;
    return std::ldexp(res, kMintermScale);
}

double Tarn_CountPaths(DdNode *f) {
    st_table *table = st_init_table(st_compare_addresses, st_hash_address);
    if (table == nullptr) return -1.0;
    const double paths = pathsRecur(table, f);
    st_walk(table, freeCount, nullptr);
    st_release_table(table);
    return paths;
}

int Tarn_DagSize(DdNode *f) {
    const int size = dagSizeRecur(tarnRegular(f));
    tarnClearMarks(f);
    return size;
}

int Tarn_CountLeaves(DdNode *f) {
    const int leaves = leavesRecur(tarnRegular(f));
    tarnClearMarks(f);
    return leaves;
}

// Clears the marks of a marked traversal: a node that is not marked was not visited, nor was
// anything below it that is reached only through it.
void tarnClearMarks(DdNode *f) {
    DdNode *n = tarnRegular(f);
    while (tarnIsMarked(n)) {
        tarnUnmark(n);
        if (tarnIsConstantRegular(n)) return;
        tarnClearMarks(n->T);
        n = tarnRegular(n->E);
    }
}

// ---- recursive steps ---------------------------------------------------------------------------

namespace {

double mintermsRecur(DdManager *dd, st_table *table, DdNode *f, double max) {
    // terminal cases
    DdNode *F = tarnRegular(f);
    if (tarnIsConstantRegular(F)) {
        return f == dd->background || f == tarnNot(dd->one) ? 0.0 : max;
    }

    // memo: keyed by the handle, complement mark included; a node with a single reference is
    // reached only once and is not remembered
    const bool shared = F->ref != 1;
    st_value stored;
    if (shared && st_lookup(table, reinterpret_cast<st_key>(f), &stored)) return countOfBits(stored);

    // recurse (then-side, else-side)
    const double t = mintermsRecur(dd, table, tarnThenOf(f), max);
    if (t == -1.0) return -1.0;
    const double e = mintermsRecur(dd, table, tarnElseOf(f), max);
    if (e == -1.0) return -1.0;
    const double res = e * 0.5 + t * 0.5;

    // store in the memo
    if (shared && st_add_entry(table, reinterpret_cast<st_key>(f), countBits(res)) == ST_NO_MEMORY) {
        dd->errorCode = TARN_OUT_OF_MEMORY;
        return -1.0;
    }
    return res;
}

double pathsRecur(st_table *table, DdNode *f) {
    // terminal cases: a path counts when it reaches a non-zero constant without a complement
    DdNode *F = tarnRegular(f);
    if (tarnIsConstantRegular(F)) return !tarnIsComplement(f) && F->value != 0.0 ? 1.0 : 0.0;

    // memo: keyed by the handle, complement mark included
    st_value stored;
    if (st_lookup(table, reinterpret_cast<st_key>(f), &stored)) {
        return *reinterpret_cast<double *>(stored);
    }

    // recurse (then-side, else-side)
    const double t = pathsRecur(table, tarnThenOf(f));
    if (t == -1.0) return -1.0;
    const double e = pathsRecur(table, tarnElseOf(f));
    if (e == -1.0) return -1.0;

    // store in the memo
    auto *paths = util_alloc_array<double>(1);
    if (paths == nullptr) return -1.0;
    *paths = e + t;
    if (st_add_entry(table, reinterpret_cast<st_key>(f), reinterpret_cast<st_value>(paths)) ==
        ST_NO_MEMORY) {
        util_free(paths);
        return -1.0;
    }
    return *paths;
}

int dagSizeRecur(DdNode *n) {
    if (tarnIsMarked(n)) return 0;
    tarnMark(n);
    if (tarnIsConstantRegular(n)) return 1;
    return 1 + dagSizeRecur(n->T) + dagSizeRecur(tarnRegular(n->E));
}

int leavesRecur(DdNode *n) {
    if (tarnIsMarked(n)) return 0;
    tarnMark(n);
    if (tarnIsConstantRegular(n)) return 1;
    return leavesRecur(n->T) + leavesRecur(tarnRegular(n->E));
}

}  // namespace
