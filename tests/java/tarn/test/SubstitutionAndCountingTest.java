package tarn.test;

import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertNotEquals;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;
import static tarn.test.TruthTables.*;

import java.io.File;
import java.nio.charset.StandardCharsets;
import java.util.ArrayList;
import java.util.List;
import java.util.Map;
import java.util.Random;
import java.util.concurrent.TimeUnit;
import ordo.BDDException;
import ordo.TARNFactory;
import org.junit.jupiter.api.AfterEach;
import org.junit.jupiter.api.BeforeEach;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.function.Executable;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.CsvSource;

/**
 * Substitution, generalized cofactors, counting, cubes, support and printing
 * from Java against a truth-table oracle over five variables. A table is a
 * long whose bit a (a from 0 to 31) is the value of the function at the
 * assignment a, bit i of a being variable i. Every test releases what it
 * holds and checks that the live-node count is back where it started.
 */
class SubstitutionAndCountingTest extends ManagerFixture {

    private final Random random = new Random(1234);
    /** BDD handles that the test owns a reference to, released at its end. */
    private final List<Long> held = new ArrayList<>();
    /** ADD handles that the test owns a reference to. */
    private final List<Long> heldAdd = new ArrayList<>();
    private final List<Long> pairings = new ArrayList<>();
    private int startNodes;

    @BeforeEach
    void fiveVariables() {
        TARNFactory.setVarNum0(VARS, false);
        startNodes = TARNFactory.getNodeNum0();
    }

    @AfterEach
    void everythingIsReleased() {
        for (long p : pairings) {
            TARNFactory.free0(p);
        }
        for (long f : held) {
            TARNFactory.delRef(f, false);
        }
        for (long f : heldAdd) {
            TARNFactory.delRef(f, true);
        }
        assertEquals(startNodes, TARNFactory.getNodeNum0(), "live nodes after releasing everything");
    }

    // ---- the oracle ----------------------------------------------------------------------

    /** The function read at the assignment whose variable i has the value of table in[i] at a. */
    private static long substituted(long f, long[] in) {
        long r = 0;
        for (int a = 0; a < 32; a++) {
            int b = 0;
            for (int i = 0; i < VARS; i++) {
                if (((in[i] >>> a) & 1) != 0) {
                    b |= 1 << i;
                }
            }
            r |= ((f >>> b) & 1) << a;
        }
        return r;
    }

    private static long[] identityTables() {
        return VARIABLE.clone();
    }

    private static int supportOf(long t) {
        int s = 0;
        for (int i = 0; i < VARS; i++) {
            if (positiveCofactor(t, i) != negativeCofactor(t, i)) {
                s |= 1 << i;
            }
        }
        return s;
    }

    private static long cubeOf(int vars) {
        long t = ALL;
        for (int i = 0; i < VARS; i++) {
            if (((vars >> i) & 1) != 0) {
                t &= VARIABLE[i];
            }
        }
        return t;
    }

    private long randomTable() {
        long t = random.nextLong() & ALL;
        for (int i = 0; i < VARS; i++) {
            if (random.nextInt(4) == 0) {
                t = positiveCofactor(t, i);
            }
        }
        return t;
    }

    private int[] randomPermutation() {
        int[] perm = {0, 1, 2, 3, 4};
        for (int i = VARS - 1; i > 0; i--) {
            int j = random.nextInt(i + 1);
            int s = perm[i];
            perm[i] = perm[j];
            perm[j] = s;
        }
        return perm;
    }

    // ---- building operands ------------------------------------------------------------------

    private long keep(long f) {
        held.add(f);
        return f;
    }

    private long keepAdd(long f) {
        heldAdd.add(f);
        return f;
    }

    private long pairing(boolean isAdd) {
        long p = TARNFactory.alloc(isAdd);
        assertNotEquals(0L, p);
        pairings.add(p);
        return p;
    }

    /** The BDD of a table by Shannon expansion, with one reference owned by the test. */
    private long build(long t) {
        return keep(buildFrom(t, 0));
    }

