package tarn.test;

import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertNotEquals;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;
import static tarn.test.LeafModels.INF;
import static tarn.test.LeafModels.canonical;
import static tarn.test.LeafModels.energyMinus;
import static tarn.test.LeafModels.ithBit;
import static tarn.test.LeafModels.model;
import static tarn.test.LeafModels.same;
import static tarn.test.LeafModels.threshold;

import java.util.ArrayList;
import java.util.List;
import java.util.Map;
import java.util.Random;
import java.util.function.DoubleBinaryOperator;
import java.util.function.DoublePredicate;
import java.util.function.DoubleUnaryOperator;
import ordo.BDDException;
import ordo.TARNFactory;
import org.junit.jupiter.api.AfterEach;
import org.junit.jupiter.api.BeforeEach;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.function.Executable;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.CsvSource;

/**
 * The ADD operations from Java against a leaf-value oracle over three
 * variables. A function is a table of eight leaves; entry a is the leaf at the
 * assignment a, bit i of a being variable i. The oracle reads an ADD by
 * walking it with var0, high0, low0 and retrieveConstValue0, and builds one
 * from a table with ite0 on the ADD projection functions.
 */
class AddOperationsTest extends ManagerFixture {
    private static final int VARS = 3;
    private static final int SIZE = 1 << VARS;
    private static final double NAN = Double.NaN;
    private static final double[] POOL = {0, 1, 2, -3, 0.5, 7, INF, -INF, NAN};

    private final Random random = new Random(4242);
    /** Handles that the test owns a reference to, released at its end. */
    private final List<Long> held = new ArrayList<>();

    @BeforeEach
    void threeVariables() {
        TARNFactory.setVarNum0(VARS, true);
    }

    @AfterEach
    void releaseHeld() {
        for (long f : held) {
            TARNFactory.delRef(f, true);
        }
        held.clear();
    }

    // ---- the oracle ----------------------------------------------------------------------

    private static double eval(long f, int assignment) {
        while (!TARNFactory.isAddConst0(f)) {
            int v = TARNFactory.var0(f);
            boolean high = ((assignment >> v) & 1) != 0;
            long child = high ? TARNFactory.high0(f, true) : TARNFactory.low0(f, true);
            TARNFactory.delRef(child, true);  // the root keeps it alive
            f = child;
        }
        return TARNFactory.retrieveConstValue0(f);
    }

    private static double[] leaves(long f) {
        double[] t = new double[SIZE];
        for (int a = 0; a < SIZE; a++) {
            t[a] = eval(f, a);
        }
        return t;
    }

    private static boolean evalBdd(long f, int assignment) {
        while (f != TARNFactory.one && f != TARNFactory.zero) {
            int v = TARNFactory.var0(f);
            boolean high = ((assignment >> v) & 1) != 0;
            long child = high ? TARNFactory.high0(f, false) : TARNFactory.low0(f, false);
            TARNFactory.delRef(child, false);
            f = child;
        }
        return f == TARNFactory.one;
    }

    private double[] randomTable(double[] pool) {
        double[] t = new double[SIZE];
        for (int a = 0; a < SIZE; a++) {
            t[a] = pool[random.nextInt(pool.length)];
        }
        // drop a random variable now and then, so that supports differ
        int dropped = random.nextInt(VARS + 1);
        if (dropped < VARS) {
            for (int a = 0; a < SIZE; a++) {
                t[a] = t[a | (1 << dropped)];
            }
        }
        return t;
    }

    private double[] randomZeroOne() {
        return randomTable(new double[] {0, 1});
    }

    private static double[] pointwise(double[] f, double[] g, DoubleBinaryOperator op) {
        double[] r = new double[SIZE];
        for (int a = 0; a < SIZE; a++) {
            r[a] = op.applyAsDouble(f[a], g[a]);
        }
        return r;
    }

    private static double[] map(double[] f, DoubleUnaryOperator op) {
        double[] r = new double[SIZE];
        for (int a = 0; a < SIZE; a++) {
            r[a] = op.applyAsDouble(f[a]);
        }
        return r;
    }

