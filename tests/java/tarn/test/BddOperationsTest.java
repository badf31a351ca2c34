package tarn.test;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;
import static tarn.test.TruthTables.*;

import java.util.ArrayList;
import java.util.List;
import java.util.Map;
import java.util.Random;
import java.util.function.LongBinaryOperator;
import ordo.BDDException;
import ordo.TARNFactory;
import org.junit.jupiter.api.AfterEach;
import org.junit.jupiter.api.BeforeEach;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.function.Executable;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.CsvSource;

/**
 * The BDD operations from Java against a truth-table oracle over five
 * variables. A table is a long whose bit a (a from 0 to 31) is the value of
 * the function at the assignment a, bit i of a being variable i. The oracle
 * reads a BDD by walking it with var0, high0 and low0.
 */
class BddOperationsTest extends ManagerFixture {

    private final Random random = new Random(42);
    /** Handles that the test owns a reference to, released at its end. */
    private final List<Long> held = new ArrayList<>();

    // The test holds the projection functions as well, so that the live-node
    // count (which leaves out projections that only the manager holds) changes
    // only with the nodes of the diagrams themselves.
    @BeforeEach
    void fiveVariables() {
        TARNFactory.setVarNum0(VARS, false);
        for (int i = 0; i < VARS; i++) {
            keep(TARNFactory.ithVar0(i, false));
        }
    }

    @AfterEach
    void releaseHeld() {
        for (long f : held) {
            TARNFactory.delRef(f, false);
        }
        held.clear();
    }

    // ---- the oracle ----------------------------------------------------------------------

    /** A random function whose support is a random subset of the variables. */
    private long randomTable() {
        long t = random.nextLong() & ALL;
        for (int i = 0; i < VARS; i++) {
            if (random.nextInt(4) == 0) {
                t = positiveCofactor(t, i);
            }
        }
        return t;
    }

    // ---- building operands ------------------------------------------------------------------

    private long keep(long f) {
        held.add(f);
        return f;
    }

    /** The BDD of a table by Shannon expansion, with one reference owned by the test. */
    private long build(long t) {
        long f = buildFrom(t, 0);
        assertEquals(t, table(f), "operand built from its table");
        return keep(f);
    }

    /** The conjunction of the variables whose bits are set in vars. */
    private long cube(int vars) {
        long t = ALL;
        for (int i = 0; i < VARS; i++) {
            if (((vars >> i) & 1) != 0) {
                t &= VARIABLE[i];
            }
        }
        return build(t);
    }

    /** Operands that meet the terminal cases: constants, a literal, random functions, complements. */
    private long[] operandTables() {
        long r1 = randomTable();
        long r2 = randomTable();
        long r3 = randomTable();
        return new long[] {ALL, 0, VARIABLE[0], ~VARIABLE[0] & ALL, VARIABLE[4], r1, ~r1 & ALL, r2, r3};
    }

    /** A result: its table is the expected one and it is the canonical handle of that function. */
    private void expectFunction(long r, long expected, String what) {
        keep(r);
        assertEquals(expected, table(r), what);
        assertEquals(build(expected), r, what + ": canonical handle");
    }

    // ---- apply0 -------------------------------------------------------------------------------

    private static final Map<Integer, LongBinaryOperator> APPLY = Map.of(
            0, (a, b) -> a & b,
            1, (a, b) -> a ^ b,
            2, (a, b) -> a | b,
            3, (a, b) -> ~(a & b),
            4, (a, b) -> ~(a | b),
            5, (a, b) -> ~a | b,
            6, (a, b) -> ~(a ^ b),
            7, (a, b) -> a & ~b,
            8, (a, b) -> ~a & b,
            9, (a, b) -> a | ~b);

