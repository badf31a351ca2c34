// The reordering driver: one reordering from its hooks to the next automatic threshold, the walk
// over the variable group tree, the move to a given order, the report hooks and the generator of
// the random methods.
#include <algorithm>
#include <vector>

#include "../mtr/mtr.h"
#include "tarnInt.h"

namespace {

// Calls the hooks of a list in order; false as soon as one fails.
bool runHooks(DdManager *dd, DdHook *hook, void *argument) {
    for (; hook != nullptr; hook = hook->next) {
        if (hook->f(dd, "BDD", argument) == 0) return false;
    }
    return true;
}

// The level range [low, high] of a group; false when it is empty.
bool groupRange(DdManager *dd, MtrNode *g, int *low, int *high) {
    const auto n = static_cast<uint32_t>(dd->size);
    if (g->low >= n) return false;
    int lo = dd->perm[g->index];
    int64_t hi = static_cast<int64_t>(lo) + g->size - 1;
    if (hi >= dd->size) {
        if (g->child == nullptr) {
            hi = dd->size - 1;
        } else {
            // only the children that exist in full are reordered
            hi = 0;
            for (MtrNode *c = g->child; c != nullptr; c = c->younger) {
                if (c->low >= n) continue;
                const int at = dd->perm[c->low];
                if (static_cast<int64_t>(at) + c->size > dd->size) hi = at - 1;
            }
        }
    }
    if (hi < lo || hi < 0) return false;
    *low = lo;
    *high = static_cast<int>(hi);
    return true;
}

// Group sifting of a group with children over its range, keeping the children together.
int reorderGroupWithChildren(DdManager *dd, MtrNode *g) {
    const int savedCheck = dd->groupCheck;
    dd->groupCheck = 0;
    int low, high;
    int result = 1;
    if (groupRange(dd, g, &low, &high)) {
        if (!(g->flags & MTR_FIXED)) {
            result = tarnGroupSiftRange(dd, low, high, tarnNeverAggregate, 0);
        }
        tarnLinkGroup(dd, g, low, high);
    }
    dd->groupCheck = savedCheck;
    return result;
}

// Depth first over a sibling list: children before their parent.
int reorderSiblings(DdManager *dd, MtrNode *first, int method) {
    for (MtrNode *g = first; g != nullptr; g = g->younger) {
        if (g->child != nullptr) {
            // the inside of a fixed group keeps its order, its subgroups' insides included
            if (!(g->flags & MTR_FIXED) && !reorderSiblings(dd, g->child, method)) return 0;
            if (!reorderGroupWithChildren(dd, g)) return 0;
        } else if (g->size > 1) {
            if (!tarnReorderGroupRange(dd, g, method)) return 0;
        }
    }
    return 1;
}

bool isConverging(int method) {
    switch (method) {
        case TARN_REORDER_SIFT_CONVERGE:
        case TARN_REORDER_SYMM_SIFT_CONVERGE:
        case TARN_REORDER_WINDOW2_CONVERGE:
        case TARN_REORDER_WINDOW3_CONVERGE:
        case TARN_REORDER_WINDOW4_CONVERGE:
        case TARN_REORDER_GROUP_SIFT_CONVERGE:
        case TARN_REORDER_LINEAR_CONVERGE: return true;
        default: return false;
    }
}

const char *methodWords(int method) {
    switch (method) {
        case TARN_REORDER_RANDOM:
        case TARN_REORDER_RANDOM_PIVOT: return "random";
        case TARN_REORDER_SIFT:
        case TARN_REORDER_SIFT_CONVERGE: return "sifting";
        case TARN_REORDER_SYMM_SIFT:
        case TARN_REORDER_SYMM_SIFT_CONVERGE: return "symmetric sifting";
        case TARN_REORDER_WINDOW2:
        case TARN_REORDER_WINDOW3:
        case TARN_REORDER_WINDOW4:
        case TARN_REORDER_WINDOW2_CONVERGE:
        case TARN_REORDER_WINDOW3_CONVERGE:
        case TARN_REORDER_WINDOW4_CONVERGE: return "window";
        case TARN_REORDER_GROUP_SIFT:
        case TARN_REORDER_GROUP_SIFT_CONVERGE: return "group sifting";
        case TARN_REORDER_ANNEALING: return "annealing";
        case TARN_REORDER_GENETIC: return "genetic";
        case TARN_REORDER_LINEAR:
        case TARN_REORDER_LINEAR_CONVERGE: return "linear sifting";
        case TARN_REORDER_LAZY_SIFT: return "lazy sifting";
        case TARN_REORDER_EXACT: return "exact";
        default: return nullptr;
    }
}

// The check of Tarn_SetOrder for one sibling list and everything below it: the variables of every
// group must go to consecutive positions. With move set, each group takes its new low and index.
bool groupsKeptTogether(DdManager *dd, MtrNode *first, const std::vector<int> &pos,
                        const int *order, bool move) {
    for (MtrNode *g = first; g != nullptr; g = g->younger) {
        const int64_t end = std::min<int64_t>(static_cast<int64_t>(g->low) + g->size, dd->size);
        if (static_cast<int64_t>(g->low) >= end) return false;
        int lo = dd->size;
        int hi = -1;
        for (int64_t p = g->low; p < end; p++) {
            const int target = pos[dd->invperm[p]];
            lo = std::min(lo, target);
            hi = std::max(hi, target);
        }
        if (hi - lo + 1 != end - static_cast<int64_t>(g->low)) return false;
        if (g->child != nullptr && !groupsKeptTogether(dd, g->child, pos, order, move)) return false;
        if (move) {
            g->low = static_cast<uint32_t>(lo);
            g->index = static_cast<uint32_t>(order[lo]);
        }
    }
    return true;
}

// One method over the levels [low, high] of a group (at least two).
int runMethod(DdManager *dd, int low, int high, int method) {
    switch (method) {
        case TARN_REORDER_RANDOM: return tarnRandomExchanges(dd, low, high, method);
        case TARN_REORDER_SIFT: return tarnSiftRange(dd, low, high);
        case TARN_REORDER_SIFT_CONVERGE: {
            int result, before;
            do {
                before = tarnLiveSize(dd);
                result = tarnSiftRange(dd, low, high);
            } while (result != 0 && tarnLiveSize(dd) < before);
            return result;
        }
        case TARN_REORDER_GROUP_SIFT:
            if (dd->groupCheck == 0 || dd->groupCheck == 5 || dd->groupCheck == 7) {
                // the aggregation checks are not built: no group is ever formed
                return tarnGroupSiftRange(dd, low, high, tarnNeverAggregate, 0);
            }
            fprintf(dd->err, "Unknown group ckecking method\n");
            return 0;
        default: return tarnWindowMethod(dd, low, high, method);
    }
}

}  // namespace

