package tarn.test;

import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertThrows;

import java.util.Arrays;
import ordo.TARNFactory;
import org.junit.jupiter.api.BeforeEach;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.CsvSource;

/**
 * The game solvers through the native entry points: one environment
 * variable e and one system variable s (variables 0 and 2, primed copies 1
 * and 3); the environment moves freely and the system copies e into s. With
 * the system justice s alone the system wins; with s and !s it loses, since
 * the environment may keep e constant.
 */
class GameSolverTest extends ManagerFixture {
    private static final byte FAILED = (byte) 255;
    private static final int NEW_INI_ADDED = 0x01;
    private static final int NEW_SAFETY_ADDED = 0x02;
    private static final int PREV_JUSTICE_REMOVED = 0x20;

    private long e;
    private long s;
    private long sysTrans;
    private long pairing;

    @BeforeEach
    void buildGame() {
        TARNFactory.setVarNum0(4, false);
        e = TARNFactory.ithVar0(0, false);
        s = TARNFactory.ithVar0(2, false);
        long ePrime = TARNFactory.ithVar0(1, false);
        long sPrime = TARNFactory.ithVar0(3, false);
        sysTrans = TARNFactory.apply0(sPrime, ePrime, 6, false, false, false);
        pairing = TARNFactory.alloc(false);
        int[] primed = {1, 0, 3, 2};
        for (int v = 0; v < 4; v++) {
            TARNFactory.set0(pairing, v, primed[v], false);
        }
    }

    private long[] sysJustices(boolean both) {
        return both ? new long[] {s, not(s)} : new long[] {s};
    }

    private byte gr1(long[] sysJ, long[] envJ, boolean efp, boolean eun, boolean fpr) {
        long one = TARNFactory.one;
        return TARNFactory.gr1Game0(sysJ, envJ, one, one, sysTrans, one, s, e,
                TARNFactory.ithVar0(3, false), TARNFactory.ithVar0(1, false), pairing, efp, eun, fpr);
    }

    private byte rabin(long[] sysJ, long[] envJ, boolean efp, boolean eun, boolean fpr) {
        long one = TARNFactory.one;
        return TARNFactory.rabinGame0(sysJ, envJ, one, one, sysTrans, one, s, e,
                TARNFactory.ithVar0(3, false), TARNFactory.ithVar0(1, false), pairing, efp, eun, fpr);
    }

    private byte gr1Inc(long[] sysJ, long sysIni, int incType, long[] z, long[] zFirst, long[] x,
            int sizeD1, int sizeD2, int[] sizes) {
        long one = TARNFactory.one;
        return TARNFactory.gr1GameInc0(sysJ, new long[] {e}, sysIni, one, sysTrans, one, s, e,
                TARNFactory.ithVar0(3, false), TARNFactory.ithVar0(1, false), pairing, false, false, false,
                incType, 0L, z, zFirst, x, 0, sizeD1, sizeD2, sizes);
    }

    private static int sum(int[] counts) {
        return Arrays.stream(counts).sum();
    }

    @ParameterizedTest(name = "both justices={0}, efp={1}, eun={2}, fpr={3}")
    @CsvSource({
        "false, false, false, false", "false, true, true, true",
        "true, false, false, false", "true, true, false, true", "true, false, true, false"})
    void rabinVerdictIsTheComplementAndTheMemoriesHaveTheirShapes(boolean both, boolean efp,
            boolean eun, boolean fpr) {
        long[] sysJ = sysJustices(both);
        long[] envJ = {e};
        byte realizable = gr1(sysJ, envJ, efp, eun, fpr);
        assertEquals(both ? 0 : 1, realizable);

        int[] sizes = TARNFactory.getAttrSizes0();
        assertEquals(sysJ.length, sizes.length);
        assertEquals(sysJ.length, TARNFactory.getZMem0().length);
        assertEquals(sum(sizes), TARNFactory.getYMem0().length);
        assertEquals(envJ.length * sum(sizes), TARNFactory.getXMem0().length);
        assertEquals(0, TARNFactory.getZMemFirstItr0().length);

        assertEquals(1 - realizable, rabin(sysJ, envJ, efp, eun, fpr));
        int entries = TARNFactory.getRabinZSize0();
        int[] xSizes = TARNFactory.getRabinXSizes0();
        assertEquals(entries, TARNFactory.getRabinZMem0().length);
        assertEquals(entries * envJ.length, xSizes.length);
        assertEquals(sum(xSizes), TARNFactory.getRabinXMem0().length);
        // the Rabin solve leaves the GR(1) memory as it was
        assertArrayEquals(sizes, TARNFactory.getAttrSizes0());
    }

