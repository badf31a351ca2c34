// Helpers shared by the game solvers' own files.
#pragma once

#include <cstddef>

#include "games/games.h"

// malloc and realloc through the process services with the out-of-memory handler switched off, so
// that a failure returns null to the solver instead of ending the process. Call only under the
// library lock (the handler is a process-wide variable).
void *game_malloc(size_t bytes);
void *game_realloc(void *pointer, size_t bytes);
void game_free(void *pointer);

template <class T>
T *game_alloc_array(size_t count) {
    return static_cast<T *>(game_malloc((count != 0 ? count : 1) * sizeof(T)));
}

// p renamed to its primed copy through the pairing entries, referenced; null when the index array
// cannot be allocated (after its message), when an entry names no variable, or when the renaming
// fails. The GR(1) solver flushes standard output after the message, the Rabin solver does not.
DdNode *prime(DdManager *dd, const game_structure &game, DdNode *p, bool flushMessage = true);

// A result kept: referenced unless it is null.
inline DdNode *keep(DdNode *f) {
    if (f != nullptr) Tarn_Ref(f);
    return f;
}

// Releases a held handle (null is ignored) and clears the holder.
inline void release(DdManager *dd, DdNode *&held) {
    if (held != nullptr) Tarn_RecursiveDeref(dd, held);
    held = nullptr;
}

// Replaces a held handle with f, which already carries the reference the holder takes over.
inline void take(DdManager *dd, DdNode *&held, DdNode *f) {
    release(dd, held);
    held = f;
}

// Replaces a held handle with f, taking a reference of its own.
inline void hold(DdManager *dd, DdNode *&held, DdNode *f) {
    Tarn_Ref(f);
    release(dd, held);
    held = f;
}

// Stores f with a reference of its own in slot k of a memory array whose first `valid` slots hold
// references: a slot below that count gives its handle back first.
inline void store_slot(DdManager *dd, DdNode **array, int k, int valid, DdNode *f) {
    Tarn_Ref(f);
    if (k < valid) Tarn_RecursiveDeref(dd, array[k]);
    array[k] = f;
}

// Gives back the references of slots from..to-1 of a memory array. A fixpoint that stores fewer
// iterates than the count of its slots, or stores iterates it does not count, calls it for the
// slots no count covers any more: nothing else would release them.
inline void release_slots(DdManager *dd, DdNode **array, int from, int to) {
    for (int k = from < 0 ? 0 : from; k < to; k++) Tarn_RecursiveDeref(dd, array[k]);
}

// The intermediates of the last controllable-predecessor step (the primed set and the first
// relational product), each holding one reference. A step releases the previous step's
// intermediates only after it has made its own: successive iterates of a fixpoint share most of
// their nodes, and intermediates released at once would leave those nodes dead, to be revived by
// the next step. release() gives both references back.
class CpreCarry {
public:
    explicit CpreCarry(DdManager *dd) : dd_(dd) {}
    CpreCarry(const CpreCarry &) = delete;
    CpreCarry &operator=(const CpreCarry &) = delete;
    ~CpreCarry() { release(); }

    // Holds f (which carries its reference) in place of the previous step's intermediate.
    void carryPrimed(DdNode *f) { take(dd_, primed_, f); }
    void carryImage(DdNode *f) { take(dd_, image_, f); }
    void release() {
        ::release(dd_, primed_);
        ::release(dd_, image_);
    }

private:
    DdManager *dd_;
    DdNode *primed_ = nullptr;
    DdNode *image_ = nullptr;
};

// The controllable predecessors with the intermediates handed to a carry instead of released.
DdNode *sysCpre(DdManager *dd, const game_structure &game, DdNode *p, CpreCarry &carry);
DdNode *envCpre(DdManager *dd, const game_structure &game, DdNode *p, CpreCarry &carry);

// Rows of arrays of handle arrays: rows x columns arrays of `capacity` handles each. Null when
// memory runs out (nothing is left allocated).
DdNode ***handle_rows_new(int columns, int capacity);
void handle_rows_free(DdNode ***row, int columns);
DdNode ****handle_table_new(int rows, int columns, int capacity);
void handle_table_free(DdNode ****table, int rows, int columns);
