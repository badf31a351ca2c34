package tarn.test;

import static tarn.test.LeafModels.INF;

import java.util.ArrayList;
import java.util.Arrays;
import java.util.BitSet;
import java.util.HashMap;
import java.util.HashSet;
import java.util.List;
import java.util.Map;
import java.util.Set;
import java.util.function.DoubleBinaryOperator;
import java.util.function.DoublePredicate;
import java.util.function.DoubleUnaryOperator;
import ordo.TARNFactory;

/**
 * The oracle of the random tester over a fixed number of variables: truth tables of BDDs as bit
 * sets and leaf tables of ADDs as arrays (entry a is the value at the assignment a, variable i
 * being bit i of a), the table operations the tester's models need, and the reading of a diagram
 * back into its table through var0, low0, high0 and retrieveConstValue0. Reading also checks the
 * diagram's form: reduced, ordered by level, canonical, complement marks only where they belong,
 * and no constant within the merging tolerance of zero other than the ADD zero.
 */
class DiagramOracle {
    /** A check that did not hold. */
    static final class Failure extends RuntimeException {
        private static final long serialVersionUID = 1L;

        Failure(String message) {
            super(message);
        }
    }

    static void check(boolean condition, String message) {
        if (!condition) {
            throw new Failure(message);
        }
    }

    final int vars;
    final int size;
    /** The table of each variable. */
    final BitSet[] variable;

    DiagramOracle(int vars) {
        this.vars = vars;
        this.size = 1 << vars;
        this.variable = new BitSet[vars];
        for (int v = 0; v < vars; v++) {
            variable[v] = new BitSet(size);
            for (int a = 0; a < size; a++) {
                if (((a >> v) & 1) != 0) {
                    variable[v].set(a);
                }
            }
        }
    }

    // ---- tables ---------------------------------------------------------------------------------

    static boolean isNice(double v) {
        return v == INF || v == -INF || (Math.abs(v) < 1e6 && v * 4 == Math.rint(v * 4));
    }

    BitSet all() {
        BitSet b = new BitSet(size);
        b.set(0, size);
        return b;
    }

    BitSet not(BitSet t) {
        BitSet b = (BitSet) t.clone();
        b.flip(0, size);
        return b;
    }

    static BitSet and(BitSet x, BitSet y) {
        BitSet b = (BitSet) x.clone();
        b.and(y);
        return b;
    }

    static BitSet or(BitSet x, BitSet y) {
        BitSet b = (BitSet) x.clone();
        b.or(y);
        return b;
    }

    static BitSet xor(BitSet x, BitSet y) {
        BitSet b = (BitSet) x.clone();
        b.xor(y);
        return b;
    }

    static BitSet ite(BitSet c, BitSet t, BitSet e) {
        BitSet b = and(c, t);
        BitSet rest = (BitSet) e.clone();
        rest.andNot(c);
        b.or(rest);
        return b;
    }

    BitSet bddCode(int code, BitSet a, BitSet b) {
        switch (code) {
            case 0: return and(a, b);
            case 1: return xor(a, b);
            case 2: return or(a, b);
            case 3: return not(and(a, b));
            case 4: return not(or(a, b));
            case 5: return or(not(a), b);
            case 6: return not(xor(a, b));
            case 7: return and(a, not(b));
            case 8: return and(not(a), b);
            default: return or(a, not(b));
        }
    }

    /** The function with variable v fixed to value. */
    BitSet cofactor(BitSet t, int v, boolean value) {
        BitSet b = new BitSet(size);
        int bit = 1 << v;
        for (int a = t.nextSetBit(0); a >= 0; a = t.nextSetBit(a + 1)) {
            if (((a & bit) != 0) == value) {
                b.set(a ^ bit);
                b.set(a);
            }
        }
        return b;
    }

