// The negative-cycle check on weighted transition relations, and the min-plus product it relaxes
// with.
//
// The check is a Bellman-Ford relaxation on ADDs: the values of the states (an ADD over the primed
// variables) are lowered, for every target state, to the smallest sum of a source state's value
// and the transition's weight, until nothing changes (no negative cycle) or until more relaxations
// than 4^n have run for n primed variables (a negative cycle). Sources are named by fresh variables
// that the check appends to the manager, so that the relation T(x, x') becomes T(z, x') and the
// values cur(x') become cur(z). The trace goes to standard output.
#include <cstdint>
#include <cstdio>
#include <utility>

#include "tarnInt.h"

namespace {

// The working arrays of one check: fresh[k], primed[k] and unprimed[k] for the k-th primed
// variable, each holding one reference once collected (count of them so far).
struct Variables {
    DdNode **fresh = nullptr;
    DdNode **primed = nullptr;
    DdNode **unprimed = nullptr;
    int count = 0;
};

void releaseVariables(DdManager *dd, Variables &v) {
    for (int k = 0; k < v.count; k++) {
        Tarn_RecursiveDeref(dd, v.fresh[k]);
        Tarn_RecursiveDeref(dd, v.primed[k]);
        Tarn_RecursiveDeref(dd, v.unprimed[k]);
    }
    util_free(v.fresh);
    util_free(v.primed);
    util_free(v.unprimed);
}

// f with one more reference, or null for null.
DdNode *referenced(DdNode *f) {
    if (f != nullptr) tarnRef(f);
    return f;
}

// Collects, for every primed variable j (s[j] > 0, j below size), a fresh variable, the primed
// projection function and the one of its unprimed partner, printing the trace of the walk. False
// when a projection function cannot be had; what was collected stays counted in v.
bool collectVariables(DdManager *dd, const int *s, int size, DdNode **pairing, Variables &v) {
    for (int j = 0; j < size; j++) {
        printf("i == %d\n", j);
        if (s[j] <= 0) continue;
        printf("a primed variable found...i == %d\n", j);
        DdNode *fresh = referenced(Tarn_AddNewVar(dd));
        DdNode *primed = fresh == nullptr ? nullptr : referenced(Tarn_AddIthVar(dd, j));
        // a pairing entry that is a constant names no variable: its index is refused here
        const int p = static_cast<int>(Tarn_ReadNodeIndex(pairing[j]));
        DdNode *unprimed = primed == nullptr ? nullptr : referenced(Tarn_AddIthVar(dd, p));
        if (unprimed == nullptr) {
            if (fresh != nullptr) Tarn_RecursiveDeref(dd, fresh);
            if (primed != nullptr) Tarn_RecursiveDeref(dd, primed);
            return false;
        }
        v.fresh[v.count] = fresh;
        v.primed[v.count] = primed;
        v.unprimed[v.count] = unprimed;
        v.count++;
        printf("%s %d , i == %d \n", "unprimed index", p, j);
    }
    return true;
}

// Releases a referenced diagram unless it is null.
void release(DdManager *dd, DdNode *f) {
    if (f != nullptr) Tarn_RecursiveDeref(dd, f);
}

// The relaxation loop from curS over T2(z, x'): 1 when it ran more than bound relaxations, 0 when
// the values settled, -1 when an operation yielded no result.
int relax(DdManager *dd, DdNode *curS, DdNode *T2, Variables &v, uint64_t bound) {
    tarnRef(curS);
    printf("curS:\n");
    DdNode *prev = nullptr;
    DdNode *cur = curS;
    uint64_t count = 0;
    for (;;) {
        if (cur == prev) {
            printf("neg cycle not found\n");
            release(dd, prev);
            release(dd, cur);
            return 0;
        }
        release(dd, prev);
        prev = cur;
        // the current values as a function of the sources, cur(z)
        DdNode *c = referenced(Tarn_AddSwapVariables(dd, prev, v.primed, v.fresh, v.count));
        if (c == nullptr) break;
        // the best value reaching every target: min over z of cur(z) + T(z, x')
        DdNode *d = referenced(Tarn_AddMinPlusAbstract(dd, c, T2, v.fresh, v.count));
        Tarn_RecursiveDeref(dd, c);
        if (d == nullptr) break;
        printf("i == %d, curS:\n", static_cast<int>(count));
        DdNode *b = referenced(Tarn_AddApply(dd, Tarn_AddMinimum, d, prev));
        Tarn_RecursiveDeref(dd, d);
        if (b == nullptr) break;
        count++;
        if (count > bound) {
            release(dd, prev);
            release(dd, b);
            return 1;
        }
        cur = b;
    }
    release(dd, prev);
    return -1;
}

}  // namespace

// ---- public operations -------------------------------------------------------------------------

