// The GR(1) and Rabin solvers against an explicit-state oracle, their memories, their incremental
// starts, their traces and their failures.
#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "fixture.h"
#include "game_oracle.h"
#include "games/gameInt.h"

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
        for (size_t at = out.find(text); at != std::string::npos; at = out.find(text, at + 1))
            count++;
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

Solve rabin(DdManager *dd, const game_structure &s, Switches w,
            const rabin_inc_data *inc = nullptr) {
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

Gr1Snapshot gr1Snapshot() {
    testing::internal::CaptureStdout();
    Gr1Snapshot s{
        gr1_mem.sizeD1,      gr1_mem.sizeD2,   gr1_attr_sizes("t"),       gr1_x_mem_flat("t"),
        gr1_y_mem_flat("t"), gr1_z_mem_flat(), gr1_z_mem_first_itr_flat()};
    testing::internal::GetCapturedStdout();
    return s;
}

struct RabinSnapshot {
    int sizeD1 = 0, sizeD2 = 0;
    std::vector<int> sizes;
    std::vector<DdNode *> x, z;
};

RabinSnapshot rabinSnapshot() {
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

// A fixpoint that needs fewer iterations than in an earlier pass, an early exit and recycling all
// leave slots that no count covers; the solve must give their references back. What stays
// referenced after a solve is exactly what its memory counts.
void releaseGr1Memory(DdManager *dd) {
    const gr1_memory &m = gr1_mem;
    for (int j = 0; j < m.sizeD1; j++) {
        if (m.z_mem[j] != nullptr) Tarn_RecursiveDeref(dd, m.z_mem[j]);
        for (int k = 0; k < m.sizeD3[j]; k++) {
            Tarn_RecursiveDeref(dd, m.y_mem[j][k]);
            for (int i = 0; i < m.sizeD2; i++) Tarn_RecursiveDeref(dd, m.x_mem[j][i][k]);
        }
    }
    free_gr1_mem();
}

void releaseRabinMemory(DdManager *dd) {
    const rabin_memory &m = rabin_mem;
    for (int zi = 0; zi < m.sizeD1; zi++) {
        Tarn_RecursiveDeref(dd, m.z_mem[zi]);
        for (int i = 0; i < m.sizeD2; i++) {
            for (int k = 0; k < m.sizeD3[zi][i]; k++) Tarn_RecursiveDeref(dd, m.x_mem[zi][i][k]);
        }
    }
    free_rabin_mem();
}

TEST_F(GameTest, SolvesLeaveOnlyTheReferencesTheirMemoryCounts) {
    for (int round = 0; round < 40; round++) {
        const ExplicitGame g = randomGame(3 + round % 4, 1 + round % 3, 1 + round % 2);
        SymbolicGame sg(dd, g);
        const game_structure s = sg.structure();
        for (Switches w : kAllSwitches) {
            SCOPED_TRACE(testing::Message() << "round " << round << " efp=" << w.efp
                                            << " eun=" << w.eun << " fpr=" << w.fpr);
            const unsigned before = Tarn_ReadNodeCount(dd);
            gr1(dd, s, w);
            releaseGr1Memory(dd);
            EXPECT_EQ(Tarn_ReadNodeCount(dd), before) << "GR(1)";
            rabin(dd, s, w);
            releaseRabinMemory(dd);
            EXPECT_EQ(Tarn_ReadNodeCount(dd), before) << "Rabin";
        }
    }
}

// A handle that the readers pass through without looking at it.
DdNode *fake(uintptr_t k) {
    return reinterpret_cast<DdNode *>(k * 32);
}

TEST_F(GameTest, Gr1ReadersFlattenJusticeThenEnvironmentThenIteration) {
    // 3 system justices with 2, unset and 1 iterations; 2 environment justices
    gr1_mem.sizeD1 = 3;
    gr1_mem.sizeD2 = 2;
    gr1_mem.sizeD3 = static_cast<int *>(malloc(3 * sizeof(int)));
    const int counts[] = {2, -1, 1};
    std::copy(counts, counts + 3, gr1_mem.sizeD3);
    gr1_mem.z_mem = static_cast<DdNode **>(malloc(3 * sizeof(DdNode *)));
    gr1_mem.x_mem = static_cast<DdNode ****>(malloc(3 * sizeof(DdNode ***)));
    gr1_mem.y_mem = static_cast<DdNode ***>(malloc(3 * sizeof(DdNode **)));
    for (int j = 0; j < 3; j++) {
        gr1_mem.z_mem[j] = fake(900 + j);
        gr1_mem.y_mem[j] = handle_array_new(50);
        gr1_mem.x_mem[j] = static_cast<DdNode ***>(malloc(2 * sizeof(DdNode **)));
        for (int i = 0; i < 2; i++) {
            gr1_mem.x_mem[j][i] = handle_array_new(50);
            for (int k = 0; k < 2; k++) gr1_mem.x_mem[j][i][k] = fake(100 * j + 10 * i + k + 1);
        }
        for (int k = 0; k < 2; k++) gr1_mem.y_mem[j][k] = fake(1000 + 10 * j + k);
    }
    testing::internal::CaptureStdout();
    const std::vector<int> sizes = gr1_attr_sizes("getAttrSizes0");
    const std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_EQ(printed, "getAttrSizes0: gr1_mem.sizeD3[1] = -1 ---> ok only for inc alg\n");
    EXPECT_EQ(sizes, (std::vector<int>{2, 0, 1}));
    const std::vector<DdNode *> x = {fake(1), fake(2), fake(11), fake(12), fake(201), fake(211)};
    const std::vector<DdNode *> y = {fake(1000), fake(1001), fake(1020)};
    for (int read = 0; read < 2; read++) {  // the count stays 0: nothing is printed again
        testing::internal::CaptureStdout();
        EXPECT_EQ(gr1_x_mem_flat("getXMem0"), x);
        EXPECT_EQ(gr1_y_mem_flat("getYMem0"), y);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    }
    EXPECT_EQ(gr1_z_mem_flat(), (std::vector<DdNode *>{fake(900), fake(901), fake(902)}));
    EXPECT_TRUE(gr1_z_mem_first_itr_flat().empty());
    free_gr1_mem();
    EXPECT_TRUE(gr1_attr_sizes("p").empty() && gr1_x_mem_flat("p").empty() &&
                gr1_y_mem_flat("p").empty() && gr1_z_mem_flat().empty());
}

TEST_F(GameTest, RabinReadersSkipEmptyCells) {
    rabin_mem.sizeD1 = 2;
    rabin_mem.sizeD2 = 2;
    rabin_mem.rows = 2;
    rabin_mem.z_mem = static_cast<DdNode **>(malloc(2 * sizeof(DdNode *)));
    rabin_mem.x_mem = handle_table_new(2, 2, 50);
    rabin_mem.sizeD3 = static_cast<int **>(malloc(2 * sizeof(int *)));
    const int counts[2][2] = {{2, 0}, {0, 1}};
    for (int zi = 0; zi < 2; zi++) {
        rabin_mem.z_mem[zi] = fake(50 + zi);
        rabin_mem.sizeD3[zi] = static_cast<int *>(malloc(2 * sizeof(int)));
        for (int i = 0; i < 2; i++) {
            rabin_mem.sizeD3[zi][i] = counts[zi][i];
            for (int k = 0; k < counts[zi][i]; k++)
                rabin_mem.x_mem[zi][i][k] = fake(100 * zi + 10 * i + k + 1);
        }
    }
    EXPECT_EQ(rabin_z_size(), 2);
    EXPECT_EQ(rabin_z_mem_flat(), (std::vector<DdNode *>{fake(50), fake(51)}));
    EXPECT_EQ(rabin_x_sizes(), (std::vector<int>{2, 0, 0, 1}));
    testing::internal::CaptureStdout();
    EXPECT_EQ(rabin_x_mem_flat(), (std::vector<DdNode *>{fake(1), fake(2), fake(111)}));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "retSize=3, idx=3\n");
    free_rabin_mem();
    EXPECT_EQ(rabin_z_size(), 0);
    EXPECT_TRUE(rabin_z_mem_flat().empty() && rabin_x_sizes().empty());
}

// A game where the environment's region grows by one state per Z entry: a chain of 64 states
// s -> s+1 ending in a sink, with both system justices holding everywhere but on the sink.
ExplicitGame chainGame() {
    ExplicitGame g;
    g.nSys = 6;
    g.envIni = g.all();
    g.sysIni = 1;  // state 0
    g.envTrans.assign(g.states(), 1);
    g.sysTrans.assign(g.states(), 0);
    for (int s = 0; s < g.states(); s++) g.sysTrans[s] = uint64_t{1} << std::min(s + 1, 63);
    const StateSet notSink = g.all() & ~(StateSet{1} << 63);
    g.sysJ = {notSink, notSink};
    g.envJ = {g.all()};
    return g;
}

TEST_F(GameTest, IterationsBeyondTheInitialCapacitiesGrowTheArrays) {
    // a system justice that never holds and an environment justice everywhere but on the sink:
    // the GR(1) Y fixpoint and the Rabin Y fixpoint take one step per chain state
    ExplicitGame g = chainGame();
    g.sysJ = {0};
    g.envJ = {g.all() & ~(StateSet{1} << 63)};
    {
        SymbolicGame sg(dd, g);
        const Solve a = gr1(dd, sg.structure(), {false, false, true});
        EXPECT_EQ(a.result, 1);
        EXPECT_EQ(a.occurrences("extend_size_3D: newSize = 100\nextend_size_3D end\n"
                                "extend_size_2D: newSize = 100\nextend_size_2D end\n"),
                  1u);
        const Gr1Snapshot m = gr1Snapshot();
        ASSERT_EQ(m.sizes.size(), 1u);
        EXPECT_GT(m.sizes[0], 60);
        EXPECT_EQ(m.y.size(), static_cast<size_t>(m.sizes[0]));
        EXPECT_EQ(sg.states(m.y.back()), game_oracle::sysWinning(g));
        const Solve b = rabin(dd, sg.structure(), {false, false, true});
        EXPECT_EQ(b.result, 0);
        EXPECT_EQ(b.occurrences("extend size of 3D of rabin_mem.x_mem_recycle to 100\n"
                                "extend_size_3D: newSize = 100\nextend_size_3D end\n"),
                  1u);
        EXPECT_EQ(rabin_mem.x_mem_recycle, nullptr);
    }
    // an environment justice on the sink alone: one X fixpoint runs down the whole chain
    g.envJ = {StateSet{1} << 63};
    SymbolicGame sg(dd, g);
    const Solve b = rabin(dd, sg.structure(), {false, false, false});
    EXPECT_EQ(b.result, 1);
    EXPECT_EQ(b.occurrences("extend_size_3D: newSize = 100\nextend_size_3D end\n"), 1u);
    const RabinSnapshot m = rabinSnapshot();
    EXPECT_GT(m.sizes[0], 60);
    EXPECT_EQ(sg.states(m.x[static_cast<size_t>(m.sizes[0]) - 1]), g.all());
}

TEST_F(GameTest, RabinZCapacityGrowsAtTheFortiethEntryWithTwoJustices) {
    const ExplicitGame g = chainGame();
    SymbolicGame sg(dd, g);
    const Solve b = rabin(dd, sg.structure(), {false, false, false});
    EXPECT_EQ(b.result, 1);
    EXPECT_EQ(rabin_mem.sizeD1, b.counter("z iterations = ") * 2);
    EXPECT_GT(rabin_mem.sizeD1, 40);
    // the growth comes right after the entry of justice 1 in the 20th pass
    const size_t grow = b.out.find(
        "extend_size_1D: newSize = 80\nextend_size_1D end\n"
        "extend_size_1D_3D: oldSize=40, newSize=80\n"
        "extend_size_1D_3D end\nextend_size_1D_2D_int: newSize = 80\n");
    ASSERT_NE(grow, std::string::npos);
    EXPECT_LT(b.out.find("Z loop 20: j = 1\n"), grow);
    EXPECT_GT(b.out.find("Z loop 21: j = 0\n"), grow);
    // every entry stores two X iterates: the predecessor it adds, then the repetition
    std::string counts;
    for (int r = 0; r < 80; r++)
        counts += "in[" + std::to_string(r) + "][0] = " + std::to_string(r < 40 ? 2 : -1) + "\n";
    EXPECT_NE(b.out.find(counts + "extend_size_1D_2D_int end\n", grow), std::string::npos);
    EXPECT_EQ(b.occurrences("extend_size_1D_2D_int end"), 1u);
    EXPECT_EQ(game_oracle::envWinning(g), sg.states(rabin_mem.z_mem[rabin_mem.sizeD1 - 1]));
}

TEST_F(GameTest, IncrementalSolveWithTypeZeroIsAFullSolveThatKeepsTheFirstPass) {
    for (int round = 0; round < 10; round++) {
        const ExplicitGame g = randomGame(2 + round % 4, 1 + round % 3, 1 + round % 2);
        SymbolicGame sg(dd, g);
        for (Switches w : {Switches{false, false, false}, Switches{true, true, true}}) {
            const Solve plain = gr1(dd, sg.structure(), w);
            const Gr1Snapshot a = gr1Snapshot();
            gr1_inc_data none;  // inc_type 0
            const Solve inc = gr1(dd, sg.structure(), w, &none);
            const Gr1Snapshot b = gr1Snapshot();
            EXPECT_EQ(inc.result, plain.result);
            EXPECT_EQ(b.sizes, a.sizes);
            EXPECT_EQ(b.x, a.x);
            EXPECT_EQ(b.y, a.y);
            EXPECT_EQ(b.z, a.z);
            EXPECT_TRUE(a.zFirst.empty());
            ASSERT_EQ(b.zFirst.size(), g.sysJ.size());
            // without early exits the first pass stores every justice's Z
            std::string stripped = inc.out;
            for (size_t j = 0; j < g.sysJ.size(); j++) {
                const std::string line = "set gr1_mem.z_mem_first_itr[" + std::to_string(j) + "]\n";
                const size_t at = stripped.find(line);
                EXPECT_TRUE(at != std::string::npos || w.eun);
                if (at == std::string::npos) continue;
                EXPECT_NE(b.zFirst[j], nullptr);
                stripped.erase(at, line.size());
            }
            // the incremental trace is the plain one with the INC_TYPE line and the first-pass
            // lines
            const std::string incLine =
                "INC_TYPE_PREV_INI_REMOVED = 0, INC_TYPE_PREV_SAFETY_REMOVED = 0, "
                "INC_TYPE_PREV_JUSTICE_REMOVED = 0 \t\t\t\nINC_TYPE_NEW_INI_ADDED = 0, "
                "INC_TYPE_NEW_SAFETY_ADDED = 0, INC_TYPE_NEW_JUSTICE_ADDED = 0\n";
            ASSERT_NE(stripped.find(incLine), std::string::npos);
            stripped.erase(stripped.find(incLine), incLine.size());
            EXPECT_EQ(stripped, plain.out);
        }
    }
}

TEST_F(GameTest, OnlyInitialStatesChangeIsAnsweredWithoutFixpoint) {
    std::bernoulli_distribution coin(0.5);
    for (int round = 0; round < 12; round++) {
        ExplicitGame g = randomGame(2 + round % 4, 1 + round % 3, 1 + round % 2);
        SymbolicGame sg(dd, g);
        gr1_inc_data none;
        gr1(dd, sg.structure(), {false, false, false}, &none);
        const Gr1Snapshot before = gr1Snapshot();
        rabin(dd, sg.structure(), {false, false, false});
        const RabinSnapshot rabinBefore = rabinSnapshot();

        // new initial states
        g.sysIni = game_oracle::randomSet(rng, g, 0.5);
        Tarn_RecursiveDeref(dd, sg.sysIni());
        sg.sysIni() = sg.set(g.sysIni);
        const int type = coin(rng) ? INC_TYPE_NEW_INI_ADDED : INC_TYPE_PREV_INI_REMOVED;
        Gr1Inc inc(before, type);
        const Solve a = gr1(dd, sg.structure(), {true, true, true}, &inc.data);
        EXPECT_EQ(a.result, game_oracle::sysWinsAllInitial(g, game_oracle::sysWinning(g)));
        EXPECT_TRUE(a.has("Only ini states changed\nallIni = "));
        EXPECT_TRUE(a.has("copy_to_gr1_mem\nEnd GR1 Game: is realizable = "));
        EXPECT_FALSE(a.has("Z loop"));
        const Gr1Snapshot after = gr1Snapshot();
        EXPECT_EQ(after.sizes, before.sizes);
        EXPECT_EQ(after.x, before.x);
        EXPECT_EQ(after.z, before.z);
        EXPECT_EQ(after.zFirst, before.zFirst);
        EXPECT_EQ(after.y.size(), before.y.size());
        for (DdNode *y : after.y) EXPECT_EQ(y, zero());

        RabinInc rinc(rabinBefore, type, 0);
        const Solve b = rabin(dd, sg.structure(), {true, true, true}, &rinc.data);
        EXPECT_EQ(b.result, 1 - a.result);
        EXPECT_TRUE(b.has("Only ini states changed\nwinSomeIni = "));
        EXPECT_FALSE(b.has("Z loop"));
        const RabinSnapshot rabinAfter = rabinSnapshot();
        EXPECT_EQ(rabinAfter.sizes, rabinBefore.sizes);
        EXPECT_EQ(rabinAfter.x, rabinBefore.x);
        EXPECT_EQ(rabinAfter.z, rabinBefore.z);
    }
}

TEST_F(GameTest, AddedSystemJusticeRestartsFromTheEarlierMemory) {
    for (int round = 0; round < 16; round++) {
        const int justices = 1 + round % 3;
        ExplicitGame g = randomGame(2 + round % 5, justices + 1, 1 + round % 2);
        const StateSet added = g.sysJ.back();
        g.sysJ.pop_back();
        SymbolicGame sg(dd, g);
        gr1_inc_data none;
        gr1(dd, sg.structure(), {false, false, false}, &none);
        const Gr1Snapshot before = gr1Snapshot();
        rabin(dd, sg.structure(), {false, false, false});
        const RabinSnapshot rabinBefore = rabinSnapshot();

        g.sysJ.push_back(added);
        sg.sysJ().push_back(sg.set(added));
        const int sysVerdict = game_oracle::sysWinsAllInitial(g, game_oracle::sysWinning(g));
        for (Switches w : kAllSwitches) {
            Gr1Inc inc(before, INC_TYPE_NEW_JUSTICE_ADDED);
            const Solve a = gr1(dd, sg.structure(), w, &inc.data);
            EXPECT_EQ(a.result, sysVerdict);
            if (justices + 1 != 1) {
                EXPECT_TRUE(a.has("New justice was added, starting from j_start_idx = " +
                                  std::to_string(justices) + "\n"));
                EXPECT_EQ(a.out.find("Z loop"),
                          a.out.find("Z loop 1: j = " + std::to_string(justices)));
            }
            RabinInc rinc(rabinBefore, INC_TYPE_NEW_JUSTICE_ADDED, justices);
            const Solve b = rabin(dd, sg.structure(), w, &rinc.data);
            EXPECT_EQ(b.result, 1 - sysVerdict);
            EXPECT_EQ(b.out.find("Z loop"),
                      b.out.find("Z loop 1: j = " + std::to_string(justices)));
            EXPECT_EQ(rabin_mem.x_mem_recycle, nullptr);
            if (!w.eun) {
                EXPECT_EQ(sg.states(rabin_mem.z_mem[rabin_mem.sizeD1 - 1]),
                          game_oracle::envWinning(g));
            }
        }
    }
}

// One environment variable e and one system variable s; the system copies e into s; the system
// justice is s and the environment justice e.
ExplicitGame copyGame() {
    ExplicitGame g;
    g.nEnv = 1;
    g.nSys = 1;
    g.envIni = g.all();
    g.sysIni = g.all();
    g.envTrans.assign(4, 3);
    g.sysTrans.assign(4, 0);
    for (int s = 0; s < 4; s++) g.sysTrans[s] = (1u << 0) | (1u << 3);  // s' = e'
    g.sysJ = {0xC, 0x3};                                                // s, !s
    g.envJ = {0xA};                                                     // e
    return g;
}

TEST_F(GameTest, RemovedSystemJusticeKeepsTheJusticesBeforeIt) {
    for (int round = 0; round < 16; round++) {
        const int kept = 1 + round % 3;
        ExplicitGame g = randomGame(2 + round % 5, kept + 1, 1 + round % 2);
        SymbolicGame sg(dd, g);
        gr1_inc_data none;
        gr1(dd, sg.structure(), {false, false, false}, &none);
        const Gr1Snapshot before = gr1Snapshot();
        rabin(dd, sg.structure(), {false, false, false});
        const RabinSnapshot rabinBefore = rabinSnapshot();

        g.sysJ.pop_back();
        DdNode *removed = sg.sysJ().back();
        sg.sysJ().pop_back();
        const int sysVerdict = game_oracle::sysWinsAllInitial(g, game_oracle::sysWinning(g));
        for (Switches w : kAllSwitches) {
            Gr1Inc inc(before, INC_TYPE_PREV_JUSTICE_REMOVED);
            inc.data.least_removed_justice = kept;
            const Solve a = gr1(dd, sg.structure(), w, &inc.data);
            EXPECT_EQ(a.result, sysVerdict);
            EXPECT_TRUE(
                a.has("starting first z iteration from j_start_idx = " + std::to_string(kept)));
            RabinInc rinc(rabinBefore, INC_TYPE_PREV_JUSTICE_REMOVED, kept);
            const Solve b = rabin(dd, sg.structure(), w, &rinc.data);
            EXPECT_EQ(b.result, 1 - sysVerdict);
        }
        sg.sysJ().push_back(removed);  // released with the game
    }
}

TEST_F(GameTest, TracesFollowTheIterations) {
    const ExplicitGame g = copyGame();
    SymbolicGame sg(dd, g);
    const Solve a = gr1(dd, sg.structure(), {true, false, true});
    EXPECT_EQ(a.out,
              "\n"
              "----Start GR1 Game: efp=1, eun=0, fpr=1----\n"
              "sysJSize=2, envJSize=1\n"
              "is starting Z from One = 1\n"
              "zPrev is NULL\n"
              "Z loop 1: j = 0\n"
              "Z loop 1: j = 1\n"
              "zPrev == NULL = 0\n"
              "IS_BDD_EQ(z, zPrev) = 0\n"
              "IS_BDD_EQ(z, zPrev) = 0\n"
              "Z loop 2: j = 0\n"
              "recycleFixPoint X for j=0, i=0, rcy=0\n"
              "firstZIter = 0\n"
              "Z loop 2: j = 1\n"
              "recycleFixPoint X for j=1, i=0, rcy=0\n"
              "firstZIter = 0\n"
              "zPrev == NULL = 0\n"
              "IS_BDD_EQ(z, zPrev) = 0\n"
              "IS_BDD_EQ(z, zPrev) = 0\n"
              "Z loop 3: j = 0\n"
              "recycleFixPoint X for j=0, i=0, rcy=0\n"
              "firstZIter = 0\n"
              "detected early fixed point\n"
              "zPrev == NULL = 0\n"
              "IS_BDD_EQ(z, zPrev) = 1\n"
              "before sizeD3 malloc\n"
              "z iterations = 3\n"
              "y iterations = 8\n"
              "x iterations = 14\n"
              "allIni = 0\n"
              "End GR1 Game: is realizable = 0\n");
    const Solve b = rabin(dd, sg.structure(), {true, false, true});
    EXPECT_EQ(b.out,
              "\n"
              "----Start Rabin Game: efp=1, eun=0, fpr=1----\n"
              "alloc x_mem_recycle\n"
              "after alloc x_mem_recycle\n"
              "is starting Z from Zero = 1\n"
              "zPrev is NULL\n"
              "Z loop 1: j = 0\n"
              "Z loop 1: j = 1\n"
              "IS_BDD_EQ(z, zPrev) = 0\n"
              "Z loop 2: j = 0\n"
              "recycleFixPoint X for j=0, i=0, rcy=0\n"
              "firstZIter = 0\n"
              "Z loop 2: j = 1\n"
              "recycleFixPoint X for j=1, i=0, rcy=0\n"
              "firstZIter = 0\n"
              "IS_BDD_EQ(z, zPrev) = 0\n"
              "Z loop 3: j = 0\n"
              "recycleFixPoint X for j=0, i=0, rcy=0\n"
              "firstZIter = 0\n"
              "detected early fixed point\n"
              "z iterations = 3\n"
              "y iterations = 8\n"
              "x iterations = 13\n"
              "winSomeIni = 1\n"
              "End Rabin Game: is env winning = 1\n");
    EXPECT_EQ(rabin_mem.sizeD1, 5);

    // a first justice that never holds: both early exits come after justice 0 of the first pass
    ExplicitGame never = g;
    never.sysJ[0] = 0;
    SymbolicGame sn(dd, never);
    const Solve c = gr1(dd, sn.structure(), {false, true, false});
    EXPECT_TRUE(
        c.has("Z loop 1: j = 0\nallIni = 0\n"
              "sysWinAllInitial is false - detected early unrealizable\n"
              "zPrev == NULL = 0\nIS_BDD_EQ(z, zPrev) = 0\nbefore sizeD3 malloc\n"));
    testing::internal::CaptureStdout();
    EXPECT_EQ(gr1_attr_sizes("getAttrSizes0"), (std::vector<int>{0, 0}));  // no count was set
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "getAttrSizes0: gr1_mem.sizeD3[0] = -1 ---> ok only for inc alg\n"
              "getAttrSizes0: gr1_mem.sizeD3[1] = -1 ---> ok only for inc alg\n");
    const Solve d = rabin(dd, sn.structure(), {false, true, false});
    EXPECT_TRUE(
        d.has("Z loop 1: j = 0\nwinSomeIni = 1\n"
              "envWinAllInitial is true - env wins from some initial states\nz iterations = 1\n"));
    EXPECT_EQ(rabin_mem.sizeD1, 1);
}

