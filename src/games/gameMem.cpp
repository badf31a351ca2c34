// The game memories: gr1_mem and rabin_mem, their growth routines, the copies from incremental
// input, their release, and the readers behind the getter entry points.
#include <cstdint>
#include <cstdio>

#include "games/gameInt.h"
#include "util/util.h"

gr1_memory gr1_mem;
rabin_memory rabin_mem;

// ---- allocation
// ----------------------------------------------------------------------------------

void *game_malloc(size_t bytes) {
    UtilOutOfMemoryFn saved = util_out_of_memory;
    util_out_of_memory = nullptr;
    void *p = util_malloc(bytes);
    util_out_of_memory = saved;
    return p;
}

void *game_realloc(void *pointer, size_t bytes) {
    UtilOutOfMemoryFn saved = util_out_of_memory;
    util_out_of_memory = nullptr;
    void *p = util_realloc(pointer, bytes);
    util_out_of_memory = saved;
    return p;
}

void game_free(void *pointer) {
    util_free(pointer);
}

// An innermost array keeps its capacity in a word just before its first handle.
namespace {

DdNode **base_of(DdNode **array) {
    return array - 1;
}

void set_capacity(DdNode **base, int capacity) {
    base[0] = reinterpret_cast<DdNode *>(static_cast<uintptr_t>(capacity));
}

}  // namespace

DdNode **handle_array_new(int capacity) {
    auto **base = game_alloc_array<DdNode *>(static_cast<size_t>(capacity) + 1);
    if (base == nullptr) return nullptr;
    set_capacity(base, capacity);
    return base + 1;
}

int handle_array_capacity(DdNode **array) {
    return static_cast<int>(reinterpret_cast<uintptr_t>(base_of(array)[0]));
}

bool handle_array_grow(DdNode ***array, int newSize) {
    if (handle_array_capacity(*array) >= newSize) return true;
    auto **base = static_cast<DdNode **>(
        game_realloc(base_of(*array), (static_cast<size_t>(newSize) + 1) * sizeof(DdNode *)));
    if (base == nullptr) return false;
    set_capacity(base, newSize);
    *array = base + 1;
    return true;
}

void handle_array_free(DdNode **array) {
    if (array != nullptr) game_free(base_of(array));
}

DdNode ***handle_rows_new(int columns, int capacity) {
    auto ***row = game_alloc_array<DdNode **>(static_cast<size_t>(columns));
    if (row == nullptr) return nullptr;
    for (int i = 0; i < columns; i++) {
        row[i] = handle_array_new(capacity);
        if (row[i] == nullptr) {
            handle_rows_free(row, i);
            return nullptr;
        }
    }
    return row;
}

void handle_rows_free(DdNode ***row, int columns) {
    if (row == nullptr) return;
    for (int i = 0; i < columns; i++) handle_array_free(row[i]);
    game_free(row);
}

DdNode ****handle_table_new(int rows, int columns, int capacity) {
    auto ****table = game_alloc_array<DdNode ***>(static_cast<size_t>(rows));
    if (table == nullptr) return nullptr;
    for (int r = 0; r < rows; r++) {
        table[r] = handle_rows_new(columns, capacity);
        if (table[r] == nullptr) {
            handle_table_free(table, r, columns);
            return nullptr;
        }
    }
    return table;
}

void handle_table_free(DdNode ****table, int rows, int columns) {
    if (table == nullptr) return;
    for (int r = 0; r < rows; r++) handle_rows_free(table[r], columns);
    game_free(table);
}

// ---- incremental input
// -----------------------------------------------------------------------------

void print_inc_type(int t) {
    printf(
        "INC_TYPE_PREV_INI_REMOVED = %d, INC_TYPE_PREV_SAFETY_REMOVED = %d, "
        "INC_TYPE_PREV_JUSTICE_REMOVED = %d \t\t\t\nINC_TYPE_NEW_INI_ADDED = %d, "
        "INC_TYPE_NEW_SAFETY_ADDED = %d, INC_TYPE_NEW_JUSTICE_ADDED = %d\n",
        (t & INC_TYPE_PREV_INI_REMOVED) != 0, (t & INC_TYPE_PREV_SAFETY_REMOVED) != 0,
        (t & INC_TYPE_PREV_JUSTICE_REMOVED) != 0, (t & INC_TYPE_NEW_INI_ADDED) != 0,
        (t & INC_TYPE_NEW_SAFETY_ADDED) != 0, (t & INC_TYPE_NEW_JUSTICE_ADDED) != 0);
}