    private static boolean[] passing(double[] f, DoublePredicate test) {
        boolean[] r = new boolean[SIZE];
        for (int a = 0; a < SIZE; a++) {
            r[a] = test.test(f[a]);
        }
        return r;
    }

    // ---- building operands and checking results ---------------------------------------------

    private long keep(long f) {
        assertNotEquals(0L, f);
        held.add(f);
        return f;
    }

    /** The ADD of a table by Shannon expansion, held by the test. */
    private long build(double[] t) {
        return keep(build(t, 0, 0));
    }

    private static long build(double[] t, int depth, int prefix) {
        if (depth == VARS) {
            return TARNFactory.addConst0(t[prefix]);
        }
        long hi = build(t, depth + 1, prefix | (1 << depth));
        long lo = build(t, depth + 1, prefix);
        long x = TARNFactory.ithVar0(depth, true);
        long r = TARNFactory.ite0(x, hi, lo, true);
        TARNFactory.delRef(x, true);
        TARNFactory.delRef(hi, true);
        TARNFactory.delRef(lo, true);
        return r;
    }

    private void assertLeaves(double[] expected, long r, String what) {
        keep(r);
        double[] actual = leaves(r);
        for (int a = 0; a < SIZE; a++) {
            double e = expected[a];
            double v = actual[a];
            assertTrue(same(e, v), () -> what + ": leaf " + v + " where " + e + " was expected");
        }
    }

    private void assertBdd(boolean[] expected, long r, String what) {
        assertNotEquals(0L, r);
        for (int a = 0; a < SIZE; a++) {
            assertEquals(expected[a], evalBdd(r, a), what + " at assignment " + a);
        }
        TARNFactory.delRef(r, false);
    }

    private long constant(double v) {
        return keep(TARNFactory.addConst0(v));
    }

    /** The value of a constant result, held by the test. */
    private double valueOf(long r) {
        return TARNFactory.retrieveConstValue0(keep(r));
    }

    /** The ADD cube of the variables whose bits are set. */
    private long cube(int vars) {
        double[] t = new double[SIZE];
        for (int a = 0; a < SIZE; a++) {
            t[a] = (a & vars) == vars ? 1 : 0;
        }
        return build(t);
    }

    // ---- tests -----------------------------------------------------------------------------

    @Test
    void constantsAreNormalised() {
        assertEquals(TARNFactory.addZero, constant(5e-13));
        assertEquals(constant(INF), constant(1e200));
        assertEquals(keep(TARNFactory.arithmeticMinusInfinity0()), constant(-1e160));
        assertEquals(keep(TARNFactory.arithmeticLogicOne0()), TARNFactory.one);
        assertEquals(keep(TARNFactory.arithmeticZero0()), TARNFactory.addZero);
        assertEquals(INF, valueOf(TARNFactory.arithmeticPlusInfinity0()));
        assertEquals(2.5, valueOf(TARNFactory.addConst0(2.5)));
        long[] constants = {TARNFactory.addZero, TARNFactory.one, constant(INF), constant(-INF)};
        for (long c : constants) {
            assertTrue(TARNFactory.isAddConst0(c));
        }
        long x = keep(TARNFactory.ithVar0(1, true));
        assertTrue(TARNFactory.isAddConst0(constant(NAN)));
        assertFalse(TARNFactory.isAddConst0(x));
        assertTrue(Double.isNaN(TARNFactory.retrieveConstValue0(x)), "a variable's node has no value");
    }

    @Test
    void applyCodesMatchTheLeafModel() {
        for (int code = 0; code <= 18; code++) {
            boolean logical = code <= 6 || code == 9 || code == 18;
            for (int round = 0; round < 12; round++) {
                double[] f = logical ? randomZeroOne() : randomTable(POOL);
                double[] g = logical ? randomZeroOne() : randomTable(POOL);
                final int c = code;
                long r = TARNFactory.apply0(build(f), build(g), code, true, false, false);
                assertLeaves(pointwise(f, g, (a, b) -> model(c, a, b)), r, "apply0 code " + code);
            }
        }
        long x = keep(TARNFactory.ithVar0(0, true));
        InternalError e = assertThrows(InternalError.class,
                () -> TARNFactory.apply0(x, x, 19, true, false, false));
        assertEquals("operation not supported", e.getMessage());
    }

