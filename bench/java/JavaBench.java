import java.math.BigInteger;
import java.util.ArrayList;
import java.util.HashMap;
import java.util.List;
import java.util.Map;
import ordo.TARNFactory;

/**
 * The benchmark workloads of bench/workloads.h driven from Java through the native entry points,
 * as a Java user runs them: initialize0 with a node and cache argument and the settings it leaves
 * in force, apply0, relprod0, and replace0 with one pairing record. Same constructions, same
 * operations in the same order, same variable order as the C++ driver.
 *
 * <p>Run: java -Dtarn.library=/path/libtarn.so -cp tarn.jar:java-bench.jar JavaBench WORKLOAD SIZE
 * [NODENUM CACHESIZE]. Prints one line: engine workload size ms peak-KiB count expected, and exits
 * with status 1 when the count is wrong. The peak is the JVM process's resident peak.
 */
public final class JavaBench {

    private JavaBench() {
    }

    private static final int AND = 0;
    private static final int OR = 2;
    private static final int NAND = 3;
    private static final int BIIMP = 6;
    private static final int DIFF = 7;

    private static long apply(long a, long b, int op) {
        return TARNFactory.apply0(a, b, op, false, false, false);
    }

    private static void release(long f) {
        TARNFactory.delRef(f, false);
    }

    private static long var(int i) {
        return TARNFactory.ithVar0(i, false);
    }

    private static long nvar(int i) {
        long x = var(i);
        long r = TARNFactory.not0(x, false);
        release(x);
        return r;
    }

    private static long one() {
        TARNFactory.addRef(TARNFactory.one);
        return TARNFactory.one;
    }

    private static long zero() {
        return TARNFactory.logicZero0();
    }

    /** acc = acc AND x; both operands are released. */
    private static long andInto(long acc, long x) {
        long r = apply(acc, x, AND);
        release(acc);
        release(x);
        return r;
    }

    // ---- N-queens -----------------------------------------------------------------------------

    private static double queens(int n) {
        TARNFactory.setVarNum0(n * n, false);
        long board = one();
        for (int i = 0; i < n; i++) {
            long row = zero();
            for (int j = 0; j < n; j++) {
                long x = var(i * n + j);
                long r = apply(row, x, OR);
                release(row);
                release(x);
                row = r;
            }
            board = andInto(board, row);
        }
        for (int i = 0; i < n; i++) {
            for (int j = 0; j < n; j++) {
                long here = var(i * n + j);
                long a = one();
                long b = one();
                long c = one();
                long d = one();
                for (int l = 0; l < n; l++) {
                    if (l != j) {
                        a = exclude(a, here, i * n + l);
                    }
                }
                for (int k = 0; k < n; k++) {
                    if (k != i) {
                        b = exclude(b, here, k * n + j);
                    }
                }
                for (int k = 0; k < n; k++) {
                    int l = k - i + j;
                    if (k != i && l >= 0 && l < n) {
                        c = exclude(c, here, k * n + l);
                    }
                }
                for (int k = 0; k < n; k++) {
                    int l = i + j - k;
                    if (k != i && l >= 0 && l < n) {
                        d = exclude(d, here, k * n + l);
                    }
                }
                release(here);
                a = andInto(a, b);
                a = andInto(a, c);
                a = andInto(a, d);
                board = andInto(board, a);
            }
        }
        double solutions = TARNFactory.satCount0(board);
        release(board);
        return solutions;
    }

    /** acc AND NOT(here AND square). */
    private static long exclude(long acc, long here, int square) {
        long other = var(square);
        long r = andInto(acc, apply(here, other, NAND));
        release(other);
        return r;
    }

    // ---- reachability -------------------------------------------------------------------------

    /** A guarded transition: guard literals {bit, value}, assigned literals {bit, value}. */
    private record Transition(int[][] guard, int[][] assign) {
    }

    private record Model(int bits, List<Transition> transitions, int[] initiallySet) {
    }

    private static int[] lit(int bit, int value) {
        return new int[] {bit, value};
    }

    private static Model milner(int n) {
        List<Transition> ts = new ArrayList<>();
        for (int i = 0; i < n; i++) {
            int c = 3 * i;
            int t = 3 * i + 1;
            int h = 3 * i + 2;
            int cNext = 3 * ((i + 1) % n);
            ts.add(new Transition(new int[][] {lit(c, 1), lit(t, 0)},
                    new int[][] {lit(c, 0), lit(t, 1), lit(h, 1)}));
            ts.add(new Transition(new int[][] {lit(h, 1)}, new int[][] {lit(h, 0), lit(cNext, 1)}));
            ts.add(new Transition(new int[][] {lit(t, 1)}, new int[][] {lit(t, 0)}));
        }
        return new Model(3 * n, ts, new int[] {0});
    }

