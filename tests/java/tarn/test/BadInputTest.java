package tarn.test;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;
import java.util.stream.Stream;
import java.lang.reflect.Constructor;
import ordo.BDDException;
import ordo.BDDFactory;
import ordo.TARNFactory;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.Arguments;
import org.junit.jupiter.params.provider.MethodSource;

/**
 * Bad input from Java, one row per entry point and kind of input: null and missing-child handles,
 * variable indices out of range, cubes that are not cubes, unknown operator codes, freed or
 * made-up pairing records, and every entry point called without a manager. Each row names what
 * must happen (an exception of a class, or a result); afterwards the factory must still compute
 * correctly and, once the test has released what it holds, be back at its live-node count.
 *
 * <p>A new entry point joins by adding its rows: to {@link #HANDLE_CALLS} when it takes node
 * handles, to {@link #rows} for its own arguments.
 */
class BadInputTest extends ManagerFixture {
    private static final int VARS = 4;

    /** The diagrams and records each row may use; all released by {@link #releaseAll}. */
    private static final class Fixture {
        long x;
        long y;
        long z;
        long w;
        long a;           // ADD projection of variable 0
        long scaled;      // ADD with leaves 0 and 2: not a cube
        long xOrY;        // not a cube
        long xAndNotY;    // not a positive cube
        long pairing;     // live BDD record
        long addPairing;  // live ADD record
        long freed;       // a record already freed
        int baseline;     // live nodes before any of them existed
        final List<Long> bdds = new ArrayList<>();
        final List<Long> adds = new ArrayList<>();

        long bdd(long h) {
            bdds.add(h);
            return h;
        }

        long add(long h) {
            adds.add(h);
            return h;
        }

        /** One more reference of h, for a call that releases its operand. */
        long own(long h) {
            TARNFactory.addRef(h);
            return h;
        }
    }

    private interface Call {
        Object run(Fixture fx);
    }

    /** What a row expects: thrown is the exception class, or null and returned is the result. */
    private record Row(String name, Class<? extends Throwable> thrown, Object returned, Call call) {
    }

    private static final Object ANY = new Object();

    private interface MemoryOf {
        Memory of(Fixture fx);
    }

    private static Row raises(String name, Class<? extends Throwable> thrown, Call call) {
        return new Row(name, thrown, null, call);
    }

    private static Row gives(String name, Object returned, Call call) {
        return new Row(name, null, returned, call);
    }

    private interface HandleCall {
        Object run(Fixture fx, long h);
    }

    private record Entry(String name, HandleCall call) {
    }

