// Substitution of variables: renaming by a permutation of variable indices, the ADD variable swap,
// composition (one variable replaced by a function) and vector composition (every variable
// replaced by its own function at once), for BDDs and for ADDs.
//
// Composition memoizes in the computed table. Permutation and vector composition visit every
// shared node once per call through a per-call node map whose entries disappear with the last
// expected visit of their node (its reference count minus one). Renaming also keeps its results in
// the computed table, under an identity of the permutation's contents (tarnPermRegistry.cpp), so
// that the parts of a diagram renamed in an earlier call are not walked again: a fixpoint that
// renames each new image with the same pairing meets most of its nodes again.
#include <cstdint>

#include "tarnInt.h"

namespace {

// One attempt of an operation that memoizes in a per-call node map, inside the restart loop: a
// fresh map for every attempt, destroyed (with the references its entries still hold) before the
// result is handed out. A map that cannot be created ends the operation without a result.
template <class Step>
DdNode *restartWithNodeMap(DdManager *dd, Step &&step) {
    return tarnRestartLoop(dd, [&]() -> DdNode * {
        DdNodeMap *map = tarnNodeMapCreate(dd, 1, 2);
        if (map == nullptr) return nullptr;
        DdNode *r = step(map);
        if (r != nullptr) tarnRef(r);
        tarnNodeMapDestroy(map);
        if (r == nullptr) return nullptr;
        if (dd->reorderState == 1) {
            // the loop runs again: this attempt's result is not handed out
            Tarn_RecursiveDeref(dd, r);
            return nullptr;
        }
        tarnDecRef(r);
        return r;
    });
}

// The node map keeps a node's result only while more visits can come: a node referenced once has
// a single parent and is met once.
inline bool mayBeVisitedAgain(const DdNode *F) { return F->ref != 1; }

inline bool remember(DdNodeMap *map, DdNode *F, DdNode *r) {
    return tarnNodeMapInsert(map, F, r, static_cast<int64_t>(F->ref) - 1) != 0;
}

// Warms the caches for the two halves of a renaming step on F: their nodes and, under the
// renaming's identity, their computed-table slots.
TARN_PREFETCH void prefetchPermuteHalves(DdManager *dd, DdNode *F, TarnCacheTag identity) {
    DdNode *T = F->T;
    DdNode *E = tarnRegular(F->E);
    tarnPrefetchNode(T);
    tarnPrefetchNode(E);
    if (identity != 0) {
        tarnCachePrefetch1(dd, identity, T);
        tarnCachePrefetch1(dd, identity, E);
    }
}

// A renamed variable whose level lies above both renamed halves is the top variable of the result:
// the node (index, t, e) is then what ITE would build. An index outside the variables is left to
// the general path, which creates the missing variables (or refuses a negative index).
inline bool placesAbove(DdManager *dd, int index, DdNode *t, DdNode *e) {
    if (index < 0 || index >= dd->size) return false;
    const auto level = static_cast<uint32_t>(dd->perm[index]);
    return level < tarnLevel(dd, t) && level < tarnLevel(dd, e);
}

// The ADD projection function of variable index i is the node (i, one, zero).
inline bool isAddProjection(DdManager *dd, DdNode *f, int i) {
    return !tarnIsComplement(f) && f->index == static_cast<uint32_t>(i) && f->T == dd->one &&
           f->E == dd->zero;
}

// The deepest level whose variable the vector really changes; -1 when it changes none. A vector
// that changes only upper variables leaves the sub-diagrams below that level untouched.
template <bool isAdd>
int deepestChangedLevel(DdManager *dd, DdNode **vector) {
    for (int level = dd->size - 1; level >= 0; level--) {
        const int index = dd->invperm[level];
        const bool identity =
            isAdd ? isAddProjection(dd, vector[index], index) : vector[index] == dd->vars[index];
        if (!identity) return level;
    }
    return -1;
}

inline bool belowLevel(DdManager *dd, DdNode *f, int deepest) {
    return static_cast<int64_t>(tarnLevel(dd, f)) > deepest;
}

// A composition names its variable by an index that must exist; anything else gives no result
// and leaves the error code as it was.
inline bool acceptVariable(DdManager *dd, int v) { return v >= 0 && v < dd->size; }

}  // namespace

