// The workloads, written once for both engines: N-queens and breadth-first reachability over two
// asynchronous models (Milner's cyclic scheduler, the dining philosophers). Each returns the
// count it computed; the expected counts are closed forms (models.h), which the smoke test checks
// against an explicit-state search at small sizes.
#pragma once

#include <vector>

#include "models.h"

namespace bench {

// Places N queens on an N x N board, one variable per square (index row * N + column): at least
// one queen per row, and for every square, in row-major order, a queen there excludes every other
// square of its row, its column and its two diagonals. Returns the number of solutions.
template <class E>
long double queens(E &e, int n) {
    using Node = typename E::Node;
    auto square = [n](int row, int col) { return row * n + col; };
    auto andInto = [&e](Node &acc, Node x) {
        Node r = e.conj(acc, x);
        e.release(acc);
        e.release(x);
        acc = r;
    };

    Node board = e.one();
    for (int i = 0; i < n; i++) {
        Node row = e.zero();
        for (int j = 0; j < n; j++) {
            Node x = e.var(square(i, j));
            Node r = e.disj(row, x);
            e.release(row);
            e.release(x);
            row = r;
        }
        andInto(board, row);
    }

    for (int i = 0; i < n; i++) {
        for (int j = 0; j < n; j++) {
            Node here = e.var(square(i, j));
            // Not both here and at (k, l).
            auto exclude = [&](Node &acc, int k, int l) {
                Node other = e.var(square(k, l));
                andInto(acc, e.nand(here, other));
                e.release(other);
            };
            Node a = e.one(), b = e.one(), c = e.one(), d = e.one();
            for (int l = 0; l < n; l++) {
                if (l != j) exclude(a, i, l);
            }
            for (int k = 0; k < n; k++) {
                if (k != i) exclude(b, k, j);
            }
            for (int k = 0; k < n; k++) {
                const int l = k - i + j;
                if (k != i && l >= 0 && l < n) exclude(c, k, l);
            }
            for (int k = 0; k < n; k++) {
                const int l = i + j - k;
                if (k != i && l >= 0 && l < n) exclude(d, k, l);
            }
            e.release(here);
            andInto(a, b);
            andInto(a, c);
            andInto(a, d);
            andInto(board, a);
        }
    }
    const long double solutions = e.countAll(board);
    e.release(board);
    return solutions;
}

// Breadth-first reachable states of an asynchronous model. State bit s has the current variable
// 2s and the next variable 2s + 1 (interleaved order). The transition relation is one BDD, the
// disjunction of every transition with its frame; each step is a relational product with the
// frontier over the current variables followed by the renaming of next to current variables.
// Returns the number of reachable states.
template <class E>
long double reachable(E &e, const Model &m) {
    using Node = typename E::Node;
    auto cur = [](int s) { return 2 * s; };
    auto nxt = [](int s) { return 2 * s + 1; };
    auto literal = [&e](int var, bool value) { return value ? e.var(var) : e.nvar(var); };
    auto andInto = [&e](Node &acc, Node x) {
        Node r = e.conj(acc, x);
        e.release(acc);
        e.release(x);
        acc = r;
    };

    // Transition relation, each conjunction built from the bottom of the order up.
    Node relation = e.zero();
    for (const Transition &t : m.transitions) {
        std::vector<int> assigned(static_cast<size_t>(m.bits), -1);
        std::vector<int> guarded(static_cast<size_t>(m.bits), -1);
        for (const Literal &l : t.assign) assigned[static_cast<size_t>(l.bit)] = l.value;
        for (const Literal &l : t.guard) {
            int &g = guarded[static_cast<size_t>(l.bit)];
            g = (g == -1 || g == l.value) ? l.value : 2;  // 2: contradictory guard
        }
        Node step = e.one();
        for (int s = m.bits - 1; s >= 0; s--) {
            const int a = assigned[static_cast<size_t>(s)];
            if (a >= 0) {
                andInto(step, literal(nxt(s), a == 1));
            } else {
                Node x = e.var(cur(s)), y = e.var(nxt(s));
                andInto(step, e.biimp(x, y));
                e.release(x);
                e.release(y);
            }
            const int g = guarded[static_cast<size_t>(s)];
            if (g == 2) {
                andInto(step, e.zero());
            } else if (g >= 0) {
                andInto(step, literal(cur(s), g == 1));
            }
        }
        Node r = e.disj(relation, step);
        e.release(relation);
        e.release(step);
        relation = r;
    }

    std::vector<int> current, next;
    for (int s = 0; s < m.bits; s++) {
        current.push_back(cur(s));
        next.push_back(nxt(s));
    }
    Node currentCube = e.cube(current);
    auto toCurrent = e.renaming(next, current);

    Node reached = e.one();
    for (int s = m.bits - 1; s >= 0; s--) andInto(reached, literal(cur(s), m.initialBit(s)));
    Node frontier = e.conj(reached, reached);
    for (;;) {
        Node image = e.relprod(frontier, relation, currentCube);
        Node renamed = e.rename(image, toCurrent);
        e.release(image);
        Node fresh = e.diff(renamed, reached);
        e.release(renamed);
        e.release(frontier);
        if (e.isZero(fresh)) {
            e.release(fresh);
            break;
        }
        Node grown = e.disj(reached, fresh);
        e.release(reached);
        reached = grown;
        frontier = fresh;
    }

    std::vector<bool> counted(static_cast<size_t>(2 * m.bits), false);
    for (int v : current) counted[static_cast<size_t>(v)] = true;
    const long double states = e.countOver(reached, counted);
    e.release(reached);
    e.release(currentCube);
    e.release(relation);
    e.dropRenaming(toCurrent);
    return states;
}

}  // namespace bench