TEST_F(GameTest, EmptyJusticeLists) {
    ExplicitGame g = copyGame();
    g.sysJ.clear();
    {
        SymbolicGame sg(dd, g);
        const Solve a = gr1(dd, sg.structure(), {true, true, true});
        EXPECT_EQ(a.result, 1);  // Z stays one
        EXPECT_EQ(a.counter("z iterations = "), 1);
        EXPECT_TRUE(gr1_attr_sizes("p").empty());
        const Solve b = rabin(dd, sg.structure(), {true, true, true});
        EXPECT_EQ(b.result, 0);  // Z stays zero
        EXPECT_EQ(rabin_mem.sizeD1, 0);
        EXPECT_EQ(b.counter("z iterations = "), 1);
    }
    g = copyGame();
    g.envJ.clear();
    {
        SymbolicGame sg(dd, g);
        const Solve a = gr1(dd, sg.structure(), {false, false, false});
        EXPECT_EQ(a.result, 0);
        EXPECT_EQ(sg.states(gr1_mem.z_mem[1]), 0u);
        const Solve b = rabin(dd, sg.structure(), {false, false, false});
        EXPECT_EQ(b.result, 1);
        EXPECT_EQ(sg.states(rabin_mem.z_mem[0]), g.all());
        EXPECT_EQ(rabin_x_sizes().size(), 0u);  // every count row is empty
        EXPECT_EQ(rabin_mem.sizeD1, 2 * b.counter("z iterations = "));
    }
}