    @Test
    void incrementalSolveRestartsFromTheMemoryReadBack() {
        long[] sysJ = sysJustices(false);
        byte full = gr1Inc(sysJ, TARNFactory.one, 0, null, null, null, 0, 0, null);
        assertEquals(1, full);
        int[] sizes = TARNFactory.getAttrSizes0();
        long[] z = TARNFactory.getZMem0();
        long[] zFirst = TARNFactory.getZMemFirstItr0();
        long[] x = TARNFactory.getXMem0();
        assertEquals(sysJ.length, zFirst.length);
        assertEquals(full, gr1(sysJ, new long[] {e}, false, false, false));
        assertArrayEquals(z, TARNFactory.getZMem0());

        // only the initial states change: the memory comes back unchanged
        assertEquals(1, gr1Inc(sysJ, s, NEW_INI_ADDED, z, zFirst, x, sysJ.length, 1, sizes));
        assertArrayEquals(sizes, TARNFactory.getAttrSizes0());
        assertArrayEquals(x, TARNFactory.getXMem0());
        assertArrayEquals(zFirst, TARNFactory.getZMemFirstItr0());

        // the same for the Rabin solver
        long one = TARNFactory.one;
        assertEquals(0, rabin(sysJ, new long[] {e}, false, false, false));
        int entries = TARNFactory.getRabinZSize0();
        int[] xSizes = TARNFactory.getRabinXSizes0();
        long[] rz = TARNFactory.getRabinZMem0();
        long[] rx = TARNFactory.getRabinXMem0();
        assertEquals(0, TARNFactory.rabinGameInc0(sysJ, new long[] {e}, s, one, sysTrans, one, s, e,
                TARNFactory.ithVar0(3, false), TARNFactory.ithVar0(1, false), pairing, false, false, false,
                NEW_INI_ADDED, 0L, rz, rx, 0, entries, 1, xSizes));
        assertArrayEquals(xSizes, TARNFactory.getRabinXSizes0());
        assertArrayEquals(rx, TARNFactory.getRabinXMem0());
    }

    /** A plain solve leaves no first-iteration memory; only the starts that read it need it. */
    @Test
    void plainSolvesMemoryServesTheStartsThatDoNotReadTheFirstIteration() {
        long[] sysJ = sysJustices(false);
        long one = TARNFactory.one;
        for (int[] change : new int[][] {{NEW_SAFETY_ADDED, 0, 1}, {PREV_JUSTICE_REMOVED, 1, FAILED}}) {
            assertEquals(1, gr1(sysJ, new long[] {e}, false, false, false));
            long[] zFirst = TARNFactory.getZMemFirstItr0();
            assertEquals(0, zFirst.length);
            assertEquals((byte) change[2], TARNFactory.gr1GameInc0(sysJ, new long[] {e}, one, one, sysTrans,
                    one, s, e, TARNFactory.ithVar0(3, false), TARNFactory.ithVar0(1, false), pairing, false,
                    false, false, change[0], one, TARNFactory.getZMem0(), zFirst, TARNFactory.getXMem0(),
                    change[1], sysJ.length, 1, TARNFactory.getAttrSizes0()));
        }
    }

    @Test
    void missingOrInconsistentArraysGive255() {
        long[] envJ = {e};
        assertEquals(FAILED, gr1(null, envJ, false, false, false));
        assertEquals(FAILED, rabin(sysJustices(false), null, false, false, false));
        // three counts announced, two given
        assertEquals(FAILED, gr1Inc(sysJustices(false), s, NEW_INI_ADDED, new long[3], new long[3],
                new long[0], 3, 1, new int[2]));
        // counts that ask for more X handles than given
        assertEquals(1, gr1(sysJustices(false), envJ, false, false, false));
        long[] z = TARNFactory.getZMem0();
        int[] sizes = TARNFactory.getAttrSizes0();
        assertEquals(FAILED, gr1Inc(sysJustices(false), s, NEW_INI_ADDED, z, z, new long[0], 1, 1, sizes));
        assertEquals(0, TARNFactory.getAttrSizes0().length);  // released before the solve
        assertEquals(FAILED, gr1Inc(sysJustices(false), s, NEW_INI_ADDED, z, z, null, 1, 1, sizes));
    }

    @Test
    void nullHandlesAreRefused() {
        assertThrows(IllegalArgumentException.class,
                () -> gr1(new long[] {0L}, new long[] {e}, false, false, false));
        long one = TARNFactory.one;
        assertThrows(IllegalArgumentException.class, () -> TARNFactory.rabinGame0(sysJustices(false),
                new long[] {e}, one, 0L, sysTrans, one, s, e, one, one, pairing, false, false, false));
        assertThrows(IllegalArgumentException.class, () -> TARNFactory.gr1Game0(sysJustices(false),
                new long[] {e}, one, one, sysTrans, one, s, e, one, one, 0L, false, false, false));
    }

    @Test
    void doneReleasesBothMemories() {
        gr1(sysJustices(true), new long[] {e}, false, false, false);
        rabin(sysJustices(true), new long[] {e}, false, false, false);
        TARNFactory.done0();
        TARNFactory.initialize0(10000, 10000);
        assertEquals(0, TARNFactory.getAttrSizes0().length);
        assertEquals(0, TARNFactory.getXMem0().length);
        assertEquals(0, TARNFactory.getYMem0().length);
        assertEquals(0, TARNFactory.getZMem0().length);
        assertEquals(0, TARNFactory.getRabinZSize0());
        assertEquals(0, TARNFactory.getRabinZMem0().length);
        assertEquals(0, TARNFactory.getRabinXSizes0().length);
        assertEquals(0, TARNFactory.getRabinXMem0().length);
    }
}