    @Test
    void everyApplyCodeMatchesTheTruthTable() {
        long[] tables = operandTables();
        long[] bdds = new long[tables.length];
        for (int i = 0; i < tables.length; i++) {
            bdds[i] = build(tables[i]);
        }
        APPLY.forEach((code, op) -> {
            for (int i = 0; i < tables.length; i++) {
                for (int j = 0; j < tables.length; j++) {
                    long r = TARNFactory.apply0(bdds[i], bdds[j], code, false, false, false);
                    expectFunction(r, op.applyAsLong(tables[i], tables[j]) & ALL,
                            "code " + code + " on operands " + i + ", " + j);
                }
            }
        });
    }

    @ParameterizedTest(name = "code {0}")
    @CsvSource({"10", "18", "-1", "19"})
    void applyRefusesCodesWithoutABddOperation(int code) {
        long x = keep(TARNFactory.ithVar0(0, false));
        InternalError e = assertThrows(InternalError.class,
                () -> TARNFactory.apply0(x, x, code, false, false, false));
        assertEquals("operation not supported", e.getMessage());
    }

    // a and b are single nodes that only the test holds, so releasing one of them
    // removes exactly one live node. The releases happen also for a refused code.
    @ParameterizedTest(name = "code {0}, releaseA={1}, releaseB={2}")
    @CsvSource({
        "0, false, false, 0",
        "0, false, true,  0",
        "0, true,  false, 1",
        "0, true,  true,  2",
        "6, true,  true,  2",
        "12, false, true, 0",
        "12, true, false, 1",
        "12, true, true,  2",
    })
    void applyReleasesTheOperandsItPromises(int code, boolean releaseA, boolean releaseB, int released) {
        long a = build(VARIABLE[0] & VARIABLE[1]);
        long b = build(VARIABLE[2] | VARIABLE[3]);
        held.remove(Long.valueOf(a));  // the test releases a and b itself
        held.remove(Long.valueOf(b));
        int before = TARNFactory.getNodeNum0();

        if (code <= 9) {
            TARNFactory.delRef(TARNFactory.apply0(a, b, code, false, releaseA, releaseB), false);
        } else {
            assertThrows(InternalError.class, () -> TARNFactory.apply0(a, b, code, false, releaseA, releaseB));
        }
        assertEquals(before - released, TARNFactory.getNodeNum0());

        if (!releaseA) {
            TARNFactory.delRef(a, false);
        }
        if (!(releaseA && releaseB)) {
            TARNFactory.delRef(b, false);
        }
        assertEquals(before - 2, TARNFactory.getNodeNum0());
    }

    // ---- ite0, not0, equalBDDs0 ------------------------------------------------------------

    @Test
    void iteMatchesTheTruthTable() {
        long[] tables = operandTables();
        long[] bdds = new long[tables.length];
        for (int i = 0; i < tables.length; i++) {
            bdds[i] = build(tables[i]);
        }
        for (int i = 0; i < tables.length; i++) {
            for (int j = 0; j < tables.length; j++) {
                for (int k = 0; k < tables.length; k++) {
                    long r = TARNFactory.ite0(bdds[i], bdds[j], bdds[k], false);
                    long expected = (tables[i] & tables[j]) | (~tables[i] & tables[k]);
                    expectFunction(r, expected & ALL, "ite of " + i + ", " + j + ", " + k);
                }
            }
        }
    }

    @Test
    void iteIdentitiesAndTheLiteralNode() {
        long f = build(randomTable() | VARIABLE[1]);
        assertEquals(f, keep(TARNFactory.ite0(f, TARNFactory.one, TARNFactory.zero, false)));
        assertEquals(not(f), keep(TARNFactory.ite0(f, TARNFactory.zero, TARNFactory.one, false)));
        long g = build(VARIABLE[2] ^ VARIABLE[4]);
        long h = build(VARIABLE[1] & VARIABLE[3]);
        assertEquals(g, keep(TARNFactory.ite0(f, g, g, false)));

        long x = keep(TARNFactory.ithVar0(0, false));
        long r = keep(TARNFactory.ite0(x, g, h, false));
        assertEquals(0, TARNFactory.var0(r));
        assertEquals(g, keep(TARNFactory.high0(r, false)));
        assertEquals(h, keep(TARNFactory.low0(r, false)));
    }

