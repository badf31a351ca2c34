// The manager's variable group tree: making a group, dropping the tree, printing the order with
// its groups.
#include <algorithm>

#include "../mtr/mtr.h"
#include "tarnInt.h"

MtrNode *Tarn_MakeTreeNode(DdManager *dd, unsigned low, unsigned size, unsigned flags) {
    const auto n = static_cast<unsigned>(dd->size);
    const unsigned level = low < n ? static_cast<unsigned>(dd->perm[low]) : low;
    if (static_cast<int32_t>(level + size - 1) < 0) return nullptr;

    if (dd->groupTree == nullptr) {
        dd->groupTree = Mtr_CreateTree(0, n);
        if (dd->groupTree == nullptr) return nullptr;
        dd->groupTree->index = n > 0 ? static_cast<uint32_t>(dd->invperm[0]) : 0;
    }
    MtrNode *root = dd->groupTree;
    root->size = std::max({root->size, n, level + size});
    MtrNode *group = Mtr_AddGroup(root, level, size, flags);
    if (group == nullptr) return nullptr;
    group->index = low;
    return group;
}

void Tarn_FreeTree(DdManager *dd) {
    if (dd->groupTree != nullptr) {
        Mtr_DestroyTree(dd->groupTree);
        dd->groupTree = nullptr;
    }
}

int Tarn_PrintGroupedOrder(DdManager *dd, const char *kind, void *) {
    const bool zdd = strcmp(kind, "ZDD") == 0;
    MtrNode *tree = zdd ? dd->groupTreeZ : dd->groupTree;
    const int *invperm = zdd ? dd->invpermZ : dd->invperm;
    const int n = zdd ? dd->sizeZ : dd->size;
    if (tree != nullptr) return Mtr_WriteGroups(tree, invperm, dd->out);
    for (int level = 0; level < n; level++) {
        if (fprintf(dd->out, "%c%d", level == 0 ? '(' : ',', invperm[level]) < 0) return 0;
    }
    return fprintf(dd->out, ")\n") < 0 ? 0 : 1;
}
