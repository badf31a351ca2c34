// The support of a diagram (the variables it depends on) as a sorted list, a count, a cube and a
// mask; one satisfying cube of a BDD, and the first path of a diagram with the ADD cube built on
// it.
//
// The support walks mark visited nodes in bit 0 of their `next` field, and a variable already
// recorded by marking its BDD projection node the same way. Both kinds of marks are cleared before
// the walk returns; nothing may allocate nodes while they are set.
#include <algorithm>

#include "tarnInt.h"

namespace {

// Visits the internal nodes of f once each, calling record(index) for every node; marks the nodes.
// A node is recorded before it is marked: it may be the projection node whose mark records its
// own variable.
template <class Record>
void supportStep(DdNode *n, Record &record) {
    if (tarnIsMarked(n) || tarnIsConstantRegular(n)) return;
    record(n->index);
    tarnMark(n);
    supportStep(n->T, record);
    supportStep(tarnRegular(n->E), record);
}

// Runs the support walk over f and leaves the projection nodes of the distinct variables in
// dd->derefStack (scratch space with room for one entry per variable); returns how many. Every
// mark is cleared again.
int collectSupport(DdManager *dd, DdNode *f) {
    DdNode **stack = dd->derefStack;
    int count = 0;
    auto record = [&](uint32_t index) {
        DdNode *var = dd->vars[index];
        if (tarnIsMarked(var)) return;
        tarnMark(var);
        stack[count++] = var;
    };
    supportStep(tarnRegular(f), record);
    tarnClearMarks(f);
    for (int i = 0; i < count; i++) tarnUnmark(stack[i]);
    return count;
}

// The cube node at a variable index whose one live child is g: the then-child (the variable is 1)
// when positive, else the else-child (the variable is 0); the other child is zero. Null when the
// unique table fails.
DdNode *literalAbove(DdManager *dd, uint32_t index, DdNode *g, bool positive) {
    DdNode *const zero = tarnNot(dd->one);
    DdNode *t = positive ? g : zero;
    DdNode *e = positive ? zero : g;
    const bool complement = tarnIsComplement(t);
    DdNode *r = tarnUniqueInter(dd, static_cast<int>(index), tarnNotCond(t, complement),
                                tarnNotCond(e, complement));
    return r == nullptr ? nullptr : tarnNotCond(r, complement);
}

DdNode *bddSatOneRecur(DdManager *dd, DdNode *f);
DdNode *addSatOneAttempt(DdManager *dd, DdNode *f);

}  // namespace

// ---- public operations -------------------------------------------------------------------------

int Tarn_SupportList(DdManager *dd, DdNode *f, int **out) {
    const int count = collectSupport(dd, f);
    *out = nullptr;
    if (count == 0) return 0;
    int *list = static_cast<int *>(tarnGuardedMalloc(dd, sizeof(int) * static_cast<size_t>(count)));
    if (list == nullptr) {
        dd->errorCode = TARN_OUT_OF_MEMORY;
        return -1;
    }
    for (int i = 0; i < count; i++) {
        list[i] = static_cast<int>(dd->derefStack[i]->index);
    }
    std::sort(list, list + count);
    *out = list;
    return count;
}

int Tarn_SupportCount(DdManager *dd, DdNode *f) { return collectSupport(dd, f); }

DdNode *Tarn_SupportCube(DdManager *dd, DdNode *f) {
    int *list;
    const int count = Tarn_SupportList(dd, f, &list);
    if (count < 0) return nullptr;
    DdNode *cube = dd->one;
    tarnRef(cube);
    for (int i = count - 1; i >= 0; i--) {
        DdNode *next = Tarn_BddAnd(dd, cube, dd->vars[list[i]]);
        if (next == nullptr) {
            tarnDerefBdd(dd, cube);
            util_free(list);
            return nullptr;
        }
        tarnRef(next);
        tarnDerefBdd(dd, cube);
        cube = next;
    }
    util_free(list);
    tarnDecRef(cube);
    return cube;
}

int *Tarn_SupportMask(DdManager *dd, DdNode *f) {
    const int size = std::max(dd->size, dd->sizeZ);
    int *mask = static_cast<int *>(tarnGuardedMalloc(dd, sizeof(int) * (size > 0 ? size : 1)));
    if (mask == nullptr) {
        dd->errorCode = TARN_OUT_OF_MEMORY;
        return nullptr;
    }
    std::fill(mask, mask + size, 0);
    auto record = [mask](uint32_t index) { mask[index] = 1; };
    supportStep(tarnRegular(f), record);
    tarnClearMarks(f);
    return mask;
}

DdNode *bdd_sat_one(DdManager *dd, DdNode *f) {
    return tarnRestartLoopNoTimeout(dd, [&] { return bddSatOneRecur(dd, f); });
}

