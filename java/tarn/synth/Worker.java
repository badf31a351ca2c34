package tarn.synth;

import java.io.IOException;
import java.io.PrintStream;
import java.io.Reader;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.Locale;
import ordo.BDD;
import ordo.TARNFactory;

/**
 * The synthesis itself, in the child process whose standard output (the
 * solvers' trace) the command reads. Results go to standard error as lines
 * starting with {@link #TAG}, among any error messages.
 */
final class Worker {
    static final String TAG = "@@tarn ";

    /** Exit status for a malformed specification. */
    static final int MALFORMED = 2;

    private Worker() {
    }

    /** A specification that could not be read; the message has been printed. */
    private static final class Unreadable extends Exception {
        private static final long serialVersionUID = 1L;
        final int status;

        Unreadable(int status) {
            this.status = status;
        }
    }

    /** Reads the specification only; returns the exit status of a failed read, else 0. */
    static int readOnly(Options o) {
        try {
            read(o);
            return 0;
        } catch (Unreadable e) {
            return e.status;
        }
    }

    private static GameSpec read(Options o) throws Unreadable {
        try (Reader in = Files.newBufferedReader(Path.of(o.file), StandardCharsets.UTF_8)) {
            return SlugsinReader.read(in);
        } catch (SlugsinReader.SpecException e) {
            System.err.println(o.file + ": " + e.getMessage());
            throw new Unreadable(MALFORMED);
        } catch (IOException e) {
            System.err.println(o.file + ": cannot read: " + e);
            throw new Unreadable(1);
        }
    }

    static int run(Options o) {
        PrintStream err = System.err;
        GameSpec spec;
        try {
            spec = read(o);
        } catch (Unreadable e) {
            return e.status;
        }
        try {
            return solve(o, spec);
        } catch (RuntimeException | LinkageError e) {
            err.println("synth: " + e);
            if (o.trace) {
                e.printStackTrace();
            }
            return 1;
        }
    }

    /** Computed-table entries the synthesis asks for. */
    static final int CACHE_ENTRIES = 1 << 23;

    /** Unique-table buckets of all levels together that the per-level size aims at. */
    static final int TOTAL_BUCKETS = 1 << 22;

    /**
     * Buckets per level for a game of the given number of variables: a power of two from
     * 2^14 to 2^16, the largest that keeps all levels within {@link #TOTAL_BUCKETS}.
     * The package collects dead nodes once they outnumber a fraction of all buckets, and
     * every collection drops the computed-table entries of the dead nodes, which the
     * fixpoints would have found again (their iterates are released and rebuilt from one
     * step to the next): with 2^14 buckets per level the 42 levels of a seven-master bus
     * controller are collected four times and the solve makes twice the relational-product
     * steps. More buckets in all than half the computed table would let that table double
     * by hit rate, which costs more than it saves.
     */
    static int bucketsPerLevel(int variables) {
        int perLevel = 1 << 16;
        while (perLevel > 1 << 14 && (long) perLevel * variables > TOTAL_BUCKETS) {
            perLevel >>= 1;
        }
        return perLevel;
    }

    private static int solve(Options o, GameSpec spec) {
        // A computed table of 2^23 entries from the start (granted to a manager with at least
        // 2^14 buckets per level): the fixpoints ask for the same relational products again and
        // again, and a table that grows by hit rate reaches that size only late in the solve.
        int bits = o.strategy ? Controller.counterBits(spec) : 0;
        TARNFactory f = TARNFactory.init(bucketsPerLevel(Game.variables(spec, 2 * bits)), CACHE_ENTRIES);
        try {
            try (Game g = new Game(f, spec, 2 * bits)) {
                result("variables", spec.inputs.size(), spec.outputs.size(), g.recorders);
                result("justices", g.envJ.length, g.sysJ.length);
                boolean gr1Wins = false;
                if (o.gr1()) {
                    long t0 = System.nanoTime();
                    gr1Wins = g.solveGr1(o.efp, o.eun, o.fpr);
                    result("gr1", gr1Wins ? 1 : 0, seconds(t0));
                }
                if (o.rabin()) {
                    long t0 = System.nanoTime();
                    boolean wins = g.solveRabin(o.efp, o.eun, o.fpr);
                    result("rabin", wins ? 1 : 0, seconds(t0));
                }
                // After the solves: determinizing changes the variable order, which would
                // change the Rabin solver's work. The GR(1) memory stays until the next GR(1) solve.
                if (o.strategy && gr1Wins) {
                    strategy(g, bits);
                }
            }
            result("alloc", f.getAllocNum());
            // The report ends with the peak of live nodes; the command reads it from the trace.
            System.out.flush();
            f.printStat();
            return 0;
        } finally {
            f.done();
        }
    }

    /** Builds the strategy and the deterministic controller and reports their sizes. */
    private static void strategy(Game g, int bits) {
        long t0 = System.nanoTime();
        BDD s = Strategy.build(g, Controller.counterBase(g));
        result("strategy", s.nodeCount(), bits, seconds(t0));
        long t1 = System.nanoTime();
        BDD outputs = Controller.outputs(g, bits);
        BDD d = s.determinize(outputs);
        result("controller", d.nodeCount(), seconds(t1));
        d.free();
        outputs.free();
        s.free();
    }

    private static String seconds(long t0) {
        return String.format(Locale.ROOT, "%.3f", (System.nanoTime() - t0) / 1e9);
    }

    private static void result(String key, Object... values) {
        StringBuilder sb = new StringBuilder(TAG).append(key);
        for (Object v : values) {
            sb.append(' ').append(v);
        }
        System.err.println(sb);
    }
}