int Tarn_NegCycleCheck(DdManager *dd, DdNode *T, DdNode *curS, DdNode *primeCube,
                       DdNode **pairing) {
    int *s = Tarn_SupportMask(dd, primeCube);
    if (s == nullptr) return -1;
    const int size = dd->size;
    int n = 0;
    for (int j = 0; j < size; j++) n += s[j] > 0;

    Variables v;
    const size_t bytes = sizeof(DdNode *) * static_cast<size_t>(n > 0 ? n : 1);
    v.fresh = static_cast<DdNode **>(tarnGuardedMalloc(dd, bytes));
    v.primed = static_cast<DdNode **>(tarnGuardedMalloc(dd, bytes));
    v.unprimed = static_cast<DdNode **>(tarnGuardedMalloc(dd, bytes));
    if (v.fresh == nullptr || v.primed == nullptr || v.unprimed == nullptr) {
        dd->errorCode = TARN_OUT_OF_MEMORY;
        releaseVariables(dd, v);
        util_free(s);
        return -1;
    }
    const bool collected = collectVariables(dd, s, size, pairing, v);
    util_free(s);
    if (!collected) {
        releaseVariables(dd, v);
        return -1;
    }

    // the relation from the sources z: T2(z, x')
    printf("going to swap vars...\n");
    DdNode *T2 = referenced(Tarn_AddSwapVariables(dd, T, v.unprimed, v.fresh, n));
    if (T2 == nullptr) {
        releaseVariables(dd, v);
        return -1;
    }
    printf("swap vars finished\n");

    // at most 4^n relaxations; from 32 primed variables on the bound is the largest count (a
    // wrapped power would declare a cycle after a handful of relaxations)
    printf("n == %d\n", n);
    const uint64_t bound = n < 32 ? uint64_t{1} << (2 * n) : UINT64_MAX;
    printf("V = %llu\n", static_cast<unsigned long long>(bound));

    const int result = relax(dd, curS, T2, v, bound);
    fflush(stdout);
    Tarn_RecursiveDeref(dd, T2);
    releaseVariables(dd, v);
    return result;
}

DdNode *Tarn_AddMinPlusAbstract(DdManager *dd, DdNode *f, DdNode *g, DdNode **vars, int n) {
    const int size = dd->size;
    int *marks = static_cast<int *>(tarnGuardedMalloc(dd, sizeof(int) * (size > 0 ? size : 1)));
    if (marks == nullptr) {
        dd->errorCode = TARN_OUT_OF_MEMORY;
        return nullptr;
    }
    for (int i = 0; i < size; i++) marks[i] = -1;
    for (int i = 0; i < n; i++) {
        // a constant in vars names no variable and abstracts nothing
        const uint32_t index = tarnRegular(vars[i])->index;
        if (index < static_cast<uint32_t>(size)) marks[index] = i;
    }

    DdNode *cube = Tarn_AddComputeCube(dd, vars, nullptr, n);
    if (cube == nullptr) {
        util_free(marks);
        return nullptr;
    }
    tarnRef(cube);
    DdNode *r =
        tarnRestartLoop(dd, [&] { return tarnAddMinPlusAbstractRecur(dd, f, g, marks, cube); });
    if (r != nullptr) tarnRef(r);
    Tarn_RecursiveDeref(dd, cube);
    if (r != nullptr) tarnDecRef(r);
    util_free(marks);
    return r;
}

// ---- recursive steps ---------------------------------------------------------------------------

DdNode *tarnAddMinPlusAbstractRecur(DdManager *dd, DdNode *f, DdNode *g, const int *marks,
                                    DdNode *cube) {
    // terminal cases
    DdNode *const plusInfinity = dd->plusInfinity;
    if (f == plusInfinity || g == plusInfinity) return plusInfinity;
    if (tarnIsConstantRegular(f) && tarnIsConstantRegular(g)) {
        return tarnUniqueConst(dd, f->value + g->value);
    }

    // normalise the operands: the sum is commutative, the larger handle comes first
    if (reinterpret_cast<uintptr_t>(f) < reinterpret_cast<uintptr_t>(g)) std::swap(f, g);

    // computed table, for shared operands only: a node referenced once is met once per call
    const bool shared = f->ref != 1 || g->ref != 1;
    if (shared) {
        DdNode *r = tarnCacheLookup3(dd, TARN_MIN_PLUS_ABSTRACT_TAG, f, g, cube);
        if (r != nullptr) return r;
    }

    // give-up check
    if (__builtin_expect(tarnStepGivesUp(dd), 0)) return nullptr;

    // cofactors at the top level
    const uint32_t lf = tarnLevel(dd, f);
    const uint32_t lg = tarnLevel(dd, g);
    const uint32_t index = lf <= lg ? f->index : g->index;
    auto [ft, fe] = tarnAddCofactors(f, lf <= lg);
    auto [gt, ge] = tarnAddCofactors(g, lg <= lf);

    // recurse (then-side, else-side), holding temporary references
    DdNode *t = tarnAddMinPlusAbstractRecur(dd, ft, gt, marks, cube);
    if (t == nullptr) return nullptr;
    tarnRef(t);
    DdNode *e = tarnAddMinPlusAbstractRecur(dd, fe, ge, marks, cube);
    if (e == nullptr) {
        Tarn_RecursiveDeref(dd, t);
        return nullptr;
    }
    tarnRef(e);

    DdNode *r;
    if (marks[index] < 0) {
        // build the node of the variable that stays, release temporaries
        r = tarnAddMakeNode(dd, index, t, e);
        if (r == nullptr) return nullptr;
        tarnDecRef(t);
        tarnDecRef(e);
    } else {
        // the abstracted variable: the smaller of the two halves, release temporaries
        r = tarnAddApplyRecur(dd, Tarn_AddMinimum, t, e);
        if (r != nullptr) tarnRef(r);
        Tarn_RecursiveDeref(dd, t);
        Tarn_RecursiveDeref(dd, e);
        if (r == nullptr) return nullptr;
        tarnDecRef(r);
    }

    // store in the computed table
    if (shared) tarnCacheInsert3(dd, TARN_MIN_PLUS_ABSTRACT_TAG, f, g, cube, r);
    return r;
}