    BitSet exists(BitSet t, int cubeVars) {
        for (int v = 0; v < vars; v++) {
            if (((cubeVars >> v) & 1) != 0) {
                t = or(cofactor(t, v, true), cofactor(t, v, false));
            }
        }
        return t;
    }

    int supportOf(BitSet t) {
        int s = 0;
        for (int v = 0; v < vars; v++) {
            if (!cofactor(t, v, true).equals(cofactor(t, v, false))) {
                s |= 1 << v;
            }
        }
        return s;
    }

    int supportOf(double[] t) {
        int s = 0;
        for (int v = 0; v < vars; v++) {
            int bit = 1 << v;
            for (int a = 0; a < size; a++) {
                if ((a & bit) == 0 && !LeafModels.same(t[a], t[a | bit])) {
                    s |= bit;
                    break;
                }
            }
        }
        return s;
    }

    /** The function f(b) where b_i is the value of inputs[i] at the assignment. */
    BitSet substitute(BitSet f, BitSet[] inputs) {
        BitSet r = new BitSet(size);
        for (int a = 0; a < size; a++) {
            int b = 0;
            for (int i = 0; i < vars; i++) {
                if (inputs[i].get(a)) {
                    b |= 1 << i;
                }
            }
            if (f.get(b)) {
                r.set(a);
            }
        }
        return r;
    }

    double[] substitute(double[] f, BitSet[] inputs) {
        double[] r = new double[size];
        for (int a = 0; a < size; a++) {
            int b = 0;
            for (int i = 0; i < vars; i++) {
                if (inputs[i].get(a)) {
                    b |= 1 << i;
                }
            }
            r[a] = f[b];
        }
        return r;
    }

    BitSet[] identityInputs() {
        return variable.clone();
    }

    double[] pointwise(double[] f, double[] g, DoubleBinaryOperator op) {
        double[] r = new double[size];
        for (int a = 0; a < size; a++) {
            r[a] = op.applyAsDouble(f[a], g[a]);
        }
        return r;
    }

    double[] map(double[] f, DoubleUnaryOperator op) {
        double[] r = new double[size];
        for (int a = 0; a < size; a++) {
            r[a] = op.applyAsDouble(f[a]);
        }
        return r;
    }

    double[] zeroOne(BitSet t) {
        double[] r = new double[size];
        for (int a = t.nextSetBit(0); a >= 0; a = t.nextSetBit(a + 1)) {
            r[a] = 1;
        }
        return r;
    }

    BitSet where(double[] t, DoublePredicate test) {
        BitSet b = new BitSet(size);
        for (int a = 0; a < size; a++) {
            if (test.test(t[a])) {
                b.set(a);
            }
        }
        return b;
    }

    /**
     * Abstraction of the cube's variables with op, the deepest variable first: the order in which
     * the recursion combines the cofactors, which matters where infinities meet.
     */
    double[] abstractLeaves(double[] t, int cubeVars, DoubleBinaryOperator op) {
        double[] r = t.clone();
        List<Integer> order = new ArrayList<>();
        for (int v = 0; v < vars; v++) {
            if (((cubeVars >> v) & 1) != 0) {
                order.add(v);
            }
        }
        order.sort((x, y) -> Integer.compare(TARNFactory.var2Level0(y), TARNFactory.var2Level0(x)));
        for (int v : order) {
            int bit = 1 << v;
            for (int a = 0; a < size; a++) {
                if ((a & bit) == 0) {
                    double value = op.applyAsDouble(r[a | bit], r[a]);
                    r[a] = value;
                    r[a | bit] = value;
                }
            }
        }
        return r;
    }

    // ---- reading diagrams back ----------------------------------------------------------------

    /** What reading a diagram found. */
    static final class Reading {
        final Map<Long, Object> tables = new HashMap<>();
        final Map<Long, Double> paths = new HashMap<>();
        final Set<Long> nodes = new HashSet<>();
        final Map<Object, Long> handleOf = new HashMap<>();
    }

