// The variable group tree: nested runs of consecutive levels that reordering keeps together.
#pragma once

#include <cstdint>
#include <cstdio>

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

// A lone node covering [low, low + size) without flags or links; null without memory.
MtrNode *Mtr_CreateTree(uint32_t low, uint32_t size);

// Makes the group [low, low + size) with the given flags in the tree under root: inside the
// innermost group that contains it, adopting the groups it covers. Null when the group is empty,
// does not fit in root, would cut an existing group, or memory runs out.
MtrNode *Mtr_AddGroup(MtrNode *root, uint32_t low, uint32_t size, uint32_t flags);

// Frees node, its younger siblings and (unless it is terminal) its children.
void Mtr_DestroyTree(MtrNode *node);

// Recomputes every low from index through the index-to-level map perm, for the sibling list that
// starts at first and everything below it, and sorts each sibling list by low again.
void Mtr_ResortGroups(MtrNode *first, const int *perm);

// Prints the tree as nested parentheses of the variables at its levels (invperm maps levels to
// variables), with the flags of each group after a bar. Ends the process on a malformed tree; 0
// when a write fails.
int Mtr_WriteGroups(MtrNode *root, const int *invperm, FILE *fp);