    /** A result: its table is the expected one and it is the canonical handle of that function. */
    private void expectFunction(long r, long expected, String what) {
        keep(r);
        assertEquals(expected, table(r), what);
        assertEquals(build(expected), r, what + ": canonical handle");
    }

    private long[] operandTables() {
        long r1 = randomTable();
        long r2 = randomTable();
        return new long[] {ALL, 0, VARIABLE[0], ~VARIABLE[3] & ALL, r1, ~r1 & ALL, r2, randomTable()};
    }

    // ---- replace0, replaceWith0 ------------------------------------------------------------------

    @Test
    void replaceRenamesByThePairingRecord() {
        for (long t : operandTables()) {
            long f = build(t);
            for (int round = 0; round < 3; round++) {
                int[] perm = randomPermutation();
                long p = pairing(false);
                long[] in = new long[VARS];
                for (int i = 0; i < VARS; i++) {
                    TARNFactory.set0(p, i, perm[i], false);
                    in[i] = VARIABLE[perm[i]];
                }
                expectFunction(TARNFactory.replace0(f, p, false), substituted(t, in), "perm " + perm[0] + perm[1]);
            }
        }
    }

    @Test
    void identityReplaceIsFAndASwapTwiceGivesFBack() {
        long identity = pairing(false);
        long swap = pairing(false);
        TARNFactory.set0(swap, 1, 3, false);
        TARNFactory.set0(swap, 3, 1, false);
        for (long t : operandTables()) {
            long f = build(t);
            assertEquals(f, keep(TARNFactory.replace0(f, identity, false)));
            long once = keep(TARNFactory.replace0(f, swap, false));
            assertEquals(f, keep(TARNFactory.replace0(once, swap, false)));
        }
    }

    @Test
    void replaceWithReleasesFEvenWhenItFails() {
        long swap = pairing(false);
        TARNFactory.set0(swap, 0, 2, false);
        TARNFactory.set0(swap, 2, 0, false);
        int before = TARNFactory.getNodeNum0();

        long f = buildFrom(VARIABLE[0] & ~VARIABLE[4] & ALL, 0);
        long r = TARNFactory.replaceWith0(f, swap, false);
        assertEquals(VARIABLE[2] & ~VARIABLE[4] & ALL, table(r));
        TARNFactory.delRef(r, false);
        assertEquals(before, TARNFactory.getNodeNum0(), "f lost its reference");

        long g = buildFrom(VARIABLE[1] ^ VARIABLE[3], 0);
        assertThrows(IllegalArgumentException.class, () -> TARNFactory.replaceWith0(g, 0L, false));
        assertEquals(before, TARNFactory.getNodeNum0(), "f lost its reference after the failure");
    }

    // ---- compose0, veccompose0, set2 ----------------------------------------------------------------

    @Test
    void composeSubstitutesOneVariable() {
        long[] tables = operandTables();
        for (long ft : tables) {
            long f = build(ft);
            for (long gt : tables) {
                long g = build(gt);
                for (int v = 0; v < VARS; v++) {
                    long[] in = identityTables();
                    in[v] = gt;
                    expectFunction(TARNFactory.compose0(f, g, v, false), substituted(ft, in), "compose at " + v);
                }
            }
            for (int v = 0; v < VARS; v++) {
                long x = keep(TARNFactory.ithVar0(v, false));
                assertEquals(f, keep(TARNFactory.compose0(f, x, v, false)), "g is the projection of v");
                expectFunction(TARNFactory.compose0(f, TARNFactory.one, v, false), positiveCofactor(ft, v),
                        "g is one");
            }
        }
        long h = build(VARIABLE[1] & VARIABLE[2]);
        assertEquals(h, keep(TARNFactory.compose0(h, build(randomTable()), 4, false)), "h does not depend on v");
        assertThrows(BDDException.class, () -> TARNFactory.compose0(h, h, VARS, false));
    }

