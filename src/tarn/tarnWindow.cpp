// Window permutation: every window of 2 or 3 adjacent levels tries its orders and keeps the best;
// the converging forms revisit only the windows next to a change.
#include <vector>

#include "tarnInt.h"

int tarnWindowMethod(DdManager *dd, int low, int high, int method) {
    switch (method) {
        case TARN_REORDER_WINDOW2: return tarnWindowPass2(dd, low, high);
        case TARN_REORDER_WINDOW3: return tarnWindowPass3(dd, low, high);
        case TARN_REORDER_WINDOW2_CONVERGE: return tarnWindowConvergePass2(dd, low, high);
        case TARN_REORDER_WINDOW3_CONVERGE: return tarnWindowConvergePass3(dd, low, high);
        default: return 0;
    }
}

int tarnWindowPass2(DdManager *dd, int low, int high) {
    if (high - low < 1) return 0;
    int size = tarnLiveSize(dd);
    for (int x = low; x < high; x++) {
        int r = tarnSwapInPlace(dd, x, x + 1);
        if (r == 0) return 0;
        if (r >= size) {
            r = tarnSwapInPlace(dd, x, x + 1);
            if (r == 0) return 0;
        }
        size = r;
    }
    return 1;
}

int tarnBestOfThree(DdManager *dd, int x) {
    int size = tarnLiveSize(dd);
    int best = 1;
    // ABC -> BAC -> BCA -> CBA -> CAB -> ACB
    const int upper[5] = {x, x + 1, x, x + 1, x};
    for (int k = 0; k < 5; k++) {
        const int r = tarnSwapInPlace(dd, upper[k], upper[k] + 1);
        if (r == 0) return 0;
        if (r < size) {
            size = r;
            best = k + 2;
        }
    }
    // back from ACB to the best order
    static const int kBack[7][3] = {{0, 0, 0}, {1, -1, -1}, {1, 0, -1}, {1, 0, 1},
                                    {0, 1, -1}, {0, -1, -1}, {-1, -1, -1}};
    for (int step : kBack[best]) {
        if (step < 0) break;
        if (tarnSwapInPlace(dd, x + step, x + step + 1) == 0) return 0;
    }
    return best;
}

int tarnWindowPass3(DdManager *dd, int low, int high) {
    if (high - low < 2) return tarnWindowPass2(dd, low, high);
    for (int x = low; x + 1 < high; x++) {
        if (tarnBestOfThree(dd, x) == 0) return 0;
    }
    return 1;
}

int tarnWindowConvergePass2(DdManager *dd, int low, int high) {
    if (high - low < 1) return 0;
    const int n = high - low;
    std::vector<int> events(static_cast<size_t>(n), 1);
    int size = tarnLiveSize(dd);
    bool raised;
    do {
        raised = false;
        for (int i = 0; i < n; i++) {
            if (!events[i]) continue;
            const int x = low + i;
            int r = tarnSwapInPlace(dd, x, x + 1);
            if (r == 0) return 0;
            bool improved;
            if (r >= size) {
                r = tarnSwapInPlace(dd, x, x + 1);
                if (r == 0) return 0;
                improved = r < size;
            } else {
                improved = true;
            }
            if (improved) {
                if (i < n - 1) events[i + 1] = 1;
                if (i > 0) events[i - 1] = 1;
                raised = true;
            }
            events[i] = 0;
            size = r;
        }
    } while (raised);
    return 1;
}

int tarnWindowConvergePass3(DdManager *dd, int low, int high) {
    if (high - low < 2) return tarnWindowConvergePass2(dd, low, high);
    const int windows = high - low - 1;
    std::vector<int> events(static_cast<size_t>(windows), 1);
    auto raise = [&](int w) {
        if (w >= 0 && w < windows) events[w] = 1;
    };
    bool raised;
    do {
        raised = false;
        for (int i = 0; i < windows; i++) {
            if (!events[i]) continue;
            const int r = tarnBestOfThree(dd, low + i);
            if (r == 0) return 0;
            switch (r) {
                case 1: break;
                case 2:
                    raise(i + 1);
                    raise(i - 2);
                    raised = true;
                    break;
                case 6:
                    raise(i + 2);
                    raise(i - 1);
                    raised = true;
                    break;
                default:
                    raise(i + 2);
                    raise(i + 1);
                    raise(i - 1);
                    raise(i - 2);
                    raised = true;
                    break;
            }
            events[i] = 0;
        }
    } while (raised);
    return 1;
}
