// The GR(1) game solver: the system's winning region as the nested fixpoint
//   Z = nu Z. and_j mu Y. or_i nu X. (sysJ_j & sysCpre(Z)) | sysCpre(Y) | (!envJ_i & sysCpre(X)),
// with Z updated after every system justice, every X fixpoint and Y iterate kept in gr1_mem, the
// heuristics efp (early fixed point), eun (early unrealizability) and fpr (fixed-point
// recycling), and the incremental start from the memory of an earlier solve.
#include <cstdio>

#include "games/gameInt.h"

// ---- shared operations
// ---------------------------------------------------------------------------

DdNode *prime(DdManager *dd, const game_structure &game, DdNode *p, bool flushMessage) {
    const int n = Tarn_ReadSize(dd);
    int *perm = game_alloc_array<int>(static_cast<size_t>(n));
    if (perm == nullptr) {
        printf("couldn't allocate array of uint of size %d\n", n);
        if (flushMessage) fflush(stdout);
        return nullptr;
    }
    for (int v = 0; v < n; v++) {
        DdNode *entry = game.pairing[v];
        // a constant names no variable: renaming to it would index past the variables
        if (Tarn_IsConstant(entry)) {
            game_free(perm);
            return nullptr;
        }
        perm[v] = static_cast<int>(Tarn_ReadNodeIndex(entry));
    }
    DdNode *r = keep(Tarn_BddPermute(dd, p, perm));
    game_free(perm);
    return r;
}

// forall envPrime. (!envTrans | exists sysPrime. (p' & sysTrans)), with each quantified
// conjunction made in one relational product.
DdNode *sysCpre(DdManager *dd, const game_structure &game, DdNode *p, CpreCarry &carry) {
    DdNode *primed = prime(dd, game, p);
    if (primed == nullptr) return nullptr;
    DdNode *moves = keep(Tarn_BddAndAbstract(dd, primed, game.sysTrans, game.sysPrimeVars));
    carry.carryPrimed(primed);
    if (moves == nullptr) return nullptr;
    DdNode *escapes =
        keep(Tarn_BddAndAbstract(dd, game.envTrans, Tarn_Not(moves), game.envPrimeVars));
    carry.carryImage(moves);
    return escapes == nullptr ? nullptr : Tarn_Not(escapes);
}

DdNode *sysCpre(DdManager *dd, const game_structure &game, DdNode *p) {
    CpreCarry carry(dd);
    return sysCpre(dd, game, p, carry);
}

int sysWinAllInitial(DdManager *dd, const game_structure &game, DdNode *z) {
    DdNode *a = keep(Tarn_BddAnd(dd, z, game.sysIni));
    DdNode *b = a == nullptr ? nullptr : keep(Tarn_BddExistAbstract(dd, a, game.sysVars));
    DdNode *c = b == nullptr ? nullptr : keep(Tarn_BddOr(dd, Tarn_Not(game.envIni), b));
    DdNode *d = c == nullptr ? nullptr : keep(Tarn_BddForAllAbstract(dd, c, game.envVars));
    int all = -1;
    if (d != nullptr) {
        all = d == Tarn_ReadOne(dd) ? 1 : 0;
        printf("allIni = %d\n", all);
    }
    release(dd, a);
    release(dd, b);
    release(dd, c);
    release(dd, d);
    return all;
}

// ---- the solver
// ----------------------------------------------------------------------------------
//
// Two sets are equal exactly when their handles are: the diagrams are canonical, so each fixpoint
// test is a comparison of handles.

namespace {

constexpr int kInitialCapacity = 50;

class Gr1Solver {
public:
    Gr1Solver(DdManager *dd, const game_structure &game, bool efp, bool eun, bool fpr,
              bool incremental, const gr1_inc_data *inc)
        : dd_(dd),
          g_(game),
          efp_(efp),
          eun_(eun),
          fpr_(fpr),
          incremental_(incremental),
          inc_(incremental ? inc : nullptr),
          one_(Tarn_ReadOne(dd)),
          zero_(Tarn_Not(one_)),
          carry_(dd) {}

