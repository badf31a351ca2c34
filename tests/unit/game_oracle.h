// An explicit-state oracle for the game solvers: small games over at most 6 boolean state
// variables, solved by enumerating states, and their symbolic form for the solvers.
//
// A state is an integer whose bits 0 .. nEnv-1 are the environment variables and nEnv .. n-1 the
// system variables. In the symbolic form state variable k is the decision-diagram variable 2k and
// its primed copy 2k+1. A step: the environment picks the next values e' of its variables allowed
// by envTrans(s, e'), then the system picks a next state s' (with s' agreeing with e') allowed by
// sysTrans(s, s').
#pragma once

#include <cstdint>
#include <random>
#include <vector>

#include "fixture.h"
#include "games/games.h"

namespace game_oracle {

using StateSet = uint64_t;  // bit s: state s

struct ExplicitGame {
    int nEnv = 0;
    int nSys = 0;
    StateSet envIni = 0;  // depends on the environment variables only
    StateSet sysIni = 0;
    std::vector<uint64_t> envTrans;  // [s]: bit e' when the environment may move to e'
    std::vector<uint64_t> sysTrans;  // [s]: bit s' when the system may move to s'
    std::vector<StateSet> sysJ;
    std::vector<StateSet> envJ;

    int n() const { return nEnv + nSys; }
    int states() const { return 1 << n(); }
    StateSet all() const { return states() == 64 ? ~StateSet{0} : (StateSet{1} << states()) - 1; }
    int envPart(int s) const { return s & ((1 << nEnv) - 1); }
};

inline StateSet randomSet(std::mt19937 &rng, const ExplicitGame &g, double density) {
    std::bernoulli_distribution bit(density);
    StateSet set = 0;
    for (int s = 0; s < g.states(); s++) {
        if (bit(rng)) set |= StateSet{1} << s;
    }
    return set;
}

// density: how many of the next states the system's transitions allow.
inline ExplicitGame randomGame(std::mt19937 &rng, int nEnv, int nSys, int sysJustices,
                               int envJustices, double density) {
    ExplicitGame g;
    g.nEnv = nEnv;
    g.nSys = nSys;
    std::bernoulli_distribution likely(0.8), often(density);
    for (int s = 0; s < g.states(); s++) {
        // envIni: a function of the environment part only
        const int e = g.envPart(s);
        if (e == s && likely(rng)) {
            for (int t = 0; t < g.states(); t++) {
                if (g.envPart(t) == e) g.envIni |= StateSet{1} << t;
            }
        }
    }
    g.sysIni = randomSet(rng, g, 0.6);
    g.envTrans.assign(g.states(), 0);
    g.sysTrans.assign(g.states(), 0);
    for (int s = 0; s < g.states(); s++) {
        for (int e = 0; e < (1 << nEnv); e++) {
            if (likely(rng)) g.envTrans[s] |= uint64_t{1} << e;
        }
        for (int t = 0; t < g.states(); t++) {
            if (often(rng)) g.sysTrans[s] |= uint64_t{1} << t;
        }
    }
    for (int j = 0; j < sysJustices; j++) g.sysJ.push_back(randomSet(rng, g, 0.3));
    for (int i = 0; i < envJustices; i++) g.envJ.push_back(randomSet(rng, g, 0.4));
    return g;
}

// The states from which the system forces the next state into p.
inline StateSet sysCpre(const ExplicitGame &g, StateSet p) {
    StateSet out = 0;
    for (int s = 0; s < g.states(); s++) {
        bool forced = true;
        for (int e = 0; e < (1 << g.nEnv) && forced; e++) {
            if ((g.envTrans[s] >> e & 1) == 0) continue;
            bool answer = false;
            for (int t = 0; t < g.states() && !answer; t++) {
                answer = g.envPart(t) == e && (g.sysTrans[s] >> t & 1) && (p >> t & 1);
            }
            forced = answer;
        }
        if (forced) out |= StateSet{1} << s;
    }
    return out;
}

// The states from which the environment forces the next state into p.
inline StateSet envCpre(const ExplicitGame &g, StateSet p) {
    StateSet out = 0;
    for (int s = 0; s < g.states(); s++) {
        bool forced = false;
        for (int e = 0; e < (1 << g.nEnv) && !forced; e++) {
            if ((g.envTrans[s] >> e & 1) == 0) continue;
            bool every = true;
            for (int t = 0; t < g.states() && every; t++) {
                if (g.envPart(t) == e && (g.sysTrans[s] >> t & 1)) every = (p >> t & 1) != 0;
            }
            forced = every;
        }
        if (forced) out |= StateSet{1} << s;
    }
    return out;
}

// The system's winning region: nu Z. and_j mu Y. or_i nu X. (J_j & cpre Z) | cpre Y | (!E_i &
// cpre X), with one Z for all justices of a pass.
inline StateSet sysWinning(const ExplicitGame &g) {
    StateSet z = g.all();
    for (;;) {
        StateSet next = g.all();
        for (StateSet jj : g.sysJ) {
            const StateSet start = jj & sysCpre(g, z);
            StateSet y = 0;
            for (;;) {
                StateSet ny = 0;
                const StateSet ys = start | sysCpre(g, y);
                for (StateSet ei : g.envJ) {
                    StateSet x = g.all();
                    for (;;) {
                        const StateSet nx = (ys | (~ei & sysCpre(g, x))) & g.all();
                        if (nx == x) break;
                        x = nx;
                    }
                    ny |= x;
                }
                if (ny == y) break;
                y = ny;
            }
            next &= y;
        }
        if (next == z) return z;
        z = next;
    }
}

// The environment's winning region: mu Z. or_j nu Y. and_i mu X. ecpre Z | (E_i & !J_j & ecpre
// Y) | (!J_j & ecpre X), with one Z for all justices of a pass.
inline StateSet envWinning(const ExplicitGame &g) {
    StateSet z = 0;
    for (;;) {
        StateSet next = z;
        for (StateSet jj : g.sysJ) {
            const StateSet cz = envCpre(g, z);
            StateSet y = g.all();
            for (;;) {
                StateSet ny = g.all();
                const StateSet yTerm = ~jj & envCpre(g, y) & g.all();
                for (StateSet ei : g.envJ) {
                    StateSet x = 0;
                    for (;;) {
                        const StateSet nx = cz | (ei & yTerm) | (~jj & envCpre(g, x) & g.all());
                        if (nx == x) break;
                        x = nx;
                    }
                    ny &= x;
                }
                if (ny == y) break;
                y = ny;
            }
            next |= y;
        }
        if (next == z) return z;
        z = next;
    }
}

// Every initial environment state has an initial system completion inside w.
inline bool sysWinsAllInitial(const ExplicitGame &g, StateSet w) {
    for (int e = 0; e < (1 << g.nEnv); e++) {
        if ((g.envIni >> e & 1) == 0) continue;
        bool some = false;
        for (int s = 0; s < g.states() && !some; s++) {
            some = g.envPart(s) == e && (g.sysIni >> s & 1) && (w >> s & 1);
        }
        if (!some) return false;
    }
    return true;
}

// Some initial environment state has every initial system completion inside w.
inline bool envWinsSomeInitial(const ExplicitGame &g, StateSet w) {
    for (int e = 0; e < (1 << g.nEnv); e++) {
        if ((g.envIni >> e & 1) == 0) continue;
        bool every = true;
        for (int s = 0; s < g.states() && every; s++) {
            if (g.envPart(s) == e && (g.sysIni >> s & 1)) every = (w >> s & 1) != 0;
        }
        if (every) return true;
    }
    return false;
}

// ---- the symbolic form
// ---------------------------------------------------------------------------

// The game as decision diagrams in a manager with 2n variables; every diagram held with one
// reference until release().
class SymbolicGame {
public:
    SymbolicGame(DdManager *dd, const ExplicitGame &g) : dd_(dd), g_(g) {
        const int n = g.n();
        envIni_ = set(g.envIni);
        sysIni_ = set(g.sysIni);
        envTrans_ = build(0, 0, [&](unsigned a) {
            return (g.envTrans[unprimed(a)] >> g.envPart(primed(a)) & 1) != 0;
        });
        sysTrans_ = build(
            0, 0, [&](unsigned a) { return (g.sysTrans[unprimed(a)] >> primed(a) & 1) != 0; });
        for (StateSet j : g.sysJ) sysJ_.push_back(set(j));
        for (StateSet i : g.envJ) envJ_.push_back(set(i));
        envVars_ = cube(0, g.nEnv, 0);
        sysVars_ = cube(g.nEnv, n, 0);
        envPrimeVars_ = cube(0, g.nEnv, 1);
        sysPrimeVars_ = cube(g.nEnv, n, 1);
        // one entry per variable of the manager: the game's variables swap with their copies
        for (int v = 0; v < Tarn_ReadSize(dd); v++) {
            pairing_.push_back(keep(Tarn_BddIthVar(dd, v < 2 * n ? v ^ 1 : v)));
        }
    }
    ~SymbolicGame() {
        for (DdNode *f : {envIni_, sysIni_, envTrans_, sysTrans_, envVars_, sysVars_, envPrimeVars_,
                          sysPrimeVars_}) {
            Tarn_RecursiveDeref(dd_, f);
        }
        for (auto *list : {&pairing_, &sysJ_, &envJ_}) {
            for (DdNode *f : *list) Tarn_RecursiveDeref(dd_, f);
        }
    }
    SymbolicGame(const SymbolicGame &) = delete;
    SymbolicGame &operator=(const SymbolicGame &) = delete;