    private static Model philosophers(int n) {
        List<Transition> ts = new ArrayList<>();
        for (int i = 0; i < n; i++) {
            int before = (i + n - 1) % n;
            int after = (i + 1) % n;
            int l = 2 * i;
            int r = 2 * i + 1;
            ts.add(new Transition(new int[][] {lit(l, 0), lit(2 * before + 1, 0)},
                    new int[][] {lit(l, 1)}));
            ts.add(new Transition(new int[][] {lit(l, 1), lit(r, 0), lit(2 * after, 0)},
                    new int[][] {lit(r, 1)}));
            ts.add(new Transition(new int[][] {lit(l, 1), lit(r, 1)},
                    new int[][] {lit(l, 0), lit(r, 0)}));
        }
        return new Model(2 * n, ts, new int[0]);
    }

    private static long literal(int var, boolean value) {
        return value ? var(var) : nvar(var);
    }

    private static double reachable(Model m) {
        int bits = m.bits();
        TARNFactory.setVarNum0(2 * bits, false);
        // Transition relation, each conjunction built from the bottom of the order up.
        long relation = zero();
        for (Transition t : m.transitions()) {
            int[] assigned = new int[bits];
            int[] guarded = new int[bits];
            java.util.Arrays.fill(assigned, -1);
            java.util.Arrays.fill(guarded, -1);
            for (int[] l : t.assign()) {
                assigned[l[0]] = l[1];
            }
            for (int[] l : t.guard()) {
                int g = guarded[l[0]];
                guarded[l[0]] = (g == -1 || g == l[1]) ? l[1] : 2;
            }
            long step = one();
            for (int s = bits - 1; s >= 0; s--) {
                if (assigned[s] >= 0) {
                    step = andInto(step, literal(2 * s + 1, assigned[s] == 1));
                } else {
                    long x = var(2 * s);
                    long y = var(2 * s + 1);
                    step = andInto(step, apply(x, y, BIIMP));
                    release(x);
                    release(y);
                }
                if (guarded[s] == 2) {
                    step = andInto(step, zero());
                } else if (guarded[s] >= 0) {
                    step = andInto(step, literal(2 * s, guarded[s] == 1));
                }
            }
            long r = apply(relation, step, OR);
            release(relation);
            release(step);
            relation = r;
        }

        long currentCube = one();
        for (int s = bits - 1; s >= 0; s--) {
            currentCube = andInto(var(2 * s), currentCube);
        }
        // One pairing record exchanging each next variable with its current one.
        long pairing = TARNFactory.alloc(false);
        for (int s = 0; s < bits; s++) {
            TARNFactory.set0(pairing, 2 * s + 1, 2 * s, false);
            TARNFactory.set0(pairing, 2 * s, 2 * s + 1, false);
        }

        boolean[] initial = new boolean[bits];
        for (int b : m.initiallySet()) {
            initial[b] = true;
        }
        long reached = one();
        for (int s = bits - 1; s >= 0; s--) {
            reached = andInto(reached, literal(2 * s, initial[s]));
        }
        long frontier = apply(reached, reached, AND);
        for (;;) {
            long image = TARNFactory.relprod0(frontier, relation, currentCube);
            long renamed = TARNFactory.replace0(image, pairing, false);
            release(image);
            long fresh = apply(renamed, reached, DIFF);
            release(renamed);
            release(frontier);
            if (fresh == TARNFactory.zero) {
                release(fresh);
                break;
            }
            long grown = apply(reached, fresh, OR);
            release(reached);
            reached = grown;
            frontier = fresh;
        }

        double states = countCurrent(reached, 2 * bits);
        release(reached);
        release(currentCube);
        release(relation);
        TARNFactory.free0(pairing);
        return states;
    }

    /**
     * Satisfying assignments of f over the current (even) variables; f must not depend on the
     * others. Levels equal indices here (no reordering).
     */
    private static double countCurrent(long f, int numVars) {
        int above = countedFrom(0) - countedFrom(level(f, numVars));
        return Math.scalb(countBelow(f, numVars, new HashMap<>()), above);
    }

