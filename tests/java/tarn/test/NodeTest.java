package tarn.test;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertNotEquals;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.util.Map;
import ordo.TARNFactory;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.function.Executable;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.CsvSource;

class NodeTest extends ManagerFixture {

    private static long constant(String name) {
        switch (name) {
            case "one": return TARNFactory.one;
            case "zero": return TARNFactory.zero;
            case "addZero": return TARNFactory.addZero;
            default: throw new IllegalArgumentException(name);
        }
    }

    // A BDD projection is stored as (then = one, else = complement of one).
    // Read as a BDD, a complemented handle passes its mark on to the child;
    // read as an ADD, the child comes back as stored.
    @ParameterizedTest(name = "complemented={0}, isAdd={1}: high {2}, low {3}")
    @CsvSource({
        "false, false, one, zero",
        "true,  false, zero, one",
        "false, true,  one, zero",
        "true,  true,  one, zero",
    })
    void childrenOfABddProjection(boolean complemented, boolean isAdd, String high, String low) {
        TARNFactory.setVarNum0(3, false);
        long x = TARNFactory.ithVar0(2, false);
        long f = complemented ? not(x) : x;

        assertEquals(constant(high), TARNFactory.high0(f, isAdd));
        assertEquals(constant(low), TARNFactory.low0(f, isAdd));
        TARNFactory.delRef(x, false);
    }

    @ParameterizedTest(name = "{0}, isAdd={1}")
    @CsvSource({"one, false", "zero, false", "addZero, true", "one, true", "zero, true", "addZero, false"})
    void constantsHaveNoChildren(String name, boolean isAdd) {
        long c = constant(name);
        assertEquals(MISSING, TARNFactory.low0(c, isAdd));
        assertEquals(MISSING, TARNFactory.high0(c, isAdd));
    }

    @Test
    void addVariablesEndInTheArithmeticConstants() {
        assertEquals(0, TARNFactory.setVarNum0(3, true));
        assertEquals(3, TARNFactory.varNum0());
        long a = TARNFactory.ithVar0(1, true);
        long b = TARNFactory.ithVar0(1, false);

        assertEquals(1, TARNFactory.var0(a));
        assertNotEquals(b, a, "the ADD projection is not the BDD projection");
        assertEquals(TARNFactory.one, TARNFactory.high0(a, true));
        assertEquals(TARNFactory.addZero, TARNFactory.low0(a, true));
        TARNFactory.delRef(a, true);
        TARNFactory.delRef(b, false);
    }

    @Test
    void nullHandleIsRejected() {
        Map<String, Executable> calls = Map.of(
                "var0", () -> TARNFactory.var0(0L),
                "low0 BDD", () -> TARNFactory.low0(0L, false),
                "high0 BDD", () -> TARNFactory.high0(0L, false),
                "low0 ADD", () -> TARNFactory.low0(0L, true),
                "high0 ADD", () -> TARNFactory.high0(0L, true));
        calls.forEach((name, call) -> assertThrows(IllegalArgumentException.class, call, name));
    }

    @Test
    void referenceCallsIgnoreTheSentinelHandles() {
        TARNFactory.addRef(MISSING);
        TARNFactory.addRef(0L);
        TARNFactory.delRef(MISSING, false);
        TARNFactory.delRef(MISSING, true);
        TARNFactory.delRef(0L, false);
        TARNFactory.delRef(0L, true);
        assertTrue(TARNFactory.isInitialized0());
    }

    // A node Java releases waits among the last releases before it dies, and is alive when an
    // operation makes it again. Releasing it once more than it was received (a Java bug) must not
    // take the reference of that waiting release: the counts stay those of single releases.
    @Test
    void releasingANodeTooOftenDropsOnlyJavasReferences() {
        TARNFactory.setVarNum0(2, false);
        long x = TARNFactory.ithVar0(0, false);
        long y = TARNFactory.ithVar0(1, false);
        int before = TARNFactory.getNodeNum0();
        for (int round = 0; round < 3; round++) {
            long a = TARNFactory.apply0(x, y, 0, false, false, false);
            assertEquals(before + 1, TARNFactory.getNodeNum0());
            TARNFactory.delRef(a, false);
            TARNFactory.delRef(a, false);
            long b = TARNFactory.apply0(x, y, 0, false, false, false);
            assertEquals(a, b);
            TARNFactory.delRef(b, false);
            TARNFactory.delRef(b, false);
            assertEquals(before, TARNFactory.getNodeNum0());
        }
        TARNFactory.delRef(x, false);
        TARNFactory.delRef(y, false);
    }

    // Java may release the published constants more often than it received
    // them; the manager keeps its own reference, so they stay usable and the
    // shutdown that releases the constants list still works.
    @Test
    void releasingConstantsTooOftenKeepsThemAlive() {
        for (int i = 0; i < 10; i++) {
            TARNFactory.delRef(TARNFactory.one, false);
            TARNFactory.delRef(TARNFactory.zero, false);
            TARNFactory.delRef(TARNFactory.one, true);
            TARNFactory.delRef(TARNFactory.addZero, true);
        }
        TARNFactory.setVarNum0(2, true);
        long x = TARNFactory.ithVar0(1, false);
        long a = TARNFactory.ithVar0(0, true);
        assertEquals(TARNFactory.one, TARNFactory.high0(x, false));
        assertEquals(TARNFactory.zero, TARNFactory.low0(x, false));
        assertEquals(TARNFactory.addZero, TARNFactory.low0(a, true));
        TARNFactory.delRef(x, false);
        TARNFactory.delRef(a, true);

        TARNFactory.done0();
        TARNFactory.initialize0(10000, 10000);
        long y = TARNFactory.ithVar0(0, false);
        assertEquals(TARNFactory.one, TARNFactory.high0(y, false));
        TARNFactory.delRef(y, false);
    }
}
