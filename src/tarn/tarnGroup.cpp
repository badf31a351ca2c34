// Group sifting: the groups of a range (rings of levels linked through symmetryNext, the lowest
// level pointing back to the top one) are sifted as blocks, each moved past its neighbours whole.
#include <algorithm>
#include <vector>

#include "tarnInt.h"

namespace {

inline unsigned &ringNext(DdManager *dd, int level) { return dd->subtables[level].symmetryNext; }

inline bool isSingle(DdManager *dd, int level) {
    return ringNext(dd, level) == static_cast<unsigned>(level);
}

// The bottom (highest-numbered) level of the group of a level.
int groupBottom(DdManager *dd, int level) {
    while (static_cast<int>(ringNext(dd, level)) > level) level = static_cast<int>(ringNext(dd, level));
    return level;
}

// The top level of the group of a level.
inline int groupTop(DdManager *dd, int level) {
    return static_cast<int>(ringNext(dd, groupBottom(dd, level)));
}

void ringLevels(DdManager *dd, int first, int last) {
    for (int l = first; l < last; l++) ringNext(dd, l) = static_cast<unsigned>(l + 1);
    ringNext(dd, last) = static_cast<unsigned>(first);
}

inline bool grewTooMuch(DdManager *dd, int size, int limit) {
    return static_cast<double>(size) > dd->siftGrowthLimit * static_cast<double>(limit);
}

// The term of a level when its variable is xi or interacts with it, else 0.
inline int termIfRelated(DdManager *dd, int level, int xi) {
    const int v = dd->invperm[level];
    return (v == xi || tarnVarsInteract(dd, xi, v)) ? tarnLevelTerm(dd, level) : 0;
}

// Moves the group whose top is y up past the group whose bottom is x, one variable at a time, each
// bubbling up through the whole upper group, and rings both groups at their new places. The live size, or 0 when a swap fails. last receives the two
// levels of the final swap: the new boundary between the groups.
int exchangeGroups(DdManager *dd, int x, int y, int *lastX, int *lastY) {
    const int xtop = static_cast<int>(ringNext(dd, x));
    const int ybot = groupBottom(dd, y);
    const int ys = ybot - y + 1;
    int size = 0;
    for (int k = 0; k < ys; k++) {
        for (int j = y + k - 1; j >= xtop + k; j--) {
            size = tarnSwapInPlace(dd, j, j + 1);
            if (size == 0) return 0;
            *lastX = j;
            *lastY = j + 1;
        }
    }
    ringLevels(dd, xtop, xtop + ys - 1);
    ringLevels(dd, xtop + ys, ybot);
    return size;
}

int moveGroup(DdManager *dd, int x, int y, DdMove **moves) {
    int lastX = x, lastY = y;
    const int size = exchangeGroups(dd, x, y, &lastX, &lastY);
    if (size == 0) return 0;
    if (!tarnRecordMove(dd, moves, lastX, lastY, size)) return 0;
    return size;
}

inline int moveGroupBack(DdManager *dd, int x, int y) {
    int lastX, lastY;
    return exchangeGroups(dd, x, y, &lastX, &lastY);
}

// Down moves of the group whose bottom is x; false on failure (the caller frees the list).
bool groupDownMoves(DdManager *dd, int x, int high, DdMove **moves) {
    // a group of projection functions alone gains nothing below: the walk tests every level from
    // x along the ring but the last one (whose successor is x again)
    for (int y = x;;) {
        if (static_cast<int>(ringNext(dd, y)) == x) return true;
        if (dd->subtables[y].keys != 1) break;
        y = static_cast<int>(ringNext(dd, y));
    }
    int size = tarnLiveSize(dd);
    int limit = size;
    const int xi = dd->invperm[x];
    int top = static_cast<int>(ringNext(dd, x));
    int R = 0;
    for (int l = high; l > top; l--) R += termIfRelated(dd, l, xi);
    for (int y = x + 1; y <= high && size - R < limit; y = x + 1) {
        const int ybot = groupBottom(dd, y);
        if (isSingle(dd, x) && ybot == y) {
            if (tarnVarsInteract(dd, xi, dd->invperm[y])) R -= tarnLevelTerm(dd, y);
            size = tarnSwapInPlace(dd, x, y);
            if (size == 0 || !tarnRecordMove(dd, moves, x, y, size)) return false;
            if (grewTooMuch(dd, size, limit)) break;
            limit = std::min(limit, size);
        } else {
            for (int l = top + 1; l <= ybot; l++) R -= termIfRelated(dd, l, xi);
            size = moveGroup(dd, x, y, moves);
            if (size == 0) return false;
            if (grewTooMuch(dd, size, limit)) break;
            const int newTop = static_cast<int>(ringNext(dd, ybot));
            for (int l = newTop + 1; l <= ybot; l++) R += termIfRelated(dd, l, xi);
            limit = std::min(limit, size);
        }
        x = ybot;
        top = static_cast<int>(ringNext(dd, x));
    }
    return true;
}

// Up moves of the group whose top is y; false on failure (the caller frees the list).
bool groupUpMoves(DdManager *dd, int y, int low, DdMove **moves) {
    const int yi = dd->invperm[y];
    int size = tarnLiveSize(dd);
    int limit = size;
    const int ybot = groupBottom(dd, y);
    int L = size;
    for (int l = low + 1; l <= ybot; l++) L -= termIfRelated(dd, l, yi);
    for (int x = y - 1; x >= low && L <= limit; x = y - 1) {
        const int top = static_cast<int>(ringNext(dd, x));
        if (isSingle(dd, x) && isSingle(dd, y)) {
            const int xi = dd->invperm[x];
            size = tarnSwapInPlace(dd, x, y);
            if (size == 0) return false;
            if (tarnVarsInteract(dd, xi, yi)) L += tarnLevelTerm(dd, y);
            if (!tarnRecordMove(dd, moves, x, y, size)) return false;
            if (grewTooMuch(dd, size, limit)) break;
            y = top;
            limit = std::min(limit, size);
        } else {
            size = moveGroup(dd, x, y, moves);
            if (size == 0) return false;
            // the group now below: its levels from the newest boundary down
            const int below = static_cast<int>((*moves)->y);
            const int belowBottom = groupBottom(dd, below);
            for (int l = below; l <= belowBottom; l++) {
                if (tarnVarsInteract(dd, yi, dd->invperm[l])) L += tarnLevelTerm(dd, l);
            }
            if (grewTooMuch(dd, size, limit)) break;
            y = top;
            limit = std::min(limit, size);
        }
    }
    return true;
}

// Undoes the moves back to the first (newest) one that reached the smallest size.
int undoGroupMoves(DdManager *dd, DdMove *moves, int size) {
    int best = size;
    for (DdMove *m = moves; m != nullptr; m = m->next) best = std::min(best, static_cast<int>(m->size));
    for (DdMove *m = moves; m != nullptr; m = m->next) {
        if (static_cast<int>(m->size) == best) return 1;
        const int x = static_cast<int>(m->x);
        const int y = static_cast<int>(m->y);
        const int r = isSingle(dd, x) && isSingle(dd, y) ? tarnSwapInPlace(dd, x, y)
                                                         : moveGroupBack(dd, x, y);
        if (r == 0) return 0;
    }
    return 1;
}

int siftGroup(DdManager *dd, int x, int low, int high) {
    const int initial = tarnLiveSize(dd);
    dd->siftStartSize = static_cast<unsigned>(initial);
    x = groupBottom(dd, x);
    DdMove *moves = nullptr;
    bool ok = true;
    if (x == low) {
        if (x == high) return 1;
        ok = groupDownMoves(dd, x, high, &moves);
    } else if (x == high) {
        ok = groupUpMoves(dd, static_cast<int>(ringNext(dd, x)), low, &moves);
    } else if (high - x >= x - low) {
        ok = groupUpMoves(dd, static_cast<int>(ringNext(dd, x)), low, &moves);
        if (ok) {
            const int from = moves != nullptr ? groupBottom(dd, static_cast<int>(moves->x)) : x;
            ok = groupDownMoves(dd, from, high, &moves);
        }
    } else {
        ok = groupDownMoves(dd, x, high, &moves);
        if (ok) {
            const int from = moves != nullptr ? groupTop(dd, static_cast<int>(moves->y))
                                              : static_cast<int>(ringNext(dd, x));
            ok = groupUpMoves(dd, from, low, &moves);
        }
    }
    const int result = ok ? undoGroupMoves(dd, moves, initial) : 0;
    tarnFreeMoves(dd, moves);
    return result;
}

}  // namespace