bool is_only_ini_change(int t) {
    return (t & 0x38) == 0x08 || (t & 0x07) == 0x01;
}

bool unflatten_gr1_inc_x(gr1_inc_data *inc, DdNode *const *flat, long flatSize, long *used) {
    long next = 0;
    inc->x_mem = nullptr;
    if (inc->sizeD1 < 0 || inc->sizeD2 < 0) return false;
    for (int i = 0; i < inc->sizeD1; i++) {
        if (inc->sizeD3[i] < 0) return false;
        next += static_cast<long>(inc->sizeD3[i]) * inc->sizeD2;
    }
    if (next > flatSize) return false;
    auto ****x = game_alloc_array<DdNode ***>(static_cast<size_t>(inc->sizeD1));
    if (x == nullptr) return false;
    next = 0;
    for (int i = 0; i < inc->sizeD1; i++) {
        x[i] = game_alloc_array<DdNode **>(static_cast<size_t>(inc->sizeD2));
        if (x[i] == nullptr) {
            for (int k = 0; k < i; k++) game_free(x[k]);
            game_free(x);
            return false;
        }
        for (int j = 0; j < inc->sizeD2; j++) {
            x[i][j] = const_cast<DdNode **>(flat + next);
            next += inc->sizeD3[i];
        }
    }
    inc->x_mem = x;
    *used = next;
    return true;
}

void free_gr1_inc_x(gr1_inc_data *inc) {
    if (inc->x_mem == nullptr) return;
    for (int i = 0; i < inc->sizeD1; i++) game_free(inc->x_mem[i]);
    game_free(inc->x_mem);
    inc->x_mem = nullptr;
}

bool unflatten_rabin_inc(rabin_inc_data *inc, const int *counts, DdNode *const *flat, long flatSize,
                         long *used) {
    inc->x_mem = nullptr;
    inc->sizeD3 = nullptr;
    if (inc->sizeD1 < 0 || inc->sizeD2 < 0) return false;
    const long cells = static_cast<long>(inc->sizeD1) * inc->sizeD2;
    long total = 0;
    for (long c = 0; c < cells; c++) {
        if (counts[c] < 0) return false;
        total += counts[c];
    }
    if (total > flatSize) return false;
    auto **sizes = game_alloc_array<int *>(static_cast<size_t>(inc->sizeD1));
    auto ****x = game_alloc_array<DdNode ***>(static_cast<size_t>(inc->sizeD1));
    if (sizes == nullptr || x == nullptr) {
        game_free(sizes);
        game_free(x);
        return false;
    }
    inc->sizeD3 = sizes;
    inc->x_mem = x;
    long next = 0;
    for (int zi = 0; zi < inc->sizeD1; zi++) {
        sizes[zi] = game_alloc_array<int>(static_cast<size_t>(inc->sizeD2));
        x[zi] = game_alloc_array<DdNode **>(static_cast<size_t>(inc->sizeD2));
        if (sizes[zi] == nullptr || x[zi] == nullptr) {
            game_free(sizes[zi]);
            game_free(x[zi]);
            // rows below zi are complete: free them and the outer arrays
            for (int r = 0; r < zi; r++) {
                game_free(sizes[r]);
                game_free(x[r]);
            }
            game_free(sizes);
            game_free(x);
            inc->sizeD3 = nullptr;
            inc->x_mem = nullptr;
            return false;
        }
        for (int i = 0; i < inc->sizeD2; i++) {
            const int n = counts[static_cast<long>(zi) * inc->sizeD2 + i];
            sizes[zi][i] = n;
            x[zi][i] = const_cast<DdNode **>(flat + next);
            next += n;
        }
    }
    *used = next;
    return true;
}

void free_rabin_inc(rabin_inc_data *inc) {
    for (int zi = 0; zi < inc->sizeD1; zi++) {
        if (inc->sizeD3 != nullptr) game_free(inc->sizeD3[zi]);
        if (inc->x_mem != nullptr) game_free(inc->x_mem[zi]);
    }
    game_free(inc->sizeD3);
    game_free(inc->x_mem);
    inc->sizeD3 = nullptr;
    inc->x_mem = nullptr;
}

