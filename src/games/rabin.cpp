// The Rabin game solver: the environment's winning region as the nested fixpoint
//   Z = mu Z. or_j nu Y. and_i mu X. envCpre(Z) | (envJ_i & !sysJ_j & envCpre(Y))
//                                     | (!sysJ_j & envCpre(X)),
// with Z accumulated after every system justice into a new Z entry, every X iterate of an
// entry's last Y iteration kept in rabin_mem, the heuristics efp, eun and fpr, and the
// incremental start from the memory of an earlier solve.
#include <cstdio>

#include "games/gameInt.h"

// exists envPrime. (envTrans & forall sysPrime. (!sysTrans | p')), with each quantified
// conjunction made in one relational product.
DdNode *envCpre(DdManager *dd, const game_structure &game, DdNode *p, CpreCarry &carry) {
    DdNode *primed = prime(dd, game, p, false);
    if (primed == nullptr) return nullptr;
    DdNode *escapes =
        keep(Tarn_BddAndAbstract(dd, game.sysTrans, Tarn_Not(primed), game.sysPrimeVars));
    carry.carryPrimed(primed);
    if (escapes == nullptr) return nullptr;
    DdNode *r = keep(Tarn_BddAndAbstract(dd, game.envTrans, Tarn_Not(escapes), game.envPrimeVars));
    carry.carryImage(escapes);
    return r;
}

DdNode *envCpre(DdManager *dd, const game_structure &game, DdNode *p) {
    CpreCarry carry(dd);
    return envCpre(dd, game, p, carry);
}

int envWinAllInitial(DdManager *dd, const game_structure &game, DdNode *z) {
    DdNode *a = keep(Tarn_BddOr(dd, Tarn_Not(game.sysIni), z));
    DdNode *b = a == nullptr ? nullptr : keep(Tarn_BddForAllAbstract(dd, a, game.sysVars));
    DdNode *c = b == nullptr ? nullptr : keep(Tarn_BddAnd(dd, game.envIni, b));
    int some = -1;
    if (c != nullptr) {
        some = c != Tarn_Not(Tarn_ReadOne(dd)) ? 1 : 0;
        printf("winSomeIni = %d\n", some);
    }
    release(dd, a);
    release(dd, b);
    release(dd, c);
    return some;
}

// ---- the solver
// ----------------------------------------------------------------------------------
//
// As in the GR(1) solver, equal sets are equal handles.

namespace {

constexpr int kInitialCapacity = 50;
constexpr int kZEntriesPerJustice = 20;

class RabinSolver {
public:
    RabinSolver(DdManager *dd, const game_structure &game, bool efp, bool eun, bool fpr,
                bool incremental, const rabin_inc_data *inc)
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
    bool fits() const;
    bool allocate(int zCapacity);
    int onlyInitialStates();
    bool allocateRecycle();
    bool incrementalStart();
    bool removedJustice();
    bool solveJustice(int j, bool *leave);
    bool yIteration(int j, DdNode *cz, DdNode *notSysJ);
    bool xFixpoint(int j, int i, DdNode *b, DdNode *notSysJ);
    bool growZ();
    void finish();
    int fail();
    void releaseRow(int zi);
    void releaseWorking();
    void releaseRecycle();

    bool set(DdNode *&held, DdNode *f) {
        if (f == nullptr) return false;
        take(dd_, held, f);
        return true;
    }

    DdManager *dd_;
    const game_structure &g_;
    const bool efp_, eun_, fpr_, incremental_;
    const rabin_inc_data *inc_;
    DdNode *const one_;
    DdNode *const zero_;
    CpreCarry carry_;
    int type_ = 0;

    DdNode *z_ = nullptr, *zPrev_ = nullptr, *y_ = nullptr, *yPrev_ = nullptr;
    DdNode *x_ = nullptr, *xPrev_ = nullptr, *yTerm_ = nullptr;

