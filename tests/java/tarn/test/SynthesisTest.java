package tarn.test;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertTrue;
import static org.junit.jupiter.api.Assumptions.assumeTrue;

import java.io.ByteArrayOutputStream;
import java.io.IOException;
import java.io.PrintStream;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.List;
import java.util.Set;
import java.util.stream.Collectors;
import java.util.stream.Stream;
import ordo.TARNFactory;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.io.TempDir;
import tarn.synth.Synth;

/** The synthesis command (java -jar tarn.jar), as a user runs it. */
class SynthesisTest {
    private static final Set<String> UNREALIZABLE =
            Set.of("unrealizable1", "example_outermost_fixed_point_unrealizability");
    private static final String MALFORMED = "unicycle_robot";

    @TempDir
    Path tmp;

    private record Run(int status, String out, String err) {
        String verdict() {
            return out.lines().findFirst().orElse("");
        }
    }

    private static Run synth(String... args) throws Exception {
        Path jar = JarLoadTest.jarOf(TARNFactory.class);
        List<String> cmd = Stream.concat(Stream.of(Path.of(System.getProperty("java.home"), "bin", "java").toString(),
                "-jar", jar.toString()), Stream.of(args)).collect(Collectors.toList());
        Process p = new ProcessBuilder(cmd).start();
        p.getOutputStream().close();
        byte[] err = p.getErrorStream().readAllBytes();
        byte[] out = p.getInputStream().readAllBytes();
        return new Run(p.waitFor(), new String(out, StandardCharsets.UTF_8), new String(err, StandardCharsets.UTF_8));
    }

    private Path spec(String name, String text) throws IOException {
        Path f = tmp.resolve(name + ".slugsin");
        Files.writeString(f, text);
        return f;
    }

    @Test
    void everyShippedSpecificationGetsItsKnownVerdictFromBothSolvers() throws Exception {
        String dir = System.getProperty("tarn.slugsin", "../shared/benchmarks/slugsin");
        assumeTrue(Files.isDirectory(Path.of(dir)), "no specifications at " + dir);
        List<Path> files;
        try (Stream<Path> s = Files.list(Path.of(dir))) {
            files = s.filter(p -> p.toString().endsWith(".slugsin")).sorted().collect(Collectors.toList());
        }
        assertTrue(files.size() >= 20, "specifications found: " + files.size());
        for (Path file : files) {
            String name = file.getFileName().toString().replace(".slugsin", "");
            Run r = synth("--check", file.toString());
            if (name.equals(MALFORMED)) {
                assertEquals(2, r.status(), r.err());
                assertTrue(r.err().contains("line 46:"), r.err());
                assertTrue(!r.err().contains("\tat "), "no stack trace: " + r.err());
                assertEquals("", r.out());
                continue;
            }
            assertEquals(0, r.status(), name + ": " + r.err());
            assertEquals(UNREALIZABLE.contains(name) ? "unrealizable" : "realizable", r.verdict(), name);
            assertTrue(r.out().contains("iterations: z "), r.out());
            assertTrue(r.out().contains("solve time: "), r.out());
            assertTrue(r.out().contains("peak live nodes: "), r.out());
        }
    }

    @Test
    void heuristicsStrategyAndTheEnvironmentsSideKeepTheVerdicts() throws Exception {
        String dir = System.getProperty("tarn.slugsin", "../shared/benchmarks/slugsin");
        assumeTrue(Files.isDirectory(Path.of(dir)), "no specifications at " + dir);
        for (String name : List.of("firefighting", "unrealizable1", "simple4")) {
            String file = dir + "/" + name + ".slugsin";
            String expected = UNREALIZABLE.contains(name) ? "unrealizable" : "realizable";
            Run r = synth("--efp", "--eun", "--fpr", "--check", "--strategy", file);
            assertEquals(0, r.status(), r.err());
            assertEquals(expected, r.verdict(), name);
            assertTrue(r.out().contains("efp=on, eun=on, fpr=on"), r.out());
            assertTrue(r.out().contains(expected.equals("realizable") ? " nodes (over current" : "strategy: none"),
                    r.out());
            Run counter = synth("--counter", file);
            assertEquals(expected, counter.verdict(), name + " --counter");
            assertTrue(counter.out().contains("the environment wins from " + (expected.equals("realizable")
                    ? "no" : "some") + " initial state"), counter.out());
        }
    }