    /** Every entry point that takes node handles, with the handle under test in one operand. */
    private static final List<Entry> HANDLE_CALLS = List.of(
            new Entry("var0", (fx, h) -> TARNFactory.var0(h)),
            new Entry("low0", (fx, h) -> TARNFactory.low0(h, false)),
            new Entry("high0", (fx, h) -> TARNFactory.high0(h, true)),
            new Entry("apply0", (fx, h) -> TARNFactory.apply0(fx.x, h, 0, false, true, true)),
            new Entry("apply0 ADD", (fx, h) -> TARNFactory.apply0(h, fx.a, 12, true, false, false)),
            new Entry("ite0", (fx, h) -> TARNFactory.ite0(fx.x, fx.y, h, false)),
            new Entry("not0", (fx, h) -> TARNFactory.not0(h, false)),
            new Entry("equalBDDs0", (fx, h) -> TARNFactory.equalBDDs0(h, fx.x)),
            new Entry("exist0", (fx, h) -> TARNFactory.exist0(fx.x, h, false)),
            new Entry("forAll0", (fx, h) -> TARNFactory.forAll0(h, fx.x, true)),
            new Entry("relprod0", (fx, h) -> TARNFactory.relprod0(fx.x, h, fx.y)),
            new Entry("compose0", (fx, h) -> TARNFactory.compose0(fx.x, h, 0, false)),
            new Entry("replace0", (fx, h) -> TARNFactory.replace0(h, fx.pairing, false)),
            new Entry("replaceWith0", (fx, h) -> TARNFactory.replaceWith0(h, fx.pairing, false)),
            new Entry("veccompose0", (fx, h) -> TARNFactory.veccompose0(h, fx.addPairing, true)),
            new Entry("set2", (fx, h) -> {
                TARNFactory.set2(fx.pairing, 0, h);
                return null;
            }),
            new Entry("restrict0", (fx, h) -> TARNFactory.restrict0(fx.x, h)),
            new Entry("restrictWith0", (fx, h) -> TARNFactory.restrictWith0(h, fx.x, true)),
            new Entry("simplify0", (fx, h) -> TARNFactory.simplify0(h, fx.x, false)),
            new Entry("getSize0", (fx, h) -> TARNFactory.getSize0(h)),
            new Entry("nodeCount0", (fx, h) -> TARNFactory.nodeCount0(h)),
            new Entry("pathCount0", (fx, h) -> TARNFactory.pathCount0(h)),
            new Entry("satCount0", (fx, h) -> TARNFactory.satCount0(h)),
            new Entry("satOne0", (fx, h) -> TARNFactory.satOne0(h, true)),
            new Entry("support0", (fx, h) -> TARNFactory.support0(h, false)),
            new Entry("varSupportIndex0", (fx, h) -> TARNFactory.varSupportIndex0(h)),
            new Entry("printDot0", (fx, h) -> {
                TARNFactory.printDot0(h);
                return null;
            }),
            new Entry("printSet0", (fx, h) -> TARNFactory.printSet0(h, 1)),
            new Entry("addApplyLog0", (fx, h) -> TARNFactory.addApplyLog0(h)),
            new Entry("addAdditiveNeg0", (fx, h) -> TARNFactory.addAdditiveNeg0(h)),
            new Entry("addEngSubtract0", (fx, h) -> TARNFactory.addEngSubtract0(fx.a, h, 3)),
            new Entry("addMinimizeVal0", (fx, h) -> TARNFactory.addMinimizeVal0(h, 1)),
            new Entry("addFindMax0", (fx, h) -> TARNFactory.addFindMax0(h)),
            new Entry("addFindMin0", (fx, h) -> TARNFactory.addFindMin0(h)),
            new Entry("isAddConst0", (fx, h) -> TARNFactory.isAddConst0(h)),
            new Entry("retrieveConstValue0", (fx, h) -> TARNFactory.retrieveConstValue0(h)),
            new Entry("addAbstractMax0", (fx, h) -> TARNFactory.addAbstractMax0(fx.a, h)),
            new Entry("addAbstractMin0", (fx, h) -> TARNFactory.addAbstractMin0(h, fx.a)),
            new Entry("arithmeticExist0", (fx, h) -> TARNFactory.arithmeticExist0(h, fx.a)),
            new Entry("toADD0", (fx, h) -> TARNFactory.toADD0(h)),
            new Entry("toBDD0", (fx, h) -> TARNFactory.toBDD0(h)),
            new Entry("toBDDThreshold", (fx, h) -> TARNFactory.toBDDThreshold(h, 1)),
            new Entry("toBDDStrictThreshold", (fx, h) -> TARNFactory.toBDDStrictThreshold(h, 1)),
            new Entry("toBDDInterval", (fx, h) -> TARNFactory.toBDDInterval(h, 0, 1)),
            new Entry("toBDDIthBit", (fx, h) -> TARNFactory.toBDDIthBit(h, 0)),
            new Entry("convertToZeroOneADDByThres0", (fx, h) -> TARNFactory.convertToZeroOneADDByThres0(h, 1, 1)),
            new Entry("isZeroOneADD0", (fx, h) -> TARNFactory.isZeroOneADD0(h)));

    /** Entry points that take no node handle, called with ordinary arguments. */
    private static final List<Entry> OTHER_CALLS = List.of(
            new Entry("setVarNum0", (fx, h) -> TARNFactory.setVarNum0(VARS + 1, false)),
            new Entry("varNum0", (fx, h) -> TARNFactory.varNum0()),
            new Entry("ithVar0", (fx, h) -> TARNFactory.ithVar0(1, false)),
            new Entry("level2Var0", (fx, h) -> TARNFactory.level2Var0(0)),
            new Entry("var2Level0", (fx, h) -> TARNFactory.var2Level0(0)),
            new Entry("logicZero0", (fx, h) -> TARNFactory.logicZero0()),
            new Entry("alloc", (fx, h) -> TARNFactory.alloc(false)),
            new Entry("reset0", (fx, h) -> {
                TARNFactory.reset0(fx.pairing, false);
                return null;
            }),
            new Entry("free0", (fx, h) -> {
                TARNFactory.free0(fx.pairing);
                return null;
            }),
            new Entry("set0", (fx, h) -> {
                TARNFactory.set0(fx.pairing, 0, 1, false);
                return null;
            }),
            new Entry("getCacheSize0", (fx, h) -> TARNFactory.getCacheSize0()),
            new Entry("printStat0", (fx, h) -> {
                TARNFactory.printStat0();
                return null;
            }),
            new Entry("getNodeNum0", (fx, h) -> TARNFactory.getNodeNum0()),
            new Entry("getAllocNum0", (fx, h) -> TARNFactory.getAllocNum0()),
            new Entry("addConst0", (fx, h) -> TARNFactory.addConst0(2)),
            new Entry("arithmeticZero0", (fx, h) -> TARNFactory.arithmeticZero0()),
            new Entry("arithmeticLogicOne0", (fx, h) -> TARNFactory.arithmeticLogicOne0()),
            new Entry("arithmeticPlusInfinity0", (fx, h) -> TARNFactory.arithmeticPlusInfinity0()),
            new Entry("arithmeticMinusInfinity0", (fx, h) -> TARNFactory.arithmeticMinusInfinity0()),
            new Entry("reorder0", (fx, h) -> {
                TARNFactory.reorder0(BDDFactory.REORDER_SIFT);
                return null;
            }),
            new Entry("autoReorder0", (fx, h) -> {
                TARNFactory.autoReorder0(BDDFactory.REORDER_SIFT, true, 5);
                return null;
            }),
            new Entry("autoReorder1", (fx, h) -> {
                TARNFactory.autoReorder1();
                return null;
            }),
            new Entry("getreordermethod0", (fx, h) -> TARNFactory.getreordermethod0()),
            new Entry("reorderTimes0", (fx, h) -> TARNFactory.reorderTimes0()),
            new Entry("reorderVerbose0", (fx, h) -> TARNFactory.reorderVerbose0(1)),
            new Entry("setVarOrder0", (fx, h) -> {
                TARNFactory.setVarOrder0(new int[] {1, 0, 2, 3});
                return null;
            }),
            new Entry("addVarBlock0", (fx, h) -> {
                TARNFactory.addVarBlock0(0, 1, false);
                return null;
            }),
            new Entry("clearVarBlocks0", (fx, h) -> {
                TARNFactory.clearVarBlocks0();
                return null;
            }),
            new Entry("printVarTree0", (fx, h) -> {
                TARNFactory.printVarTree0();
                return null;
            }),
            new Entry("gr1Game0", (fx, h) -> Solver.GR1.solve(fx, new long[] {fx.x}, new long[] {fx.y}, 0, fx.pairing)),
            new Entry("rabinGameInc0", (fx, h) -> Solver.RABIN_INC.solve(fx, new long[] {fx.x}, new long[] {fx.y}, 0, fx.pairing)),
            new Entry("negCycleCheck0", (fx, h) -> TARNFactory.negCycleCheck0(fx.a, fx.a, fx.a, fx.addPairing)));

