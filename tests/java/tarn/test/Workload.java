package tarn.test;

import java.util.ArrayList;
import java.util.List;
import java.util.Random;
import ordo.TARNFactory;

/**
 * A long random build-and-release run on small tables, so that the unique table grows, the
 * collector runs many times and the computed table earns its growth. Every result is checked
 * against a second way of computing it. StatsTest runs it in a child JVM and reads what it
 * prints: its own counts on Java's standard output, then the factory's report.
 */
public final class Workload {
    private Workload() {
    }

    private static final int AND = 0;
    private static final int XOR = 1;
    private static final int OR = 2;

    private static long apply(long a, long b, int op) {
        return TARNFactory.apply0(a, b, op, false, false, false);
    }

    private static long not(long f) {
        return f ^ 1L;
    }

    /** a op b, computed a second way from the other connectives (De Morgan, xor as or-and-not). */
    private static long another(long a, long b, int op) {
        switch (op) {
            case AND: {
                long r = apply(not(a), not(b), OR);
                long n = TARNFactory.not0(r, false);
                TARNFactory.delRef(r, false);
                return n;
            }
            case OR: {
                long r = apply(not(a), not(b), AND);
                long n = TARNFactory.not0(r, false);
                TARNFactory.delRef(r, false);
                return n;
            }
            default: {
                long either = apply(a, b, OR);
                long both = apply(a, b, AND);
                long r = apply(either, not(both), AND);
                TARNFactory.delRef(either, false);
                TARNFactory.delRef(both, false);
                return r;
            }
        }
    }

    public static void main(String[] args) {
        TARNFactory.loadLibrary(args[0]);
        TARNFactory.initialize0(8, 16);
        final int vars = 10;
        TARNFactory.setVarNum0(vars, false);
        int nodesBefore = TARNFactory.getNodeNum0();
        int cacheBefore = TARNFactory.getCacheSize0();

        Random random = new Random(20261210);
        List<Long> pool = new ArrayList<>();
        for (int i = 0; i < vars; i++) {
            pool.add(TARNFactory.ithVar0(i, false));
        }
        int mismatches = 0;
        for (int step = 0; step < 150000; step++) {
            long a = pool.get(random.nextInt(pool.size()));
            long b = pool.get(random.nextInt(pool.size()));
            if (random.nextBoolean()) {
                a = not(a);
            }
            int op = random.nextInt(3);
            long r = apply(a, b, op);
            if (step % 8 == 0) {
                long check = another(a, b, op);
                if (!TARNFactory.equalBDDs0(r, check)) {
                    mismatches++;
                }
                TARNFactory.delRef(check, false);
            }
            pool.add(r);
            // Keep the pool small so that most results die soon.
            while (pool.size() > 300 || (pool.size() > vars && random.nextInt(3) == 0)) {
                int k = vars + random.nextInt(pool.size() - vars);
                TARNFactory.delRef(pool.remove(k), false);
            }
        }
        for (long f : pool) {
            TARNFactory.delRef(f, false);
        }
        System.out.println("mismatches " + mismatches);
        System.out.println("nodes " + nodesBefore + " " + TARNFactory.getNodeNum0());
        System.out.println("cache " + cacheBefore + " " + TARNFactory.getCacheSize0());
        System.out.flush();
        TARNFactory.printStat0();
        TARNFactory.done0();
    }
}