// ---- release
// -----------------------------------------------------------------------------------------

void free_gr1_mem() {
    gr1_memory &m = gr1_mem;
    if (m.x_mem != nullptr || m.y_mem != nullptr) {
        for (int j = 0; j < m.sizeD1; j++) {
            if (m.x_mem != nullptr) handle_rows_free(m.x_mem[j], m.sizeD2);
            if (m.y_mem != nullptr) handle_array_free(m.y_mem[j]);
        }
        game_free(m.x_mem);
        game_free(m.y_mem);
    }
    game_free(m.sizeD3);
    game_free(m.z_mem);
    game_free(m.z_mem_first_itr);
    m = gr1_memory{};
}

void free_rabin_mem() {
    rabin_memory &m = rabin_mem;
    handle_table_free(m.x_mem, m.rows, m.sizeD2);
    handle_table_free(m.x_mem_recycle, m.recycle_rows, m.sizeD2);
    game_free(m.z_mem);
    if (m.sizeD3 != nullptr) {
        for (int zi = 0; zi < m.sizeD1; zi++) game_free(m.sizeD3[zi]);
        game_free(m.sizeD3);
    }
    m = rabin_memory{};
}

// ---- growth
// ------------------------------------------------------------------------------------------

bool extend_size_1D(DdNode ***array, int newSize) {
    printf("extend_size_1D: newSize = %d\n", newSize);
    auto **grown = static_cast<DdNode **>(
        game_realloc(*array, static_cast<size_t>(newSize > 0 ? newSize : 1) * sizeof(DdNode *)));
    if (grown == nullptr) {
        printf("ERROR: can't realloc in extend_size_1D!");
        fflush(stdout);
        return false;
    }
    *array = grown;
    printf("extend_size_1D end\n");
    return true;
}

bool extend_size_2D(DdNode ***rows, int rowCount, int newSize) {
    printf("extend_size_2D: newSize = %d\n", newSize);
    for (int r = 0; r < rowCount; r++) {
        if (!handle_array_grow(&rows[r], newSize)) {
            printf("ERROR: can't realloc in extend_size_2D!\n");
            fflush(stdout);
            return false;
        }
    }
    printf("extend_size_2D end\n");
    return true;
}

bool extend_size_3D(DdNode ****array, int count1, int count2, int newSize) {
    printf("extend_size_3D: newSize = %d\n", newSize);
    for (int a = 0; a < count1; a++) {
        for (int b = 0; b < count2; b++) {
            if (!handle_array_grow(&array[a][b], newSize)) {
                printf("ERROR: can't realloc in extend_size_3D!\n");
                return false;
            }
        }
    }
    printf("extend_size_3D end\n");
    return true;
}

bool extend_size_1D_3D(DdNode *****array, int oldSize, int newSize, int sizeD2, int capacity) {
    printf("extend_size_1D_3D: oldSize=%d, newSize=%d\n", oldSize, newSize);
    auto ****grown = game_alloc_array<DdNode ***>(static_cast<size_t>(newSize));
    if (grown == nullptr) {
        printf("ERROR: can't allocate in extend_size_1D_3D! i=%d, oldSize=%d\n", 0, oldSize);
        fflush(stdout);
        return false;
    }
    for (int r = 0; r < oldSize; r++) grown[r] = (*array)[r];
    for (int r = oldSize; r < newSize; r++) {
        grown[r] = handle_rows_new(sizeD2, capacity);
        if (grown[r] == nullptr) {
            printf("ERROR: can't allocate in extend_size_1D_3D! i=%d, oldSize=%d\n", r, oldSize);
            fflush(stdout);
            for (int f = oldSize; f < r; f++) handle_rows_free(grown[f], sizeD2);
            game_free(grown);
            return false;
        }
    }
    game_free(*array);
    *array = grown;
    printf("extend_size_1D_3D end\n");
    return true;
}