    @Test
    void vecComposeSubstitutesEveryVariableAtOnce() {
        long identity = pairing(false);
        for (long ft : operandTables()) {
            long f = build(ft);
            assertEquals(f, keep(TARNFactory.veccompose0(f, identity, false)));

            long p = pairing(false);
            long[] in = identityTables();
            for (int i = 0; i < VARS; i++) {
                if (random.nextBoolean()) {
                    in[i] = randomTable();
                    TARNFactory.set2(p, i, build(in[i]));
                }
            }
            expectFunction(TARNFactory.veccompose0(f, p, false), substituted(ft, in), "vector");

            int v = random.nextInt(VARS);
            long g = build(randomTable());
            long q = pairing(false);
            TARNFactory.set2(q, v, g);
            assertEquals(keep(TARNFactory.compose0(f, g, v, false)), keep(TARNFactory.veccompose0(f, q, false)),
                    "one changed entry is compose at " + v);
        }
    }

    @Test
    void set2CanStoreAnEntrysOwnHandleAgain() {
        long p = pairing(false);
        long g = build(VARIABLE[0] | VARIABLE[1]);
        TARNFactory.set2(p, 2, g);
        TARNFactory.set2(p, 2, g);
        long f = build(VARIABLE[2]);
        expectFunction(TARNFactory.veccompose0(f, p, false), VARIABLE[0] | VARIABLE[1], "entry kept alive");
        assertThrows(IllegalArgumentException.class, () -> TARNFactory.set2(p, VARS, g));
        assertThrows(IllegalArgumentException.class, () -> TARNFactory.set0(p, -1, 0, false));
    }

    @Test
    void addFormsAgreeWithTheBddForms() {
        long pb = pairing(false);
        long pa = pairing(true);
        int[] perm = randomPermutation();
        for (int i = 0; i < VARS; i++) {
            TARNFactory.set0(pb, i, perm[i], false);
            TARNFactory.set0(pa, i, perm[i], true);
        }
        for (int round = 0; round < 10; round++) {
            long f = build(randomTable());
            long g = build(randomTable());
            long fa = keepAdd(TARNFactory.toADD0(f));
            long ga = keepAdd(TARNFactory.toADD0(g));
            int v = random.nextInt(VARS);
            assertEquals(keepAdd(TARNFactory.toADD0(keep(TARNFactory.compose0(f, g, v, false)))),
                    keepAdd(TARNFactory.compose0(fa, ga, v, true)), "compose");
            assertEquals(keepAdd(TARNFactory.toADD0(keep(TARNFactory.replace0(f, pb, false)))),
                    keepAdd(TARNFactory.replace0(fa, pa, true)), "replace");
            assertEquals(keepAdd(TARNFactory.toADD0(keep(TARNFactory.veccompose0(f, pb, false)))),
                    keepAdd(TARNFactory.veccompose0(fa, pa, true)), "veccompose");
            assertEquals(keepAdd(TARNFactory.toADD0(keep(TARNFactory.support0(f, false)))),
                    keepAdd(TARNFactory.support0(fa, true)), "support");
        }
        assertEquals(TARNFactory.addZero, keepAdd(TARNFactory.satOne0(TARNFactory.addZero, true)));
        long x = keep(TARNFactory.ithVar0(0, false));
        assertThrows(IllegalArgumentException.class, () -> TARNFactory.compose0(not(x), x, 0, true));
    }

    // ---- restrict0, restrictWith0, simplify0 --------------------------------------------------------

