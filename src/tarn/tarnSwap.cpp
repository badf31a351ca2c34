// The exchange of two adjacent levels in place, the interaction matrix that lets it skip variables
// that never meet, the preparation of a reordering, and the move records of the methods.
#include <algorithm>
#include <new>
#include <vector>

#include "tarnInt.h"

namespace {

inline uint64_t *interactionWords(DdManager *dd) { return static_cast<uint64_t *>(dd->interaction); }

// Bit of the unordered pair i < j among n variables.
inline uint64_t pairBit(int n, int i, int j) {
    return static_cast<uint64_t>(i) * static_cast<uint64_t>(2 * n - i - 3) / 2 +
           static_cast<uint64_t>(j) - 1;
}

void setInteract(DdManager *dd, int i, int j) {
    const uint64_t bit = pairBit(dd->size, i, j);
    interactionWords(dd)[bit / 64] |= uint64_t{1} << (bit % 64);
}

inline bool thenMarked(const DdNode *f) { return (reinterpret_cast<uintptr_t>(f->T) & 1) != 0; }
inline DdNode *thenOf(const DdNode *f) { return tarnRegular(f->T); }

// Marks the variables in the support of f: every node reached gets a mark on its then-pointer (for
// this root only) and a visit mark on its next field (for good).
void markSupport(DdNode *f, char *support) {
    if (tarnIsConstantRegular(f) || thenMarked(f)) return;
    support[f->index] = 1;
    DdNode *T = f->T;
    DdNode *E = tarnRegular(f->E);
    f->T = tarnWithBits(T, 1);
    tarnMark(f);
    markSupport(T, support);
    markSupport(E, support);
}

void clearThenMarks(DdNode *f) {
    if (tarnIsConstantRegular(f) || !thenMarked(f)) return;
    f->T = thenOf(f);
    clearThenMarks(f->T);
    clearThenMarks(tarnRegular(f->E));
}

// ---- occupancy of the buckets during a reordering -----------------------------------------------

inline size_t occupancyWords(unsigned slots) { return (static_cast<size_t>(slots) + 63) / 64; }

inline void markOccupied(DdSubtable &table, uint32_t j) {
    if (table.occupied != nullptr) table.occupied[j / 64] |= uint64_t{1} << (j % 64);
}

inline void markIfEmptied(DdSubtable &table, uint32_t j, const DdNode *sentinel) {
    if (table.occupied != nullptr && table.buckets[j] == sentinel) {
        table.occupied[j / 64] &= ~(uint64_t{1} << (j % 64));
    }
}

// A cleared bitmap for the table's buckets in place of the old one; none when memory is short
// (the table's buckets are then all walked).
void clearOccupancy(DdSubtable &table, bool reallocate) {
    const size_t words = occupancyWords(table.slots);
    if (reallocate) {
        util_free(table.occupied);
        table.occupied = static_cast<uint64_t *>(util_malloc(words * sizeof(uint64_t)));
    }
    if (table.occupied != nullptr) std::fill(table.occupied, table.occupied + words, 0);
}

void buildOccupancy(DdSubtable &table, const DdNode *sentinel) {
    clearOccupancy(table, true);
    if (table.occupied == nullptr) return;
    for (unsigned j = 0; j < table.slots; j++) {
        if (table.buckets[j] != sentinel) markOccupied(table, j);
    }
}

// Calls visit(j) for every bucket j of the table that may hold a node, in increasing order, until
// visit returns false.
template <class Visit>
void forEachOccupied(const DdSubtable &table, Visit visit) {
    if (table.occupied == nullptr) {
        for (unsigned j = 0; j < table.slots; j++) {
            tarnPrefetchChainAhead(table.buckets, j, table.slots);
            if (!visit(j)) return;
        }
        return;
    }
    const size_t words = occupancyWords(table.slots);
    for (size_t w = 0; w < words; w++) {
        uint64_t bits = table.occupied[w];
        const auto base = static_cast<unsigned>(w * 64);
        while (bits != 0) {
            const unsigned j = base + static_cast<unsigned>(__builtin_ctzll(bits));
            bits &= bits - 1;
            // the next chain's head is asked for while this one is walked
            if (bits != 0) {
                const auto next = static_cast<unsigned>(__builtin_ctzll(bits));
                __builtin_prefetch(table.buckets[base + next]);
            }
            if (!visit(j)) return;
        }
    }
}

// The buckets of the table that hold a node, in increasing order.
void occupiedBuckets(const DdSubtable &table, const DdNode *sentinel, std::vector<unsigned> &out) {
    out.clear();
    if (table.occupied == nullptr) {
        for (unsigned j = 0; j < table.slots; j++) {
            if (table.buckets[j] != sentinel) out.push_back(j);
        }
        return;
    }
    const size_t words = occupancyWords(table.slots);
    for (size_t w = 0; w < words; w++) {
        for (uint64_t bits = table.occupied[w]; bits != 0; bits &= bits - 1) {
            const auto at = static_cast<size_t>(__builtin_ctzll(bits));
            out.push_back(static_cast<unsigned>(w * 64 + at));
        }
    }
}

// Levels of at least kAheadKeys nodes in a diagram of at least kAheadTotal nodes (8 MiB of nodes,
// past what the caches keep close) are walked with requests kAhead (and 2 * kAhead) steps ahead.
// In smaller diagrams the requests cost more than they save.
constexpr unsigned kAheadKeys = 512;
constexpr unsigned kAheadTotal = 1u << 18;
unsigned aheadKeys = kAheadKeys;
unsigned aheadTotal = kAheadTotal;
constexpr size_t kAhead = 4;

// The four grandchildren of a node of level x about to move below level y (index yi): a child
// not at level y stands for both of its halves.
struct Cofactors {
    DdNode *f11, *f10, *f01, *f00;
};
inline Cofactors cofactorsOf(const DdNode *f, uint32_t yi) {
    Cofactors c;
    DdNode *f1 = f->T;
    if (f1->index == yi) {
        c.f11 = f1->T;
        c.f10 = f1->E;
    } else {
        c.f11 = c.f10 = f1;
    }
    DdNode *f0 = f->E;
    DdNode *f0r = tarnRegular(f0);
    if (f0r->index == yi) {
        const bool cpl = tarnIsComplement(f0);
        c.f01 = tarnNotCond(f0r->T, cpl);
        c.f00 = tarnNotCond(f0r->E, cpl);
    } else {
        c.f01 = c.f00 = f0;
    }
    return c;
}

// Inserts f into its ordered chain of a subtable.
inline void insertOrdered(DdSubtable &table, DdNode *f) {
    const uint32_t j = tarnHashNode(f->T, f->E, table.shift);
    DdNode **previous = tarnFindInChain(&table.buckets[j], f->T, f->E);
    f->next = *previous;
    *previous = f;
    markOccupied(table, j);
}

// The node (index, T, E) of a subtable under construction, with one more reference: found, or made
// with reference 1 (its children gain one each). Null when no node can be had.
// Inlined into the swap, which calls it twice for every moving node.
__attribute__((always_inline)) inline DdNode *findOrMake(DdManager *dd, DdSubtable &table,
                                                         uint32_t index, DdNode *T, DdNode *E,
                                                         unsigned *keys) {
    const uint32_t j = tarnHashNode(T, E, table.shift);
    DdNode **previous = tarnFindInChain(&table.buckets[j], T, E);
    DdNode *looking = *previous;
    if (looking->T == T && looking->E == E) {
        looking->ref++;
        return looking;
    }
    DdNode *node = tarnAllocNode(dd);
    if (node == nullptr) return nullptr;
    node->index = index;
    node->ref = 1;
    node->T = T;
    node->E = E;
    // No node is dead while reordering, so a collection the allocator may start unlinks nothing:
    // the remembered place still holds.
    node->next = *previous;
    *previous = node;
    markOccupied(table, j);
    T->ref++;
    tarnRegular(E)->ref++;
    (*keys)++;
    return node;
}

// The manager's totals after a level's bucket count changed by `added`.
void noteSlotChange(DdManager *dd, int64_t added) {
    dd->slots = static_cast<unsigned>(static_cast<int64_t>(dd->slots) + added);
    dd->deadThreshold = tarnDeadThresholdAt(dd, dd->deadFraction);
    dd->cacheRoom = tarnCacheRoomFor(dd, dd->cacheSlots);
    dd->memoryInUse = static_cast<uint64_t>(static_cast<int64_t>(dd->memoryInUse) + 8 * added);
}

inline void returnToFreeList(DdManager *dd, DdNode *f) {
    f->ref = 0;
    f->next = dd->freeList;
    dd->freeList = f;
}

// Doubles the buckets of the lower level of a swap until keys fit the density; the nodes are
// moved in chain order, so every new chain stays ordered. Without memory the old buckets stay.
void growLowerLevel(DdManager *dd, DdSubtable &table, int level, unsigned keys) {
    unsigned slots = table.slots;
    int shift = table.shift;
    while (keys > tarnKeyLimit(dd, slots) && shift > 1) {
        slots <<= 1;
        shift--;
    }
    auto **buckets = static_cast<DdNode **>(tarnGuardedMalloc(dd, sizeof(DdNode *) * slots));
    if (buckets == nullptr) {
        fprintf(dd->err, "Unable to resize subtable %d for lack of memory\n", level);
        return;
    }
    DdNode *sentinel = tarnSentinel(dd);
    std::fill(buckets, buckets + slots, sentinel);
    DdNode **old = table.buckets;
    const unsigned oldSlots = table.slots;
    table.buckets = buckets;
    table.slots = slots;
    table.shift = shift;
    clearOccupancy(table, true);
    for (unsigned j = 0; j < oldSlots; j++) {
        DdNode *f = old[j];
        while (f != sentinel) {
            DdNode *next = f->next;
            insertOrdered(table, f);
            f = next;
        }
    }
    util_free(old);
    noteSlotChange(dd, static_cast<int64_t>(slots) - static_cast<int64_t>(oldSlots));
}

}  // namespace