bool extend_size_1D_2D_int(int ***array, int oldSize, int newSize, int sizeD2) {
    printf("extend_size_1D_2D_int: newSize = %d\n", newSize);
    auto **grown = game_alloc_array<int *>(static_cast<size_t>(newSize));
    bool ok = grown != nullptr;
    int made = oldSize;
    if (ok) {
        for (int r = 0; r < oldSize; r++) grown[r] = (*array)[r];
        for (; made < newSize; made++) {
            grown[made] = game_alloc_array<int>(static_cast<size_t>(sizeD2));
            if (grown[made] == nullptr) break;
            for (int c = 0; c < sizeD2; c++) grown[made][c] = -1;
        }
        ok = made == newSize;
    }
    if (!ok) {
        printf("ERROR: can't realloc in extend_size_1D_2D_int!");
        fflush(stdout);
        if (grown != nullptr) {
            for (int r = oldSize; r < made; r++) game_free(grown[r]);
            game_free(grown);
        }
        return false;
    }
    game_free(*array);
    *array = grown;
    for (int r = 0; r < newSize; r++) {
        for (int c = 0; c < sizeD2; c++) printf("in[%d][%d] = %d\n", r, c, grown[r][c]);
    }
    printf("extend_size_1D_2D_int end\n");
    return true;
}

// ---- copies from incremental input -------------------------------------------------------------

// Stores f with a reference of its own in entry i of a handle array whose unset entries are null;
// an entry that holds a handle gives it back first.
static void store_entry(DdManager *dd, DdNode **array, int i, DdNode *f) {
    Tarn_Ref(f);
    if (array[i] != nullptr) Tarn_RecursiveDeref(dd, array[i]);
    array[i] = f;
}

// Makes room for count handles in an innermost array that is to receive them: an array at the
// solver's capacity or beyond is resized to exactly count (never below what it holds).
static bool room_for(DdNode ***array, int count, int capacity) {
    return count < capacity || handle_array_grow(array, count);
}

bool copy_to_gr1_mem(DdManager *dd, const gr1_inc_data &inc, int capacity) {
    printf("copy_to_gr1_mem\n");
    gr1_memory &m = gr1_mem;
    game_free(m.sizeD3);
    m.sizeD3 = game_alloc_array<int>(static_cast<size_t>(inc.sizeD1));
    if (m.sizeD3 == nullptr) return false;
    for (int i = 0; i < inc.sizeD1; i++) m.sizeD3[i] = inc.sizeD3[i];
    DdNode *zero = Tarn_Not(Tarn_ReadOne(dd));
    for (int i = 0; i < inc.sizeD1; i++) {
        const int n = inc.sizeD3[i];
        store_entry(dd, m.z_mem, i, inc.z_mem[i]);
        store_entry(dd, m.z_mem_first_itr, i, inc.z_mem_first_itr[i]);
        for (int j = 0; j < inc.sizeD2; j++) {
            if (!room_for(&m.x_mem[i][j], n, capacity)) {
                printf("ERROR: can't realloc in gr1_mem.x_mem[%d][%d]!\n", i, j);
                fflush(stdout);
                return false;
            }
            for (int k = 0; k < n; k++) store_slot(dd, m.x_mem[i][j], k, 0, inc.x_mem[i][j][k]);
        }
        if (!room_for(&m.y_mem[i], n, capacity)) {
            printf("ERROR: can't realloc in gr1_mem.y_mem[%d]!\n", i);
            fflush(stdout);
            return false;
        }
        for (int k = 0; k < n; k++) store_slot(dd, m.y_mem[i], k, 0, zero);
    }
    return true;
}

bool copy_to_rabin_mem(DdManager *dd, const rabin_inc_data &inc, int **counts, int capacity,
                       int n) {
    rabin_memory &m = rabin_mem;
    for (int zi = 0; zi < n; zi++) {
        store_entry(dd, m.z_mem, zi, inc.z_mem[zi]);
        for (int i = 0; i < inc.sizeD2; i++) {
            const int previous = counts[zi][i];
            const int count = inc.sizeD3[zi][i];
            if (!room_for(&m.x_mem[zi][i], count, capacity)) {
                printf("ERROR: can't realloc in rabin_mem.x_mem[%d][%d]!\n", zi, i);
                fflush(stdout);
                return false;
            }
            for (int k = 0; k < count; k++) {
                store_slot(dd, m.x_mem[zi][i], k, previous, inc.x_mem[zi][i][k]);
            }
            counts[zi][i] = count;
        }
    }
    return true;
}

// ---- readers
// -----------------------------------------------------------------------------------------

