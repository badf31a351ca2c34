// Dynamic reordering side by side with the peer's sifting, one run per process:
//
//   reorderbench ENGINE WORKLOAD SIZE    ENGINE: tarn or buddy
//     comparator N     a = b for two N-bit words built in the blocked order (a0..aN-1, b0..bN-1)
//                      with automatic sifting on from the start
//     sift N           the same comparator built without reordering, then sifted once; only the
//                      sifting is timed
//     queens N         N-queens with the squares in a shuffled order (fixed seed), automatic
//                      sifting on
//     milner N, philosophers N
//                      breadth-first reachability (ddbench's models) with automatic sifting on
//     milner-blocked N, philosophers-blocked N
//                      the same runs from a poor order, every current variable above every next
//                      variable, so that both engines must reorder
//   reorderbench smoke  every workload at a small size on every engine, answers checked
//
// A run prints: engine workload size milliseconds final-nodes count expected; it exits 1 when the
// count is wrong. Final nodes are the internal nodes of the workload's result (the comparator, the
// board, the reached set); tarn shares a node with its complement, so its counts can be lower.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

#include "engines.h"
#include "workloads.h"

namespace {

using namespace bench;
using Clock = std::chrono::steady_clock;

constexpr long double kQueensSolutions[] = {1,  1,   0,   0,    2,     10,    4,     40,
                                            92, 352, 724, 2680, 14200, 73712, 365596};

struct Result {
    double ms;
    long nodes;
    long double count;
    long double expected;
};

double since(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

template <class E>
typename E::Node equalWords(E &e, int bits) {
    using Node = typename E::Node;
    Node acc = e.one();
    for (int i = bits - 1; i >= 0; i--) {
        Node a = e.var(i), b = e.var(bits + i);
        Node same = e.biimp(a, b);
        e.release(a);
        e.release(b);
        Node r = e.conj(acc, same);
        e.release(acc);
        e.release(same);
        acc = r;
    }
    return acc;
}

template <class E>
Result run(const std::string &workload, int n) {
    if (workload == "comparator" || workload == "sift") {
        E e(2 * n);
        const bool automatic = workload == "comparator";
        e.autoSift(automatic);
        auto start = Clock::now();
        auto f = equalWords(e, n);
        if (!automatic) {
            start = Clock::now();
            e.sift();
        }
        Result r{since(start), e.nodeCount(f), 0, std::ldexp(1.0L, n)};
        r.count = e.countAll(f);
        e.release(f);
        return r;
    }
    if (workload == "queens") {
        if (n < 1 || n >= static_cast<int>(std::size(kQueensSolutions))) fail("queens size");
        E e(n * n);
        std::vector<int> order(static_cast<size_t>(n * n));
        for (int i = 0; i < n * n; i++) order[static_cast<size_t>(i)] = i;
        std::shuffle(order.begin(), order.end(), std::mt19937(12345));
        e.setOrder(order);
        e.autoSift(true);
        e.noteCountedNodes = true;
        const auto start = Clock::now();
        const long double count = queens(e, n);
        return Result{since(start), e.countedNodes, count, kQueensSolutions[n]};
    }
    if (workload == "milner" || workload == "philosophers" || workload == "milner-blocked" ||
        workload == "philosophers-blocked") {
        const bool isMilner = workload.compare(0, 6, "milner") == 0;
        const Model m = isMilner ? milner(n) : philosophers(n);
        E e(2 * m.bits);
        if (workload.size() > 8 && workload.compare(workload.size() - 8, 8, "-blocked") == 0) {
            // every current variable (even) above every next variable (odd)
            std::vector<int> order;
            for (int v = 0; v < 2 * m.bits; v += 2) order.push_back(v);
            for (int v = 1; v < 2 * m.bits; v += 2) order.push_back(v);
            e.setOrder(order);
        }
        e.autoSift(true);
        e.noteCountedNodes = true;
        const auto start = Clock::now();
        const long double count = reachable(e, m);
        return Result{since(start), e.countedNodes, count,
                      isMilner ? milnerStates(n) : philosopherStates(n)};
    }
    fail("unknown workload (comparator, sift, queens, milner, philosophers, milner-blocked, "
         "philosophers-blocked)");
}

Result runOn(const std::string &engine, const std::string &workload, int n) {
    if (engine == TarnEngine::kName) return run<TarnEngine>(workload, n);
#ifdef TARN_BENCH_HAVE_BUDDY
    if (engine == BuddyEngine::kName) return run<BuddyEngine>(workload, n);
#endif
    fail("unknown or unavailable engine");
}

bool sameCount(long double got, long double want) {
    return std::fabs(got - want) <= 1e-12L * std::fmax(1.0L, want);
}

int single(const std::string &engine, const std::string &workload, int n) {
    const Result r = runOn(engine, workload, n);
    printf("%s %s %d %.1f %ld %.0Lf %.0Lf\n", engine.c_str(), workload.c_str(), n, r.ms, r.nodes,
           r.count, r.expected);
    return sameCount(r.count, r.expected) ? 0 : 1;
}

int smoke() {
    std::vector<std::string> engines{TarnEngine::kName};
#ifdef TARN_BENCH_HAVE_BUDDY
    engines.push_back(BuddyEngine::kName);
#endif
    const std::pair<const char *, int> runs[] = {
        {"comparator", 8}, {"sift", 8}, {"queens", 6}, {"milner", 4}, {"philosophers", 4},
        {"milner-blocked", 6}, {"philosophers-blocked", 6}};
    int failures = 0;
    for (const std::string &engine : engines) {
        for (const auto &[workload, n] : runs) {
            const Result r = runOn(engine, workload, n);
            if (!sameCount(r.count, r.expected)) {
                printf("FAIL %s %s %d: %.0Lf, expected %.0Lf\n", engine.c_str(), workload, n,
                       r.count, r.expected);
                failures++;
            }
        }
    }
    printf("%s: %zu engine(s), %d failure(s)\n", failures == 0 ? "ok" : "FAILED", engines.size(),
           failures);
    return failures == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char **argv) {
    if (argc == 2 && strcmp(argv[1], "smoke") == 0) return smoke();
    if (argc != 4) {
        fprintf(stderr, "usage: reorderbench ENGINE WORKLOAD SIZE | reorderbench smoke\n");
        return 2;
    }
    return single(argv[1], argv[2], atoi(argv[3]));
}