    private static final byte GAME_FAILED = (byte) 255;
    private static final int NEW_INI_ADDED = 0x01;
    private static final int NEW_SAFETY_ADDED = 0x02;
    private static final int NEW_JUSTICE_ADDED = 0x04;
    private static final int PREV_JUSTICE_REMOVED = 0x20;

    /** The four solver entry points, called with a trivial game; incremental ones without memory. */
    private enum Solver {
        GR1, GR1_INC, RABIN, RABIN_INC;

        byte solve(Fixture fx, long[] sysJ, long[] envJ, long sysIni, long pairing) {
            long one = TARNFactory.one;
            long sp = fx.z;
            long ep = fx.w;
            return switch (this) {
                case GR1 -> TARNFactory.gr1Game0(sysJ, envJ, sysIni, one, one, one, fx.x, fx.y, sp, ep,
                        pairing, false, false, false);
                case GR1_INC -> TARNFactory.gr1GameInc0(sysJ, envJ, sysIni, one, one, one, fx.x, fx.y, sp, ep,
                        pairing, false, false, false, 0, 0L, null, null, null, 0, 0, 0, null);
                case RABIN -> TARNFactory.rabinGame0(sysJ, envJ, sysIni, one, one, one, fx.x, fx.y, sp, ep,
                        pairing, false, false, false);
                case RABIN_INC -> TARNFactory.rabinGameInc0(sysJ, envJ, sysIni, one, one, one, fx.x, fx.y, sp, ep,
                        pairing, false, false, false, 0, 0L, null, null, 0, 0, 0, null);
            };
        }
    }

    /** The memory of an earlier solve as the incremental entry points take it back. */
    private record Memory(int incType, long startZ, long[] z, long[] zFirst, long[] x, int removed,
            int sizeD1, int sizeD2, int[] sizeD3) {
    }

    private static byte gr1Inc(Fixture fx, int sysJustices, Memory m) {
        long one = TARNFactory.one;
        long[] sysJ = sysJustices == 1 ? new long[] {fx.x} : new long[] {fx.x, fx.y};
        return TARNFactory.gr1GameInc0(sysJ, new long[] {fx.y}, one, one, one, one, fx.x, fx.y, fx.z, fx.w,
                fx.pairing, false, false, false, m.incType(), m.startZ(), m.z(), m.zFirst(), m.x(), m.removed(),
                m.sizeD1(), m.sizeD2(), m.sizeD3());
    }

    private static byte rabinInc(Fixture fx, int sysJustices, Memory m) {
        long one = TARNFactory.one;
        long[] sysJ = sysJustices == 1 ? new long[] {fx.x} : new long[] {fx.x, fx.y};
        return TARNFactory.rabinGameInc0(sysJ, new long[] {fx.y}, one, one, one, one, fx.x, fx.y, fx.z, fx.w,
                fx.pairing, false, false, false, m.incType(), m.startZ(), m.z(), m.x(), m.removed(),
                m.sizeD1(), m.sizeD2(), m.sizeD3());
    }

    /** A method object that is none of the factory's constants. */
    private static BDDFactory.ReorderMethod strangeMethod() {
        try {
            Constructor<BDDFactory.ReorderMethod> c =
                    BDDFactory.ReorderMethod.class.getDeclaredConstructor(String.class);
            c.setAccessible(true);
            return c.newInstance("STRANGE");
        } catch (ReflectiveOperationException e) {
            throw new AssertionError(e);
        }
    }