    int **counts_ = nullptr;        // [zi][i]: X iterates stored, -1 until set
    int *recycleCounts_ = nullptr;  // [j]: Y iterations recycled, -1 until set
    // [j * envJSize + i]: recycle slots of (j, i) that hold a reference. A pass with fewer Y
    // iterations than an earlier one lowers the count but leaves the slots above it holding
    // theirs, and they are given back with the others.
    int *recycleStored_ = nullptr;
    int zCapacity_ = 0;
    int xCapacity_ = kInitialCapacity;
    int recycleCapacity_ = kInitialCapacity;
    int zi_ = 0;
    int cy_ = 0;
    int startIndex_ = 0;
    bool first_ = true;
    bool done_ = false;
    int zIterations_ = 0, yIterations_ = 0, xIterations_ = 0;
};

int RabinSolver::run() {
    printf("\n----Start Rabin Game: efp=%d, eun=%d, fpr=%d----\n", efp_, eun_, fpr_);
    if (incremental_) {
        type_ = inc_->inc_type;
        print_inc_type(type_);
    }
    rabin_mem.sizeD2 = g_.envJSize;
    if (incremental_ && type_ != 0 && !fits()) return fail();
    const bool onlyIni = incremental_ && is_only_ini_change(type_);
    int zCapacity = onlyIni ? inc_->sizeD1 : kZEntriesPerJustice * g_.sysJSize;
    // the entries an incremental start copies must leave room for the next one
    if (incremental_ && type_ != 0 && !onlyIni && zCapacity <= inc_->sizeD1) {
        zCapacity = inc_->sizeD1 + 1;
    }
    if (!allocate(zCapacity)) return fail();
    if (onlyIni) return onlyInitialStates();
    if (fpr_ && !allocateRecycle()) return fail();

    hold(dd_, z_, zero_);
    if (incremental_ && !incrementalStart()) return fail();
    printf("is starting Z from Zero = %d\n", z_ == zero_);

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
        bool leave = false;
        for (int j = startIndex_; j < g_.sysJSize && !leave; j++) {
            if (!solveJustice(j, &leave)) return fail();
        }
        startIndex_ = 0;
        first_ = false;
        if (done_) break;
    }

    finish();
    printf("z iterations = %d\n", zIterations_);
    printf("y iterations = %d\n", yIterations_);
    printf("x iterations = %d\n", xIterations_);
    const int result = envWinAllInitial(dd_, g_, z_);
    releaseWorking();
    if (result < 0) return GAME_FAILED;
    printf("End Rabin Game: is env winning = %d\n", result);
    return result;
}

// The incremental input must describe a game with the same environment justices.
bool RabinSolver::fits() const {
    if (inc_->sizeD1 < 0 || inc_->sizeD2 != g_.envJSize) return false;
    for (int zi = 0; zi < inc_->sizeD1; zi++) {
        for (int i = 0; i < inc_->sizeD2; i++) {
            if (inc_->sizeD3[zi][i] < 0) return false;
        }
    }
    return true;
}

// Z entries, their X rows and the working counts, zCapacity rows each.
bool RabinSolver::allocate(int zCapacity) {
    rabin_memory &m = rabin_mem;
    const int ni = g_.envJSize;
    m.z_mem = game_alloc_array<DdNode *>(static_cast<size_t>(zCapacity));
    m.x_mem = handle_table_new(zCapacity, ni, xCapacity_);
    counts_ = game_alloc_array<int *>(static_cast<size_t>(zCapacity));
    if (m.z_mem == nullptr || m.x_mem == nullptr || counts_ == nullptr) {
        game_free(m.z_mem);
        handle_table_free(m.x_mem, zCapacity, ni);
        m.z_mem = nullptr;
        m.x_mem = nullptr;
        game_free(counts_);
        counts_ = nullptr;
        return false;
    }
    m.rows = zCapacity;
    zCapacity_ = zCapacity;
    for (int zi = 0; zi < zCapacity; zi++) {
        m.z_mem[zi] = nullptr;
        counts_[zi] = nullptr;
    }
    for (int zi = 0; zi < zCapacity; zi++) {
        counts_[zi] = game_alloc_array<int>(static_cast<size_t>(ni));
        if (counts_[zi] == nullptr) return false;
        for (int i = 0; i < ni; i++) counts_[zi][i] = -1;
    }
    return true;
}

int RabinSolver::onlyInitialStates() {
    printf("Only ini states changed\n");
    const int n = inc_->sizeD1;
    DdNode *last = n > 0 ? inc_->z_mem[n - 1] : zero_;
    const int result = envWinAllInitial(dd_, g_, last);
    if (result < 0 || !copy_to_rabin_mem(dd_, *inc_, counts_, kInitialCapacity, n)) return fail();
    zi_ = n;
    rabin_mem.sizeD2 = inc_->sizeD2;
    finish();
    releaseWorking();
    printf("End Rabin Game: is env winning = %d\n", result);
    return result;
}