void tarnSetSwapAhead(unsigned keys, unsigned total) {
    aheadKeys = keys == 0 && total == 0 ? kAheadKeys : keys;
    aheadTotal = keys == 0 && total == 0 ? kAheadTotal : total;
}

int tarnVarsInteract(DdManager *dd, int i, int j) {
    if (i > j) std::swap(i, j);
    const uint64_t bit = pairBit(dd->size, i, j);
    return static_cast<int>((interactionWords(dd)[bit / 64] >> (bit % 64)) & 1);
}

int tarnBuildInteraction(DdManager *dd) {
    const int n = dd->size;
    const size_t words = static_cast<size_t>(n) * static_cast<size_t>(n > 0 ? n - 1 : 0) / 128 + 1;
    dd->interaction = util_calloc(words, sizeof(uint64_t));
    if (dd->interaction == nullptr) {
        dd->errorCode = TARN_OUT_OF_MEMORY;
        return 0;
    }
    auto *support = static_cast<char *>(util_calloc(static_cast<size_t>(n) + 1, 1));
    if (support == nullptr) {
        tarnFreeInteraction(dd);
        dd->errorCode = TARN_OUT_OF_MEMORY;
        return 0;
    }
    DdNode *sentinel = tarnSentinel(dd);
    for (int level = 0; level < n; level++) {
        const DdSubtable &table = dd->subtables[level];
        for (unsigned j = 0; j < table.slots; j++) {
            for (DdNode *f = table.buckets[j]; f != sentinel; f = tarnRegular(f->next)) {
                if (tarnIsMarked(f) || thenMarked(f)) continue;
                markSupport(f, support);
                clearThenMarks(f);
                for (int a = 0; a < n; a++) {
                    if (!support[a]) continue;
                    support[a] = 0;
                    for (int b = a + 1; b < n; b++) {
                        if (support[b]) setInteract(dd, a, b);
                    }
                }
            }
        }
    }
    for (int level = 0; level < n; level++) {
        const DdSubtable &table = dd->subtables[level];
        for (unsigned j = 0; j < table.slots; j++) {
            for (DdNode *f = table.buckets[j]; f != sentinel; f = f->next) tarnUnmark(f);
        }
    }
    util_free(support);
    return 1;
}

