// The variable group tree: nested runs of consecutive levels that reordering keeps together.
#pragma once

#include <cstdint>

constexpr uint32_t MTR_TERMINAL = 1;  // child is not a subtree: freeing does not descend into it
constexpr uint32_t MTR_SOFT = 2;
constexpr uint32_t MTR_FIXED = 4;  // the group's inside order is kept by reordering
constexpr uint32_t MTR_NEWNODE = 8;

struct MtrNode {
    uint32_t flags;
    uint32_t low;    // first level covered
    uint32_t size;   // number of levels covered
    uint32_t index;  // variable of the group's first level
    MtrNode *parent;
    MtrNode *child;
    MtrNode *elder;
    MtrNode *younger;
};

// Frees node, its younger siblings and (unless it is terminal) its children.
void Mtr_DestroyTree(MtrNode *node);