    static Stream<Arguments> rows() {
        List<Row> rows = new ArrayList<>();
        for (Entry e : HANDLE_CALLS) {
            rows.add(raises(e.name() + " null handle", IllegalArgumentException.class, fx -> e.call().run(fx, 0L)));
            rows.add(raises(e.name() + " handle -1", IllegalArgumentException.class, fx -> e.call().run(fx, -1L)));
        }
        rows.add(gives("addRef 0 and -1", null, fx -> {
            TARNFactory.addRef(0L);
            TARNFactory.addRef(-1L);
            return null;
        }));
        rows.add(gives("delRef 0 and -1", null, fx -> {
            TARNFactory.delRef(0L, false);
            TARNFactory.delRef(-1L, true);
            return null;
        }));

        // variable indices
        for (int v : new int[] {-1, VARS, Integer.MAX_VALUE, Integer.MIN_VALUE}) {
            rows.add(raises("compose0 variable " + v, BDDException.class,
                    fx -> TARNFactory.compose0(fx.x, fx.y, v, false)));
            rows.add(raises("compose0 ADD variable " + v, BDDException.class,
                    fx -> TARNFactory.compose0(fx.a, fx.a, v, true)));
            rows.add(gives("var2Level0 " + v, v == Integer.MAX_VALUE ? v : -1, fx -> TARNFactory.var2Level0(v)));
            rows.add(gives("level2Var0 " + v, v == Integer.MAX_VALUE ? v : -1, fx -> TARNFactory.level2Var0(v)));
        }
        for (int i : new int[] {-1, VARS, Integer.MIN_VALUE}) {
            rows.add(raises("set0 entry " + i, IllegalArgumentException.class, fx -> {
                TARNFactory.set0(fx.pairing, i, 0, false);
                return null;
            }));
            rows.add(raises("set2 entry " + i, IllegalArgumentException.class, fx -> {
                TARNFactory.set2(fx.pairing, i, fx.x);
                return null;
            }));
        }
        for (int v : new int[] {-1, Integer.MIN_VALUE, 2147483646}) {
            rows.add(raises("set0 variable " + v, BDDException.class, fx -> {
                TARNFactory.set0(fx.addPairing, 1, v, true);
                return null;
            }));
            rows.add(gives("ithVar0 " + v, 0L, fx -> TARNFactory.ithVar0(v, false)));
        }
        for (int n : new int[] {0, -1, VARS - 1, Integer.MIN_VALUE}) {
            rows.add(raises("setVarNum0 " + n, IllegalArgumentException.class, fx -> TARNFactory.setVarNum0(n, false)));
        }

        // cubes that are not cubes
        rows.add(raises("exist0 disjunction", BDDException.class, fx -> TARNFactory.exist0(fx.x, fx.xOrY, false)));
        rows.add(raises("forAll0 negative literal", BDDException.class,
                fx -> TARNFactory.forAll0(fx.x, fx.xAndNotY, false)));
        rows.add(raises("relprod0 complement", BDDException.class,
                fx -> TARNFactory.relprod0(fx.x, fx.y, TARNFactory.zero)));
        rows.add(raises("restrict0 zero", BDDException.class, fx -> TARNFactory.restrict0(fx.x, TARNFactory.zero)));
        rows.add(raises("restrict0 disjunction", BDDException.class, fx -> TARNFactory.restrict0(fx.y, fx.xOrY)));
        rows.add(raises("restrictWith0 disjunction", BDDException.class,
                fx -> TARNFactory.restrictWith0(fx.own(fx.y), fx.own(fx.xOrY), true)));
        rows.add(raises("arithmeticExist0 scaled", BDDException.class,
                fx -> TARNFactory.arithmeticExist0(fx.a, fx.scaled)));
        rows.add(raises("addAbstractMax0 scaled", BDDException.class,
                fx -> TARNFactory.addAbstractMax0(fx.a, fx.scaled)));
        rows.add(raises("addAbstractMin0 zero", BDDException.class,
                fx -> TARNFactory.addAbstractMin0(fx.a, TARNFactory.addZero)));
        rows.add(raises("ADD forAll0 scaled", BDDException.class, fx -> TARNFactory.forAll0(fx.a, fx.scaled, true)));
        rows.add(raises("ADD exist0 BDD cube", IllegalArgumentException.class,
                fx -> TARNFactory.exist0(fx.x ^ 1L, fx.a, true)));

        // unknown operator codes; apply0 releases its operands also when it refuses the code
        for (int code : new int[] {-1, 10, 99, Integer.MIN_VALUE}) {
            rows.add(raises("apply0 code " + code, InternalError.class,
                    fx -> TARNFactory.apply0(fx.own(fx.x), fx.own(fx.y), code, false, true, true)));
        }
        for (int code : new int[] {-1, 19, Integer.MAX_VALUE}) {
            rows.add(raises("apply0 ADD code " + code, InternalError.class,
                    fx -> TARNFactory.apply0(fx.a, fx.a, code, true, false, false)));
        }
        for (long kind : new long[] {0, 5, -1, Long.MAX_VALUE}) {
            rows.add(raises("convertToZeroOneADDByThres0 kind " + kind, InternalError.class,
                    fx -> TARNFactory.convertToZeroOneADDByThres0(fx.a, kind, 1)));
        }

        // pairing records: freed, null, made up, a node's address
        rows.add(raises("free0 twice", IllegalArgumentException.class, fx -> {
            TARNFactory.free0(fx.freed);
            return null;
        }));
        rows.add(raises("reset0 freed", IllegalArgumentException.class, fx -> {
            TARNFactory.reset0(fx.freed, false);
            return null;
        }));
        rows.add(raises("set0 freed", IllegalArgumentException.class, fx -> {
            TARNFactory.set0(fx.freed, 0, 1, false);
            return null;
        }));
        rows.add(raises("set2 freed", IllegalArgumentException.class, fx -> {
            TARNFactory.set2(fx.freed, 0, fx.x);
            return null;
        }));
        rows.add(raises("replace0 freed", IllegalArgumentException.class, fx -> TARNFactory.replace0(fx.x, fx.freed, false)));
        rows.add(raises("replaceWith0 freed", IllegalArgumentException.class,
                fx -> TARNFactory.replaceWith0(fx.own(fx.x), fx.freed, false)));
        rows.add(raises("veccompose0 freed", IllegalArgumentException.class,
                fx -> TARNFactory.veccompose0(fx.x, fx.freed, false)));
        for (long address : new long[] {0L, -1L, 12345L, 1L << 40}) {
            rows.add(raises("free0 " + address, IllegalArgumentException.class, fx -> {
                TARNFactory.free0(address);
                return null;
            }));
            rows.add(raises("veccompose0 record " + address, IllegalArgumentException.class,
                    fx -> TARNFactory.veccompose0(fx.x, address, false)));
        }
        rows.add(raises("replace0 with a node for a record", IllegalArgumentException.class,
                fx -> TARNFactory.replace0(fx.x, fx.y, false)));
        rows.add(raises("replace0 constant entry", IllegalArgumentException.class, fx -> {
            TARNFactory.set2(fx.pairing, 1, TARNFactory.one);
            return TARNFactory.replace0(fx.x, fx.pairing, false);
        }));

        // reordering: unknown method objects, orders that are no permutation or split a block
        for (BDDFactory.ReorderMethod m : new BDDFactory.ReorderMethod[] {null, strangeMethod()}) {
            String which = m == null ? " null" : " unknown";
            rows.add(raises("reorder0" + which, InternalError.class, fx -> {
                TARNFactory.reorder0(m);
                return null;
            }));
            rows.add(raises("autoReorder0" + which, InternalError.class, fx -> {
                TARNFactory.autoReorder0(m, true, 7);
                return null;
            }));
        }
        rows.add(gives("autoReorder0 with budgets, autoReorder1", BDDFactory.REORDER_WIN3ITE, fx -> {
            TARNFactory.autoReorder0(BDDFactory.REORDER_WIN3ITE, true, Integer.MAX_VALUE);
            TARNFactory.autoReorder0(BDDFactory.REORDER_NONE, true, -1);
            TARNFactory.autoReorder1();
            TARNFactory.reorder0(BDDFactory.REORDER_SIFT);
            return TARNFactory.getreordermethod0();
        }));
        rows.add(gives("reorderVerbose0 twice and reorderTimes0", 1, fx -> {
            TARNFactory.reorderVerbose0(Integer.MIN_VALUE);
            int before = TARNFactory.reorderVerbose0(0);
            assertTrue(TARNFactory.reorderTimes0() >= 0);
            return before;
        }));
        int[][] badOrders = {null, {0, 1, 2}, {0, 1, 2, 3, 4}, {}};
        for (int[] order : badOrders) {
            rows.add(raises("setVarOrder0 length " + (order == null ? "null" : order.length),
                    IllegalArgumentException.class, fx -> {
                        TARNFactory.setVarOrder0(order);
                        return null;
                    }));
        }
        int[][] notPermutations = {{0, 0, 1, 2}, {0, 1, 2, VARS}, {-1, 0, 1, 2}, {3, 2, 1, Integer.MIN_VALUE}};
        for (int[] order : notPermutations) {
            rows.add(raises("setVarOrder0 not a permutation " + Arrays.toString(order),
                    IllegalArgumentException.class, fx -> {
                        TARNFactory.setVarOrder0(order);
                        return null;
                    }));
        }
        rows.add(gives("setVarOrder0 splitting a block", 1, fx -> {
            TARNFactory.addVarBlock0(1, 2, true);
            TARNFactory.setVarOrder0(new int[] {2, 0, 1, 3});
            return TARNFactory.var2Level0(1);
        }));
        int[][] badBlocks = {{2, 1}, {0, VARS}, {-1, 2}, {VARS, VARS}, {-1, -1}, {Integer.MIN_VALUE, Integer.MAX_VALUE}};
        for (int[] b : badBlocks) {
            rows.add(raises("addVarBlock0 " + b[0] + ".." + b[1], InternalError.class, fx -> {
                TARNFactory.addVarBlock0(b[0], b[1], false);
                return null;
            }));
        }
        rows.add(gives("addVarBlock0 cutting a block, clearVarBlocks0 twice, printVarTree0", null, fx -> {
            TARNFactory.printVarTree0();
            TARNFactory.addVarBlock0(0, 1, true);
            TARNFactory.addVarBlock0(1, 2, false);  // would cut the first: refused silently
            TARNFactory.printVarTree0();
            TARNFactory.clearVarBlocks0();
            TARNFactory.clearVarBlocks0();
            TARNFactory.printVarTree0();
            return null;
        }));

        // game solvers: missing arrays give 255, null handles and bad records an exception
        for (Solver solver : Solver.values()) {
            String n = solver.name().toLowerCase() + " ";
            rows.add(gives(n + "null sysJ", GAME_FAILED, fx -> solver.solve(fx, null, new long[] {fx.y}, TARNFactory.one, fx.pairing)));
            rows.add(gives(n + "null envJ", GAME_FAILED, fx -> solver.solve(fx, new long[] {fx.x}, null, TARNFactory.one, fx.pairing)));
            rows.add(raises(n + "0 in sysJ", IllegalArgumentException.class,
                    fx -> solver.solve(fx, new long[] {fx.x, 0L}, new long[] {fx.y}, TARNFactory.one, fx.pairing)));
            rows.add(raises(n + "-1 in envJ", IllegalArgumentException.class,
                    fx -> solver.solve(fx, new long[] {fx.x}, new long[] {-1L}, TARNFactory.one, fx.pairing)));
            rows.add(raises(n + "null sysIni", IllegalArgumentException.class,
                    fx -> solver.solve(fx, new long[] {fx.x}, new long[] {fx.y}, 0L, fx.pairing)));
            for (long record : new long[] {0L, 12345L}) {
                rows.add(raises(n + "record " + record, IllegalArgumentException.class,
                        fx -> solver.solve(fx, new long[] {fx.x}, new long[] {fx.y}, TARNFactory.one, record)));
            }
            rows.add(raises(n + "freed record", IllegalArgumentException.class,
                    fx -> solver.solve(fx, new long[] {fx.x}, new long[] {fx.y}, TARNFactory.one, fx.freed)));
        }

        // incremental memory that is missing, too short or does not fit the game (the Rabin memory
        // counts Z entries, not justices: the justice counts bind only the GR(1) solver)
        List<Object[]> memories = new ArrayList<>();
        memories.add(new Object[] {"no arrays", true, 1, (MemoryOf) fx -> new Memory(NEW_INI_ADDED, -1L, null, null, null, 0, 1, 1, null)});
        memories.add(new Object[] {"counts shorter than sizeD1", true, 1,
                (MemoryOf) fx -> new Memory(NEW_INI_ADDED, -1L, new long[] {fx.x, fx.x}, new long[] {fx.x, fx.x}, new long[] {fx.x}, 0, 2, 1, new int[] {1})});
        memories.add(new Object[] {"Z shorter than sizeD1", true, 2,
                (MemoryOf) fx -> new Memory(NEW_INI_ADDED, -1L, new long[] {fx.x}, new long[] {fx.x}, new long[] {fx.x, fx.x}, 0, 2, 1, new int[] {1, 1})});
        memories.add(new Object[] {"X shorter than the counts", true, 1,
                (MemoryOf) fx -> new Memory(NEW_INI_ADDED, -1L, new long[] {fx.x}, new long[] {fx.x}, new long[] {fx.x}, 0, 1, 1, new int[] {3})});
        memories.add(new Object[] {"null X", true, 1,
                (MemoryOf) fx -> new Memory(NEW_INI_ADDED, -1L, new long[] {fx.x}, new long[] {fx.x}, null, 0, 1, 1, new int[] {1})});
        memories.add(new Object[] {"0 in Z", true, 1,
                (MemoryOf) fx -> new Memory(NEW_INI_ADDED, -1L, new long[] {0L}, new long[] {0L}, new long[] {fx.x}, 0, 1, 1, new int[] {1})});
        memories.add(new Object[] {"0 in X", true, 1,
                (MemoryOf) fx -> new Memory(NEW_INI_ADDED, -1L, new long[] {fx.x}, new long[] {fx.x}, new long[] {0L}, 0, 1, 1, new int[] {1})});
        memories.add(new Object[] {"negative count", true, 1,
                (MemoryOf) fx -> new Memory(NEW_INI_ADDED, -1L, new long[] {fx.x}, new long[] {fx.x}, new long[] {fx.x}, 0, 1, 1, new int[] {-2})});
        memories.add(new Object[] {"negative sizeD1", true, 1,
                (MemoryOf) fx -> new Memory(NEW_INI_ADDED, -1L, new long[0], new long[0], new long[0], 0, -1, 1, new int[0])});
        memories.add(new Object[] {"negative sizeD2", true, 1,
                (MemoryOf) fx -> new Memory(NEW_INI_ADDED, -1L, new long[] {fx.x}, new long[] {fx.x}, new long[] {fx.x}, 0, 1, -1, new int[] {1})});
        memories.add(new Object[] {"more justices than the game", false, 1,
                (MemoryOf) fx -> new Memory(NEW_INI_ADDED, -1L, new long[] {fx.x, fx.x}, new long[] {fx.x, fx.x}, new long[] {fx.x, fx.x}, 0, 2, 1, new int[] {1, 1})});
        memories.add(new Object[] {"fewer justices than the game", false, 2,
                (MemoryOf) fx -> new Memory(NEW_INI_ADDED, -1L, new long[] {fx.x}, new long[] {fx.x}, new long[] {fx.x}, 0, 1, 1, new int[] {1})});
        memories.add(new Object[] {"more environment justices than the game", true, 1,
                (MemoryOf) fx -> new Memory(NEW_INI_ADDED, -1L, new long[] {fx.x}, new long[] {fx.x}, new long[] {fx.x, fx.x}, 0, 1, 2, new int[] {1})});
        memories.add(new Object[] {"added justice after more than the game", false, 2,
                (MemoryOf) fx -> new Memory(NEW_JUSTICE_ADDED, -1L, new long[] {fx.x, fx.x, fx.x}, new long[] {fx.x, fx.x, fx.x},
                        new long[] {fx.x, fx.x, fx.x}, 1, 3, 1, new int[] {1, 1, 1})});
        memories.add(new Object[] {"no start Z", true, 1,
                (MemoryOf) fx -> new Memory(NEW_SAFETY_ADDED, 0L, new long[] {fx.x}, new long[] {fx.x}, new long[] {fx.x}, 0, 1, 1, new int[] {1})});
        memories.add(new Object[] {"removed justice past sizeD1", true, 1,
                (MemoryOf) fx -> new Memory(PREV_JUSTICE_REMOVED, -1L, new long[] {fx.x}, new long[] {fx.x}, new long[] {fx.x}, 5, 1, 1, new int[] {1})});
        for (Object[] m : memories) {
            int justices = (Integer) m[2];
            MemoryOf memory = (MemoryOf) m[3];
            rows.add(gives("gr1GameInc0 " + m[0], GAME_FAILED, fx -> gr1Inc(fx, justices, memory.of(fx))));
            if ((Boolean) m[1]) {
                rows.add(gives("rabinGameInc0 " + m[0], GAME_FAILED, fx -> rabinInc(fx, justices, memory.of(fx))));
            }
        }
        // the memories are empty before any solve
        rows.add(gives("memory getters before any solve", 0, fx -> TARNFactory.getAttrSizes0().length
                + TARNFactory.getXMem0().length + TARNFactory.getYMem0().length + TARNFactory.getZMem0().length
                + TARNFactory.getZMemFirstItr0().length + TARNFactory.getRabinZSize0()
                + TARNFactory.getRabinZMem0().length + TARNFactory.getRabinXSizes0().length
                + TARNFactory.getRabinXMem0().length));

        // controllers and weighted relations
        rows.add(raises("determinizeController0 disjunction", BDDException.class,
                fx -> TARNFactory.determinizeController0(fx.x, fx.xOrY, false)));
        rows.add(raises("determinizeController0 negative literal", BDDException.class,
                fx -> TARNFactory.determinizeController0(fx.x, fx.xAndNotY, false)));
        rows.add(raises("determinizeController0 ADD scaled", BDDException.class,
                fx -> TARNFactory.determinizeController0(fx.a, fx.scaled, true)));
        rows.add(raises("determinizeController0 ADD BDD cube", IllegalArgumentException.class,
                fx -> TARNFactory.determinizeController0(fx.a, TARNFactory.zero, true)));
        for (long h : new long[] {0L, -1L}) {
            rows.add(raises("determinizeController0 f " + h, IllegalArgumentException.class,
                    fx -> TARNFactory.determinizeController0(h, fx.y, false)));
            rows.add(raises("determinizeController0 cube " + h, IllegalArgumentException.class,
                    fx -> TARNFactory.determinizeController0(fx.x, h, false)));
            rows.add(raises("negCycleCheck0 relation " + h, IllegalArgumentException.class,
                    fx -> TARNFactory.negCycleCheck0(h, fx.a, fx.a, fx.addPairing)));
            rows.add(raises("negCycleCheck0 prime cube " + h, IllegalArgumentException.class,
                    fx -> TARNFactory.negCycleCheck0(fx.a, fx.a, h, fx.addPairing)));
        }
        for (long record : new long[] {0L, 12345L}) {
            rows.add(raises("negCycleCheck0 record " + record, IllegalArgumentException.class,
                    fx -> TARNFactory.negCycleCheck0(fx.a, fx.a, fx.a, record)));
        }
        rows.add(raises("negCycleCheck0 freed record", IllegalArgumentException.class,
                fx -> TARNFactory.negCycleCheck0(fx.a, fx.a, fx.a, fx.freed)));
        return rows.stream().map(r -> Arguments.of(r.name(), r));
    }