    /** A key for leaf tables with value equality. */
    record LeafKey(double[] leaves) {
        @Override
        public boolean equals(Object o) {
            return o instanceof LeafKey k && Arrays.equals(leaves, k.leaves);
        }

        @Override
        public int hashCode() {
            return Arrays.hashCode(leaves);
        }

        @Override
        public String toString() {
            return Arrays.toString(leaves);
        }
    }

    int level(int v) {
        return TARNFactory.var2Level0(v);
    }

    BitSet readBdd(long f, Reading r, String what) {
        if (f == TARNFactory.one) {
            r.nodes.add(f);
            r.paths.put(f, 1.0);
            return all();
        }
        if (f == TARNFactory.zero) {
            r.nodes.add(f & ~1L);
            r.paths.put(f, 0.0);
            return new BitSet(size);
        }
        Object known = r.tables.get(f);
        if (known != null) {
            return (BitSet) known;
        }
        int v = TARNFactory.var0(f);
        check(v >= 0 && v < vars, what + ": node with variable index " + v);
        long hi = TARNFactory.high0(f, false);
        long lo = TARNFactory.low0(f, false);
        TARNFactory.delRef(hi, false);
        TARNFactory.delRef(lo, false);
        check(hi != lo, what + ": node with equal children");
        check((hi & 1L) == (f & 1L), what + ": complemented then-edge stored in a node");
        for (long c : new long[] {hi, lo}) {
            if (c != TARNFactory.one && c != TARNFactory.zero) {
                check(level(TARNFactory.var0(c)) > level(v), what + ": child above its parent");
            }
        }
        BitSet t = ite(variable[v], readBdd(hi, r, what), readBdd(lo, r, what));
        r.tables.put(f, t);
        r.paths.put(f, r.paths.get(hi) + r.paths.get(lo));
        r.nodes.add(f & ~1L);
        Long other = r.handleOf.putIfAbsent(t, f);
        check(other == null || other == f, what + ": two nodes for one function");
        return t;
    }

    double[] readAdd(long f, Reading r, String what) {
        Object known = r.tables.get(f);
        if (known != null) {
            return (double[]) known;
        }
        check((f & 1L) == 0, what + ": complemented handle in an ADD");
        double[] t;
        if (TARNFactory.isAddConst0(f)) {
            double value = TARNFactory.retrieveConstValue0(f);
            check(Math.abs(value) >= 1e-12 || f == TARNFactory.addZero,
                    what + ": constant " + value + " where the ADD zero belongs");
            t = new double[size];
            Arrays.fill(t, value);
            r.paths.put(f, value != 0 ? 1.0 : 0.0);
        } else {
            int v = TARNFactory.var0(f);
            check(v >= 0 && v < vars, what + ": node with variable index " + v);
            long hi = TARNFactory.high0(f, true);
            long lo = TARNFactory.low0(f, true);
            TARNFactory.delRef(hi, true);
            TARNFactory.delRef(lo, true);
            check(hi != lo, what + ": node with equal children");
            for (long c : new long[] {hi, lo}) {
                if (!TARNFactory.isAddConst0(c)) {
                    check(level(TARNFactory.var0(c)) > level(v), what + ": child above its parent");
                }
            }
            double[] th = readAdd(hi, r, what);
            double[] el = readAdd(lo, r, what);
            t = new double[size];
            for (int a = 0; a < size; a++) {
                t[a] = ((a >> v) & 1) != 0 ? th[a] : el[a];
            }
            r.paths.put(f, r.paths.get(hi) + r.paths.get(lo));
        }
        r.tables.put(f, t);
        r.nodes.add(f);
        boolean nice = true;
        for (double x : t) {
            nice &= isNice(x);
        }
        if (nice) {
            Long other = r.handleOf.putIfAbsent(new LeafKey(t), f);
            check(other == null || other == f, what + ": two nodes for one function");
        }
        return t;
    }
}