// Allocations that fail anywhere inside a solve end it with 255 or leave it whole; the memory
// stays readable either way, and what stays referenced is exactly what it counts.
TEST_F(GameTest, FailuresInsideTheSolveEndItWith255) {
    const ExplicitGame g = copyGame();
    SymbolicGame sg(dd, g);
    const game_structure s = sg.structure();
    UtilOutOfMemoryFn saved = util_out_of_memory;
    util_out_of_memory = [](size_t) {};
    testing::internal::CaptureStderr();  // the manager reports each failed allocation
    int failed = 0;
    for (long k = 0; k < 300; k += 3) {
        for (Switches w : {Switches{true, false, true}, Switches{false, false, false}}) {
            for (int solver = 0; solver < 2; solver++) {
                const unsigned before = Tarn_ReadNodeCount(dd);
                testing::internal::CaptureStdout();
                util_fail_allocations_after(k);
                const int r = solver == 0 ? gr1_game(dd, s, w.efp, w.eun, w.fpr, false, nullptr)
                                          : rabin_game(dd, s, w.efp, w.eun, w.fpr, false, nullptr);
                util_fail_allocations_after(-1);
                testing::internal::GetCapturedStdout();
                EXPECT_TRUE(r == GAME_FAILED || r == solver) << k;
                failed += r == GAME_FAILED;
                testing::internal::CaptureStdout();
                for (DdNode *f : gr1_x_mem_flat("p")) EXPECT_NE(f, nullptr);
                for (DdNode *f : gr1_y_mem_flat("p")) EXPECT_NE(f, nullptr);
                for (DdNode *f : rabin_x_mem_flat()) EXPECT_NE(f, nullptr);
                for (DdNode *f : rabin_z_mem_flat()) EXPECT_NE(f, nullptr);
                EXPECT_EQ(rabin_mem.x_mem_recycle, nullptr);
                testing::internal::GetCapturedStdout();
                dd->errorCode = TARN_NO_ERROR;
                solver == 0 ? releaseGr1Memory(dd) : releaseRabinMemory(dd);
                EXPECT_EQ(Tarn_ReadNodeCount(dd), before) << k << " solver " << solver;
            }
        }
    }
    testing::internal::GetCapturedStderr();
    util_out_of_memory = saved;
    EXPECT_GT(failed, 0);
}

