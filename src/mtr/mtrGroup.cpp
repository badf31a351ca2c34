#include "mtr.h"

#include "../util/util.h"

void Mtr_DestroyTree(MtrNode *node) {
    while (node != nullptr) {
        if (!(node->flags & MTR_TERMINAL) && node->child != nullptr) Mtr_DestroyTree(node->child);
        MtrNode *younger = node->younger;
        util_free(node);
        node = younger;
    }
}
