// The GR(1) and Rabin solvers against an explicit-state oracle, their memories, their incremental
// starts, their traces and their failures.
#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "fixture.h"
#include "game_oracle.h"

using game_oracle::ExplicitGame;
using game_oracle::StateSet;
using game_oracle::SymbolicGame;

namespace {

struct Switches {
    bool efp, eun, fpr;
};

const Switches kAllSwitches[] = {
    {false, false, false}, {true, false, false}, {false, true, false}, {false, false, true},
    {true, true, false},   {true, false, true},  {false, true, true},  {true, true, true},
};

// A solve with its standard output.
struct Solve {
    int result;
    std::string out;

    // The number printed after `label` (e.g. "z iterations = "), or -1.
    int counter(const std::string &label) const {
        const size_t at = out.find(label);
        return at == std::string::npos ? -1 : std::stoi(out.substr(at + label.size()));
    }
    size_t occurrences(const std::string &text) const {
        size_t count = 0;
        for (size_t at = out.find(text); at != std::string::npos; at = out.find(text, at + 1)) count++;
        return count;
    }
    bool has(const std::string &text) const { return out.find(text) != std::string::npos; }
};

Solve gr1(DdManager *dd, const game_structure &s, Switches w, const gr1_inc_data *inc = nullptr) {
    free_gr1_mem();
    testing::internal::CaptureStdout();
    const int r = gr1_game(dd, s, w.efp, w.eun, w.fpr, inc != nullptr, inc);
    fflush(stdout);
    return Solve{r, testing::internal::GetCapturedStdout()};
}

Solve rabin(DdManager *dd, const game_structure &s, Switches w, const rabin_inc_data *inc = nullptr) {
    free_rabin_mem();
    testing::internal::CaptureStdout();
    const int r = rabin_game(dd, s, w.efp, w.eun, w.fpr, inc != nullptr, inc);
    fflush(stdout);
    return Solve{r, testing::internal::GetCapturedStdout()};
}

// What the getters return, read without printing into the test's output.
struct Gr1Snapshot {
    int sizeD1 = 0, sizeD2 = 0;
    std::vector<int> sizes;
    std::vector<DdNode *> x, y, z, zFirst;
};

[[maybe_unused]] Gr1Snapshot gr1Snapshot() {
    testing::internal::CaptureStdout();
    Gr1Snapshot s{gr1_mem.sizeD1, gr1_mem.sizeD2, gr1_attr_sizes("t"), gr1_x_mem_flat("t"),
                  gr1_y_mem_flat("t"), gr1_z_mem_flat(), gr1_z_mem_first_itr_flat()};
    testing::internal::GetCapturedStdout();
    return s;
}

struct RabinSnapshot {
    int sizeD1 = 0, sizeD2 = 0;
    std::vector<int> sizes;
    std::vector<DdNode *> x, z;
};

[[maybe_unused]] RabinSnapshot rabinSnapshot() {
    testing::internal::CaptureStdout();
    RabinSnapshot s{rabin_mem.sizeD1, rabin_mem.sizeD2, rabin_x_sizes(), rabin_x_mem_flat(),
                    rabin_z_mem_flat()};
    testing::internal::GetCapturedStdout();
    return s;
}

// An incremental record over a snapshot, as the entry points build it from Java's arrays.
struct Gr1Inc {
    gr1_inc_data data;
    explicit Gr1Inc(const Gr1Snapshot &s, int type) {
        data.inc_type = type;
        data.sizeD1 = s.sizeD1;
        data.sizeD2 = s.sizeD2;
        data.sizeD3 = s.sizes.data();
        data.z_mem = s.z.data();
        data.z_mem_first_itr = s.zFirst.data();
        long used = 0;
        EXPECT_TRUE(unflatten_gr1_inc_x(&data, s.x.data(), static_cast<long>(s.x.size()), &used));
        EXPECT_EQ(used, static_cast<long>(s.x.size()));
    }
    ~Gr1Inc() { free_gr1_inc_x(&data); }
};

struct RabinInc {
    rabin_inc_data data;
    RabinInc(const RabinSnapshot &s, int type, int leastRemoved) {
        data.inc_type = type;
        data.sizeD1 = s.sizeD1;
        data.sizeD2 = s.sizeD2;
        data.z_mem = s.z.data();
        data.least_removed_justice = leastRemoved;
        long used = 0;
        EXPECT_TRUE(unflatten_rabin_inc(&data, s.sizes.data(), s.x.data(),
                                        static_cast<long>(s.x.size()), &used));
        EXPECT_EQ(used, static_cast<long>(s.x.size()));
    }
    ~RabinInc() { free_rabin_inc(&data); }
};

class GameTest : public ManagerTest {
protected:
    std::mt19937 rng{20261210};

    void TearDown() override {
        free_gr1_mem();
        free_rabin_mem();
        ManagerTest::TearDown();
    }

    ExplicitGame randomGame(int n, int sysJustices, int envJustices) {
        const int nEnv = std::uniform_int_distribution<int>(0, n)(rng);
        const double density = std::uniform_real_distribution<double>(0.02, 0.3)(rng);
        return game_oracle::randomGame(rng, nEnv, n - nEnv, sysJustices, envJustices, density);
    }
};

TEST_F(GameTest, SolversAgreeWithTheExplicitOracleUnderEverySwitch) {
    for (int round = 0; round < 150; round++) {
        const int n = 2 + round % 5;
        const int sysJustices = std::uniform_int_distribution<int>(0, 4)(rng);
        const int envJustices = std::uniform_int_distribution<int>(0, 2)(rng);
        const ExplicitGame g = randomGame(n, sysJustices, envJustices);
        SymbolicGame sg(dd, g);
        const game_structure s = sg.structure();
        const StateSet sysWin = game_oracle::sysWinning(g);
        const StateSet envWin = game_oracle::envWinning(g);
        const int sysVerdict = game_oracle::sysWinsAllInitial(g, sysWin);
        const int envVerdict = game_oracle::envWinsSomeInitial(g, envWin);
        for (Switches w : kAllSwitches) {
            SCOPED_TRACE(testing::Message() << "round " << round << " efp=" << w.efp
                                            << " eun=" << w.eun << " fpr=" << w.fpr);
            const Solve a = gr1(dd, s, w);
            EXPECT_EQ(a.result, sysVerdict);
            EXPECT_EQ(gr1_mem.sizeD1, sysJustices);
            EXPECT_EQ(gr1_mem.sizeD2, envJustices);
            if (!w.eun && sysJustices > 0) {
                EXPECT_EQ(sg.states(gr1_mem.z_mem[sysJustices - 1]), sysWin);
            }
            const Solve b = rabin(dd, s, w);
            EXPECT_EQ(b.result, envVerdict);
            EXPECT_EQ(b.result, 1 - a.result);
            EXPECT_EQ(rabin_mem.x_mem_recycle, nullptr);
            if (!w.eun && rabin_mem.sizeD1 > 0) {
                EXPECT_EQ(sg.states(rabin_mem.z_mem[rabin_mem.sizeD1 - 1]), envWin);
            }
            if (!w.efp && !w.eun) {
                EXPECT_EQ(rabin_mem.sizeD1, b.counter("z iterations = ") * sysJustices);
            }
        }
    }
}

}  // namespace
