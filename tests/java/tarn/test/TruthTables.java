package tarn.test;

import ordo.TARNFactory;

/**
 * The truth-table oracle of the BDD tests: a function of the five variables 0 to 4 is a 32-bit
 * table, bit a holding its value at the assignment a (variable i is bit i of a). Diagrams are read
 * back through var0, low0 and high0 only, independently of the operations under test.
 */
final class TruthTables {
    private TruthTables() {
    }

    static final int VARS = 5;
    static final long ALL = 0xFFFFFFFFL;
    /** The table of each variable. */
    static final long[] VARIABLE = {0xAAAAAAAAL, 0xCCCCCCCCL, 0xF0F0F0F0L, 0xFF00FF00L, 0xFFFF0000L};

    static boolean eval(long f, int assignment) {
        while (f != TARNFactory.one && f != TARNFactory.zero) {
            int v = TARNFactory.var0(f);
            long child = ((assignment >> v) & 1) != 0 ? TARNFactory.high0(f, false) : TARNFactory.low0(f, false);
            TARNFactory.delRef(child, false);  // the root keeps it alive
            f = child;
        }
        return f == TARNFactory.one;
    }

    static long table(long f) {
        long t = 0;
        for (int a = 0; a < 32; a++) {
            if (eval(f, a)) {
                t |= 1L << a;
            }
        }
        return t;
    }

    static long positiveCofactor(long t, int i) {
        long half = t & VARIABLE[i];
        return half | (half >>> (1 << i));
    }

    static long negativeCofactor(long t, int i) {
        long half = t & ~VARIABLE[i] & ALL;
        return half | ((half << (1 << i)) & ALL);
    }

    static long exists(long t, int cubeVars) {
        for (int i = 0; i < VARS; i++) {
            if (((cubeVars >> i) & 1) != 0) {
                t = positiveCofactor(t, i) | negativeCofactor(t, i);
            }
        }
        return t;
    }

    static long forall(long t, int cubeVars) {
        return ~exists(~t & ALL, cubeVars) & ALL;
    }

    /** The BDD of a table by Shannon expansion from variable var down; the caller owns one reference. */
    static long buildFrom(long t, int var) {
        if (t == ALL || t == 0) {
            long c = t == ALL ? TARNFactory.one : TARNFactory.zero;
            TARNFactory.addRef(c);
            return c;
        }
        long hi = buildFrom(positiveCofactor(t, var), var + 1);
        long lo = buildFrom(negativeCofactor(t, var), var + 1);
        long x = TARNFactory.ithVar0(var, false);
        long r = TARNFactory.ite0(x, hi, lo, false);
        TARNFactory.delRef(x, false);
        TARNFactory.delRef(hi, false);
        TARNFactory.delRef(lo, false);
        return r;
    }
}
