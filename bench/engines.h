// The two engines behind one interface, so that every workload runs the same operations in the
// same order on both. Every node a workload holds carries one reference: the functions that return
// a node have taken it, and release() gives it back.
//
// Table and cache sizes, chosen so that both engines work in the same memory (the same for every
// workload):
//   tarn   Tarn_Init(numVars, 0, 256, 262144, 0): 256 buckets per level, room for 1024 nodes per
//          level before a subtable grows; a computed table of 262144 entries, held there by
//          Tarn_SetCacheHardLimit (it may still double once, when the unique table is large from
//          the start); the unique table collects as soon as its dead nodes outnumber its buckets
//          instead of first growing freely (Tarn_SetFastGrowthLimit at the initial bucket count),
//          which keeps it near the live nodes, as BuDDy's table is kept.
//   BuDDy  bdd_init(1024 * numVars, 262144): the same initial node room and 262144 entries in
//          each operation cache, which stay at that size; the node table collects when it is full
//          and grows when a collection frees less than a fifth of it, by up to 2^26 nodes at once.
#pragma once

#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <unordered_map>
#include <vector>

#include "tarn/tarn.h"
#ifdef TARN_BENCH_HAVE_BUDDY
#include "buddy_shim.h"
#endif

namespace bench {

[[noreturn]] inline void fail(const char *what) {
    fprintf(stderr, "ddbench: %s\n", what);
    exit(2);
}

constexpr unsigned kSlotsPerLevel = 256;
constexpr unsigned kCacheEntries = 262144;

// Satisfying assignments of f over the variables whose entry of countedByLevel is set (indexed by
// level); the other variables must not occur in f. level(g) is the level of a handle's node
// (countedByLevel.size() for the constants), children(g) its two cofactors as handles, truth(g)
// the value of a constant handle. Each handle is counted on its own, so no count is ever
// subtracted from a power of two: every partial count that reaches the result is a term of it, and
// the result is exact below 2^64 (and within rounding above).
template <class Node, class Level, class Children, class Truth>
long double countAssignments(Node f, const std::vector<bool> &countedByLevel, Level level,
                             Children children, Truth truth) {
    // countedFrom[l]: counted levels at or below l.
    std::vector<int> countedFrom(countedByLevel.size() + 1, 0);
    for (size_t l = countedByLevel.size(); l-- > 0;) {
        countedFrom[l] = countedFrom[l + 1] + (countedByLevel[l] ? 1 : 0);
    }
    std::unordered_map<Node, long double> memo;
    // Assignments of the counted levels at or below g's level that satisfy g.
    auto below = [&](auto &&self, Node g) -> long double {
        const int l = level(g);
        if (l == static_cast<int>(countedByLevel.size())) return truth(g) ? 1.0L : 0.0L;
        if (auto it = memo.find(g); it != memo.end()) return it->second;
        if (!countedByLevel[static_cast<size_t>(l)]) {
            fail("count: the diagram depends on an uncounted variable");
        }
        long double value = 0;
        for (Node child : children(g)) {
            // counted levels skipped between g and the child
            const int gap = countedFrom[static_cast<size_t>(l) + 1] -
                            countedFrom[static_cast<size_t>(level(child))];
            value += std::ldexp(self(self, child), gap);
        }
        memo.emplace(g, value);
        return value;
    };
    return std::ldexp(below(below, f), countedFrom[0] - countedFrom[static_cast<size_t>(level(f))]);
}

class TarnEngine {
public:
    using Node = DdNode *;
    static constexpr const char *kName = "tarn";

    explicit TarnEngine(int numVars) : numVars_(numVars) {
        dd_ = Tarn_Init(static_cast<unsigned>(numVars), 0, kSlotsPerLevel, kCacheEntries, 0);
        if (dd_ == nullptr) fail("tarn: cannot create the manager");
        Tarn_SetCacheHardLimit(dd_, kCacheEntries);
        Tarn_SetFastGrowthLimit(dd_, kSlotsPerLevel * static_cast<unsigned>(numVars));
    }
    // The manager as initialize0(nodenum, cachesize) leaves it for a Java user: no variables at
    // first, both limits derived from the machine's memory, then the variables made one by one.
    struct JavaDefaults {
        unsigned nodenum;
        unsigned cachesize;
    };
    TarnEngine(int numVars, JavaDefaults settings) : numVars_(numVars) {
        dd_ = Tarn_Init(0, 0, settings.nodenum, settings.cachesize, 0);
        if (dd_ == nullptr) fail("tarn: cannot create the manager");
        Tarn_SetFastGrowthLimit(dd_, 0);
        Tarn_SetCacheHardLimit(dd_, 0);
        Tarn_SetKeysPerSlot(dd_, 0);
        Tarn_SetCacheSoftFactor(dd_, 0);
        for (int i = 0; i < numVars; i++) {
            if (Tarn_BddNewVar(dd_) == nullptr) fail("tarn: cannot create a variable");
        }
    }
    ~TarnEngine() { Tarn_Quit(dd_); }
    TarnEngine(const TarnEngine &) = delete;
    TarnEngine &operator=(const TarnEngine &) = delete;

