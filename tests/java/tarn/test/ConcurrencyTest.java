package tarn.test;

import static org.junit.jupiter.api.Assertions.assertEquals;

import java.util.ArrayList;
import java.util.List;
import java.util.Random;
import java.util.concurrent.ExecutorService;
import java.util.concurrent.Executors;
import java.util.concurrent.Future;
import ordo.TARNFactory;
import org.junit.jupiter.api.Test;

/** Several Java threads working on the one manager at once: the library lock serialises them. */
class ConcurrencyTest extends ManagerFixture {
    private static final int VARS = 8;

    /** Random conjunctions and disjunctions, each checked against De Morgan's law; mismatches found. */
    private static int work(long seed) {
        Random random = new Random(seed);
        List<Long> pool = new ArrayList<>();
        for (int i = 0; i < VARS; i++) {
            pool.add(TARNFactory.ithVar0(i, false));
        }
        int mismatches = 0;
        for (int step = 0; step < 4000; step++) {
            long a = pool.get(random.nextInt(pool.size()));
            long b = pool.get(random.nextInt(pool.size()));
            long and = TARNFactory.apply0(a, b, 0, false, false, false);
            long nor = TARNFactory.apply0(not(a), not(b), 2, false, false, false);
            if (!TARNFactory.equalBDDs0(and, not(nor)) || TARNFactory.getNodeNum0() < 0) {
                mismatches++;
            }
            TARNFactory.delRef(nor, false);
            pool.add(and);
            if (pool.size() > 64) {
                TARNFactory.delRef(pool.remove(VARS + random.nextInt(pool.size() - VARS)), false);
            }
        }
        for (long f : pool) {
            TARNFactory.delRef(f, false);
        }
        return mismatches;
    }

    @Test
    void threadsShareTheManagerSafely() throws Exception {
        TARNFactory.setVarNum0(VARS, false);
        int before = TARNFactory.getNodeNum0();
        ExecutorService threads = Executors.newFixedThreadPool(4);
        try {
            List<Future<Integer>> results = new ArrayList<>();
            for (int t = 0; t < 4; t++) {
                final long seed = 1000 + t;
                results.add(threads.submit(() -> work(seed)));
            }
            for (Future<Integer> r : results) {
                assertEquals(0, r.get());
            }
        } finally {
            threads.shutdown();
        }
        assertEquals(before, TARNFactory.getNodeNum0());
    }
}
