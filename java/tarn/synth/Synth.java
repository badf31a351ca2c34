package tarn.synth;

import java.io.BufferedReader;
import java.io.IOException;
import java.io.InputStreamReader;
import java.io.PrintStream;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.HashMap;
import java.util.List;
import java.util.Locale;
import java.util.Map;
import java.util.regex.Matcher;
import java.util.regex.Pattern;

/**
 * The synthesis command: reads a GR(1) specification in the slugsin format,
 * solves its game with tarn and prints the verdict ({@code realizable} or
 * {@code unrealizable}), the iteration counts, the solve time and the peak
 * node count. Run {@code java -jar tarn.jar --help} for the options.
 *
 * <p>The solvers print their trace to the process's standard output from
 * native code, which Java cannot redirect. So the command runs the synthesis
 * in a child process ({@link Worker}) and reads that trace: it takes the
 * iteration counts and the peak node count from it and turns its outer
 * iterations into progress lines on standard error for runs longer than a
 * second.
 */
public final class Synth {
    private static final Pattern Z_LOOP = Pattern.compile("Z loop (\\d+): j = (\\d+)");
    private static final Pattern SIZES = Pattern.compile("sysJSize=(\\d+), envJSize=(\\d+)");
    private static final Pattern COUNT = Pattern.compile("([zyx]) iterations = (\\d+)");
    private static final Pattern PEAK = Pattern.compile("Peak number of live nodes: (\\d+)");
    private static final long PROGRESS_AFTER_NANOS = 1_000_000_000L;

    private Synth() {
    }

    /**
     * Runs the command and exits with its status.
     *
     * @param args options and the specification file
     */
    public static void main(String[] args) {
        System.exit(run(args));
    }

    /**
     * Runs the command and returns its exit status: 0 with a verdict, 1 for a
     * usage or system error, 2 for a malformed specification, 3 when the
     * solvers disagree under --check.
     *
     * @param args options and the specification file
     * @return the exit status
     */
    public static int run(String[] args) {
        Options o;
        try {
            o = Options.parse(args);
        } catch (IllegalArgumentException e) {
            if (e.getMessage().isEmpty()) {
                System.out.println(Options.USAGE);
                return 0;
            }
            System.err.println("synth: " + e.getMessage());
            System.err.println(Options.USAGE);
            return 1;
        }
        if (o.worker) {
            return Worker.run(o);
        }
        // A malformed specification is refused before any solver process starts.
        int status = Worker.readOnly(o);
        if (status != 0) {
            return status;
        }
        try {
            return supervise(o);
        } catch (IOException e) {
            System.err.println("synth: cannot run the solver process: " + e.getMessage());
            return 1;
        } catch (InterruptedException e) {
            Thread.currentThread().interrupt();
            return 1;
        }
    }

    /** What the trace of one solver told. */
    private static final class SolverTrace {
        final Map<String, Integer> counts = new HashMap<>();
    }

    /** Reads the child's standard output: the solvers' trace and the statistics report. */
    private static final class TraceReader extends Thread {
        private final BufferedReader in;
        private final boolean copy;
        final Map<String, SolverTrace> solvers = new HashMap<>();
        volatile int peakLiveNodes = -1;
        private SolverTrace current;
        private String currentName;
        private long start;
        /**
         * System justices of the game: from the GR(1) trace, or from the worker's report,
         * since the Rabin trace does not print them.
         */
        volatile int sysJ;
        private int lastReported;
        private long lastPrinted;

        TraceReader(BufferedReader in, boolean copy) {
            this.in = in;
            this.copy = copy;
            setDaemon(true);
        }

        @Override
        public void run() {
            try {
                String line;
                while ((line = in.readLine()) != null) {
                    if (copy) {
                        System.err.println(line);
                    }
                    take(line);
                }
            } catch (IOException e) {
                // The child is gone; what was read stays.
            }
        }

        private void take(String line) {
            if (line.contains("----Start GR1 Game")) {
                begin("GR(1)");
                return;
            }
            if (line.contains("----Start Rabin Game")) {
                begin("Rabin");
                return;
            }
            Matcher m = SIZES.matcher(line);
            if (m.find()) {
                sysJ = Integer.parseInt(m.group(1));
                return;
            }
            m = Z_LOOP.matcher(line);
            if (m.find() && current != null) {
                int z = Integer.parseInt(m.group(1));
                long now = System.nanoTime();
                long elapsed = now - start;
                // A line when an outer iteration starts, and at most one a second inside a long one.
                if (elapsed > PROGRESS_AFTER_NANOS
                        && (z != lastReported || now - lastPrinted > PROGRESS_AFTER_NANOS)) {
                    lastReported = z;
                    lastPrinted = now;
                    System.err.printf(Locale.ROOT, "synth: %s outer iteration %d (justice %d of %d), %.1f s%n",
                            currentName, z, Integer.parseInt(m.group(2)) + 1, sysJ, elapsed / 1e9);
                }
                return;
            }
            m = COUNT.matcher(line);
            if (m.find() && current != null) {
                current.counts.put(m.group(1), Integer.parseInt(m.group(2)));
                return;
            }
            m = PEAK.matcher(line);
            if (m.find()) {
                peakLiveNodes = Integer.parseInt(m.group(1));
            }
        }

