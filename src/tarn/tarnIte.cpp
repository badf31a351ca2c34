// If-then-else and the two-operand Boolean connectives on BDDs, and the implication test. Every
// other BDD operation builds on the three recursive steps of this file, so they are written for
// speed: terminal cases first, the cheap identity tests before any memory access, and the rare
// paths (give-up, failures) out of the way.
#include <utility>

#include "tarnInt.h"

namespace {

// Commutative operands are keyed smaller handle first, so (f, g) and (g, f) share an entry.
inline bool handleAfter(DdNode *f, DdNode *g) {
    return reinterpret_cast<uintptr_t>(f) > reinterpret_cast<uintptr_t>(g);
}

int impliesRecur(DdManager *dd, DdNode *f, DdNode *g);

// The conjunction of f and g when it needs no step (an operand is constant, or both share a
// node), else null.
inline DdNode *andTerminal(DdNode *one, DdNode *f, DdNode *g) {
    DdNode *F = tarnRegular(f);
    DdNode *G = tarnRegular(g);
    if (F == G) return f == g ? f : tarnNot(one);
    if (F == one) return f == one ? g : f;
    if (G == one) return g == one ? f : g;
    return nullptr;
}

// Warms the caches for a coming conjunction step on (f, g), known not to be terminal: its two
// nodes and its computed-table slot.
TARN_PREFETCH void prefetchAndStep(DdManager *dd, DdNode *f, DdNode *g) {
    if (handleAfter(f, g)) std::swap(f, g);
    tarnPrefetchNode(f);
    tarnPrefetchNode(g);
    tarnCachePrefetch2(dd, TARN_OP_BDD_AND, f, g);
}

}  // namespace

DdNode *Tarn_BddAnd(DdManager *dd, DdNode *f, DdNode *g) {
    return tarnRestartLoop(dd, [&] { return tarnBddAndRecur(dd, f, g); });
}

DdNode *Tarn_BddOr(DdManager *dd, DdNode *f, DdNode *g) {
    return tarnNotUnlessNull(
        tarnRestartLoop(dd, [&] { return tarnBddAndRecur(dd, tarnNot(f), tarnNot(g)); }));
}

DdNode *Tarn_BddNand(DdManager *dd, DdNode *f, DdNode *g) {
    return tarnNotUnlessNull(tarnRestartLoop(dd, [&] { return tarnBddAndRecur(dd, f, g); }));
}

DdNode *Tarn_BddNor(DdManager *dd, DdNode *f, DdNode *g) {
    return tarnRestartLoop(dd, [&] { return tarnBddAndRecur(dd, tarnNot(f), tarnNot(g)); });
}

DdNode *Tarn_BddXor(DdManager *dd, DdNode *f, DdNode *g) {
    return tarnRestartLoop(dd, [&] { return tarnBddXorRecur(dd, f, g); });
}

DdNode *Tarn_BddXnor(DdManager *dd, DdNode *f, DdNode *g) {
    return tarnRestartLoop(dd, [&] { return tarnBddXorRecur(dd, f, tarnNot(g)); });
}

DdNode *Tarn_BddIte(DdManager *dd, DdNode *f, DdNode *g, DdNode *h) {
    return tarnRestartLoop(dd, [&] { return tarnBddIteRecur(dd, f, g, h); });
}

int Tarn_BddImplies(DdManager *dd, DdNode *f, DdNode *g) { return impliesRecur(dd, f, g); }

// ---- recursive steps -------------------------------------------------------------------------