    @Test
    void restrictFixesTheCubesLiterals() {
        for (long t : operandTables()) {
            long f = build(t);
            assertEquals(f, keep(TARNFactory.restrict0(f, TARNFactory.one)));
            for (int v = 0; v < VARS; v++) {
                long x = build(VARIABLE[v]);
                expectFunction(TARNFactory.restrict0(f, x), positiveCofactor(t, v), "x" + v);
                expectFunction(TARNFactory.restrict0(f, not(x)), negativeCofactor(t, v), "not x" + v);
                int w = (v + 2) % VARS;
                long cube = build(VARIABLE[v] & ~VARIABLE[w] & ALL);
                expectFunction(TARNFactory.restrict0(f, cube), negativeCofactor(positiveCofactor(t, v), w),
                        "x" + v + " and not x" + w);
            }
        }
        long z = build(VARIABLE[3]);
        BDDException zero = assertThrows(BDDException.class, () -> TARNFactory.restrict0(z, TARNFactory.zero));
        assertEquals("TARN operation failed: invalid argument", zero.getMessage());
        long notACube = build(VARIABLE[1] | VARIABLE[2]);
        assertThrows(BDDException.class, () -> TARNFactory.restrict0(z, notACube));
    }

    @ParameterizedTest(name = "releaseC={0}")
    @CsvSource({"false", "true"})
    void restrictWithReleasesFAndOptionallyC(boolean releaseC) {
        int before = TARNFactory.getNodeNum0();
        long f = buildFrom(VARIABLE[0] ^ VARIABLE[4], 0);
        long c = buildFrom(VARIABLE[0] & VARIABLE[2], 0);
        long r = TARNFactory.restrictWith0(f, c, releaseC);
        assertEquals(~VARIABLE[4] & ALL, table(r));
        TARNFactory.delRef(r, false);
        if (!releaseC) {
            assertNotEquals(before, TARNFactory.getNodeNum0(), "c is still held");
            TARNFactory.delRef(c, false);
        }
        assertEquals(before, TARNFactory.getNodeNum0());
    }

    @Test
    void simplifyAgreesOnTheCareSetAndIsNeverLarger() {
        for (int round = 0; round < 60; round++) {
            long t = randomTable();
            long ct = round % 3 == 0 ? randomTable() | randomTable() : randomTable();
            long f = build(t);
            long r = keep(TARNFactory.simplify0(f, build(ct), false));
            assertEquals(t & ct, table(r) & ct, "round " + round);
            assertTrue(TARNFactory.getSize0(r) <= TARNFactory.getSize0(f), "round " + round);
        }
        long f = build(randomTable() ^ VARIABLE[2]);
        assertEquals(f, keep(TARNFactory.simplify0(f, TARNFactory.one, false)));
        assertEquals(TARNFactory.zero, keep(TARNFactory.simplify0(f, TARNFactory.zero, false)));
        assertEquals(TARNFactory.one, keep(TARNFactory.simplify0(f, f, false)));
        long g = build(VARIABLE[0] & VARIABLE[1]);
        assertEquals(g, keep(TARNFactory.simplify0(g, build(VARIABLE[3] | VARIABLE[4]), false)));
    }

    // ---- counting, cubes and support ----------------------------------------------------------------

    @Test
    void countsMatchTheOracle() {
        assertEquals(32.0, TARNFactory.satCount0(TARNFactory.one));
        assertEquals(0.0, TARNFactory.satCount0(TARNFactory.zero));
        long x = keep(TARNFactory.ithVar0(2, false));
        assertEquals(16.0, TARNFactory.satCount0(x));
        assertEquals(1.0, TARNFactory.pathCount0(TARNFactory.one));
        assertEquals(0.0, TARNFactory.pathCount0(TARNFactory.zero));
        assertEquals(2.0, TARNFactory.pathCount0(build(VARIABLE[0] | VARIABLE[1])));
        assertEquals(0, TARNFactory.nodeCount0(TARNFactory.one));
        assertEquals(1, TARNFactory.nodeCount0(x));
        assertEquals(1, TARNFactory.getSize0(TARNFactory.one));
        assertEquals(2, TARNFactory.getSize0(x));
        assertEquals(3, TARNFactory.getSize0(build(VARIABLE[0] & VARIABLE[4])));
        for (int round = 0; round < 40; round++) {
            long t = randomTable();
            long f = build(t);
            assertEquals(Long.bitCount(t), TARNFactory.satCount0(f));
            assertEquals(32 - Long.bitCount(t), TARNFactory.satCount0(not(f)));
            assertEquals(TARNFactory.getSize0(f) - 1, TARNFactory.nodeCount0(f));
            assertEquals(TARNFactory.getSize0(f), TARNFactory.getSize0(not(f)));
        }
    }