    private static int level(long f, int numVars) {
        return isConstant(f) ? numVars : TARNFactory.var2Level0(TARNFactory.var0(f));
    }

    private static boolean isConstant(long f) {
        return f == TARNFactory.one || f == TARNFactory.zero;
    }

    /** Even levels at or below l (counted levels). */
    private static int countedFrom(int l) {
        return Integer.MAX_VALUE / 2 - (l + 1) / 2;
    }

    private static double countBelow(long f, int numVars, Map<Long, Double> memo) {
        if (isConstant(f)) {
            return f == TARNFactory.one ? 1.0 : 0.0;
        }
        Double known = memo.get(f);
        if (known != null) {
            return known;
        }
        int l = level(f, numVars);
        double value = 0;
        for (int side = 0; side < 2; side++) {
            long child = side == 0 ? TARNFactory.high0(f, false) : TARNFactory.low0(f, false);
            int gap = countedFrom(l + 1) - countedFrom(level(child, numVars));
            value += Math.scalb(countBelow(child, numVars, memo), gap);
            release(child);
        }
        memo.put(f, value);
        return value;
    }

    // ---- expected counts ----------------------------------------------------------------------

    private static final long[] QUEENS = {
        1, 1, 0, 0, 2, 10, 4, 40, 92, 352, 724, 2680, 14200, 73712, 365596};

    private static double expected(String workload, int n) {
        switch (workload) {
            case "queens":
                return QUEENS[n];
            case "milner":
                return BigInteger.valueOf(2L * n).shiftLeft(n).doubleValue();
            case "philosophers": {
                BigInteger[][] step = {
                    {BigInteger.ONE, BigInteger.ONE, BigInteger.ONE},
                    {BigInteger.ONE, BigInteger.ONE, BigInteger.ONE},
                    {BigInteger.ONE, BigInteger.ZERO, BigInteger.ZERO}};
                BigInteger[][] power = {
                    {BigInteger.ONE, BigInteger.ZERO, BigInteger.ZERO},
                    {BigInteger.ZERO, BigInteger.ONE, BigInteger.ZERO},
                    {BigInteger.ZERO, BigInteger.ZERO, BigInteger.ONE}};
                for (int k = 0; k < n; k++) {
                    BigInteger[][] next = new BigInteger[3][3];
                    for (int a = 0; a < 3; a++) {
                        for (int c = 0; c < 3; c++) {
                            BigInteger sum = BigInteger.ZERO;
                            for (int b = 0; b < 3; b++) {
                                sum = sum.add(power[a][b].multiply(step[b][c]));
                            }
                            next[a][c] = sum;
                        }
                    }
                    power = next;
                }
                return power[0][0].add(power[1][1]).add(power[2][2]).doubleValue();
            }
            default:
                throw new IllegalArgumentException(
                        "unknown workload (queens, milner, philosophers)");
        }
    }

    private static long peakKiB() {
        try {
            java.nio.file.Path status = java.nio.file.Path.of("/proc/self/status");
            for (String line : java.nio.file.Files.readAllLines(status)) {
                if (line.startsWith("VmHWM:")) {
                    return Long.parseLong(line.replaceAll("[^0-9]", ""));
                }
            }
        } catch (java.io.IOException e) {
            return -1;
        }
        return -1;
    }

    public static void main(String[] args) {
        if (args.length != 2 && args.length != 4) {
            System.err.println("usage: JavaBench WORKLOAD SIZE [NODENUM CACHESIZE]");
            System.exit(2);
        }
        String workload = args[0];
        int n = Integer.parseInt(args[1]);
        int nodenum = args.length == 4 ? Integer.parseInt(args[2]) : 256;
        int cachesize = args.length == 4 ? Integer.parseInt(args[3]) : 4194304;
        double want = expected(workload, n);
        TARNFactory.loadLibrary(System.getProperty("tarn.library"));

        long start = System.nanoTime();
        TARNFactory.initialize0(nodenum, cachesize);
        double got;
        if (workload.equals("queens")) {
            got = queens(n);
        } else {
            got = reachable(workload.equals("milner") ? milner(n) : philosophers(n));
        }
        TARNFactory.done0();
        double ms = (System.nanoTime() - start) / 1e6;

        System.out.printf("tarn-java %s %d %.1f %d %.0f %.0f%n", workload, n, ms, peakKiB(), got,
                want);
        System.exit(Math.abs(got - want) <= 1e-9 * Math.max(1.0, want) ? 0 : 1);
    }
}
