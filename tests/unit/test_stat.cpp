// The statistics report and the node counts.
#include <cmath>
#include <sstream>
#include <string>

#include "fixture.h"

namespace {

std::vector<std::string> reportLines(DdManager *dd) {
    char *text = nullptr;
    size_t length = 0;
    FILE *fp = open_memstream(&text, &length);
    EXPECT_EQ(Tarn_PrintInfo(dd, fp), 1);
    fclose(fp);
    std::vector<std::string> lines;
    std::istringstream in(std::string(text, length));
    free(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

TEST_F(ManagerTest, ReportOfAFreshManager) {
    std::vector<std::string> lines = reportLines(dd);
    ASSERT_EQ(lines.size(), 48u);
    // The settings, and the counters whose values a fresh manager fixes.
    const std::pair<int, std::string> expected[] = {
        {1, "**** TARN modifiable parameters ****"},
        {3, "Cache hit threshold for resizing: 30%"},
        {4, "Garbage collection enabled: yes"},
        {6, "Maximum number of variables sifted per reordering: 1000"},
        {7, "Maximum number of variable swaps per reordering: 2000000"},
        {8, "Maximum growth while sifting a variable: 1.2"},
        {9, "Dynamic reordering of BDDs enabled: no"},
        {10, "Default BDD reordering method: 4"},
        {11, "Dynamic reordering of ZDDs enabled: no"},
        {12, "Default ZDD reordering method: 4"},
        {13, "Realignment of ZDDs to BDDs enabled: no"},
        {15, "Dead nodes counted in triggering reordering: no"},
        {16, "Group checking criterion: 7"},
        {17, "Recombination threshold: 0"},
        {21, "Number of crossovers for GA: 0"},
        {22, "Next reordering threshold: 4004"},
        {23, "**** TARN non-modifiable parameters ****"},
        {25, "Peak number of nodes: 1022"},
        {26, "Peak number of live nodes: 8"},
        {27, "Number of BDD variables: 4"},
        {28, "Number of ZDD variables: 0"},
        {29, "Number of cache entries: 256"},
        {30, "Number of cache look-ups: 0"},
        {35, "Cache used slots = 0.00% (expected 0.00%)"},
        {37, "Number of buckets in unique table: 40"},
        {39, "Number of BDD and ADD nodes: 8"},
        {41, "Number of dead BDD and ADD nodes: 0"},
        {43, "Total number of nodes allocated: 8"},
        {45, "Garbage collections so far: 0"},
        {46, "Time for garbage collection: 0.00 sec"},
        {48, "Time for reordering: 0.00 sec"},
    };
    for (const auto &[number, text] : expected) EXPECT_EQ(lines[number - 1], text) << "line " << number;
    EXPECT_EQ(lines[1], "Hard limit for cache size: " + std::to_string(kTestMemory / 96));
    EXPECT_EQ(lines[23], "Memory in use: " + std::to_string(dd->memoryInUse));
}

TEST_F(ManagerTest, ReportStopsAtTheFirstFailedWrite) {
    FILE *fp = fopen("/dev/null", "r");  // a stream that refuses writes
    ASSERT_NE(fp, nullptr);
    EXPECT_EQ(Tarn_PrintInfo(dd, fp), 0);
    fclose(fp);
}

TEST_F(ManagerTest, NodeCountLeavesOutWhatOnlyTheManagerHolds) {
    EXPECT_EQ(Tarn_ReadNodeCount(dd), dd->keys - dd->dead - 4 - 3);
    DdNode *f = node(0, var(1), zero());
    Tarn_Ref(f);
    // f and the projection below it, now held by f too.
    EXPECT_EQ(Tarn_ReadNodeCount(dd), 2u + 1);
    Tarn_DelayedDerefBdd(dd, f);
    EXPECT_EQ(Tarn_ReadNodeCount(dd), 0u + 1);  // reading the count empties the delayed queue
    EXPECT_EQ(dd->dead, 1u);
}

TEST_F(ManagerTest, UsedSlotsMatchTheChains) {
    // One node in each of the four variable subtables and four constants in the constants one.
    EXPECT_GT(tarnReadUsedSlots(dd), 0.0);
    EXPECT_LE(tarnReadUsedSlots(dd), 8.0 / 40);
    double expected = 1.0 - (4 * 8 * std::exp(-1.0 / 8) + 8 * std::exp(-4.0 / 8)) / 40;
    EXPECT_DOUBLE_EQ(tarnExpectedUsedSlots(dd), expected);
}

}  // namespace