    @ParameterizedTest(name = "cap {0}: {1} - {2} = {3}")
    @CsvSource({
        "10, 20, 5, 1e302",
        "10, 12, 5, 7",
        "10, 3, 5, 0",
        "10, 5, 1e302, 0",
        "10, 5, -1e302, 1e302",
        "0, 6, 5, 1e302",
        "-1, 20, 5, 15",
    })
    void energySubtractionCapsTheGain(double cap, double f, double g, double expected) {
        assertEquals(expected, valueOf(TARNFactory.addEngSubtract0(constant(f), constant(g), cap)));
    }

    // The cap of one call must not reach the next through memoized results.
    @Test
    void energySubtractionSettingsDoNotLeakThroughTheCache() {
        double[] f = {20, 12, 3, 20, 12, 3, 20, 12};
        double[] g = {5, 5, 5, 1, 1, 1, -INF, INF};
        long fa = build(f);
        long ga = build(g);
        // NaN stands for apply0 code 16, which switches the cap off
        for (double cap : new double[] {10, NAN, 0, 15, -4, 10}) {
            double effective = Double.isNaN(cap) ? -1 : cap;
            long r = Double.isNaN(cap) ? TARNFactory.apply0(fa, ga, 16, true, false, false)
                    : TARNFactory.addEngSubtract0(fa, ga, cap);
            assertLeaves(pointwise(f, g, (a, b) -> energyMinus(a, b, effective)), r, "cap " + cap);
        }
    }

    @Test
    void oneOperandOperationsMapEveryLeaf() {
        for (int round = 0; round < 20; round++) {
            double[] t = randomTable(POOL);
            long f = build(t);
            double[] log = map(t, v -> v == INF ? INF : canonical(Math.log(v)));
            assertLeaves(log, TARNFactory.addApplyLog0(f), "log");
            assertLeaves(map(t, v -> canonical(-v)), TARNFactory.addAdditiveNeg0(f), "negation");
            assertLeaves(map(t, v -> v == 7 ? -INF : v), TARNFactory.addMinimizeVal0(f, 7), "minimize 7");
            assertLeaves(map(t, v -> v == 2 ? -INF : v), TARNFactory.addMinimizeVal0(f, 2), "minimize 2");
            assertLeaves(map(t, LeafModels::cmpl), TARNFactory.not0(f, true), "complement");
        }
        assertEquals(TARNFactory.addZero, keep(TARNFactory.addApplyLog0(TARNFactory.one)));
        assertEquals(-INF, valueOf(TARNFactory.addApplyLog0(TARNFactory.addZero)));
    }

    @Test
    void extremeLeaves() {
        double[] noNaN = {0, 1, 2, -3, 0.5, 7, INF, -INF};
        for (int round = 0; round < 20; round++) {
            double[] t = randomTable(noNaN);
            long f = build(t);
            double max = Double.NEGATIVE_INFINITY;
            double min = Double.POSITIVE_INFINITY;
            for (double v : t) {
                max = Math.max(max, v);
                min = Math.min(min, v);
            }
            assertEquals(max, valueOf(TARNFactory.addFindMax0(f)));
            assertEquals(min, valueOf(TARNFactory.addFindMin0(f)));
        }
    }

    @Test
    void iteSelectsByA01Condition() {
        for (int round = 0; round < 20; round++) {
            double[] c = randomZeroOne();
            double[] g = randomTable(POOL);
            double[] h = randomTable(POOL);
            double[] expected = new double[SIZE];
            for (int a = 0; a < SIZE; a++) {
                expected[a] = c[a] == 1 ? g[a] : h[a];
            }
            assertLeaves(expected, TARNFactory.ite0(build(c), build(g), build(h), true), "ite0");
        }
    }

