package tarn.synth;

import java.util.ArrayList;
import java.util.List;

/** The command line of the synthesis command. */
final class Options {
    static final String USAGE = String.join("\n",
            "usage: synth [options] FILE.slugsin",
            "Decides whether a GR(1) specification in the slugsin format is realizable and prints",
            "realizable or unrealizable, the solver's iteration counts, the solve time and the peak",
            "node count.",
            "  --efp       early fixed-point detection",
            "  --eun       early unrealizability detection",
            "  --fpr       fixed-point recycling",
            "  --counter   solve the environment's side (Rabin game) instead: does the environment win?",
            "  --check     solve both sides and fail unless the verdicts are complementary",
            "  --strategy  also build a winning strategy from the solver's memory and a deterministic",
            "              controller from it, and print their sizes",
            "  --trace     copy the solvers' trace to standard error",
            "Exit status: 0 with a verdict, 1 for a usage or system error, 2 for a malformed",
            "specification, 3 when --check finds the two solvers disagreeing.");

    boolean efp;
    boolean eun;
    boolean fpr;
    boolean counter;
    boolean check;
    boolean strategy;
    boolean trace;
    boolean worker;
    String file;

    /** The options as they are passed on to the worker process. */
    final List<String> raw = new ArrayList<>();

    static Options parse(String[] args) {
        Options o = new Options();
        for (String a : args) {
            switch (a) {
                case "--efp" -> o.efp = true;
                case "--eun" -> o.eun = true;
                case "--fpr" -> o.fpr = true;
                case "--counter" -> o.counter = true;
                case "--check" -> o.check = true;
                case "--strategy" -> o.strategy = true;
                case "--trace" -> o.trace = true;
                case "--worker" -> o.worker = true;
                case "-h", "--help" -> throw new IllegalArgumentException("");
                default -> {
                    if (a.startsWith("-")) {
                        throw new IllegalArgumentException("unknown option " + a);
                    }
                    if (o.file != null) {
                        throw new IllegalArgumentException("one specification file at a time");
                    }
                    o.file = a;
                }
            }
            if (!a.equals("--worker")) {
                o.raw.add(a);
            }
        }
        if (o.file == null) {
            throw new IllegalArgumentException("no specification file given");
        }
        if (o.strategy && o.counter && !o.check) {
            throw new IllegalArgumentException("--strategy needs the GR(1) solve: drop --counter or add --check");
        }
        return o;
    }

    /** Whether the GR(1) solver runs. */
    boolean gr1() {
        return check || !counter;
    }

    /** Whether the Rabin solver runs. */
    boolean rabin() {
        return check || counter;
    }

    /** The heuristics as the report names them. */
    String heuristics() {
        return "efp=" + onOff(efp) + ", eun=" + onOff(eun) + ", fpr=" + onOff(fpr);
    }

    private static String onOff(boolean b) {
        return b ? "on" : "off";
    }
}