bool RabinSolver::allocateRecycle() {
    printf("alloc x_mem_recycle\n");
    rabin_mem.x_mem_recycle = handle_table_new(g_.sysJSize, g_.envJSize, recycleCapacity_);
    if (rabin_mem.x_mem_recycle != nullptr) rabin_mem.recycle_rows = g_.sysJSize;
    recycleCounts_ = game_alloc_array<int>(static_cast<size_t>(g_.sysJSize));
    const size_t pairs = static_cast<size_t>(g_.sysJSize) * static_cast<size_t>(g_.envJSize);
    recycleStored_ = game_alloc_array<int>(pairs);
    if (rabin_mem.x_mem_recycle == nullptr || recycleCounts_ == nullptr ||
        recycleStored_ == nullptr) {
        return false;
    }
    for (int j = 0; j < g_.sysJSize; j++) recycleCounts_[j] = -1;
    for (size_t p = 0; p < pairs; p++) recycleStored_[p] = 0;
    printf("after alloc x_mem_recycle\n");
    return true;
}

bool RabinSolver::incrementalStart() {
    const int r = inc_->least_removed_justice;
    if ((type_ & 0x06) == 0x04 && r > 0) {
        printf(
            "New justice(s) was added, to an existing list of justices. Current num of sys "
            "justices is %d\n",
            g_.sysJSize);
        startIndex_ = r;
        zi_ = inc_->sizeD1;
        printf("New justice was added, starting from j_start_idx = %d\n", r);
        if (!copy_to_rabin_mem(dd_, *inc_, counts_, kInitialCapacity, inc_->sizeD1)) return false;
        if (inc_->sizeD1 > 0) hold(dd_, z_, inc_->z_mem[inc_->sizeD1 - 1]);
        printf("New justice was added, starting from z is one = %d\n", z_ == one_);
    } else if ((type_ & 0x06) != 0) {
        printf("use inc_data.start_z\n");
        if (inc_->start_z == nullptr) return false;
        hold(dd_, z_, inc_->start_z);
    }
    return true;
}

// The first r entries are unchanged: take them, their counts and X iterates from the input and
// start the first pass at justice r.
bool RabinSolver::removedJustice() {
    const int r = inc_->least_removed_justice;
    if ((type_ & 0x10) != 0 || (type_ & 0x20) == 0 || r <= 0) return true;
    printf("previous justice was removed, inc_data.least_removed_justice = %d\n", r);
    if (r > inc_->sizeD1) return false;
    zi_ = r;
    if (!copy_to_rabin_mem(dd_, *inc_, counts_, xCapacity_, r)) return false;
    hold(dd_, z_, rabin_mem.z_mem[r - 1]);
    startIndex_ = r;
    printf("starting first z iteration from j_start_idx = %d\n", r);
    return true;
}

// The greatest fixpoint Y of justice j, then the new Z entry and the early exits.
bool RabinSolver::solveJustice(int j, bool *leave) {
    printf("Z loop %d: j = %d\n", zIterations_, j);
    cy_ = 0;
    hold(dd_, y_, one_);
    if (incremental_ && (type_ & 0x10) != 0 && inc_->sizeD1 > 0) {
        hold(dd_, y_, inc_->z_mem[inc_->sizeD1 - 1]);
        printf("use inc_data.z_mem[%d] for current Y, is One = %d\n", inc_->sizeD1 - 1, y_ == one_);
    }
    release(dd_, yPrev_);
    DdNode *cz = envCpre(dd_, g_, z_, carry_);
    if (cz == nullptr) return false;
    DdNode *notSysJ = Tarn_Not(g_.sysJ[j]);
    Tarn_Ref(notSysJ);
    bool ok = true;
    for (;;) {
        if (yPrev_ != nullptr && y_ == yPrev_) break;
        if (!yIteration(j, cz, notSysJ)) {
            ok = false;
            break;
        }
    }
    release(dd_, cz);
    release(dd_, notSysJ);
    if (!ok) return false;
    if (fpr_) recycleCounts_[j] = cy_;

    DdNode *grown = keep(Tarn_BddOr(dd_, z_, y_));
    if (!set(z_, grown)) return false;
    release(dd_, y_);
    Tarn_Ref(z_);
    if (rabin_mem.z_mem[zi_] != nullptr) Tarn_RecursiveDeref(dd_, rabin_mem.z_mem[zi_]);
    rabin_mem.z_mem[zi_] = z_;
    zi_++;

    if (efp_ && !first_) {
        printf("firstZIter = %d\n", 0);
        const int back = zi_ - 1 - g_.sysJSize;
        // an entry before the first one counts as no match
        if (back >= 0 && rabin_mem.z_mem[back] == z_) {
            printf("detected early fixed point\n");
            done_ = true;
            *leave = true;
            return true;
        }
    }
    if (eun_) {
        const int some = envWinAllInitial(dd_, g_, z_);
        if (some < 0) return false;
        if (some == 1) {
            printf("envWinAllInitial is true - env wins from some initial states\n");
            done_ = true;
            *leave = true;
            return true;
        }
    }
    if (zi_ >= zCapacity_) return growZ();
    return true;
}