    @Test
    void satOnePrefersTheElseBranch() {
        assertEquals(TARNFactory.zero, keep(TARNFactory.satOne0(TARNFactory.zero, false)));
        assertEquals(TARNFactory.one, keep(TARNFactory.satOne0(TARNFactory.one, false)));
        expectFunction(TARNFactory.satOne0(build(VARIABLE[0] | VARIABLE[1]), false),
                ~VARIABLE[0] & VARIABLE[1], "x0 or x1");
        for (int round = 0; round < 40; round++) {
            long t = randomTable();
            long r = keep(TARNFactory.satOne0(build(t), false));
            long rt = table(r);
            assertEquals(0, rt & ~t & ALL, "the cube implies f");
            assertEquals(t == 0, rt == 0);
        }
    }

    @Test
    void supportAsCubeAndAsIndexArray() {
        assertEquals(TARNFactory.one, keep(TARNFactory.support0(TARNFactory.one, false)));
        assertEquals(TARNFactory.one, keep(TARNFactory.support0(TARNFactory.zero, false)));
        assertArrayEquals(new int[VARS], TARNFactory.varSupportIndex0(TARNFactory.one));
        for (int round = 0; round < 40; round++) {
            long t = randomTable();
            long f = build(t);
            int s = supportOf(t);
            expectFunction(TARNFactory.support0(f, false), cubeOf(s), "support cube");
            int[] mask = TARNFactory.varSupportIndex0(not(f));
            for (int i = 0; i < VARS; i++) {
                assertEquals((s >> i) & 1, mask[i], "variable " + i);
            }
        }
    }

    @ParameterizedTest(name = "{0} variables")
    @CsvSource({"1023, 8.98846567431158E307, 4.49423283715579E307", "1024, 1E302, 8.98846567431158E307",
                "2024, 1E302, 1E302", "2025, -1, -1"})
    void satCountOfManyVariables(int vars, double one, double literal) {
        TARNFactory.setVarNum0(vars, false);
        startNodes = TARNFactory.getNodeNum0();
        assertEquals(one, TARNFactory.satCount0(TARNFactory.one));
        long x = TARNFactory.ithVar0(vars - 1, false);
        assertEquals(literal, TARNFactory.satCount0(x));
        TARNFactory.delRef(x, false);
        assertEquals(vars >= 2025 ? -1.0 : 0.0, TARNFactory.satCount0(TARNFactory.zero));
    }

    // Counting once left its scaled intermediate counts (near 1e-305) in the constants table, and
    // on a small table a later addConst0(0.0) found one of them instead of the ADD zero.
    @Test
    void countingLeavesTheAddZeroAlone() {
        TARNFactory.done0();
        TARNFactory.initialize0(8, 4);
        TARNFactory.setVarNum0(9, false);
        startNodes = TARNFactory.getNodeNum0();
        for (int round = 0; round < 12; round++) {
            long f = TARNFactory.one;
            TARNFactory.addRef(f);
            for (int i = 0; i < 9; i++) {
                long x = TARNFactory.ithVar0((i * 5 + round) % 9, false);
                long literal = random.nextBoolean() ? x : not(x);
                f = TARNFactory.apply0(f, literal, random.nextBoolean() ? 1 : 2, false, true, true);
            }
            held.add(f);
            assertTrue(TARNFactory.satCount0(f) >= 0);
            long zero = TARNFactory.addConst0(0.0);
            assertEquals(TARNFactory.addZero, zero, "round " + round);
            TARNFactory.delRef(zero, true);
        }
    }

