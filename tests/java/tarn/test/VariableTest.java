package tarn.test;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertNotEquals;
import static org.junit.jupiter.api.Assertions.assertThrows;

import ordo.TARNFactory;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.CsvSource;

class VariableTest extends ManagerFixture {

    @Test
    void setVarNumReturnsThePreviousCount() {
        assertEquals(0, TARNFactory.setVarNum0(4, false));
        assertEquals(4, TARNFactory.varNum0());
        assertEquals(4, TARNFactory.setVarNum0(4, false), "same count");
        assertEquals(4, TARNFactory.varNum0());
        assertEquals(4, TARNFactory.setVarNum0(6, false));
        assertEquals(6, TARNFactory.varNum0());
    }

    @ParameterizedTest(name = "{0} variables, asking for {1}")
    @CsvSource({"0, 0", "4, 3", "4, 0", "4, -1", "4, -2147483648"})
    void setVarNumRejectsCountsBelowOneOrShrinking(int existing, int requested) {
        if (existing > 0) {
            TARNFactory.setVarNum0(existing, false);
        }
        IllegalArgumentException e = assertThrows(IllegalArgumentException.class,
                () -> TARNFactory.setVarNum0(requested, false));
        assertEquals("invalid number of variables", e.getMessage());
        assertEquals(existing, TARNFactory.varNum0());
    }

    @ParameterizedTest(name = "ithVar0({0}, isAdd={1})")
    @CsvSource({"2147483646, false", "2147483647, true", "-1, false", "-2, true", "-2147483648, false"})
    void ithVarOfAnIndexTooLargeReturnsNoNode(int index, boolean isAdd) {
        TARNFactory.setVarNum0(3, isAdd);
        assertEquals(0L, TARNFactory.ithVar0(index, isAdd));
        assertEquals(3, TARNFactory.varNum0());
    }

    @ParameterizedTest(name = "isAdd={0}")
    @CsvSource({"false", "true"})
    void ithVarBeyondTheCountCreatesTheMissingVariables(boolean isAdd) {
        TARNFactory.setVarNum0(2, isAdd);
        long x = TARNFactory.ithVar0(6, isAdd);
        assertNotEquals(0L, x);
        assertEquals(7, TARNFactory.varNum0());
        assertEquals(6, TARNFactory.var0(x));
        assertEquals(6, TARNFactory.var2Level0(6));
        TARNFactory.delRef(x, isAdd);
    }

    @ParameterizedTest(name = "{0} -> {1}")
    @CsvSource({"0, 0", "3, 3", "-1, -1", "4, -1", "-2147483648, -1", "2147483647, 2147483647"})
    void levelAndVariableMapsAreIdentityInsideAndMinusOneOutside(int argument, int expected) {
        TARNFactory.setVarNum0(4, false);
        assertEquals(expected, TARNFactory.level2Var0(argument));
        assertEquals(expected, TARNFactory.var2Level0(argument));
    }

    @Test
    void varOfProjectionsAndConstants() {
        TARNFactory.setVarNum0(5, false);
        long x = TARNFactory.ithVar0(3, false);
        assertEquals(3, TARNFactory.var0(x));
        assertEquals(3, TARNFactory.var0(not(x)));
        assertEquals(MAX_INDEX, TARNFactory.var0(TARNFactory.one));
        assertEquals(MAX_INDEX, TARNFactory.var0(TARNFactory.zero));
        assertEquals(MAX_INDEX, TARNFactory.var0(TARNFactory.addZero));
        TARNFactory.delRef(x, false);
    }
}
