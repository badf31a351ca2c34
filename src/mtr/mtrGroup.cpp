// The variable group tree: creation, insertion of a group, release, re-sorting after reordering and
// printing.
#include <cstdlib>

#include "../util/util.h"
#include "mtr.h"

namespace {

MtrNode *newNode(uint32_t low, uint32_t size, uint32_t flags) {
    auto *node = static_cast<MtrNode *>(util_malloc(sizeof(MtrNode)));
    if (node == nullptr) return nullptr;
    *node = MtrNode{flags, low, size, 0, nullptr, nullptr, nullptr, nullptr};
    return node;
}

inline uint32_t endOf(const MtrNode *n) { return n->low + n->size; }

// The printer's checks of one group: its links, its place inside its parent and its flags. A
// malformed tree is a programming error; the process stops.
void checkWellFormed(const MtrNode *root) {
    bool ok = (root->flags & MTR_TERMINAL) == 0 &&
              (root->flags & ~(MTR_SOFT | MTR_FIXED | MTR_NEWNODE)) == 0;
    if (root->child != nullptr && root->child->parent != root) ok = false;
    if (root->younger != nullptr && root->younger->elder != root) ok = false;
    if (root->elder != nullptr && root->elder->younger != root) ok = false;
    if (root->parent != nullptr &&
        (root->low < root->parent->low || endOf(root) > endOf(root->parent))) {
        ok = false;
    }
    if (root->younger != nullptr && endOf(root) > root->younger->low) ok = false;
    if (!ok) abort();
}

}  // namespace

MtrNode *Mtr_CreateTree(uint32_t low, uint32_t size) { return newNode(low, size, 0); }

MtrNode *Mtr_AddGroup(MtrNode *root, uint32_t low, uint32_t size, uint32_t flags) {
    const uint32_t end = low + size;
    // a range that wraps around the 32-bit positions is no group
    if (size == 0 || end < low || low < root->low || end > endOf(root)) return nullptr;

    if (root->child == nullptr) {
        MtrNode *node = newNode(low, size, flags);
        if (node == nullptr) return nullptr;
        node->parent = root;
        root->child = node;
        return node;
    }

    // the first child that ends after low
    MtrNode *c = root->child;
    MtrNode *previous = nullptr;
    while (c != nullptr && endOf(c) <= low) {
        previous = c;
        c = c->younger;
    }
    if (c == nullptr) {
        MtrNode *node = newNode(low, size, flags);
        if (node == nullptr) return nullptr;
        node->parent = root;
        node->elder = previous;
        previous->younger = node;
        return node;
    }

    if (low >= c->low && end <= endOf(c)) return Mtr_AddGroup(c, low, size, flags);

    if (end <= c->low) {
        MtrNode *node = newNode(low, size, flags);
        if (node == nullptr) return nullptr;
        node->parent = root;
        node->elder = c->elder;
        node->younger = c;
        if (c->elder != nullptr) {
            c->elder->younger = node;
        } else {
            root->child = node;
        }
        c->elder = node;
        return node;
    }

    if ((low < c->low && end < endOf(c)) || low > c->low) return nullptr;

    // the group starts at or before c and covers it: adopt c and the siblings it covers
    MtrNode *last = c;
    while (last->younger != nullptr && endOf(last->younger) <= end) last = last->younger;
    if (last->younger != nullptr && last->younger->low < end) return nullptr;

    MtrNode *node = newNode(low, size, flags);
    if (node == nullptr) return nullptr;
    node->parent = root;
    node->elder = c->elder;
    node->younger = last->younger;
    if (c->elder != nullptr) {
        c->elder->younger = node;
    } else {
        root->child = node;
    }
    if (last->younger != nullptr) last->younger->elder = node;
    node->child = c;
    c->elder = nullptr;
    last->younger = nullptr;
    for (MtrNode *k = c; k != nullptr; k = k->younger) k->parent = node;
    return node;
}

void Mtr_DestroyTree(MtrNode *node) {
    while (node != nullptr) {
        if (!(node->flags & MTR_TERMINAL) && node->child != nullptr) Mtr_DestroyTree(node->child);
        MtrNode *younger = node->younger;
        util_free(node);
        node = younger;
    }
}

void Mtr_ResortGroups(MtrNode *first, const int *perm) {
    first->low = static_cast<uint32_t>(perm[first->index]);
    if (first->child != nullptr) Mtr_ResortGroups(first->child, perm);

    MtrNode *s = first->younger;
    while (s != nullptr) {
        MtrNode *following = s->younger;
        s->low = static_cast<uint32_t>(perm[s->index]);
        if (s->child != nullptr) Mtr_ResortGroups(s->child, perm);
        // insertion: move s back past every elder sibling with a greater low
        MtrNode *before = s->elder;
        if (before->low > s->low) {
            // unlink s
            before->younger = s->younger;
            if (s->younger != nullptr) s->younger->elder = before;
            while (before != nullptr && before->low > s->low) before = before->elder;
            if (before == nullptr) {
                s->elder = nullptr;
                s->younger = first;
                first->elder = s;
                first = s;
            } else {
                s->elder = before;
                s->younger = before->younger;
                before->younger->elder = s;
                before->younger = s;
            }
        }
        s = following;
    }
    if (first->parent != nullptr) first->parent->child = first;
}

int Mtr_WriteGroups(MtrNode *root, const int *invperm, FILE *fp) {
    checkWellFormed(root);
    if (fprintf(fp, "(") == EOF) return 0;
    const uint32_t end = endOf(root);
    uint32_t a = root->low;
    for (MtrNode *c = root->child; c != nullptr; c = c->younger) {
        checkWellFormed(c);
        while (a < c->low) {
            if (fprintf(fp, "%d%s", invperm[a], a < end - 1 ? "," : "") == EOF) return 0;
            a++;
        }
        if (!Mtr_WriteGroups(c, invperm, fp)) return 0;
        a += c->size;
        // a comma whenever anything follows the group, also a single last variable
        if (a < end && fprintf(fp, ",") == EOF) return 0;
    }
    while (a < end) {
        if (fprintf(fp, "%d%s", invperm[a], a < end - 1 ? "," : "") == EOF) return 0;
        a++;
    }
    if (root->flags != 0) {
        if (fprintf(fp, "|") == EOF) return 0;
        if ((root->flags & MTR_FIXED) && fprintf(fp, "F") == EOF) return 0;
        if ((root->flags & MTR_NEWNODE) && fprintf(fp, "N") == EOF) return 0;
        if ((root->flags & MTR_SOFT) && fprintf(fp, "S") == EOF) return 0;
    }
    if (fprintf(fp, ")") == EOF) return 0;
    if (root->parent == nullptr && fprintf(fp, "\n") == EOF) return 0;
    return 1;
}
