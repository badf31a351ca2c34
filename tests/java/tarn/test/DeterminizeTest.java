package tarn.test;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static tarn.test.TruthTables.*;

import java.util.ArrayList;
import java.util.List;
import java.util.Random;
import ordo.BDDException;
import ordo.TARNFactory;
import org.junit.jupiter.api.AfterEach;
import org.junit.jupiter.api.BeforeEach;
import org.junit.jupiter.api.Test;

/**
 * Controller determinization from Java against the truth-table oracle: the
 * outputs are the variables 0 and 1, at the top of the order before the call.
 * (The operation moves them to the bottom, but then sifts once more: where they
 * end up is checked by the unit tests.)
 */
class DeterminizeTest extends ManagerFixture {
    private final List<Long> held = new ArrayList<>();
    private final List<Long> heldAdd = new ArrayList<>();

    @BeforeEach
    void fiveVariables() {
        TARNFactory.setVarNum0(VARS, false);
    }

    @AfterEach
    void releaseHeld() {
        held.forEach(f -> TARNFactory.delRef(f, false));
        heldAdd.forEach(f -> TARNFactory.delRef(f, true));
    }

    private long bdd(long table) {
        long f = buildFrom(table, 0);
        held.add(f);
        return f;
    }

    private long add(long bdd) {
        long f = TARNFactory.toADD0(bdd);
        heldAdd.add(f);
        return f;
    }

    private long outputCube() {
        return bdd(VARIABLE[0] & VARIABLE[1]);
    }

    /** For every input, one output that f allows when it allows any, none otherwise. */
    private static void assertOneAllowedOutputPerInput(long f, long r) {
        assertEquals(0, r & ~f, "kept outputs are allowed");
        for (int in = 0; in < 32; in += 4) {
            int allowed = Long.bitCount((f >>> in) & 0xF);
            int kept = Long.bitCount((r >>> in) & 0xF);
            assertEquals(allowed > 0 ? 1 : 0, kept, "input " + (in >> 2));
        }
    }

    @Test
    void aOrBGivesAAndB() {
        long a = VARIABLE[0];
        long b = VARIABLE[1];
        long r = TARNFactory.determinizeController0(bdd(a | b), outputCube(), false);
        held.add(r);
        assertEquals(a & b, table(r));

        long ra = TARNFactory.determinizeController0(add(bdd(~a & ALL)), add(outputCube()), true);
        heldAdd.add(ra);
        long expected = TARNFactory.toADD0(bdd(~a & b & ALL));
        heldAdd.add(expected);
        assertEquals(expected, ra);
    }

    @Test
    void randomRelationsKeepOneAllowedOutputPerInput() {
        Random random = new Random(77);
        for (int round = 0; round < 20; round++) {
            long f = random.nextLong() & ALL;
            long r = TARNFactory.determinizeController0(bdd(f), outputCube(), false);
            held.add(r);
            assertOneAllowedOutputPerInput(f, table(r));
        }
    }

    @Test
    void aCubeWithANegativeLiteralIsRefused() {
        long cube = bdd(~VARIABLE[0] & VARIABLE[1] & ALL);
        long f = bdd(VARIABLE[0]);
        assertEquals("TARN operation failed: invalid argument",
                assertThrows(BDDException.class, () -> TARNFactory.determinizeController0(f, cube, false))
                        .getMessage());
        assertThrows(BDDException.class, () -> TARNFactory.determinizeController0(f, not(outputCube()), false));
        long addCube = add(outputCube());
        assertThrows(IllegalArgumentException.class,
                () -> TARNFactory.determinizeController0(add(f), not(addCube), true));
    }
}