// One step of the Y fixpoint of justice j: Y := and_i X_i.
bool RabinSolver::yIteration(int j, DdNode *cz, DdNode *notSysJ) {
    yIterations_++;
    hold(dd_, yPrev_, y_);
    DdNode *cpre = envCpre(dd_, g_, y_, carry_);
    if (cpre == nullptr) return false;
    const bool made = set(yTerm_, keep(Tarn_BddAnd(dd_, cpre, notSysJ)));
    release(dd_, cpre);
    if (!made) return false;
    hold(dd_, y_, one_);
    for (int i = 0; i < g_.envJSize; i++) {
        DdNode *reach = keep(Tarn_BddAnd(dd_, g_.envJ[i], yTerm_));
        if (reach == nullptr) return false;
        DdNode *b = keep(Tarn_BddOr(dd_, cz, reach));
        release(dd_, reach);
        if (b == nullptr) return false;
        const bool fixed = xFixpoint(j, i, b, notSysJ);
        release(dd_, b);
        if (!fixed || !set(y_, keep(Tarn_BddAnd(dd_, y_, x_)))) return false;
    }
    cy_++;
    if (fpr_ && cy_ == recycleCapacity_) {
        recycleCapacity_ *= 2;
        printf("extend size of 3D of rabin_mem.x_mem_recycle to %d\n", recycleCapacity_);
        if (!extend_size_3D(rabin_mem.x_mem_recycle, g_.sysJSize, g_.envJSize, recycleCapacity_)) {
            return false;
        }
    }
    release(dd_, yTerm_);
    return true;
}

// The least fixpoint X for justices j and i from b, every iterate stored in Z entry zi.
bool RabinSolver::xFixpoint(int j, int i, DdNode *b, DdNode *notSysJ) {
    hold(dd_, x_, zero_);
    if (fpr_ && !first_) {
        const int count = recycleCounts_[j];
        const int rcy = cy_ < count ? cy_ : count - 1;
        // a justice that no earlier pass of this solve reached has nothing to recycle
        if (rcy >= 0) {
            printf("recycleFixPoint X for j=%d, i=%d, rcy=%d\n", j, i, rcy);
            if (!set(x_, keep(Tarn_BddOr(dd_, rabin_mem.x_mem_recycle[j][i][rcy], b))))
                return false;
        }
    }
    DdNode **slots = rabin_mem.x_mem[zi_][i];
    int k = 0;
    release(dd_, xPrev_);
    for (;;) {
        if (xPrev_ != nullptr && x_ == xPrev_) break;
        xIterations_++;
        hold(dd_, xPrev_, x_);
        DdNode *cpre = envCpre(dd_, g_, x_, carry_);
        if (cpre == nullptr) return false;
        DdNode *stay = keep(Tarn_BddAnd(dd_, cpre, notSysJ));
        release(dd_, cpre);
        if (stay == nullptr) return false;
        if (!set(x_, keep(Tarn_BddOr(dd_, stay, b)))) {
            release(dd_, stay);
            return false;
        }
        release(dd_, stay);
        // the count covers every slot stored, also when the fixpoint breaks off
        store_slot(dd_, slots, k, counts_[zi_][i], x_);
        k++;
        if (k > counts_[zi_][i]) counts_[zi_][i] = k;
        if (k == xCapacity_) {
            xCapacity_ *= 2;
            if (!extend_size_3D(rabin_mem.x_mem, zCapacity_, g_.envJSize, xCapacity_)) {
                return false;
            }
            slots = rabin_mem.x_mem[zi_][i];
        }
    }
    release_slots(dd_, slots, k, counts_[zi_][i]);
    counts_[zi_][i] = k;
    if (fpr_) {
        int &stored = recycleStored_[j * g_.envJSize + i];
        store_slot(dd_, rabin_mem.x_mem_recycle[j][i], cy_, stored, x_);
        if (cy_ >= stored) stored = cy_ + 1;
    }
    release(dd_, xPrev_);
    return true;
}