bool tarnReorderingMustStop(DdManager *dd) {
    // No elapsed time exceeds the largest limit: the clock (a system call) is read only under a
    // smaller one.
    const bool late =
        dd->timeLimit != UINT32_MAX &&
        util_cpu_time_ms() + static_cast<uint32_t>(dd->reorderTime) - dd->startTime > dd->timeLimit;
    if (late ||
        (dd->terminationCallback != nullptr && dd->terminationCallback(dd->terminationArg))) {
        dd->autoReorder = 0;
        return true;
    }
    return false;
}

int Tarn_Reorder(DdManager *dd, int method, int minSize) {
    tarnRunWaitingReleases(dd);
    if (static_cast<int64_t>(dd->keys) - dd->dead < minSize) return 1;
    if (method == TARN_REORDER_SAME) method = dd->autoReorderMethod;
    if (method == TARN_REORDER_NONE) return 1;

    dd->reorderCount++;
    const uint32_t start = util_cpu_time_ms();
    if (!runHooks(dd, dd->reorderHooksBefore, reinterpret_cast<void *>(static_cast<intptr_t>(method)))) {
        return 0;
    }
    if (!tarnPrepareReordering(dd)) {
        tarnFreeInteraction(dd);
        return 0;
    }
    dd->swapCount = 0;
    dd->peakLiveNodes = std::max(dd->peakLiveNodes, dd->keys);

    int result;
    if (dd->altGrowthPeriod != 0 && dd->reorderCount % dd->altGrowthPeriod == 0) {
        const double saved = dd->siftGrowthLimit;
        dd->siftGrowthLimit = dd->siftGrowthLimitAlt;
        result = tarnReorderByTree(dd, method);
        dd->siftGrowthLimit = saved;
    } else {
        result = tarnReorderByTree(dd, method);
    }
    tarnFreeInteraction(dd);
    if (result == 0) return 0;

    const unsigned next = dd->constants.keys + 2 * (dd->keys - dd->constants.keys + 1);
    if (dd->reorderCount < 20 || next > dd->reorderThreshold) {
        dd->reorderThreshold = next;
    } else {
        dd->reorderThreshold += 20;
    }
    if (dd->randomizeMask != 0) {
        dd->reorderThreshold += static_cast<unsigned>(Tarn_NextRandom(dd)) & dd->randomizeMask;
    }
    dd->reorderState = 1;

    if (!runHooks(dd, dd->reorderHooksAfter, reinterpret_cast<void *>(static_cast<uintptr_t>(start)))) {
        return 0;
    }
    dd->reorderTime += static_cast<int>(util_cpu_time_ms() - start);
    return result;
}

