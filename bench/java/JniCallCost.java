import ordo.TARNFactory;

/**
 * The cost of a cheap JNI entry point: not0 then delRef on a projection function, and apply0
 * (conjunction) on two operands whose result is in the computed table, then delRef. Prints
 * nanoseconds per pair and per entry-point call.
 *
 * <p>Run: java -Dtarn.library=/path/libtarn.so -cp tarn.jar:jni-callcost.jar JniCallCost [ITERATIONS]
 */
public final class JniCallCost {

    private JniCallCost() {
    }

    private static long sink;

    private static double notPair(long x0, long iterations) {
        long start = System.nanoTime();
        for (long i = 0; i < iterations; i++) {
            long r = TARNFactory.not0(x0, false);
            sink += r;
            TARNFactory.delRef(r, false);
        }
        return (System.nanoTime() - start) / (double) iterations;
    }

    private static double andPair(long x0, long x1, long iterations) {
        long start = System.nanoTime();
        for (long i = 0; i < iterations; i++) {
            long r = TARNFactory.apply0(x0, x1, 0, false, false, false);
            sink += r;
            TARNFactory.delRef(r, false);
        }
        return (System.nanoTime() - start) / (double) iterations;
    }

    public static void main(String[] args) {
        long iterations = args.length > 0 ? Long.parseLong(args[0]) : 20_000_000L;
        TARNFactory.loadLibrary(System.getProperty("tarn.library"));
        TARNFactory.initialize0(256, 262144);
        TARNFactory.setVarNum0(2, false);
        long x0 = TARNFactory.ithVar0(0, false);
        long x1 = TARNFactory.ithVar0(1, false);
        // Kept referenced, so that every apply0 below finds its result in the computed table.
        long both = TARNFactory.apply0(x0, x1, 0, false, false, false);

        notPair(x0, iterations / 10 + 1);  // warm-up: let the JIT compile both loops
        andPair(x0, x1, iterations / 10 + 1);
        double not = notPair(x0, iterations);
        double and = andPair(x0, x1, iterations);
        System.out.printf("jni not0+delRef %.1f ns per pair, %.1f ns per call%n", not, not / 2);
        System.out.printf("jni apply0+delRef %.1f ns per pair, %.1f ns per call%n", and, and / 2);

        TARNFactory.delRef(both, false);
        TARNFactory.delRef(x1, false);
        TARNFactory.delRef(x0, false);
        TARNFactory.done0();
        if (sink == 0) {
            System.out.println("no results");
        }
    }
}