    int run();

private:
    bool allocate();
    int onlyInitialStates();
    bool incrementalStart();
    bool removedJustice();
    bool solveJustice(int j, bool *leave);
    bool yIteration(int j);
    void releaseUncounted(int j, int from, int to);
    void releaseUnfinished(int j);
    bool xFixpoint(int j, int i);
    bool startX(int j, int i);
    int fail();
    void releaseWorking();
    void installCounts();
    bool fits() const;

    // a held handle := op result with its reference; false when the op failed
    bool set(DdNode *&held, DdNode *f) {
        if (f == nullptr) return false;
        take(dd_, held, f);
        return true;
    }

    DdManager *dd_;
    const game_structure &g_;
    const bool efp_, eun_, fpr_, incremental_;
    const gr1_inc_data *inc_;
    DdNode *const one_;
    DdNode *const zero_;
    CpreCarry carry_;
    int type_ = 0;  // inc_type of an incremental solve

    // working handles, each holding one reference while set
    DdNode *z_ = nullptr, *zPrev_ = nullptr, *y_ = nullptr, *yPrev_ = nullptr;
    DdNode *x_ = nullptr, *xPrev_ = nullptr, *start_ = nullptr, *yStart_ = nullptr;
    DdNode *notJe_ = nullptr;
    DdNode *gStart_ = nullptr;  // the incremental start of X before recycling

