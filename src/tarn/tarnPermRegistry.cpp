// The registry of renamings: every distinct permutation array that the renaming operations have
// used gets an identity, under which their results are kept in the computed table across calls.
//
// A permutation is interned by its contents (its length and its entries), so two arrays with the
// same entries share one identity and an array that was edited between calls gets another one.
// An identity is the address of a 32-byte slot of an arena that the registry owns: such an address
// has bits 0 to 3 clear and is never the identity of any other operation. A slot is given to a new
// permutation only after every computed-table entry that may carry it is gone: the registry is
// emptied when the whole table is flushed, and when it is full it first clears the entries of all
// its identities from the table.
#include <algorithm>

#include "tarnInt.h"

namespace {

// Slots of the arena, and the total number of permutation entries the registry keeps before it
// starts afresh.
constexpr unsigned kSlots = 256;
constexpr size_t kMaxEntries = size_t{1} << 22;
constexpr unsigned kBuckets = 512;
constexpr size_t kSlotBytes = 32;

struct Interned {
    Interned *next;  // chain of the bucket
    uint64_t hash;
    unsigned slot;
    int length;
    int entries[1];  // length entries
};

// Allocation without the out-of-memory report: without memory the renaming only loses its
// memo across calls.
void *quietMalloc(size_t size) {
    UtilOutOfMemoryFn saved = util_out_of_memory;
    util_out_of_memory = nullptr;
    void *p = util_malloc(size);
    util_out_of_memory = saved;
    return p;
}

void *quietMallocAligned(size_t alignment, size_t size) {
    UtilOutOfMemoryFn saved = util_out_of_memory;
    util_out_of_memory = nullptr;
    void *p = util_malloc_aligned(alignment, size);
    util_out_of_memory = saved;
    return p;
}

uint64_t hashEntries(const int *entries, int length) {
    uint64_t h = 0x9e3779b97f4a7c15ull ^ static_cast<uint64_t>(length);
    for (int i = 0; i < length; i++) {
        h = (h ^ static_cast<uint32_t>(entries[i])) * 0x100000001b3ull;
        h ^= h >> 29;
    }
    return h;
}

}  // namespace

struct DdPermutationRegistry {
    char *arena;  // kSlots slots of kSlotBytes; a slot's address is an identity
    Interned *buckets[kBuckets];
    unsigned used;  // slots handed out
    size_t entries;  // permutation entries kept
};

namespace {

void forgetAll(DdPermutationRegistry *registry) {
    for (Interned *&head : registry->buckets) {
        while (head != nullptr) {
            Interned *next = head->next;
            util_free(head);
            head = next;
        }
    }
    registry->used = 0;
    registry->entries = 0;
}

DdPermutationRegistry *registryOf(DdManager *dd) {
    if (dd->permutations != nullptr) return dd->permutations;
    auto *registry =
        static_cast<DdPermutationRegistry *>(quietMalloc(sizeof(DdPermutationRegistry)));
    if (registry == nullptr) return nullptr;
    registry->arena = static_cast<char *>(quietMallocAligned(kSlotBytes, kSlots * kSlotBytes));
    if (registry->arena == nullptr) {
        util_free(registry);
        return nullptr;
    }
    std::fill(registry->buckets, registry->buckets + kBuckets, nullptr);
    registry->used = 0;
    registry->entries = 0;
    dd->permutations = registry;
    return registry;
}

}  // namespace

TarnCacheTag tarnPermutationIdentity(DdManager *dd, const int *perm, int length, bool isAdd) {
    DdPermutationRegistry *registry = registryOf(dd);
    if (registry == nullptr) return 0;
    const uint64_t hash = hashEntries(perm, length);
    Interned **bucket = &registry->buckets[hash % kBuckets];
    Interned *found = nullptr;
    for (Interned *p = *bucket; p != nullptr; p = p->next) {
        if (p->hash == hash && p->length == length &&
            std::equal(perm, perm + length, p->entries)) {
            found = p;
            break;
        }
    }
    if (found == nullptr) {
        if (registry->used == kSlots ||
            registry->entries + static_cast<size_t>(length) > kMaxEntries) {
            // Full: the table forgets every result made under the registry's identities, after
            // which all slots are free again.
            tarnCacheClearIdentities(dd, reinterpret_cast<uintptr_t>(registry->arena),
                                     reinterpret_cast<uintptr_t>(registry->arena) +
                                         kSlots * kSlotBytes);
            forgetAll(registry);
            bucket = &registry->buckets[hash % kBuckets];
        }
        const size_t bytes =
            sizeof(Interned) + sizeof(int) * static_cast<size_t>(std::max(length, 1));
        found = static_cast<Interned *>(quietMalloc(bytes));
        if (found == nullptr) return 0;
        found->hash = hash;
        found->slot = registry->used++;
        found->length = length;
        std::copy(perm, perm + length, found->entries);
        found->next = *bucket;
        *bucket = found;
        registry->entries += static_cast<size_t>(length);
    }
    // BDD and ADD renamings keep apart: the ADD identity is the second half of the slot.
    const uintptr_t slot = reinterpret_cast<uintptr_t>(registry->arena) + found->slot * kSlotBytes;
    return slot + (isAdd ? kSlotBytes / 2 : 0);
}

void tarnPermutationRegistryReset(DdManager *dd) {
    if (dd->permutations != nullptr) forgetAll(dd->permutations);
}

void tarnPermutationRegistryFree(DdManager *dd) {
    DdPermutationRegistry *registry = dd->permutations;
    if (registry == nullptr) return;
    forgetAll(registry);
    util_free(registry->arena);
    util_free(registry);
    dd->permutations = nullptr;
}
