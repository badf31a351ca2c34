// One benchmark run per process, so that the peak resident size belongs to that run alone:
//
//   ddbench ENGINE WORKLOAD SIZE   ENGINE: tarn, tarn-defaults or buddy; WORKLOAD: queens, milner, philosophers
//   ddbench smoke                  every workload at its smallest sizes on every engine, answers
//                                  checked, plus the closed forms against explicit search
//
// A run prints one line: engine workload size milliseconds peak-KiB count expected, and exits 1
// when the count is wrong.
#include <sys/resource.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "engines.h"
#include "workloads.h"

namespace {

using namespace bench;

// Solutions of the n-queens problem, n = 0..14.
constexpr long double kQueensSolutions[] = {1,  1,   0,   0,    2,     10,    4,     40,
                                            92, 352, 724, 2680, 14200, 73712, 365596};

long double expected(const std::string &workload, int n) {
    if (workload == "queens") {
        if (n < 1 || n >= static_cast<int>(std::size(kQueensSolutions))) {
            fail("queens size out of range");
        }
        return kQueensSolutions[n];
    }
    if (workload == "milner") return milnerStates(n);
    if (workload == "philosophers") return philosopherStates(n);
    fail("unknown workload (queens, milner, philosophers)");
}

template <class E>
long double run(const std::string &workload, int n) {
    if (workload == "queens") {
        E e(n * n);
        return queens(e, n);
    }
    const Model m = workload == "milner" ? milner(n) : philosophers(n);
    E e(2 * m.bits);
    return reachable(e, m);
}

long double runOn(const std::string &engine, const std::string &workload, int n) {
    if (engine == TarnEngine::kName) return run<TarnEngine>(workload, n);
    if (engine == TarnDefaultsEngine::kName) return run<TarnDefaultsEngine>(workload, n);
#ifdef TARN_BENCH_HAVE_BUDDY
    if (engine == BuddyEngine::kName) return run<BuddyEngine>(workload, n);
#endif
    fail("unknown or unavailable engine");
}

bool sameCount(long double got, long double want) {
    return std::fabs(got - want) <= 1e-12L * std::fmax(1.0L, want);
}

int single(const std::string &engine, const std::string &workload, int n) {
    const long double want = expected(workload, n);
    const auto start = std::chrono::steady_clock::now();
    const long double got = runOn(engine, workload, n);
    const std::chrono::duration<double, std::milli> elapsed =
        std::chrono::steady_clock::now() - start;
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    printf("%s %s %d %.1f %ld %.0Lf %.0Lf\n", engine.c_str(), workload.c_str(), n, elapsed.count(),
           usage.ru_maxrss, got, want);
    return sameCount(got, want) ? 0 : 1;
}

int smoke() {
    int failures = 0;
    auto check = [&failures](const char *what, int n, long double got, long double want) {
        if (!sameCount(got, want)) {
            printf("FAIL %s %d: %.0Lf, expected %.0Lf\n", what, n, got, want);
            failures++;
        }
    };
    for (int n = 1; n <= 6; n++) {
        check("milner closed form", n, explicitStates(milner(n)), milnerStates(n));
    }
    for (int n = 1; n <= 9; n++) {
        check("philosophers closed form", n, explicitStates(philosophers(n)), philosopherStates(n));
    }
    std::vector<std::string> engines{TarnEngine::kName};
#ifdef TARN_BENCH_HAVE_BUDDY
    engines.push_back(BuddyEngine::kName);
#endif
    for (const std::string &engine : engines) {
        for (int n = 1; n <= 8; n++) {
            check((engine + " queens").c_str(), n, runOn(engine, "queens", n),
                  expected("queens", n));
        }
        for (int n = 1; n <= 6; n++) {
            check((engine + " milner").c_str(), n, runOn(engine, "milner", n), milnerStates(n));
        }
        for (int n = 1; n <= 8; n++) {
            check((engine + " philosophers").c_str(), n, runOn(engine, "philosophers", n),
                  philosopherStates(n));
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
        fprintf(stderr, "usage: ddbench ENGINE WORKLOAD SIZE | ddbench smoke\n");
        return 2;
    }
    return single(argv[1], argv[2], atoi(argv[3]));
}
