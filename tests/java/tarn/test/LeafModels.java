package tarn.test;

/**
 * What the ADD operations compute at one leaf: the values the constants table keeps, and one
 * model per apply0 operator code and per conversion. Shared by the ADD tests and the random
 * differential tester.
 */
final class LeafModels {
    private LeafModels() {
    }

    /** The value that stands for plus infinity. */
    static final double INF = 1e302;

    /** The value that the constants table keeps for a computed leaf. */
    static double canonical(double v) {
        if (v >= 1e151) {
            return INF;
        }
        if (v <= -1e151) {
            return -INF;
        }
        return Math.abs(v) < 1e-12 ? 0.0 : v;
    }

    static boolean same(double a, double b) {
        return Double.isNaN(a) ? Double.isNaN(b) : a == b;
    }

    static double times(double a, double b) {
        if (a == 0 || b == 0) {
            return 0;
        }
        return a == 1 ? b : b == 1 ? a : canonical(b * a);
    }

    static double plus(double a, double b) {
        return a == 0 ? b : b == 0 ? a : canonical(b + a);
    }

    static double or(double a, double b) {
        return a == 1 || b == 1 ? 1 : b;
    }

    static double cmpl(double a) {
        return a == 0 ? 1 : 0;
    }

    /** max(a - b, 0) with the infinities' rules; a gain above a non-negative cap is infinite. */
    static double energyMinus(double a, double b, double cap) {
        if (same(a, b) || b == INF) {
            return 0;
        }
        if (b == -INF) {
            return INF;
        }
        double d = a - b;
        if (!(d > 0)) {
            d = 0;
        }
        return cap >= 0 && d > cap ? INF : canonical(d);
    }

    static double energyPlus(double a, double b) {
        if (a == 0) {
            return b;
        }
        if (b == 0) {
            return a;
        }
        if (a == INF && b == -INF) {
            return 0;
        }
        if (a == -INF) {
            return b == INF ? 0 : -INF;
        }
        if (b == -INF) {
            return -INF;
        }
        return a == INF || b == INF ? INF : canonical(b + a);
    }

    static double max(double a, double b) {
        return same(a, b) ? a : a == -INF ? b : b == -INF ? a : a >= b ? a : b;
    }

    static double min(double a, double b) {
        return a == INF ? b : b == INF ? a : same(a, b) ? a : b >= a ? a : b;
    }

    /**
     * The leaf of apply0 with an ADD operator code. Codes 2, 5 and 9 (the disjunctions) follow
     * this model only on 0/1 operands: their terminal cases return a whole operand.
     */
    static double model(int code, double a, double b) {
        switch (code) {
            case 0: case 10: return times(a, b);
            case 1: return same(a, b) ? 0 : (a == 1 && b == 0) || (a == 0 && b == 1) ? 1 : 0;
            case 2: return or(a, b);
            case 3: return a == 0 || b == 0 ? 1 : 0;
            case 4: return a == 1 || b == 1 ? 0 : 1;
            case 5: return or(cmpl(a), b);
            case 6: case 18: return same(a, b) ? 1 : 0;
            case 7: return times(a, cmpl(b));
            case 8: return same(a, b) || a == INF ? 0 : b > a ? 1 : 0;
            case 9: return or(a, cmpl(b));
            case 11: return a == 0 ? 0 : b == 1 ? a : canonical(a / b);
            case 12: return plus(a, b);
            case 13: return same(a, b) ? 0 : a == 0 ? canonical(-b) : b == 0 ? a : canonical(a - b);
            case 14: return max(a, b);
            case 15: return min(a, b);
            case 16: return energyMinus(a, b, -1);
            case 17: return energyPlus(a, b);
            default: throw new IllegalArgumentException("code " + code);
        }
    }

    /** convertToZeroOneADDByThres0: below t (kind 1), above (2), at most (3), at least (4). */
    static boolean threshold(int kind, double v, double t) {
        switch (kind) {
            case 1: return !(v >= t);
            case 2: return !(t >= v);
            case 3: return !(v > t);
            default: return !(t > v);
        }
    }

    /** toBDDIthBit: bit i (modulo 32) of the leaf as a 32-bit integer; leaves outside that range count as its minimum. */
    static boolean ithBit(double v, int i) {
        boolean outside = Double.isNaN(v) || v <= -2147483649.0 || v >= 2147483648.0;
        long n = outside ? Integer.MIN_VALUE : (long) v;
        return ((n >> (i & 31)) & 1) != 0;
    }
}