namespace {

// Turns every -1 count of gr1_mem into 0, with one line per count.
void clear_unset_counts(const char *prefix) {
    if (gr1_mem.sizeD3 == nullptr) return;
    for (int j = 0; j < gr1_mem.sizeD1; j++) {
        if (gr1_mem.sizeD3[j] == -1) {
            printf("%s: gr1_mem.sizeD3[%d] = -1 ---> ok only for inc alg\n", prefix, j);
            gr1_mem.sizeD3[j] = 0;
        }
    }
}

int gr1_count(int j) {
    return gr1_mem.sizeD3[j] > 0 ? gr1_mem.sizeD3[j] : 0;
}

int rabin_count(int zi, int i) {
    const int n = rabin_mem.sizeD3[zi][i];
    return n > 0 ? n : 0;
}

}  // namespace

std::vector<int> gr1_attr_sizes(const char *prefix) {
    clear_unset_counts(prefix);
    if (gr1_mem.sizeD3 == nullptr) return {};
    return std::vector<int>(gr1_mem.sizeD3, gr1_mem.sizeD3 + gr1_mem.sizeD1);
}

std::vector<DdNode *> gr1_x_mem_flat(const char *prefix) {
    clear_unset_counts(prefix);
    std::vector<DdNode *> out;
    if (gr1_mem.sizeD3 == nullptr || gr1_mem.x_mem == nullptr) return out;
    for (int j = 0; j < gr1_mem.sizeD1; j++) {
        for (int i = 0; i < gr1_mem.sizeD2; i++) {
            for (int k = 0; k < gr1_count(j); k++) out.push_back(gr1_mem.x_mem[j][i][k]);
        }
    }
    return out;
}

std::vector<DdNode *> gr1_y_mem_flat(const char *prefix) {
    clear_unset_counts(prefix);
    std::vector<DdNode *> out;
    if (gr1_mem.sizeD3 == nullptr || gr1_mem.y_mem == nullptr) return out;
    for (int j = 0; j < gr1_mem.sizeD1; j++) {
        for (int k = 0; k < gr1_count(j); k++) out.push_back(gr1_mem.y_mem[j][k]);
    }
    return out;
}

std::vector<DdNode *> gr1_z_mem_flat() {
    if (gr1_mem.z_mem == nullptr) return {};
    return std::vector<DdNode *>(gr1_mem.z_mem, gr1_mem.z_mem + gr1_mem.sizeD1);
}

std::vector<DdNode *> gr1_z_mem_first_itr_flat() {
    if (gr1_mem.z_mem_first_itr == nullptr) return {};
    return std::vector<DdNode *>(gr1_mem.z_mem_first_itr, gr1_mem.z_mem_first_itr + gr1_mem.sizeD1);
}

int rabin_z_size() {
    return rabin_mem.sizeD1;
}

std::vector<DdNode *> rabin_z_mem_flat() {
    if (rabin_mem.z_mem == nullptr) return {};
    return std::vector<DdNode *>(rabin_mem.z_mem, rabin_mem.z_mem + rabin_mem.sizeD1);
}

std::vector<int> rabin_x_sizes() {
    std::vector<int> out;
    if (rabin_mem.sizeD3 == nullptr) return out;
    for (int zi = 0; zi < rabin_mem.sizeD1; zi++) {
        for (int i = 0; i < rabin_mem.sizeD2; i++) out.push_back(rabin_mem.sizeD3[zi][i]);
    }
    return out;
}

std::vector<DdNode *> rabin_x_mem_flat() {
    std::vector<DdNode *> out;
    long total = 0;
    if (rabin_mem.sizeD3 != nullptr && rabin_mem.x_mem != nullptr) {
        for (int zi = 0; zi < rabin_mem.sizeD1; zi++) {
            for (int i = 0; i < rabin_mem.sizeD2; i++) total += rabin_count(zi, i);
        }
        out.reserve(static_cast<size_t>(total));
        for (int zi = 0; zi < rabin_mem.sizeD1; zi++) {
            for (int i = 0; i < rabin_mem.sizeD2; i++) {
                for (int k = 0; k < rabin_count(zi, i); k++)
                    out.push_back(rabin_mem.x_mem[zi][i][k]);
            }
        }
    }
    printf("retSize=%ld, idx=%zu\n", total, out.size());
    return out;
}