// Doubles the Z capacity: the Z entries, the X rows and the working counts.
bool RabinSolver::growZ() {
    const int newCapacity = zCapacity_ * 2;
    if (!extend_size_1D(&rabin_mem.z_mem, newCapacity)) return false;
    for (int zi = zCapacity_; zi < newCapacity; zi++) rabin_mem.z_mem[zi] = nullptr;
    if (!extend_size_1D_3D(&rabin_mem.x_mem, zCapacity_, newCapacity, g_.envJSize, xCapacity_)) {
        return false;
    }
    rabin_mem.rows = newCapacity;
    if (!extend_size_1D_2D_int(&counts_, zCapacity_, newCapacity, g_.envJSize)) {
        // the counts keep their old rows; no entry beyond them is used any more
        return false;
    }
    zCapacity_ = newCapacity;
    return true;
}

// The memory takes the Z entries made and their counts; the recycled iterates are given back.
void RabinSolver::finish() {
    release(dd_, zPrev_);
    release(dd_, x_);
    rabin_memory &m = rabin_mem;
    m.sizeD1 = 0;
    m.sizeD3 = game_alloc_array<int *>(static_cast<size_t>(zi_));
    if (m.sizeD3 != nullptr) {
        for (int zi = 0; zi < zi_; zi++) {
            m.sizeD3[zi] = counts_[zi];
            counts_[zi] = nullptr;
        }
        m.sizeD1 = zi_;
    } else {
        // without counts the memory shows no entry: what the entries hold is given back
        for (int zi = 0; zi < zi_; zi++) {
            releaseRow(zi);
            release(dd_, m.z_mem[zi]);
        }
    }
    if (counts_ != nullptr) {
        for (int zi = 0; zi < zCapacity_; zi++) game_free(counts_[zi]);
        game_free(counts_);
        counts_ = nullptr;
    }
    releaseRecycle();
}

void RabinSolver::releaseRecycle() {
    rabin_memory &m = rabin_mem;
    if (m.x_mem_recycle != nullptr && recycleStored_ != nullptr) {
        for (int j = 0; j < m.recycle_rows; j++) {
            for (int i = 0; i < g_.envJSize; i++) {
                for (int k = 0; k < recycleStored_[j * g_.envJSize + i]; k++) {
                    Tarn_RecursiveDeref(dd_, m.x_mem_recycle[j][i][k]);
                }
            }
        }
    }
    handle_table_free(m.x_mem_recycle, m.recycle_rows, g_.envJSize);
    m.x_mem_recycle = nullptr;
    m.recycle_rows = 0;
    game_free(recycleCounts_);
    recycleCounts_ = nullptr;
    game_free(recycleStored_);
    recycleStored_ = nullptr;
}

int RabinSolver::fail() {
    // The Z entry in the making has X iterates but no entry, and the memory takes only finished
    // entries: its iterates are given back.
    if (counts_ != nullptr && zi_ < zCapacity_) releaseRow(zi_);
    finish();
    releaseWorking();
    return GAME_FAILED;
}

// Gives back the X iterates that row zi counts; the row counts none afterwards.
void RabinSolver::releaseRow(int zi) {
    if (counts_[zi] == nullptr) return;
    for (int i = 0; i < g_.envJSize; i++) {
        release_slots(dd_, rabin_mem.x_mem[zi][i], 0, counts_[zi][i]);
        counts_[zi][i] = -1;
    }
}

void RabinSolver::releaseWorking() {
    carry_.release();
    for (DdNode **held : {&z_, &zPrev_, &y_, &yPrev_, &x_, &xPrev_, &yTerm_}) release(dd_, *held);
}

}  // namespace

int rabin_game(DdManager *dd, const game_structure &game, bool efp, bool eun, bool fpr,
               bool incremental, const rabin_inc_data *inc) {
    RabinSolver solver(dd, game, efp, eun, fpr, incremental && inc != nullptr, inc);
    return solver.run();
}
