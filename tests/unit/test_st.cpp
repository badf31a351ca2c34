// st_table: growth to odd bin counts, duplicate keys, move-to-front, and the walk codes.
#include <gtest/gtest.h>

#include "st/st.h"

namespace {

int customCompare(st_key a, st_key b) { return a == b ? 0 : 1; }
int customHash(st_key key, int modulus) { return static_cast<int>(key % 7 % modulus); }

struct TableKind {
    const char *name;
    ST_PFICPCP cmp;
    ST_PFICPI hash;
};

class StTable : public ::testing::TestWithParam<TableKind> {
protected:
    st_table *table = nullptr;
    void SetUp() override { table = st_init_table(GetParam().cmp, GetParam().hash); }
    void TearDown() override { st_release_table(table); }
};

TEST_P(StTable, GrowsToOddBinCountsAndKeepsEveryEntry) {
    EXPECT_EQ(table->bin_count, 11);
    for (st_key k = 1; k <= 55; k++) ASSERT_EQ(st_add_entry(table, k * 8, k), 1);
    EXPECT_EQ(table->bin_count, 11);
    st_add_entry(table, 56 * 8, 56);  // 55 / 11 reached the density limit
    EXPECT_EQ(table->bin_count, 23);
    for (st_key k = 57; k <= 116; k++) st_add_entry(table, k * 8, k);
    EXPECT_EQ(table->bin_count, 47);
    EXPECT_EQ(table->entry_count, 116);
    for (st_key k = 1; k <= 116; k++) {
        st_value v = 0;
        ASSERT_EQ(st_lookup(table, k * 8, &v), 1);
        EXPECT_EQ(v, k);
    }
    EXPECT_EQ(st_lookup(table, 4, nullptr), 0);
}

TEST_P(StTable, DuplicateKeyFindsTheNewerEntry) {
    st_add_entry(table, 64, 1);
    st_add_entry(table, 64, 2);
    st_value v = 0;
    EXPECT_EQ(st_lookup(table, 64, &v), 1);
    EXPECT_EQ(v, 2u);
    EXPECT_EQ(table->entry_count, 2);
}

INSTANTIATE_TEST_SUITE_P(St, StTable,
                         ::testing::Values(TableKind{"addresses", st_compare_addresses, st_hash_address},
                                           TableKind{"numbers", st_compare_numbers, st_hash_number},
                                           TableKind{"custom", customCompare, customHash}),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(St, MoveToFrontPutsTheFoundEntryAtTheHeadOfItsBin) {
    st_table *table = st_init_table(st_compare_numbers, st_hash_number);
    table->move_to_front = 1;
    st_add_entry(table, 3, 30);
    st_add_entry(table, 14, 140);  // same bin as 3 (11 bins)
    ASSERT_EQ(table->bins[3]->key, 14u);
    EXPECT_EQ(st_lookup(table, 3, nullptr), 1);
    EXPECT_EQ(table->bins[3]->key, 3u);
    EXPECT_EQ(table->bins[3]->next->key, 14u);
    st_release_table(table);
}

st_retval dropAll(st_key, st_value, void *arg) {
    ++*static_cast<int *>(arg);
    return ST_WALK_DROP;
}
st_retval endAtThird(st_key, st_value, void *arg) {
    return ++*static_cast<int *>(arg) == 3 ? ST_WALK_END : ST_WALK_ON;
}

TEST(St, WalkDropsAndEnds) {
    st_table *table = st_init_table(st_compare_numbers, st_hash_number);
    for (st_key k = 0; k < 20; k++) st_add_entry(table, k, k);
    int visits = 0;
    EXPECT_EQ(st_walk(table, endAtThird, &visits), 0);
    EXPECT_EQ(visits, 3);
    EXPECT_EQ(table->entry_count, 20);
    visits = 0;
    EXPECT_EQ(st_walk(table, dropAll, &visits), 1);
    EXPECT_EQ(visits, 20);
    EXPECT_EQ(table->entry_count, 0);
    for (int i = 0; i < table->bin_count; i++) EXPECT_EQ(table->bins[i], nullptr);
    st_release_table(table);
}

}  // namespace