// ---- public operations -------------------------------------------------------------------------

// The identity is looked up for every attempt: a reordering between attempts flushes the computed
// table and with it the registry. The permutation has one entry per variable there is at the call:
// a variable the renaming creates (and a restart then finds) has none.
DdNode *Tarn_BddPermute(DdManager *dd, DdNode *f, const int *perm) {
    const int length = dd->size;
    return restartWithNodeMap(dd, [&](DdNodeMap *map) {
        return tarnBddPermuteRecur(dd, map, f, perm,
                                   tarnPermutationIdentity(dd, perm, length, false));
    });
}

DdNode *Tarn_AddPermute(DdManager *dd, DdNode *f, const int *perm) {
    const int length = dd->size;
    return restartWithNodeMap(dd, [&](DdNodeMap *map) {
        return tarnAddPermuteRecur(dd, map, f, perm,
                                   tarnPermutationIdentity(dd, perm, length, true));
    });
}

DdNode *Tarn_AddSwapVariables(DdManager *dd, DdNode *f, DdNode **x, DdNode **y, int n) {
    const int size = dd->size;
    int *perm = static_cast<int *>(tarnGuardedMalloc(dd, sizeof(int) * (size > 0 ? size : 1)));
    if (perm == nullptr) {
        dd->errorCode = TARN_OUT_OF_MEMORY;
        return nullptr;
    }
    for (int i = 0; i < size; i++) perm[i] = i;
    for (int k = 0; k < n; k++) {
        const int i = static_cast<int>(tarnRegular(x[k])->index);
        const int j = static_cast<int>(tarnRegular(y[k])->index);
        perm[i] = j;
        perm[j] = i;
    }
    DdNode *r = Tarn_AddPermute(dd, f, perm);
    util_free(perm);
    return r;
}

DdNode *Tarn_BddCompose(DdManager *dd, DdNode *f, DdNode *g, int v) {
    if (!acceptVariable(dd, v)) return nullptr;
    DdNode *proj = dd->vars[v];
    return tarnRestartLoop(dd, [&] { return tarnBddComposeRecur(dd, f, g, proj); });
}

DdNode *Tarn_AddCompose(DdManager *dd, DdNode *f, DdNode *g, int v) {
    if (!acceptVariable(dd, v)) return nullptr;
    DdNode *proj = dd->vars[v];
    return tarnRestartLoop(dd, [&] { return tarnAddComposeRecur(dd, f, g, proj); });
}

DdNode *Tarn_BddVectorCompose(DdManager *dd, DdNode *f, DdNode **vector) {
    return restartWithNodeMap(dd, [&](DdNodeMap *map) -> DdNode * {
        const int deepest = deepestChangedLevel<false>(dd, vector);
        if (belowLevel(dd, f, deepest)) return f;
        return tarnBddVectorComposeRecur(dd, map, f, vector, deepest);
    });
}

DdNode *Tarn_AddVectorCompose(DdManager *dd, DdNode *f, DdNode **vector) {
    return restartWithNodeMap(dd, [&](DdNodeMap *map) -> DdNode * {
        const int deepest = deepestChangedLevel<true>(dd, vector);
        if (belowLevel(dd, f, deepest)) return f;
        return tarnAddVectorComposeRecur(dd, map, f, vector, deepest);
    });
}

// ---- recursive steps ---------------------------------------------------------------------------