    Node one() { return keep(Tarn_ReadOne(dd_)); }
    Node zero() { return keep(Tarn_ReadLogicZero(dd_)); }
    Node var(int i) { return keep(Tarn_BddIthVar(dd_, i)); }
    Node nvar(int i) { return keep(Tarn_Not(Tarn_BddIthVar(dd_, i))); }
    Node conj(Node a, Node b) { return keep(Tarn_BddAnd(dd_, a, b)); }
    Node disj(Node a, Node b) { return keep(Tarn_BddOr(dd_, a, b)); }
    Node nand(Node a, Node b) { return keep(Tarn_BddNand(dd_, a, b)); }
    Node diff(Node a, Node b) { return keep(Tarn_BddAnd(dd_, a, Tarn_Not(b))); }
    Node biimp(Node a, Node b) { return keep(Tarn_BddXnor(dd_, a, b)); }
    Node relprod(Node a, Node b, Node cube) { return keep(Tarn_BddAndAbstract(dd_, a, b, cube)); }
    void release(Node f) { Tarn_DeferredDerefBdd(dd_, f); }
    bool isZero(Node f) const { return f == Tarn_ReadLogicZero(dd_); }

    Node cube(const std::vector<int> &vars) {
        Node c = one();
        for (auto it = vars.rbegin(); it != vars.rend(); ++it) {
            Node v = var(*it);
            Node next = conj(v, c);
            release(v);
            release(c);
            c = next;
        }
        return c;
    }

    // A renaming that exchanges from[i] and to[i]; the other variables stay.
    struct Renaming {
        std::vector<int> permutation;
    };
    Renaming renaming(const std::vector<int> &from, const std::vector<int> &to) {
        Renaming r;
        r.permutation.resize(static_cast<size_t>(numVars_));
        for (int i = 0; i < numVars_; i++) r.permutation[static_cast<size_t>(i)] = i;
        for (size_t k = 0; k < from.size(); k++) {
            r.permutation[static_cast<size_t>(from[k])] = to[k];
            r.permutation[static_cast<size_t>(to[k])] = from[k];
        }
        return r;
    }
    void dropRenaming(Renaming &) {}
    Node rename(Node f, Renaming &r) { return keep(Tarn_BddPermute(dd_, f, r.permutation.data())); }

    // Satisfying assignments over all variables, or over those whose entry of byIndex is set.
    long double countAll(Node f) {
        noteCounted(f);
        return Tarn_CountMinterms(dd_, f, numVars_);
    }
    long double countOver(Node f, const std::vector<bool> &byIndex) {
        noteCounted(f);
        std::vector<bool> byLevel(static_cast<size_t>(numVars_));
        for (int i = 0; i < numVars_; i++) {
            byLevel[static_cast<size_t>(Tarn_ReadPerm(dd_, i))] = byIndex[static_cast<size_t>(i)];
        }
        auto level = [this](Node g) {
            return Tarn_IsConstant(g) ? numVars_
                                      : Tarn_ReadPerm(dd_, static_cast<int>(Tarn_ReadNodeIndex(g)));
        };
        auto children = [](Node g) {
            const bool c = Tarn_IsComplement(g);
            return std::array<Node, 2>{Tarn_NotCond(Tarn_Then(g), c),
                                       Tarn_NotCond(Tarn_Else(g), c)};
        };
        auto truth = [](Node g) { return !Tarn_IsComplement(g); };
        return countAssignments(f, byLevel, level, children, truth);
    }