    @Test
    void abstractions() {
        assertEquals(12, valueOf(TARNFactory.arithmeticExist0(constant(3), cube(0b011))));
        assertEquals(9, valueOf(TARNFactory.forAll0(constant(3), cube(0b100), true)));
        double[] f = {2, 5, 2, 5, 2, 5, 2, 5};  // 5 where x0 holds, 2 elsewhere
        assertEquals(constant(5), keep(TARNFactory.addAbstractMax0(build(f), cube(0b001))));
        assertEquals(constant(2), keep(TARNFactory.addAbstractMin0(build(f), cube(0b001))));
        assertEquals(constant(3), keep(TARNFactory.addAbstractMax0(constant(3), cube(0b111))));

        // exist0 in ADD mode: disjunction for a 0/1 ADD, sum otherwise
        double[] b = {0, 1, 0, 0, 0, 0, 0, 0};
        assertEquals(TARNFactory.one, keep(TARNFactory.exist0(build(b), cube(0b111), true)));
        double[] n = {0, 1, 0, 2, 0, 0, 0, 0};
        assertEquals(3, valueOf(TARNFactory.exist0(build(n), cube(0b111), true)));
    }

    @Test
    void abstractionsRefuseNonCubes() {
        long x = keep(TARNFactory.ithVar0(0, true));
        long notX = keep(TARNFactory.not0(x, true));
        long scaled = build(new double[] {0, 2, 0, 2, 0, 2, 0, 2});
        Map<String, Executable> calls = Map.of(
                "arithmeticExist0", () -> TARNFactory.arithmeticExist0(x, notX),
                "addAbstractMax0", () -> TARNFactory.addAbstractMax0(x, scaled),
                "addAbstractMin0", () -> TARNFactory.addAbstractMin0(x, notX),
                "forAll0", () -> TARNFactory.forAll0(x, scaled, true),
                "exist0", () -> TARNFactory.exist0(x, constant(2), true));
        calls.forEach((name, call) -> assertEquals("TARN operation failed: invalid argument",
                assertThrows(BDDException.class, call, name).getMessage(), name));
        assertEquals(TARNFactory.one, keep(TARNFactory.arithmeticExist0(x, x)), "the factory stays usable");
    }

    @Test
    void conversionsToBdds() {
        double[] bounds = {0, 2, 5, -3, INF, 1e200, 1e-13};
        for (int round = 0; round < 10; round++) {
            double[] t = randomTable(POOL);
            long f = build(t);
            assertBdd(passing(t, v -> v != 0), TARNFactory.toBDD0(f), "toBDD0");
            for (double bound : bounds) {
                double b = canonical(bound);
                assertBdd(passing(t, v -> !(b > v)), TARNFactory.toBDDThreshold(f, bound),
                        "threshold " + bound);
                assertBdd(passing(t, v -> !(b >= v)), TARNFactory.toBDDStrictThreshold(f, bound),
                        "strict " + bound);
                assertBdd(passing(t, v -> !(b > v) && !(v > 2)), TARNFactory.toBDDInterval(f, bound, 2),
                        "interval " + bound + " 2");
                for (int kind = 1; kind <= 4; kind++) {
                    final int k = kind;
                    long r = TARNFactory.convertToZeroOneADDByThres0(f, kind, bound);
                    double[] expected = map(t, v -> threshold(k, v, b) ? 1 : 0);
                    assertLeaves(expected, r, "kind " + kind + " " + bound);
                }
            }
        }
    }

    @Test
    void bitConversion() {
        double[] t = {3.7, -3.7, INF, NAN, 2, 6, -1, 1e9};
        long f = build(t);
        for (int i : new int[] {0, 1, 2, 31, 33, -1}) {
            boolean[] expected = new boolean[SIZE];
            for (int a = 0; a < SIZE; a++) {
                expected[a] = ithBit(t[a], i);
            }
            assertBdd(expected, TARNFactory.toBDDIthBit(f, i), "bit " + i);
        }
        long bit33 = TARNFactory.toBDDIthBit(f, 33);
        long bit1 = TARNFactory.toBDDIthBit(f, 1);
        assertEquals(bit1, bit33);
        TARNFactory.delRef(bit33, false);
        TARNFactory.delRef(bit1, false);
    }