int tarnReorderByTree(DdManager *dd, int method) {
    MtrNode *tree = dd->groupTree;
    const bool temporary = tree == nullptr;
    if (temporary) {
        tree = Mtr_CreateTree(0, static_cast<uint32_t>(dd->size));
        if (tree == nullptr) {
            dd->errorCode = TARN_OUT_OF_MEMORY;
            return 0;
        }
        tree->index = dd->size > 0 ? static_cast<uint32_t>(dd->invperm[0]) : 0;
    }
    for (int level = 0; level < dd->size; level++) {
        dd->subtables[level].symmetryNext = static_cast<unsigned>(level);
    }
    const int result = reorderSiblings(dd, tree, method);
    if (temporary) {
        Mtr_DestroyTree(tree);
    } else {
        Mtr_ResortGroups(dd->groupTree, dd->perm);
    }
    return result;
}

int tarnReorderGroupRange(DdManager *dd, MtrNode *group, int method) {
    int low, high;
    if (!groupRange(dd, group, &low, &high)) return 1;
    int result = 1;
    if (!(group->flags & MTR_FIXED)) {
        switch (method) {
            case TARN_REORDER_RANDOM:
            case TARN_REORDER_SIFT:
            case TARN_REORDER_SIFT_CONVERGE:
            case TARN_REORDER_WINDOW2:
            case TARN_REORDER_WINDOW3:
            case TARN_REORDER_WINDOW2_CONVERGE:
            case TARN_REORDER_WINDOW3_CONVERGE:
            case TARN_REORDER_GROUP_SIFT: break;
            default: return 0;
        }
        // A single level (a group clipped at the last variable) has nothing to reorder; the
        // windows would refuse it and fail the whole reordering.
        if (low < high) result = runMethod(dd, low, high, method);
    }
    tarnLinkGroup(dd, group, low, high);
    return result;
}

void tarnLinkGroup(DdManager *dd, MtrNode *group, int low, int high) {
    const bool isRoot = group->parent == nullptr;
    if (!isRoot) {
        for (int l = low; l < high; l++) dd->subtables[l].symmetryNext = static_cast<unsigned>(l + 1);
        dd->subtables[high].symmetryNext = static_cast<unsigned>(low);
    }
    const uint32_t oldIndex = group->index;
    const auto newIndex = static_cast<uint32_t>(dd->invperm[low]);
    group->index = newIndex;
    for (MtrNode *a = group->parent; a != nullptr && a->index == oldIndex; a = a->parent) {
        a->index = newIndex;
    }
}

int Tarn_SetOrder(DdManager *dd, const int *order) {
    const int n = dd->size;
    if (n <= 0) return 1;
    // an order must name every variable once
    std::vector<int> pos(static_cast<size_t>(n), -1);
    bool same = true;
    for (int l = 0; l < n; l++) {
        if (order[l] < 0 || order[l] >= n || pos[order[l]] != -1) {
            dd->errorCode = TARN_INVALID_ARGUMENT;
            return 0;
        }
        pos[order[l]] = l;
        if (dd->invperm[l] != order[l]) same = false;
    }
    if (same) return 1;

    if (!tarnPrepareReordering(dd)) {
        tarnFreeInteraction(dd);
        return 0;
    }
    dd->peakLiveNodes = std::max(dd->peakLiveNodes, dd->keys);
    if (dd->groupTree != nullptr) {
        if (!groupsKeptTogether(dd, dd->groupTree, pos, order, false)) {
            tarnFreeInteraction(dd);
            return 0;
        }
        groupsKeptTogether(dd, dd->groupTree, pos, order, true);
    }

    int result = 1;
    dd->swapCount = 0;
    for (int l = 0; l < n && result != 0; l++) {
        for (int j = dd->perm[order[l]] - 1; j >= l; j--) {
            if (tarnSwapInPlace(dd, j, j + 1) == 0) {
                result = 0;
                break;
            }
        }
    }
    tarnFreeInteraction(dd);
    // the groups took the indices of their new first variables: sort the siblings again
    if (dd->groupTree != nullptr) Mtr_ResortGroups(dd->groupTree, dd->perm);
    return result;
}

