// The cost of the cheap calls that the JNI measurement (java/JniCallCost.java) makes, here on the
// package API directly: the complement of a projection function referenced and released, and a
// conjunction answered by the computed table, referenced and released.
//
//   callcost [ITERATIONS]    prints nanoseconds per call of each pair
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "tarn/tarn.h"

namespace {

template <class Body>
double nanosPerIteration(long iterations, Body &&body) {
    for (long i = 0; i < iterations / 10; i++) body();  // warm-up
    const auto start = std::chrono::steady_clock::now();
    for (long i = 0; i < iterations; i++) body();
    const std::chrono::duration<double, std::nano> elapsed =
        std::chrono::steady_clock::now() - start;
    return elapsed.count() / static_cast<double>(iterations);
}

}  // namespace

int main(int argc, char **argv) {
    const long iterations = argc > 1 ? atol(argv[1]) : 20000000;
    DdManager *dd = Tarn_Init(2, 0, 256, 262144, 0);
    if (dd == nullptr) return 2;
    DdNode *x0 = Tarn_BddIthVar(dd, 0);
    DdNode *x1 = Tarn_BddIthVar(dd, 1);
    // The conjunction stays referenced, so that every call below finds it in the computed table.
    DdNode *both = Tarn_BddAnd(dd, x0, x1);
    Tarn_Ref(both);

    const double notPair = nanosPerIteration(iterations, [&] {
        DdNode *r = Tarn_Not(x0);
        Tarn_Ref(r);
        Tarn_DerefBdd(dd, r);
    });
    bool same = true;
    const double andPair = nanosPerIteration(iterations, [&] {
        DdNode *r = Tarn_BddAnd(dd, x0, x1);
        same = same && r == both;
        Tarn_Ref(r);
        Tarn_DerefBdd(dd, r);
    });
    printf("c++ not+deref %.1f ns per pair\n", notPair);
    printf("c++ and+deref %.1f ns per pair\n", andPair);
    Tarn_DerefBdd(dd, both);
    Tarn_Quit(dd);
    return same ? 0 : 1;
}