    @Test
    void nullHandlesAreRejected() {
        long x = keep(TARNFactory.ithVar0(0, false));
        long p = pairing(false);
        Map<String, Executable> calls = Map.ofEntries(
                Map.entry("compose0", () -> TARNFactory.compose0(x, 0L, 0, false)),
                Map.entry("replace0", () -> TARNFactory.replace0(0L, p, false)),
                Map.entry("replace0 pairing", () -> TARNFactory.replace0(x, 0L, false)),
                Map.entry("veccompose0", () -> TARNFactory.veccompose0(x, 0L, false)),
                Map.entry("set2", () -> TARNFactory.set2(p, 0, 0L)),
                Map.entry("restrict0", () -> TARNFactory.restrict0(0L, x)),
                Map.entry("simplify0", () -> TARNFactory.simplify0(x, 0L, false)),
                Map.entry("satCount0", () -> TARNFactory.satCount0(0L)),
                Map.entry("pathCount0", () -> TARNFactory.pathCount0(0L)),
                Map.entry("getSize0", () -> TARNFactory.getSize0(0L)),
                Map.entry("nodeCount0", () -> TARNFactory.nodeCount0(0L)),
                Map.entry("satOne0", () -> TARNFactory.satOne0(0L, false)),
                Map.entry("support0", () -> TARNFactory.support0(0L, false)),
                Map.entry("varSupportIndex0", () -> TARNFactory.varSupportIndex0(0L)),
                Map.entry("printSet0", () -> TARNFactory.printSet0(0L, 1)),
                Map.entry("printDot0", () -> TARNFactory.printDot0(0L)));
        calls.forEach((name, call) -> assertThrows(IllegalArgumentException.class, call, name));
    }

    // ---- printSet0, printDot0 -----------------------------------------------------------------------

    /**
     * Prints with printSet0 and printDot0 in a child JVM, whose native
     * standard output the test reads. Exits with status 2 when a printSet0
     * status is not the expected one.
     */
    public static final class PrintMain {
        private PrintMain() {
        }

        public static void main(String[] args) {
            TARNFactory.loadLibrary(args[0]);
            TARNFactory.initialize0(10000, 10000);
            TARNFactory.setVarNum0(3, false);
            long x0 = TARNFactory.ithVar0(0, false);
            long x1 = TARNFactory.ithVar0(1, false);
            long f = TARNFactory.apply0(x0, x1, 0, false, true, true);
            int[] statuses = {
                TARNFactory.printSet0(f, 0),
                TARNFactory.printSet0(TARNFactory.zero, 1),
                TARNFactory.printSet0(f, 1),
                TARNFactory.printSet0(f, 2),
            };
            TARNFactory.printDot0(f);
            TARNFactory.delRef(f, false);
            TARNFactory.done0();
            for (int s : statuses) {
                if (s != 1) {
                    System.exit(2);
                }
            }
        }
    }

    @Test
    void printedTexts() throws Exception {
        String java = System.getProperty("java.home") + File.separator + "bin" + File.separator + "java";
        String classPath = new File(PrintMain.class.getProtectionDomain().getCodeSource().getLocation().toURI())
                .getPath()
                + File.pathSeparator
                + new File(TARNFactory.class.getProtectionDomain().getCodeSource().getLocation().toURI()).getPath();
        Process p = new ProcessBuilder(java, "-cp", classPath, PrintMain.class.getName(),
                System.getProperty("tarn.library")).start();
        String out = new String(p.getInputStream().readAllBytes(), StandardCharsets.UTF_8);
        assertTrue(p.waitFor(60, TimeUnit.SECONDS));
        assertEquals(0, p.exitValue(), out);
        String summary = ": 3 nodes 1 leaves 1 minterms\n";
        String node = "0x[0-9a-f]+";
        String expected = "\\Q: is the zero DD\n" + summary + summary + "11-  1\n\n\\E"
                + "ID =  " + node + "\tindex = 0\tT = (" + node + ")\tE = !1        \n"
                + "ID =  \\1\tindex = 1\tT = 1        \tE = !1        \n"
                + "\n";
        assertTrue(out.matches(expected), out);
    }
}