    private Fixture fixture() {
        TARNFactory.setVarNum0(VARS, false);
        Fixture fx = new Fixture();
        fx.baseline = TARNFactory.getNodeNum0();
        fx.x = fx.bdd(TARNFactory.ithVar0(0, false));
        fx.y = fx.bdd(TARNFactory.ithVar0(1, false));
        fx.z = fx.bdd(TARNFactory.ithVar0(2, false));
        fx.w = fx.bdd(TARNFactory.ithVar0(3, false));
        fx.xOrY = fx.bdd(TARNFactory.apply0(fx.x, fx.y, 2, false, false, false));
        fx.xAndNotY = fx.bdd(TARNFactory.apply0(fx.x, fx.y, 7, false, false, false));
        fx.a = fx.add(TARNFactory.ithVar0(0, true));
        long two = TARNFactory.addConst0(2);
        fx.scaled = fx.add(TARNFactory.apply0(fx.a, two, 0, true, false, false));
        TARNFactory.delRef(two, true);
        fx.pairing = TARNFactory.alloc(false);
        fx.addPairing = TARNFactory.alloc(true);
        fx.freed = TARNFactory.alloc(false);
        TARNFactory.free0(fx.freed);
        return fx;
    }

    /** Releases what the fixture holds; the records may have been freed by the row. */
    private static void releaseAll(Fixture fx) {
        fx.bdds.forEach(h -> TARNFactory.delRef(h, false));
        fx.adds.forEach(h -> TARNFactory.delRef(h, true));
        for (long p : new long[] {fx.pairing, fx.addPairing}) {
            try {
                TARNFactory.free0(p);
            } catch (IllegalArgumentException freedByTheRow) {
                // the row freed it
            }
        }
    }

