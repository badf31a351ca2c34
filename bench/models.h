// Two asynchronous models as lists of guarded transitions over state bits, their reachable-state
// counts in closed form, and an explicit-state search that confirms the closed forms at small
// sizes.
#pragma once

#include <cmath>
#include <cstdint>
#include <unordered_set>
#include <vector>

namespace bench {

struct Literal {
    int bit;
    int value;  // 0 or 1
};

// Fires when every guard literal holds; sets the assigned bits and keeps all others.
struct Transition {
    std::vector<Literal> guard;
    std::vector<Literal> assign;
};

struct Model {
    int bits = 0;
    std::vector<Transition> transitions;
    std::vector<int> initiallySet;  // bits that are 1 in the single initial state
    bool initialBit(int s) const {
        for (int b : initiallySet) {
            if (b == s) return true;
        }
        return false;
    }
};

// Milner's cyclic scheduler with n cyclers passing one token around a ring. Cycler i has three
// bits: c (it holds the token and may start its task), t (its task runs), h (it has started and
// must pass the token on). Cycler i starts when it holds the token and its task is idle, passes
// the token to cycler i + 1 (mod n), and its task ends on its own. Cycler 0 holds the token first.
inline Model milner(int n) {
    Model m;
    m.bits = 3 * n;
    auto c = [](int i) { return 3 * i; };
    auto t = [](int i) { return 3 * i + 1; };
    auto h = [](int i) { return 3 * i + 2; };
    for (int i = 0; i < n; i++) {
        m.transitions.push_back({{{c(i), 1}, {t(i), 0}}, {{c(i), 0}, {t(i), 1}, {h(i), 1}}});
        m.transitions.push_back({{{h(i), 1}}, {{h(i), 0}, {c((i + 1) % n), 1}}});
        m.transitions.push_back({{{t(i), 1}}, {{t(i), 0}}});
    }
    m.initiallySet = {c(0)};
    return m;
}

// The token is at one of 2n places (c or h of some cycler) and every task may run or not.
inline long double milnerStates(int n) { return 2.0L * n * std::ldexp(1.0L, n); }

// n dining philosophers around a table with n forks; fork i lies between philosopher i - 1 and
// philosopher i. Philosopher i has two bits: l (holds fork i, its left) and r (holds fork i + 1,
// its right). A philosopher takes the free left fork, then the free right fork, eats, and puts
// both down. All start thinking with no fork.
inline Model philosophers(int n) {
    Model m;
    m.bits = 2 * n;
    auto l = [](int i) { return 2 * i; };
    auto r = [](int i) { return 2 * i + 1; };
    for (int i = 0; i < n; i++) {
        const int before = (i + n - 1) % n, after = (i + 1) % n;
        m.transitions.push_back({{{l(i), 0}, {r(before), 0}}, {{l(i), 1}}});
        m.transitions.push_back({{{l(i), 1}, {r(i), 0}, {l(after), 0}}, {{r(i), 1}}});
        m.transitions.push_back({{{l(i), 1}, {r(i), 1}}, {{l(i), 0}, {r(i), 0}}});
    }
    return m;
}

// A philosopher holds nothing, the left fork, or both; a fork is held by at most one of its two
// neighbours. Counting those rings is the trace of the n-th power of the transfer matrix between
// neighbours (no "both" followed by a neighbour that holds its left fork).
inline long double philosopherStates(int n) {
    using Count = long double;
    const Count step[3][3] = {{1, 1, 1}, {1, 1, 1}, {1, 0, 0}};
    Count power[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
    for (int k = 0; k < n; k++) {
        Count next[3][3] = {};
        for (int a = 0; a < 3; a++) {
            for (int b = 0; b < 3; b++) {
                for (int c = 0; c < 3; c++) next[a][c] += power[a][b] * step[b][c];
            }
        }
        for (int a = 0; a < 3; a++) {
            for (int c = 0; c < 3; c++) power[a][c] = next[a][c];
        }
    }
    return static_cast<long double>(power[0][0] + power[1][1] + power[2][2]);
}

// Reachable states by explicit breadth-first search (at most 63 bits).
inline long double explicitStates(const Model &m) {
    uint64_t initial = 0;
    for (int b : m.initiallySet) initial |= uint64_t{1} << b;
    std::unordered_set<uint64_t> seen{initial};
    std::vector<uint64_t> frontier{initial};
    while (!frontier.empty()) {
        std::vector<uint64_t> next;
        for (uint64_t s : frontier) {
            for (const Transition &t : m.transitions) {
                bool enabled = true;
                for (const Literal &g : t.guard) {
                    enabled = enabled && ((s >> g.bit) & 1) == uint64_t(g.value);
                }
                if (!enabled) continue;
                uint64_t to = s;
                for (const Literal &a : t.assign) {
                    to = (to & ~(uint64_t{1} << a.bit)) | (uint64_t(a.value) << a.bit);
                }
                if (seen.insert(to).second) next.push_back(to);
            }
        }
        frontier.swap(next);
    }
    return static_cast<long double>(seen.size());
}

}  // namespace bench
