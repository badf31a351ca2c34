package tarn.test;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertNotEquals;
import static org.junit.jupiter.api.Assertions.assertTrue;

import ordo.TARNFactory;
import org.junit.jupiter.api.Test;

class LifecycleTest extends ManagerFixture {

    @Test
    void constantsArePublishedInTheStaticFields() {
        assertNotEquals(0L, TARNFactory.info);
        assertNotEquals(0L, TARNFactory.one);
        assertEquals(0L, TARNFactory.one & 1L, "one is a regular handle");
        assertEquals(TARNFactory.one + 1, TARNFactory.zero);
        assertNotEquals(TARNFactory.one, TARNFactory.addZero);
        assertNotEquals(TARNFactory.zero, TARNFactory.addZero);

        long zero = TARNFactory.logicZero0();
        assertEquals(TARNFactory.zero, zero);
        TARNFactory.delRef(zero, false);
    }

    @Test
    void secondInitializeKeepsTheManagerAndTheFields() {
        TARNFactory.setVarNum0(3, false);
        long one = TARNFactory.one;
        long zero = TARNFactory.zero;
        long addZero = TARNFactory.addZero;
        long info = TARNFactory.info;

        TARNFactory.initialize0(500, 500);

        assertTrue(TARNFactory.isInitialized0());
        assertEquals(3, TARNFactory.varNum0(), "the manager was replaced");
        assertEquals(one, TARNFactory.one);
        assertEquals(zero, TARNFactory.zero);
        assertEquals(addZero, TARNFactory.addZero);
        assertEquals(info, TARNFactory.info);
    }

    @Test
    void doneIsHarmlessWithoutAManager() {
        long one = TARNFactory.one;
        TARNFactory.done0();
        assertFalse(TARNFactory.isInitialized0());

        TARNFactory.done0();
        TARNFactory.addRef(one);
        TARNFactory.delRef(one, false);
        assertFalse(TARNFactory.isInitialized0());
    }

    @Test
    void reinitializingAfterDoneGivesAFreshFactory() {
        TARNFactory.setVarNum0(5, false);
        TARNFactory.alloc(false); // left for done0 to release
        long x = TARNFactory.ithVar0(4, false);
        TARNFactory.delRef(x, false);
        TARNFactory.done0();

        TARNFactory.initialize0(10000, 10000);

        assertTrue(TARNFactory.isInitialized0());
        assertEquals(0, TARNFactory.varNum0());
        assertEquals(TARNFactory.one + 1, TARNFactory.zero);
        assertEquals(0, TARNFactory.setVarNum0(2, false));
        long y = TARNFactory.ithVar0(1, false);
        assertEquals(1, TARNFactory.var0(y));
        assertEquals(TARNFactory.one, TARNFactory.high0(y, false));
        TARNFactory.delRef(y, false);
    }
}