    private static Object run(Row row, Fixture fx) {
        if (row.thrown() == null) {
            Object result = row.call().run(fx);
            if (row.returned() != ANY) {
                assertEquals(row.returned(), result, row.name());
            }
            return result;
        }
        Throwable t = assertThrows(row.thrown(), () -> row.call().run(fx), row.name());
        assertTrue(t.getMessage() != null && !t.getMessage().isEmpty(), row.name() + ": no message");
        return null;
    }

    /** The factory still computes: x0 AND x1 over the variables has a quarter of the assignments. */
    private static void assertUsable() {
        long x = TARNFactory.ithVar0(0, false);
        long y = TARNFactory.ithVar0(1, false);
        long r = TARNFactory.apply0(x, y, 0, false, true, true);
        assertEquals(Math.pow(2, TARNFactory.varNum0() - 2), TARNFactory.satCount0(r));
        long built = TruthTables.buildFrom(TruthTables.VARIABLE[0] & TruthTables.VARIABLE[1], 0);
        assertEquals(r, built);
        TARNFactory.delRef(r, false);
        TARNFactory.delRef(built, false);
    }

    @ParameterizedTest(name = "{0}")
    @MethodSource("rows")
    void badInputIsRefusedAndTheFactoryStaysUsable(String name, Row row) {
        Fixture fx = fixture();
        Object result = run(row, fx);
        if (result instanceof Long h && h != 0 && h != -1) {
            TARNFactory.delRef(h, false);
        }
        assertUsable();
        releaseAll(fx);
        assertEquals(fx.baseline, TARNFactory.getNodeNum0(), "live nodes after releasing everything");
    }

    static Stream<Arguments> withoutManager() {
        List<Arguments> rows = new ArrayList<>();
        for (Entry e : HANDLE_CALLS) {
            rows.add(Arguments.of(e.name(), e));
        }
        for (Entry e : OTHER_CALLS) {
            rows.add(Arguments.of(e.name(), e));
        }
        return rows.stream();
    }

    // Handles and records of the manager that is gone: the frame must refuse them before it
    // touches them.
    @ParameterizedTest(name = "{0}")
    @MethodSource("withoutManager")
    void everyEntryPointRefusesToWorkWithoutAManager(String name, Entry entry) {
        Fixture fx = fixture();
        TARNFactory.done0();
        BDDException e = assertThrows(BDDException.class, () -> entry.call().run(fx, fx.x), name);
        assertEquals("TARN is not initialized", e.getMessage());
        assertEquals(false, TARNFactory.isInitialized0());
        TARNFactory.addRef(fx.x);
        TARNFactory.delRef(fx.x, false);
        TARNFactory.done0();

        TARNFactory.initialize0(100, 100);
        TARNFactory.setVarNum0(VARS, false);
        assertUsable();
    }
}
