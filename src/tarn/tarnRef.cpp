// Reference counts: taking and dropping references, the release walk that lets nodes die, and the
// revival of dead nodes that a lookup finds again.
#include "tarnInt.h"

void Tarn_Ref(DdNode *f) { tarnRef(f); }

void Tarn_DecRef(DdNode *f) { tarnDecRef(f); }

namespace {

inline bool isManagerConstant(const DdManager *dd, const DdNode *N) {
    return N == dd->one || N == dd->zero || N == dd->plusInfinity || N == dd->minusInfinity;
}

inline void notePeakLiveNodes(DdManager *dd) {
    unsigned live = dd->keys - dd->dead;
    if (live > dd->peakLiveNodes) dd->peakLiveNodes = live;
}

// Drops one reference of f; a node that dies releases its children in turn. The walk follows
// then-children and stacks else-children, so its depth is bounded by the number of levels.
// The BDD and the ADD release are this one walk: a BDD released as an ADD or an ADD released as a
// BDD (a wrong flag from Java) must not send it through a constant's missing children. The
// manager's own constants never die, however often a caller releases them: they would otherwise
// be collected while the manager and every diagram still use them.
inline void releaseWalk(DdManager *dd, DdNode *f) {
    notePeakLiveNodes(dd);
    DdNode **stack = dd->derefStack;
    DdNode *N = tarnRegular(f);
    int depth = 1;
    do {
        if (N->ref == 1) {
            if (tarnIsConstantRegular(N)) {
                if (!isManagerConstant(dd, N)) {
                    N->ref = 0;
                    dd->dead++;
                    dd->constants.dead++;
                }
                N = stack[--depth];
            } else {
                N->ref = 0;
                dd->dead++;
                dd->subtables[dd->perm[N->index]].dead++;
                // The else child is visited once the then side is done: its line is asked for
                // now, so that the walk does not wait for it then.
                DdNode *E = tarnRegular(N->E);
                __builtin_prefetch(E, 1);
                stack[depth++] = E;
                N = N->T;
            }
        } else {
            N->ref--;
            N = stack[--depth];
        }
    } while (depth != 0);
}

}  // namespace

void Tarn_RecursiveDeref(DdManager *dd, DdNode *f) { releaseWalk(dd, f); }

void Tarn_DerefBdd(DdManager *dd, DdNode *f) { releaseWalk(dd, f); }

void tarnReclaim(DdManager *dd, DdNode *f) {
    DdNode **stack = dd->derefStack;
    const unsigned deadBefore = dd->dead;
    DdNode *N = tarnRegular(f);
    int depth = 1;
    do {
        if (N->ref == 0) {
            N->ref = 1;
            dd->dead--;
            if (tarnIsConstantRegular(N)) {
                dd->constants.dead--;
                N = stack[--depth];
            } else {
                dd->subtables[dd->perm[N->index]].dead--;
                DdNode *E = tarnRegular(N->E);
                __builtin_prefetch(E, 1);
                stack[depth++] = E;
                N = N->T;
            }
        } else {
            N->ref++;
            N = stack[--depth];
        }
    } while (depth != 0);
    // The revived root is live but unreferenced: its caller takes the reference.
    tarnRegular(f)->ref--;
    dd->nodesReclaimed += deadBefore - dd->dead;
}
