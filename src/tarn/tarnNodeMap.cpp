// The per-call node map: a private hash table from nodes to results that lives for one attempt of
// an operation. Each entry holds a reference on its value and a count of the visits its node can
// still receive; the entry and its reference go with the last one.
#include <algorithm>

#include "tarnInt.h"

namespace {

constexpr int kSlotsPerBlock = 1023;

inline uint32_t bucketOf(const DdNodeMap *map, DdNode *key) {
    return (tarnLo32(key) * TARN_P1) >> map->shift;
}

// Doubles the buckets; without memory the map keeps its buckets, which is not an error.
void growBuckets(DdNodeMap *map) {
    map->maxItems *= 2;
    unsigned newCount = map->bucketCount * 2;
    auto **buckets =
        static_cast<DdNodeMapItem **>(tarnGuardedMalloc(map->manager, sizeof(DdNodeMapItem *) * newCount));
    if (buckets == nullptr) return;
    std::fill(buckets, buckets + newCount, nullptr);
    map->shift--;
    for (unsigned j = 0; j < map->bucketCount; j++) {
        DdNodeMapItem *item = map->buckets[j];
        while (item != nullptr) {
            DdNodeMapItem *next = item->next;
            DdNodeMapItem **bucket = &buckets[bucketOf(map, item->key)];
            item->next = *bucket;
            *bucket = item;
            item = next;
        }
    }
    util_free(map->buckets);
    map->buckets = buckets;
    map->bucketCount = newCount;
}

// Cuts a block of slots: the first links the block into the block list, the rest become free.
bool addBlock(DdNodeMap *map) {
    DdManager *dd = map->manager;
    const size_t bytes = sizeof(DdNodeMapItem) * kSlotsPerBlock;
    auto *block = static_cast<DdNodeMapItem *>(tarnGuardedMalloc(dd, bytes));
    if (block == nullptr) {
        if (dd->reserve != nullptr) {
            util_free(dd->reserve);
            dd->reserve = nullptr;
            tarnLowMemoryAdjustments(dd);
            block = static_cast<DdNodeMapItem *>(util_malloc(bytes));
        } else if (util_out_of_memory != nullptr) {
            util_out_of_memory(bytes);
        }
        if (block == nullptr) {
            dd->errorCode = TARN_OUT_OF_MEMORY;
            return false;
        }
    }
    block[0].next = map->blocks;
    map->blocks = block;
    for (int i = 1; i < kSlotsPerBlock; i++) {
        block[i].next = map->freeItems;
        map->freeItems = &block[i];
    }
    return true;
}

}  // namespace

DdNodeMap *tarnNodeMapCreate(DdManager *dd, int keySize, int initialSize) {
    auto *map = util_alloc_array<DdNodeMap>(1);
    if (map == nullptr) {
        dd->errorCode = TARN_OUT_OF_MEMORY;
        return nullptr;
    }
    unsigned count = 1;
    int shift = 32;
    for (int size = initialSize < 2 ? 2 : initialSize; size > 1; size >>= 1) {
        count <<= 1;
        shift--;
    }
    *map = DdNodeMap{};
    map->manager = dd;
    map->keySize = keySize;
    map->itemSize = 8 * keySize + 24;
    map->bucketCount = count;
    map->shift = shift;
    map->maxItems = 2 * count;
    map->buckets = util_alloc_array<DdNodeMapItem *>(count);
    if (map->buckets == nullptr) {
        util_free(map);
        dd->errorCode = TARN_OUT_OF_MEMORY;
        return nullptr;
    }
    std::fill(map->buckets, map->buckets + count, nullptr);
    return map;
}

int tarnNodeMapInsert(DdNodeMap *map, DdNode *f, DdNode *value, int64_t count) {
    if (map->items > map->maxItems) growBuckets(map);
    if (map->freeItems == nullptr && !addBlock(map)) return 0;
    DdNodeMapItem *item = map->freeItems;
    map->freeItems = item->next;
    map->items++;
    item->value = value;
    tarnRef(value);
    item->count = count;
    item->key = f;
    DdNodeMapItem **bucket = &map->buckets[bucketOf(map, f)];
    item->next = *bucket;
    *bucket = item;
    return 1;
}

DdNode *tarnNodeMapLookup(DdNodeMap *map, DdNode *f) {
    for (DdNodeMapItem **link = &map->buckets[bucketOf(map, f)]; *link != nullptr;
         link = &(*link)->next) {
        DdNodeMapItem *item = *link;
        if (item->key != f) continue;
        DdNode *value = item->value;
        if (--item->count == 0) {
            // The last expected visit: the caller takes its own reference if it keeps the value.
            tarnDecRef(value);
            *link = item->next;
            item->next = map->freeItems;
            map->freeItems = item;
            map->items--;
        }
        return value;
    }
    return nullptr;
}

void tarnNodeMapDestroy(DdNodeMap *map) {
    for (unsigned j = 0; j < map->bucketCount; j++) {
        for (DdNodeMapItem *item = map->buckets[j]; item != nullptr; item = item->next) {
            Tarn_RecursiveDeref(map->manager, item->value);
        }
    }
    DdNodeMapItem *block = map->blocks;
    while (block != nullptr) {
        DdNodeMapItem *next = block->next;
        util_free(block);
        block = next;
    }
    util_free(map->buckets);
    util_free(map);
}
