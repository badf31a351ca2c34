package tarn.test;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertNotNull;
import static org.junit.jupiter.api.Assertions.assertTrue;
import static org.junit.jupiter.api.Assumptions.assumeTrue;

import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.List;
import java.util.regex.Matcher;
import java.util.regex.Pattern;
import ordo.ADD;
import ordo.BDD;
import ordo.TARNFactory;
import org.junit.jupiter.api.BeforeAll;
import org.junit.jupiter.api.Test;
import tarn.synth.Controller;

/**
 * The deterministic controller drawn from the GR(1) strategy of shipped
 * specifications, checked symbolically against the strategy relation.
 */
class ControllerTest {
    private static final String DIR = System.getProperty("tarn.slugsin", "../shared/benchmarks/slugsin");

    @BeforeAll
    static void loadLibrary() {
        TARNFactory.ensureLoaded();
    }

    @Test
    void keepsExactlyOneOfTheStrategysOutputsPerStateAndNextInput() throws Exception {
        assumeTrue(Files.isDirectory(Path.of(DIR)), "no specifications at " + DIR);
        for (String name : List.of("simple4", "firefighting")) {
            TARNFactory f = TARNFactory.init(10000, 100000);
            try (Controller c = Controller.synthesize(f, Path.of(DIR, name + ".slugsin"))) {
                assertNotNull(c, name + " is realizable");
                BDD s = c.strategy();
                BDD d = c.deterministic();
                BDD out = c.outputs();
                assertFalse(d.isZero(), name);
                assertTrue(d.diff(s).isZero(), name + ": only moves of the strategy");
                BDD domain = d.exist(out);
                assertEquals(s.exist(out), domain, name + ": every state and next input the strategy serves");

                // Two outputs at one point differ in some output variable, which d would then allow both ways.
                int outputs = 0;
                for (BDD rest = out.id(); !rest.isOne(); outputs++) {
                    BDD v = f.ithVar(rest.var());
                    BDD both = d.and(v).exist(out).andWith(d.diff(v).exist(out));
                    assertTrue(both.isZero(), name + ": output variable " + v.var() + " is fixed");
                    rest = rest.high();
                }
                assertTrue(outputs > 0, name);
                // One output per point of the domain, counted over all variables.
                assertEquals(domain.satCount(), d.satCount() * Math.pow(2, outputs), name);

                // The 0/1 ADD of the strategy determinizes to the same choice.
                ADD da = s.toADD().determinize(out.toADD());
                assertEquals(d.toADD(), da, name + " as an ADD");
            } finally {
                f.done();
            }
        }
    }

    @Test
    void theCommandPrintsTheControllersSize() throws Exception {
        assumeTrue(Files.isDirectory(Path.of(DIR)), "no specifications at " + DIR);
        Path jar = JarLoadTest.jarOf(TARNFactory.class);
        Process p = new ProcessBuilder(Path.of(System.getProperty("java.home"), "bin", "java").toString(), "-jar",
                jar.toString(), "--strategy", DIR + "/simple4.slugsin").redirectErrorStream(true).start();
        p.getOutputStream().close();
        String out = new String(p.getInputStream().readAllBytes(), StandardCharsets.UTF_8);
        assertEquals(0, p.waitFor(), out);
        Matcher m = Pattern.compile("\n  deterministic controller: (\\d+) nodes \\(").matcher(out);
        assertTrue(m.find(), out);
        assertTrue(Integer.parseInt(m.group(1)) > 0, out);
    }
}
