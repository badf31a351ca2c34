#include "st.h"

#include "../util/util.h"

int st_compare_addresses(st_key a, st_key b) { return a != b; }
int st_hash_address(st_key key, int modulus) { return static_cast<int>((key / 8) % static_cast<st_key>(modulus)); }
int st_compare_numbers(st_key a, st_key b) { return a != b; }
int st_hash_number(st_key key, int modulus) { return static_cast<int>(key % static_cast<st_key>(modulus)); }

namespace {

constexpr int kDefaultBins = 11;
constexpr int kDefaultDensity = 5;
constexpr double kDefaultGrowth = 2.0;

// The standard functions are recognised and computed inline.
inline int binOf(const st_table *table, st_key key, int bins) {
    if (table->hash_fn == st_hash_address) return static_cast<int>((key / 8) % static_cast<st_key>(bins));
    if (table->hash_fn == st_hash_number) return static_cast<int>(key % static_cast<st_key>(bins));
    if (table->hash_fn != nullptr) return table->hash_fn(key, bins);
    return table->hash_arg_fn(key, bins, table->user_arg);
}

inline bool sameKey(const st_table *table, st_key key, st_key other) {
    if (table->cmp_fn == st_compare_addresses || table->cmp_fn == st_compare_numbers) return key == other;
    if (table->cmp_fn != nullptr) return table->cmp_fn(key, other) == 0;
    return table->cmp_arg_fn(key, other, table->user_arg) == 0;
}

// Grows the bins by the growth factor to an odd count; false (table unchanged) without memory.
bool rehash(st_table *table) {
    int newCount = static_cast<int>(table->bin_count * table->growth_factor);
    if (newCount % 2 == 0) newCount++;
    auto **bins = static_cast<st_table_entry **>(util_calloc(newCount, sizeof(st_table_entry *)));
    if (bins == nullptr) return false;
    int entries = 0;
    for (int i = 0; i < table->bin_count; i++) {
        st_table_entry *entry = table->bins[i];
        while (entry != nullptr) {
            st_table_entry *next = entry->next;
            int bin = binOf(table, entry->key, newCount);
            entry->next = bins[bin];
            bins[bin] = entry;
            entries++;
            entry = next;
        }
    }
    util_free(table->bins);
    table->bins = bins;
    table->bin_count = newCount;
    table->entry_count = entries;
    return true;
}

}  // namespace

st_table *st_init_table(ST_PFICPCP cmp_fn, ST_PFICPI hash_fn) {
    auto *table = util_alloc_array<st_table>(1);
    if (table == nullptr) return nullptr;
    *table = st_table{};
    table->cmp_fn = cmp_fn;
    table->hash_fn = hash_fn;
    table->bin_count = kDefaultBins;
    table->density_limit = kDefaultDensity;
    table->growth_factor = kDefaultGrowth;
    table->bins = static_cast<st_table_entry **>(util_calloc(kDefaultBins, sizeof(st_table_entry *)));
    if (table->bins == nullptr) {
        util_free(table);
        return nullptr;
    }
    return table;
}

int st_add_entry(st_table *table, st_key key, st_value value) {
    if (table->entry_count / table->bin_count >= table->density_limit && !rehash(table)) {
        return ST_NO_MEMORY;
    }
    auto *entry = util_alloc_array<st_table_entry>(1);
    if (entry == nullptr) return ST_NO_MEMORY;
    int bin = binOf(table, key, table->bin_count);
    entry->key = key;
    entry->record = value;
    entry->next = table->bins[bin];
    table->bins[bin] = entry;
    table->entry_count++;
    return 1;
}

int st_lookup(st_table *table, st_key key, st_value *value) {
    st_table_entry **head = &table->bins[binOf(table, key, table->bin_count)];
    for (st_table_entry **link = head; *link != nullptr; link = &(*link)->next) {
        st_table_entry *entry = *link;
        if (!sameKey(table, key, entry->key)) continue;
        if (table->move_to_front && link != head) {
            *link = entry->next;
            entry->next = *head;
            *head = entry;
        }
        if (value != nullptr) *value = entry->record;
        return 1;
    }
    return 0;
}

int st_walk(st_table *table, ST_PFSR visit, void *arg) {
    for (int i = 0; i < table->bin_count; i++) {
        st_table_entry **link = &table->bins[i];
        while (*link != nullptr) {
            st_table_entry *entry = *link;
            switch (visit(entry->key, entry->record, arg)) {
                case ST_WALK_ON:
                    link = &entry->next;
                    break;
                case ST_WALK_END:
                    return 0;
                case ST_WALK_DROP:
                    *link = entry->next;
                    util_free(entry);
                    table->entry_count--;
                    break;
                default:  // an unknown answer ends the walk rather than guess
                    return 0;
            }
        }
    }
    return 1;
}

void st_release_table(st_table *table) {
    for (int i = 0; i < table->bin_count; i++) {
        st_table_entry *entry = table->bins[i];
        while (entry != nullptr) {
            st_table_entry *next = entry->next;
            util_free(entry);
            entry = next;
        }
    }
    util_free(table->bins);
    util_free(table);
}