void tarnFreeInteraction(DdManager *dd) {
    util_free(dd->interaction);
    dd->interaction = nullptr;
    for (int level = 0; level < dd->size; level++) {
        util_free(dd->subtables[level].occupied);
        dd->subtables[level].occupied = nullptr;
    }
}

int tarnPrepareReordering(DdManager *dd) {
    // Waiting releases kill their nodes now, even when the collection below does not run, so that
    // none can die in the middle of a swap.
    tarnRunWaitingReleases(dd);
    tarnCacheFlush(dd);
    tarnGarbageCollect(dd, 0);
    // The swap takes every node in the table for a live one: a collection that did not happen (a
    // hook refused it, or the time limit passed) leaves nothing to reorder safely.
    if (dd->dead != 0) return 0;
    dd->isolatedCount = 0;
    for (int i = 0; i < dd->size; i++) {
        if (dd->vars[i]->ref == 1) dd->isolatedCount++;
    }
    if (!tarnBuildInteraction(dd)) return 0;
    DdNode *sentinel = tarnSentinel(dd);
    for (int level = 0; level < dd->size; level++) buildOccupancy(dd->subtables[level], sentinel);
    return 1;
}

namespace {

// Exchanges the nodes of two adjacent levels whose variables interact (steps of the swap below);
// updates the key counts. Large levels do not fit in the caches: with Ahead set, every walk asks
// for what it will read a few steps on (the moving nodes are then gathered into an array and
// enter level y after their rebuilding). Small levels are cached and would only pay for the
// requests. False when no node can be had.
template <bool Ahead>
bool exchangeNodes(DdManager *dd, int x, int y, unsigned *newxkeysOut, unsigned *newykeysOut) {
    const int xi = dd->invperm[x];
    const int yi = dd->invperm[y];
    DdSubtable &xt = dd->subtables[x];
    DdSubtable &yt = dd->subtables[y];
    const unsigned xkeys = xt.keys;
    const unsigned ykeys = yt.keys;
    DdNode *sentinel = tarnSentinel(dd);
    const auto uyi = static_cast<uint32_t>(yi);
    const auto uxi = static_cast<uint32_t>(xi);

    // split level x: nodes with a child at level y move, the others stay
    const unsigned oldSlots = xt.slots;
    // A level shrinks below a quarter of its density (one node per bucket at the default) and
    // grows above it.
    const auto tooSparse = [dd](unsigned keys, unsigned slots) {
        return static_cast<uint64_t>(keys) * TARN_KEYS_PER_SLOT <
               static_cast<uint64_t>(slots) * dd->keysPerSlot;
    };
    const bool resize = (tooSparse(xkeys, oldSlots) && oldSlots != dd->initialSlots) ||
                        xkeys > tarnKeyLimit(dd, oldSlots);
    // scratch arrays kept between swaps (their thread-local addresses are taken once)
    static thread_local std::vector<DdNode *> gatheredScratch;
    static thread_local std::vector<unsigned> headScratch;
    std::vector<DdNode *> &moving = gatheredScratch;
    std::vector<unsigned> &heads = headScratch;
    DdNode *movingList = nullptr;
    unsigned movedKeys = 0;
    // Nodes of level y lose references only as children of moving nodes, so the ones that die
    // are exactly those whose count drops to 0 there: they go straight back to the free list.
    unsigned orphanCount = 0;
    auto releaseOrphan = [&](DdNode *g) {
        const uint32_t j = tarnHashNode(g->T, g->E, yt.shift);
        DdNode **previous = &yt.buckets[j];
        while (*previous != g) previous = &(*previous)->next;
        *previous = g->next;
        markIfEmptied(yt, j, sentinel);
        g->T->ref--;
        tarnRegular(g->E)->ref--;
        returnToFreeList(dd, g);
        orphanCount++;
    };
    DdNode *staying = nullptr;
    unsigned newxkeys = 0;
    unsigned seen = 0;
    auto splitChain = [&](unsigned j) {
        DdNode **previous = &xt.buckets[j];
        DdNode *f = *previous;
        while (f != sentinel) {
            DdNode *next = f->next;
            seen++;
            if (f->T->index == uyi || tarnRegular(f->E)->index == uyi) {
                *previous = next;
                f->index = uyi;
                if constexpr (Ahead) {
                    moving.push_back(f);
                } else {
                    f->next = movingList;
                    movingList = f;
                }
                movedKeys++;
            } else {
                newxkeys++;
                if (resize) {
                    f->next = staying;
                    staying = f;
                } else {
                    previous = &f->next;
                }
            }
            f = next;
        }
        if (!resize) markIfEmptied(xt, j, sentinel);
        // the walk ends at the level's last node
        return seen < xkeys;
    };
    if constexpr (Ahead) {
        moving.clear();
        occupiedBuckets(xt, sentinel, heads);
        const size_t count = heads.size();
        for (size_t k = 0; k < count; k++) {
            if (k + 2 * kAhead < count) __builtin_prefetch(xt.buckets[heads[k + 2 * kAhead]]);
            if (k + kAhead < count) {
                const DdNode *h = xt.buckets[heads[k + kAhead]];
                __builtin_prefetch(h->T);
                __builtin_prefetch(tarnRegular(h->E));
            }
            if (!splitChain(heads[k])) break;
        }
    } else {
        forEachOccupied(xt, splitChain);
    }
    if (resize) {
        unsigned slots = oldSlots;
        int shift = xt.shift;
        while (xkeys > tarnKeyLimit(dd, slots)) {
            slots <<= 1;
            shift--;
        }
        while (tooSparse(xkeys, slots) && slots > dd->initialSlots) {
            slots >>= 1;
            shift++;
        }
        auto **buckets = static_cast<DdNode **>(tarnGuardedMalloc(dd, sizeof(DdNode *) * slots));
        if (buckets == nullptr) {
            fprintf(dd->err, "Unable to resize subtable %d for lack of memory\n", x);
        } else {
            util_free(xt.buckets);
            xt.buckets = buckets;
            xt.slots = slots;
            xt.shift = shift;
            noteSlotChange(dd, static_cast<int64_t>(slots) - static_cast<int64_t>(oldSlots));
        }
        std::fill(xt.buckets, xt.buckets + xt.slots, sentinel);
        clearOccupancy(xt, xt.slots != oldSlots);
        while (staying != nullptr) {
            DdNode *next = staying->next;
            insertOrdered(xt, staying);
            staying = next;
        }
    }

    // Level y receives every moving node: its buckets grow first when they would hold more nodes
    // per bucket than the density, so that the insertions below meet short chains.
    if (ykeys + movedKeys > tarnKeyLimit(dd, yt.slots)) {
        growLowerLevel(dd, yt, y, ykeys + movedKeys);
    }

    // rebuild each moving node f = (xi, f1, f0) as (yi, (xi, f11, f01), (xi, f10, f00))
    for (size_t i = 0; i < movedKeys; i++) {
        DdNode *f;
        if constexpr (Ahead) {
            // the children of the node 2 * kAhead places on, the buckets of level x that the
            // node kAhead places on will search
            if (i + 2 * kAhead < movedKeys) {
                const DdNode *g = moving[i + 2 * kAhead];
                __builtin_prefetch(g->T);
                __builtin_prefetch(tarnRegular(g->E));
            }
            if (i + kAhead < movedKeys) {
                const Cofactors c = cofactorsOf(moving[i + kAhead], uyi);
                if (c.f11 != c.f01) {
                    __builtin_prefetch(&xt.buckets[tarnHashNode(c.f11, c.f01, xt.shift)]);
                }
                if (c.f10 != c.f00) {
                    const bool cpl = tarnIsComplement(c.f10);
                    const uint32_t j = tarnHashNode(tarnNotCond(c.f10, cpl),
                                                    tarnNotCond(c.f00, cpl), xt.shift);
                    __builtin_prefetch(&xt.buckets[j]);
                }
            }
            f = moving[i];
        } else {
            f = movingList;
            movingList = f->next;
            if (movingList != nullptr) {
                // the children of the next moving node are read on the next round
                tarnPrefetchNode(movingList->T);
                tarnPrefetchNode(movingList->E);
            }
        }
        DdNode *f1 = f->T;
        DdNode *f0r = tarnRegular(f->E);
        const Cofactors c = cofactorsOf(f, uyi);
        // A node of level y that loses its last reference here dies with the swap: it leaves
        // at once, so that the nodes made next reuse its (cached) slot. Its children lose a
        // reference each, which the nodes made for f give back (they are f's grandchildren).
        if (--f1->ref == 0 && f1->index == uyi) releaseOrphan(f1);
        if (--f0r->ref == 0 && f0r->index == uyi) releaseOrphan(f0r);

        DdNode *newT;
        if (c.f11 == c.f01) {
            newT = c.f11;
            newT->ref++;
        } else {
            newT = findOrMake(dd, xt, uxi, c.f11, c.f01, &newxkeys);
        }
        DdNode *newE = nullptr;
        if (newT != nullptr) {
            if (c.f10 == c.f00) {
                newE = c.f10;
                tarnRegular(newE)->ref++;
            } else {
                const bool cpl = tarnIsComplement(c.f10);
                DdNode *n = findOrMake(dd, xt, uxi, tarnNotCond(c.f10, cpl),
                                       tarnNotCond(c.f00, cpl), &newxkeys);
                newE = n == nullptr ? nullptr : tarnNotCond(n, cpl);
            }
        }
        if (newT == nullptr || newE == nullptr) {
            fprintf(dd->err, "Error: tarnSwapInPlace out of memory\n");
            return false;
        }
        f->T = newT;
        f->E = newE;
        if constexpr (!Ahead) insertOrdered(yt, f);
    }
    if constexpr (Ahead) {
        // nothing searched level y in the meantime
        for (size_t i = 0; i < movedKeys; i++) {
            if (i + kAhead < movedKeys) {
                const DdNode *g = moving[i + kAhead];
                __builtin_prefetch(&yt.buckets[tarnHashNode(g->T, g->E, yt.shift)]);
            }
            insertOrdered(yt, moving[i]);
        }
    }
    unsigned newykeys = ykeys + movedKeys;

    newykeys -= orphanCount;
    *newxkeysOut = newxkeys;
    *newykeysOut = newykeys;
    return true;
}

}  // namespace