    @Test
    void notTogglesTheMarkAndReferencesTheNode() {
        long f = build(VARIABLE[0] & VARIABLE[3]);
        held.remove(Long.valueOf(f));
        int before = TARNFactory.getNodeNum0();
        long n = TARNFactory.not0(f, false);
        assertEquals(not(f), n);
        TARNFactory.delRef(f, false);
        assertEquals(before, TARNFactory.getNodeNum0(), "not0's reference keeps the node alive");
        TARNFactory.delRef(n, false);
        assertEquals(before - 1, TARNFactory.getNodeNum0());
    }

    @Test
    void equalBddsComparesFunctions() {
        long[] tables = operandTables();
        long[] bdds = new long[tables.length];
        for (int i = 0; i < tables.length; i++) {
            bdds[i] = build(tables[i]);
        }
        for (int i = 0; i < tables.length; i++) {
            assertFalse(TARNFactory.equalBDDs0(bdds[i], not(bdds[i])));
            for (int j = 0; j < tables.length; j++) {
                assertEquals(tables[i] == tables[j], TARNFactory.equalBDDs0(bdds[i], bdds[j]), i + ", " + j);
            }
        }
    }

    // ---- exist0, forAll0, relprod0 ------------------------------------------------------------

    @Test
    void abstractionsMatchTheTruthTable() {
        for (int n = 0; n < 6; n++) {
            long t = randomTable();
            long f = build(t);
            for (int vars = 0; vars < 32; vars++) {
                long c = cube(vars);
                expectFunction(TARNFactory.exist0(f, c, false), exists(t, vars), "exist over " + vars);
                expectFunction(TARNFactory.forAll0(f, c, false), forall(t, vars), "forAll over " + vars);
            }
        }
    }

    @Test
    void relationalProductIsTheAbstractionOfTheConjunction() {
        for (int n = 0; n < 60; n++) {
            long a = randomTable();
            long b = randomTable();
            int vars = random.nextInt(32);
            long f = build(a);
            long g = build(b);
            long c = cube(vars);
            expectFunction(TARNFactory.relprod0(f, g, c), exists(a & b, vars), "round " + n);
            expectFunction(TARNFactory.relprod0(f, not(f), c), 0, "f with its complement");
        }
    }

    @Test
    void cubesThatAreNotPositiveRaiseBddException() {
        long f = build(randomTable());
        long[] bad = {
            not(build(VARIABLE[1])),
            build(VARIABLE[0] & ~VARIABLE[2] & ALL),
            build(VARIABLE[0] | VARIABLE[2]),
        };
        for (long c : bad) {
            assertThrows(BDDException.class, () -> TARNFactory.exist0(f, c, false));
            assertThrows(BDDException.class, () -> TARNFactory.forAll0(f, c, false));
            assertThrows(BDDException.class, () -> TARNFactory.relprod0(f, f, c));
        }
    }

    @Test
    void nullHandlesAreRejected() {
        long x = keep(TARNFactory.ithVar0(0, false));
        Map<String, Executable> calls = Map.of(
                "apply0", () -> TARNFactory.apply0(x, 0L, 0, false, true, true),
                "ite0", () -> TARNFactory.ite0(x, 0L, x, false),
                "not0", () -> TARNFactory.not0(0L, false),
                "equalBDDs0", () -> TARNFactory.equalBDDs0(0L, x),
                "exist0", () -> TARNFactory.exist0(x, 0L, false),
                "forAll0", () -> TARNFactory.forAll0(0L, x, false),
                "relprod0", () -> TARNFactory.relprod0(x, x, 0L));
        calls.forEach((name, call) -> assertThrows(IllegalArgumentException.class, call, name));
    }
}