    @Test
    void bddAndAddRoundTrip() {
        long x = TARNFactory.ithVar0(0, false);
        long y = TARNFactory.ithVar0(2, false);
        long f = TARNFactory.apply0(x, not(y), 2, false, false, false);
        long add = keep(TARNFactory.toADD0(f));
        assertArrayEquals(new double[] {1, 1, 1, 1, 0, 1, 0, 1}, leaves(add));
        assertTrue(TARNFactory.isZeroOneADD0(add));
        long back = TARNFactory.toBDD0(add);
        assertEquals(f, back);
        assertEquals(TARNFactory.addZero, keep(TARNFactory.toADD0(TARNFactory.zero)));
        assertEquals(TARNFactory.one, keep(TARNFactory.toADD0(TARNFactory.one)));
        for (long h : new long[] {x, y, f, back}) {
            TARNFactory.delRef(h, false);
        }
    }

    @Test
    void zeroOneTest() {
        assertTrue(TARNFactory.isZeroOneADD0(TARNFactory.one));
        assertTrue(TARNFactory.isZeroOneADD0(TARNFactory.addZero));
        assertFalse(TARNFactory.isZeroOneADD0(build(new double[] {0, 1, 2, 1, 0, 1, 0, 1})));
        assertFalse(TARNFactory.isZeroOneADD0(build(new double[] {0, 1, INF, 1, 0, 1, 0, 1})));
        // the largest leaf is one and the smallest zero, yet 0.5 lies between: exist0 sums
        double[] half = {0, 1, 0.5, 1, 0, 0.5, 0, 1};
        assertFalse(TARNFactory.isZeroOneADD0(build(half)));
        assertEquals(4, valueOf(TARNFactory.exist0(build(half), cube(0b111), true)));
    }

    @Test
    void unsupportedThresholdKindLeavesTheFactoryUsable() {
        long f = build(new double[] {0, 1, 2, 3, 4, 5, 6, 7});
        InternalError e = assertThrows(InternalError.class,
                () -> TARNFactory.convertToZeroOneADDByThres0(f, 5, 2));
        assertEquals("operation not supported", e.getMessage());
        long atLeast2 = TARNFactory.convertToZeroOneADDByThres0(f, 4, 2);
        assertLeaves(new double[] {0, 0, 1, 1, 1, 1, 1, 1}, atLeast2, "kind 4");
    }

    @Test
    void invalidHandlesAreRejected() {
        long x = keep(TARNFactory.ithVar0(0, true));
        Map<String, Executable> calls = Map.of(
                "addApplyLog0 null", () -> TARNFactory.addApplyLog0(0L),
                "addEngSubtract0 null", () -> TARNFactory.addEngSubtract0(x, 0L, 1),
                "arithmeticExist0 null cube", () -> TARNFactory.arithmeticExist0(x, 0L),
                "toBDD0 null", () -> TARNFactory.toBDD0(0L),
                "isAddConst0 null", () -> TARNFactory.isAddConst0(0L),
                "retrieveConstValue0 null", () -> TARNFactory.retrieveConstValue0(0L),
                "apply0 complemented", () -> TARNFactory.apply0(x, TARNFactory.zero, 12, true, false, false),
                "addFindMax0 complemented", () -> TARNFactory.addFindMax0(TARNFactory.zero),
                "toBDDThreshold complemented", () -> TARNFactory.toBDDThreshold(not(x), 1),
                "isZeroOneADD0 complemented", () -> TARNFactory.isZeroOneADD0(TARNFactory.zero));
        calls.forEach((name, call) -> assertThrows(IllegalArgumentException.class, call, name));
    }
}
