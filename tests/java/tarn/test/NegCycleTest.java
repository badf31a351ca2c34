package tarn.test;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertThrows;

import java.util.ArrayList;
import java.util.List;
import ordo.TARNFactory;
import org.junit.jupiter.api.AfterEach;
import org.junit.jupiter.api.BeforeEach;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.CsvSource;

/**
 * The negative-cycle check from Java on two states: variable 0 is the
 * source x, variable 1 the target x'. Each check appends one fresh variable;
 * the pairing records must keep up with it.
 */
class NegCycleTest extends ManagerFixture {
    private static final double INF = 1e302;

    /** ADD handles that the test owns a reference to, released at its end. */
    private final List<Long> held = new ArrayList<>();

    @BeforeEach
    void fourVariables() {
        TARNFactory.setVarNum0(4, true);
    }

    @AfterEach
    void releaseHeld() {
        for (long f : held) {
            TARNFactory.delRef(f, true);
        }
    }

    private long hold(long f) {
        held.add(f);
        return f;
    }

    private long constant(double v) {
        return hold(TARNFactory.addConst0(v));
    }

    private long var(int i) {
        return hold(TARNFactory.ithVar0(i, true));
    }

    /** The ADD that is g where the 0/1 ADD c is one and h elsewhere. */
    private long ite(long c, long g, long h) {
        return hold(TARNFactory.ite0(c, g, h, true));
    }

    /** The relation with weight w[x][x'] on each of the four transitions. */
    private long relation(double[][] w) {
        long x = var(0);
        long xp = var(1);
        long fromOne = ite(xp, constant(w[1][1]), constant(w[1][0]));
        long fromZero = ite(xp, constant(w[0][1]), constant(w[0][0]));
        return ite(x, fromOne, fromZero);
    }

    /** An ADD pairing record that pairs the primed variable 1 with variable 0. */
    private static long pairing() {
        long p = TARNFactory.alloc(true);
        TARNFactory.set0(p, 1, 0, true);
        return p;
    }

    // 0 -> 1 costs 1 and 1 -> 0 costs w: a negative cycle exactly when w < -1.
    @ParameterizedTest(name = "back weight {0}")
    @CsvSource({"-2, true", "-1, false", "5, false"})
    void aCycleThroughBothStates(double w, boolean negative) {
        long p = pairing();
        long trans = relation(new double[][] {{INF, 1}, {w, INF}});
        assertEquals(negative, TARNFactory.negCycleCheck0(trans, constant(0), var(1), p));
        assertEquals(5, TARNFactory.varNum0(), "one fresh variable");
        TARNFactory.free0(p);
    }

    @Test
    void twoChecksThenEveryRecordIsReleasedCleanly() {
        long bdd = TARNFactory.alloc(false); // made before the checks, used after them
        TARNFactory.alloc(true); // left for done0
        long p = pairing();
        long trans = relation(new double[][] {{0, -1}, {INF, INF}});
        assertFalse(TARNFactory.negCycleCheck0(trans, constant(0), var(1), p));
        assertFalse(TARNFactory.negCycleCheck0(trans, constant(0), var(1), p));
        assertEquals(6, TARNFactory.varNum0(), "two fresh variables");

        long x = TARNFactory.ithVar0(0, false);
        long r = TARNFactory.replace0(x, bdd, false);
        assertEquals(x, r);
        TARNFactory.delRef(r, false);
        TARNFactory.delRef(x, false);
        assertEquals(6, TARNFactory.setVarNum0(8, true));
        TARNFactory.free0(bdd);
        TARNFactory.free0(p);
    }

    @Test
    void invalidArgumentsAreRefused() {
        long p = pairing();
        long trans = constant(1);
        long curS = constant(0);
        long cube = var(1);
        assertThrows(IllegalArgumentException.class,
                () -> TARNFactory.negCycleCheck0(trans, curS, cube, 0L), "null pairing");
        assertThrows(IllegalArgumentException.class,
                () -> TARNFactory.negCycleCheck0(0L, curS, cube, p), "null relation");
        assertThrows(IllegalArgumentException.class,
                () -> TARNFactory.negCycleCheck0(TARNFactory.zero, curS, cube, p), "complemented relation");
        TARNFactory.free0(p);
        assertThrows(IllegalArgumentException.class,
                () -> TARNFactory.negCycleCheck0(trans, curS, cube, p), "freed pairing");
        assertEquals(4, TARNFactory.varNum0(), "no check ran");
    }
}
