// st_table: a small hash table from 64-bit keys (usually node addresses) to 64-bit values. The
// counting and printing operations keep one value per visited node in it for one call.
#pragma once

#include <cstdint>

using st_key = uintptr_t;
using st_value = uintptr_t;

using ST_PFICPCP = int (*)(st_key, st_key);                // comparison: 0 when equal
using ST_PFICPI = int (*)(st_key, int);                    // hash: bin of a key
using ST_PFICPCPCP = int (*)(st_key, st_key, void *);      // comparison with an argument
using ST_PFICPICP = int (*)(st_key, int, void *);          // hash with an argument

struct st_table_entry {
    st_key key;
    st_value record;
    st_table_entry *next;
};

struct st_table {
    ST_PFICPCP cmp_fn;
    ST_PFICPI hash_fn;
    ST_PFICPCPCP cmp_arg_fn;
    ST_PFICPICP hash_arg_fn;
    void *user_arg;
    int bin_count;
    int entry_count;
    int density_limit;
    int move_to_front;
    double growth_factor;
    st_table_entry **bins;
};

constexpr int ST_NO_MEMORY = -10000;

enum st_retval { ST_WALK_ON = 0, ST_WALK_END = 1, ST_WALK_DROP = 2 };
using ST_PFSR = st_retval (*)(st_key, st_value, void *);

int st_compare_addresses(st_key a, st_key b);
int st_hash_address(st_key key, int modulus);
int st_compare_numbers(st_key a, st_key b);
int st_hash_number(st_key key, int modulus);

// A table with 11 bins that grows by 2.0 when it holds 5 entries per bin; null without memory.
st_table *st_init_table(ST_PFICPCP cmp_fn, ST_PFICPI hash_fn);
// Adds an entry without looking for the key first: 1, or ST_NO_MEMORY.
int st_add_entry(st_table *table, st_key key, st_value value);
// 1 and the value through `value` (when not null) if the key is present, 0 otherwise.
int st_lookup(st_table *table, st_key key, st_value *value);
// Visits every entry; 0 when a visit ended the walk early.
int st_walk(st_table *table, ST_PFSR visit, void *arg);
void st_release_table(st_table *table);
