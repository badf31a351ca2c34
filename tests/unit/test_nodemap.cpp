// The per-call node map: entries live exactly as many lookups as they were given, growth keeps them
// reachable, and destroying the map drops one reference per remaining entry.
#include "fixture.h"

namespace {

class NodeMapTest : public ManagerTest {
protected:
    DdNodeMap *map = nullptr;
    void SetUp() override {
        ManagerTest::SetUp();
        map = tarnNodeMapCreate(dd, 1, 2);
        ASSERT_NE(map, nullptr);
    }
    void TearDown() override {
        if (map != nullptr) tarnNodeMapDestroy(map);
        ManagerTest::TearDown();
    }
};

TEST_F(NodeMapTest, StartsWithTwoBuckets) {
    EXPECT_EQ(map->bucketCount, 2u);
    EXPECT_EQ(map->shift, 31);
    EXPECT_EQ(map->maxItems, 4u);
    EXPECT_EQ(map->itemSize, 32);
}

TEST_F(NodeMapTest, EntryVanishesWithItsLastLookup) {
    DdNode *value = var(2);
    uint32_t before = value->ref;
    ASSERT_EQ(tarnNodeMapInsert(map, var(1), value, 2), 1);
    EXPECT_EQ(value->ref, before + 1);
    EXPECT_EQ(tarnNodeMapLookup(map, var(1)), value);
    EXPECT_EQ(map->items, 1u);
    EXPECT_EQ(tarnNodeMapLookup(map, var(1)), value);
    EXPECT_EQ(map->items, 0u);
    EXPECT_EQ(value->ref, before);
    EXPECT_EQ(tarnNodeMapLookup(map, var(1)), nullptr);
    EXPECT_EQ(tarnNodeMapLookup(map, var(3)), nullptr);
}

TEST_F(NodeMapTest, GrowthKeepsEveryEntryReachable) {
    std::vector<DdNode *> keys;
    for (int i = 0; i < 40; i++) {
        DdNode *k = tarnUniqueConst(dd, 100.0 + i);
        Tarn_Ref(k);
        keys.push_back(k);
        ASSERT_EQ(tarnNodeMapInsert(map, k, var(i % 4), 1), 1);
    }
    EXPECT_GT(map->bucketCount, 2u);
    for (int i = 0; i < 40; i++) EXPECT_EQ(tarnNodeMapLookup(map, keys[i]), var(i % 4));
    EXPECT_EQ(map->items, 0u);
    for (DdNode *k : keys) Tarn_RecursiveDeref(dd, k);
}

TEST_F(NodeMapTest, DestroyDropsOneReferencePerRemainingEntry) {
    DdNode *f = node(0, var(1), zero());
    Tarn_Ref(f);
    tarnNodeMapInsert(map, var(2), f, 3);
    tarnNodeMapInsert(map, var(3), f, 1);
    tarnNodeMapLookup(map, var(2));  // the entry stays: two visits remain
    EXPECT_EQ(f->ref, 3u);
    tarnNodeMapDestroy(map);
    map = nullptr;
    EXPECT_EQ(f->ref, 1u);
}

}  // namespace
