package tarn.test;

import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertNotEquals;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import ordo.TARNFactory;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.CsvSource;

class PairingTest extends ManagerFixture {

    // Records made before the variables exist, or before more are added,
    // must grow with the variable count so that reset0 and free0 walk
    // complete arrays.
    @ParameterizedTest(name = "isAdd={0}, {1} then {2} variables")
    @CsvSource({"false, 0, 3", "false, 4, 9", "true, 2, 5"})
    void recordsFollowTheVariableCount(boolean isAdd, int before, int after) {
        if (before > 0) {
            TARNFactory.setVarNum0(before, isAdd);
        }
        long p = TARNFactory.alloc(isAdd);
        long q = TARNFactory.alloc(isAdd);
        assertNotEquals(0L, p);
        assertNotEquals(0L, q);
        assertNotEquals(p, q);

        TARNFactory.setVarNum0(after, isAdd);
        TARNFactory.reset0(p, isAdd);
        TARNFactory.free0(p);
        TARNFactory.reset0(q, isAdd);
        TARNFactory.free0(q);
    }

    @ParameterizedTest(name = "isAdd={0}")
    @CsvSource({"false", "true"})
    void doneReleasesRecordsThatWereNotFreed(boolean isAdd) {
        TARNFactory.setVarNum0(4, isAdd);
        TARNFactory.alloc(isAdd);
        long p = TARNFactory.alloc(isAdd);
        TARNFactory.setVarNum0(6, isAdd);
        TARNFactory.free0(p);
        TARNFactory.alloc(isAdd);

        TARNFactory.done0();
        assertFalse(TARNFactory.isInitialized0());

        TARNFactory.initialize0(10000, 10000);
        assertTrue(TARNFactory.isInitialized0());
        TARNFactory.setVarNum0(2, isAdd);
        long r = TARNFactory.alloc(isAdd);
        assertNotEquals(0L, r);
        TARNFactory.free0(r);
    }

    // ithVar0 beyond the count adds variables without growing the records;
    // reset0, free0 and done0 must not read past a record's own entries.
    @Test
    void recordsShorterThanTheVariableCountAreSafe() {
        TARNFactory.setVarNum0(2, false);
        long p = TARNFactory.alloc(false);
        TARNFactory.alloc(false); // left for done0
        long x = TARNFactory.ithVar0(7, false);
        assertEquals(8, TARNFactory.varNum0());

        TARNFactory.reset0(p, false);
        TARNFactory.free0(p);
        TARNFactory.delRef(x, false);
        TARNFactory.done0();
        assertFalse(TARNFactory.isInitialized0());
    }

    @Test
    void addressesThatNameNoLiveRecordAreRejected() {
        TARNFactory.setVarNum0(3, false);
        long p = TARNFactory.alloc(false);
        TARNFactory.free0(p);

        assertThrows(IllegalArgumentException.class, () -> TARNFactory.free0(0L));
        assertThrows(IllegalArgumentException.class, () -> TARNFactory.reset0(0L, false));
        assertThrows(IllegalArgumentException.class, () -> TARNFactory.free0(p), "freed twice");
        assertThrows(IllegalArgumentException.class, () -> TARNFactory.reset0(p, false), "reset after free");
    }
}