DdNode *tarnBddPermuteRecur(DdManager *dd, DdNodeMap *map, DdNode *f, const int *perm,
                            TarnCacheTag identity) {
    // terminal cases
    DdNode *F = tarnRegular(f);
    if (tarnIsConstantRegular(F)) return f;

    // The halves' nodes and computed-table slots (keyed by the regular node alone) are requested
    // before this step waits for its own look-ups.
    prefetchPermuteHalves(dd, F, identity);

    // node map, then computed table (entries are kept for the regular node)
    if (mayBeVisitedAgain(F)) {
        DdNode *r = tarnNodeMapLookup(map, F);
        if (r != nullptr) return tarnNotCond(r, tarnIsComplement(f));
    }
    if (identity != 0) {
        DdNode *r = tarnCacheLookup1(dd, identity, F);
        if (r != nullptr) return tarnNotCond(r, tarnIsComplement(f));
    }

    // recurse (then-side, else-side), holding temporary references; a constant child is its own
    // result
    DdNode *t = tarnIsConstantRegular(F->T) ? F->T
                                            : tarnBddPermuteRecur(dd, map, F->T, perm, identity);
    if (t == nullptr) return nullptr;
    tarnRef(t);
    DdNode *e = tarnIsConstantRegular(tarnRegular(F->E))
                    ? F->E
                    : tarnBddPermuteRecur(dd, map, F->E, perm, identity);
    if (e == nullptr) {
        tarnDerefBdd(dd, t);
        return nullptr;
    }
    tarnRef(e);

    // build the node, release temporaries: a renamed variable above both halves heads the node
    // itself; anywhere else ITE places it in the order
    const int index = perm[F->index];
    DdNode *r;
    if (placesAbove(dd, index, t, e)) {
        r = tarnBddMakeNode(dd, static_cast<uint32_t>(index), t, e);
        if (r == nullptr) return nullptr;
        tarnRef(r);
        tarnDecRef(t);
        tarnDecRef(e);
    } else {
        // the projection function; one beyond the last variable is created, a negative index refused
        DdNode *var = Tarn_BddIthVar(dd, index);
        r = var != nullptr ? tarnBddIteRecur(dd, var, t, e) : nullptr;
        if (r == nullptr) {
            tarnDerefBdd(dd, t);
            tarnDerefBdd(dd, e);
            return nullptr;
        }
        tarnRef(r);
        tarnDerefBdd(dd, t);
        tarnDerefBdd(dd, e);
    }

    // store in the node map and the computed table
    if (mayBeVisitedAgain(F) && !remember(map, F, r)) {
        tarnDerefBdd(dd, r);
        return nullptr;
    }
    if (identity != 0) tarnCacheInsert1(dd, identity, F, r);
    tarnDecRef(r);
    return tarnNotCond(r, tarnIsComplement(f));
}

DdNode *tarnAddPermuteRecur(DdManager *dd, DdNodeMap *map, DdNode *f, const int *perm,
                            TarnCacheTag identity) {
    // terminal cases
    if (tarnIsConstantRegular(f)) return f;

    // node map, then computed table
    if (mayBeVisitedAgain(f)) {
        DdNode *r = tarnNodeMapLookup(map, f);
        if (r != nullptr) return r;
    }
    if (identity != 0) {
        DdNode *r = tarnCacheLookup1(dd, identity, f);
        if (r != nullptr) return r;
    }

    // recurse (then-side, else-side), holding temporary references
    DdNode *t = tarnAddPermuteRecur(dd, map, f->T, perm, identity);
    if (t == nullptr) return nullptr;
    tarnRef(t);
    DdNode *e = tarnAddPermuteRecur(dd, map, f->E, perm, identity);
    if (e == nullptr) {
        Tarn_RecursiveDeref(dd, t);
        return nullptr;
    }
    tarnRef(e);

    // build the node, release temporaries: a renamed variable above both halves heads the node
    // itself; anywhere else ITE on its ADD projection places it in the order
    const int index = perm[f->index];
    DdNode *r;
    if (placesAbove(dd, index, t, e)) {
        r = tarnAddMakeNode(dd, static_cast<uint32_t>(index), t, e);
        if (r == nullptr) return nullptr;
        tarnRef(r);
        tarnDecRef(t);
        tarnDecRef(e);
    } else {
        // a renaming to a variable that cannot exist is refused like Tarn_AddIthVar refuses it
        const bool possible = static_cast<uint32_t>(index) < TARN_MAX_VARIABLE_INDEX;
        if (!possible) dd->errorCode = TARN_INVALID_ARGUMENT;
        DdNode *var = possible ? tarnUniqueInter(dd, index, dd->one, dd->zero) : nullptr;
        if (var == nullptr) {
            Tarn_RecursiveDeref(dd, t);
            Tarn_RecursiveDeref(dd, e);
            return nullptr;
        }
        tarnRef(var);
        r = tarnAddIteRecur(dd, var, t, e);
        if (r == nullptr) {
            Tarn_RecursiveDeref(dd, var);
            Tarn_RecursiveDeref(dd, t);
            Tarn_RecursiveDeref(dd, e);
            return nullptr;
        }
        tarnRef(r);
        Tarn_RecursiveDeref(dd, var);
        Tarn_RecursiveDeref(dd, t);
        Tarn_RecursiveDeref(dd, e);
    }

    // store in the node map and the computed table
    if (mayBeVisitedAgain(f) && !remember(map, f, r)) {
        Tarn_RecursiveDeref(dd, r);
        return nullptr;
    }
    if (identity != 0) tarnCacheInsert1(dd, identity, f, r);
    tarnDecRef(r);
    return r;
}