int tarnSwapInPlace(DdManager *dd, int x, int y) {
    const int xi = dd->invperm[x];
    const int yi = dd->invperm[y];
    DdSubtable &xt = dd->subtables[x];
    DdSubtable &yt = dd->subtables[y];
    const unsigned xkeys = xt.keys;
    const unsigned ykeys = yt.keys;
    unsigned newxkeys = xkeys;
    unsigned newykeys = ykeys;

    dd->swapCount++;

    if (tarnVarsInteract(dd, xi, yi)) {
        const int isoDelta = -(dd->vars[xi]->ref == 1 ? 1 : 0) - (dd->vars[yi]->ref == 1 ? 1 : 0);
        const bool exchanged = xkeys >= aheadKeys && dd->keys >= aheadTotal
                                   ? exchangeNodes<true>(dd, x, y, &newxkeys, &newykeys)
                                   : exchangeNodes<false>(dd, x, y, &newxkeys, &newykeys);
        if (!exchanged) return 0;
        dd->isolatedCount += isoDelta + (dd->vars[xi]->ref == 1 ? 1 : 0) +
                             (dd->vars[yi]->ref == 1 ? 1 : 0);
    }

    // exchange the two levels' records; the ring link stays with the level
    std::swap(xt.buckets, yt.buckets);
    std::swap(xt.slots, yt.slots);
    std::swap(xt.shift, yt.shift);
    std::swap(xt.occupied, yt.occupied);
    xt.keys = newykeys;
    yt.keys = newxkeys;
    xt.keyLimit = tarnKeyLimit(dd, xt.slots);
    yt.keyLimit = tarnKeyLimit(dd, yt.slots);
    std::swap(xt.bound, yt.bound);
    std::swap(xt.varKind, yt.varKind);
    std::swap(xt.pairIndex, yt.pairIndex);
    std::swap(xt.handled, yt.handled);
    std::swap(xt.groupState, yt.groupState);
    dd->perm[xi] = y;
    dd->perm[yi] = x;
    dd->invperm[x] = yi;
    dd->invperm[y] = xi;
    dd->keys = dd->keys + newxkeys + newykeys - xkeys - ykeys;
    return tarnLiveSize(dd);
}

// ---- move records ------------------------------------------------------------------------------

int tarnRecordMove(DdManager *dd, DdMove **moves, int x, int y, int size) {
    DdNode *slot = tarnAllocNode(dd);
    if (slot == nullptr) return 0;
    auto *move = new (slot) DdMove{*moves, static_cast<uint32_t>(x), static_cast<uint32_t>(y), 0,
                                   static_cast<uint32_t>(size)};
    *moves = move;
    return 1;
}

void tarnFreeMoves(DdManager *dd, DdMove *moves) {
    while (moves != nullptr) {
        DdMove *next = moves->next;
        auto *slot = new (static_cast<void *>(moves)) DdNode;
        returnToFreeList(dd, slot);
        moves = next;
    }
}
