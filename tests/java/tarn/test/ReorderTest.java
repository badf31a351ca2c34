package tarn.test;

import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertNotEquals;
import static org.junit.jupiter.api.Assertions.assertSame;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.util.ArrayList;
import java.util.List;
import ordo.BDDFactory;
import ordo.TARNFactory;
import org.junit.jupiter.api.Test;

class ReorderTest extends ManagerFixture {
    private static final int AND = 0;
    private static final int XOR = 1;
    private static final int OR = 2;
    private static final int BITS = 5;
    private static final int VARS = 2 * BITS;
    /** Words long enough for the comparators in the blocked order to pass the reordering threshold. */
    private static final int LONG_BITS = 11;

    private static final BDDFactory.ReorderMethod[] METHODS = {
        BDDFactory.REORDER_RANDOM, BDDFactory.REORDER_SIFT, BDDFactory.REORDER_SIFTITE,
        BDDFactory.REORDER_WIN2, BDDFactory.REORDER_WIN2ITE, BDDFactory.REORDER_WIN3,
        BDDFactory.REORDER_WIN3ITE,
    };

    private static long apply(long a, long b, int op) {
        return TARNFactory.apply0(a, b, op, false, true, true);
    }

    private static long var(int i) {
        return TARNFactory.ithVar0(i, false);
    }

    /** a = b for the words a (variables 0..bits-1) and b (the next bits), in the blocked order. */
    static long equalWords(int bits) {
        long r = TARNFactory.one;
        TARNFactory.addRef(r);
        for (int i = 0; i < bits; i++) {
            r = apply(r, not(apply(var(i), var(bits + i), XOR)), AND);
        }
        return r;
    }

    /** a < b, least significant bit first. */
    static long lessThan(int bits) {
        long r = TARNFactory.zero;
        TARNFactory.addRef(r);
        for (int i = 0; i < bits; i++) {
            long lt = apply(not(var(i)), var(bits + i), AND);
            long eq = not(apply(var(i), var(bits + i), XOR));
            r = apply(lt, apply(eq, r, AND), OR);
        }
        return r;
    }

    private static boolean[] table(long f) {
        boolean[] t = new boolean[1 << VARS];
        for (int a = 0; a < t.length; a++) {
            t[a] = TruthTables.eval(f, a);
        }
        return t;
    }

    private static int[] order() {
        int n = TARNFactory.varNum0();
        int[] o = new int[n];
        for (int l = 0; l < n; l++) {
            o[l] = TARNFactory.level2Var0(l);
        }
        return o;
    }

    // Every method keeps the functions Java holds, under the same handles; sifting shrinks the
    // comparator built in its worst order.
    @Test
    void everyMethodKeepsHeldFunctions() {
        TARNFactory.setVarNum0(VARS, false);
        for (BDDFactory.ReorderMethod m : METHODS) {
            long eq = equalWords(BITS);
            long lt = lessThan(BITS);
            boolean[] eqTable = table(eq);
            boolean[] ltTable = table(lt);
            int before = TARNFactory.nodeCount0(eq);
            TARNFactory.reorder0(m);
            assertArrayEquals(eqTable, table(eq), m.toString());
            assertArrayEquals(ltTable, table(lt), m.toString());
            if (m == BDDFactory.REORDER_SIFT) {
                assertTrue(TARNFactory.nodeCount0(eq) < before, "sifting shrinks the comparator");
            }
            TARNFactory.delRef(eq, false);
            TARNFactory.delRef(lt, false);
            int[] blocked = new int[VARS];
            for (int i = 0; i < VARS; i++) {
                blocked[i] = i;
            }
            TARNFactory.setVarOrder0(blocked);
            assertArrayEquals(blocked, order());
        }
    }

    @Test
    void automaticMethodIsReadBackAndNoneSwitchesOff() {
        assertSame(BDDFactory.REORDER_SIFT, TARNFactory.getreordermethod0());
        TARNFactory.autoReorder0(BDDFactory.REORDER_WIN3ITE, false, 0);
        assertSame(BDDFactory.REORDER_WIN3ITE, TARNFactory.getreordermethod0());
        TARNFactory.autoReorder0(BDDFactory.REORDER_NONE, true, 5);
        assertSame(BDDFactory.REORDER_WIN3ITE, TARNFactory.getreordermethod0());
        InternalError e = assertThrows(InternalError.class, () -> TARNFactory.reorder0(null));
        assertEquals("Unknown Java reorder method!", e.getMessage());
        e = assertThrows(InternalError.class, () -> TARNFactory.autoReorder0(null, false, 0));
        assertEquals("Unknown Java reorder method!", e.getMessage());
        assertEquals(0, TARNFactory.reorderVerbose0(1));
        assertEquals(1, TARNFactory.reorderVerbose0(0));
        assertEquals(0, TARNFactory.reorderVerbose0(0));
        assertTrue(TARNFactory.reorderTimes0() >= 0);
    }

