import ordo.BDD;
import ordo.BDDPairing;
import ordo.TARNFactory;

/**
 * Reachable states of Peterson's mutual exclusion protocol for two
 * processes, by symbolic breadth-first search. Each state variable v has
 * the BDD variable 2v and its next-state copy 2v+1; the image of a set S
 * is (EXISTS current . S AND T) renamed from next to current variables.
 *
 * <p>Run: {@code java -cp build/tarn.jar examples/Reachability.java}
 */
public final class Reachability {
    // state variables: the flags, whose turn it is, and who is in its critical section
    static final int FLAG0 = 0;
    static final int FLAG1 = 1;
    static final int TURN = 2;
    static final int CRIT0 = 3;
    static final int CRIT1 = 4;
    static final int VARS = 5;

    private Reachability() {
    }

    static BDD cur(TARNFactory f, int v) {
        return f.ithVar(2 * v);
    }

    static BDD next(TARNFactory f, int v) {
        return f.ithVar(2 * v + 1);
    }

    static BDD notCur(TARNFactory f, int v) {
        return f.nithVar(2 * v);
    }

    static BDD notNext(TARNFactory f, int v) {
        return f.nithVar(2 * v + 1);
    }

    /** Every state variable not in changed keeps its value. */
    static BDD unchangedExcept(TARNFactory f, int... changed) {
        BDD r = f.one();
        outer:
        for (int v = 0; v < VARS; v++) {
            for (int c : changed) {
                if (c == v) {
                    continue outer;
                }
            }
            r.andWith(next(f, v).biimpWith(cur(f, v)));
        }
        return r;
    }

    /** The moves of process p (0 or 1): request, enter, leave. */
    static BDD process(TARNFactory f, int p) {
        int flag = p == 0 ? FLAG0 : FLAG1;
        int otherFlag = p == 0 ? FLAG1 : FLAG0;
        int crit = p == 0 ? CRIT0 : CRIT1;
        // it is p's turn when TURN equals p
        BDD myTurn = p == 0 ? notCur(f, TURN) : cur(f, TURN);
        BDD givesTurn = p == 0 ? next(f, TURN) : notNext(f, TURN);

        BDD request = notCur(f, flag).andWith(next(f, flag)).andWith(givesTurn)
                .andWith(unchangedExcept(f, flag, TURN));
        BDD enter = cur(f, flag).andWith(notCur(f, crit)).andWith(notCur(f, otherFlag).orWith(myTurn))
                .andWith(next(f, crit)).andWith(unchangedExcept(f, crit));
        BDD leave = cur(f, crit).andWith(notNext(f, crit)).andWith(notNext(f, flag))
                .andWith(unchangedExcept(f, crit, flag));
        return request.orWith(enter).orWith(leave);
    }

    public static void main(String[] args) {
        try (TARNFactory f = TARNFactory.init(10_000, 10_000)) {
            f.setVarNum(2 * VARS);
            BDD trans = process(f, 0).orWith(process(f, 1));
            BDD init = f.one();
            for (int v = 0; v < VARS; v++) {
                init.andWith(notCur(f, v));
            }
            int[] current = new int[VARS];
            for (int v = 0; v < VARS; v++) {
                current[v] = 2 * v;
            }
            BDD currentVars = f.makeSet(current);
            BDDPairing nextToCurrent = f.makePair();
            for (int v = 0; v < VARS; v++) {
                nextToCurrent.set(2 * v + 1, 2 * v);
            }

            BDD reached = init.id();
            BDD frontier = init.id();
            int steps = 0;
            while (!frontier.isZero()) {
                BDD image = frontier.relprod(trans, currentVars).replaceWith(nextToCurrent);
                frontier.free();
                frontier = image.diffWith(reached.id());
                reached.orWith(frontier.id());
                steps++;
            }
            // satCount counts over all 10 variables; the next-state copies are free, so divide.
            double states = reached.satCount() / Math.pow(2, VARS);
            BDD bothCritical = reached.id().andWith(cur(f, CRIT0)).andWith(cur(f, CRIT1));
            System.out.printf("%.0f reachable states after %d steps; mutual exclusion %s%n", states, steps,
                    bothCritical.isZero() ? "holds" : "is violated");
            for (BDD b : new BDD[] {trans, init, currentVars, reached, frontier, bothCritical}) {
                b.free();
            }
            nextToCurrent.free();
        }
    }
}