__attribute__((hot)) DdNode *tarnBddAndRecur(DdManager *dd, DdNode *f, DdNode *g) {
    DdNode *const one = dd->one;
    // terminal cases
    if (DdNode *r = andTerminal(one, f, g)) return r;

    // normalise the operands (complement marks, operand order) for the computed table
    if (handleAfter(f, g)) std::swap(f, g);
    DdNode *const F = tarnRegular(f);
    DdNode *const G = tarnRegular(g);

    // The slot is requested first; the operands' nodes are read while it arrives.
    tarnCachePrefetch2(dd, TARN_OP_BDD_AND, f, g);

    // cofactors at the top level, taken before the computed table is consulted: they come from the
    // lines that the reference counts bring in anyway
    const int *perm = dd->perm;
    const int topf = perm[F->index];
    const int topg = perm[G->index];
    uint32_t index;
    DdNode *fv, *fnv, *gv, *gnv;
    if (topf <= topg) {
        index = F->index;
        fv = tarnThenOf(f);
        fnv = tarnElseOf(f);
    } else {
        index = G->index;
        fv = fnv = f;
    }
    if (topg <= topf) {
        gv = tarnThenOf(g);
        gnv = tarnElseOf(g);
    } else {
        gv = gnv = g;
    }
    // What the two halves will read is requested now, to arrive while this step waits for its
    // slot: their nodes and slots, or, when both halves are terminal, the bucket of the node this
    // step will make.
    DdNode *const thenHalf = andTerminal(one, fv, gv);
    DdNode *const elseHalf = andTerminal(one, fnv, gnv);
    if (thenHalf == nullptr) prefetchAndStep(dd, fv, gv);
    if (elseHalf == nullptr) prefetchAndStep(dd, fnv, gnv);
    if (thenHalf != nullptr && elseHalf != nullptr) {
        tarnUniquePrefetchBdd(dd, index, thenHalf, elseHalf);
    }

    // computed table: a node referenced once has a single parent, so its conjunctions are
    // unlikely to be asked for again
    if (F->ref != 1 || G->ref != 1) {
        DdNode *r = tarnCacheLookup2(dd, TARN_OP_BDD_AND, f, g);
        if (r != nullptr) return r;
    }

    // give-up check
    if (__builtin_expect(tarnStepGivesUp(dd), 0)) return nullptr;

    // recurse (then-side, else-side), holding temporary references; a terminal half is known
    DdNode *t = thenHalf != nullptr ? thenHalf : tarnBddAndRecur(dd, fv, gv);
    if (t == nullptr) return nullptr;
    tarnRef(t);
    DdNode *e = elseHalf != nullptr ? elseHalf : tarnBddAndRecur(dd, fnv, gnv);
    if (e == nullptr) {
        tarnDerefBdd(dd, t);
        return nullptr;
    }
    tarnRef(e);

    // build the node (complement rule), release temporaries
    DdNode *r = tarnBddMakeNode(dd, index, t, e);
    if (r == nullptr) return nullptr;
    tarnDecRef(t);
    tarnDecRef(e);

    // store in the computed table
    if (F->ref != 1 || G->ref != 1) tarnCacheInsert2(dd, TARN_OP_BDD_AND, f, g, r);
    return r;
}

__attribute__((hot)) DdNode *tarnBddXorRecur(DdManager *dd, DdNode *f, DdNode *g) {
    DdNode *const one = dd->one;
    // terminal cases
    if (f == g) return tarnNot(one);
    if (f == tarnNot(g)) return one;

    // normalise the operands (complement marks, operand order) for the computed table
    if (handleAfter(f, g)) std::swap(f, g);
    if (g == tarnNot(one)) return f;
    if (g == one) return tarnNot(f);
    if (tarnIsComplement(f)) {
        // f XOR g = NOT f XOR NOT g: the first operand of an entry is always regular
        f = tarnNot(f);
        g = tarnNot(g);
    }
    if (f == one) return tarnNot(g);

    // computed table
    DdNode *r = tarnCacheLookup2(dd, TARN_OP_BDD_XOR, f, g);
    if (r != nullptr) return r;

    // give-up check
    if (__builtin_expect(tarnStepGivesUp(dd), 0)) return nullptr;

    // cofactors at the top level
    DdNode *G = tarnRegular(g);
    const int *perm = dd->perm;
    const int topf = perm[f->index];
    const int topg = perm[G->index];
    uint32_t index;
    DdNode *fv, *fnv, *gv, *gnv;
    if (topf <= topg) {
        index = f->index;
        fv = f->T;
        fnv = f->E;
    } else {
        index = G->index;
        fv = fnv = f;
    }
    if (topg <= topf) {
        gv = tarnThenOf(g);
        gnv = tarnElseOf(g);
    } else {
        gv = gnv = g;
    }

    // recurse (then-side, else-side), holding temporary references
    DdNode *t = tarnBddXorRecur(dd, fv, gv);
    if (t == nullptr) return nullptr;
    tarnRef(t);
    DdNode *e = tarnBddXorRecur(dd, fnv, gnv);
    if (e == nullptr) {
        tarnDerefBdd(dd, t);
        return nullptr;
    }
    tarnRef(e);

    // build the node (complement rule), release temporaries
    r = tarnBddMakeNode(dd, index, t, e);
    if (r == nullptr) return nullptr;
    tarnDecRef(t);
    tarnDecRef(e);

    // store in the computed table
    tarnCacheInsert2(dd, TARN_OP_BDD_XOR, f, g, r);
    return r;
}

