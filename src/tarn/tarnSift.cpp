// Sifting (each variable tried at every level of its range, kept at the best) and random
// exchanges, with the package's sort of the variables by level size.
#include <algorithm>

#include "tarnInt.h"

namespace {

// The comparison of two sort entries: positive when a comes after b (a has fewer keys).
inline int32_t compare(const DdSortEntry &a, const DdSortEntry &b) {
    return static_cast<int32_t>(static_cast<uint32_t>(b.keys) - static_cast<uint32_t>(a.keys));
}
inline bool after(const DdSortEntry &a, const DdSortEntry &b) { return compare(a, b) > 0; }

// Quicksort partition of entries[first..last] (inclusive); parts of fewer than 4 entries are left
// to the final insertion pass.
void partition(DdSortEntry *e, int first, int last) {
    for (;;) {
        const int n = last - first + 1;
        int pivot = first + n / 2;
        if (n >= 6) {
            int m = after(e[first], e[pivot]) ? first : pivot;
            if (after(e[m], e[last])) {
                const int o = m == first ? pivot : first;
                m = compare(e[o], e[last]) < 0 ? last : o;
            }
            if (m != pivot) std::swap(e[m], e[pivot]);
        }
        int i = first;
        int j = last;
        for (;;) {
            while (i < pivot && !after(e[i], e[pivot])) i++;
            while (j > pivot && !after(e[pivot], e[j])) j--;
            if (j > pivot) {
                if (i == pivot) {
                    std::swap(e[pivot], e[j]);
                    pivot = j;
                } else {
                    std::swap(e[i], e[j]);
                    j--;
                }
                i++;
            } else {
                if (i == pivot) break;
                std::swap(e[i], e[pivot]);
                pivot = i;
                j--;
            }
        }
        const int left = pivot - first;
        const int right = last - pivot;
        // the smaller part first, then continue with the larger one
        if (left <= right) {
            if (left >= 4) partition(e, first, pivot - 1);
            if (right < 4) return;
            first = pivot + 1;
        } else {
            if (right >= 4) partition(e, pivot + 1, last);
            if (left < 4) return;
            last = pivot - 1;
        }
    }
}

inline bool grewTooMuch(DdManager *dd, int size, int limit) {
    return static_cast<double>(size) > dd->siftGrowthLimit * static_cast<double>(limit);
}

// Marker of a failed move list (distinct from the empty list).
DdMove *const kFailedMoves = reinterpret_cast<DdMove *>(uintptr_t{1});

DdMove *siftDownMoves(DdManager *dd, int x, int high) {
    DdMove *moves = nullptr;
    const int xi = dd->invperm[x];
    int size = tarnLiveSize(dd);
    int limit = size;
    // R: the nodes below x that moving x down cannot remove
    int R = 0;
    for (int l = high; l > x; l--) {
        if (tarnVarsInteract(dd, xi, dd->invperm[l])) R += tarnLevelTerm(dd, l);
    }
    for (int y = x + 1; y <= high && size - R < limit; y++) {
        if (tarnVarsInteract(dd, xi, dd->invperm[y])) R -= tarnLevelTerm(dd, y);
        size = tarnSwapInPlace(dd, x, y);
        if (size == 0 || !tarnRecordMove(dd, &moves, x, y, size)) {
            tarnFreeMoves(dd, moves);
            return kFailedMoves;
        }
        if (grewTooMuch(dd, size, limit)) break;
        if (size < limit) limit = size;
        x = y;
    }
    return moves;
}

DdMove *siftUpMoves(DdManager *dd, int y, int low) {
    DdMove *moves = nullptr;
    const int yi = dd->invperm[y];
    int size = tarnLiveSize(dd);
    int limit = size;
    // L: the nodes above and at y that moving y up cannot remove
    int L = size;
    for (int l = low + 1; l < y; l++) {
        if (tarnVarsInteract(dd, yi, dd->invperm[l])) L -= tarnLevelTerm(dd, l);
    }
    L -= tarnLevelTerm(dd, y);
    for (int x = y - 1; x >= low && L <= limit; x--) {
        const int xi = dd->invperm[x];
        size = tarnSwapInPlace(dd, x, y);
        if (size == 0) {
            tarnFreeMoves(dd, moves);
            return kFailedMoves;
        }
        if (tarnVarsInteract(dd, xi, yi)) L += tarnLevelTerm(dd, y);
        if (!tarnRecordMove(dd, &moves, x, y, size)) {
            tarnFreeMoves(dd, moves);
            return kFailedMoves;
        }
        if (grewTooMuch(dd, size, limit)) break;
        if (size < limit) limit = size;
        y = x;
    }
    return moves;
}

// Swaps back from the newest move until the list reaches a smallest size, or the start.
int undoMoves(DdManager *dd, int size, DdMove *moves) {
    int best = size;
    for (DdMove *m = moves; m != nullptr; m = m->next) best = std::min(best, static_cast<int>(m->size));
    for (DdMove *m = moves; m != nullptr; m = m->next) {
        if (static_cast<int>(m->size) == best) return 1;
        if (tarnSwapInPlace(dd, static_cast<int>(m->x), static_cast<int>(m->y)) == 0) return 0;
    }
    return 1;
}

}  // namespace