DdPathGen *tarnFirstPath(DdManager *dd, DdNode *f, int **cube, double *value) {
    const int size = dd->size;
    auto *gen = static_cast<DdPathGen *>(tarnGuardedMalloc(dd, sizeof(DdPathGen)));
    int *entries = static_cast<int *>(tarnGuardedMalloc(dd, sizeof(int) * (size > 0 ? size : 1)));
    auto **stack = static_cast<DdNode **>(tarnGuardedMalloc(dd, sizeof(DdNode *) * (size + 1)));
    if (gen == nullptr || entries == nullptr || stack == nullptr) {
        util_free(gen);
        util_free(entries);
        util_free(stack);
        dd->errorCode = TARN_OUT_OF_MEMORY;
        return nullptr;
    }
    std::fill(entries, entries + size, 2);
    *gen = DdPathGen{dd, 0, entries, 0.0, stack, 0};
    DdNode *const zero = tarnNot(dd->one);

    stack[gen->depth++] = f;
    for (;;) {
        // descend along else-branches
        DdNode *top = stack[gen->depth - 1];
        while (!tarnIsConstantRegular(tarnRegular(top))) {
            entries[tarnRegular(top)->index] = 0;
            top = tarnElseOf(top);
            stack[gen->depth++] = top;
        }
        // a constant other than the background and the logical zero ends a path
        if (top != dd->background && top != zero) {
            gen->status = 1;
            gen->value = tarnRegular(top)->value;
            break;
        }
        // backtrack to the deepest node whose then-branch is still unexplored
        bool more = false;
        while (gen->depth > 1) {
            DdNode *parent = stack[gen->depth - 2];
            DdNode *then = tarnThenOf(parent);
            if (stack[gen->depth - 1] != then) {
                entries[tarnRegular(parent)->index] = 1;
                stack[gen->depth - 1] = then;
                more = true;
                break;
            }
            entries[tarnRegular(parent)->index] = 2;
            gen->depth--;
        }
        if (!more) {
            gen->status = 0;
            break;
        }
    }
    if (cube != nullptr) *cube = entries;
    if (value != nullptr) *value = gen->value;
    return gen;
}

void tarnPathGenFree(DdPathGen *gen) {
    if (gen == nullptr) return;
    util_free(gen->cube);
    util_free(gen->stack);
    util_free(gen);
}

DdNode *add_sat_one(DdManager *dd, DdNode *f) {
    return tarnRestartLoopNoTimeout(dd, [&] { return addSatOneAttempt(dd, f); });
}

// ---- recursive steps ---------------------------------------------------------------------------

namespace {

// The 0/1 ADD of the cube of f's first path: the variables the path tests, each with its value.
DdNode *addSatOneAttempt(DdManager *dd, DdNode *f) {
    int *cube;
    DdPathGen *gen = tarnFirstPath(dd, f, &cube, nullptr);
    if (gen == nullptr) return nullptr;
    if (gen->status == 0) {
        tarnPathGenFree(gen);
        return dd->zero;
    }
    DdNode *r = dd->one;
    tarnRef(r);
    for (int i = 0; i < dd->size; i++) {
        if (cube[i] == 2) continue;
        DdNode *v = tarnUniqueInter(dd, i, dd->one, dd->zero);
        if (v == nullptr) {
            Tarn_RecursiveDeref(dd, r);
            tarnPathGenFree(gen);
            return nullptr;
        }
        tarnRef(v);
        DdNode *next =
            cube[i] == 1 ? Tarn_AddIte(dd, v, r, dd->zero) : Tarn_AddIte(dd, v, dd->zero, r);
        if (next == nullptr) {
            Tarn_RecursiveDeref(dd, r);
            Tarn_RecursiveDeref(dd, v);
            tarnPathGenFree(gen);
            return nullptr;
        }
        tarnRef(next);
        Tarn_RecursiveDeref(dd, r);
        Tarn_RecursiveDeref(dd, v);
        r = next;
    }
    tarnPathGenFree(gen);
    tarnDecRef(r);
    return r;
}

// One cube of f: the else-branch whenever it is not zero, so variables that the path does not
// test stay out of the cube.
DdNode *bddSatOneRecur(DdManager *dd, DdNode *f) {
    // terminal cases
    if (tarnIsConstantRegular(tarnRegular(f))) return f;

    // cofactors at the top level
    DdNode *T = tarnThenOf(f);
    DdNode *E = tarnElseOf(f);
    const uint32_t index = tarnRegular(f)->index;
    const bool positive = E == tarnNot(dd->one);

    // recurse on the branch taken, holding a temporary reference
    DdNode *g = bddSatOneRecur(dd, positive ? T : E);
    if (g == nullptr) return nullptr;
    tarnRef(g);

    // build the node (complement rule), release the temporary
    DdNode *r = literalAbove(dd, index, g, positive);
    if (r == nullptr) {
        tarnDerefBdd(dd, g);
        return nullptr;
    }
    tarnDecRef(g);
    return r;
}

}  // namespace