TEST_F(GameTest, UnusablePairingOrIncrementalInputEndsTheSolveWith255) {
    const ExplicitGame g = copyGame();
    SymbolicGame sg(dd, g);
    game_structure s = sg.structure();
    std::vector<DdNode *> pairing(s.pairing, s.pairing + Tarn_ReadSize(dd));
    pairing[0] = one();  // names no variable
    s.pairing = pairing.data();
    EXPECT_EQ(gr1(dd, s, {false, false, false}).result, GAME_FAILED);
    EXPECT_EQ(rabin(dd, s, {false, false, false}).result, GAME_FAILED);

    gr1_inc_data none;
    gr1(dd, sg.structure(), {false, false, false}, &none);
    const Gr1Snapshot before = gr1Snapshot();
    rabin(dd, sg.structure(), {false, false, false});
    const RabinSnapshot rabinBefore = rabinSnapshot();
    {
        Gr1Inc inc(before, INC_TYPE_NEW_INI_ADDED);
        inc.data.sizeD2 = 2;  // another number of environment justices
        EXPECT_EQ(gr1(dd, sg.structure(), {false, false, false}, &inc.data).result, GAME_FAILED);
        RabinInc rinc(rabinBefore, INC_TYPE_NEW_INI_ADDED, 0);
        rinc.data.sizeD2 = 2;
        EXPECT_EQ(rabin(dd, sg.structure(), {false, false, false}, &rinc.data).result, GAME_FAILED);
    }
    {
        Gr1Inc inc(before, INC_TYPE_NEW_SAFETY_ADDED);  // starts from start_z, which is missing
        EXPECT_EQ(gr1(dd, sg.structure(), {false, false, false}, &inc.data).result, GAME_FAILED);
        Gr1Inc removed(before, INC_TYPE_PREV_JUSTICE_REMOVED);
        removed.data.least_removed_justice = 3;  // beyond the justices
        EXPECT_EQ(gr1(dd, sg.structure(), {false, false, false}, &removed.data).result,
                  GAME_FAILED);
        RabinInc rremoved(rabinBefore, INC_TYPE_PREV_JUSTICE_REMOVED, rabinBefore.sizeD1 + 1);
        EXPECT_EQ(rabin(dd, sg.structure(), {false, false, false}, &rremoved.data).result,
                  GAME_FAILED);
    }
    {
        // A plain solve leaves no first-iteration memory: only the starts that read it refuse
        // to go without it.
        const int plain = gr1(dd, sg.structure(), {false, false, false}).result;
        const Gr1Snapshot noFirst = gr1Snapshot();
        ASSERT_TRUE(noFirst.zFirst.empty());
        Gr1Inc safety(noFirst, INC_TYPE_NEW_SAFETY_ADDED);
        safety.data.z_mem_first_itr = nullptr;
        safety.data.start_z = one();
        EXPECT_EQ(gr1(dd, sg.structure(), {false, false, false}, &safety.data).result, plain);
        Gr1Inc removed(noFirst, INC_TYPE_PREV_JUSTICE_REMOVED);
        removed.data.z_mem_first_itr = nullptr;
        removed.data.least_removed_justice = 1;
        EXPECT_EQ(gr1(dd, sg.structure(), {false, false, false}, &removed.data).result,
                  GAME_FAILED);
    }
}

}  // namespace
