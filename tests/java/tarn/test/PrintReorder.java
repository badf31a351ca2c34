package tarn.test;

import ordo.BDDFactory;
import ordo.TARNFactory;

/**
 * Prints the variable tree before and after a block is added and cleared, then runs two reported
 * reorderings with a fixed block and prints the tree again. ReorderTest reads the output in a
 * child JVM.
 */
public final class PrintReorder {
    private PrintReorder() {
    }

    public static void main(String[] args) {
        TARNFactory.loadLibrary(args[0]);
        TARNFactory.initialize0(10000, 10000);
        TARNFactory.setVarNum0(6, false);
        TARNFactory.printVarTree0();
        TARNFactory.addVarBlock0(2, 3, true);
        TARNFactory.printVarTree0();
        TARNFactory.clearVarBlocks0();
        TARNFactory.printVarTree0();
        TARNFactory.addVarBlock0(2, 3, true);
        // (x0 and x5) or (x1 and x4) or (x2 and x3): the block belongs at the top
        long f = TARNFactory.zero;
        TARNFactory.addRef(f);
        for (int i = 0; i < 3; i++) {
            long t = TARNFactory.apply0(TARNFactory.ithVar0(i, false), TARNFactory.ithVar0(5 - i, false), 0,
                    false, true, true);
            f = TARNFactory.apply0(f, t, 2, false, true, true);
        }
        TARNFactory.setVarOrder0(new int[] {0, 1, 4, 5, 2, 3});
        TARNFactory.reorderVerbose0(1);
        TARNFactory.reorder0(BDDFactory.REORDER_SIFT);
        TARNFactory.reorder0(BDDFactory.REORDER_SIFTITE);
        TARNFactory.reorderVerbose0(0);
        TARNFactory.printVarTree0();
        TARNFactory.delRef(f, false);
        TARNFactory.done0();
    }
}