    game_structure structure() const {
        return game_structure{sysJ_.data(),   static_cast<int>(sysJ_.size()),
                              envJ_.data(),   static_cast<int>(envJ_.size()),
                              sysIni_,        envIni_,
                              sysTrans_,      envTrans_,
                              sysVars_,       envVars_,
                              sysPrimeVars_,  envPrimeVars_,
                              pairing_.data()};
    }

    // The diagram of a state set (referenced).
    DdNode *set(StateSet s) {
        return build(0, 0, [&](unsigned a) { return (s >> unprimed(a) & 1) != 0; });
    }

    // The state set of a diagram over the unprimed variables.
    StateSet states(DdNode *f) const {
        StateSet out = 0;
        for (int s = 0; s < g_.states(); s++) {
            unsigned a = 0;
            for (int k = 0; k < g_.n(); k++) a |= static_cast<unsigned>(s >> k & 1) << (2 * k);
            if (eval(f, a)) out |= StateSet{1} << s;
        }
        return out;
    }

    std::vector<DdNode *> &sysJ() { return sysJ_; }
    std::vector<DdNode *> &envJ() { return envJ_; }
    DdNode *&sysIni() { return sysIni_; }
    DdNode *&envIni() { return envIni_; }

private:
    static DdNode *keep(DdNode *f) {
        Tarn_Ref(f);
        return f;
    }
    int unprimed(unsigned a) const {
        int s = 0;
        for (int k = 0; k < g_.n(); k++) s |= static_cast<int>(a >> (2 * k) & 1) << k;
        return s;
    }
    int primed(unsigned a) const {
        int s = 0;
        for (int k = 0; k < g_.n(); k++) s |= static_cast<int>(a >> (2 * k + 1) & 1) << k;
        return s;
    }
    // The value of f at an assignment of the decision-diagram variables (bit v: variable v).
    bool eval(DdNode *f, unsigned a) const {
        bool complemented = false;
        while (!Tarn_IsConstant(f)) {
            complemented ^= Tarn_IsComplement(f);
            const uint32_t v = Tarn_ReadNodeIndex(f);
            f = (a >> v & 1) ? Tarn_Then(f) : Tarn_Else(f);
        }
        complemented ^= Tarn_IsComplement(f);
        return !complemented;
    }
    // Shannon expansion over the variables from v on, by if-then-else (referenced).
    template <class F>
    DdNode *build(int v, unsigned a, const F &value) {
        if (v == 2 * g_.n())
            return keep(value(a) ? Tarn_ReadOne(dd_) : Tarn_Not(Tarn_ReadOne(dd_)));
        DdNode *hi = build(v + 1, a | (1u << v), value);
        DdNode *lo = build(v + 1, a, value);
        DdNode *r = keep(Tarn_BddIte(dd_, Tarn_BddIthVar(dd_, v), hi, lo));
        Tarn_RecursiveDeref(dd_, hi);
        Tarn_RecursiveDeref(dd_, lo);
        return r;
    }
    // The positive cube of state variables first .. last-1, unprimed (offset 0) or primed (1).
    DdNode *cube(int first, int last, int offset) {
        DdNode *c = keep(Tarn_ReadOne(dd_));
        for (int k = first; k < last; k++) {
            DdNode *r = keep(Tarn_BddAnd(dd_, c, Tarn_BddIthVar(dd_, 2 * k + offset)));
            Tarn_RecursiveDeref(dd_, c);
            c = r;
        }
        return c;
    }

    DdManager *dd_;
    const ExplicitGame &g_;
    std::vector<DdNode *> pairing_;
    DdNode *envIni_, *sysIni_, *envTrans_, *sysTrans_;
    DdNode *envVars_, *sysVars_, *envPrimeVars_, *sysPrimeVars_;
    std::vector<DdNode *> sysJ_, envJ_;
};

}  // namespace game_oracle