DdNode *tarnBddComposeRecur(DdManager *dd, DdNode *f, DdNode *g, DdNode *proj) {
    // terminal cases: f does not depend on a variable above its top
    DdNode *F = tarnRegular(f);
    const uint32_t topf = tarnLevel(dd, F);
    const uint32_t topv = tarnLevel(dd, proj);
    if (topv < topf) return f;

    // computed table: entries are kept for the regular node
    DdNode *r = tarnCacheLookup3(dd, TARN_BDD_COMPOSE_TAG, F, g, proj);
    if (r != nullptr) return tarnNotCond(r, tarnIsComplement(f));

    // give-up check
    if (__builtin_expect(tarnStepGivesUp(dd), 0)) return nullptr;

    if (topf == topv) {
        // f's top variable is the one replaced
        r = tarnBddIteRecur(dd, g, F->T, F->E);
        if (r == nullptr) return nullptr;
    } else {
        // cofactors at the top level
        const uint32_t topg = tarnLevel(dd, g);
        uint32_t index;
        DdNode *Ft, *Fe, *gt, *ge;
        if (topg >= topf) {
            index = F->index;
            Ft = F->T;
            Fe = F->E;
        } else {
            index = tarnRegular(g)->index;
            Ft = Fe = F;
        }
        if (topf >= topg) {
            gt = tarnThenOf(g);
            ge = tarnElseOf(g);
        } else {
            gt = ge = g;
        }

        // recurse (then-side, else-side), holding temporary references
        DdNode *t = tarnBddComposeRecur(dd, Ft, gt, proj);
        if (t == nullptr) return nullptr;
        tarnRef(t);
        DdNode *e = tarnBddComposeRecur(dd, Fe, ge, proj);
        if (e == nullptr) {
            tarnDerefBdd(dd, t);
            return nullptr;
        }
        tarnRef(e);

        // build the node, release temporaries
        r = tarnBddIteRecur(dd, dd->vars[index], t, e);
        if (r == nullptr) {
            tarnDerefBdd(dd, t);
            tarnDerefBdd(dd, e);
            return nullptr;
        }
        tarnRef(r);
        tarnDerefBdd(dd, t);
        tarnDerefBdd(dd, e);
        tarnDecRef(r);
    }

    // store in the computed table
    tarnCacheInsert3(dd, TARN_BDD_COMPOSE_TAG, F, g, proj, r);
    return tarnNotCond(r, tarnIsComplement(f));
}

