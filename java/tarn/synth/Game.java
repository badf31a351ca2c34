package tarn.synth;

import java.util.ArrayList;
import java.util.List;
import ordo.BDD;
import ordo.BDDPairing;
import ordo.TARNFactory;

/**
 * The game of a specification, as BDDs: declared variable k has the index
 * 2k and its primed copy 2k+1, so current and next copies lie side by side
 * in the order. The solvers' justices must be state properties, so every
 * liveness line that mentions a primed variable (a property of transitions)
 * gets a fresh system variable r with the transition constraint r' = line:
 * r then holds in exactly the states reached by a transition that satisfied
 * the line, and the justice becomes r. The system cannot cheat with r, since
 * its value is fixed by the transition, and it never restricts the system,
 * which picks r' together with its other outputs.
 */
final class Game implements AutoCloseable {
    final TARNFactory f;
    final int declared;
    final int recorders;
    final int stateVariables;
    final BDD[] sysJ;
    final BDD[] envJ;
    final BDD sysIni;
    final BDD envIni;
    final BDD sysTrans;
    final BDD envTrans;
    final BDD sysVars;
    final BDD envVars;
    final BDD sysPrimeVars;
    final BDD envPrimeVars;
    final BDDPairing primes;

    /**
     * Builds the game; reserves extraVariables further variables after the game's own ones.
     */
    Game(TARNFactory f, GameSpec spec, int extraVariables) {
        this.f = f;
        declared = spec.variableCount();
        recorders = recorders(spec);
        stateVariables = declared + recorders;
        f.setVarNum(variables(spec, extraVariables));

        envIni = conjunction(spec.envInit);
        sysIni = conjunction(spec.sysInit);
        envTrans = conjunction(spec.envTrans);
        BDD st = conjunction(spec.sysTrans);
        int next = declared;
        List<BDD> ej = new ArrayList<>();
        for (GameSpec.Line l : spec.envLiveness) {
            ej.add(justice(l.formula(), next, st));
            next += l.formula().mentionsPrimed() ? 1 : 0;
        }
        List<BDD> sj = new ArrayList<>();
        for (GameSpec.Line l : spec.sysLiveness) {
            sj.add(justice(l.formula(), next, st));
            next += l.formula().mentionsPrimed() ? 1 : 0;
        }
        // An empty liveness section is the single justice true.
        if (ej.isEmpty()) {
            ej.add(f.one());
        }
        if (sj.isEmpty()) {
            sj.add(f.one());
        }
        sysTrans = st;
        envJ = ej.toArray(new BDD[0]);
        sysJ = sj.toArray(new BDD[0]);

        List<Integer> env = new ArrayList<>();
        List<Integer> sys = new ArrayList<>();
        for (GameSpec.Variable v : spec.inputs) {
            env.add(v.number());
        }
        for (GameSpec.Variable v : spec.outputs) {
            sys.add(v.number());
        }
        for (int k = declared; k < stateVariables; k++) {
            sys.add(k);
        }
        envVars = cube(env, 0);
        envPrimeVars = cube(env, 1);
        sysVars = cube(sys, 0);
        sysPrimeVars = cube(sys, 1);
        primes = f.makePair();
        for (int k = 0; k < stateVariables; k++) {
            primes.set(2 * k, 2 * k + 1);
            primes.set(2 * k + 1, 2 * k);
        }
    }

    /** The recorder variables the game of a specification gets. */
    private static int recorders(GameSpec spec) {
        int rec = 0;
        for (GameSpec.Line l : spec.envLiveness) {
            rec += l.formula().mentionsPrimed() ? 1 : 0;
        }
        for (GameSpec.Line l : spec.sysLiveness) {
            rec += l.formula().mentionsPrimed() ? 1 : 0;
        }
        return rec;
    }

    /** The BDD variables of the game of a specification, with extraVariables reserved. */
    static int variables(GameSpec spec, int extraVariables) {
        return Math.max(1, 2 * (spec.variableCount() + recorders(spec)) + extraVariables);
    }

    private BDD conjunction(List<GameSpec.Line> lines) {
        BDD r = f.one();
        for (GameSpec.Line l : lines) {
            r.andWith(l.formula().toBDD(f, f::ithVar));
        }
        return r;
    }

    /** The justice of a liveness line; a line over transitions gets recorder variable k. */
    private BDD justice(Formula line, int k, BDD sysTransitions) {
        BDD j = line.toBDD(f, f::ithVar);
        if (!line.mentionsPrimed()) {
            return j;
        }
        sysTransitions.andWith(f.ithVar(2 * k + 1).biimpWith(j));
        return f.ithVar(2 * k);
    }

    private BDD cube(List<Integer> vars, int primed) {
        BDD r = f.one();
        for (int k : vars) {
            r.andWith(f.ithVar(2 * k + primed));
        }
        return r;
    }

    /** Whether the system wins from all initial states, by the GR(1) solver. */
    boolean solveGr1(boolean efp, boolean eun, boolean fpr) {
        return f.gr1Game(sysJ, envJ, sysIni, envIni, sysTrans, envTrans, sysVars, envVars, sysPrimeVars,
                envPrimeVars, primes, efp, eun, fpr);
    }

    /** Whether the environment wins from some initial state, by the Rabin solver. */
    boolean solveRabin(boolean efp, boolean eun, boolean fpr) {
        return f.rabinGame(sysJ, envJ, sysIni, envIni, sysTrans, envTrans, sysVars, envVars, sysPrimeVars,
                envPrimeVars, primes, efp, eun, fpr);
    }

    /** The states from which the system can force the next state into p. */
    BDD sysCpre(BDD p) {
        BDD next = p.replace(primes);
        BDD sysMove = sysTrans.relprod(next, sysPrimeVars);
        next.free();
        BDD r = envTrans.imp(sysMove);
        sysMove.free();
        BDD q = r.forAll(envPrimeVars);
        r.free();
        return q;
    }

    @Override
    public void close() {
        for (BDD b : sysJ) {
            b.free();
        }
        for (BDD b : envJ) {
            b.free();
        }
        for (BDD b : new BDD[] {sysIni, envIni, sysTrans, envTrans, sysVars, envVars, sysPrimeVars,
            envPrimeVars}) {
            b.free();
        }
        primes.free();
    }
}