    int *counts_ = nullptr;  // per system justice: Y iterations stored, -1 until set
    int capacity_ = kInitialCapacity;
    int cy_ = 0;
    int xStored_ = 0;  // X iterates of the current Y step already stored at slot cy_
    int startIndex_ = 0;
    bool first_ = true;
    bool done_ = false;
    int zIterations_ = 0, yIterations_ = 0, xIterations_ = 0;
};

int Gr1Solver::run() {
    printf("\n----Start GR1 Game: efp=%d, eun=%d, fpr=%d----\n", efp_, eun_, fpr_);
    if (incremental_) {
        type_ = inc_->inc_type;
        print_inc_type(type_);
    }
    printf("sysJSize=%d, envJSize=%d\n", g_.sysJSize, g_.envJSize);
    if (!allocate()) return fail();
    hold(dd_, z_, one_);

    if (incremental_ && type_ != 0 && !fits()) return fail();
    if (incremental_ && is_only_ini_change(type_)) return onlyInitialStates();
    if (incremental_ && !incrementalStart()) return fail();
    printf("is starting Z from One = %d\n", z_ == one_);

    for (;;) {
        if (zPrev_ != nullptr && z_ == zPrev_) break;
        zIterations_++;
        if (zPrev_ == nullptr) {
            printf("zPrev is NULL\n");
        } else {
            printf("IS_BDD_EQ(z, zPrev) = %d\n", 0);
        }
        hold(dd_, zPrev_, z_);
        if (first_ && incremental_ && !removedJustice()) return fail();
        for (int j = startIndex_; j < g_.sysJSize; j++) {
            bool leave = false;
            if (!solveJustice(j, &leave)) {
                releaseUnfinished(j);
                return fail();
            }
            if (leave) break;
        }
        startIndex_ = 0;
        first_ = false;
        printf("zPrev == NULL = %d\n", zPrev_ == nullptr);
        printf("IS_BDD_EQ(z, zPrev) = %d\n", z_ == zPrev_);
        if (done_) break;
    }

    release(dd_, zPrev_);
    release(dd_, x_);
    printf("before sizeD3 malloc\n");
    installCounts();
    printf("z iterations = %d\n", zIterations_);
    printf("y iterations = %d\n", yIterations_);
    printf("x iterations = %d\n", xIterations_);
    const int result = sysWinAllInitial(dd_, g_, z_);
    releaseWorking();
    if (result < 0) return GAME_FAILED;
    printf("End GR1 Game: is realizable = %d\n", result);
    return result;
}

// gr1_mem for the game's justice counts, innermost arrays at the initial capacity, and the
// working counts.
bool Gr1Solver::allocate() {
    gr1_memory &m = gr1_mem;
    const int nj = g_.sysJSize, ni = g_.envJSize;
    m.sizeD1 = nj;
    m.sizeD2 = ni;
    m.x_mem = game_alloc_array<DdNode ***>(static_cast<size_t>(nj));
    m.y_mem = game_alloc_array<DdNode **>(static_cast<size_t>(nj));
    m.z_mem = game_alloc_array<DdNode *>(static_cast<size_t>(nj));
    if (incremental_) m.z_mem_first_itr = game_alloc_array<DdNode *>(static_cast<size_t>(nj));
    counts_ = game_alloc_array<int>(static_cast<size_t>(nj));
    if (m.x_mem == nullptr || m.y_mem == nullptr || m.z_mem == nullptr || counts_ == nullptr ||
        (incremental_ && m.z_mem_first_itr == nullptr)) {
        m.sizeD1 = 0;  // nothing of the rows exists yet
        return false;
    }
    for (int j = 0; j < nj; j++) {
        m.x_mem[j] = nullptr;
        m.y_mem[j] = nullptr;
        m.z_mem[j] = nullptr;
        if (incremental_) m.z_mem_first_itr[j] = nullptr;
        counts_[j] = -1;
    }
    for (int j = 0; j < nj; j++) {
        m.x_mem[j] = handle_rows_new(ni, capacity_);
        m.y_mem[j] = handle_array_new(capacity_);
        if (m.x_mem[j] == nullptr || m.y_mem[j] == nullptr) {
            // the memory keeps the rows made so far
            handle_rows_free(m.x_mem[j], ni);
            handle_array_free(m.y_mem[j]);
            m.sizeD1 = j;
            return false;
        }
    }
    return true;
}

// The incremental input must describe a game with the same environment justices, and the rows
// it fills must exist in the memory of this game.
bool Gr1Solver::fits() const {
    const gr1_inc_data &in = *inc_;
    if (in.sizeD1 < 0 || in.sizeD2 != g_.envJSize) return false;
    for (int j = 0; j < in.sizeD1; j++) {
        if (in.sizeD3[j] < 0) return false;
    }
    const bool onlyIni = is_only_ini_change(type_);
    const bool added = !onlyIni && (type_ & 0x06) == 0x04 && g_.sysJSize != 1;
    const bool removed = !onlyIni && (type_ & 0x10) == 0 && (type_ & 0x20) != 0 &&
                         in.least_removed_justice > 0;
    const bool startY = !onlyIni && (type_ & 0x30) == 0x10 && in.sizeD1 > 0;
    // the Z memories must be there for the starts that read them
    if ((onlyIni || added || startY) && in.z_mem == nullptr) return false;
    if ((onlyIni || added || removed) && in.z_mem_first_itr == nullptr) return false;
    if (onlyIni) return in.sizeD1 == g_.sysJSize;
    if (added && in.sizeD1 > g_.sysJSize) return false;
    return true;
}

// Only the initial states changed: the winning region stays; decide it against the new initial
// states and restore the memory from the input.
int Gr1Solver::onlyInitialStates() {
    printf("Only ini states changed\n");
    DdNode *last = g_.sysJSize > 0 ? inc_->z_mem[g_.sysJSize - 1] : one_;
    const int result = sysWinAllInitial(dd_, g_, last);
    if (result < 0 || !copy_to_gr1_mem(dd_, *inc_, kInitialCapacity)) {
        // the memory holds only what the copy stored completely
        game_free(gr1_mem.sizeD3);
        gr1_mem.sizeD3 = nullptr;
        return fail();
    }
    game_free(counts_);  // the counts came with the copy
    counts_ = nullptr;
    releaseWorking();
    printf("End GR1 Game: is realizable = %d\n", result);
    return result;
}

bool Gr1Solver::incrementalStart() {
    if ((type_ & 0x06) == 0x04 && g_.sysJSize != 1) {
        printf(
            "New justice(s) was added, to an existing list of justices. Current num of sys "
            "justices is %d\n",
            g_.sysJSize);
        startIndex_ = inc_->sizeD1;
        printf("New justice was added, starting from j_start_idx = %d\n", startIndex_);
        if (!copy_to_gr1_mem(dd_, *inc_, kInitialCapacity)) return false;
        for (int j = 0; j < startIndex_; j++) counts_[j] = inc_->sizeD3[j];
        game_free(gr1_mem.sizeD3);
        gr1_mem.sizeD3 = nullptr;
        if (startIndex_ > 0) hold(dd_, z_, inc_->z_mem[startIndex_ - 1]);
        printf("New justice was added, starting from z is one = %d\n", z_ == one_);
    } else if ((type_ & 0x06) != 0) {
        printf("use inc_data.start_z\n");
        if (inc_->start_z == nullptr) return false;
        hold(dd_, z_, inc_->start_z);
    }
    return true;
}

// The first r justices are unchanged: take their first-pass memory from the input and start the
// first pass at r.
bool Gr1Solver::removedJustice() {
    const int r = inc_->least_removed_justice;
    if ((type_ & 0x10) != 0 || (type_ & 0x20) == 0 || r <= 0) return true;
    printf("previous justice was removed, inc_data.least_removed_justice = %d\n", r);
    if (r > g_.sysJSize || r > inc_->sizeD1) return false;
    gr1_memory &m = gr1_mem;
    for (int j = 0; j < r; j++) {
        for (DdNode **entries : {m.z_mem, m.z_mem_first_itr}) {
            DdNode *f = inc_->z_mem_first_itr[j];
            Tarn_Ref(f);
            if (entries[j] != nullptr) Tarn_RecursiveDeref(dd_, entries[j]);
            entries[j] = f;
        }
        const int previous = counts_[j];
        const int n = inc_->sizeD3[j];
        for (int i = 0; i < inc_->sizeD2; i++) {
            if (n >= capacity_ && !handle_array_grow(&m.x_mem[j][i], n)) {
                printf("ERROR: can't realloc in gr1_mem.x_mem[%d][%d]!\n", j, i);
                fflush(stdout);
                return false;
            }
        }
        if (n >= capacity_ && !handle_array_grow(&m.y_mem[j], n)) {
            printf("ERROR: can't realloc in gr1_mem.y_mem[%d]!\n", j);
            fflush(stdout);
            return false;
        }
        for (int i = 0; i < inc_->sizeD2; i++) {
            for (int k = 0; k < n; k++) {
                store_slot(dd_, m.x_mem[j][i], k, previous, inc_->x_mem[j][i][k]);
            }
        }
        for (int k = 0; k < n; k++) store_slot(dd_, m.y_mem[j], k, previous, zero_);
        counts_[j] = n;
    }
    hold(dd_, z_, m.z_mem_first_itr[r - 1]);
    startIndex_ = r;
    printf("starting first z iteration from j_start_idx = %d\n", r);
    return true;
}

// The least fixpoint Y of justice j, then Z := Y and the early exits. *leave asks to end the pass.
bool Gr1Solver::solveJustice(int j, bool *leave) {
    printf("Z loop %d: j = %d\n", zIterations_, j);
    cy_ = 0;
    xStored_ = 0;
    hold(dd_, y_, zero_);
    release(dd_, yPrev_);
    DdNode *cpre = sysCpre(dd_, g_, z_, carry_);
    if (cpre == nullptr) return false;
    const bool made = set(start_, keep(Tarn_BddAnd(dd_, g_.sysJ[j], cpre)));
    release(dd_, cpre);
    if (!made) return false;
    if (incremental_ && (type_ & 0x30) == 0x10 && j < inc_->sizeD1) {
        printf("use inc_data.z_mem[%d] for current start Y\n", j);
        hold(dd_, y_, inc_->z_mem[j]);
        if (y_ == zero_) printf("start Y (for j=%d) is zero \n", j);
    }

    for (;;) {
        if (yPrev_ != nullptr && y_ == yPrev_) break;
        if (!yIteration(j)) return false;
    }
    release(dd_, start_);
    hold(dd_, z_, y_);

    if (eun_) {
        const int all = sysWinAllInitial(dd_, g_, z_);
        if (all < 0) return false;
        if (all == 0) {
            printf("sysWinAllInitial is false - detected early unrealizable\n");
            // the count of j keeps its value: the iterates stored above it are given back
            releaseUncounted(j, counts_[j], cy_);
            hold(dd_, z_, zero_);
            done_ = true;
            *leave = true;
            return true;
        }
    }
    if (efp_ && !first_) {
        printf("firstZIter = %d\n", 0);
        DdNode *previous = gr1_mem.z_mem[j];
        DdNode *last = gr1_mem.z_mem[g_.sysJSize - 1];
        if (previous != nullptr && previous == z_ && last != nullptr) {
            printf("detected early fixed point\n");
            releaseUncounted(j, counts_[j], cy_);
            hold(dd_, z_, last);
            done_ = true;
            *leave = true;
            return true;
        }
    }
    releaseUncounted(j, cy_, counts_[j]);
    counts_[j] = cy_;
    Tarn_Ref(z_);
    if (gr1_mem.z_mem[j] != nullptr) Tarn_RecursiveDeref(dd_, gr1_mem.z_mem[j]);
    gr1_mem.z_mem[j] = z_;
    if (first_ && incremental_) {
        printf("set gr1_mem.z_mem_first_itr[%d]\n", j);
        Tarn_Ref(z_);
        if (gr1_mem.z_mem_first_itr[j] != nullptr) {
            Tarn_RecursiveDeref(dd_, gr1_mem.z_mem_first_itr[j]);
        }
        gr1_mem.z_mem_first_itr[j] = z_;
    }
    return true;
}

// Gives back the X and Y iterates of justice j in slots from..to-1, which no count covers.
void Gr1Solver::releaseUncounted(int j, int from, int to) {
    for (int i = 0; i < g_.envJSize; i++) release_slots(dd_, gr1_mem.x_mem[j][i], from, to);
    release_slots(dd_, gr1_mem.y_mem[j], from, to);
}

// A justice whose fixpoint broke off has stored iterates that no count covers: the slots from its
// count up to cy, and the X iterates of the step in progress at slot cy. They are given back.
void Gr1Solver::releaseUnfinished(int j) {
    if (counts_ == nullptr || cy_ < counts_[j]) return;
    releaseUncounted(j, counts_[j], cy_);
    for (int i = 0; i < xStored_; i++) Tarn_RecursiveDeref(dd_, gr1_mem.x_mem[j][i][cy_]);
    xStored_ = 0;
}

// One step of the Y fixpoint of justice j: Y := or_i X_i, each X stored at slot cy.
bool Gr1Solver::yIteration(int j) {
    yIterations_++;
    hold(dd_, yPrev_, y_);
    DdNode *cpre = sysCpre(dd_, g_, y_, carry_);
    if (cpre == nullptr) return false;
    const bool made = set(yStart_, keep(Tarn_BddOr(dd_, start_, cpre)));
    release(dd_, cpre);
    if (!made) return false;
    hold(dd_, y_, zero_);
    for (int i = 0; i < g_.envJSize; i++) {
        if (!xFixpoint(j, i)) return false;
        if (!set(y_, keep(Tarn_BddOr(dd_, y_, x_)))) return false;
    }
    release(dd_, yStart_);
    store_slot(dd_, gr1_mem.y_mem[j], cy_, counts_[j], y_);
    cy_++;
    xStored_ = 0;
    if (cy_ == capacity_) {
        capacity_ *= 2;
        if (!extend_size_3D(gr1_mem.x_mem, g_.sysJSize, g_.envJSize, capacity_)) return false;
        if (!extend_size_2D(gr1_mem.y_mem, g_.sysJSize, capacity_)) return false;
    }
    return true;
}

// The greatest fixpoint X for justices j and i, stored at slot cy.
bool Gr1Solver::xFixpoint(int j, int i) {
    if (!set(notJe_, keep(Tarn_Not(g_.envJ[i])))) return false;
    release(dd_, x_);
    if (!startX(j, i)) return false;
    release(dd_, xPrev_);
    for (;;) {
        if (xPrev_ != nullptr && x_ == xPrev_) break;
        xIterations_++;
        hold(dd_, xPrev_, x_);
        DdNode *cpre = sysCpre(dd_, g_, x_, carry_);
        if (cpre == nullptr) return false;
        DdNode *stay = keep(Tarn_BddAnd(dd_, cpre, notJe_));
        release(dd_, cpre);
        if (stay == nullptr) return false;
        DdNode *next = keep(Tarn_BddOr(dd_, stay, yStart_));
        release(dd_, stay);
        if (!set(x_, next)) return false;
    }
    release(dd_, xPrev_);
    release(dd_, notJe_);
    store_slot(dd_, gr1_mem.x_mem[j][i], cy_, counts_[j], x_);
    xStored_ = i + 1;
    return true;
}

// The value the X fixpoint starts from.
bool Gr1Solver::startX(int j, int i) {
    DdNode *base = z_;  // what a fresh X starts from: Z, or the incremental g
    if (incremental_) {
        hold(dd_, gStart_, z_);
        if ((type_ & 0x02) != 0 && j < inc_->sizeD1) {
            printf("use inc_data.x_mem[%d][%d][%d] for current X\n", j, i, cy_);
            int k = cy_;
            if (inc_->sizeD3[j] <= cy_) {
                printf("\tinc_data.sizeD3[%d] (%d) <= cy (%d) \n", j, inc_->sizeD3[j], cy_);
                k = inc_->sizeD3[j] - 1;
            }
            // an input without X iterates for j leaves the start at Z
            if (k >= 0 && !set(gStart_, keep(Tarn_BddAnd(dd_, inc_->x_mem[j][i][k], z_))))
                return false;
        }
        base = gStart_;
    }
    if (fpr_ && !first_) {
        const int count = counts_[j];
        const int rcy = cy_ < count ? cy_ : count - 1;
        // a justice without stored iterates (reached only through an incremental start) has
        // nothing to recycle
        if (rcy >= 0) {
            printf("recycleFixPoint X for j=%d, i=%d, rcy=%d\n", j, i, rcy);
            const bool made = set(x_, keep(Tarn_BddAnd(dd_, gr1_mem.x_mem[j][i][rcy], base)));
            release(dd_, gStart_);
            return made;
        }
    }
    hold(dd_, x_, base);
    release(dd_, gStart_);
    return true;
}

// The solve ends without a verdict: the working handles are released and the memory keeps what
// was stored, with counts that match it.
int Gr1Solver::fail() {
    releaseWorking();
    installCounts();
    return GAME_FAILED;
}

void Gr1Solver::releaseWorking() {
    carry_.release();
    for (DdNode **held :
         {&z_, &zPrev_, &y_, &yPrev_, &x_, &xPrev_, &start_, &yStart_, &notJe_, &gStart_}) {
        release(dd_, *held);
    }
}

// The working counts become gr1_mem.sizeD3, in place of any counts a copy left: they describe
// exactly the slots that hold handles.
void Gr1Solver::installCounts() {
    if (counts_ == nullptr) return;
    game_free(gr1_mem.sizeD3);
    gr1_mem.sizeD3 = counts_;
    counts_ = nullptr;
}

}  // namespace

int gr1_game(DdManager *dd, const game_structure &game, bool efp, bool eun, bool fpr,
             bool incremental, const gr1_inc_data *inc) {
    Gr1Solver solver(dd, game, efp, eun, fpr, incremental && inc != nullptr, inc);
    return solver.run();
}