    /** Specifications whose verdict depends on reading the memoization operators and transition liveness right. */
    @Test
    void memoizationAndLivenessOverTransitions() throws Exception {
        String[][] cases = {
            // $ 2 A B stands for B, and ? 0 inside it for A: the initial condition c & !c is false.
            {"unrealizable", "[OUTPUT]\nc\n[SYS_INIT]\n$ 2 & c ! c ? 0\n"},
            {"realizable", "[OUTPUT]\nc\n[SYS_INIT]\n$ 2 | c ! c ? 0\n"},
            {"realizable", "[INPUT]\na\n[OUTPUT]\nc\n[SYS_INIT]\n$ 3 c ! ? 0 ? 0\n"},
            // c toggles at every step: the transition from c to !c recurs, the one from c to c never does.
            {"realizable", "[OUTPUT]\nc\n[SYS_TRANS]\n^ c c'\n[SYS_LIVENESS]\n& c ! c'\n"},
            {"unrealizable", "[OUTPUT]\nc\n[SYS_TRANS]\n^ c c'\n[SYS_LIVENESS]\n& c c'\n"},
            // c may rise only when a falls; the environment promises that a falls infinitely often.
            {"realizable", "[INPUT]\na\n[OUTPUT]\nc\n[SYS_TRANS]\n| ! c' & a ! a'\n[ENV_LIVENESS]\n& a ! a'\n"
                + "[SYS_LIVENESS]\nc\n"},
            {"unrealizable", "[INPUT]\na\n[OUTPUT]\nc\n[SYS_TRANS]\n| ! c' & a ! a'\n[SYS_LIVENESS]\nc\n"},
        };
        for (int i = 0; i < cases.length; i++) {
            Run r = synth(spec("case" + i, cases[i][1]).toString());
            assertEquals(0, r.status(), cases[i][1] + r.err());
            assertEquals(cases[i][0], r.verdict(), cases[i][1]);
        }
    }

    @Test
    void malformedSpecificationsAreRejectedWithTheirLineNumber() throws Exception {
        String[][] cases = {
            {"5", "[INPUT]\na\n\n[SYS_INIT]\n& a\n"},
            {"4", "[INPUT]\na\n[ENV_INIT]\n! b\n"},
            {"1", "[NOT_A_SECTION]\n"},
            {"1", "a\n[INPUT]\n"},
            {"3", "# comment\n[INPUT]\na b\n"},
            {"4", "[INPUT]\na\n[ENV_INIT]\na'\n"},
            {"3", "[INPUT]\na\na\n"},
            {"6", "[INPUT]\na\n[OUTPUT]\nc\n[ENV_TRANS]\nc'\n"},
            {"2", "[SYS_INIT]\n$ 2 1 ? 1\n"},
            {"2", "[SYS_INIT]\n? 0\n"},
            {"2", "[SYS_INIT]\n$ x 1\n"},
        };
        PrintStream saved = System.err;
        try {
            for (String[] c : cases) {
                Path file = spec("bad", c[1]);
                ByteArrayOutputStream err = new ByteArrayOutputStream();
                System.setErr(new PrintStream(err, true, StandardCharsets.UTF_8));
                int status = Synth.run(new String[] {file.toString()});
                String message = err.toString(StandardCharsets.UTF_8);
                assertEquals(2, status, c[1] + message);
                assertTrue(message.startsWith(file + ": line " + c[0] + ": "), c[1] + " gave " + message);
            }
        } finally {
            System.setErr(saved);
        }
    }
}
