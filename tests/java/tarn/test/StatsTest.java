package tarn.test;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.io.File;
import java.io.IOException;
import java.net.URISyntaxException;
import java.nio.charset.StandardCharsets;
import java.util.Arrays;
import java.util.List;
import java.util.concurrent.TimeUnit;
import ordo.TARNFactory;
import org.junit.jupiter.api.Test;

class StatsTest extends ManagerFixture {

    private static String jarOf(Class<?> c) throws URISyntaxException {
        return new File(c.getProtectionDomain().getCodeSource().getLocation().toURI()).getPath();
    }

    /** What a program of the test jar prints when run in a child JVM with the library. */
    static List<String> runInChildJvm(Class<?> main) throws Exception {
        String java = System.getProperty("java.home") + File.separator + "bin" + File.separator + "java";
        String classPath = jarOf(StatsTest.class) + File.pathSeparator + jarOf(TARNFactory.class);
        Process p = new ProcessBuilder(java, "-cp", classPath, main.getName(),
                System.getProperty("tarn.library"))
                .redirectError(ProcessBuilder.Redirect.INHERIT)
                .start();
        String out = new String(p.getInputStream().readAllBytes(), StandardCharsets.UTF_8);
        assertTrue(p.waitFor(300, TimeUnit.SECONDS));
        assertEquals(0, p.exitValue(), out);
        return Arrays.asList(out.split("\n"));
    }

    /** The report of a fresh factory, read from a child JVM's standard output. */
    private static List<String> freshReport() throws Exception {
        return runInChildJvm(PrintStats.class);
    }

    private static String lineStarting(List<String> lines, String prefix) {
        return lines.stream().filter(l -> l.startsWith(prefix)).findFirst()
                .orElseThrow(() -> new AssertionError("no line " + prefix + " in\n" + String.join("\n", lines)));
    }

    private static int[] numbersAfter(List<String> lines, String prefix) {
        String[] words = lineStarting(lines, prefix).substring(prefix.length()).trim().split(" ");
        return Arrays.stream(words).mapToInt(Integer::parseInt).toArray();
    }

    // A long random run on small tables: results stay right while the collector runs many times,
    // the computed table grows, and releasing everything brings the node count back.
    @Test
    void longRandomWorkloadReleasesEverythingAcrossCollections() throws Exception {
        List<String> lines = runInChildJvm(Workload.class);
        assertEquals(0, numbersAfter(lines, "mismatches ")[0]);
        int[] nodes = numbersAfter(lines, "nodes ");
        assertEquals(nodes[0], nodes[1], "live nodes before and after");
        int[] cache = numbersAfter(lines, "cache ");
        assertTrue(cache[1] > cache[0], "the computed table grew from " + cache[0]);
        assertEquals(0, cache[1] & (cache[1] - 1));
        int collections = numbersAfter(lines, "Garbage collections so far: ")[0];
        assertTrue(collections >= 10, collections + " collections");
    }

    @Test
    void reportOfAFreshFactory() throws Exception {
        List<String> lines = freshReport();
        assertEquals(48, lines.size(), String.join("\n", lines));
        String[][] expected = {
            {"1", "**** TARN modifiable parameters ****"},
            {"3", "Cache hit threshold for resizing: 30%"},
            {"4", "Garbage collection enabled: yes"},
            {"6", "Maximum number of variables sifted per reordering: 1000"},
            {"7", "Maximum number of variable swaps per reordering: 2000000"},
            {"8", "Maximum growth while sifting a variable: 1.2"},
            {"9", "Dynamic reordering of BDDs enabled: no"},
            {"10", "Default BDD reordering method: 4"},
            {"11", "Dynamic reordering of ZDDs enabled: no"},
            {"12", "Default ZDD reordering method: 4"},
            {"13", "Realignment of ZDDs to BDDs enabled: no"},
            {"14", "Realignment of BDDs to ZDDs enabled: no"},
            {"15", "Dead nodes counted in triggering reordering: no"},
            {"16", "Group checking criterion: 7"},
            {"17", "Recombination threshold: 0"},
            {"18", "Symmetry violation threshold: 0"},
            {"19", "Arc violation threshold: 0"},
            {"20", "GA population size: 0"},
            {"21", "Number of crossovers for GA: 0"},
            {"22", "Next reordering threshold: 4004"},
            {"23", "**** TARN non-modifiable parameters ****"},
            {"25", "Peak number of nodes: 1022"},
            {"27", "Number of BDD variables: 0"},
            {"28", "Number of ZDD variables: 0"},
            {"29", "Number of cache entries: 8192"},
            // three entries per bucket of four nodes, at initialize0's two nodes per bucket
            {"36", "Soft limit for cache size: 24576"},
            {"37", "Number of buckets in unique table: 16384"},
            {"39", "Number of BDD and ADD nodes: 4"},
            {"40", "Number of ZDD nodes: 0"},
            {"41", "Number of dead BDD and ADD nodes: 0"},
            {"42", "Number of dead ZDD nodes: 0"},
            {"45", "Garbage collections so far: 0"},
            {"47", "Reorderings so far: 0"},
        };
        for (String[] e : expected) {
            assertEquals(e[1], lines.get(Integer.parseInt(e[0]) - 1), "line " + e[0]);
        }
        // The lines whose values depend on the machine keep their formats.
        String[][] formats = {
            {"2", "Hard limit for cache size: \\d+"},
            {"5", "Limit for fast unique table growth: \\d+"},
            {"24", "Memory in use: \\d+"},
            {"35", "Cache used slots = \\d+\\.\\d\\d% \\(expected \\d+\\.\\d\\d%\\)"},
            {"38", "Used buckets in unique table: \\d+\\.\\d\\d% \\(expected \\d+\\.\\d\\d%\\)"},
            {"46", "Time for garbage collection: \\d+\\.\\d\\d sec"},
            {"48", "Time for reordering: \\d+\\.\\d\\d sec"},
        };
        for (String[] f : formats) {
            String line = lines.get(Integer.parseInt(f[0]) - 1);
            assertTrue(line.matches(f[1]), "line " + f[0] + ": " + line);
        }
    }

    @Test
    void nodeCountFollowsWhatJavaHolds() {
        TARNFactory.setVarNum0(3, false);
        int before = TARNFactory.getNodeNum0();
        // An ADD projection is a node of its own that only Java holds.
        long a = TARNFactory.ithVar0(1, true);
        assertEquals(before + 1, TARNFactory.getNodeNum0());
        TARNFactory.delRef(a, true);
        assertEquals(before, TARNFactory.getNodeNum0());
    }

    @Test
    void countersOfAFreshFactory() {
        assertEquals(1022, TARNFactory.getAllocNum0());
        int cache = TARNFactory.getCacheSize0();
        assertEquals(8192, cache);
        assertEquals(0, cache & (cache - 1));
    }
}