__attribute__((hot)) DdNode *tarnBddIteRecur(DdManager *dd, DdNode *f, DdNode *g, DdNode *h) {
    DdNode *const one = dd->one;
    DdNode *const zero = tarnNot(one);
    // terminal cases
    if (f == one) return g;
    if (f == zero) return h;
    if (g == one || f == g) {
        if (h == zero) return f;
        return tarnNotUnlessNull(tarnBddAndRecur(dd, tarnNot(f), tarnNot(h)));  // f OR h
    }
    if (g == zero || f == tarnNot(g)) {
        if (h == one) return tarnNot(f);
        return tarnBddAndRecur(dd, tarnNot(f), h);
    }
    if (h == zero || f == h) return tarnBddAndRecur(dd, f, g);
    if (h == one || f == tarnNot(h)) {
        return tarnNotUnlessNull(tarnBddAndRecur(dd, f, tarnNot(g)));  // f implies g
    }
    if (g == h) return g;
    if (g == tarnNot(h)) return tarnBddXorRecur(dd, f, h);

    // normalise the operands (complement marks, operand order) for the computed table: f and g
    // regular, the complement of the result remembered
    if (tarnIsComplement(f)) {
        f = tarnNot(f);
        std::swap(g, h);
    }
    const bool complement = tarnIsComplement(g);
    if (complement) {
        g = tarnNot(g);
        h = tarnNot(h);
    }

    // literal shortcut: f is the positive literal of a variable above g and h, so the result is
    // the node (f's variable, g, h) itself
    DdNode *H = tarnRegular(h);
    const int *perm = dd->perm;
    const int topf = perm[f->index];
    const int topg = perm[g->index];
    const int toph = perm[H->index];
    const int v = topg < toph ? topg : toph;
    if (topf < v && f->T == one && f->E == zero) {
        DdNode *r = tarnUniqueInter(dd, static_cast<int>(f->index), g, h);
        return tarnNotCond(r, complement && r != nullptr);
    }

    // computed table
    DdNode *r = tarnCacheLookup3(dd, TARN_ITE_TAG, f, g, h);
    if (r != nullptr) return tarnNotCond(r, complement);

    // give-up check
    if (__builtin_expect(tarnStepGivesUp(dd), 0)) return nullptr;

    // cofactors at the top level
    const int top = topf < v ? topf : v;
    const uint32_t index = topf == top ? f->index : topg == top ? g->index : H->index;
    DdNode *fv, *fnv, *gv, *gnv, *hv, *hnv;
    if (topf == top) {
        fv = f->T;
        fnv = f->E;
    } else {
        fv = fnv = f;
    }
    if (topg == top) {
        gv = g->T;
        gnv = g->E;
    } else {
        gv = gnv = g;
    }
    if (toph == top) {
        hv = tarnThenOf(h);
        hnv = tarnElseOf(h);
    } else {
        hv = hnv = h;
    }

    // recurse (then-side, else-side), holding temporary references
    DdNode *t = tarnBddIteRecur(dd, fv, gv, hv);
    if (t == nullptr) return nullptr;
    tarnRef(t);
    DdNode *e = tarnBddIteRecur(dd, fnv, gnv, hnv);
    if (e == nullptr) {
        tarnDerefBdd(dd, t);
        return nullptr;
    }
    tarnRef(e);

    // build the node (complement rule), release temporaries: f and g are regular, so t is too
    r = tarnBddMakeNode(dd, index, t, e);
    if (r == nullptr) return nullptr;
    tarnDecRef(t);
    tarnDecRef(e);

    // store in the computed table
    tarnCacheInsert3(dd, TARN_ITE_TAG, f, g, h, r);
    return tarnNotCond(r, complement);
}

namespace {

int impliesRecur(DdManager *dd, DdNode *f, DdNode *g) {
    DdNode *const one = dd->one;
    // terminal cases
    if (f == g) return 1;

    // normalise the operands (complement marks, operand order) for the computed table: f implies
    // g exactly when NOT g implies NOT f; the entry is kept with g regular
    if (tarnIsComplement(g)) {
        // a regular f is true on the all-then path, where a complemented g is false
        if (!tarnIsComplement(f)) return 0;
        DdNode *notF = tarnNot(f);
        f = tarnNot(g);
        g = notF;
    } else if (tarnIsComplement(f) && handleAfter(f, g)) {
        DdNode *notF = tarnNot(f);
        f = tarnNot(g);
        g = notF;
    }
    if (g == one) return 1;
    if (f == one) return 0;
    if (f == tarnNot(g)) return 0;
    if (f == tarnNot(one)) return 1;

    // computed table
    DdNode *F = tarnRegular(f);
    if (F->ref != 1 || g->ref != 1) {
        DdNode *r = tarnCacheLookup2(dd, TARN_OP_BDD_IMPLIES, f, g);
        if (r != nullptr) return r == one;
    }

    // cofactors at the top level
    const int topf = dd->perm[F->index];
    const int topg = dd->perm[g->index];
    DdNode *fv, *fnv, *gv, *gnv;
    if (topf <= topg) {
        fv = tarnThenOf(f);
        fnv = tarnElseOf(f);
    } else {
        fv = fnv = f;
    }
    if (topg <= topf) {
        gv = g->T;
        gnv = g->E;
    } else {
        gv = gnv = g;
    }

    // recurse (else-side first, the then-side only while the implication holds)
    const int r = impliesRecur(dd, fnv, gnv) && impliesRecur(dd, fv, gv);

    // store in the computed table
    if (F->ref != 1 || g->ref != 1) {
        tarnCacheInsert2(dd, TARN_OP_BDD_IMPLIES, f, g, r ? one : tarnNot(one));
    }
    return r;
}

}  // namespace
