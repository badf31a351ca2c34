package tarn.test;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assumptions.assumeTrue;

import ordo.BDD;
import ordo.BDDFactory;
import ordo.TARNFactory;
import org.junit.jupiter.api.BeforeEach;
import org.junit.jupiter.api.Test;

/**
 * The reordering control of the factory. Skipped while the loaded library
 * lacks the reordering entry points.
 */
class ReorderApiTest extends ApiFixture {

    @BeforeEach
    void reorderingAvailable() {
        boolean present;
        try {
            TARNFactory.getreordermethod0();
            present = true;
        } catch (UnsatisfiedLinkError e) {
            present = false;
        }
        assumeTrue(present, "the library has no reordering entry points");
    }

    @Test
    void anOrderSetOrFoundByReorderingKeepsEveryFunction() {
        long t = 0x6A5C_93E1L;
        BDD a = bdd(t);
        f.setVarOrder(new int[] {4, 3, 2, 1, 0});
        assertEquals(4, TARNFactory.level2Var0(0));
        assertEquals(t, table(a));
        f.reorder(BDDFactory.REORDER_SIFT);
        assertEquals(t, table(a));

        f.varBlockAll();
        f.addVarBlock(0, 1, true);
        f.autoReorder(BDDFactory.REORDER_SIFT, 3);
        assertEquals(BDDFactory.REORDER_SIFT, f.getReorderMethod());
        BDD b = a.xor(bdd(0x0FF0_1234L));
        assertEquals(t ^ 0x0FF0_1234L, table(b));
        f.autoReorder(BDDFactory.REORDER_NONE);
        f.clearVarBlocks();
        f.printOrder();
        a.free();
        b.free();
    }
}