        private void begin(String name) {
            current = new SolverTrace();
            currentName = name;
            solvers.put(name, current);
            start = System.nanoTime();
            lastReported = 0;
        }
    }

    private static int supervise(Options o) throws IOException, InterruptedException {
        List<String> cmd = new ArrayList<>();
        // Line buffering makes the native trace, and so the progress lines, arrive as they are printed.
        if (Files.isExecutable(Path.of("/usr/bin/stdbuf"))) {
            cmd.add("/usr/bin/stdbuf");
            cmd.add("-oL");
        }
        cmd.add(Path.of(System.getProperty("java.home"), "bin", "java").toString());
        cmd.add("-cp");
        cmd.add(System.getProperty("java.class.path"));
        String lib = System.getProperty("tarn.library");
        if (lib != null) {
            cmd.add("-Dtarn.library=" + lib);
        }
        cmd.add(Synth.class.getName());
        cmd.add("--worker");
        cmd.addAll(o.raw);
        Process p = new ProcessBuilder(cmd).start();
        p.getOutputStream().close();
        TraceReader trace = new TraceReader(
                new BufferedReader(new InputStreamReader(p.getInputStream(), StandardCharsets.UTF_8)), o.trace);
        trace.start();
        Map<String, String[]> results = new HashMap<>();
        try (BufferedReader err = new BufferedReader(new InputStreamReader(p.getErrorStream(),
                StandardCharsets.UTF_8))) {
            String line;
            while ((line = err.readLine()) != null) {
                if (line.startsWith(Worker.TAG)) {
                    String[] parts = line.substring(Worker.TAG.length()).split(" ");
                    results.put(parts[0], parts);
                    if (parts[0].equals("justices")) {
                        trace.sysJ = Integer.parseInt(parts[2]);
                    }
                } else {
                    System.err.println(line);
                }
            }
        }
        int status = p.waitFor();
        trace.join();
        if (status == Worker.MALFORMED) {
            return Worker.MALFORMED;
        }
        if (status != 0) {
            System.err.println("synth: the solver process failed with exit status " + status);
            return 1;
        }
        return report(o, results, trace, System.out);
    }

    private static int report(Options o, Map<String, String[]> r, TraceReader trace, PrintStream out) {
        String[] gr1 = r.get("gr1");
        String[] rabin = r.get("rabin");
        if ((o.gr1() && gr1 == null) || (o.rabin() && rabin == null)) {
            System.err.println("synth: the solver process ended without a result");
            return 1;
        }
        boolean systemWins = gr1 != null ? gr1[1].equals("1") : rabin[1].equals("0");
        if (o.check && gr1[1].equals(rabin[1])) {
            System.err.println("synth: check failed: the GR(1) solver says "
                    + (gr1[1].equals("1") ? "realizable" : "unrealizable")
                    + " but the Rabin solver says the environment "
                    + (rabin[1].equals("1") ? "wins" : "loses"));
            return 3;
        }
        out.println(systemWins ? "realizable" : "unrealizable");
        String[] v = r.get("variables");
        String[] j = r.get("justices");
        out.printf("  specification: %s (%s inputs, %s outputs, %s recorder variables for transition"
                + " liveness; %s environment and %s system justices)%n", o.file, v[1], v[2], v[3], j[1], j[2]);
        if (gr1 != null) {
            out.println("  GR(1) solver (" + o.heuristics() + "): the system "
                    + (gr1[1].equals("1") ? "wins from every initial state" : "loses from some initial state"));
            solverLines(out, trace.solvers.get("GR(1)"), gr1[2]);
        }
        if (rabin != null) {
            out.println("  Rabin solver (" + o.heuristics() + "): the environment "
                    + (rabin[1].equals("1") ? "wins from some initial state" : "wins from no initial state"));
            solverLines(out, trace.solvers.get("Rabin"), rabin[2]);
        }
        String[] alloc = r.get("alloc");
        out.println("  peak live nodes: " + (trace.peakLiveNodes >= 0 ? trace.peakLiveNodes : "unknown")
                + (alloc != null ? " (node slots allocated: " + alloc[1] + ")" : ""));
        if (o.strategy) {
            String[] s = r.get("strategy");
            if (s == null) {
                out.println("  strategy: none, the specification is unrealizable");
            } else {
                out.printf("  strategy: %s nodes (over current and next state and %s counter bits), built in %s s%n",
                        s[1], s[2], s[3]);
                String[] c = r.get("controller");
                if (c != null) {
                    out.printf("  deterministic controller: %s nodes (one next output and counter value per state"
                            + " and next input), built in %s s%n", c[1], c[2]);
                }
            }
        }
        return 0;
    }

    private static void solverLines(PrintStream out, SolverTrace t, String seconds) {
        if (t != null && t.counts.size() == 3) {
            out.printf("    iterations: z %d, y %d, x %d%n", t.counts.get("z"), t.counts.get("y"), t.counts.get("x"));
        } else {
            out.println("    iterations: unknown");
        }
        out.println("    solve time: " + seconds + " s");
    }
}
