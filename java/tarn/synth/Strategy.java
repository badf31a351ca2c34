package tarn.synth;

import ordo.BDD;
import ordo.TARNFactory;

/**
 * A winning strategy of the system, built from the memory of the last GR(1)
 * solve: a relation over the current state, the next state and a counter of
 * the system justice pursued (memory bits after the game's variables, each
 * with its primed copy beside it). In pursuit of justice j a state
 *
 * <ul>
 * <li>that satisfies j moves anywhere inside the winning region Z and the
 * counter moves on to j+1;</li>
 * <li>else, at the first Y iterate k of j that holds it, moves into iterate
 * k-1 when it can force that;</li>
 * <li>else, for the first environment justice i whose X fixpoint at k holds
 * it and which it violates, stays inside that fixpoint (the environment must
 * leave it by satisfying i, which reaches one of the cases above).</li>
 * </ul>
 *
 * Taking the first case that applies keeps the rank from growing, so every
 * play either satisfies j or lets the environment violate a justice forever.
 */
final class Strategy {
    private Strategy() {
    }

    /** Number of counter bits for n system justices. */
    static int counterBits(int n) {
        return 32 - Integer.numberOfLeadingZeros(Math.max(n - 1, 0));
    }

    /** The strategy relation; the caller owns it. base is the first counter variable index. */
    static BDD build(Game g, int base) {
        TARNFactory f = g.f;
        int n = g.sysJ.length;
        int envN = g.envJ.length;
        int bits = counterBits(n);
        int[] sizes = TARNFactory.getAttrSizes0();
        long[] xMem = TARNFactory.getXMem0();
        long[] yMem = TARNFactory.getYMem0();
        long[] zMem = TARNFactory.getZMem0();
        BDD trans = g.envTrans.and(g.sysTrans);
        BDD z = f.share(zMem[n - 1]);
        BDD strategy = f.zero();
        int xOff = 0;
        int yOff = 0;
        for (int j = 0; j < n; j++) {
            int c = sizes[j];
            BDD stay = counter(f, base, bits, j, 1);
            BDD covered = z.and(g.sysJ[j]);
            BDD rel = toward(g, covered, trans, z);
            rel.andWith(counter(f, base, bits, (j + 1) % n, 1));
            BDD previousY = null;
            for (int k = 0; k < c; k++) {
                BDD y = f.share(yMem[yOff + k]);
                if (previousY != null) {
                    BDD forced = g.sysCpre(previousY);
                    BDD domain = y.and(forced).diffWith(covered.id());
                    forced.free();
                    BDD step = toward(g, domain, trans, previousY);
                    rel.orWith(step.andWith(stay.id()));
                    covered.orWith(domain);
                    previousY.free();
                }
                for (int i = 0; i < envN; i++) {
                    BDD x = f.share(xMem[xOff + i * c + k]);
                    BDD domain = x.diff(covered).diffWith(g.envJ[i].id());
                    BDD step = toward(g, domain, trans, x);
                    rel.orWith(step.andWith(stay.id()));
                    covered.orWith(domain);
                    x.free();
                }
                previousY = y;
            }
            if (previousY != null) {
                previousY.free();
            }
            xOff += envN * c;
            yOff += c;
            strategy.orWith(rel.andWith(counter(f, base, bits, j, 0)));
            covered.free();
            stay.free();
        }
        z.free();
        trans.free();
        return strategy;
    }

    /** The moves from the states of domain along trans into target. */
    private static BDD toward(Game g, BDD domain, BDD trans, BDD target) {
        BDD next = target.replace(g.primes);
        BDD r = domain.and(trans);
        return r.andWith(next);
    }

    /** The counter value j over the current (primed 0) or next (primed 1) counter bits. */
    private static BDD counter(TARNFactory f, int base, int bits, int j, int primed) {
        BDD r = f.one();
        for (int b = 0; b < bits; b++) {
            int v = base + 2 * b + primed;
            r.andWith(((j >> b) & 1) != 0 ? f.ithVar(v) : f.nithVar(v));
        }
        return r;
    }
}