DdNode *tarnAddComposeRecur(DdManager *dd, DdNode *f, DdNode *g, DdNode *proj) {
    // terminal cases: f does not depend on a variable above its top
    const uint32_t topf = tarnLevel(dd, f);
    const uint32_t topv = tarnLevel(dd, proj);
    if (topv < topf) return f;

    // computed table
    DdNode *r = tarnCacheLookup3(dd, TARN_ADD_COMPOSE_TAG, f, g, proj);
    if (r != nullptr) return r;

    // give-up check
    if (__builtin_expect(tarnStepGivesUp(dd), 0)) return nullptr;

    if (topf == topv) {
        // f's top variable is the one replaced; g is the condition
        r = tarnAddIteRecur(dd, g, f->T, f->E);
        if (r == nullptr) return nullptr;
    } else {
        // cofactors at the top level
        const uint32_t topg = tarnLevel(dd, g);
        const uint32_t index = topg >= topf ? f->index : g->index;
        auto [ft, fe] = tarnAddCofactors(f, topg >= topf);
        auto [gt, ge] = tarnAddCofactors(g, topf >= topg);

        // recurse (then-side, else-side), holding temporary references
        DdNode *t = tarnAddComposeRecur(dd, ft, gt, proj);
        if (t == nullptr) return nullptr;
        tarnRef(t);
        DdNode *e = tarnAddComposeRecur(dd, fe, ge, proj);
        if (e == nullptr) {
            Tarn_RecursiveDeref(dd, t);
            return nullptr;
        }
        tarnRef(e);

        // build the node, release temporaries
        r = tarnAddMakeNode(dd, index, t, e);
        if (r == nullptr) return nullptr;
        tarnDecRef(t);
        tarnDecRef(e);
    }

    // store in the computed table
    tarnCacheInsert3(dd, TARN_ADD_COMPOSE_TAG, f, g, proj, r);
    return r;
}

DdNode *tarnBddVectorComposeRecur(DdManager *dd, DdNodeMap *map, DdNode *f, DdNode **vector,
                                  int deepest) {
    // terminal cases: nothing below the deepest changed level changes
    DdNode *F = tarnRegular(f);
    if (belowLevel(dd, F, deepest)) return f;

    // node map
    DdNode *r = tarnNodeMapLookup(map, F);
    if (r != nullptr) return tarnNotCond(r, tarnIsComplement(f));

    // recurse (then-side, else-side), holding temporary references
    DdNode *t = tarnBddVectorComposeRecur(dd, map, F->T, vector, deepest);
    if (t == nullptr) return nullptr;
    tarnRef(t);
    DdNode *e = tarnBddVectorComposeRecur(dd, map, F->E, vector, deepest);
    if (e == nullptr) {
        tarnDerefBdd(dd, t);
        return nullptr;
    }
    tarnRef(e);

    // build the result: F's variable is replaced by its vector entry
    r = tarnBddIteRecur(dd, vector[F->index], t, e);
    if (r == nullptr) {
        tarnDerefBdd(dd, t);
        tarnDerefBdd(dd, e);
        return nullptr;
    }
    tarnRef(r);
    tarnDerefBdd(dd, t);
    tarnDerefBdd(dd, e);

    // store in the node map
    if (mayBeVisitedAgain(F) && !remember(map, F, r)) {
        tarnDerefBdd(dd, r);
        return nullptr;
    }
    tarnDecRef(r);
    return tarnNotCond(r, tarnIsComplement(f));
}

DdNode *tarnAddVectorComposeRecur(DdManager *dd, DdNodeMap *map, DdNode *f, DdNode **vector,
                                  int deepest) {
    // terminal cases: nothing below the deepest changed level changes
    if (belowLevel(dd, f, deepest)) return f;

    // node map
    DdNode *r = tarnNodeMapLookup(map, f);
    if (r != nullptr) return r;

    // recurse (then-side, else-side), holding temporary references
    DdNode *t = tarnAddVectorComposeRecur(dd, map, f->T, vector, deepest);
    if (t == nullptr) return nullptr;
    tarnRef(t);
    DdNode *e = tarnAddVectorComposeRecur(dd, map, f->E, vector, deepest);
    if (e == nullptr) {
        Tarn_RecursiveDeref(dd, t);
        return nullptr;
    }
    tarnRef(e);

    // build the result: f's variable is replaced by its vector entry, the condition of an ITE
    r = tarnAddIteRecur(dd, vector[f->index], t, e);
    if (r == nullptr) {
        Tarn_RecursiveDeref(dd, t);
        Tarn_RecursiveDeref(dd, e);
        return nullptr;
    }
    tarnRef(r);
    Tarn_RecursiveDeref(dd, t);
    Tarn_RecursiveDeref(dd, e);

    // store in the node map
    if (mayBeVisitedAgain(f) && !remember(map, f, r)) {
        Tarn_RecursiveDeref(dd, r);
        return nullptr;
    }
    tarnDecRef(r);
    return r;
}