int tarnNeverAggregate(DdManager *, int, int) { return 0; }

int tarnGroupSiftRange(DdManager *dd, int low, int high, DD_CHKFP, int) {
    const int n = dd->size;
    std::vector<DdSortEntry> entries;
    std::vector<char> sifted(static_cast<size_t>(n), 0);
    entries.reserve(static_cast<size_t>(n));
    for (int i = 0; i < n; i++) {
        const int x = dd->perm[i];
        if (static_cast<int>(ringNext(dd, x)) <= x) {
            entries.push_back(DdSortEntry{i, static_cast<int32_t>(dd->subtables[x].keys)});
        }
    }
    tarnSortEntries(entries.data(), static_cast<int>(entries.size()));
    const int count = std::min(dd->siftVarLimit, static_cast<int>(entries.size()));
    for (int k = 0; k < count; k++) {
        if (dd->swapCount >= dd->siftSwapLimit) break;
        if (tarnReorderingMustStop(dd)) break;
        const int index = entries[k].index;
        if (sifted[index]) continue;
        const int x = dd->perm[index];
        if (x < low || x > high || dd->subtables[x].bound == 1) continue;
        const bool wasSingle = isSingle(dd, x);
        if (!siftGroup(dd, x, low, high)) return 0;
        const int at = dd->perm[index];
        if (!isSingle(dd, at)) {
            const int top = groupTop(dd, at);
            const int bottom = groupBottom(dd, at);
            for (int l = top; l <= bottom; l++) sifted[dd->invperm[l]] = 1;
            if (wasSingle) {
                for (int l = top; l <= bottom; l++) ringNext(dd, l) = static_cast<unsigned>(l);
            }
        }
    }
    return 1;
}