// ---- report hooks --------------------------------------------------------------------------------

int tarnReportBefore(DdManager *dd, const char *kind, void *method) {
    const int code = static_cast<int>(reinterpret_cast<intptr_t>(method));
    if (fprintf(dd->out, "%s reordering with ", kind) < 0) return 0;
    const char *words = methodWords(code);
    if (words == nullptr) return 0;
    if (isConverging(code) && fprintf(dd->out, "converging ") < 0) return 0;
    if (fprintf(dd->out, "%s", words) < 0) return 0;
    const long count = strcmp(kind, "BDD") == 0
                           ? static_cast<long>(Tarn_ReadNodeCount(dd))
                           : static_cast<long>(dd->keysZ) - static_cast<long>(dd->deadZ) + 2;
    if (fprintf(dd->out, ": from %ld to ... ", count) < 0) return 0;
    fflush(dd->out);
    return 1;
}

int tarnReportAfter(DdManager *dd, const char *kind, void *start) {
    const auto begin = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(start));
    const long count = strcmp(kind, "BDD") == 0
                           ? static_cast<long>(Tarn_ReadNodeCount(dd))
                           : static_cast<long>(dd->keysZ) - static_cast<long>(dd->deadZ) + 2;
    const double seconds = (util_cpu_time_ms() - begin) / 1000.0;
    if (fprintf(dd->out, "%ld nodes in %g sec\n", count, seconds) < 0) return 0;
    fflush(dd->out);
    return 1;
}

namespace {
bool hookPresent(DdHook *hook, DD_HFP f) {
    for (; hook != nullptr; hook = hook->next) {
        if (hook->f == f) return true;
    }
    return false;
}
}  // namespace

int Tarn_EnableReorderReport(DdManager *dd) {
    if (!Tarn_AddHook(dd, tarnReportBefore, TARN_PRE_REORDERING_HOOK)) return 0;
    if (!Tarn_AddHook(dd, tarnReportAfter, TARN_POST_REORDERING_HOOK)) return 0;
    return 1;
}

int Tarn_DisableReorderReport(DdManager *dd) {
    if (!Tarn_RemoveHook(dd, tarnReportBefore, TARN_PRE_REORDERING_HOOK)) return 0;
    return Tarn_RemoveHook(dd, tarnReportAfter, TARN_POST_REORDERING_HOOK);
}

int Tarn_ReorderReportOn(DdManager *dd) {
    return hookPresent(dd->reorderHooksBefore, tarnReportBefore) ? 1 : 0;
}

// ---- random generator ------------------------------------------------------------------------------

namespace {
constexpr int64_t kModulus1 = 2147483563;
constexpr int64_t kModulus2 = 2147483399;

inline int32_t stepGenerator1(int32_t s) {
    int64_t v = 40014 * static_cast<int64_t>(s) - (s / 53668) * kModulus1;
    if (v < 0) v += kModulus1;
    return static_cast<int32_t>(v);
}
inline int32_t stepGenerator2(int32_t s) {
    int64_t v = 40692 * static_cast<int64_t>(s) - (s / 52774) * kModulus2;
    if (v < 0) v += kModulus2;
    return static_cast<int32_t>(v);
}
}  // namespace

int32_t Tarn_NextRandom(DdManager *dd) {
    if (dd->randomState1 == 0) {
        dd->randomState1 = 1;
        dd->randomState2 = 1;
        for (int k = 0; k < 75; k++) {
            dd->randomState1 = stepGenerator1(dd->randomState1);
            dd->randomTable[k % 64] = dd->randomState1;
        }
        dd->randomSelector = dd->randomTable[1];
    }
    dd->randomState1 = stepGenerator1(dd->randomState1);
    dd->randomState2 = stepGenerator2(dd->randomState2);
    const int i = dd->randomSelector / 33554431;
    dd->randomSelector = dd->randomTable[i] - dd->randomState2;
    dd->randomTable[i] = dd->randomState1;
    if (dd->randomSelector <= 0) dd->randomSelector += 2147483562;
    return dd->randomSelector - 1;
}