    // Reordering: order[level] = variable; sifting now; automatic sifting on or off; the internal
    // nodes of f (tarn shares a node and its complement, the peer does not).
    void setOrder(const std::vector<int> &order) {
        if (!Tarn_SetOrder(dd_, order.data())) fail("tarn: cannot set the order");
    }
    void sift() {
        if (!Tarn_Reorder(dd_, TARN_REORDER_SIFT, 0)) fail("tarn: sifting failed");
    }
    void autoSift(bool on) {
        if (on) {
            Tarn_EnableAutoReorder(dd_, TARN_REORDER_SIFT);
        } else {
            Tarn_DisableAutoReorder(dd_);
        }
    }
    long nodeCount(Node f) { return Tarn_DagSize(f) - 1; }
    // When asked, the internal nodes of the last diagram counted (a workload's final result).
    bool noteCountedNodes = false;
    long countedNodes = -1;

private:
    DdManager *dd_;
    int numVars_;

    void noteCounted(Node f) {
        if (noteCountedNodes) countedNodes = nodeCount(f);
    }

    Node keep(Node r) {
        if (r == nullptr) {
            fprintf(stderr, "ddbench: tarn operation failed, error code %d\n",
                    Tarn_ReadErrorCode(dd_));
            exit(2);
        }
        Tarn_Ref(r);
        return r;
    }
};

// tarn at the settings initialize0(256, 4194304) leaves in force, the C++ twin of the Java driver.
class TarnDefaultsEngine : public TarnEngine {
public:
    static constexpr const char *kName = "tarn-defaults";
    explicit TarnDefaultsEngine(int numVars) : TarnEngine(numVars, JavaDefaults{256, 4194304}) {}
};

#ifdef TARN_BENCH_HAVE_BUDDY
class BuddyEngine {
public:
    using Node = int;
    static constexpr const char *kName = "buddy";

    explicit BuddyEngine(int numVars) {
        if (bb_init(1024 * numVars, static_cast<int>(kCacheEntries), numVars) != 0) {
            fail("buddy: cannot start");
        }
    }
    ~BuddyEngine() { bb_done(); }
    BuddyEngine(const BuddyEngine &) = delete;
    BuddyEngine &operator=(const BuddyEngine &) = delete;

    Node one() { return bb_true(); }
    Node zero() { return bb_false(); }
    Node var(int i) { return bb_ithvar(i); }
    Node nvar(int i) { return bb_nithvar(i); }
    Node conj(Node a, Node b) { return bb_and(a, b); }
    Node disj(Node a, Node b) { return bb_or(a, b); }
    Node nand(Node a, Node b) { return bb_nand(a, b); }
    Node diff(Node a, Node b) { return bb_diff(a, b); }
    Node biimp(Node a, Node b) { return bb_biimp(a, b); }
    Node relprod(Node a, Node b, Node cube) { return bb_relprod(a, b, cube); }
    void release(Node f) { bb_release(f); }
    bool isZero(Node f) const { return f == bb_false(); }
    Node cube(const std::vector<int> &vars) {
        return bb_makeset(vars.data(), static_cast<int>(vars.size()));
    }

    struct Renaming {
        void *pair;
    };
    Renaming renaming(const std::vector<int> &from, const std::vector<int> &to) {
        std::vector<int> a(from), b(to);
        a.insert(a.end(), to.begin(), to.end());
        b.insert(b.end(), from.begin(), from.end());
        return Renaming{bb_newpair(a.data(), b.data(), static_cast<int>(a.size()))};
    }
    void dropRenaming(Renaming &r) { bb_freepair(r.pair); }
    Node rename(Node f, Renaming &r) { return bb_replace(f, r.pair); }

    long double countAll(Node f) {
        noteCounted(f);
        return bb_satcount(f);
    }
    // The peer's own set count works in doubles over all variables first and overflows beyond
    // about 1000 variables; the walk of the tarn side serves both.
    long double countOver(Node f, const std::vector<bool> &byIndex) {
        noteCounted(f);
        std::vector<bool> byLevel(byIndex.size());
        for (size_t i = 0; i < byIndex.size(); i++) {
            byLevel[static_cast<size_t>(bb_var_level(static_cast<int>(i)))] = byIndex[i];
        }
        auto children = [](Node g) { return std::array<Node, 2>{bb_high(g), bb_low(g)}; };
        return countAssignments(f, byLevel, bb_level, children, bb_is_true);
    }

    void setOrder(const std::vector<int> &order) { bb_setorder(order.data()); }
    void sift() { bb_sift(); }
    void autoSift(bool on) { bb_autosift(on ? 1 : 0); }
    long nodeCount(Node f) { return bb_nodecount(f); }
    bool noteCountedNodes = false;
    long countedNodes = -1;

private:
    void noteCounted(Node f) {
        if (noteCountedNodes) countedNodes = nodeCount(f);
    }
};
#endif

}  // namespace bench
