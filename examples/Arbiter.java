import ordo.BDD;
import ordo.BDDPairing;
import ordo.TARNFactory;

/**
 * A GR(1) game built by hand: an arbiter for two clients. The environment
 * sets the requests r0 and r1, the system the grants g0 and g1. The system
 * must never grant both at once and must serve every client infinitely
 * often (justice "r_i implies g_i"). Each variable v has the BDD variable 2v
 * and its primed (next-state) copy 2v+1; the pairing maps each to the other.
 * A second game forbids granting client 1 at all, while the environment
 * promises to request it infinitely often: the system then loses.
 *
 * <p>The solver prints its trace to standard output before the verdict.
 *
 * <p>Run: {@code java -cp build/tarn.jar examples/Arbiter.java}
 */
public final class Arbiter {
    static final int R0 = 0;
    static final int R1 = 1;
    static final int G0 = 2;
    static final int G1 = 3;

    private Arbiter() {
    }

    static BDD v(TARNFactory f, int var) {
        return f.ithVar(2 * var);
    }

    static BDD primed(TARNFactory f, int var) {
        return f.ithVar(2 * var + 1);
    }

    static boolean solve(TARNFactory f, boolean neverServeClient1) {
        BDD envVars = f.makeSet(2 * R0, 2 * R1);
        BDD sysVars = f.makeSet(2 * G0, 2 * G1);
        BDD envPrimeVars = f.makeSet(2 * R0 + 1, 2 * R1 + 1);
        BDD sysPrimeVars = f.makeSet(2 * G0 + 1, 2 * G1 + 1);
        BDDPairing primes = f.makePair();
        for (int var = 0; var < 4; var++) {
            primes.set(2 * var, 2 * var + 1);
            primes.set(2 * var + 1, 2 * var);
        }
        BDD envIni = f.one();
        BDD sysIni = f.nithVar(2 * G0).andWith(f.nithVar(2 * G1));
        BDD envTrans = f.one();
        // never both grants
        BDD sysTrans = primed(f, G0).andWith(primed(f, G1)).xorWith(f.one());
        if (neverServeClient1) {
            sysTrans.andWith(f.nithVar(2 * G1 + 1));
        }
        BDD[] sysJ = {v(f, R0).impWith(v(f, G0)), v(f, R1).impWith(v(f, G1))};
        BDD[] envJ = {neverServeClient1 ? v(f, R1) : f.one()};

        boolean realizable = f.gr1Game(sysJ, envJ, sysIni, envIni, sysTrans, envTrans, sysVars, envVars,
                sysPrimeVars, envPrimeVars, primes, false, false, false);

        // The winning region is the last Z of the solver's memory, which keeps its own reference.
        // It speaks of the four current variables only: satCount over all eight counts 16 times each.
        long[] z = TARNFactory.getZMem0();
        BDD winning = f.share(z[z.length - 1]);
        double states = winning.satCount() / 16;
        System.out.printf("%s: %s, the system wins from %.0f of 16 states%n",
                neverServeClient1 ? "arbiter that never serves client 1" : "arbiter",
                realizable ? "realizable" : "unrealizable", states);
        for (BDD b : new BDD[] {envVars, sysVars, envPrimeVars, sysPrimeVars, envIni, sysIni, envTrans,
            sysTrans, sysJ[0], sysJ[1], envJ[0], winning}) {
            b.free();
        }
        primes.free();
        return realizable;
    }

    public static void main(String[] args) {
        try (TARNFactory f = TARNFactory.init(1000, 1000)) {
            f.setVarNum(8);
            solve(f, false);
            solve(f, true);
        }
    }
}