void tarnSortEntries(DdSortEntry *entries, int n) {
    if (n < 2) return;
    if (n >= 4) partition(entries, 0, n - 1);
    // sentinel: the earliest among the first entries goes to the front
    int candidate = 0;
    for (int i = 1; i < std::min(n, 4); i++) {
        if (after(entries[candidate], entries[i])) candidate = i;
    }
    std::swap(entries[0], entries[candidate]);
    for (int i = 1; i < n; i++) {
        const DdSortEntry item = entries[i];
        int j = i;
        while (j > 0 && after(entries[j - 1], item)) {
            entries[j] = entries[j - 1];
            j--;
        }
        entries[j] = item;
    }
}

int tarnSiftRange(DdManager *dd, int low, int high) {
    const int n = dd->size;
    auto *entries = static_cast<DdSortEntry *>(util_malloc(sizeof(DdSortEntry) * std::max(n, 1)));
    if (entries == nullptr) {
        dd->errorCode = TARN_OUT_OF_MEMORY;
        return 0;
    }
    for (int i = 0; i < n; i++) {
        entries[i] = DdSortEntry{i, static_cast<int32_t>(dd->subtables[dd->perm[i]].keys)};
    }
    tarnSortEntries(entries, n);
    const int count = std::min(dd->siftVarLimit, n);
    for (int k = 0; k < count; k++) {
        if (dd->swapCount >= dd->siftSwapLimit) break;
        if (tarnReorderingMustStop(dd)) break;
        const int x = dd->perm[entries[k].index];
        if (x < low || x > high || dd->subtables[x].bound == 1) continue;
        if (!tarnSiftVariable(dd, x, low, high)) {
            util_free(entries);
            return 0;
        }
    }
    util_free(entries);
    return 1;
}

int tarnSiftVariable(DdManager *dd, int x, int low, int high) {
    const int initial = tarnLiveSize(dd);
    DdMove *first = nullptr;
    DdMove *second = nullptr;
    int result = 1;
    if (x == low) {
        second = siftDownMoves(dd, x, high);
    } else if (x == high) {
        second = siftUpMoves(dd, x, low);
    } else if (x - low > high - x) {
        first = siftDownMoves(dd, x, high);
        if (first != kFailedMoves) {
            if (first != nullptr) x = static_cast<int>(first->y);
            second = siftUpMoves(dd, x, low);
        }
    } else {
        first = siftUpMoves(dd, x, low);
        if (first != kFailedMoves) {
            if (first != nullptr) x = static_cast<int>(first->x);
            second = siftDownMoves(dd, x, high);
        }
    }
    if (first == kFailedMoves || second == kFailedMoves) {
        result = 0;
    } else {
        result = tarnUndoToBest(dd, initial, second);
    }
    if (first != kFailedMoves) tarnFreeMoves(dd, first);
    if (second != kFailedMoves) tarnFreeMoves(dd, second);
    return result;
}

int tarnUndoToBest(DdManager *dd, int size, DdMove *moves) { return undoMoves(dd, size, moves); }

// ---- random exchanges ----------------------------------------------------------------------------

int tarnRandomExchanges(DdManager *dd, int low, int high, int method) {
    if (method != TARN_REORDER_RANDOM) return 0;
    const int n = high - low + 1;
    // a single level offers no two levels to exchange
    if (n < 2) return 1;
    for (int k = 0; k < n; k++) {
        if (dd->swapCount >= dd->siftSwapLimit) break;
        const int x = low + Tarn_NextRandom(dd) % n;
        int y;
        do {
            y = low + Tarn_NextRandom(dd) % n;
        } while (y == x);
        const int size = tarnLiveSize(dd);
        bool failed = false;
        DdMove *moves = tarnExchangeLevels(dd, x, y, &failed);
        if (failed) return 0;
        const int result = undoMoves(dd, size, moves);
        tarnFreeMoves(dd, moves);
        if (!result) return 0;
    }
    return 1;
}

DdMove *tarnExchangeLevels(DdManager *dd, int x, int y, bool *failed) {
    if (x > y) std::swap(x, y);
    const int xRef = x;
    const int yRef = y;
    int limit = tarnLiveSize(dd);
    DdMove *moves = nullptr;
    int size = 0;
    auto swapAndRecord = [&](int a, int b) {
        size = tarnSwapInPlace(dd, a, b);
        return size != 0 && tarnRecordMove(dd, &moves, a, b, size) != 0;
    };
    for (;;) {
        if (!swapAndRecord(x, x + 1)) break;
        if (x + 1 == y - 1) {
            if (!swapAndRecord(y - 1, y) || !swapAndRecord(x, x + 1)) break;
            std::swap(x, y);
        } else if (x == y - 1) {
            std::swap(x, y);
        } else {
            if (!swapAndRecord(y - 1, y)) break;
            x++;
            y--;
        }
        if (x + 1 > yRef) {
            size = -1;  // left normally
            break;
        }
        if (grewTooMuch(dd, size, limit)) {
            size = -1;
            break;
        }
        if (size < limit) limit = size;
    }
    if (size != -1) {
        tarnFreeMoves(dd, moves);
        *failed = true;
        return nullptr;
    }
    if (y - 1 >= xRef && !swapAndRecord(y - 1, y)) {
        tarnFreeMoves(dd, moves);
        *failed = true;
        return nullptr;
    }
    return moves;
}