    @Test
    void setVarOrderChecksLengthAndKeepsBlocks() {
        TARNFactory.setVarNum0(4, false);
        long f = apply(var(0), var(3), AND);
        IllegalArgumentException e = assertThrows(IllegalArgumentException.class,
                () -> TARNFactory.setVarOrder0(new int[] {0, 1, 2}));
        assertEquals("array size != number of vars", e.getMessage());
        TARNFactory.addVarBlock0(1, 2, true);
        TARNFactory.setVarOrder0(new int[] {1, 0, 2, 3});  // splits the block: ignored
        assertArrayEquals(new int[] {0, 1, 2, 3}, order());
        TARNFactory.setVarOrder0(new int[] {3, 1, 2, 0});
        assertArrayEquals(new int[] {3, 1, 2, 0}, order());
        assertTrue(TARNFactory.equalBDDs0(f, f));
        TARNFactory.delRef(f, false);
    }

    @Test
    void badBlocksAreRefused() {
        TARNFactory.setVarNum0(4, false);
        int max = Integer.MAX_VALUE;
        for (int[] block : new int[][] {{3, 1}, {0, 7}, {9, 9}, {-1, 2}, {0, max}, {max, max}}) {
            InternalError e = assertThrows(InternalError.class,
                    () -> TARNFactory.addVarBlock0(block[0], block[1], false));
            assertEquals("Bad indexes in variable block!", e.getMessage());
        }
        TARNFactory.printVarTree0();  // no block was made
    }

    // Automatic reordering in the middle of conjunctions, quantifications and renamings gives the
    // results of a manager that never reorders (compared at random assignments).
    @Test
    void automaticReorderingGivesTheSameResults() {
        int[] samples = new java.util.Random(5).ints(3000, 0, 1 << (2 * LONG_BITS)).toArray();
        List<boolean[]> plain = workload(false, samples);
        TARNFactory.done0();
        TARNFactory.initialize0(10000, 10000);
        List<boolean[]> reordered = workload(true, samples);
        int[] identity = new int[2 * LONG_BITS];
        for (int i = 0; i < identity.length; i++) {
            identity[i] = i;
        }
        assertNotEquals(java.util.Arrays.toString(identity), java.util.Arrays.toString(order()),
                "the automatic reordering ran");
        assertEquals(plain.size(), reordered.size());
        for (int k = 0; k < plain.size(); k++) {
            assertArrayEquals(plain.get(k), reordered.get(k), "result " + k);
        }
    }

    private static List<boolean[]> workload(boolean reorder, int[] samples) {
        int vars = 2 * LONG_BITS;
        TARNFactory.setVarNum0(vars, false);
        if (reorder) {
            TARNFactory.autoReorder0(BDDFactory.REORDER_SIFT, false, 0);
        }
        long eq = equalWords(LONG_BITS);
        long lt = lessThan(LONG_BITS);
        long both = TARNFactory.apply0(eq, lt, OR, false, false, false);
        long cube = TARNFactory.one;
        TARNFactory.addRef(cube);
        for (int i = LONG_BITS; i < vars; i++) {
            cube = apply(cube, var(i), AND);
        }
        long ex = TARNFactory.exist0(not(both), cube, false);
        long pairing = TARNFactory.alloc(false);
        for (int i = 0; i < vars; i++) {
            TARNFactory.set0(pairing, i, (i + LONG_BITS) % vars, false);
        }
        long swapped = TARNFactory.replace0(lt, pairing, false);
        List<boolean[]> results = new ArrayList<>();
        for (long f : new long[] {eq, lt, both, ex, swapped}) {
            boolean[] values = new boolean[samples.length];
            for (int k = 0; k < samples.length; k++) {
                values[k] = TruthTables.eval(f, samples[k]);
            }
            results.add(values);
            TARNFactory.delRef(f, false);
        }
        TARNFactory.delRef(cube, false);
        TARNFactory.free0(pairing);
        return results;
    }

    // The texts of printVarTree0 and of the reordering report, from a child JVM's standard output.
    @Test
    void printedTreeAndReport() throws Exception {
        List<String> lines = StatsTest.runInChildJvm(PrintReorder.class);
        assertEquals("(0,1,2,3,4,5)", lines.get(0));
        assertEquals("(0,1,(2,3|F),4,5)", lines.get(1));
        assertEquals("(0,1,2,3,4,5)", lines.get(2));
        assertTrue(lines.get(3).matches(
                "BDD reordering with sifting: from \\d+ to \\.\\.\\. \\d+ nodes in [0-9.e-]+ sec"), lines.get(3));
        assertTrue(lines.get(4).matches(
                "BDD reordering with converging sifting: from \\d+ to \\.\\.\\. \\d+ nodes in [0-9.e-]+ sec"),
                lines.get(4));
        String tree = lines.get(5);
        assertTrue(tree.matches("\\(.*\\(2,3\\|F\\).*\\)") || tree.matches("\\(.*\\(3,2\\|F\\).*\\)"), tree);
        assertNotEquals("(0,1,(2,3|F),4,5)", tree, "sifting moved the block");
    }
}
